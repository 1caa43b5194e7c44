// The platform's algorithms for the identifiers a PKCS#7 message names.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "core/der/bytes.h"

namespace cmsalgorithm {

// The platform's digest for a digest algorithm identifier; 0 when unknown.
ALG_ID DigestAlgorithm(const ByteBuffer& oid);
// The digest a signature algorithm names: 0 for rsaEncryption, where the
// signer's digest algorithm decides. False for what is not RSA.
bool SignatureDigest(const ByteBuffer& oid, ALG_ID* digest);

}  // namespace cmsalgorithm
