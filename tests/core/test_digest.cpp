#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "tests/support/test_util.h"

namespace {

using testsupport::ToHex;

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

const char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char kDigits80[] = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
const char kFips448[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const char kFox[] = "The quick brown fox jumps over the lazy dog";

struct Vector {
    std::uint32_t type;
    std::string message;
    const char* digest;
};

// RFC 1319, 1320 and 1321 test suites, FIPS 180-1 appendices, FIPS 180 (SHA-0).
const Vector kVectors[] = {
    {kDigestMd2, "", "8350e5a3e24c153df2275c9f80692773"},
    {kDigestMd2, "a", "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
    {kDigestMd2, "abc", "da853b0d3f88d99b30283a69e6ded6bb"},
    {kDigestMd2, "message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
    {kDigestMd2, "abcdefghijklmnopqrstuvwxyz", "4e8ddff3650292ab5a4108c3aa47940b"},
    {kDigestMd2, kAlnum, "da33def2a42df13975352846c30338cd"},
    {kDigestMd2, kDigits80, "d5976f79d83d3a0dc9806c3c66f3efd8"},
    {kDigestMd2, kFox, "03d85a0d629d2c442e987525319fc471"},

    {kDigestMd4, "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {kDigestMd4, "a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {kDigestMd4, "abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {kDigestMd4, "message digest", "d9130a8164549fe818874806e1c7014b"},
    {kDigestMd4, "abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
    {kDigestMd4, kAlnum, "043f8582f241db351ce627e153e7f0e4"},
    {kDigestMd4, kDigits80, "e33b4ddc9c38f2199c3e7b164fcc0536"},

    {kDigestMd5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {kDigestMd5, "a", "0cc175b9c0f1b6a831c399e269772661"},
    {kDigestMd5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {kDigestMd5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {kDigestMd5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {kDigestMd5, kAlnum, "d174ab98d277d9f5a5611c2c9f419d9f"},
    {kDigestMd5, kDigits80, "57edf4a22be3c955ac49da2e2107b67a"},

    {kDigestSha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {kDigestSha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {kDigestSha1, kFips448, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {kDigestSha1, std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},

    {kDigestSha0, "", "f96cea198ad1dd5617ac084a3d92c6107708c0ef"},
    {kDigestSha0, "abc", "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880"},
    {kDigestSha0, kFips448, "d2516ee1acfa5baf33dfc1c471e438449ef134c8"},
    {kDigestSha0, std::string(1000000, 'a'), "3232affa48628a26653b5aaa44541fd90d690603"},
};

std::string Label(const Vector& v)
{
    return "type " + std::to_string(v.type) + ", " + std::to_string(v.message.size()) + " bytes";
}

// Digest through the dispatcher, fed in pieces of at most piece bytes.
std::string DigestInPieces(std::uint32_t type, const std::vector<unsigned char>& message, std::size_t piece)
{
    DigestContext context;
    EXPECT_EQ(InitDigest(&context, type), 0);
    for (std::size_t at = 0; at < message.size(); at += piece) {
        std::size_t n = std::min(piece, message.size() - at);
        EXPECT_EQ(UpdateDigest(&context, message.data() + at, n), 0);
    }
    unsigned char digest[kMaxDigestLength];
    std::size_t length = 0;
    EXPECT_EQ(FinalDigest(&context, digest, &length), 0);
    return ToHex(digest, length);
}

// The algorithm's own operations, bypassing the dispatcher.
std::string DigestDirect(std::uint32_t type, const std::vector<unsigned char>& m)
{
    unsigned char digest[20];
    switch (type) {
    case kDigestMd2: { Md2State s; InitMd2(&s); UpdateMd2(&s, m.data(), m.size()); FinalMd2(digest, &s); return ToHex(digest, 16); }
    case kDigestMd4: { Md4State s; InitMd4(&s); UpdateMd4(&s, m.data(), m.size()); FinalMd4(digest, &s); return ToHex(digest, 16); }
    case kDigestMd5: { Md5State s; InitMd5(&s); UpdateMd5(&s, m.data(), m.size()); FinalMd5(digest, &s); return ToHex(digest, 16); }
    case kDigestSha0: { ShaState s; InitSha0(&s); UpdateSha0(&s, m.data(), m.size()); FinalSha0(digest, &s); return ToHex(digest, 20); }
    case kDigestSha1: { ShaState s; InitSha1(&s); UpdateSha1(&s, m.data(), m.size()); FinalSha1(digest, &s); return ToHex(digest, 20); }
    }
    return "";
}

const std::uint32_t kTypes[] = {kDigestMd2, kDigestSha0, kDigestMd4, kDigestMd5, kDigestSha1};

}  // namespace

TEST(DigestVectors, OneShotDispatcherAndDirectOperationsGiveThePublishedDigest)
{
    for (const Vector& v : kVectors) {
        std::vector<unsigned char> m = Bytes(v.message);
        unsigned char digest[kMaxDigestLength];
        std::size_t length = 0;
        ASSERT_EQ(DigestDataBlock(digest, &length, m.data(), m.size(), v.type), 0) << Label(v);
        EXPECT_EQ(ToHex(digest, length), v.digest) << Label(v);
        EXPECT_EQ(DigestDirect(v.type, m), v.digest) << Label(v);
    }
}

TEST(DigestVectors, PiecewiseFeedingGivesTheSameDigest)
{
    const std::size_t kPieces[] = {1, 15, 16, 17, 55, 56, 63, 64, 65, 1000};
    for (const Vector& v : kVectors) {
        if (v.message.size() > 100000) continue;  // the long ones are covered one-shot
        std::vector<unsigned char> m = Bytes(v.message);
        for (std::size_t piece : kPieces)
            EXPECT_EQ(DigestInPieces(v.type, m, piece), v.digest) << Label(v) << ", pieces of " << piece;
    }
}

TEST(DigestVectors, MillionBytesInOddPieces)
{
    std::vector<unsigned char> m(1000000, 'a');
    EXPECT_EQ(DigestInPieces(kDigestSha1, m, 1000), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(DigestInPieces(kDigestSha0, m, 65), "3232affa48628a26653b5aaa44541fd90d690603");
}

// Every algorithm, every padding boundary: splitting never changes the digest.
TEST(DigestSplitting, BoundaryLengthsAgreeAcrossPieceSizes)
{
    const std::size_t kLengths[] = {0, 1, 15, 16, 17, 31, 32, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 1000, 2049};
    const std::size_t kPieces[] = {1, 55, 56, 63, 64, 65, 1000};
    for (std::uint32_t type : kTypes) {
        for (std::size_t length : kLengths) {
            std::vector<unsigned char> m(length);
            for (std::size_t i = 0; i < length; ++i) m[i] = static_cast<unsigned char>(i * 131 + length);
            std::string whole = DigestDirect(type, m);
            for (std::size_t piece : kPieces)
                EXPECT_EQ(DigestInPieces(type, m, piece), whole)
                    << "type " << type << ", length " << length << ", pieces of " << piece;
        }
    }
}

TEST(DigestDispatcher, UnknownTypesAreRefusedByEveryOperation)
{
    for (std::uint32_t type : {0u, 1u, 7u, 0xffffffffu}) {
        DigestContext context;
        EXPECT_EQ(InitDigest(&context, type), kStatusDigestAlgorithm) << type;
        EXPECT_EQ(context.digestType, type);
        unsigned char byte = 0x61;
        EXPECT_EQ(UpdateDigest(&context, &byte, 1), kStatusDigestAlgorithm) << type;

        unsigned char digest[kMaxDigestLength] = {};
        std::size_t length = 0;
        EXPECT_EQ(FinalDigest(&context, digest, &length), kStatusDigestAlgorithm) << type;
        EXPECT_EQ(length, 16u);
        EXPECT_EQ(ToHex(digest, sizeof digest), std::string(40, '0')) << "nothing written";

        length = 0;
        EXPECT_EQ(DigestDataBlock(digest, &length, &byte, 1, type), kStatusDigestAlgorithm) << type;
        EXPECT_EQ(length, 0u) << "stops at the first failure";
    }
}

TEST(DigestDispatcher, FinishedContextHoldsNothingOfTheMessage)
{
    std::vector<unsigned char> m(100, 0xa5);
    for (std::uint32_t type : kTypes) {
        DigestContext context;
        ASSERT_EQ(InitDigest(&context, type), 0);
        ASSERT_EQ(UpdateDigest(&context, m.data(), m.size()), 0);
        unsigned char digest[kMaxDigestLength];
        std::size_t length = 0;
        ASSERT_EQ(FinalDigest(&context, digest, &length), 0);
        EXPECT_EQ(length, (type == kDigestSha0 || type == kDigestSha1) ? 20u : 16u);
        std::size_t used = type == kDigestMd2 ? sizeof(Md2State) : type == kDigestMd4 ? sizeof(Md4State)
                         : type == kDigestMd5 ? sizeof(Md5State) : sizeof(ShaState);
        const unsigned char* state = reinterpret_cast<const unsigned char*>(&context.state);
        EXPECT_EQ(ToHex(state, used), std::string(2 * used, '0')) << type;
    }
}

TEST(DigestDispatcher, ZeroLengthUpdateWithNullDataChangesNothing)
{
    for (std::uint32_t type : kTypes) {
        DigestContext context;
        ASSERT_EQ(InitDigest(&context, type), 0);
        EXPECT_EQ(UpdateDigest(&context, nullptr, 0), 0);
        unsigned char digest[kMaxDigestLength];
        std::size_t length = 0;
        ASSERT_EQ(FinalDigest(&context, digest, &length), 0);
        EXPECT_EQ(ToHex(digest, length), DigestDirect(type, {})) << type;
    }
}

// Prefixes as RFC 8017 lists them for EMSA-PKCS1-v1_5.
TEST(DigestInfo, BlocksMatchThePkcs1Encodings)
{
    struct Case {
        std::uint32_t type;
        const char* prefix;
    };
    const Case kCases[] = {
        {kDigestMd2, "3020300c06082a864886f70d020205000410"},
        {kDigestMd4, "3020300c06082a864886f70d020405000410"},
        {kDigestMd5, "3020300c06082a864886f70d020505000410"},
        {kDigestSha1, "3021300906052b0e03021a05000414"},
    };
    unsigned char digest[20];
    for (int i = 0; i < 20; ++i) digest[i] = static_cast<unsigned char>(0xc0 + i);
    for (const Case& c : kCases) {
        unsigned char out[kMaxDigestInfoLength + 1];
        FillBytes(out, 0xee, sizeof out);
        std::size_t digestLength = c.type == kDigestSha1 ? 20 : 16;
        std::size_t length = BuildDigestInfo(out, c.type, digest);
        EXPECT_EQ(length, std::strlen(c.prefix) / 2 + digestLength) << c.type;
        EXPECT_EQ(ToHex(out, length), c.prefix + ToHex(digest, digestLength)) << c.type;
        EXPECT_EQ(out[length], 0xee) << "nothing past the block";
    }
}

TEST(DigestInfo, ShaZeroAndUnknownTypesWriteNothing)
{
    unsigned char digest[20] = {};
    for (std::uint32_t type : {0u, 1u, std::uint32_t(kDigestSha0), 7u}) {
        unsigned char out[kMaxDigestInfoLength];
        FillBytes(out, 0xee, sizeof out);
        EXPECT_EQ(BuildDigestInfo(out, type, digest), 0u) << type;
        EXPECT_EQ(ToHex(out, sizeof out), std::string(2 * sizeof out, 'e')) << type;
    }
}

TEST(DigestInfo, CompareAlgorithmTellsEveryPairApart)
{
    const std::uint32_t kSigned[] = {kDigestMd2, kDigestMd4, kDigestMd5, kDigestSha1};
    unsigned char digestA[20], digestB[20];
    FillBytes(digestA, 0x11, sizeof digestA);
    FillBytes(digestB, 0x22, sizeof digestB);
    for (std::uint32_t a : kSigned) {
        for (std::uint32_t b : kSigned) {
            unsigned char first[kMaxDigestInfoLength], second[kMaxDigestInfoLength];
            ASSERT_NE(BuildDigestInfo(first, a, digestA), 0u);
            ASSERT_NE(BuildDigestInfo(second, b, digestB), 0u);
            EXPECT_EQ(CompareDigestInfoAlgorithm(first, second), a == b ? 0 : kStatusSignature)
                << a << " against " << b;
        }
    }
}
