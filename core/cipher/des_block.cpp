// The DES block cipher and key schedule. The permutation and substitution
// tables are built once from the published bit tables, so the round works
// on whole words: initial and final permutations by byte lookup, and the
// S-boxes with P folded into eight 64-entry tables.
#include <cstdint>

#include "core/cipher/des.h"
#include "core/der/bytes.h"

namespace {

// Bit numbers count from 1 at the most significant bit, as published.
const unsigned char kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

const unsigned char kPermutationP[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

const unsigned char kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

const unsigned char kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

const unsigned char kRotations[16] = {1, 2, 4, 6, 8, 10, 12, 14, 15, 17, 19, 21, 23, 25, 27, 28};

const unsigned char kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

struct DesTables {
    std::uint64_t initial[8][256];
    std::uint64_t final[8][256];
    std::uint32_t sp[8][64];

    DesTables()
    {
        unsigned char inverse[64];
        for (int j = 0; j < 64; ++j) inverse[kInitialPermutation[j] - 1] = static_cast<unsigned char>(j + 1);
        BuildPermutation(initial, kInitialPermutation);
        BuildPermutation(final, inverse);
        for (int box = 0; box < 8; ++box) {
            for (int input = 0; input < 64; ++input) {
                int row = ((input >> 4) & 2) | (input & 1);
                int column = (input >> 1) & 15;
                std::uint32_t s = static_cast<std::uint32_t>(kSBoxes[box][row * 16 + column]) << (28 - 4 * box);
                std::uint32_t p = 0;
                for (int j = 0; j < 32; ++j)
                    if ((s >> (32 - kPermutationP[j])) & 1) p |= 1u << (31 - j);
                sp[box][input] = p;
            }
        }
    }

    static void BuildPermutation(std::uint64_t (&table)[8][256], const unsigned char (&map)[64])
    {
        for (auto& row : table)
            for (auto& entry : row) entry = 0;
        for (int j = 0; j < 64; ++j) {
            int source = map[j] - 1;
            int position = source / 8, bit = 7 - source % 8;
            for (int value = 0; value < 256; ++value)
                if ((value >> bit) & 1) table[position][value] |= std::uint64_t{1} << (63 - j);
        }
    }
};

const DesTables& Tables()
{
    static const DesTables tables;
    return tables;
}

std::uint64_t Permute(const std::uint64_t (&table)[8][256], std::uint64_t block)
{
    std::uint64_t out = 0;
    for (int position = 0; position < 8; ++position)
        out |= table[position][(block >> (56 - 8 * position)) & 0xFF];
    return out;
}

inline std::uint32_t RotateLeft(std::uint32_t x, int n) { return n ? (x << n) | (x >> (32 - n)) : x; }

inline std::uint32_t RoundFunction(const DesTables& t, std::uint32_t r, std::uint32_t odd, std::uint32_t even)
{
    // Expansion: group i takes bits 4i .. 4i + 5, bit 0 being bit 32.
    std::uint32_t e = (r >> 1) | (r << 31);
    return t.sp[0][((e >> 26) ^ (odd >> 24)) & 63] | t.sp[1][((RotateLeft(e, 4) >> 26) ^ (even >> 24)) & 63] |
           t.sp[2][((RotateLeft(e, 8) >> 26) ^ (odd >> 16)) & 63] |
           t.sp[3][((RotateLeft(e, 12) >> 26) ^ (even >> 16)) & 63] |
           t.sp[4][((RotateLeft(e, 16) >> 26) ^ (odd >> 8)) & 63] |
           t.sp[5][((RotateLeft(e, 20) >> 26) ^ (even >> 8)) & 63] |
           t.sp[6][((RotateLeft(e, 24) >> 26) ^ odd) & 63] | t.sp[7][((RotateLeft(e, 28) >> 26) ^ even) & 63];
}

}  // namespace

void MakeDesKeySchedule(DesKeySchedule* schedule, const unsigned char key[8], int encrypt)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | key[i];
    std::uint32_t halves[2] = {0, 0};  // C and D, 28 bits each
    for (int j = 0; j < 56; ++j)
        halves[j / 28] = (halves[j / 28] << 1) | static_cast<std::uint32_t>((bits >> (64 - kPermutedChoice1[j])) & 1);
    for (int round = 0; round < 16; ++round) {
        int n = kRotations[round];
        std::uint64_t cd = 0;
        for (std::uint32_t half : halves)
            cd = (cd << 28) | (((half << n) | (half >> (28 - n))) & 0x0FFFFFFF);
        std::uint32_t groups[8] = {};
        for (int j = 0; j < 48; ++j)
            groups[j / 6] = (groups[j / 6] << 1) | static_cast<std::uint32_t>((cd >> (56 - kPermutedChoice2[j])) & 1);
        int slot = encrypt ? round : 15 - round;
        schedule->words[2 * slot] = (groups[0] << 24) | (groups[2] << 16) | (groups[4] << 8) | groups[6];
        schedule->words[2 * slot + 1] = (groups[1] << 24) | (groups[3] << 16) | (groups[5] << 8) | groups[7];
        FillBytes(groups, 0, sizeof groups);
        FillBytes(&cd, 0, sizeof cd);
    }
    FillBytes(&bits, 0, sizeof bits);
    FillBytes(halves, 0, sizeof halves);
}

void DesCryptBlock(std::uint32_t block[2], const DesKeySchedule* schedule)
{
    const DesTables& t = Tables();
    std::uint64_t x = Permute(t.initial, (std::uint64_t{block[0]} << 32) | block[1]);
    std::uint32_t left = static_cast<std::uint32_t>(x >> 32), right = static_cast<std::uint32_t>(x);
    for (int round = 0; round < 16; ++round) {
        std::uint32_t next = left ^ RoundFunction(t, right, schedule->words[2 * round], schedule->words[2 * round + 1]);
        left = right;
        right = next;
    }
    x = Permute(t.final, (std::uint64_t{right} << 32) | left);
    block[0] = static_cast<std::uint32_t>(x >> 32);
    block[1] = static_cast<std::uint32_t>(x);
}
