// Time texts: UTCTime with two-digit years pivoting at 97 (97-99 are 19xx,
// 00-96 are 20xx), validity checks and the current time as UTCTime texts.
#pragma once
#include <cstddef>

// Writes the four-digit year followed by the text from its third character.
// out must hold outSize bytes. 0 done; 1 when the text is shorter than two
// characters, its year is not two digits or out is too small.
int ExpandUTCYear(char* out, std::size_t outSize, const char* text);

// 0 valid, 1 invalid: YYMMDDhhmm or YYMMDDhhmmssZ within 1997-2096.
int CheckUTCTimeText(const char* text);

// 1 valid, 0 invalid: leading YYMMDD date (no pivot, Feb 29 when YY % 4 == 0).
int CheckDateText(const char* text);

// -1 when the expanded time is before start or after end, else 0.
int CheckTimeWindow(const char* time, const char* start, const char* end);

// Rewrites a UTCTime text in place as "YYYY/MM/DD  hh:mm"; the buffer must
// hold 18 bytes. 0 done, 1 the text is too short.
int FormatDisplayTime(char* text);

// The current UTC time and the same time years later, each as
// YYMMDDhhmmss followed by suffix. Each output needs 13 + strlen(suffix) bytes.
void FormatTimePair(char* now, char* later, int years, const char* suffix);
