#include "core/der/bytes.h"

#include <cstdlib>
#include <cstring>

void FillBytes(void* destination, int value, std::size_t count)
{
    // Volatile stores: a wipe right before free() must not be elided.
    volatile unsigned char* p = static_cast<volatile unsigned char*>(destination);
    for (std::size_t i = 0; i < count; ++i) p[i] = static_cast<unsigned char>(value);
}

void CopyBytes(void* destination, const void* source, std::size_t count)
{
    if (count) std::memcpy(destination, source, count);
}

int CompareBytes(const void* a, const void* b, std::size_t count)
{
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (std::size_t i = 0; i < count; ++i)
        if (x[i] != y[i]) return int(x[i]) - int(y[i]);
    return 0;
}

unsigned char* CopyToCString(const void* bytes, std::size_t count)
{
    if (!bytes || count == 0) return nullptr;
    unsigned char* block = static_cast<unsigned char*>(std::malloc(count + 1));
    if (!block) return nullptr;
    std::memcpy(block, bytes, count);
    block[count] = 0;
    return block;
}

void ReverseBytes(unsigned char* bytes, std::size_t count)
{
    if (count < 2) return;
    for (std::size_t i = 0, j = count - 1; i < j; ++i, --j) {
        unsigned char t = bytes[i];
        bytes[i] = bytes[j];
        bytes[j] = t;
    }
}
