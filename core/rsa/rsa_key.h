// RSA key records: fixed-width big-endian numbers, right-aligned in their
// fields, and their DER codecs (PKCS#1 RSAPublicKey/RSAPrivateKey, the
// subjectPublicKey BIT STRING, SubjectPublicKeyInfo and PKCS#8 PrivateKeyInfo).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"

struct DERCursor;

enum : std::size_t {
    kRsaMaxModulusBytes = 256,  // 2048-bit keys at most
    kRsaMaxPrimeBytes = 128,
};

struct RsaPublicKey {
    std::uint16_t bits;  // 8 x modulus content bytes (no leading 0x00)
    unsigned char modulus[kRsaMaxModulusBytes];
    unsigned char publicExponent[kRsaMaxModulusBytes];
};

struct RsaPrivateKey {
    std::uint16_t bits;
    unsigned char modulus[kRsaMaxModulusBytes];
    unsigned char publicExponent[kRsaMaxModulusBytes];
    unsigned char privateExponent[kRsaMaxModulusBytes];
    unsigned char prime1[kRsaMaxPrimeBytes];
    unsigned char prime2[kRsaMaxPrimeBytes];
    unsigned char exponent1[kRsaMaxPrimeBytes];
    unsigned char exponent2[kRsaMaxPrimeBytes];
    unsigned char coefficient[kRsaMaxPrimeBytes];
};

static_assert(sizeof(RsaPublicKey) == 514, "RsaPublicKey is 514 bytes");
static_assert(sizeof(RsaPrivateKey) == 1410, "RsaPrivateKey is 1410 bytes");

// Copies an INTEGER's content into a zeroed field of width bytes,
// right-aligned; one leading 0x00 of a width + 1 content is dropped.
// 0 done, 1 does not fit.
int CopyKeyNumber(const ByteBuffer& item, unsigned char* field, std::size_t width);

// Codecs: bytes written or consumed, 0 = failure.
std::size_t EncodeRsaPublicKey(DERCursor* cursor, const RsaPublicKey* key);
std::size_t DecodeRsaPublicKey(DERCursor* cursor, RsaPublicKey* key);
std::size_t EncodeSubjectPublicKeyInfo(DERCursor* cursor, int algorithm, const RsaPublicKey* key);
std::size_t EncodeRsaPrivateKey(DERCursor* cursor, const RsaPrivateKey* key);
std::size_t DecodeRsaPrivateKey(DERCursor* cursor, RsaPrivateKey* key);
std::size_t EncodePrivateKeyInfo(DERCursor* cursor, int algorithm, const RsaPrivateKey* key);
std::size_t DecodePrivateKeyInfo(DERCursor* cursor, int* algorithm, RsaPrivateKey* key);
