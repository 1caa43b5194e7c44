#include "core/io/base64_blocks.h"

#include "core/cpu/cpu_features.h"

#ifdef TAVOMIR_X86_EXTENSIONS
#include <immintrin.h>

namespace {

// Sextet values to alphabet characters: each range of values gets its own
// offset, picked by a byte shuffle of the offsets.
TAVOMIR_X86_HELPER("ssse3") inline __m128i Characters(__m128i sextets)
{
    const __m128i offsets = _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                          '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    // 0-25 -> 13, 26-51 -> 0, 52-63 -> 1-12.
    __m128i range = _mm_subs_epu8(sextets, _mm_set1_epi8(51));
    const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(26), sextets);
    range = _mm_or_si128(range, _mm_and_si128(upper, _mm_set1_epi8(13)));
    return _mm_add_epi8(sextets, _mm_shuffle_epi8(offsets, range));
}

// Twelve bytes, in the low 12 of the register, as sixteen sextets.
TAVOMIR_X86_HELPER("ssse3") inline __m128i Sextets(__m128i bytes)
{
    // Each 32-bit lane gets bytes b1 b0 b2 b1 of its group, then the
    // multiplications move each sextet to a byte of its own.
    const __m128i spread = _mm_shuffle_epi8(bytes, _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    const __m128i high = _mm_mulhi_epu16(_mm_and_si128(spread, _mm_set1_epi32(0x0fc0fc00)), _mm_set1_epi32(0x04000040));
    const __m128i low = _mm_mullo_epi16(_mm_and_si128(spread, _mm_set1_epi32(0x003f03f0)), _mm_set1_epi32(0x01000010));
    return _mm_or_si128(high, low);
}

// Sixteen characters to sextets; false when any is outside the alphabet.
TAVOMIR_X86_HELPER("ssse3") inline bool ToSextets(__m128i text, __m128i* sextets)
{
    // Characters by their high nibble (row) and low nibble (column): a bit
    // of the row's mask for each column valid in that row.
    const __m128i lowNibble = _mm_and_si128(text, _mm_set1_epi8(0x0f));
    const __m128i highNibble = _mm_and_si128(_mm_srli_epi32(text, 4), _mm_set1_epi8(0x0f));
    // Valid columns by row: 2 ('+' at B, '/' at F), 3 ('0'-'9'), 4 ('A'-'O'),
    // 5 ('P'-'Z'), 6 ('a'-'o'), 7 ('p'-'z'); bit r-2 of column c's entry.
    const __m128i columnRows = _mm_setr_epi8(0x2A, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3C,
                                             0x15, 0x14, 0x14, 0x14, 0x15);
    const __m128i rowBit = _mm_setr_epi8(0, 0, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i allowed =
        _mm_and_si128(_mm_shuffle_epi8(columnRows, lowNibble), _mm_shuffle_epi8(rowBit, highNibble));
    // Rows 0, 1 and 8 up (controls, bytes of 0x80 or more) have no valid column.
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(allowed, _mm_setzero_si128())) != 0) return false;
    // Value = character + offset of its row ('/' has its own).
    const __m128i rowOffset = _mm_setr_epi8(0, 0, 62 - '+', 52 - '0', 0 - 'A', 0 - 'A', 26 - 'a', 26 - 'a', 0, 0, 0,
                                            0, 0, 0, 0, 0);
    const __m128i slash = _mm_cmpeq_epi8(text, _mm_set1_epi8('/'));
    const __m128i offset = _mm_add_epi8(_mm_shuffle_epi8(rowOffset, highNibble),
                                        _mm_and_si128(slash, _mm_set1_epi8(63 - '/' - (62 - '+'))));
    *sextets = _mm_add_epi8(text, offset);
    return true;
}

// Sixteen sextets to twelve bytes in the low 12 of the register.
TAVOMIR_X86_HELPER("ssse3") inline __m128i Pack(__m128i sextets)
{
    // Pairs of sextets to 12 bits, pairs of those to 24, then byte order.
    const __m128i pairs = _mm_maddubs_epi16(sextets, _mm_set1_epi32(0x01400140));
    const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

TAVOMIR_X86_TARGET("ssse3")
std::size_t EncodeOnSsse3(const unsigned char* bytes, std::size_t available, std::size_t groups, char* text)
{
    std::size_t done = 0;
    while (groups - done >= 4 && available - 3 * done >= 16) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 3 * done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 4 * done), Characters(Sextets(in)));
        done += 4;
    }
    return done;
}

TAVOMIR_X86_TARGET("ssse3")
std::size_t DecodeOnSsse3(const unsigned char* text, std::size_t length, unsigned char* bytes)
{
    std::size_t taken = 0;
    while (length - taken >= 16) {
        __m128i sextets;
        if (!ToSextets(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + taken)), &sextets)) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + taken / 4 * 3), Pack(sextets));
        taken += 16;
    }
    return taken;
}

}  // namespace

std::size_t EncodeBase64Blocks(const unsigned char* bytes, std::size_t available, std::size_t groups, char* text)
{
    return CpuHasSsse3() ? EncodeOnSsse3(bytes, available, groups, text) : 0;
}

std::size_t DecodeBase64Blocks(const unsigned char* text, std::size_t length, unsigned char* bytes)
{
    return CpuHasSsse3() ? DecodeOnSsse3(text, length, bytes) : 0;
}

#else

std::size_t EncodeBase64Blocks(const unsigned char*, std::size_t, std::size_t, char*) { return 0; }
std::size_t DecodeBase64Blocks(const unsigned char*, std::size_t, unsigned char*) { return 0; }

#endif
