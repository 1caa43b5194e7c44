// Text between the component's 8-bit strings (ANSI code page) and the
// platform's UTF-16 strings.
#pragma once
#include <string>

// The text up to its first NUL; characters the code page lacks become its
// default character.
std::string WideToAnsi(const wchar_t* text);
// True when the text up to its first NUL survives the trip to the code page
// and back unchanged: nothing became the default character or a look-alike.
bool ConvertsToAnsiExactly(const wchar_t* text);
// The text up to its first NUL.
std::wstring AnsiToWide(const char* text);
