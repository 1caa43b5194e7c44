// GeneralizedTime texts: validity, the tolerance sum with its one carry a
// field, and the comparison within a tolerance.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "exchange/generalized_time.h"

namespace {

bool Valid(const std::string& text) { return CheckGeneralizedTimeText(text.c_str(), text.size()) == 1; }

std::string Add(const char* time, const char* tolerance)
{
    char out[kGeneralizedTimeTextSize];
    return AddTimeTolerance(time, tolerance, out, sizeof out, "Z") ? std::string(out) : std::string("fails");
}

TEST(GeneralizedTimeText, ValidityTable)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"20040229120000Z", true},    // leap day
        {"20030229120000Z", false},   // no leap day
        {"21000229120000Z", false},   // century without a leap day (also beyond 2096)
        {"20000229120000Z", true},    // divisible by 400
        {"19961231235959Z", false},   // before 1997
        {"19970101000000Z", true},
        {"20961231235959Z", true},
        {"20970101000000Z", false},
        {"20041301000000Z", false},   // month 13
        {"20040001000000Z", false},   // month 0
        {"20040100000000Z", false},   // day 0
        {"20040431000000Z", false},   // April 31
        {"20040101240000Z", false},   // hour 24
        {"20040101006000Z", false},   // minute 60
        {"20040101000060Z", false},   // second 60
        {"20040101000000", false},    // no zone
        {"20040101000000+0100", false},
        {"2004010100000Z", false},    // 13 digits
        {"2004010100000aZ", false},
        {"20040101000000.5Z", true},  // a fraction of a second
        {"20040101000000.Z", false},
        {"20040101000000ZZ", false},  // something after the zone
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Valid(c.text), c.valid) << c.text;
}

TEST(GeneralizedTimeText, LengthBoundsTheText)
{
    // Only the given length is looked at: a valid text cut short is not.
    EXPECT_EQ(CheckGeneralizedTimeText("20040229120000Z", 14), 0);
    EXPECT_EQ(CheckGeneralizedTimeText(nullptr, 15), 0);
}

TEST(GeneralizedTimeText, AdditionTable)
{
    const struct {
        const char* time;
        const char* tolerance;
        const char* sum;
    } cases[] = {
        {"20031231235959Z", "000001", "20040101000000Z"},  // carried up to the year
        {"20040228233000Z", "010000", "20040229003000Z"},  // leap year
        {"20030228233000Z", "010000", "20030301003000Z"},  // common year
        {"20000228233000Z", "010000", "20000229003000Z"},
        {"20040101000000Z", "000000", "20040101000000Z"},
        {"20040101000000Z", "235959", "20040101235959Z"},
        {"20040101000059Z", "000059", "20040101000158Z"},
        {"20040101000000Z", "000099", "20040101000139Z"},
        {"20040101000059Z", "000099", "fails"},  // 158 s stays out of range after one subtraction
        {"20040101000000Z", "990000", "fails"},
        {"20950101000000Z", "000001", "20950101000001Z"},
        {"20951231235959Z", "000001", "fails"},    // a carry into 2096
        {"20961231235959Z", "000001", "fails"},    // beyond 2096
        {"20040101000000Z", "00000a", "fails"},
        {"20040101000000Z", "\0\0\0\0\0\0", "fails"},  // an unset delay
        {"20030229000000Z", "000001", "fails"},    // invalid time
    };
    for (const auto& c : cases) EXPECT_EQ(Add(c.time, c.tolerance), c.sum) << c.time << " + " << c.tolerance;
}

TEST(GeneralizedTimeText, AdditionRefusesASmallBuffer)
{
    char out[15];
    EXPECT_EQ(AddTimeTolerance("20040101000000Z", "000001", out, sizeof out, "Z"), 0);
}

TEST(GeneralizedTimeText, ComparisonWithinTolerance)
{
    const struct {
        const char* a;
        const char* b;
        const char* tolerance;
        int result;
    } cases[] = {
        {"20040101120000Z", "20040101120500Z", "000500", 1},  // five minutes apart
        {"20040101120500Z", "20040101120000Z", "000500", 1},  // either order
        {"20040101120000Z", "20040101120501Z", "000500", 0},  // one second more
        {"20040101120501Z", "20040101120000Z", "000500", 0},
        {"20040101120000Z", "20040101120000Z", "000000", 1},
        {"19970101000000Z", "20960101000000Z", nullptr, 1},   // no tolerance: any two valid
        {"20040101120000Z", "2004010112000Z", nullptr, 0},    // an invalid text
        {"20040101120000Z", "20040101120000Z", "abcdef", 0},
        {"20031231235959Z", "20040101000000Z", "000001", 1},  // across the year
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompareTimesWithTolerance(c.a, c.b, c.tolerance), c.result)
            << c.a << " " << c.b << " " << (c.tolerance ? c.tolerance : "none");
}

TEST(GeneralizedTimeText, CurrentTimeIsUtcAndValid)
{
    char now[kGeneralizedTimeTextSize];
    ASSERT_EQ(FormatCurrentGeneralizedTime(now, sizeof now, "Z"), 1);
    EXPECT_EQ(std::strlen(now), 15u);
    EXPECT_EQ(CheckGeneralizedTimeText(now, 15), 1);
    std::time_t clock = std::time(nullptr);
    char expected[32];
    std::strftime(expected, sizeof expected, "%Y%m%d%H", std::gmtime(&clock));
    // The hour can turn between the two readings; the date and hour agree otherwise.
    EXPECT_TRUE(std::strncmp(now, expected, 10) == 0 || std::strncmp(now + 10, "00", 2) == 0) << now;
    char small[15];
    EXPECT_EQ(FormatCurrentGeneralizedTime(small, sizeof small, "Z"), 0);
}

}  // namespace
