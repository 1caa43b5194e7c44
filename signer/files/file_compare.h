// Whether two files hold the same bytes.
#pragma once
#include <string>

enum class FileComparison { Same, Different, ReadFailed };

// Sizes first, then the bytes in blocks. Throws EFileOpenError when a file
// cannot be opened. A size or a read that fails, and a file that does not
// end at its size (it changed while read), is ReadFailed, never Different.
FileComparison CompareFiles(const std::string& first, const std::string& second);
