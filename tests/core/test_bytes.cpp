// The byte helpers every codec is built on.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/der/bytes.h"

TEST(Bytes, CompareGivesFirstDifferenceAsUnsigned)
{
    const unsigned char a[] = {0x01, 0x80}, b[] = {0x01, 0x7F};
    struct Case { const void* x; const void* y; std::size_t n; int want; } cases[] = {
        {a, b, 2, 1}, {a, b, 1, 0}, {a, b, 0, 0}, {b, a, 2, -1},
        {"\xFF", "\x00", 1, 255}, {"\x00", "\xFF", 1, -255},
    };
    for (const Case& c : cases) EXPECT_EQ(CompareBytes(c.x, c.y, c.n), c.want);
}

TEST(Bytes, FillAndCopy)
{
    unsigned char block[8];
    FillBytes(block, 0xA5, sizeof block);
    for (unsigned char b : block) EXPECT_EQ(b, 0xA5);
    CopyBytes(block + 2, "xyz", 3);
    EXPECT_EQ(CompareBytes(block, "\xA5\xA5xyz\xA5\xA5\xA5", 8), 0);
}

TEST(Bytes, CopyToCStringAddsTerminator)
{
    unsigned char* s = CopyToCString("ab\0c", 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CompareBytes(s, "ab\0c\0", 5), 0);
    std::free(s);
    EXPECT_EQ(CopyToCString(nullptr, 3), nullptr);
    EXPECT_EQ(CopyToCString("a", 0), nullptr);
}
