// The server side of a time stamp (Windows only): a TSTInfo signed as a
// token with the key of a certificate in the local machine's "MY" store.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"

// CMS SignedData over the TSTInfo (SHA-1, one signer, its certificate
// included, content type id-ct-TSTInfo, the ESS signingCertificate attribute
// that RFC 3161 verifiers require) by the last certificate of slot 14 of the
// sets; 1 with a new token buffer (FreeItems), 0 on failure.
int SignTimeStampToken(const DataSets* sets, const unsigned char* tstInfo, std::size_t tstInfoLength,
                       ByteBuffer* token);
