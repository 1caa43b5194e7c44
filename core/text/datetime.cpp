#include "core/text/datetime.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Two digits at p, or -1.
int TwoDigits(const char* p)
{
    if (!IsDigit(p[0]) || !IsDigit(p[1])) return -1;
    return (p[0] - '0') * 10 + (p[1] - '0');
}

int MonthLength(int month, bool leap) { return month == 2 && leap ? 29 : kMonthDays[month - 1]; }

// Room for any time text a caller hands in (GeneralizedTime with fractions
// included) plus the two century digits.
constexpr std::size_t kExpandedRoom = 40;

}  // namespace

int ExpandUTCYear(char* out, std::size_t outSize, const char* text)
{
    if (!out || !text || outSize == 0) return 1;
    std::size_t length = std::strlen(text);
    if (length < 2) return 1;
    int yy = TwoDigits(text);
    if (yy < 0) return 1;
    if (length + 3 > outSize) return 1;
    int year = yy < 97 ? 2000 + yy : 1900 + yy;
    std::snprintf(out, outSize, "%04d%s", year, text + 2);
    return 0;
}

int CheckUTCTimeText(const char* text)
{
    char expanded[kExpandedRoom];
    if (ExpandUTCYear(expanded, sizeof expanded, text) != 0) return 1;
    std::size_t length = std::strlen(expanded);
    if (length < 12) return 1;
    for (std::size_t i = 0; i < 12; ++i)
        if (!IsDigit(expanded[i])) return 1;
    int year = (expanded[0] - '0') * 1000 + (expanded[1] - '0') * 100 + TwoDigits(expanded + 2);
    int month = TwoDigits(expanded + 4);
    int day = TwoDigits(expanded + 6);
    int hour = TwoDigits(expanded + 8);
    int minute = TwoDigits(expanded + 10);
    if (year < 1997 || year > 2096) return 1;
    if (month < 1 || month > 12) return 1;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day < 1 || day > MonthLength(month, leap)) return 1;
    if (hour > 23 || minute > 59) return 1;
    if (length == 12) return 0;  // YYMMDDhhmm
    if (length != 15) return 1;  // seconds and Z, nothing after
    int second = TwoDigits(expanded + 12);
    if (second < 0 || second > 59) return 1;
    return expanded[14] == 'Z' ? 0 : 1;
}

int CheckDateText(const char* text)
{
    if (!text) return 0;
    for (int i = 0; i < 6; ++i)
        if (!IsDigit(text[i])) return 0;  // stops at the NUL of a short text
    int yy = TwoDigits(text);
    int month = TwoDigits(text + 2);
    int day = TwoDigits(text + 4);
    if (month < 1 || month > 12) return 0;
    if (day < 1 || day > MonthLength(month, yy % 4 == 0)) return 0;
    return 1;
}

int CheckTimeWindow(const char* time, const char* start, const char* end)
{
    char t[kExpandedRoom], s[kExpandedRoom], e[kExpandedRoom];
    if (ExpandUTCYear(t, sizeof t, time) || ExpandUTCYear(s, sizeof s, start) ||
        ExpandUTCYear(e, sizeof e, end))
        return -1;
    if (std::strcmp(t, s) < 0 || std::strcmp(e, t) < 0) return -1;
    return 0;
}

int FormatDisplayTime(char* text)
{
    char expanded[kExpandedRoom];
    if (ExpandUTCYear(expanded, sizeof expanded, text) != 0) return 1;
    if (std::strlen(expanded) < 12) return 1;
    std::snprintf(text, 18, "%.4s/%.2s/%.2s  %.2s:%.2s", expanded, expanded + 4, expanded + 6,
                  expanded + 8, expanded + 10);
    return 0;
}

void FormatTimePair(char* now, char* later, int years, const char* suffix)
{
    std::time_t clock = std::time(nullptr);
    std::tm utc{};
    if (const std::tm* parts = std::gmtime(&clock)) utc = *parts;  // UTC, no zone offset
    if (!suffix) suffix = "";
    std::size_t room = 13 + std::strlen(suffix);
    std::snprintf(now, room, "%02d%02d%02d%02d%02d%02d%s", utc.tm_year % 100, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, suffix);
    int laterYear = (utc.tm_year + years) % 100;
    if (laterYear < 0) laterYear += 100;
    std::snprintf(later, room, "%02d%02d%02d%02d%02d%02d%s", laterYear, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, suffix);
}
