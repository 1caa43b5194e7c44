// RSA with PKCS#1 v1.5 blocks on fixed keys: known answers from OpenSSL and
// Python integers, block checks, limits and bad key records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/rsa/rsa.h"
#include "tests/support/test_rsa_util.h"

namespace {

using testsupport::rsa::Bytes;
using testsupport::FromHex;

// openssl genrsa 1024
const char* const kModulus =
    "a88ac68f56aa1951535503ec3a010c9d396981bf18c7bd9826af7b167b449082316727b29279ae8c46aabc68812bd65b"
    "fae5701b2108d3d92cac7504550459692afa5acdc86aabd03837b0abc0b7cda26a6f14c25242f91f7a60a60e670e05b8"
    "513ac0f2e67a362d95870c04b31dcf672af7bb1b6cf2db6a5225c4f35fde3697";
const char* const kPublicExponent =
    "010001";
const char* const kPrivateExponent =
    "252d374f36d69e6f09ea9ecae4a0869fc7a2363468cae64f417943b559cb6df4c9e0ef28bc968aa1f69482aaaa9378dd"
    "2122aaefd101997936197456584a754e19929ccd0325ba99beda767455b2b302266c12f46395fba6f83972303ddd71d7"
    "1c260cece082c75bffd868aaed4e87edc8bdf4387f8b550adc381ce1522b9441";
const char* const kPrime1 =
    "dd4bcd7fe2866646e0728b2971c5e7ba1563242482fe5c45cd115573e4f28ffec2af3302244aa63448bfff5c546c3733"
    "40ae9e20c710e8d8e53c76e6f1486e63";
const char* const kPrime2 =
    "c2f91990c48ce67c000045680691684d09002824b4e00a22009aecb20653d9aa0232fdaad17e0cf31498ff4811bd8b3b"
    "fa82f807c1b9592b8a9c131681e8433d";
const char* const kExponent1 =
    "c0f824ce6b7dbf19f7066b0b4cc6c276a5c7b9f08cb9b944b4b974c686d26d763dd600a8d174b6d1c8ce83a2c38b49e7"
    "4b73f937a3debeecc398a22668283cf9";
const char* const kExponent2 =
    "5030374d8d290e1a6dbdaece0bf57dda411b69673f64ed85f28dc54faabe8dc518467481eecb52f41ec2962bc3f01af5"
    "be2063767d3c87ea1a85fa6bc55e0b59";
const char* const kCoefficient =
    "a12684d475e8e36a3725edadc8343e1c54f817303836ca97652d61b24933a19c1f5156effa50fb0301d5d272f12da92b"
    "574d0a0fcac78ac37daf7ad3283533c9";
const char* const kSwappedCoefficient =
    "34fdc8ebf0587bab79676dcd2c595aca592f16ac3a3408a788a2689276c114a8b332709b64e68099f74c0a9d3d9469ad"
    "672b4c6aedfd982079c6af8f485fb971";
const char* const kOpensslSignature =
    "4b6f1a83031b253cc4afef546fd2a0698606956ee48254df4842116dbe38da9d3ff16e89bf30a53850006b60d4f957aa"
    "b2ba138aaa43257ebd2b9b6a92c93177f86cdde1e6e59da20a13b7951ad39254f9aa9b680595c2b60b82d1162b6d8363"
    "fce9723c9ee2d7a0e1fe262cf173da20c7c251511f334d4be1c2189dcad73937";
const char* const kOpensslType2 =
    "6b6af0f4657b2ab19ae0a84d615fe3182a4f0ad80580b6286bcdcba93353126c11c42543e009e5bf0b75e4ce7c6c823e"
    "e27714bc361b28e3d08c834f0657b087d39661cb0fddaeb289556cdb3fed3e9272f1df9b0e9669577b370a18c93c1833"
    "57008ec441f15e1a9640e2d088f8aa0c67c2fcca50b117672665e9dd279d6bef";
// prime1 of 448 bits, prime2 of 576 bits; signature by Python integers
const char* const kUnevenModulus =
    "ac36a8f301a9c1814a35afc84a1778fda0d88d41b6a911ff85a58a4bb404737064193386767737f61ae0b99ac92c9d05"
    "ae5613004c6452fca389a29e553adda6f1a00459e986295877d492c5bf2065203d834c67b76047b72a51b3770b9b6b29"
    "0c4a133bf5a68a8386335379bedf9d6d277a766f9369031dab952b0cf7ff1063";
const char* const kUnevenPrivateExponent =
    "66d564e166d6d543bcea7e02ddab528630ebdebda4b3249a2e560154df33e132f5b2cebfb631ce6ad8f5e41ef78dfa5d"
    "9012b9d9edc3e28191e0e90714f6828ab801e97c799821bf6305de1137b5a975542461011e5cb1bfbc14e0b84f51a5fb"
    "5016f864b5efc45eb2d758b7990f23c4bb47b3d5b168d118ccb986d2004473b1";
const char* const kUnevenPrime1 =
    "c7bd2c033cb7c3dbd3a4bb6e457986dc536a8fffb1a7ecc6430ae1e9f0fb4cda287010d18a2fdcc3f5c89f43af2c6873"
    "13690ed967f458ef";
const char* const kUnevenPrime2 =
    "dcb8ad3aa37bc9c547c2d5b8505abe137ad5993db08f882ac5e2c58879a5dc140a61a86fc6a24db915317a6e82eb4ebb"
    "707c0d1689d07e9abaf2c097fd85f8c37e368704244fb7cd";
const char* const kUnevenExponent1 =
    "4b8121501ff5bf9e2bc54bed056a4926a489d5e16c80f42a865168d10c7d92b1ad339fc7f61addb35e07f6dc992d8a56"
    "65f202e100410815";
const char* const kUnevenExponent2 =
    "ac966735dbd19693012ad30cbd2047525a111d33049527073316c01897ee5e28f9792548c98bedb454630cf5cebf0a20"
    "3cb37354754ca7427bfe072491a3a941cbb5fd5afabdaedd";
const char* const kUnevenCoefficient =
    "10b58cd28704fea1212e3076f509fbc6a3db185753a4120bd77bb16ee099ccc19823ec6140ccc4388b08b75a25548dc5"
    "7d039c51b3918f33";
// Coefficient for the primes in the other order.
const char* const kUnevenSwappedCoefficient =
    "ca41c5db3ad8ca41675048178fc391f6c4d05b3a3146fed5d28989befa70913c67a76909b8f82655f00eaa3242eb9c02"
    "8a783cdaaa7e50c75432a08775851113cebac3406cfee743";
const char* const kUnevenSignature =
    "67c698584a5dfa7561a08a6bf1392640a6865118ab5b8298479d15af49a394925d230dfaaab28e431c4030f408e38888"
    "3cb82d983895a73cc02e37a9197b3512092c3cb79df50e4bdab1c0d019dcf97f43057fb2c2fa3e85e1b55642bf383083"
    "1c21b9597cd43b5b8a6e32fce3585ccad442dea1f8fc39bc676d8d43ad583d0c";

// The signed and encrypted data of the known answers: bytes 1 to 35.
Bytes FixtureData()
{
    Bytes d(35);
    for (int i = 0; i < 35; ++i) d[i] = static_cast<unsigned char>(i + 1);
    return d;
}

testsupport::rsa::KeyNumbers OpensslKeyNumbers()
{
    return {FromHex(kModulus),   FromHex(kPublicExponent), FromHex(kPrivateExponent), FromHex(kPrime1),
            FromHex(kPrime2),    FromHex(kExponent1),      FromHex(kExponent2),       FromHex(kCoefficient)};
}

testsupport::rsa::KeyNumbers UnevenKeyNumbers()
{
    return {FromHex(kUnevenModulus),   FromHex("010001"),
            FromHex(kUnevenPrivateExponent), FromHex(kUnevenPrime1),
            FromHex(kUnevenPrime2),    FromHex(kUnevenExponent1),
            FromHex(kUnevenExponent2), FromHex(kUnevenCoefficient)};
}

class RsaFixedKey : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::rsa::MakePrivateKey(OpensslKeyNumbers(), &priv_));
        ASSERT_TRUE(testsupport::rsa::MakePublicKey(OpensslKeyNumbers(), &pub_));
        ASSERT_EQ(priv_.bits, 1024);
        InitRandom(&random_);
        Bytes seed(256, 0x42);
        UpdateRandom(&random_, seed.data(), seed.size());
    }
    void TearDown() override { std::memset(&priv_, 0, sizeof priv_); }

    // A hand-made k-byte block through the raw private operation, so that the
    // public block check sees exactly it.
    Bytes RawPrivate(const Bytes& block)
    {
        Bytes out(256);
        std::size_t n = 0;
        EXPECT_EQ(ApplyRsaPrivateKey(out.data(), &n, block.data(), block.size(), &priv_), 0);
        out.resize(n);
        return out;
    }
    Bytes RawPublic(const Bytes& block)
    {
        Bytes out(256);
        std::size_t n = 0;
        EXPECT_EQ(ApplyRsaPublicKey(out.data(), &n, block.data(), block.size(), &pub_), 0);
        out.resize(n);
        return out;
    }

    RsaPrivateKey priv_;
    RsaPublicKey pub_;
    RandomGenerator random_;
    static constexpr std::size_t k = 128;
};

TEST_F(RsaFixedKey, SignatureMatchesOpenssl)
{
    Bytes data = FixtureData();
    Bytes sig(256);
    std::size_t n = 0;
    ASSERT_EQ(EncryptRsaPrivate(sig.data(), &n, data.data(), data.size(), &priv_), 0);
    sig.resize(n);
    EXPECT_EQ(sig, FromHex(kOpensslSignature));

    Bytes back(256);
    ASSERT_EQ(DecryptRsaPublic(back.data(), &n, sig.data(), sig.size(), &pub_), 0);
    back.resize(n);
    EXPECT_EQ(back, data);
}

TEST_F(RsaFixedKey, OpensslType2BlockOpens)
{
    Bytes enc = FromHex(kOpensslType2);
    Bytes out(256);
    std::size_t n = 0;
    ASSERT_EQ(DecryptRsaPrivate(out.data(), &n, enc.data(), enc.size(), &priv_), 0);
    out.resize(n);
    EXPECT_EQ(out, FixtureData());
}

TEST_F(RsaFixedKey, SwappedPrimesSignAlike)
{
    RsaPrivateKey swapped;
    ASSERT_TRUE(testsupport::rsa::MakePrivateKey(testsupport::rsa::Swapped(OpensslKeyNumbers(), FromHex(kSwappedCoefficient)), &swapped));
    Bytes data = FixtureData();
    Bytes sig(256);
    std::size_t n = 0;
    ASSERT_EQ(EncryptRsaPrivate(sig.data(), &n, data.data(), data.size(), &swapped), 0);
    sig.resize(n);
    EXPECT_EQ(sig, FromHex(kOpensslSignature));
}

TEST(RsaUnevenPrimes, EitherOrderSignsAlike)
{
    // prime1 has 14 digits and prime2 18: the second prime is the larger one.
    Bytes data = FixtureData();
    const testsupport::rsa::KeyNumbers orders[] = {
        UnevenKeyNumbers(), testsupport::rsa::Swapped(UnevenKeyNumbers(), FromHex(kUnevenSwappedCoefficient))};
    for (const testsupport::rsa::KeyNumbers& numbers : orders) {
        RsaPrivateKey key;
        ASSERT_TRUE(testsupport::rsa::MakePrivateKey(numbers, &key));
        Bytes sig(256);
        std::size_t n = 0;
        ASSERT_EQ(EncryptRsaPrivate(sig.data(), &n, data.data(), data.size(), &key), 0);
        sig.resize(n);
        EXPECT_EQ(sig, FromHex(kUnevenSignature));
    }
}

TEST_F(RsaFixedKey, RawOperationsInvertEachOther)
{
    Bytes modulusMinusOne = FromHex(kModulus);
    modulusMinusOne.back() -= 1;  // the modulus is odd
    Bytes mid(k, 0x5C);
    mid[0] = 0x3F;
    const Bytes inputs[] = {Bytes(k, 0), Bytes{1}, Bytes{2}, mid, modulusMinusOne};
    for (const Bytes& x : inputs) {
        Bytes y = RawPrivate(x);
        ASSERT_EQ(y.size(), k);
        Bytes z = RawPublic(y);
        Bytes expected(k - x.size(), 0);
        expected.insert(expected.end(), x.begin(), x.end());
        EXPECT_EQ(z, expected);
    }
    // In place, output over the input.
    Bytes buffer = mid;
    std::size_t n = 0;
    ASSERT_EQ(ApplyRsaPublicKey(buffer.data(), &n, buffer.data(), buffer.size(), &pub_), 0);
    EXPECT_EQ(buffer, RawPublic(mid));
}

TEST_F(RsaFixedKey, DataLengthLimits)
{
    for (std::size_t length : {std::size_t(0), std::size_t(117), std::size_t(118), std::size_t(300)}) {
        Bytes data(length, 0x77), out(256);
        std::size_t n = 0;
        int expected = length <= 117 ? 0 : kStatusLength;
        EXPECT_EQ(EncryptRsaPrivate(out.data(), &n, data.data(), length, &priv_), expected) << length;
        EXPECT_EQ(EncryptRsaPublic(out.data(), &n, data.data(), length, &pub_, &random_), expected) << length;
    }
    Bytes tooLong(129, 0), out(256);
    std::size_t n = 0;
    EXPECT_EQ(DecryptRsaPublic(out.data(), &n, tooLong.data(), tooLong.size(), &pub_), kStatusLength);
    EXPECT_EQ(DecryptRsaPrivate(out.data(), &n, tooLong.data(), tooLong.size(), &priv_), kStatusLength);
}

// Block layouts for the checks: type byte, padding byte and count, separator.
struct BlockCase {
    const char* name;
    unsigned char first, type, pad;
    std::size_t padCount;
    bool separator;
    int status;
    std::size_t dataLength;  // expected when status is 0
};

Bytes MakeBlock(const BlockCase& c, std::size_t k)
{
    Bytes b;
    b.push_back(c.first);
    b.push_back(c.type);
    b.insert(b.end(), c.padCount, c.pad);
    if (c.separator) b.push_back(0x00);
    while (b.size() < k) b.push_back(static_cast<unsigned char>(0xA0 + b.size() % 16));
    b.resize(k);
    return b;
}

TEST_F(RsaFixedKey, Type1BlockChecks)
{
    const BlockCase cases[] = {
        {"8 FF", 0x00, 0x01, 0xFF, 8, true, 0, 117},
        {"7 FF", 0x00, 0x01, 0xFF, 7, true, kStatusData, 0},
        {"full padding, no data", 0x00, 0x01, 0xFF, 125, true, 0, 0},
        {"FF to the end", 0x00, 0x01, 0xFF, 126, false, kStatusData, 0},
        {"no separator", 0x00, 0x01, 0xFF, 20, false, kStatusData, 0},
        {"type 2", 0x00, 0x02, 0xFF, 20, true, kStatusData, 0},
        {"first byte 01", 0x01, 0x01, 0xFF, 20, true, kStatusData, 0},
    };
    for (const BlockCase& c : cases) {
        Bytes sig = RawPrivate(MakeBlock(c, k));
        Bytes out(256, 0xEE);
        std::size_t n = 99;
        EXPECT_EQ(DecryptRsaPublic(out.data(), &n, sig.data(), sig.size(), &pub_), c.status) << c.name;
        if (c.status == 0) {
            EXPECT_EQ(n, c.dataLength) << c.name;
        }
    }
}

TEST_F(RsaFixedKey, Type2BlockChecks)
{
    const BlockCase cases[] = {
        {"8 padding bytes", 0x00, 0x02, 0x9D, 8, true, 0, 117},
        {"7 padding bytes", 0x00, 0x02, 0x9D, 7, true, kStatusData, 0},
        {"no separator", 0x00, 0x02, 0x9D, 126, false, kStatusData, 0},
        {"separator last, no data", 0x00, 0x02, 0x9D, 125, true, kStatusData, 0},
        {"one data byte", 0x00, 0x02, 0x9D, 124, true, 0, 1},
        {"type 1", 0x00, 0x01, 0xFF, 20, true, kStatusData, 0},
        {"first byte 01", 0x01, 0x02, 0x9D, 20, true, kStatusData, 0},
    };
    for (const BlockCase& c : cases) {
        Bytes enc = RawPublic(MakeBlock(c, k));
        Bytes out(256, 0xEE);
        std::size_t n = 99;
        EXPECT_EQ(DecryptRsaPrivate(out.data(), &n, enc.data(), enc.size(), &priv_), c.status) << c.name;
        if (c.status == 0) {
            EXPECT_EQ(n, c.dataLength) << c.name;
        }
    }
}

TEST_F(RsaFixedKey, InputNotBelowTheModulusIsRefused)
{
    Bytes modulus = FromHex(kModulus);
    Bytes above = modulus;
    above.back() += 1;
    Bytes wide(1, 0x01);  // 2^1024: above the modulus only in a digit the modulus lacks
    wide.insert(wide.end(), k, 0x00);
    Bytes huge(300, 0xFF);
    const Bytes inputs[] = {modulus, above, Bytes(k, 0xFF), wide, huge};
    for (const Bytes& x : inputs) {
        Bytes out(256);
        std::size_t n = 0;
        EXPECT_EQ(ApplyRsaPublicKey(out.data(), &n, x.data(), x.size(), &pub_), kStatusData) << x.size();
        EXPECT_EQ(ApplyRsaPrivateKey(out.data(), &n, x.data(), x.size(), &priv_), kStatusData) << x.size();
        if (x.size() <= k) {
            EXPECT_EQ(DecryptRsaPublic(out.data(), &n, x.data(), x.size(), &pub_), kStatusData);
            EXPECT_EQ(DecryptRsaPrivate(out.data(), &n, x.data(), x.size(), &priv_), kStatusData);
        }
    }
    // Leading zero bytes beyond the block are only padding.
    Bytes small(300, 0x00);
    small.back() = 2;
    Bytes out(256);
    std::size_t n = 0;
    ASSERT_EQ(ApplyRsaPublicKey(out.data(), &n, small.data(), small.size(), &pub_), 0);
    out.resize(n);
    EXPECT_EQ(out, RawPublic(Bytes{2}));
}

TEST_F(RsaFixedKey, KeyRecordsThatCannotBeUsed)
{
    struct Case {
        const char* name;
        std::uint16_t bits;
        int zeroField;  // 0 none, 1 modulus, 2 prime1, 3 prime2
        int publicStatus, privateStatus;
    };
    const Case cases[] = {
        {"bits 0", 0, 0, kStatusLength, kStatusLength},
        {"bits 2049", 2049, 0, kStatusLength, kStatusLength},
        {"bits 65535", 65535, 0, kStatusLength, kStatusLength},
        {"bits below the modulus", 512, 0, kStatusPublicKey, kStatusPrivateKey},
        {"zero modulus", 1024, 1, kStatusPublicKey, kStatusPrivateKey},
        {"zero prime1", 1024, 2, 0, kStatusPrivateKey},
        {"zero prime2", 1024, 3, 0, kStatusPrivateKey},
    };
    Bytes data(20, 0x31), block = RawPrivate(Bytes{5}), out(256);
    for (const Case& c : cases) {
        RsaPublicKey pub = pub_;
        RsaPrivateKey priv = priv_;
        pub.bits = priv.bits = c.bits;
        if (c.zeroField == 1) {
            std::memset(pub.modulus, 0, sizeof pub.modulus);
            std::memset(priv.modulus, 0, sizeof priv.modulus);
        }
        if (c.zeroField == 2) std::memset(priv.prime1, 0, sizeof priv.prime1);
        if (c.zeroField == 3) std::memset(priv.prime2, 0, sizeof priv.prime2);
        std::size_t n = 7;
        EXPECT_EQ(ApplyRsaPublicKey(out.data(), &n, block.data(), block.size(), &pub), c.publicStatus) << c.name;
        EXPECT_EQ(ApplyRsaPrivateKey(out.data(), &n, block.data(), block.size(), &priv), c.privateStatus) << c.name;
        EXPECT_EQ(EncryptRsaPrivate(out.data(), &n, data.data(), data.size(), &priv), c.privateStatus) << c.name;
        // A 128-byte block is too long for a 512-bit count: that length check comes first.
        const bool blockFits = c.bits != 512;
        if (c.publicStatus != 0) {
            if (blockFits) {
                EXPECT_EQ(DecryptRsaPublic(out.data(), &n, block.data(), block.size(), &pub), c.publicStatus)
                    << c.name;
            }
            EXPECT_EQ(EncryptRsaPublic(out.data(), &n, data.data(), data.size(), &pub, &random_), c.publicStatus)
                << c.name;
            EXPECT_EQ(n, 0u) << c.name;
        }
        if (c.privateStatus != 0 && blockFits) {
            EXPECT_EQ(DecryptRsaPrivate(out.data(), &n, block.data(), block.size(), &priv), c.privateStatus)
                << c.name;
        }
    }
}

TEST_F(RsaFixedKey, UnseededGeneratorDrawsNothing)
{
    RandomGenerator fresh;
    InitRandom(&fresh);
    RandomGenerator before = fresh;
    Bytes data(16, 1), out(256);
    std::size_t n = 0;
    EXPECT_EQ(EncryptRsaPublic(out.data(), &n, data.data(), data.size(), &pub_, &fresh), kStatusRandomNeeded);
    EXPECT_EQ(0, std::memcmp(&before, &fresh, sizeof fresh));
    EXPECT_EQ(EncryptRsaPublic(out.data(), &n, data.data(), data.size(), &pub_, nullptr), kStatusRandomNeeded);
}

TEST_F(RsaFixedKey, Type2BlockShapeAndRoundTrip)
{
    Bytes data = FixtureData();
    Bytes previous;
    for (int round = 0; round < 3; ++round) {
        Bytes enc(256);
        std::size_t n = 0;
        ASSERT_EQ(EncryptRsaPublic(enc.data(), &n, data.data(), data.size(), &pub_, &random_), 0);
        enc.resize(n);
        ASSERT_EQ(n, k);
        EXPECT_NE(enc, previous);
        previous = enc;

        Bytes block = RawPrivate(enc);
        ASSERT_EQ(block[0], 0x00);
        ASSERT_EQ(block[1], 0x02);
        const std::size_t padding = k - data.size() - 3;
        for (std::size_t i = 2; i < 2 + padding; ++i) ASSERT_NE(block[i], 0x00) << i;
        ASSERT_EQ(block[2 + padding], 0x00);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), block.begin() + 3 + static_cast<long>(padding)));

        Bytes back(256);
        ASSERT_EQ(DecryptRsaPrivate(back.data(), &n, enc.data(), enc.size(), &priv_), 0);
        back.resize(n);
        EXPECT_EQ(back, data);
    }
}

}  // namespace
