// SHA-1 rounds on the SHA extensions (SHA1RNDS4, SHA1NEXTE, SHA1MSG1/2):
// four rounds an instruction, the message schedule in vector registers.
#include "core/hash/sha1_compress.h"

#include "core/cpu/cpu_features.h"

#ifdef TAVOMIR_X86_EXTENSIONS
#include <immintrin.h>

#include <utility>

#include "core/der/bytes.h"

#define SHA1_FEATURES "sha,sse4.1,ssse3"

namespace {

// Rounds 4g to 4g+3, with the schedule's words for later rounds made on the
// way: m[g % 4] holds words 4g..4g+3; e[g % 2] receives E for these rounds.
template <int g>
TAVOMIR_X86_HELPER(SHA1_FEATURES) inline void Group(__m128i& abcd, __m128i* e, __m128i* m)
{
    constexpr int kFunction = g / 5;
    __m128i& next = e[g % 2];
    __m128i& other = e[(g + 1) % 2];
    if constexpr (g == 0) {
        next = _mm_add_epi32(next, m[0]);
    } else {
        next = _mm_sha1nexte_epu32(next, m[g % 4]);
    }
    other = abcd;
    if constexpr (g >= 3 && g <= 18) m[(g + 1) % 4] = _mm_sha1msg2_epu32(m[(g + 1) % 4], m[g % 4]);
    abcd = _mm_sha1rnds4_epu32(abcd, next, kFunction);
    if constexpr (g >= 1 && g <= 16) m[(g + 3) % 4] = _mm_sha1msg1_epu32(m[(g + 3) % 4], m[g % 4]);
    if constexpr (g >= 2 && g <= 17) m[(g + 2) % 4] = _mm_xor_si128(m[(g + 2) % 4], m[g % 4]);
}

template <int... g>
TAVOMIR_X86_HELPER(SHA1_FEATURES) inline void Groups(__m128i& abcd, __m128i* e, __m128i* m,
                                                     std::integer_sequence<int, g...>)
{
    (Group<g>(abcd, e, m), ...);
}

}  // namespace

TAVOMIR_X86_TARGET(SHA1_FEATURES)
void CompressSha1Extensions(std::uint32_t* words, const unsigned char* blocks, std::size_t blockCount)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(words)), 0x1B);
    __m128i e[2] = {_mm_set_epi32(static_cast<int>(words[4]), 0, 0, 0), _mm_setzero_si128()};
    __m128i m[4];
    for (; blockCount; --blockCount, blocks += 64) {
        const __m128i abcdBefore = abcd;
        const __m128i eBefore = e[0];
        for (int i = 0; i < 4; ++i)
            m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
        // The block's sixteen words; the groups make the schedule's later ones.
        Groups(abcd, e, m, std::make_integer_sequence<int, 20>{});
        // Twenty groups end on e[1]'s rounds; E of the next block comes from e[0].
        e[0] = _mm_sha1nexte_epu32(e[0], eBefore);
        abcd = _mm_add_epi32(abcd, abcdBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words), _mm_shuffle_epi32(abcd, 0x1B));
    words[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e[0], 3));
    FillBytes(m, 0, sizeof m);
}

#else

#include <cstdlib>

void CompressSha1Extensions(std::uint32_t*, const unsigned char*, std::size_t) { std::abort(); }

#endif
