// PKCS#1 v1.5 signatures over a DER DigestInfo, as X.509 certificates, CRLs
// and OCSP messages are signed: MD2, MD4, MD5 or SHA-1 by the signature
// algorithm code (101, 102, 103, 111).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/der.h"
#include "core/rsa/rsa_key.h"

enum : std::size_t { kDigestInfoWorkSize = 256 };

// Work record of the two operations, owned by the caller.
struct DigestInfoWork {
    DERCursor cursor;
    unsigned char buffer[kDigestInfoWorkSize];
};

// Digest type of a signature algorithm code, 0 for other codes.
std::uint32_t SignatureDigestType(int algorithm);

// Signs data; signature receives the modulus length in bytes (at most 256).
// Returns the signature length, 0 on failure.
std::size_t SignDigestInfo(DigestInfoWork* work, int algorithm, const unsigned char* data, std::size_t dataLength,
                           const RsaPrivateKey* key, unsigned char* signature, std::size_t* signatureLength);
// The same for a digest already computed (data read piece by piece).
std::size_t SignDigestInfoOfDigest(DigestInfoWork* work, int algorithm, const unsigned char* digest,
                                   std::size_t digestLength, const RsaPrivateKey* key, unsigned char* signature,
                                   std::size_t* signatureLength);

// The length of the DigestInfo inside the signature when it is valid, else 0.
// The block must hold exactly the DER DigestInfo of the data's digest under
// the algorithm (NULL parameters present or absent), nothing more.
std::size_t VerifyDigestInfo(DigestInfoWork* work, int algorithm, const unsigned char* data, std::size_t dataLength,
                             const RsaPublicKey* key, const unsigned char* signature, std::size_t signatureLength);
// The same for a digest already computed (data read piece by piece).
std::size_t VerifyDigestInfoOfDigest(DigestInfoWork* work, int algorithm, const unsigned char* digest,
                                     std::size_t digestLength, const RsaPublicKey* key,
                                     const unsigned char* signature, std::size_t signatureLength);
