// Texts for platform error codes.
#pragma once
#include <windows.h>

#include <string>

// The system's message text for the code as it comes (the system's texts
// end with CRLF); "Error 0x%08X" when the system has no text for it.
std::string GetErrorText(DWORD code);

// The text of the calling thread's last error.
std::string GetLastErrorText();
