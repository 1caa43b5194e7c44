// The time-stamp server's certificate against the caller's CA, and the
// signer's names; shared by the time-stamp library and the signing component.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

// 1 when the signer certificate's signature verifies with the CA
// certificate's public key, else 0. Nothing else is compared.
int CheckServerCertificate(const unsigned char* caCertificate, std::size_t caLength, const ByteBuffer& signer);

// 0 with the commonName values of the signer's subject and issuer in two
// new buffers (raw bytes, FreeItems), 1 on failure (outputs then empty).
int GetSignerCertificateNames(const ByteBuffer& signer, ByteBuffer* subjectName, ByteBuffer* issuerName);
