// Toolkit operations on top of the digests, the DES family and padded RSA:
// sign and verify (digest, DigestInfo, RSA), seal and open (content under a
// random DES, triple-DES or DESX key wrapped for each RSA recipient), and
// the forms that carry their results as base64 text. Every operation returns
// 0 or a toolkit status code.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cipher/des.h"
#include "core/hash/digest.h"
#include "core/rsa/random.h"
#include "core/rsa/rsa_key.h"

// Toolkit codes added here (the others are in digest.h, rsa.h, random.h, base64.h).
enum : int {
    kStatusContentEncoding = 1024,    // base64 content text cannot be decoded
    kStatusKey = 1028,                // no valid padding after decryption, or the content cannot be opened
    kStatusKeyEncoding = 1029,        // the wrapped key's text is too long or cannot be decoded
    kStatusSignatureEncoding = 1036,  // the signature's text is too long or cannot be decoded
    kStatusCipherAlgorithm = 1037,    // not a cipher code
};

// Cipher codes; every cipher uses an 8-byte IV.
enum : std::uint32_t {
    kCipherDesCbc = 1,       // 8-byte key
    kCipherDes2EdeCbc = 2,   // 24-byte key area, bytes 17-24 repeat bytes 1-8
    kCipherDes3EdeCbc = 3,   // 24-byte key
    kCipherDesxCbc = 4,      // 24-byte key
};

enum : std::size_t {
    kToolkitMaxSignature = 256,           // RSA of at most 2048 bits
    kToolkitMaxSignatureText = 344,       // base64 of 256 bytes
    kToolkitMaxSealedSignatureText = 355,
    kToolkitEncodedPieceBytes = 24,       // sealed bytes per 32-character piece
    kToolkitEncodedPieceChars = 32,
};

struct CipherContext {
    std::uint32_t cipher;
    union {
        DesCbcContext des;
        Des3CbcContext des3;
        DesxCbcContext desx;
    } cbc;
    unsigned char pending[8];
    std::uint32_t pendingCount;  // 0..8
};

// Sign and verify; the DigestContext carries the message digest. SHA-0
// (type 3) has no DigestInfo and is refused with kStatusDigestAlgorithm.
int InitSign(DigestContext* context, std::uint32_t digestType);
int UpdateSign(DigestContext* context, const unsigned char* data, std::size_t length);
// signature holds the modulus length (at most kToolkitMaxSignature).
int FinalSign(DigestContext* context, unsigned char* signature, std::size_t* signatureLength,
              const RsaPrivateKey* key);
int InitVerify(DigestContext* context, std::uint32_t digestType);
int UpdateVerify(DigestContext* context, const unsigned char* data, std::size_t length);
int FinalVerify(DigestContext* context, const unsigned char* signature, std::size_t signatureLength,
                const RsaPublicKey* key);
int SignDataBlock(unsigned char* signature, std::size_t* signatureLength, const unsigned char* block,
                  std::size_t blockLength, std::uint32_t digestType, const RsaPrivateKey* key);
int VerifyDataBlock(const unsigned char* block, std::size_t blockLength, const unsigned char* signature,
                    std::size_t signatureLength, std::uint32_t digestType, const RsaPublicKey* key);

// The CBC cipher of a code: key of 8 bytes (code 1) or 24.
int InitCipher(CipherContext* context, std::uint32_t cipher, const unsigned char* key, const unsigned char iv[8],
               int encrypt);
void UpdateCipher(CipherContext* context, unsigned char* out, const unsigned char* in, std::size_t length);
void RestartCipher(CipherContext* context);

// Seal: a random content key and IV, the key wrapped for each recipient into
// wrappedKeys[i] (each holding the recipient's modulus length).
int InitSeal(CipherContext* context, unsigned char* const* wrappedKeys, std::size_t* wrappedKeyLengths,
             unsigned char iv[8], std::size_t recipientCount, const RsaPublicKey* const* publicKeys,
             std::uint32_t cipher, RandomGenerator* generator);
// Writes the whole blocks complete so far (at most length + 7 bytes); the
// rest waits. kStatusLength, with nothing changed, when they would not fit
// in outCapacity.
int UpdateSeal(CipherContext* context, unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
               const unsigned char* data, std::size_t length);
// Pads and writes the last block (8 bytes) and restarts the chain at the IV.
int FinalSeal(CipherContext* context, unsigned char out[8], std::size_t* outLength);
int InitOpen(CipherContext* context, std::uint32_t cipher, const unsigned char* wrappedKey,
             std::size_t wrappedKeyLength, const unsigned char iv[8], const RsaPrivateKey* key);
// Writes at most length + 7 bytes; the last block always waits for FinalOpen.
int UpdateOpen(CipherContext* context, unsigned char* out, std::size_t* outLength, const unsigned char* data,
               std::size_t length);
// Writes at most 7 bytes; kStatusKey when the padding is not valid.
int FinalOpen(CipherContext* context, unsigned char out[8], std::size_t* outLength);

// Base64 forms (no line breaks). The sealed text of length bytes.
std::size_t EncodedBlocksLength(std::size_t length);
// text holds EncodedBlocksLength(length) characters.
int EncryptEncodedBlocks(CipherContext* context, char* text, std::size_t* textLength, const unsigned char* data,
                         std::size_t length);
// kStatusLength when the plaintext would not fit in outCapacity.
int DecryptEncodedBlocks(CipherContext* context, unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                         const char* text, std::size_t textLength);
// contentText holds 4 * ceil(contentLength / 3) characters when encodeContent
// is set; signatureText kToolkitMaxSignatureText.
int SignEncodedBlock(char* contentText, std::size_t* contentTextLength, char* signatureText,
                     std::size_t* signatureTextLength, const unsigned char* content, std::size_t contentLength,
                     int encodeContent, std::uint32_t digestType, const RsaPrivateKey* key);
// With decodeContent the decoded content goes to content (kStatusLength when
// it does not fit in contentCapacity); without, the text itself is the
// content and only its length is reported.
int VerifyEncodedSignature(unsigned char* content, std::size_t contentCapacity, std::size_t* contentLength,
                           const char* contentText, std::size_t contentTextLength, const char* signatureText,
                           std::size_t signatureTextLength, int decodeContent, std::uint32_t digestType,
                           const RsaPublicKey* key);
// DES-CBC for one recipient: encryptedContentText holds
// EncodedBlocksLength(contentLength), wrappedKeyText kToolkitMaxSignatureText,
// encryptedSignatureText EncodedBlocksLength(kToolkitMaxSignature).
int SealEncodedBlock(char* encryptedContentText, std::size_t* encryptedContentTextLength, char* wrappedKeyText,
                     std::size_t* wrappedKeyTextLength, char* encryptedSignatureText,
                     std::size_t* encryptedSignatureTextLength, unsigned char iv[8], const unsigned char* content,
                     std::size_t contentLength, std::uint32_t digestType, const RsaPublicKey* recipientKey,
                     const RsaPrivateKey* signerKey, RandomGenerator* generator);
int OpenEncodedBlock(unsigned char* content, std::size_t contentCapacity, std::size_t* contentLength,
                     const char* encryptedContentText, std::size_t encryptedContentTextLength,
                     const char* wrappedKeyText, std::size_t wrappedKeyTextLength, const char* encryptedSignatureText,
                     std::size_t encryptedSignatureTextLength, const unsigned char iv[8], std::uint32_t digestType,
                     const RsaPublicKey* signerKey, const RsaPrivateKey* recipientKey);
