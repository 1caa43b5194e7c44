// A new file beside a target, under a name no one else holds, that takes
// the target's place only once it is complete: a failure, or an owner that
// ends without Commit, removes it and leaves the target as it was.
#pragma once
#include "core/io/stream.h"

struct ReplacementFile {
    char name[kStreamFileNameSize] = {};    // empty until created
    char target[kStreamFileNameSize] = {};
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    // Creates the new file, empty, in the target's folder. False when none
    // can be made there (or a name would not fit a stream).
    bool Create(const char* targetFile);
    // Moves the new file over the target (which may not exist yet). False
    // leaves the target as it was; the new file is removed either way.
    bool Commit();
    // Removes the new file now; the target stays as it was.
    void Discard();
};
