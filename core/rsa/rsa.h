// RSA on the key records: the raw public and private (CRT) operations and
// PKCS#1 v1.5 blocks on top of them (type 1 for signatures, type 2 for key
// transport). Every operation returns 0 or a toolkit status code.
#pragma once
#include <cstddef>

#include "core/rsa/random.h"
#include "core/rsa/rsa_key.h"

// Toolkit status codes answered here (1032 is in random.h).
enum : int {
    kStatusData = 1025,        // input not below the modulus, or not a valid block of the expected type
    kStatusLength = 1030,      // a length out of range, or a key bit count of 0 or over 2048
    kStatusPrivateKey = 1033,  // the private key record cannot be used (zero prime or modulus)
    kStatusPublicKey = 1034,   // the public key record cannot be used (zero modulus)
};

// k = (bits + 7) / 8 is the modulus length in bytes; bit counts of 0 or
// over 2048 give kStatusLength. Apply and Encrypt write exactly k bytes to
// out; Decrypt writes the data, at most k - 11 bytes. out may be the input.

// out = input^e mod n; kStatusData when the input is not below the modulus.
int ApplyRsaPublicKey(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                      std::size_t inputLength, const RsaPublicKey* key);
// The same with the private key, by the Chinese Remainder Theorem.
int ApplyRsaPrivateKey(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                       std::size_t inputLength, const RsaPrivateKey* key);

// Block type 2 with non-zero random padding; kStatusRandomNeeded, before
// anything is drawn, while the generator needs seed bytes.
int EncryptRsaPublic(unsigned char* out, std::size_t* outLength, const unsigned char* data,
                     std::size_t dataLength, const RsaPublicKey* key, RandomGenerator* generator);
// Opens a block of type 1 (a signature).
int DecryptRsaPublic(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                     std::size_t inputLength, const RsaPublicKey* key);
// Block type 1 (FF padding), then the private operation.
int EncryptRsaPrivate(unsigned char* out, std::size_t* outLength, const unsigned char* data,
                      std::size_t dataLength, const RsaPrivateKey* key);
// Opens a block of type 2.
int DecryptRsaPrivate(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                      std::size_t inputLength, const RsaPrivateKey* key);
