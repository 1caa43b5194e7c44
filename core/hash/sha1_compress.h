// SHA-1's compression over whole 64-byte blocks, two ways: portable C++,
// and the processor's SHA extensions where it has them (x86 from Goldmont
// and Zen on), several times faster. UpdateSha1 picks the fast one once.
// Internal to the digest sources and their tests.
#pragma once
#include <cstddef>
#include <cstdint>

void CompressSha1Portable(std::uint32_t* words, const unsigned char* blocks, std::size_t blockCount);

// Only where CpuHasSha1Extensions() (core/cpu/cpu_features.h) says so.
void CompressSha1Extensions(std::uint32_t* words, const unsigned char* blocks, std::size_t blockCount);
