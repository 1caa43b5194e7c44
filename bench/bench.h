// Registry of benchmark cases: each case runs one job through the core and
// through libcrypto on the same input, and the runner prints both speeds and
// their ratio. A file bench/bench_*.cpp adds its cases with BENCH_CASE.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct BenchCase {
    std::string name;
    // Bytes one run processes, for MB/s; 0 reports runs per second.
    std::size_t bytesPerRun;
    // One run each; the result is a fingerprint of the output (a digest's
    // first word, say). Before timing the runner checks that the two agree.
    std::function<std::uint32_t()> core;
    std::function<std::uint32_t()> peer;
    bool compareOutputs = true;
};

std::vector<BenchCase>& BenchCases();

struct BenchRegistrar {
    explicit BenchRegistrar(BenchCase benchCase) { BenchCases().push_back(std::move(benchCase)); }
};

#define BENCH_JOIN2(a, b) a##b
#define BENCH_JOIN(a, b) BENCH_JOIN2(a, b)
// BENCH_CASE({"name", bytes, coreFn, peerFn});
#define BENCH_CASE(...) static BenchRegistrar BENCH_JOIN(benchRegistrar, __LINE__)(BenchCase __VA_ARGS__)

// The same pseudo-random bytes for every case that asks for a given size.
const std::vector<unsigned char>& BenchInput(std::size_t size);

// First and last four bytes folded into a word: a cheap output fingerprint.
inline std::uint32_t BenchFingerprint(const void* bytes, std::size_t length)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4 && i < length; ++i) {
        word = (word << 8) ^ p[i];
        word = (word << 8) ^ p[length - 1 - i];
    }
    return word ^ std::uint32_t(length);
}
