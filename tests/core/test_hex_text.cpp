#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "core/text/hex_text.h"

namespace {

TEST(HexText, Table)
{
    const unsigned char bytes[] = {0x00, 0x0f, 0xa5, 0xff};
    struct Case {
        std::size_t count;
        bool upper;
        char separator;
        const char* text;
    };
    const Case cases[] = {
        {0, false, '\0', ""},
        {0, true, ' ', ""},
        {4, false, '\0', "000fa5ff"},
        {4, true, '\0', "000FA5FF"},
        {2, false, ' ', "00 0f "},
        {1, true, ':', "00:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(HexText(bytes, c.count, c.upper, c.separator), c.text);
    }
}

// Only ASCII letters change: Latin-1 bytes stay, whatever the locale.
TEST(AsciiCase, UpperCaseAndComparison)
{
    EXPECT_EQ(UpperCaseAscii("pkcsD 7z@[`{"), "PKCSD 7Z@[`{");
    EXPECT_EQ(UpperCaseAscii("\xe1\xf1"), "\xe1\xf1");
    EXPECT_TRUE(EqualIgnoringAsciiCase("NumSerie", "NUMSERIE"));
    EXPECT_TRUE(EqualIgnoringAsciiCase("", ""));
    EXPECT_FALSE(EqualIgnoringAsciiCase("NUMSERIE", "NUMSERI"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("\xe1", "\xc1"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("@", "`"));
}

TEST(ReverseBytes, InPlaceForEveryLength)
{
    for (std::size_t n = 0; n <= 5; ++n) {
        std::vector<unsigned char> bytes, expected;
        for (std::size_t i = 0; i < n; ++i) {
            bytes.push_back(static_cast<unsigned char>(i + 1));
            expected.insert(expected.begin(), static_cast<unsigned char>(i + 1));
        }
        ReverseBytes(bytes.data(), bytes.size());
        EXPECT_EQ(bytes, expected) << n;
    }
}

}  // namespace
