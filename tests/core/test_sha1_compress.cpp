// SHA-1's two compressions: each gives the published digests, and the
// processor's path agrees with the portable one on every block boundary.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/cpu/cpu_features.h"
#include "core/hash/digest_block.h"
#include "core/hash/sha1_compress.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

// SHA-1 over the message through one compression, fed in pieces.
std::string Sha1With(digest_block::CompressFn compress, const Bytes& message, std::size_t piece)
{
    std::uint32_t words[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    std::uint32_t count[2] = {0, 0};
    unsigned char buffer[64];
    for (std::size_t at = 0; at < message.size(); at += piece) {
        const std::size_t n = std::min(piece, message.size() - at);
        digest_block::Update(words, count, buffer, message.data() + at, n, compress);
    }
    digest_block::Pad(words, count, buffer, true, compress);
    unsigned char digest[20];
    for (int i = 0; i < 5; ++i) digest_block::StoreBe(digest + 4 * i, words[i]);
    return testsupport::ToHex(digest, sizeof digest);
}

Bytes Text(const std::string& text) { return {text.begin(), text.end()}; }

struct Path {
    const char* name;
    digest_block::CompressFn compress;
    bool available;
};

std::vector<Path> Paths()
{
    return {{"portable", CompressSha1Portable, true},
            {"SHA extensions", CompressSha1Extensions, CpuHasSha1Extensions()}};
}

}  // namespace

TEST(Sha1Compress, EachPathGivesThePublishedDigests)
{
    // FIPS 180-1 appendices A and B, the million "a" of appendix C, and the empty message.
    const struct {
        Bytes message;
        const char* digest;
    } vectors[] = {
        {Text(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {Text("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"), "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {Bytes(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const Path& path : Paths()) {
        if (!path.available) {
            std::printf("  %s: not on this processor\n", path.name);
            continue;
        }
        SCOPED_TRACE(path.name);
        for (const auto& v : vectors) {
            for (std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{1 << 20}})
                EXPECT_EQ(Sha1With(path.compress, v.message, piece), v.digest) << v.message.size() << " bytes";
        }
    }
}

TEST(Sha1Compress, ProcessorPathAgreesWithThePortableOneOnEveryLength)
{
    if (!CpuHasSha1Extensions()) GTEST_SKIP() << "no SHA extensions on this processor";
    std::mt19937 random(20261211);
    Bytes message(70000);
    for (unsigned char& b : message) b = static_cast<unsigned char>(random());
    // Every length across the first blocks and the padding's two cases, then
    // long runs of whole blocks in one call.
    for (std::size_t length = 0; length <= 300; ++length) {
        Bytes m(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(length));
        ASSERT_EQ(Sha1With(CompressSha1Extensions, m, 1000), Sha1With(CompressSha1Portable, m, 1000)) << length;
    }
    for (std::size_t piece : {std::size_t{7}, std::size_t{4096}, message.size()})
        EXPECT_EQ(Sha1With(CompressSha1Extensions, message, piece), Sha1With(CompressSha1Portable, message, piece));
}
