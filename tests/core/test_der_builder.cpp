#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/der/der_builder.h"
#include "tests/support/test_der_util.h"

namespace {

using testsupport::ToHex;

std::string WrittenHex(const DERBuilder& b)
{
    ByteBuffer w = DERBuilderWritten(&b);
    return ToHex(w.pointer, w.length);
}

ByteBuffer Text(const char* text)
{
    return ByteBuffer{reinterpret_cast<unsigned char*>(const_cast<char*>(text)), std::char_traits<char>::length(text)};
}

// Elements close around what was written since their marks, nested and
// side by side, without summing any sizes.
TEST(DERBuilder, ClosesElementsAroundMarks)
{
    std::vector<unsigned char> buffer(64);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());
    const std::uint64_t outer = DERBuilderMark(&b);
    BuildDERPrimitive(&b, kTagOctetString, Text("abc"));
    const std::uint64_t set = DERBuilderMark(&b);
    BuildDERSmallInteger(&b, 0x80);  // needs a sign byte
    BuildDERSmallInteger(&b, 1);
    CloseDER(&b, kTagSet, set);
    CloseDER(&b, kTagSequence, outer);
    ASSERT_EQ(b.status, kDERBuildOk);
    EXPECT_EQ(WrittenHex(b), "300e" "3107" "020101" "02020080" "0403616263");
    EXPECT_EQ(DERBuilderLength(&b), 16u);
}

TEST(DERBuilder, EmptyPrimitiveAndLongFormLength)
{
    std::vector<unsigned char> content(200, 0x41);
    std::vector<unsigned char> buffer(256);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());
    BuildDERPrimitive(&b, kTagOctetString, ByteBuffer{content.data(), content.size()});
    BuildDERPrimitive(&b, kTagNull, ByteBuffer{nullptr, 0});
    ASSERT_EQ(b.status, kDERBuildOk);
    std::string hex = WrittenHex(b);
    EXPECT_EQ(hex.substr(0, 10), "050004" "81c8");
    EXPECT_EQ(hex.size(), 2u * (2 + 3 + 200));
}

// Bytes that follow the buffer (streamed content, a later tail) count for
// every element around them; the buffer holds only the heads.
TEST(DERBuilder, FollowingBytesCountInEveryEnclosingLength)
{
    std::vector<unsigned char> buffer(32);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());
    FollowDER(&b, 0x10000);
    CloseDER(&b, kTagOctetString, 0);
    CloseDER(&b, kTagContextConstructed + 0, 0);
    ASSERT_EQ(b.status, kDERBuildOk);
    EXPECT_EQ(WrittenHex(b), "a083010005" "0483010000");
    EXPECT_EQ(DERBuilderLength(&b), 0x10000u + 5 + 5);
}

TEST(DERBuilder, FollowingBytesOnlyBeyondEverythingWritten)
{
    std::vector<unsigned char> buffer(8);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());
    BuildDERSmallInteger(&b, 1);
    FollowDER(&b, 4);
    EXPECT_EQ(b.status, kDERBuildNoRoom);
}

// The 32-bit cap holds for a header's length and for the whole.
TEST(DERBuilder, LengthsBeyondThirtyTwoBitsFail)
{
    struct Case {
        const char* name;
        std::uint64_t following;
        int closes;
        int status;
    };
    const Case cases[] = {
        {"largest header length", 0xFFFFFFFFu - 6, 1, kDERBuildOk},
        {"whole beyond the cap once headed", 0xFFFFFFFFu - 4, 1, kDERBuildTooLong},
        {"following alone beyond the cap", 0x100000000ull, 0, kDERBuildTooLong},
        {"an outer header over the whole", 0xFFFFFFFFu - 12, 2, kDERBuildOk},
        {"an outer header past the cap", 0xFFFFFFFFu - 8, 2, kDERBuildTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> buffer(32);
        DERBuilder b;
        InitDERBuilder(&b, buffer.data(), buffer.size());
        FollowDER(&b, c.following);
        for (int i = 0; i < c.closes; ++i) CloseDER(&b, kTagSequence, 0);
        EXPECT_EQ(b.status, c.status);
        if (c.status == kDERBuildOk) {
            EXPECT_LE(DERBuilderLength(&b), 0xFFFFFFFFu);
        }
    }
}

// After the first failure nothing more is written and the failure stays.
TEST(DERBuilder, KeepsTheFirstFailure)
{
    std::vector<unsigned char> buffer(4);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());
    BuildDERPrimitive(&b, kTagOctetString, Text("abcdef"));
    EXPECT_EQ(b.status, kDERBuildNoRoom);
    const std::size_t position = b.cursor.position;
    BuildDERSmallInteger(&b, 1);
    CloseDER(&b, kTagSequence, 0);
    FollowDER(&b, 0x100000000ull);
    EXPECT_EQ(b.status, kDERBuildNoRoom);
    EXPECT_EQ(b.cursor.position, position);
}

TEST(DERBuilder, AFailingStepFailsTheBuilder)
{
    std::vector<unsigned char> buffer(8);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());
    BuildDER(&b, [](DERCursor*) { return std::size_t(0); });
    EXPECT_EQ(b.status, kDERBuildNoRoom);
}

}  // namespace
