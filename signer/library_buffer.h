// A request or response buffer a client library (Dunmere, Halvery) filled,
// given back to the library through its own Destroy export on every path.
#pragma once
#include "core/der/bytes.h"

template <void (*Release)(ByteBuffer*)>
class TLibraryBuffer {
public:
    TLibraryBuffer() = default;
    ~TLibraryBuffer() { Reset(); }
    TLibraryBuffer(const TLibraryBuffer&) = delete;
    TLibraryBuffer& operator=(const TLibraryBuffer&) = delete;
    ByteBuffer* Get() { return &buffer_; }
    void Reset()
    {
        if (buffer_.pointer) Release(&buffer_);
        buffer_ = {nullptr, 0};
    }

private:
    ByteBuffer buffer_ = {nullptr, 0};
};
