// Seal and open: round trips for every cipher, the content key and
// ciphertext checked with openssl, padding failures, bounded outputs, and
// the base64-text forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/io/base64.h"
#include "core/rsa/rsa.h"
#include "core/toolkit/toolkit.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;

struct Keys {
    RsaPrivateKey recipient = testsupport::pki_keys::PrivateKey("recipient");
    RsaPublicKey recipientPublic = testsupport::pki_keys::PublicKey(recipient);
    RsaPrivateKey signer = testsupport::pki_keys::PrivateKey("signer2");
    RsaPublicKey signerPublic = testsupport::pki_keys::PublicKey(signer);
};

RandomGenerator* Generator()
{
    static RandomGenerator generator = [] {
        RandomGenerator g;
        InitRandom(&g);
        unsigned char seed[256];
        for (int i = 0; i < 256; ++i) seed[i] = static_cast<unsigned char>(i);
        UpdateRandom(&g, seed, sizeof seed);
        return g;
    }();
    return &generator;
}

struct Sealed {
    Bytes wrappedKey, iv = Bytes(8), data;
};

// Seals in pieces of the given size.
Sealed Seal(std::uint32_t cipher, const Bytes& content, const RsaPublicKey& key, std::size_t piece)
{
    Sealed s;
    CipherContext context;
    s.wrappedKey.resize(kToolkitMaxSignature);
    unsigned char* wrapped[1] = {s.wrappedKey.data()};
    std::size_t wrappedLength = 0;
    const RsaPublicKey* recipients[1] = {&key};
    EXPECT_EQ(InitSeal(&context, wrapped, &wrappedLength, s.iv.data(), 1, recipients, cipher, Generator()), 0);
    s.wrappedKey.resize(wrappedLength);
    Bytes out(content.size() + 16);
    std::size_t done = 0, written = 0, n = 0;
    do {
        std::size_t step = std::min(piece, content.size() - done);
        EXPECT_EQ(UpdateSeal(&context, out.data() + written, out.size() - written, &n, content.data() + done, step), 0);
        written += n;
        done += step;
    } while (done < content.size());
    EXPECT_EQ(FinalSeal(&context, out.data() + written, &n), 0);
    out.resize(written + n);
    s.data = out;
    return s;
}

int Open(std::uint32_t cipher, const Sealed& s, const RsaPrivateKey& key, std::size_t piece, Bytes* content)
{
    CipherContext context;
    int status = InitOpen(&context, cipher, s.wrappedKey.data(), s.wrappedKey.size(), s.iv.data(), &key);
    if (status != 0) return status;
    Bytes out(s.data.size() + 16);
    std::size_t done = 0, written = 0, n = 0;
    while (done < s.data.size()) {
        std::size_t step = std::min(piece, s.data.size() - done);
        if ((status = UpdateOpen(&context, out.data() + written, &n, s.data.data() + done, step)) != 0) return status;
        written += n;
        done += step;
    }
    if ((status = FinalOpen(&context, out.data() + written, &n)) != 0) return status;
    out.resize(written + n);
    *content = out;
    return 0;
}

TEST(ToolkitSeal, RoundTripsForEveryCipherAndLength)
{
    Keys keys;
    for (std::uint32_t cipher : {kCipherDesCbc, kCipherDes2EdeCbc, kCipherDes3EdeCbc, kCipherDesxCbc}) {
        for (std::size_t length : {0u, 7u, 8u, 23u, 24u, 25u}) {
            Bytes content(length);
            for (std::size_t i = 0; i < length; ++i) content[i] = static_cast<unsigned char>(i * 13);
            for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{64}}) {
                Sealed s = Seal(cipher, content, keys.recipientPublic, piece);
                EXPECT_EQ(s.data.size(), length / 8 * 8 + 8) << cipher << " " << length;
                Bytes back;
                ASSERT_EQ(Open(cipher, s, keys.recipient, piece, &back), 0) << cipher << " " << length << " " << piece;
                EXPECT_EQ(back, content) << cipher << " " << length << " " << piece;
            }
        }
    }
}

// The unwrapped key and the sealed bytes as openssl reads them.
TEST(ToolkitSealOpenssl, KeyAndCiphertext)
{
    Keys keys;
    struct Case {
        std::uint32_t cipher;
        const char* name;
    } cases[] = {{kCipherDesCbc, "des-cbc"}, {kCipherDes2EdeCbc, "des-ede3-cbc"}, {kCipherDesxCbc, "desx-cbc"}};
    const std::string dir = testsupport::WorkDir();
    Bytes content(100);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>('a' + i % 26);
    for (const Case& c : cases) {
        Sealed s = Seal(c.cipher, content, keys.recipientPublic, 33);
        const std::string wrapped = dir + "/seal-wrapped.bin", key = dir + "/seal-key.bin";
        const std::string sealed = dir + "/seal-data.bin", opened = dir + "/seal-opened.bin";
        ASSERT_TRUE(testsupport::WriteFile(wrapped, s.wrappedKey.data(), s.wrappedKey.size()));
        ASSERT_TRUE(testsupport::WriteFile(sealed, s.data.data(), s.data.size()));
        std::remove(key.c_str());
        std::remove(opened.c_str());
        ASSERT_EQ(testsupport::openssl_cli::Run("pkeyutl -decrypt -pkeyopt rsa_padding_mode:pkcs1 -inkey " +
                                                Pki("recipient.key.pem") + " -in " + wrapped + " -out " + key),
                  0);
        Bytes contentKey = testsupport::ReadFile(key);
        ASSERT_EQ(contentKey.size(), c.cipher == kCipherDesCbc ? 8u : 24u) << c.name;
        if (c.cipher == kCipherDes2EdeCbc) EXPECT_TRUE(std::equal(contentKey.begin(), contentKey.begin() + 8, contentKey.begin() + 16));
        ASSERT_EQ(testsupport::openssl_cli::Run(std::string("enc -d -") + c.name + " -provider legacy -provider default -K " +
                                                testsupport::ToHex(contentKey.data(), contentKey.size()) + " -iv " +
                                                testsupport::ToHex(s.iv.data(), 8) + " -in " + sealed + " -out " + opened),
                  0)
            << c.name;
        EXPECT_EQ(testsupport::ReadFile(opened), content) << c.name;
    }
}

// A last block decrypting to a bad padding byte fails; nothing pending is
// an empty success.
TEST(ToolkitOpen, LastBlockPadding)
{
    const unsigned char key[8] = {1, 2, 3, 4, 5, 6, 7, 8}, iv[8] = {};
    struct Case {
        unsigned char last[8];
        int status;
        std::size_t length;
    } cases[] = {
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 0}, kStatusKey, 0},
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 9}, kStatusKey, 0},
        {{'a', 'b', 'c', 'd', 'e', 'f', 2, 3}, kStatusKey, 0},
        {{'a', 'b', 'c', 'd', 'e', 3, 3, 3}, 0, 5},
        {{8, 8, 8, 8, 8, 8, 8, 8}, 0, 0},
    };
    for (const Case& c : cases) {
        CipherContext context;
        ASSERT_EQ(InitCipher(&context, kCipherDesCbc, key, iv, 1), 0);
        unsigned char block[8];
        UpdateCipher(&context, block, c.last, 8);
        ASSERT_EQ(InitCipher(&context, kCipherDesCbc, key, iv, 0), 0);
        context.pendingCount = 0;
        unsigned char out[16];
        std::size_t n = 99;
        ASSERT_EQ(UpdateOpen(&context, out, &n, block, 8), 0);
        EXPECT_EQ(n, 0u);  // the last block waits
        EXPECT_EQ(FinalOpen(&context, out, &n), c.status);
        if (c.status == 0) {
            EXPECT_EQ(n, c.length);
            EXPECT_EQ(std::memcmp(out, c.last, c.length), 0);
        }
    }
    CipherContext context;
    InitCipher(&context, kCipherDesCbc, key, iv, 0);
    context.pendingCount = 0;
    unsigned char out[8];
    std::size_t n = 99;
    EXPECT_EQ(FinalOpen(&context, out, &n), 0);
    EXPECT_EQ(n, 0u);
}

TEST(ToolkitSeal, RefusesBadCodesAndKeyLengths)
{
    Keys keys;
    CipherContext context;
    Bytes wrappedKey(kToolkitMaxSignature), iv(8);
    unsigned char* wrapped[1] = {wrappedKey.data()};
    std::size_t wrappedLength = 0;
    const RsaPublicKey* recipients[1] = {&keys.recipientPublic};
    EXPECT_EQ(InitSeal(&context, wrapped, &wrappedLength, iv.data(), 1, recipients, 5, Generator()),
              kStatusCipherAlgorithm);
    EXPECT_EQ(InitCipher(&context, 0, iv.data(), iv.data(), 1), kStatusCipherAlgorithm);
    // A 24-byte content key opened as DES.
    Sealed s = Seal(kCipherDes3EdeCbc, Bytes(10, 1), keys.recipientPublic, 10);
    Bytes back;
    EXPECT_EQ(Open(kCipherDesCbc, s, keys.recipient, 10, &back), kStatusPrivateKey);
    s.wrappedKey.resize(257);
    EXPECT_EQ(Open(kCipherDes3EdeCbc, s, keys.recipient, 10, &back), kStatusLength);
    RandomGenerator empty;
    InitRandom(&empty);
    EXPECT_EQ(InitSeal(&context, wrapped, &wrappedLength, iv.data(), 1, recipients, 1, &empty), kStatusRandomNeeded);
}

// The seal update writes only within the capacity it is given.
TEST(ToolkitSeal, UpdateRespectsOutputCapacity)
{
    const unsigned char key[8] = {1, 2, 3, 4, 5, 6, 7, 8}, iv[8] = {};
    CipherContext context;
    InitCipher(&context, kCipherDesCbc, key, iv, 1);
    context.pendingCount = 0;
    unsigned char data[20] = {}, out[24];
    std::memset(out, 0xAB, sizeof out);
    std::size_t n = 0;
    ASSERT_EQ(UpdateSeal(&context, out, 24, &n, data, 3), 0);
    EXPECT_EQ(UpdateSeal(&context, out, 15, &n, data, 20), kStatusLength);
    EXPECT_EQ(context.pendingCount, 3u);
    EXPECT_EQ(UpdateSeal(&context, out, 8, &n, data, 14), kStatusLength);
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(UpdateSeal(&context, out, 16, &n, data, 14), 0);
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(context.pendingCount, 1u);
}

TEST(ToolkitEncoded, PiecesOf32Characters)
{
    const unsigned char key[8] = {1, 2, 3, 4, 5, 6, 7, 8}, iv[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    Bytes data(48, 'x');
    CipherContext context;
    InitCipher(&context, kCipherDesCbc, key, iv, 1);
    context.pendingCount = 0;
    std::string text(EncodedBlocksLength(data.size()), '\0');
    std::size_t textLength = 0;
    ASSERT_EQ(EncryptEncodedBlocks(&context, &text[0], &textLength, data.data(), data.size()), 0);
    EXPECT_EQ(textLength, 32u + 32u + 12u);
    EXPECT_EQ(text.size(), textLength);

    CipherContext opener;
    InitCipher(&opener, kCipherDesCbc, key, iv, 0);
    opener.pendingCount = 0;
    Bytes out(64, 0xAB);
    std::size_t n = 0;
    ASSERT_EQ(DecryptEncodedBlocks(&opener, out.data(), out.size(), &n, text.data(), textLength), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(n)), data);
    // Too small a buffer fails before anything is written past it.
    RestartCipher(&opener);
    opener.pendingCount = 0;
    Bytes small(47 + 8, 0xAB);
    EXPECT_EQ(DecryptEncodedBlocks(&opener, small.data(), 47, &n, text.data(), textLength), kStatusLength);
    for (std::size_t i = 47; i < small.size(); ++i) EXPECT_EQ(small[i], 0xAB) << i;
    // Text that is not base64.
    RestartCipher(&opener);
    opener.pendingCount = 0;
    text[3] = '*';
    EXPECT_EQ(DecryptEncodedBlocks(&opener, out.data(), out.size(), &n, text.data(), textLength), kStatusEncoding);
}

TEST(ToolkitEncoded, SignAndVerifyText)
{
    Keys keys;
    Bytes content = {'h', 'e', 'l', 'l', 'o', ' ', 't', 'e', 'x', 't'};
    std::string contentText(16, '\0'), signatureText(kToolkitMaxSignatureText, '\0');
    std::size_t contentTextLength = 0, signatureTextLength = 0;
    ASSERT_EQ(SignEncodedBlock(&contentText[0], &contentTextLength, &signatureText[0], &signatureTextLength,
                               content.data(), content.size(), 1, kDigestSha1, &keys.signer),
              0);
    EXPECT_EQ(contentText.substr(0, contentTextLength), "aGVsbG8gdGV4dA==");
    Bytes out(10);
    std::size_t length = 0;
    EXPECT_EQ(VerifyEncodedSignature(out.data(), out.size(), &length, contentText.data(), contentTextLength,
                                     signatureText.data(), signatureTextLength, 1, kDigestSha1, &keys.signerPublic),
              0);
    EXPECT_EQ(out, content);
    // The decoded content does not fit: refused, nothing written past it.
    Bytes small(9 + 4, 0xAB);
    EXPECT_EQ(VerifyEncodedSignature(small.data(), 9, &length, contentText.data(), contentTextLength,
                                     signatureText.data(), signatureTextLength, 1, kDigestSha1, &keys.signerPublic),
              kStatusLength);
    for (std::size_t i = 0; i < small.size(); ++i) EXPECT_EQ(small[i], 0xAB) << i;
    EXPECT_EQ(VerifyEncodedSignature(out.data(), out.size(), &length, "aGVsbG8*dGV4dA==", 16, signatureText.data(),
                                     signatureTextLength, 1, kDigestSha1, &keys.signerPublic),
              kStatusContentEncoding);
    std::string longSignature(345, 'A');
    EXPECT_EQ(VerifyEncodedSignature(out.data(), out.size(), &length, contentText.data(), contentTextLength,
                                     longSignature.data(), longSignature.size(), 1, kDigestSha1, &keys.signerPublic),
              kStatusSignatureEncoding);
    // Without decoding, the text itself is the signed content.
    ASSERT_EQ(SignEncodedBlock(nullptr, nullptr, &signatureText[0], &signatureTextLength, content.data(), content.size(),
                               0, kDigestMd5, &keys.signer),
              0);
    EXPECT_EQ(VerifyEncodedSignature(nullptr, 0, &length, reinterpret_cast<const char*>(content.data()), content.size(),
                                     signatureText.data(), signatureTextLength, 0, kDigestMd5, &keys.signerPublic),
              0);
    EXPECT_EQ(length, content.size());
}

TEST(ToolkitEncoded, SealAndOpenBlock)
{
    Keys keys;
    Bytes content(70);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>(i);
    std::string contentText(EncodedBlocksLength(content.size()), '\0'), keyText(kToolkitMaxSignatureText, '\0');
    std::string signatureText(EncodedBlocksLength(kToolkitMaxSignature), '\0');
    std::size_t contentLength = 0, keyLength = 0, signatureLength = 0;
    unsigned char iv[8];
    ASSERT_EQ(SealEncodedBlock(&contentText[0], &contentLength, &keyText[0], &keyLength, &signatureText[0],
                               &signatureLength, iv, content.data(), content.size(), kDigestMd5, &keys.recipientPublic,
                               &keys.signer, Generator()),
              0);
    auto open = [&](unsigned char* out, std::size_t capacity, std::size_t* length, const std::string& key,
                    const std::string& signature) {
        return OpenEncodedBlock(out, capacity, length, contentText.data(), contentLength, key.data(), key.size(),
                                signature.data(), signature.size(), iv, kDigestMd5, &keys.signerPublic, &keys.recipient);
    };
    const std::string key = keyText.substr(0, keyLength), signature = signatureText.substr(0, signatureLength);
    Bytes out(100, 0xAB);
    std::size_t length = 0;
    ASSERT_EQ(open(out.data(), out.size(), &length, key, signature), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(length)), content);

    Bytes small(69 + 8, 0xAB);
    EXPECT_EQ(open(small.data(), 69, &length, key, signature), kStatusContentEncoding);
    for (std::size_t i = 69; i < small.size(); ++i) EXPECT_EQ(small[i], 0xAB) << i;
    EXPECT_EQ(open(out.data(), out.size(), &length, std::string(345, 'A'), signature), kStatusKeyEncoding);
    EXPECT_EQ(open(out.data(), out.size(), &length, "A*==", signature), kStatusKeyEncoding);
    EXPECT_EQ(open(out.data(), out.size(), &length, key, std::string(356, 'A')), kStatusSignatureEncoding);
    std::string damaged = signature;
    damaged[5] = damaged[5] == 'A' ? 'B' : 'A';
    int status = open(out.data(), out.size(), &length, key, damaged);
    EXPECT_TRUE(status == kStatusKey || status == kStatusSignature || status == kStatusPublicKey) << status;
}

}  // namespace
