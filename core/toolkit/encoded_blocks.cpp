// The base64-text forms of seal, open, sign and verify: 24 sealed bytes make
// one 32-character piece, so the text can be cut without looking inside.
#include <cstdlib>

#include "core/io/base64.h"
#include "core/rsa/rsa.h"
#include "core/toolkit/toolkit.h"
#include "core/toolkit/wipe.h"

namespace {

std::size_t Base64Length(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

}  // namespace

std::size_t EncodedBlocksLength(std::size_t length)
{
    std::size_t whole = length / kToolkitEncodedPieceBytes;
    std::size_t last = (length % kToolkitEncodedPieceBytes) / 8 * 8 + 8;
    return whole * kToolkitEncodedPieceChars + Base64Length(last);
}

int EncryptEncodedBlocks(CipherContext* context, char* text, std::size_t* textLength, const unsigned char* data,
                         std::size_t length)
{
    *textLength = 0;
    unsigned char sealed[kToolkitEncodedPieceBytes + 8];
    ScopedWipe wipeSealed{sealed, sizeof sealed};
    std::size_t done = 0;
    for (; length - done >= kToolkitEncodedPieceBytes; done += kToolkitEncodedPieceBytes) {
        std::size_t n = 0, chars = 0;
        int status = UpdateSeal(context, sealed, sizeof sealed, &n, data + done, kToolkitEncodedPieceBytes);
        if (status != 0) return status;
        EncodeBase64(text + *textLength, &chars, sealed, n);
        *textLength += chars;
    }
    std::size_t n = 0, last = 0, chars = 0;
    int status = UpdateSeal(context, sealed, sizeof sealed, &n, data + done, length - done);
    if (status != 0) return status;
    FinalSeal(context, sealed + n, &last);
    EncodeBase64(text + *textLength, &chars, sealed, n + last);
    *textLength += chars;
    return 0;
}

// The output is bounded: each piece is opened apart and copied only when it fits.
int DecryptEncodedBlocks(CipherContext* context, unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                         const char* text, std::size_t textLength)
{
    *outLength = 0;
    unsigned char piece[kToolkitEncodedPieceBytes];
    unsigned char opened[kToolkitEncodedPieceBytes + 8];
    ScopedWipe wipePiece{piece, sizeof piece}, wipeOpened{opened, sizeof opened};
    std::size_t done = 0;
    for (;;) {
        std::size_t chars = textLength - done < kToolkitEncodedPieceChars ? textLength - done : kToolkitEncodedPieceChars;
        std::size_t pieceLength = 0, openedLength = 0;
        int status = DecodeBase64(piece, &pieceLength, text + done, chars);
        if (status != 0) return status;
        status = UpdateOpen(context, opened, &openedLength, piece, pieceLength);
        if (status != 0) return status;
        if (openedLength > outCapacity - *outLength) return kStatusLength;
        CopyBytes(out + *outLength, opened, openedLength);
        *outLength += openedLength;
        done += chars;
        if (chars < kToolkitEncodedPieceChars || done == textLength) break;
    }
    std::size_t lastLength = 0;
    int status = FinalOpen(context, opened, &lastLength);
    if (status != 0) return status;
    if (lastLength > outCapacity - *outLength) return kStatusLength;
    CopyBytes(out + *outLength, opened, lastLength);
    *outLength += lastLength;
    return 0;
}


int SignEncodedBlock(char* contentText, std::size_t* contentTextLength, char* signatureText,
                     std::size_t* signatureTextLength, const unsigned char* content, std::size_t contentLength,
                     int encodeContent, std::uint32_t digestType, const RsaPrivateKey* key)
{
    unsigned char signature[kToolkitMaxSignature];
    ScopedWipe wipeSignature{signature, sizeof signature};
    std::size_t signatureLength = 0;
    int status = SignDataBlock(signature, &signatureLength, content, contentLength, digestType, key);
    if (status != 0) return status;
    EncodeBase64(signatureText, signatureTextLength, signature, signatureLength);
    if (encodeContent) EncodeBase64(contentText, contentTextLength, content, contentLength);
    return 0;
}

int VerifyEncodedSignature(unsigned char* content, std::size_t contentCapacity, std::size_t* contentLength,
                           const char* contentText, std::size_t contentTextLength, const char* signatureText,
                           std::size_t signatureTextLength, int decodeContent, std::uint32_t digestType,
                           const RsaPublicKey* key)
{
    *contentLength = 0;
    if (signatureTextLength > kToolkitMaxSignatureText) return kStatusSignatureEncoding;
    const unsigned char* message = reinterpret_cast<const unsigned char*>(contentText);
    std::size_t messageLength = contentTextLength;
    if (decodeContent) {
        // Decoded apart first: the caller's buffer is only as long as it says.
        SecretBytes decoded(contentTextLength / 4 * 3 + 3);
        if (DecodeBase64(decoded.data(), &messageLength, contentText, contentTextLength) != 0)
            return kStatusContentEncoding;
        if (messageLength > contentCapacity) return kStatusLength;
        CopyBytes(content, decoded.data(), messageLength);
        message = content;
    }
    *contentLength = messageLength;
    unsigned char signature[kToolkitMaxSignatureText / 4 * 3];
    ScopedWipe wipeSignature{signature, sizeof signature};
    std::size_t signatureLength = 0;
    if (DecodeBase64(signature, &signatureLength, signatureText, signatureTextLength) != 0)
        return kStatusSignatureEncoding;
    return VerifyDataBlock(message, messageLength, signature, signatureLength, digestType, key);
}

int SealEncodedBlock(char* encryptedContentText, std::size_t* encryptedContentTextLength, char* wrappedKeyText,
                     std::size_t* wrappedKeyTextLength, char* encryptedSignatureText,
                     std::size_t* encryptedSignatureTextLength, unsigned char iv[8], const unsigned char* content,
                     std::size_t contentLength, std::uint32_t digestType, const RsaPublicKey* recipientKey,
                     const RsaPrivateKey* signerKey, RandomGenerator* generator)
{
    unsigned char signature[kToolkitMaxSignature];
    unsigned char wrappedKey[kToolkitMaxSignature];
    CipherContext context;
    ScopedWipe wipeSignature{signature, sizeof signature}, wipeContext{&context, sizeof context};
    std::size_t signatureLength = 0, wrappedKeyLength = 0;
    int status = SignDataBlock(signature, &signatureLength, content, contentLength, digestType, signerKey);
    if (status != 0) return status;
    unsigned char* wrapped[1] = {wrappedKey};
    const RsaPublicKey* recipients[1] = {recipientKey};
    status = InitSeal(&context, wrapped, &wrappedKeyLength, iv, 1, recipients, kCipherDesCbc, generator);
    if (status != 0) return status;
    EncodeBase64(wrappedKeyText, wrappedKeyTextLength, wrappedKey, wrappedKeyLength);
    status = EncryptEncodedBlocks(&context, encryptedContentText, encryptedContentTextLength, content, contentLength);
    if (status != 0) return status;
    return EncryptEncodedBlocks(&context, encryptedSignatureText, encryptedSignatureTextLength, signature,
                                signatureLength);
}

int OpenEncodedBlock(unsigned char* content, std::size_t contentCapacity, std::size_t* contentLength,
                     const char* encryptedContentText, std::size_t encryptedContentTextLength,
                     const char* wrappedKeyText, std::size_t wrappedKeyTextLength, const char* encryptedSignatureText,
                     std::size_t encryptedSignatureTextLength, const unsigned char iv[8], std::uint32_t digestType,
                     const RsaPublicKey* signerKey, const RsaPrivateKey* recipientKey)
{
    *contentLength = 0;
    if (encryptedSignatureTextLength > kToolkitMaxSealedSignatureText) return kStatusSignatureEncoding;
    unsigned char wrappedKey[kToolkitMaxSignatureText / 4 * 3];
    unsigned char signature[kToolkitMaxSealedSignatureText / 4 * 3 + 3];
    CipherContext context;
    ScopedWipe wipeSignature{signature, sizeof signature}, wipeContext{&context, sizeof context};
    std::size_t wrappedKeyLength = 0, signatureLength = 0;
    if (wrappedKeyTextLength > kToolkitMaxSignatureText ||
        DecodeBase64(wrappedKey, &wrappedKeyLength, wrappedKeyText, wrappedKeyTextLength) != 0)
        return kStatusKeyEncoding;
    int status = InitOpen(&context, kCipherDesCbc, wrappedKey, wrappedKeyLength, iv, recipientKey);
    if (status != 0) return status;
    auto opened = [](int result, int encodingFailure) {
        return result == kStatusEncoding || result == kStatusLength ? encodingFailure : kStatusKey;
    };
    status = DecryptEncodedBlocks(&context, content, contentCapacity, contentLength, encryptedContentText,
                                  encryptedContentTextLength);
    if (status != 0) {
        FillBytes(content, 0, *contentLength);
        *contentLength = 0;
        return opened(status, kStatusContentEncoding);
    }
    status = DecryptEncodedBlocks(&context, signature, sizeof signature, &signatureLength, encryptedSignatureText,
                                  encryptedSignatureTextLength);
    if (status != 0) return opened(status, kStatusSignatureEncoding);
    return VerifyDataBlock(content, *contentLength, signature, signatureLength, digestType, signerKey);
}
