// The files of a folder that match a pattern, for tests that check what an
// operation left behind.
#pragma once
#include <windows.h>

#include <string>

namespace testsupport {

// How many entries of the folder match the pattern ("tkw*"); 0 when none.
inline int CountFiles(const std::string& folder, const char* pattern)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "/" + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (FindNextFileA(find, &found));
    FindClose(find);
    return count;
}

}  // namespace testsupport
