// Whether two files hold the same bytes.
#pragma once
#include <string>

// Sizes first, then the bytes in blocks. Throws EFileOpenError when a file
// cannot be opened; a failed read counts as different.
bool FilesHaveSameBytes(const std::string& first, const std::string& second);
