// A file of our own in the system's temporary folder: created empty under a
// unique name that no one else holds, and removed when its owner ends.
#pragma once
#include "core/io/stream.h"

struct TemporaryFile {
    char name[kStreamFileNameSize] = {};  // empty until created
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    // False when no file can be made (or its name would not fit a stream).
    bool Create();
};
