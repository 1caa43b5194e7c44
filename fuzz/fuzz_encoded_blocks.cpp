// The base64-text forms of open and verify: hostile text and lengths give a
// status, never a write past the buffers they are given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/rsa/rsa_key.h"
#include "core/toolkit/toolkit.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

// A 512-bit key, PKCS#1 DER: cheap RSA for every run.
const char kKeyHex[] =
    "3082013d020100024100c2c0d6f6366dd5ac65c3a1372aaa7639c4f5eb28204cacd3322e2ca7ef73307ad72a39203ab0905fc526eb9d5b"
    "3003422ff50f1d10976a59a6dc6ac541ef2adb020301000102410095c5778b219096225ea073fad8f4feb6aea1f0968b406c287f0ec388e2"
    "bcd32a4cc785056dce7ce627eae6f7cb1fa544717a2b82f52c77b7140cb27cc7f12d01022100ef7c73831017deeb45ef4f4e5d238d8e12d4"
    "2e7a092b75af8c9f59e80937c375022100d02ebceefda26424d3f9eeb3d66eb6894014dd668f8d35fcc682ecbb710bfb0f022100df4979a9"
    "c967784084840bbd54b9c151a5dc8f38d933dc16415691ccf64b37c102210083276ed001ea74bcdeeeee7b4df4a1fb05ec1f2fa5f088ba9f"
    "358c7eea5169f1022100a6f66f4c640d398ea131d11e0cb04ff6208cfb4ed1e681347b71491cc60a7df0";

struct Keys {
    RsaPrivateKey privateKey = {};
    RsaPublicKey publicKey = {};
    Keys()
    {
        std::vector<unsigned char> der;
        for (std::size_t i = 0; kKeyHex[i] && kKeyHex[i + 1]; i += 2)
            der.push_back(static_cast<unsigned char>(std::strtoul(std::string(kKeyHex + i, 2).c_str(), nullptr, 16)));
        DERCursor reader;
        InitDERReader(&reader, der.data(), der.size());
        Check(DecodeRsaPrivateKey(&reader, &privateKey) != 0);
        publicKey.bits = privateKey.bits;
        std::memcpy(publicKey.modulus, privateKey.modulus, sizeof publicKey.modulus);
        std::memcpy(publicKey.publicExponent, privateKey.publicExponent, sizeof publicKey.publicExponent);
    }
};

const Keys& TheKeys()
{
    static const Keys keys;
    return keys;
}

// The output buffer is exactly its capacity, so ASan sees any write past it.
void DecryptAll(const char* text, std::size_t length, std::size_t capacity)
{
    const unsigned char key[24] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    const unsigned char iv[8] = {8, 7, 6, 5, 4, 3, 2, 1};
    for (std::uint32_t cipher : {kCipherDesCbc, kCipherDesxCbc}) {
        CipherContext context;
        Check(InitCipher(&context, cipher, key, iv, 0) == 0);
        context.pendingCount = 0;
        std::vector<unsigned char> out(capacity);
        std::size_t n = 0;
        if (DecryptEncodedBlocks(&context, out.data(), capacity, &n, text, length) == 0) Check(n <= capacity);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Keys& keys = TheKeys();
    if (size == 0) return 0;
    // The first byte picks the output capacity; the rest is the text.
    std::size_t capacity = data[0] % 64;
    const char* text = reinterpret_cast<const char*>(data + 1);
    --size;
    DecryptAll(text, size, capacity);

    // Three texts cut from the input: content, wrapped key, signature.
    std::size_t a = size / 3, b = 2 * size / 3;
    std::vector<unsigned char> content(capacity);
    std::size_t length = 0;
    int status = VerifyEncodedSignature(content.data(), capacity, &length, text, a, text + a, b - a, 1, kDigestMd5,
                                        &keys.publicKey);
    if (status == 0) Check(length <= capacity);
    const unsigned char iv[8] = {};
    status = OpenEncodedBlock(content.data(), capacity, &length, text, a, text + a, b - a, text + b, size - b, iv,
                              kDigestMd5, &keys.publicKey, &keys.privateKey);
    Check(length <= capacity);
    return 0;
}
