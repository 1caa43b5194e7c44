// Text between the component's 8-bit strings (ANSI code page) and the
// platform's UTF-16 strings.
#pragma once
#include <string>

// The text up to its first NUL; characters the code page lacks become its
// default character.
std::string WideToAnsi(const wchar_t* text);
// The text up to its first NUL.
std::wstring AnsiToWide(const char* text);
