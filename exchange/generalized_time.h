// GeneralizedTime texts as both client libraries write and compare them:
// "YYYYMMDDHHMMSSZ", always UTC, years 1997 to 2096, and a tolerance of six
// ASCII digits HHMMSS.
#pragma once
#include <cstddef>

// The 15 characters of a time text and the NUL after them.
enum : std::size_t { kGeneralizedTimeTextSize = 16 };

// Writes the current UTC time as YYYYMMDDHHMMSS followed by suffix ("Z" in
// every use) and a NUL. 1 done; 0 when the buffer is too small.
int FormatCurrentGeneralizedTime(char* buffer, std::size_t size, const char* suffix);

// 1 when the first length characters are a valid time text: 14 digits of a
// real date and time from 1997 to 2096, then "Z" (optionally after a
// fraction of a second ".d..."), and nothing after the "Z". 0 otherwise.
int CheckGeneralizedTimeText(const char* text, std::size_t length);

// result = time + tolerance (six digits HHMMSS), written as
// YYYYMMDDHHMMSS, suffix and a NUL. 1 when the time is valid, the tolerance
// six digits and the sum a valid text that fits; 0 otherwise.
int AddTimeTolerance(const char* time, const char* tolerance, char* result, std::size_t resultSize,
                     const char* suffix);

// 1 when both NUL-terminated texts are valid and, with a tolerance (six
// digits, not terminated), lie within it of each other; without one
// (nullptr), 1 for any two valid texts. 0 otherwise.
int CompareTimesWithTolerance(const char* a, const char* b, const char* tolerance);
