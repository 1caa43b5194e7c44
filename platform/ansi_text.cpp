#include "platform/ansi_text.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>

std::string WideToAnsi(const wchar_t* text)
{
    if (!text) return std::string();
    const std::size_t length = std::wcslen(text);
    if (length == 0) return std::string();
    if (length > static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
    const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string result(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &result[0], n, nullptr, nullptr);
    return result;
}

std::wstring AnsiToWide(const char* text)
{
    if (!text) return std::wstring();
    const std::size_t length = std::strlen(text);
    if (length == 0) return std::wstring();
    if (length > static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
    const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring result(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &result[0], n);
    return result;
}

bool ConvertsToAnsiExactly(const wchar_t* text)
{
    if (!text) return true;
    return AnsiToWide(WideToAnsi(text).c_str()) == std::wstring(text);
}
