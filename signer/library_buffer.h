// What a client library (Dunmere, Halvery) hands out, given back on every
// path: a request or response buffer through the library's own Destroy
// export, a copy through the heap the DLLs share (msvcrt's).
#pragma once
#include <cstdlib>
#include <string>

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

// A copy the library filled into a caller's ByteBuffer.
struct TLibraryCopy {
    ByteBuffer buffer = {nullptr, 0};
    TLibraryCopy() = default;
    ~TLibraryCopy() { std::free(buffer.pointer); }
    TLibraryCopy(const TLibraryCopy&) = delete;
    TLibraryCopy& operator=(const TLibraryCopy&) = delete;
    const unsigned char* Data() const { return buffer.pointer; }
    std::size_t Size() const { return buffer.pointer ? buffer.length : 0; }
    std::string Text() const { return std::string(reinterpret_cast<const char*>(Data()), Size()); }
};
