// PKCS#5 v1.5 password-based encryption (PBES1): MD2 or MD5 key derivation
// with DES-CBC, algorithm codes kAlgPbeMD2DesCbc and kAlgPbeMD5DesCbc.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"

enum : std::size_t { kPbeSaltLength = 8 };

// The salt is derived from password and plaintext, not drawn: the same
// input gives the same output. ciphertext->pointer holds plaintext.length + 8
// bytes. Returns the ciphertext length (also set in ciphertext), 0 on failure.
std::size_t PbeEncrypt(const ByteBuffer& plaintext, ByteBuffer* ciphertext, int algorithm, std::uint32_t count,
                       unsigned char salt[kPbeSaltLength], const unsigned char* password, std::size_t passwordLength);

// plaintext->pointer holds ciphertext.length bytes. Returns the ciphertext
// length, the plaintext length set in plaintext; 0 on failure (a wrong
// password as a rule: the padding is not 1 to 8 equal bytes), with the
// plaintext buffer wiped.
std::size_t PbeDecrypt(ByteBuffer* plaintext, const ByteBuffer& ciphertext, int algorithm, std::uint32_t count,
                       const unsigned char salt[kPbeSaltLength], const unsigned char* password,
                       std::size_t passwordLength);
