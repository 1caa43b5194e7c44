#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text/datetime.h"
#include "core/hash/digest.h"
#include "core/io/stream.h"
#include "core/text/text.h"
#include "core/io/text_files.h"
#include "tests/support/test_util.h"

namespace {

#ifndef _WIN32
// One character per YY (0-99), MM (0-13), DD (0-32): '1' when Python's
// calendar knows the date in the given century rule.
std::string CalendarTable(const char* yearExpr)
{
    std::string script =
        "import calendar\n"
        "out=[]\n"
        "for yy in range(100):\n"
        "  y=" + std::string(yearExpr) + "\n"
        "  for mm in range(14):\n"
        "    for dd in range(33):\n"
        "      ok = 1<=mm<=12 and 1<=dd<=calendar.monthrange(y,mm)[1]\n"
        "      out.append('1' if ok else '0')\n"
        "print(''.join(out))\n";
    std::string path = testsupport::WorkDir() + "/calendar_table.py";
    if (!testsupport::WriteFile(path, script.data(), script.size())) return "";
    std::string table = testsupport::RunCommand("python3 " + path);
    while (!table.empty() && (table.back() == '\n' || table.back() == '\r')) table.pop_back();
    return table;
}
#endif

}  // namespace

#ifndef _WIN32
TEST(DateChecks, DateTextMatchesPythonCalendar)
{
    // No pivot: the YY % 4 rule is the Gregorian one for 2000-2099.
    std::string table = CalendarTable("2000+yy");
    ASSERT_EQ(table.size(), 100u * 14 * 33);
    std::size_t i = 0;
    for (int yy = 0; yy < 100; ++yy)
        for (int mm = 0; mm < 14; ++mm)
            for (int dd = 0; dd < 33; ++dd, ++i) {
                char text[16];
                std::snprintf(text, sizeof text, "%02d%02d%02d", yy, mm, dd);
                ASSERT_EQ(CheckDateText(text), table[i] == '1' ? 1 : 0) << text;
            }
}

TEST(DateChecks, UTCTimeTextMatchesPythonCalendarWithPivot)
{
    std::string table = CalendarTable("(1900+yy if yy>=97 else 2000+yy)");
    ASSERT_EQ(table.size(), 100u * 14 * 33);
    std::size_t i = 0;
    for (int yy = 0; yy < 100; ++yy)
        for (int mm = 0; mm < 14; ++mm)
            for (int dd = 0; dd < 33; ++dd, ++i) {
                char seconds[20], minutes[20];
                std::snprintf(seconds, sizeof seconds, "%02d%02d%02d235959Z", yy, mm, dd);
                std::snprintf(minutes, sizeof minutes, "%02d%02d%02d0000", yy, mm, dd);
                int expected = table[i] == '1' ? 0 : 1;
                ASSERT_EQ(CheckUTCTimeText(seconds), expected) << seconds;
                ASSERT_EQ(CheckUTCTimeText(minutes), expected) << minutes;
            }
}
#endif

TEST(DateChecks, UTCTimeTextShapes)
{
    struct Case {
        const char* text;
        int expected;  // 0 valid, 1 invalid
    } cases[] = {
        {"960229235959Z", 0},  // 2096 is a leap year
        {"970229000000Z", 1},
        {"0002291200Z", 1},    // Z without seconds
        {"0002291200", 0},
        {"991231235959Z", 0},
        {"981231235959ZX", 1},
        {"991231235959", 1},   // seconds without Z
        {"991231236000Z", 1},  // minute 60
        {"991231240000Z", 1},  // hour 24
        {"991231235960Z", 1},  // second 60
        {"9912312359", 0},
        {"99123123", 1},       // no minutes
        {"", 1},
        {"9", 1},
        {"A9123123595", 1},
        {"990A31235959Z", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckUTCTimeText(c.text), c.expected) << c.text;
}

TEST(DateChecks, DateTextEdges)
{
    EXPECT_EQ(CheckDateText("000229"), 1);
    EXPECT_EQ(CheckDateText("010229"), 0);
    EXPECT_EQ(CheckDateText("001301"), 0);
    EXPECT_EQ(CheckDateText("0A0101"), 0);
    EXPECT_EQ(CheckDateText("00022"), 0);  // short text stops at the NUL
    EXPECT_EQ(CheckDateText("990101XYZ"), 1);
}

TEST(DateChecks, ExpandUTCYearPivotAndLength)
{
    char out[32];
    ASSERT_EQ(ExpandUTCYear(out, sizeof out, "970101000000Z"), 0);
    EXPECT_STREQ(out, "19970101000000Z");
    ASSERT_EQ(ExpandUTCYear(out, sizeof out, "960101000000Z"), 0);
    EXPECT_STREQ(out, "20960101000000Z");
    ASSERT_EQ(ExpandUTCYear(out, sizeof out, "00"), 0);
    EXPECT_STREQ(out, "2000");
    EXPECT_EQ(ExpandUTCYear(out, sizeof out, ""), 1);
    EXPECT_EQ(ExpandUTCYear(out, sizeof out, "9"), 1);
    EXPECT_EQ(ExpandUTCYear(out, sizeof out, "X9"), 1);
    EXPECT_EQ(ExpandUTCYear(out, 15, "970101000000Z"), 1);  // needs 16 bytes
    EXPECT_EQ(ExpandUTCYear(out, 16, "970101000000Z"), 0);
}

TEST(DateChecks, TimeWindow)
{
    EXPECT_EQ(CheckTimeWindow("980101000000Z", "970101000000Z", "050101000000Z"), 0);
    EXPECT_EQ(CheckTimeWindow("060101000000Z", "970101000000Z", "050101000000Z"), -1);
    EXPECT_EQ(CheckTimeWindow("960101000000Z", "970101000000Z", "050101000000Z"), -1);  // 2096
    EXPECT_EQ(CheckTimeWindow("970101000000Z", "970101000000Z", "970101000000Z"), 0);
    EXPECT_EQ(CheckTimeWindow("", "970101000000Z", "050101000000Z"), -1);
}

TEST(DateChecks, DisplayTime)
{
    char text[18] = "020315134501Z";
    ASSERT_EQ(FormatDisplayTime(text), 0);
    EXPECT_STREQ(text, "2002/03/15  13:45");
    char shortText[18] = "0203";
    EXPECT_EQ(FormatDisplayTime(shortText), 1);
}

TEST(DateChecks, TimePairIsNowAndLater)
{
    char now[20], later[20];
    std::memset(now, 0x55, sizeof now);
    std::memset(later, 0x55, sizeof later);
    FormatTimePair(now, later, 3, "Z");
    ASSERT_EQ(std::strlen(now), 13u);
    ASSERT_EQ(std::strlen(later), 13u);
    EXPECT_EQ(now[12], 'Z');
    EXPECT_EQ(CheckUTCTimeText(now), 0) << now;
    int yearNow = (now[0] - '0') * 10 + (now[1] - '0');
    int yearLater = (later[0] - '0') * 10 + (later[1] - '0');
    EXPECT_EQ((yearNow + 3) % 100, yearLater);
    EXPECT_EQ(std::string(now + 2), std::string(later + 2));
}

TEST(TextHelpers, IntToText)
{
    struct Case {
        int value;
        const char* text;
    } cases[] = {
        {-305, "-305"}, {0, "0"}, {7, "7"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"},
    };
    for (const Case& c : cases) {
        char out[12];
        IntToText(c.value, out);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(TextHelpers, ParseDecimalAndReverse)
{
    EXPECT_EQ(ParseDecimal("20250", 4), 2025);
    EXPECT_EQ(ParseDecimal("12x4", 4), 12);
    EXPECT_EQ(ParseDecimal("x", 4), 0);
    EXPECT_EQ(ParseDecimal("", 4), 0);
    EXPECT_EQ(ParseDecimal("99", 0), 0);
    char text[] = "abcde";
    ReverseText(text);
    EXPECT_STREQ(text, "edcba");
    char even[] = "ab";
    ReverseText(even);
    EXPECT_STREQ(even, "ba");
}

TEST(TextHelpers, UpperLatin1)
{
    char text[] = "se\xF1or \xF1\x61nd\xFA";  // señor ñandú
    UpperLatin1Text(text);
    EXPECT_STREQ(text, "SE\xD1OR \xD1\x41ND\xDA");
    // Bytes without an upper-case pair in the set stay unchanged.
    const char unchanged[] = "\xE5\xE6\xE7\xF8\xFD\xFF\xF7\xDF" "1!";
    for (const char* p = unchanged; *p; ++p) EXPECT_EQ(UpperLatin1Char(p), *p);
    const char accented[] = "\xE0\xE1\xE2\xE3\xE4\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF\xF1\xF2\xF3\xF4\xF5\xF6\xF9\xFA\xFB\xFC";
    for (const char* p = accented; *p; ++p)
        EXPECT_EQ(static_cast<unsigned char>(UpperLatin1Char(p)), static_cast<unsigned char>(*p) - 0x20);
}

TEST(TextHelpers, TaxIdAndFiveDigits)
{
    struct Case {
        const char* text;
        int dashRule;
        int form;
        int expected;
    } cases[] = {
        {"abcd800101", 0, 0, 1},        // lower-case letters are upper-cased
        {"ABCD800230", 0, 0, 0},        // 30 February
        {"ABCD800101ab1", 0, 1, 1},
        {"ABCD800101-AB1", 1, 1, 1},
        {"ABCD800101AB1", 1, 1, 0},     // dash required
        {"ABCD800101-AB1", 0, 1, 0},    // dash refused
        {"ABCD800101-AB1", -1, 1, 1},
        {"\xF1" "BCD800101", 0, 0, 1},  // ñ counts as a letter
        {"AB1D800101", 0, 0, 0},
        {"ABC800101", 0, 0, 1},
        {"ABC80010", 0, 0, 0},           // too short
        {"ABCDEF800101", 0, 0, 0},       // form 0 at most 11
        {"AB800101XYZ", 0, 2, 1},        // other form: 11 or more carry a code
        {"ABC800101", 0, 2, 1},
        {"ABCD800101A*1", 0, 1, 0},
    };
    for (const Case& c : cases) {
        char text[32];
        std::snprintf(text, sizeof text, "%s", c.text);
        EXPECT_EQ(CheckTaxIdText(text, c.dashRule, c.form), c.expected) << c.text;
    }
    char lower[] = "abcd800101";
    CheckTaxIdText(lower, 0, 0);
    EXPECT_STREQ(lower, "ABCD800101");

    EXPECT_EQ(IsFiveDigitText("01234"), 1);
    EXPECT_EQ(IsFiveDigitText("0123"), 0);
    EXPECT_EQ(IsFiveDigitText("012345"), 0);
    EXPECT_EQ(IsFiveDigitText("0123a"), 0);
}

TEST(TextHelpers, FreeItemsClearsPointerAndLength)
{
    ByteBuffer items[3] = {};
    FreeItems(items, 3);  // all empty: nothing happens
    items[1].pointer = static_cast<unsigned char*>(std::malloc(4));
    items[1].length = 3;
    FreeItems(items, 3);
    EXPECT_EQ(items[1].pointer, nullptr);
    EXPECT_EQ(items[1].length, 0u);
    FreeItems(items, 3);  // a second release is harmless

    ByteBuffer serial = {static_cast<unsigned char*>(std::malloc(2)), 1};
    FreeRepeated(serial, 1);
}

namespace {

struct FileStream {
    DataStream stream{};
    explicit FileStream(const std::string& path, const std::string& content)
    {
        testsupport::WriteFile(path, content.data(), content.size());
        OpenStream(&stream, kStreamFile, kTransferRaw);
        SetStreamFile(&stream, path.c_str());
        StartStream(&stream, kOpenRead);
    }
    ~FileStream() { CloseStream(&stream); }
    std::string Rest()
    {
        std::string out;
        char buffer[64];
        std::size_t count = 0;
        while (ReadStream(&stream, buffer, sizeof buffer, &count) == kStreamSuccess && count) out.append(buffer, count);
        return out;
    }
};

}  // namespace

TEST(StreamHelpers, SkipStreamBytesCountsWhatWasRead)
{
    std::string content(300, 'a');
    content += "TAIL";
    std::string path = testsupport::WorkDir() + "/skip.bin";
    {
        FileStream f(path, content);
        EXPECT_EQ(SkipStreamBytes(&f.stream, 0), 1);
        EXPECT_EQ(SkipStreamBytes(&f.stream, 300), 1);  // three reads: 128, 128, 44
        EXPECT_EQ(f.Rest(), "TAIL");
    }
    {
        FileStream f(path, content);
        EXPECT_EQ(SkipStreamBytes(&f.stream, 305), 0);  // the file ends first
    }
    {
        FileStream f(path, content);
        EXPECT_EQ(SkipStreamBytes(&f.stream, 304), 1);
        EXPECT_EQ(SkipStreamBytes(&f.stream, 1), 0);
    }
    DataStream memory{};
    OpenStream(&memory, kStreamMemory, kTransferRaw);
    EXPECT_EQ(SkipStreamBytes(&memory, 1), -1);
    CloseStream(&memory);
}

TEST(StreamHelpers, FileLengthAndStreamMd5)
{
    std::string path = testsupport::WorkDir() + "/length.bin";
    std::string content(6144 * 2 + 17, 'x');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(testsupport::WriteFile(path, content.data(), content.size()));
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 10, SEEK_SET);
    EXPECT_EQ(GetFileLength(file), static_cast<long>(content.size()));
    EXPECT_EQ(std::ftell(file), 10);  // put back where it was
    std::fclose(file);
    EXPECT_EQ(GetFileLength(nullptr), -1);

    unsigned char expected[16];
    std::size_t length = 0;
    ASSERT_EQ(DigestDataBlock(expected, &length, reinterpret_cast<const unsigned char*>(content.data()),
                              content.size(), kDigestMd5), 0);
#ifndef _WIN32
    std::string md5 = testsupport::RunCommand("openssl dgst -md5 -r '" + path + "' 2>/dev/null");
    EXPECT_EQ(md5.substr(0, 32), testsupport::ToHex(expected, 16));
#endif
    for (std::size_t size : {content.size(), std::size_t(6144), std::size_t(0)}) {
        FileStream f(path, content.substr(0, size));
        unsigned char digest[16];
        ASSERT_EQ(DigestStreamMd5(&f.stream, digest), 0);
        unsigned char reference[16];
        DigestDataBlock(reference, &length, reinterpret_cast<const unsigned char*>(content.data()), size, kDigestMd5);
        EXPECT_EQ(std::memcmp(digest, reference, 16), 0) << size;
    }
}

// A stream that fails to read, or has nothing to read from, gives no digest:
// never the digest of the part read before the failure. The host's view of
// the process's own memory opens, and its first page cannot be read.
TEST(StreamHelpers, StreamMd5OfAnUnreadableStreamFails)
{
    const char* unreadable = "/proc/self/mem";
    if (std::FILE* probe = std::fopen(unreadable, "rb")) std::fclose(probe);
    else GTEST_SKIP() << unreadable << " does not open here";
    const std::string named = testsupport::WorkDir() + "/md5-named.bin";
    ASSERT_TRUE(testsupport::WriteFile(named, "abc", 3));
    struct Case {
        const char* what;
        const char* file;  // null: a stream that is never set up
        std::uint32_t transfer;
        bool start;
    } cases[] = {
        {"raw read fails", unreadable, kTransferRaw, true},
        {"base64 read fails", unreadable, kTransferBase64Lines, true},
        {"file named, not open", named.c_str(), kTransferRaw, false},
        {"no medium", nullptr, kTransferRaw, false},
    };
    for (const Case& c : cases) {
        DataStream stream{};
        if (c.file) {
            ASSERT_EQ(OpenStream(&stream, kStreamFile, c.transfer), kStreamSuccess);
            ASSERT_EQ(SetStreamFile(&stream, c.file), kStreamSuccess);
            if (c.start) ASSERT_EQ(StartStream(&stream, kOpenRead), kStreamSuccess) << c.what;
        }
        unsigned char digest[16];
        std::memset(digest, 0xA5, sizeof digest);
        EXPECT_EQ(DigestStreamMd5(&stream, digest), -1) << c.what;
        for (unsigned char b : digest) EXPECT_EQ(b, 0xA5) << c.what;
        CloseStream(&stream);
    }
}
