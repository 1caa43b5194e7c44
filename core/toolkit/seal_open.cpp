// Seal and open: content under a random DES-family key, the key wrapped with
// PKCS#1 type 2 for each recipient; PKCS#5 padding of the last block.
#include "core/rsa/rsa.h"
#include "core/toolkit/toolkit.h"
#include "core/toolkit/wipe.h"

namespace {

std::size_t ContentKeyLength(std::uint32_t cipher) { return cipher == kCipherDesCbc ? 8 : 24; }

}  // namespace

int InitCipher(CipherContext* context, std::uint32_t cipher, const unsigned char* key, const unsigned char iv[8],
               int encrypt)
{
    switch (cipher) {
    case kCipherDesCbc:
        InitDesCbc(&context->cbc.des, key, iv, encrypt);
        break;
    case kCipherDes2EdeCbc:
    case kCipherDes3EdeCbc:
        InitDes3Cbc(&context->cbc.des3, key, iv, encrypt);
        break;
    case kCipherDesxCbc:
        InitDesxCbc(&context->cbc.desx, key, iv, encrypt);
        break;
    default:
        return kStatusCipherAlgorithm;
    }
    context->cipher = cipher;
    return 0;
}

// Lengths are whole blocks here: the callers keep the rest pending.
void UpdateCipher(CipherContext* context, unsigned char* out, const unsigned char* in, std::size_t length)
{
    switch (context->cipher) {
    case kCipherDesCbc:
        UpdateDesCbc(&context->cbc.des, out, in, length);
        break;
    case kCipherDes2EdeCbc:
    case kCipherDes3EdeCbc:
        UpdateDes3Cbc(&context->cbc.des3, out, in, length);
        break;
    case kCipherDesxCbc:
        UpdateDesxCbc(&context->cbc.desx, out, in, length);
        break;
    default:
        break;
    }
}

void RestartCipher(CipherContext* context)
{
    switch (context->cipher) {
    case kCipherDesCbc:
        RestartDesCbc(&context->cbc.des);
        break;
    case kCipherDes2EdeCbc:
    case kCipherDes3EdeCbc:
        RestartDes3Cbc(&context->cbc.des3);
        break;
    case kCipherDesxCbc:
        RestartDesxCbc(&context->cbc.desx);
        break;
    default:
        break;
    }
}

int InitSeal(CipherContext* context, unsigned char* const* wrappedKeys, std::size_t* wrappedKeyLengths,
             unsigned char iv[8], std::size_t recipientCount, const RsaPublicKey* const* publicKeys,
             std::uint32_t cipher, RandomGenerator* generator)
{
    context->cipher = cipher;
    unsigned char key[24];
    ScopedWipe wipeKey{key, sizeof key};
    std::size_t keyLength = ContentKeyLength(cipher);
    if (GenerateRandomBytes(key, keyLength, generator) != 0 || GenerateRandomBytes(iv, 8, generator) != 0)
        return kStatusRandomNeeded;
    if (cipher == kCipherDes2EdeCbc) CopyBytes(key + 16, key, 8);
    int status = InitCipher(context, cipher, key, iv, 1);
    if (status != 0) return status;
    for (std::size_t i = 0; i < recipientCount; ++i)
        if (EncryptRsaPublic(wrappedKeys[i], &wrappedKeyLengths[i], key, keyLength, publicKeys[i], generator) != 0)
            return kStatusPublicKey;
    context->pendingCount = 0;
    return 0;
}

int UpdateSeal(CipherContext* context, unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
               const unsigned char* data, std::size_t length)
{
    *outLength = 0;
    std::size_t pending = context->pendingCount;
    if (pending + length < 8) {
        CopyBytes(context->pending + pending, data, length);
        context->pendingCount = static_cast<std::uint32_t>(pending + length);
        return 0;
    }
    std::size_t total = (pending + length) / 8 * 8;
    if (total > outCapacity) return kStatusLength;
    std::size_t taken = 8 - pending;
    CopyBytes(context->pending + pending, data, taken);
    UpdateCipher(context, out, context->pending, 8);
    UpdateCipher(context, out + 8, data + taken, total - 8);
    std::size_t rest = length - taken - (total - 8);
    CopyBytes(context->pending, data + length - rest, rest);
    context->pendingCount = static_cast<std::uint32_t>(rest);
    *outLength = total;
    return 0;
}

int FinalSeal(CipherContext* context, unsigned char out[8], std::size_t* outLength)
{
    unsigned char padding = static_cast<unsigned char>(8 - context->pendingCount);
    FillBytes(context->pending + context->pendingCount, padding, padding);
    UpdateCipher(context, out, context->pending, 8);
    FillBytes(context->pending, 0, sizeof context->pending);
    RestartCipher(context);
    context->pendingCount = 0;
    *outLength = 8;
    return 0;
}

int InitOpen(CipherContext* context, std::uint32_t cipher, const unsigned char* wrappedKey,
             std::size_t wrappedKeyLength, const unsigned char iv[8], const RsaPrivateKey* key)
{
    if (wrappedKeyLength > kToolkitMaxSignature) return kStatusLength;
    context->cipher = cipher;
    unsigned char contentKey[kToolkitMaxSignature];
    ScopedWipe wipeKey{contentKey, sizeof contentKey};
    std::size_t keyLength = 0;
    if (DecryptRsaPrivate(contentKey, &keyLength, wrappedKey, wrappedKeyLength, key) != 0) return kStatusPrivateKey;
    if (keyLength != ContentKeyLength(cipher)) return kStatusPrivateKey;
    int status = InitCipher(context, cipher, contentKey, iv, 0);
    if (status != 0) return status;
    context->pendingCount = 0;
    return 0;
}

int UpdateOpen(CipherContext* context, unsigned char* out, std::size_t* outLength, const unsigned char* data,
               std::size_t length)
{
    *outLength = 0;
    std::size_t pending = context->pendingCount;
    if (pending + length <= 8) {
        CopyBytes(context->pending + pending, data, length);
        context->pendingCount = static_cast<std::uint32_t>(pending + length);
        return 0;
    }
    std::size_t taken = 8 - pending;
    CopyBytes(context->pending + pending, data, taken);
    UpdateCipher(context, out, context->pending, 8);
    // Keep the last 1 to 8 bytes: the last block belongs to FinalOpen.
    std::size_t remaining = length - taken;
    std::size_t keep = remaining % 8 == 0 ? 8 : remaining % 8;
    std::size_t whole = remaining - keep;
    UpdateCipher(context, out + 8, data + taken, whole);
    CopyBytes(context->pending, data + taken + whole, keep);
    context->pendingCount = static_cast<std::uint32_t>(keep);
    *outLength = 8 + whole;
    return 0;
}

int FinalOpen(CipherContext* context, unsigned char out[8], std::size_t* outLength)
{
    *outLength = 0;
    if (context->pendingCount == 0) return 0;
    if (context->pendingCount != 8) return kStatusKey;
    unsigned char block[8];
    ScopedWipe wipeBlock{block, sizeof block};
    UpdateCipher(context, block, context->pending, 8);
    unsigned char n = block[7];
    if (n < 1 || n > 8) return kStatusKey;
    for (int i = 8 - n; i < 8; ++i)
        if (block[i] != n) return kStatusKey;
    CopyBytes(out, block, 8u - n);
    *outLength = 8u - n;
    RestartCipher(context);
    context->pendingCount = 0;
    return 0;
}
