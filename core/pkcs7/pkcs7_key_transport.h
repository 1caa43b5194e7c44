// Key transport of the PKCS#7 engine: fresh content keys with their IVs,
// and the RecipientInfo that carries a content key to one RSA recipient.
#pragma once
#include <cstddef>

struct DERCursor;

enum : std::size_t {
    kPkcs7DesKeySize = 8,
    kPkcs7TripleDesKeySize = 24,
    kPkcs7IvSize = 8,
    kPkcs7Rc4KeySize = 16,  // the DES key and IV drawn for it, taken as one key
};

// Fill keyAndIv with an odd-parity key (8 or 24 bytes) followed by an 8-byte
// IV from the process-wide random generator. False, with the bytes wiped,
// when the generator gives nothing: the key is never a predictable text.
bool GenerateDesKeyAndIV(unsigned char keyAndIv[kPkcs7DesKeySize + kPkcs7IvSize]);
bool GenerateTripleDesKeyAndIV(unsigned char keyAndIv[kPkcs7TripleDesKeySize + kPkcs7IvSize]);

// RecipientInfo SEQUENCE { version 0, issuerAndSerialNumber (copied from the
// certificate as it is encoded), rsaEncryption with NULL, OCTET STRING of
// the key under PKCS#1 v1.5 block type 2 for the certificate's public key },
// written in front of the cursor's position. Bytes written, 0 on failure
// (certificate unusable, key too long for its modulus, no random bytes, no
// room).
std::size_t EncodeRecipientInfo(const unsigned char* certificate, std::size_t certificateLength,
                                const unsigned char* key, std::size_t keyLength, DERCursor* cursor);
