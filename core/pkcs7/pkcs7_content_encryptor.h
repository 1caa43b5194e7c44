// The content key of an enveloping encoding and the ciphers it drives: the
// content under DES-CBC or triple-DES-CBC with PKCS#5 padding, or under RC4
// without padding; and a signer's encrypted digest, always under a CBC
// cipher so that no RC4 keystream serves twice.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cipher/rc4.h"
#include "core/datasets/datasets.h"
#include "core/pkcs7/pkcs7_engine_params.h"
#include "core/pkcs7/pkcs7_key_transport.h"
#include "core/toolkit/toolkit.h"

// Key and IV of one message; wiped by its owner. An RC4 message uses the
// DES key followed by the IV as its 16-byte key.
struct Pkcs7ContentKey {
    int cipher = kCipherTripleDes;  // Pkcs7ContentCipherCode
    unsigned char key[kPkcs7TripleDesKeySize] = {};
    std::size_t keyLength = 0;  // 8 or 24
    unsigned char iv[kPkcs7IvSize] = {};
    // A message opened without its key: the content passes as it is.
    bool keyless = false;
    ~Pkcs7ContentKey();
};

// A content cipher request above 2 is triple DES.
int Pkcs7CipherOf(int requested);

// The content key from slot 3 (key and IV), or a new one when the slot is
// empty. Slot 3 holding the one-byte marker of a key-less opening (with the
// IV for a CBC cipher) and slot 2 holding RecipientInfos make a key-less
// key. BadSlots for a malformed slot, CipherFailed when no key can be drawn.
Pkcs7Result TakeContentKey(const DataSets* sets, int cipher, Pkcs7ContentKey* key);

// The bytes a RecipientInfo carries: 8 for DES, 24 for triple DES, 16 for
// RC4 (the whole RC4 key).
std::size_t TransportedKey(const Pkcs7ContentKey& key, unsigned char out[kPkcs7TripleDesKeySize]);

// ContentEncryptionAlgorithmIdentifier: DES-CBC and triple-DES-CBC with the
// IV as OCTET STRING, RC4 with an empty OCTET STRING. Bytes written, 0 on failure.
std::size_t EncodeContentCipherId(DERCursor* cursor, const Pkcs7ContentKey& key);

// Length of the encrypted content of length plain bytes: CBC ciphers pad 1
// to 8 bytes; RC4 and key-less content keep the length.
std::uint64_t EncryptedContentLength(const Pkcs7ContentKey& key, std::uint64_t length);

// Encrypts the content piece by piece; wiped when it ends.
struct ContentEncryptor {
    explicit ContentEncryptor(const Pkcs7ContentKey& key);
    ~ContentEncryptor();
    ContentEncryptor(const ContentEncryptor&) = delete;
    ContentEncryptor& operator=(const ContentEncryptor&) = delete;
    // out holds length + 8 bytes; false when out's capacity would not do.
    bool Update(const unsigned char* in, std::size_t length, unsigned char* out, std::size_t outCapacity,
                std::size_t* outLength);
    // The padded last block of a CBC cipher (8 bytes), nothing for RC4.
    bool Final(unsigned char out[8], std::size_t* outLength);

private:
    bool passThrough_;
    bool rc4_;
    CipherContext cbc_;
    Rc4Context rc4Context_;
};

// A signer's encrypted digest of a signed-and-enveloped message: padded and
// encrypted with DES-CBC (DES and RC4 messages) or triple-DES-CBC under the
// content key and IV. out holds length + 8 bytes.
bool EncryptSignerDigest(const Pkcs7ContentKey& key, const unsigned char* digest, std::size_t length,
                         unsigned char* out, std::size_t* outLength);
