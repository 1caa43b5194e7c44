#include "core/io/replacement_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// The target's folder with its separator, "" for the current folder.
std::string FolderOf(const char* target)
{
    const char* last = nullptr;
    for (const char* p = target; *p; ++p)
        if (*p == '/' || *p == '\\') last = p;
    return last ? std::string(target, last + 1) : std::string();
}

}  // namespace

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard()
{
    if (name[0]) std::remove(name);
    name[0] = 0;
}

bool ReplacementFile::Create(const char* targetFile)
{
    if (name[0] || !targetFile || !*targetFile || std::strlen(targetFile) >= sizeof target) return false;
    const std::string folder = FolderOf(targetFile);
#ifdef _WIN32
    // GetTempFileNameA creates the file, under a name it makes unique.
    char created[MAX_PATH];
    if (folder.size() > MAX_PATH - 14 || GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "crl", 0, created) == 0)
        return false;
    if (std::strlen(created) >= sizeof name) {
        DeleteFileA(created);
        return false;
    }
    std::strcpy(name, created);
#else
    char pattern[kStreamFileNameSize];
    const int length = std::snprintf(pattern, sizeof pattern, "%stavomir-crl-XXXXXX", folder.c_str());
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof pattern) return false;
    const int descriptor = mkstemp(pattern);
    if (descriptor < 0) return false;
    close(descriptor);
    std::strcpy(name, pattern);
#endif
    std::strcpy(target, targetFile);
    return true;
}

bool ReplacementFile::Commit()
{
    if (!name[0]) return false;
#ifdef _WIN32
    const bool moved = MoveFileExA(name, target, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    const bool moved = std::rename(name, target) == 0;
#endif
    if (!moved) std::remove(name);
    name[0] = 0;
    return moved;
}
