// The parts of a time-stamp token (CMS SignedData) that tie its signature to
// the TSTInfo: the platform's signature check covers the signed attributes
// only, so their messageDigest and contentType are compared here.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

// Views into the token.
struct TokenSignedParts {
    ByteBuffer eContentType{nullptr, 0};     // OID content
    ByteBuffer eContent{nullptr, 0};         // the OCTET STRING's content: the TSTInfo DER
    ByteBuffer digestAlgorithm{nullptr, 0};  // the first signer's, OID content
    ByteBuffer contentType{nullptr, 0};      // signed attribute, OID content
    ByteBuffer messageDigest{nullptr, 0};    // signed attribute, OCTET STRING content
};

enum TokenDigest { kTokenDigestUnknown = 0, kTokenDigestSha1 = 1, kTokenDigestSha256 = 2 };

// true when the token is a SignedData with encapsulated content and a first
// signer carrying exactly one contentType and one messageDigest attribute.
bool ReadTokenSignedParts(const unsigned char* token, std::size_t length, TokenSignedParts* parts);

// The first signer's digest algorithm.
TokenDigest TokenDigestOf(const TokenSignedParts& parts);

// Both content types are id-ct-TSTInfo.
bool TokenContentIsTSTInfo(const TokenSignedParts& parts);

// The messageDigest attribute equals the digest of the eContent.
bool TokenDigestMatches(const TokenSignedParts& parts, const unsigned char* digest, std::size_t digestLength);
