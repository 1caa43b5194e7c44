// Hexadecimal texts of bytes and ASCII case, the one place for each.
#pragma once
#include <cstddef>
#include <string>

// Every byte as two hexadecimal digits ("0"-"9" and "a"-"f", or "A"-"F"
// with upperCase), a separator after each byte when it is not NUL.
std::string HexText(const unsigned char* bytes, std::size_t count, bool upperCase, char separator = '\0');

// The text with its ASCII letters in upper case; other bytes as they are.
std::string UpperCaseAscii(std::string text);

// True when the texts are equal but for the case of ASCII letters.
bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b);
