// MD4 (RFC 1320).
#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "core/hash/digest_block.h"

namespace {

using digest_block::LoadLe;
using digest_block::Rotl;

void Compress(std::uint32_t* words, const unsigned char* blocks, std::size_t blockCount)
{
    static const int kShift[3][4] = {{3, 7, 11, 19}, {3, 5, 9, 13}, {3, 9, 11, 15}};
    static const int kOrder2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    static const int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    std::uint32_t x[16];
    std::uint32_t v[4];
    for (; blockCount; --blockCount, blocks += 64) {
        for (int i = 0; i < 16; ++i) x[i] = LoadLe(blocks + 4 * i);
        for (int i = 0; i < 4; ++i) v[i] = words[i];
        // Step i updates v[(-i) mod 4] from the other three in a, b, c, d order.
        for (int i = 0; i < 16; ++i) {
            std::uint32_t& a = v[(16 - i) & 3];
            std::uint32_t b = v[(17 - i) & 3], c = v[(18 - i) & 3], d = v[(19 - i) & 3];
            a = Rotl(a + ((b & c) | (~b & d)) + x[i], kShift[0][i & 3]);
        }
        for (int i = 0; i < 16; ++i) {
            std::uint32_t& a = v[(16 - i) & 3];
            std::uint32_t b = v[(17 - i) & 3], c = v[(18 - i) & 3], d = v[(19 - i) & 3];
            a = Rotl(a + ((b & c) | (b & d) | (c & d)) + x[kOrder2[i]] + 0x5a827999u, kShift[1][i & 3]);
        }
        for (int i = 0; i < 16; ++i) {
            std::uint32_t& a = v[(16 - i) & 3];
            std::uint32_t b = v[(17 - i) & 3], c = v[(18 - i) & 3], d = v[(19 - i) & 3];
            a = Rotl(a + (b ^ c ^ d) + x[kOrder3[i]] + 0x6ed9eba1u, kShift[2][i & 3]);
        }
        for (int i = 0; i < 4; ++i) words[i] += v[i];
    }
    FillBytes(x, 0, sizeof x);
    FillBytes(v, 0, sizeof v);
}

}  // namespace

void InitMd4(Md4State* state)
{
    state->count[0] = state->count[1] = 0;
    state->state[0] = 0x67452301;
    state->state[1] = 0xefcdab89;
    state->state[2] = 0x98badcfe;
    state->state[3] = 0x10325476;
}

void UpdateMd4(Md4State* state, const unsigned char* data, std::size_t length)
{
    digest_block::Update(state->state, state->count, state->buffer, data, length, Compress);
}

void FinalMd4(unsigned char digest[16], Md4State* state)
{
    digest_block::Pad(state->state, state->count, state->buffer, false, Compress);
    for (int i = 0; i < 4; ++i) digest_block::StoreLe(digest + 4 * i, state->state[i]);
    FillBytes(state, 0, sizeof *state);
}
