// EncryptedPrivateKeyInfo: the decoder stays inside its input, what it
// accepts encodes back to a structure that decodes alike, and decryption
// either fails with a zero key or yields a key that re-encrypts and decrypts.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/der/der.h"
#include "core/pkcs8/encrypted_key.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

const unsigned char kPassword[] = "tavomir";

bool IsZero(const RsaPrivateKey& key)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&key);
    for (std::size_t i = 0; i < sizeof key; ++i)
        if (p[i]) return false;
    return true;
}

unsigned char gBuffer[kEncryptedKeyMaxLength + 64];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DERCursor reader;
    InitDERReader(&reader, data, size);
    EncryptedKeyInfo info;
    std::size_t n = DecodeEncryptedPrivateKeyInfo(&reader, &info);
    Check(n <= size);
    if (n != 0 && info.ciphertext.length + 64 < sizeof gBuffer) {
        Check(info.ciphertext.pointer >= data && info.ciphertext.pointer + info.ciphertext.length <= data + size);
        DERCursor writer;
        InitDERWriter(&writer, gBuffer, sizeof gBuffer);
        std::size_t written = EncodeEncryptedPrivateKeyInfo(&writer, &info);
        Check(written != 0);
        DERCursor again;
        InitDERReader(&again, gBuffer + writer.position, written);
        EncryptedKeyInfo second;
        Check(DecodeEncryptedPrivateKeyInfo(&again, &second) == written);
        Check(second.algorithm == info.algorithm && second.count == info.count &&
              std::memcmp(second.salt, info.salt, sizeof info.salt) == 0 &&
              second.ciphertext.length == info.ciphertext.length);
    }

    RsaPrivateKey key;
    if (DecryptPrivateKeyInfo(data, size, kPassword, sizeof kPassword - 1, &key) != 0) {
        Check(IsZero(key));
        return 0;
    }
    std::size_t length = 0;
    if (EncryptPrivateKeyInfo(gBuffer, &length, info.algorithm, info.count, kPassword, sizeof kPassword - 1, &key) == 0) {
        RsaPrivateKey back;
        Check(DecryptPrivateKeyInfo(gBuffer, length, kPassword, sizeof kPassword - 1, &back) == 0);
        Check(std::memcmp(&back.modulus, &key.modulus, sizeof key.modulus) == 0);
    }
    return 0;
}
