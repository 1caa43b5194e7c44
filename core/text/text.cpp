#include "core/text/text.h"

#include <cstdlib>
#include <cstring>

#include "core/text/datetime.h"

void FreeItems(ByteBuffer* items, std::size_t count)
{
    if (!items) return;
    for (std::size_t i = 0; i < count; ++i) {
        if (items[i].pointer) std::free(items[i].pointer);
        items[i].pointer = nullptr;  // no dangling pointer for a second release
        items[i].length = 0;
    }
}

void FreeRepeated(ByteBuffer item, std::size_t count)
{
    (void)count;
    if (item.pointer) std::free(item.pointer);
}

int ParseDecimal(const char* text, int n)
{
    int value = 0;
    if (!text) return 0;
    for (int i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

void IntToText(int value, char* out)
{
    // Work on the magnitude as unsigned so that INT_MIN has one.
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    char* p = out;
    if (value < 0) *p++ = '-';
    while (n) *p++ = digits[--n];
    *p = 0;
}

void ReverseText(char* text)
{
    if (!text) return;
    std::size_t length = std::strlen(text);
    for (std::size_t i = 0; i < length / 2; ++i) {
        char c = text[i];
        text[i] = text[length - 1 - i];
        text[length - 1 - i] = c;
    }
}

char UpperLatin1Char(const char* character)
{
    unsigned char c = static_cast<unsigned char>(*character);
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 0x20);
    switch (c) {
    case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE4:  // a grave .. a diaeresis
    case 0xE8: case 0xE9: case 0xEA: case 0xEB:              // e
    case 0xEC: case 0xED: case 0xEE: case 0xEF:              // i
    case 0xF1:                                               // n tilde
    case 0xF2: case 0xF3: case 0xF4: case 0xF5: case 0xF6:  // o
    case 0xF9: case 0xFA: case 0xFB: case 0xFC:              // u
        return static_cast<char>(c - 0x20);
    default:
        return static_cast<char>(c);
    }
}

void UpperLatin1Text(char* text)
{
    if (!text) return;
    for (; *text; ++text) *text = UpperLatin1Char(text);
}

namespace {

const unsigned char kUpperNTilde = 0xD1;

bool IsTaxLetter(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || u == kUpperNTilde;
}

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int CheckTaxIdText(char* text, int dashRule, int form)
{
    if (!text) return 0;
    std::size_t length = std::strlen(text);
    bool withCode;
    if (form == 0) {
        if (length < 9 || length > 11) return 0;
        withCode = false;
    } else if (form == 1) {
        if (length < 12 || length > 14) return 0;
        withCode = true;
    } else {
        if (length < 9) return 0;
        withCode = length >= 11;
    }

    std::size_t end = length;  // the date ends here
    if (withCode) {
        for (std::size_t i = length - 3; i < length; ++i) {
            text[i] = UpperLatin1Char(text + i);
            if (!IsTaxLetter(text[i]) && !IsDigitChar(text[i])) return 0;
        }
        end = length - 3;
        bool dash = text[end - 1] == '-';
        if (dashRule == 1 && !dash) return 0;
        if (dashRule == 0 && dash) return 0;
        if (dash) --end;
    }
    if (end < 7) return 0;  // at least one letter and the date
    std::size_t letters = end - 6;
    char date[7];
    CopyBytes(date, text + letters, 6);
    date[6] = 0;
    if (CheckDateText(date) != 1) return 0;
    for (std::size_t i = 0; i < letters; ++i) {
        text[i] = UpperLatin1Char(text + i);
        if (!IsTaxLetter(text[i])) return 0;
    }
    return 1;
}

int IsFiveDigitText(const char* text)
{
    if (!text) return 0;
    for (int i = 0; i < 5; ++i)
        if (!IsDigitChar(text[i])) return 0;
    return text[5] == 0 ? 1 : 0;
}
