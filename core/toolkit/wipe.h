// Scoped wiping of secrets: local buffers and heap work buffers.
#pragma once
#include <cstddef>
#include <new>
#include <vector>

#include "core/der/bytes.h"

// Overwrites the bytes with zeros when the scope ends, on every path.
struct ScopedWipe {
    void* bytes;
    std::size_t count;
    ~ScopedWipe() { FillBytes(bytes, 0, count); }
};

// A zeroed heap buffer of at least one byte, wiped before it is freed.
struct SecretBytes {
    std::vector<unsigned char> bytes;
    explicit SecretBytes(std::size_t size) : bytes(size ? size : 1) {}
    ~SecretBytes() { FillBytes(bytes.data(), 0, bytes.size()); }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    unsigned char* data() { return bytes.data(); }
};

// A heap work buffer for plaintext or keys whose allocation may fail
// (bytes is then null, for the caller's own no-memory answer); wiped before
// it is freed.
struct WipedHeapBuffer {
    std::size_t size;
    unsigned char* bytes;
    explicit WipedHeapBuffer(std::size_t count) : size(count), bytes(new (std::nothrow) unsigned char[count]) {}
    ~WipedHeapBuffer()
    {
        if (!bytes) return;
        FillBytes(bytes, 0, size);
        delete[] bytes;
    }
    WipedHeapBuffer(const WipedHeapBuffer&) = delete;
    WipedHeapBuffer& operator=(const WipedHeapBuffer&) = delete;
};
