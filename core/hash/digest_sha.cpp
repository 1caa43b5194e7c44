// SHA-1 (FIPS 180-1) and SHA-0 (FIPS 180, without the rotation in the
// message schedule).
#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "core/hash/digest_block.h"
#include "core/cpu/cpu_features.h"
#include "core/hash/sha1_compress.h"

namespace {

using digest_block::LoadBe;
using digest_block::Rotl;

inline std::uint32_t Choose(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return d ^ (b & (c ^ d)); }
inline std::uint32_t Parity(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return b ^ c ^ d; }
inline std::uint32_t Majority(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return (b & c) | (d & (b | c)); }

// Word t of the schedule, kept in a ring of 16; SHA-0 lacks the rotation.
template <bool kRotateSchedule>
inline std::uint32_t Schedule(std::uint32_t* w, int t)
{
    if (t < 16) return w[t];
    std::uint32_t x = w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15];
    return w[t & 15] = kRotateSchedule ? Rotl(x, 1) : x;
}

// Five steps, the working values renamed instead of moved.
#define SHA_STEPS(f, k, t)                                                          \
    e += Rotl(a, 5) + f(b, c, d) + k + Schedule<kRotateSchedule>(w, t);      \
    b = Rotl(b, 30);                                                                \
    d += Rotl(e, 5) + f(a, b, c) + k + Schedule<kRotateSchedule>(w, t + 1);  \
    a = Rotl(a, 30);                                                                \
    c += Rotl(d, 5) + f(e, a, b) + k + Schedule<kRotateSchedule>(w, t + 2);  \
    e = Rotl(e, 30);                                                                \
    b += Rotl(c, 5) + f(d, e, a) + k + Schedule<kRotateSchedule>(w, t + 3);  \
    d = Rotl(d, 30);                                                                \
    a += Rotl(b, 5) + f(c, d, e) + k + Schedule<kRotateSchedule>(w, t + 4);  \
    c = Rotl(c, 30)

template <bool kRotateSchedule>
void Compress(std::uint32_t* words, const unsigned char* blocks, std::size_t blockCount)
{
    std::uint32_t w[16];
    for (; blockCount; --blockCount, blocks += 64) {
        for (int i = 0; i < 16; ++i) w[i] = LoadBe(blocks + 4 * i);
        std::uint32_t a = words[0], b = words[1], c = words[2], d = words[3], e = words[4];
        for (int t = 0; t < 20; t += 5) { SHA_STEPS(Choose, 0x5a827999u, t); }
        for (int t = 20; t < 40; t += 5) { SHA_STEPS(Parity, 0x6ed9eba1u, t); }
        for (int t = 40; t < 60; t += 5) { SHA_STEPS(Majority, 0x8f1bbcdcu, t); }
        for (int t = 60; t < 80; t += 5) { SHA_STEPS(Parity, 0xca62c1d6u, t); }
        words[0] += a;
        words[1] += b;
        words[2] += c;
        words[3] += d;
        words[4] += e;
    }
    FillBytes(w, 0, sizeof w);
}

#undef SHA_STEPS

// The processor's SHA extensions where it has them, chosen once.
digest_block::CompressFn Sha1Compress()
{
    static const digest_block::CompressFn chosen =
        CpuHasSha1Extensions() ? CompressSha1Extensions : Compress<true>;
    return chosen;
}

void InitSha(ShaState* state)
{
    state->count[0] = state->count[1] = 0;
    state->state[0] = 0x67452301;
    state->state[1] = 0xefcdab89;
    state->state[2] = 0x98badcfe;
    state->state[3] = 0x10325476;
    state->state[4] = 0xc3d2e1f0;
}

void FinalSha(unsigned char digest[20], ShaState* state, digest_block::CompressFn compress)
{
    digest_block::Pad(state->state, state->count, state->buffer, true, compress);
    for (int i = 0; i < 5; ++i) digest_block::StoreBe(digest + 4 * i, state->state[i]);
    FillBytes(state, 0, sizeof *state);
}

}  // namespace

void InitSha0(ShaState* state) { InitSha(state); }

void UpdateSha0(ShaState* state, const unsigned char* data, std::size_t length)
{
    digest_block::Update(state->state, state->count, state->buffer, data, length, Compress<false>);
}

void FinalSha0(unsigned char digest[20], ShaState* state) { FinalSha(digest, state, Compress<false>); }

void InitSha1(ShaState* state) { InitSha(state); }

void UpdateSha1(ShaState* state, const unsigned char* data, std::size_t length)
{
    digest_block::Update(state->state, state->count, state->buffer, data, length, Sha1Compress());
}

void FinalSha1(unsigned char digest[20], ShaState* state) { FinalSha(digest, state, Sha1Compress()); }

void CompressSha1Portable(std::uint32_t* words, const unsigned char* blocks, std::size_t blockCount)
{
    Compress<true>(words, blocks, blockCount);
}
