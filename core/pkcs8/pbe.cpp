#include "core/pkcs8/pbe.h"

#include "core/cipher/des.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/toolkit/wipe.h"

namespace {

std::uint32_t DigestOf(int algorithm)
{
    if (algorithm == kAlgPbeMD2DesCbc) return kDigestMd2;
    if (algorithm == kAlgPbeMD5DesCbc) return kDigestMd5;
    return 0;
}

// PBKDF1: T = H(password || salt), then T = H(T) count - 1 more times; the
// key is T[0..8) with odd parity, the IV T[8..16).
void DeriveKey(std::uint32_t digestType, std::uint32_t count, const unsigned char* password,
               std::size_t passwordLength, const unsigned char* salt, unsigned char key[8], unsigned char iv[8])
{
    DigestContext context;
    unsigned char t[kMaxDigestLength];
    std::size_t length = 0;
    ScopedWipe wipeContext{&context, sizeof context}, wipeT{t, sizeof t};
    InitDigest(&context, digestType);
    UpdateDigest(&context, password, passwordLength);
    UpdateDigest(&context, salt, kPbeSaltLength);
    FinalDigest(&context, t, &length);
    for (std::uint32_t i = 1; i < count; ++i) DigestDataBlock(t, &length, t, length, digestType);
    for (int i = 0; i < 8; ++i) {
        unsigned char b = t[i], ones = 0;
        for (int bit = 0; bit < 8; ++bit) ones += (b >> bit) & 1;
        key[i] = (ones % 2 == 0) ? static_cast<unsigned char>(b ^ 1) : b;
        iv[i] = t[8 + i];
    }
}

}  // namespace

std::size_t PbeEncrypt(const ByteBuffer& plaintext, ByteBuffer* ciphertext, int algorithm, std::uint32_t count,
                       unsigned char salt[kPbeSaltLength], const unsigned char* password, std::size_t passwordLength)
{
    std::uint32_t digestType = DigestOf(algorithm);
    if (digestType == 0) return 0;
    unsigned char t[kMaxDigestLength], key[8], iv[8];
    DesCbcContext des;
    ScopedWipe wipeT{t, sizeof t}, wipeKey{key, sizeof key}, wipeIv{iv, sizeof iv}, wipeDes{&des, sizeof des};
    std::size_t length = 0;
    DigestContext context;
    ScopedWipe wipeContext{&context, sizeof context};
    InitDigest(&context, digestType);
    UpdateDigest(&context, password, passwordLength);
    UpdateDigest(&context, plaintext.pointer, plaintext.length);
    FinalDigest(&context, t, &length);
    CopyBytes(salt, t, kPbeSaltLength);
    DeriveKey(digestType, count, password, passwordLength, salt, key, iv);

    std::size_t padding = 8 - plaintext.length % 8;
    CopyBytes(ciphertext->pointer, plaintext.pointer, plaintext.length);
    FillBytes(ciphertext->pointer + plaintext.length, static_cast<int>(padding), padding);
    ciphertext->length = plaintext.length + padding;
    InitDesCbc(&des, key, iv, 1);
    UpdateDesCbc(&des, ciphertext->pointer, ciphertext->pointer, ciphertext->length);
    return ciphertext->length;
}

std::size_t PbeDecrypt(ByteBuffer* plaintext, const ByteBuffer& ciphertext, int algorithm, std::uint32_t count,
                       const unsigned char salt[kPbeSaltLength], const unsigned char* password,
                       std::size_t passwordLength)
{
    plaintext->length = 0;
    std::uint32_t digestType = DigestOf(algorithm);
    if (digestType == 0 || ciphertext.length == 0 || ciphertext.length % 8 != 0) return 0;
    unsigned char key[8], iv[8];
    DesCbcContext des;
    ScopedWipe wipeKey{key, sizeof key}, wipeIv{iv, sizeof iv}, wipeDes{&des, sizeof des};
    DeriveKey(digestType, count, password, passwordLength, salt, key, iv);
    InitDesCbc(&des, key, iv, 0);
    UpdateDesCbc(&des, plaintext->pointer, ciphertext.pointer, ciphertext.length);
    // A wrong password shows here in all but about one case in 256.
    unsigned char padding = plaintext->pointer[ciphertext.length - 1];
    bool valid = padding >= 1 && padding <= 8;
    for (std::size_t i = 0; valid && i < padding; ++i)
        valid = plaintext->pointer[ciphertext.length - 1 - i] == padding;
    if (!valid) {
        FillBytes(plaintext->pointer, 0, ciphertext.length);
        return 0;
    }
    plaintext->length = ciphertext.length - padding;
    return ciphertext.length;
}
