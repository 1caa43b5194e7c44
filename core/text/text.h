// Releasing decoder output, decimal conversions and Latin-1 text helpers.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

// Frees each non-null item's block and sets it to {null, 0}.
void FreeItems(ByteBuffer* items, std::size_t count);

// Frees the item's block when its pointer is non-null (the caller's item
// itself is not changed); count is 1 in every caller.
void FreeRepeated(ByteBuffer item, std::size_t count);

// Value of the leading decimal digits, at most n of them.
int ParseDecimal(const char* text, int n);

// Signed decimal text of value, NUL-terminated; out holds at least 12 bytes.
void IntToText(int value, char* out);

// Reverses a NUL-terminated text in place.
void ReverseText(char* text);

// Upper-case form of a Latin-1 character (a-z and the accented vowels and
// n with tilde); other bytes unchanged.
char UpperLatin1Char(const char* character);
void UpperLatin1Text(char* text);

// Letters, a YYMMDD date and, by form, a three-character check code
// optionally preceded by '-'. Upper-cases the letters it checks in place.
// dashRule: 1 dash required, 0 absent, -1 either. 1 valid, 0 invalid.
int CheckTaxIdText(char* text, int dashRule, int form);

// 1 when the text is exactly five decimal digits.
int IsFiveDigitText(const char* text);
