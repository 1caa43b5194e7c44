// Byte helpers shared by every codec: the one carrier of encoded data and the
// library's only memory primitives.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/byte_buffer.h"

// Sets count bytes to value; the stores are not removed by the optimiser,
// so it serves to wipe secrets before release.
void FillBytes(void* destination, int value, std::size_t count);

// Copies count bytes, first to last; the ranges do not overlap.
void CopyBytes(void* destination, const void* source, std::size_t count);

// 0 when equal over count bytes (also for count 0), else a[i] - b[i] of the
// first differing bytes taken as unsigned (-255 to 255).
int CompareBytes(const void* a, const void* b, std::size_t count);

// Reverses count bytes in place: the platform keeps numbers least
// significant byte first, DER most significant first.
void ReverseBytes(unsigned char* bytes, std::size_t count);

// New heap block of count + 1 bytes holding the bytes and a NUL; null when
// bytes is null, count is 0 or memory runs out. Released with std::free.
unsigned char* CopyToCString(const void* bytes, std::size_t count);
