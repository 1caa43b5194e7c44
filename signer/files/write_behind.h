// Writes buffers to a C file on a thread of its own, one at a time, so the
// caller fills its next buffer while the last one goes to disk. Where no
// thread can be made the writes are made at once, on the caller's thread.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "platform/owner.h"

class TWriteBehind {
public:
    explicit TWriteBehind(std::FILE* file);
    // Waits for the write in flight, then ends the thread.
    ~TWriteBehind();
    TWriteBehind(const TWriteBehind&) = delete;
    TWriteBehind& operator=(const TWriteBehind&) = delete;

    // Waits for the write before, then starts this one; the bytes must stay
    // as they are until the next Start or Wait. False, with that write's
    // last error, when the write before failed (nothing is started then).
    bool Start(const char* data, std::size_t length);
    // Waits for the write in flight; false, with its last error, when it failed.
    bool Wait();

private:
    static DWORD WINAPI Run(void* argument);
    void WriteNow();

    std::FILE* file_;
    TKernelObject ready_;  // a write is given, or the thread is to end
    TKernelObject done_;   // the write given has ended
    TKernelObject thread_;
    const char* data_ = nullptr;
    std::size_t length_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    DWORD error_ = ERROR_SUCCESS;  // of the last write, ERROR_SUCCESS when it went in full
};
