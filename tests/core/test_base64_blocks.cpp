// The sixteen-character base64 paths against the group-by-group code: the
// same text and bytes for every byte value, width and split, and no read or
// write past the buffers they are given (exact-size heap buffers, so the
// sanitizer build catches one).
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/cpu/cpu_features.h"
#include "core/io/base64.h"
#include "core/io/base64_blocks.h"

namespace {

using Bytes = std::vector<unsigned char>;

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

Bytes RandomBytes(std::mt19937& random, std::size_t n)
{
    Bytes b(n);
    for (unsigned char& x : b) x = static_cast<unsigned char>(random());
    return b;
}

// What the chunk encoder must write: the whole groups, CRLF after every
// `width` of them, then the padded rest.
std::string ExpectedLines(const Bytes& data, std::size_t width)
{
    std::string text;
    std::size_t groups = 0;
    char group[4];
    std::size_t at = 0;
    for (; data.size() - at >= 3; at += 3) {
        EncodeBase64Group(group, data.data() + at, 3);
        text.append(group, 4);
        if (++groups % width == 0) text += "\r\n";
    }
    if (at < data.size()) {
        EncodeBase64Group(group, data.data() + at, static_cast<int>(data.size() - at));
        text.append(group, 4);
    }
    return text;
}

// The chunk encoder fed in pieces of the given size, each from a buffer of its own.
std::string ChunkLines(const Bytes& data, std::uint32_t width, std::size_t piece)
{
    Base64Coder coder;
    InitBase64Stream(&coder, 1, width);
    std::string text;
    for (std::size_t at = 0; at < data.size(); at += piece) {
        const std::size_t n = std::min(piece, data.size() - at);
        std::unique_ptr<unsigned char[]> in(new unsigned char[n]);
        std::copy(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n),
                  in.get());
        std::unique_ptr<char[]> out(new char[6 * ((n + 2) / 3) + 6]);
        const std::size_t written = EncodeBase64Chunk(&coder, in.get(), n, out.get());
        text.append(out.get(), written);
    }
    if (coder.count == 1 || coder.count == 2) {
        char group[4];
        EncodeBase64Group(group, coder.group, static_cast<int>(coder.count));
        text.append(group, 4);
    }
    return text;
}

}  // namespace

TEST(Base64Blocks, EveryByteValueAtEveryPositionDecodesAsTheGroupCode)
{
    if (!CpuHasSsse3()) GTEST_SKIP() << "no SSSE3: the group code runs alone";
    std::mt19937 random(611);
    for (int position = 0; position < 16; ++position) {
        for (int value = 0; value < 256; ++value) {
            std::string text;
            for (int i = 0; i < 16; ++i) text += kAlphabet[random() % 64];
            text[static_cast<std::size_t>(position)] = static_cast<char>(value);
            const bool alphabet =
                value != 0 && std::string(kAlphabet).find(static_cast<char>(value)) != std::string::npos;
            unsigned char wide[16] = {};
            const std::size_t taken =
                DecodeBase64Blocks(reinterpret_cast<const unsigned char*>(text.data()), text.size(), wide);
            ASSERT_EQ(taken, alphabet ? 16u : 0u) << "byte " << value << " at " << position;
            if (!alphabet) continue;
            unsigned char groups[12];
            std::size_t n = 0;
            ASSERT_EQ(DecodeBase64(groups, &n, text.data(), text.size()), 0);
            ASSERT_EQ(Bytes(wide, wide + 12), Bytes(groups, groups + 12)) << text;
        }
    }
}

TEST(Base64Blocks, EncodedLinesMatchTheGroupCodeAtEveryWidthAndSplit)
{
    std::mt19937 random(1211);
    const std::uint32_t widths[] = {1, 2, 3, 4, 5, 7, 16, 17, 500};
    const std::size_t pieces[] = {1, 2, 15, 16, 17, 49, 4096, 1 << 20};
    for (std::size_t size : {0, 1, 15, 16, 17, 47, 48, 49, 6000, 100003}) {
        const Bytes data = RandomBytes(random, size);
        for (std::uint32_t width : widths) {
            const std::string expected = ExpectedLines(data, width);
            for (std::size_t piece : pieces) {
                if (size > 20000 && piece < 16) continue;
                ASSERT_EQ(ChunkLines(data, width, piece), expected)
                    << size << " bytes, width " << width << ", pieces of " << piece;
            }
        }
    }
}

TEST(Base64Blocks, WideEncoderStopsWithinWhatItIsGiven)
{
    if (!CpuHasSsse3()) GTEST_SKIP() << "no SSSE3: the group code runs alone";
    std::mt19937 random(31);
    for (std::size_t available = 0; available <= 64; ++available) {
        for (std::size_t groups : {0, 3, 4, 5, 8, 100}) {
            const Bytes data = RandomBytes(random, available);
            std::unique_ptr<unsigned char[]> in(new unsigned char[available]);
            std::copy(data.begin(), data.end(), in.get());
            std::unique_ptr<char[]> text(new char[4 * groups + 1]);
            const std::size_t done = EncodeBase64Blocks(in.get(), available, groups, text.get());
            ASSERT_EQ(done % 4, 0u);
            ASSERT_LE(done, groups);
            ASSERT_LE(3 * done + (done ? 4 : 0), available);
            // It stops only when four more groups do not fit or cannot be read.
            EXPECT_TRUE(groups - done < 4 || available - 3 * done < 16) << available << " " << groups;
            for (std::size_t g = 0; g < done; ++g) {
                char group[4];
                EncodeBase64Group(group, data.data() + 3 * g, 3);
                ASSERT_EQ(std::string(text.get() + 4 * g, 4), std::string(group, 4));
            }
        }
    }
}
