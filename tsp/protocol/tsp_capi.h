// The time-stamp client's CryptoAPI helpers (Windows only): digests, the
// request nonce and the token's verification through the message functions.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

enum : std::size_t {
    kTSPNonceLength = 8,
    kTSPEContentCapacity = 6144,  // the caller's eContent buffer
};

// Verification results of VerifyTimeStampToken.
enum : int {
    kTokenVerified = 0,
    kTokenBadSignature = 1,  // the signature, or the messageDigest over the TSTInfo
    kTokenNotTSTInfo = 2,
    kTokenBadSigner = 3,     // the signer certificate is not a time-stamping one
};

// 1 with a new digest buffer (FreeItems) of the data by the CryptoAPI
// algorithm (CALG_SHA1, CALG_SHA_256, ...), 0 on failure.
int DigestBuffer(const unsigned char* data, std::size_t length, unsigned int algorithm, ByteBuffer* digest);

// 1 with kTSPNonceLength new random bytes (FreeItems), 0 on failure. The
// first byte is 0x40 to 0x7F so the nonce's INTEGER is minimal and positive.
int GenerateTSPNonce(ByteBuffer* nonce);

// 1 when the token verifies (result kTokenVerified): its TSTInfo is copied to
// eContent (kTSPEContentCapacity bytes) with its length, and the signer
// certificate's DER goes to a new buffer (FreeItems). Else 0 with the result:
// a failure before the signature step keeps kTokenVerified.
int VerifyTimeStampToken(unsigned char* eContent, std::size_t* eContentLength, const unsigned char* token,
                         std::size_t tokenLength, int* result, ByteBuffer* signerCertificate);

// VerifyTimeStampToken without the certificate: 1 verified, else 0.
int VerifyTimeStampTokenOnly(unsigned char* eContent, std::size_t* eContentLength, const unsigned char* token,
                             std::size_t tokenLength, int* result);
