// DES, DESX and triple DES in CBC mode: published known answers, the
// openssl command line as a peer, and the chaining and length rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cipher/des.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::FromHex;
using testsupport::ToHex;

enum class Cipher { Des, Desx, Des3 };

// One whole message in one update.
Bytes Crypt(Cipher cipher, const Bytes& key, const Bytes& iv, const Bytes& in, int encrypt)
{
    Bytes out(in.size());
    int status = -1;
    switch (cipher) {
    case Cipher::Des: {
        DesCbcContext c;
        InitDesCbc(&c, key.data(), iv.data(), encrypt);
        status = UpdateDesCbc(&c, out.data(), in.data(), in.size());
        break;
    }
    case Cipher::Desx: {
        DesxCbcContext c;
        InitDesxCbc(&c, key.data(), iv.data(), encrypt);
        status = UpdateDesxCbc(&c, out.data(), in.data(), in.size());
        break;
    }
    case Cipher::Des3: {
        Des3CbcContext c;
        InitDes3Cbc(&c, key.data(), iv.data(), encrypt);
        status = UpdateDes3Cbc(&c, out.data(), in.data(), in.size());
        break;
    }
    }
    EXPECT_EQ(status, 0);
    return out;
}

Bytes Text(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

// FIPS 81 (CBC example) and the SP 800-17 / FIPS 46 single-block answers
// (a zero IV makes the first CBC block a plain block encryption).
TEST(DesKnownAnswers, SingleDes)
{
    struct Case {
        const char *key, *iv, *plain, *cipher;
    } cases[] = {
        {"0123456789abcdef", "1234567890abcdef", "4e6f77206973207468652074696d6520666f7220616c6c20",
         "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"},
        {"133457799bbcdff1", "0000000000000000", "0123456789abcdef", "85e813540f0ab405"},
        {"0101010101010101", "0000000000000000", "8000000000000000", "95f8a5e5dd31d900"},
        {"0101010101010101", "0000000000000000", "0000000000000001", "166b40b44aba4bd6"},
        {"8001010101010101", "0000000000000000", "0000000000000000", "95a8d72813daa94d"},
        {"7ca110454a1a6e57", "0000000000000000", "01a1d6d039776742", "690f5b0d9a26939b"},
    };
    for (const Case& c : cases) {
        Bytes cipher = Crypt(Cipher::Des, FromHex(c.key), FromHex(c.iv), FromHex(c.plain), 1);
        EXPECT_EQ(ToHex(cipher.data(), cipher.size()), c.cipher) << c.key;
        Bytes plain = Crypt(Cipher::Des, FromHex(c.key), FromHex(c.iv), cipher, 0);
        EXPECT_EQ(ToHex(plain.data(), plain.size()), c.plain) << c.key;
    }
}

TEST(DesKnownAnswers, ParityBitsIgnored)
{
    Bytes iv(8, 0), block = FromHex("0123456789abcdef");
    EXPECT_EQ(Crypt(Cipher::Des, FromHex("133457799bbcdff1"), iv, block, 1),
              Crypt(Cipher::Des, FromHex("123456789abcdef0"), iv, block, 1));
}

TEST(DesKnownAnswers, TripleDesWithOneKeyIsDes)
{
    Bytes key = FromHex("0123456789abcdef"), iv = FromHex("1234567890abcdef");
    Bytes key3;
    for (int i = 0; i < 3; ++i) key3.insert(key3.end(), key.begin(), key.end());
    Bytes plain = Text("Now is the time for all ");
    EXPECT_EQ(Crypt(Cipher::Des3, key3, iv, plain, 1), Crypt(Cipher::Des, key, iv, plain, 1));
}

TEST(DesKnownAnswers, DesxWithZeroWhiteningIsDes)
{
    Bytes key = FromHex("0123456789abcdef"), iv = FromHex("1234567890abcdef");
    Bytes keyx = key;
    keyx.resize(24, 0);
    Bytes plain = Text("Now is the time for all ");
    EXPECT_EQ(Crypt(Cipher::Desx, keyx, iv, plain, 1), Crypt(Cipher::Des, key, iv, plain, 1));
}

// Against `openssl enc -nopad` with the legacy provider.
TEST(DesOpenssl, AllCiphersBothWays)
{
    struct Case {
        Cipher cipher;
        const char* name;
        const char* key;
    } cases[] = {
        {Cipher::Des, "des-cbc", "0123456789abcdef"},
        {Cipher::Desx, "desx-cbc", "0123456789abcdeff1e0d3c2b5a49786fedcba9876543210"},
        {Cipher::Des3, "des-ede3-cbc", "0123456789abcdeff1e0d3c2b5a49786fedcba9876543210"},
    };
    const std::string dir = testsupport::WorkDir();
    Bytes plain(1024);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i * 7 + 3);
    const char* iv = "fedcba9876543210";
    const std::string in = dir + "/des-plain.bin";
    ASSERT_TRUE(testsupport::WriteFile(in, plain.data(), plain.size()));
    for (const Case& c : cases) {
        const std::string out = dir + "/des-" + c.name + ".bin";
        std::remove(out.c_str());
        ASSERT_EQ(testsupport::openssl_cli::Run(std::string("enc -") + c.name + " -nopad -provider legacy -provider default -K " +
                                                c.key + " -iv " + iv + " -in " + in + " -out " + out),
                  0)
            << c.name;
        Bytes expected = testsupport::ReadFile(out);
        Bytes cipher = Crypt(c.cipher, FromHex(c.key), FromHex(iv), plain, 1);
        EXPECT_EQ(cipher, expected) << c.name;
        EXPECT_EQ(Crypt(c.cipher, FromHex(c.key), FromHex(iv), expected, 0), plain) << c.name;
    }
}

// Two-key triple DES is the three-key form with K3 = K1.
TEST(DesOpenssl, TwoKeyTripleDes)
{
    const std::string dir = testsupport::WorkDir();
    const char* key2 = "0123456789abcdeff1e0d3c2b5a49786";
    const char* iv = "0011223344556677";
    Bytes plain = Text("two-key triple DES, EDE, CBC mode");
    plain.resize(40, '.');
    const std::string in = dir + "/des-ede.in", out = dir + "/des-ede.out";
    ASSERT_TRUE(testsupport::WriteFile(in, plain.data(), plain.size()));
    std::remove(out.c_str());
    ASSERT_EQ(testsupport::openssl_cli::Run(std::string("enc -des-ede-cbc -nopad -provider legacy -provider default -K ") +
                                            key2 + " -iv " + iv + " -in " + in + " -out " + out),
              0);
    Bytes key = FromHex(key2);
    key.insert(key.end(), key.begin(), key.begin() + 8);
    EXPECT_EQ(Crypt(Cipher::Des3, key, FromHex(iv), plain, 1), testsupport::ReadFile(out));
}

// Chaining across updates, restart, a length that is not whole blocks.
TEST(DesCbc, ChainsAcrossUpdatesAndRestarts)
{
    Bytes key = FromHex("0123456789abcdef"), iv = FromHex("1234567890abcdef");
    Bytes plain = Text("Now is the time for all ");
    Bytes whole = Crypt(Cipher::Des, key, iv, plain, 1);
    DesCbcContext c;
    InitDesCbc(&c, key.data(), iv.data(), 1);
    Bytes pieces(24);
    ASSERT_EQ(UpdateDesCbc(&c, pieces.data(), plain.data(), 8), 0);
    ASSERT_EQ(UpdateDesCbc(&c, pieces.data() + 8, plain.data() + 8, 16), 0);
    EXPECT_EQ(pieces, whole);
    // The last ciphertext block is the chaining block.
    EXPECT_EQ(c.chain[0], 0x68378849u);
    EXPECT_EQ(c.chain[1], 0x9a7c05f6u);

    DesCbcContext before = c;
    unsigned char scratch[16];
    EXPECT_EQ(UpdateDesCbc(&c, scratch, plain.data(), 12), kStatusCipherLength);
    EXPECT_EQ(c.chain[0], before.chain[0]);
    EXPECT_EQ(c.chain[1], before.chain[1]);

    RestartDesCbc(&c);
    Bytes again(24);
    ASSERT_EQ(UpdateDesCbc(&c, again.data(), plain.data(), 24), 0);
    EXPECT_EQ(again, whole);
    EXPECT_EQ(UpdateDesCbc(&c, scratch, plain.data(), 0), 0);
}

TEST(DesCbc, InPlaceAndRoundTripForEveryCipher)
{
    Bytes key = FromHex("0123456789abcdeff1e0d3c2b5a49786fedcba9876543210"), iv = FromHex("1234567890abcdef");
    for (std::size_t length : {8u, 16u, 1024u}) {
        Bytes plain(length);
        for (std::size_t i = 0; i < length; ++i) plain[i] = static_cast<unsigned char>(i ^ 0x5a);
        for (Cipher cipher : {Cipher::Des, Cipher::Desx, Cipher::Des3}) {
            Bytes cipherText = Crypt(cipher, key, iv, plain, 1);
            EXPECT_NE(cipherText, plain);
            EXPECT_EQ(Crypt(cipher, key, iv, cipherText, 0), plain);
        }
        // In place: each block is read before it is overwritten.
        Des3CbcContext c;
        InitDes3Cbc(&c, key.data(), iv.data(), 1);
        Bytes buffer = plain;
        ASSERT_EQ(UpdateDes3Cbc(&c, buffer.data(), buffer.data(), buffer.size()), 0);
        EXPECT_EQ(buffer, Crypt(Cipher::Des3, key, iv, plain, 1));
    }
}

TEST(DesCbc, DesxAndTripleDesRefusePartialBlocks)
{
    Bytes key(24, 1), iv(8, 2);
    unsigned char in[16] = {}, out[16];
    DesxCbcContext x;
    InitDesxCbc(&x, key.data(), iv.data(), 1);
    EXPECT_EQ(UpdateDesxCbc(&x, out, in, 9), kStatusCipherLength);
    Des3CbcContext t;
    InitDes3Cbc(&t, key.data(), iv.data(), 0);
    EXPECT_EQ(UpdateDes3Cbc(&t, out, in, 15), kStatusCipherLength);
}

}  // namespace
