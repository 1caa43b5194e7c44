#include "core/io/temp_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

TemporaryFile::~TemporaryFile()
{
    if (name[0]) std::remove(name);
}

bool TemporaryFile::Create()
{
    if (name[0]) return true;
#ifdef _WIN32
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    // GetTempFileNameA creates the file, under a name it makes unique.
    char created[MAX_PATH];
    if (length == 0 || length > MAX_PATH - 14 || GetTempFileNameA(folder, "p7", 0, created) == 0) return false;
    if (std::strlen(created) >= sizeof name) {
        DeleteFileA(created);
        return false;
    }
    std::strcpy(name, created);
    return true;
#else
    const char* folder = std::getenv("TMPDIR");
    if (!folder || !*folder) folder = "/tmp";
    char pattern[kStreamFileNameSize];
    const int length = std::snprintf(pattern, sizeof pattern, "%s/tavomir-p7-XXXXXX", folder);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof pattern) return false;
    const int descriptor = mkstemp(pattern);
    if (descriptor < 0) return false;
    close(descriptor);
    std::strcpy(name, pattern);
    return true;
#endif
}
