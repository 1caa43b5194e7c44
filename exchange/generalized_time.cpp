#include "exchange/generalized_time.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

struct TimeFields {
    int year, month, day, hour, minute, second;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Digits(const char* text, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool FieldsInRange(const TimeFields& t)
{
    return t.year >= 1997 && t.year <= 2096 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= DaysInMonth(t.year, t.month) && t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

// The 14 leading digits as fields; false when one is not a digit.
bool ReadFields(const char* text, TimeFields* t)
{
    for (int i = 0; i < 14; ++i)
        if (!IsDigit(text[i])) return false;
    *t = TimeFields{Digits(text, 4), Digits(text + 4, 2), Digits(text + 6, 2),
                    Digits(text + 8, 2), Digits(text + 10, 2), Digits(text + 12, 2)};
    return true;
}

int WriteFields(const TimeFields& t, char* out, std::size_t size, const char* suffix)
{
    if (!out || !suffix || size < 15 + std::strlen(suffix)) return 0;
    int n = std::snprintf(out, size, "%04d%02d%02d%02d%02d%02d%s", t.year, t.month, t.day, t.hour, t.minute,
                          t.second, suffix);
    return n > 0 && static_cast<std::size_t>(n) < size;
}

bool IsValidText(const char* text) { return text && CheckGeneralizedTimeText(text, std::strlen(text)); }

}  // namespace

int FormatCurrentGeneralizedTime(char* buffer, std::size_t size, const char* suffix)
{
    std::time_t clock = std::time(nullptr);
    std::tm utc{};
    if (const std::tm* parts = std::gmtime(&clock)) utc = *parts;
    TimeFields t{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
    return WriteFields(t, buffer, size, suffix);
}

int CheckGeneralizedTimeText(const char* text, std::size_t length)
{
    TimeFields t;
    if (!text || length < 15 || !ReadFields(text, &t) || !FieldsInRange(t)) return 0;
    std::size_t zone = 14;
    if (text[zone] == '.') {  // a fraction of a second: at least one digit
        ++zone;
        const std::size_t first = zone;
        while (zone < length && IsDigit(text[zone])) ++zone;
        if (zone == first) return 0;
    }
    return zone + 1 == length && text[zone] == 'Z';
}

int AddTimeTolerance(const char* time, const char* tolerance, char* result, std::size_t resultSize,
                     const char* suffix)
{
    if (!IsValidText(time) || !tolerance) return 0;
    for (int i = 0; i < 6; ++i)
        if (!IsDigit(tolerance[i])) return 0;
    TimeFields t;
    ReadFields(time, &t);
    const int daysInMonth = DaysInMonth(t.year, t.month);
    // One carry a field: a tolerance field so large that the sum stays out
    // of range after one subtraction makes the sum invalid below.
    int carry = 0;
    t.second += Digits(tolerance + 4, 2);
    if (t.second >= 60) t.second -= 60, carry = 1;
    t.minute += Digits(tolerance + 2, 2) + carry, carry = 0;
    if (t.minute >= 60) t.minute -= 60, carry = 1;
    t.hour += Digits(tolerance, 2) + carry, carry = 0;
    if (t.hour >= 24) t.hour -= 24, carry = 1;
    t.day += carry, carry = 0;
    if (t.day > daysInMonth) t.day -= daysInMonth, carry = 1;
    t.month += carry, carry = 0;
    if (t.month > 12) t.month -= 12, carry = 1;
    t.year += carry;
    if (t.year >= 2096 || !FieldsInRange(t)) return 0;
    char sum[kGeneralizedTimeTextSize];
    if (!WriteFields(t, sum, sizeof sum, "Z") || !WriteFields(t, result, resultSize, suffix)) return 0;
    return IsValidText(sum);
}

int CompareTimesWithTolerance(const char* a, const char* b, const char* tolerance)
{
    if (!IsValidText(a) || !IsValidText(b)) return 0;
    if (!tolerance) return 1;
    const bool aNotEarlier = std::strncmp(a, b, 14) >= 0;
    const char* earlier = aNotEarlier ? b : a;
    const char* later = aNotEarlier ? a : b;
    char limit[kGeneralizedTimeTextSize];
    if (!AddTimeTolerance(earlier, tolerance, limit, sizeof limit, "Z")) return 0;
    return std::strncmp(later, limit, 14) <= 0;
}
