// PKCS#8 EncryptedPrivateKeyInfo of an RSA key under a password:
//   SEQUENCE { SEQUENCE { OID pbeWithMD2AndDES-CBC | pbeWithMD5AndDES-CBC,
//              SEQUENCE { OCTET STRING salt (8), INTEGER count (one byte) } },
//              OCTET STRING DES-CBC ciphertext of the PrivateKeyInfo }
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"
#include "core/pkcs8/pbe.h"
#include "core/rsa/rsa_key.h"

struct DERCursor;

enum : std::size_t { kEncryptedKeyMaxLength = 4000 };  // DER, ciphertext and plaintext alike

struct EncryptedKeyInfo {
    int algorithm;  // any algorithm code; only kAlgPbeMD2DesCbc and kAlgPbeMD5DesCbc decrypt
    std::uint32_t count;  // 0-255 as stored
    unsigned char salt[kPbeSaltLength];
    ByteBuffer ciphertext;  // decoding: a view into the DER
};

// Byte counts, 0 on failure (also for a code without identifier). The
// count is written as its low byte only.
std::size_t EncodeEncryptedPrivateKeyInfo(DERCursor* cursor, const EncryptedKeyInfo* info);
// Refuses a salt that is not 8 bytes, a count of other than one content
// byte, an unknown identifier and ciphertext that is not whole blocks.
std::size_t DecodeEncryptedPrivateKeyInfo(DERCursor* cursor, EncryptedKeyInfo* info);

// 0 success, 1 failure. out holds kEncryptedKeyMaxLength bytes. Counts of
// 1-255: the derivation uses the whole count, the DER only its low byte.
int EncryptPrivateKeyInfo(unsigned char* out, std::size_t* outLength, int algorithm, std::uint32_t count,
                          const unsigned char* password, std::size_t passwordLength, const RsaPrivateKey* key);
// 0 success, 1 failure (a wrong password and a damaged file alike); the
// password without a terminator. On failure the key record is zero.
int DecryptPrivateKeyInfo(const unsigned char* der, std::size_t derLength, const unsigned char* password,
                          std::size_t passwordLength, RsaPrivateKey* key);
