// The OCSP client's CryptoAPI road (Windows only): nonce, request signature
// with a certificate of the user's "MY" store, the responder certificate's
// issuer check and the response signature.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"

// kOCSPNonceLength random bytes in a new block (FreeItems); a verify-only
// context, no key container is created. 1 done, 0 not.
int GenerateNonceWithCryptoAPI(ByteBuffer* nonce);

// SignCallback with the private key of the last requestor certificate
// (user slot 14) found in the current user's "MY" store; the signature is
// written big-endian, as the request's BIT STRING wants it.
int SignWithCryptoAPI(const unsigned char* data, std::size_t dataLength, unsigned char* signature,
                      std::size_t* signatureLength, const DataSets* userSets, int algorithm, int keyArgument);

// CheckResponderCertificate by CertVerifySubjectCertificateContext: 1, 30
// outside its validity, 31 not signed by the issuer, 0 failure.
int CheckResponderIssuer(const DataSets* requestSets, const unsigned char* issuer, std::size_t issuerLength);

// VerifyResponseSignature by CryptoAPI, as stored or byte-reversed, on a
// verify-only context (the user set is not needed for a public-key check).
int VerifyResponseSignatureWithCryptoAPI(const DataSets* requestSets, const DataSets* userSets,
                                         int signatureAlgorithm);
