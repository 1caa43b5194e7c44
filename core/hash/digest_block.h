// Buffering and padding shared by the 64-byte-block digests (MD4, MD5,
// SHA-0, SHA-1). Internal to the digest sources.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"

namespace digest_block {

// Compress(words, blocks, blockCount) runs the compression over whole
// 64-byte blocks and clears its own working values once at the end.
using CompressFn = void (*)(std::uint32_t* words, const unsigned char* blocks, std::size_t blockCount);

inline void Update(std::uint32_t* words, std::uint32_t count[2], unsigned char buffer[64],
                   const unsigned char* data, std::size_t length, CompressFn compress)
{
    if (length == 0) return;
    std::size_t index = (count[0] >> 3) & 63;
    std::uint64_t bits = ((std::uint64_t(count[1]) << 32) | count[0]) + std::uint64_t(length) * 8;
    count[0] = std::uint32_t(bits);
    count[1] = std::uint32_t(bits >> 32);

    std::size_t used = 0;
    std::size_t room = 64 - index;
    if (length >= room) {
        CopyBytes(buffer + index, data, room);
        compress(words, buffer, 1);
        used = room;
        std::size_t whole = (length - used) / 64;
        if (whole) {
            compress(words, data + used, whole);
            used += whole * 64;
        }
        index = 0;
    }
    CopyBytes(buffer + index, data + used, length - used);
}

// Appends 0x80, zeros up to 56 modulo 64 and the bit count taken before the
// padding (little-endian for MD4/MD5, big-endian for SHA).
inline void Pad(std::uint32_t* words, std::uint32_t count[2], unsigned char buffer[64], bool bigEndian,
                CompressFn compress)
{
    static const unsigned char kPadding[64] = {0x80};
    unsigned char bits[8];
    for (int i = 0; i < 4; ++i) {
        unsigned char low = static_cast<unsigned char>(count[0] >> (8 * i));
        unsigned char high = static_cast<unsigned char>(count[1] >> (8 * i));
        if (bigEndian) {
            bits[7 - i] = low;
            bits[3 - i] = high;
        } else {
            bits[i] = low;
            bits[4 + i] = high;
        }
    }
    std::size_t index = (count[0] >> 3) & 63;
    Update(words, count, buffer, kPadding, index < 56 ? 56 - index : 120 - index, compress);
    Update(words, count, buffer, bits, 8, compress);
    FillBytes(bits, 0, sizeof bits);
}

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t LoadLe(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

inline std::uint32_t LoadBe(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

inline void StoreLe(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void StoreBe(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

}  // namespace digest_block
