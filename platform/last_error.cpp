#include "platform/last_error.h"

#include <cstdio>

#include "platform/owner.h"

std::string GetErrorText(DWORD code)
{
    // Inserts are left as they stand: no arguments are passed for them.
    char* buffer = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&buffer), 0, nullptr);
    TLocalMemory owned(buffer);
    std::string text;
    if (length && buffer) text.assign(buffer, length);
    // A failure is never reported without a reason.
    if (text.empty()) {
        char fallback[32];
        std::snprintf(fallback, sizeof fallback, "Error 0x%08lX", static_cast<unsigned long>(code));
        text = fallback;
    }
    return text;
}

std::string GetLastErrorText()
{
    return GetErrorText(GetLastError());
}
