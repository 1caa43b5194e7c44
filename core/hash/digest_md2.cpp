// MD2 (RFC 1319). The checksum follows the RFC's reference code, whose
// running byte is the checksum byte just updated.
#include "core/der/bytes.h"
#include "core/hash/digest.h"

namespace {

// Permutation of 0..255 built from the digits of pi.
const unsigned char kPiSubst[256] = {
    41,  46,  67,  201, 162, 216, 124, 1,   61,  54,  84,  161, 236, 240, 6,   19,  98,  167, 5,   243,
    192, 199, 115, 140, 152, 147, 43,  217, 188, 76,  130, 202, 30,  155, 87,  60,  253, 212, 224, 22,
    103, 66,  111, 24,  138, 23,  229, 18,  190, 78,  196, 214, 218, 158, 222, 73,  160, 251, 245, 142,
    187, 47,  238, 122, 169, 104, 121, 145, 21,  178, 7,   63,  148, 194, 16,  137, 11,  34,  95,  33,
    128, 127, 93,  154, 90,  144, 50,  39,  53,  62,  204, 231, 191, 247, 151, 3,   255, 25,  48,  179,
    72,  165, 181, 209, 215, 94,  146, 42,  172, 86,  170, 198, 79,  184, 56,  210, 150, 164, 125, 182,
    118, 252, 107, 226, 156, 116, 4,   241, 69,  157, 112, 89,  100, 113, 135, 32,  134, 91,  207, 101,
    230, 45,  168, 2,   27,  96,  37,  173, 174, 176, 185, 246, 28,  70,  97,  105, 52,  64,  126, 15,
    85,  71,  163, 35,  221, 81,  175, 58,  195, 92,  249, 206, 186, 197, 234, 38,  44,  83,  13,  110,
    133, 40,  132, 9,   211, 223, 205, 244, 65,  129, 77,  82,  106, 220, 55,  200, 108, 193, 171, 250,
    36,  225, 123, 8,   12,  189, 177, 74,  120, 136, 149, 139, 227, 99,  232, 109, 233, 203, 213, 254,
    59,  0,   29,  57,  242, 239, 183, 14,  102, 88,  208, 228, 166, 119, 114, 248, 235, 117, 75,  10,
    49,  68,  80,  180, 143, 237, 31,  26,  219, 153, 141, 51,  159, 17,  131, 20,
};

void Transform(Md2State* state, const unsigned char block[16])
{
    unsigned char x[48];
    for (int i = 0; i < 16; ++i) {
        x[i] = state->state[i];
        x[16 + i] = block[i];
        x[32 + i] = static_cast<unsigned char>(state->state[i] ^ block[i]);
    }
    unsigned t = 0;
    for (unsigned round = 0; round < 18; ++round) {
        for (int j = 0; j < 48; ++j) t = x[j] ^= kPiSubst[t];
        t = (t + round) & 0xff;
    }
    CopyBytes(state->state, x, 16);

    t = state->checksum[15];
    for (int j = 0; j < 16; ++j) t = state->checksum[j] ^= kPiSubst[block[j] ^ t];
    FillBytes(x, 0, sizeof x);
}

}  // namespace

void InitMd2(Md2State* state)
{
    FillBytes(state->state, 0, sizeof state->state);
    FillBytes(state->checksum, 0, sizeof state->checksum);
    state->count = 0;
}

void UpdateMd2(Md2State* state, const unsigned char* data, std::size_t length)
{
    if (length == 0) return;
    std::size_t index = state->count;
    std::size_t used = 0;
    std::size_t room = 16 - index;
    if (length >= room) {
        CopyBytes(state->buffer + index, data, room);
        Transform(state, state->buffer);
        for (used = room; length - used >= 16; used += 16) Transform(state, data + used);
        index = 0;
    }
    CopyBytes(state->buffer + index, data + used, length - used);
    state->count = static_cast<std::uint32_t>((index + length - used) & 15);
}

void FinalMd2(unsigned char digest[16], Md2State* state)
{
    unsigned char padding[16];
    std::size_t n = 16 - state->count;
    FillBytes(padding, static_cast<int>(n), n);
    UpdateMd2(state, padding, n);
    CopyBytes(padding, state->checksum, 16);
    UpdateMd2(state, padding, 16);
    CopyBytes(digest, state->state, 16);
    FillBytes(padding, 0, sizeof padding);
    FillBytes(state, 0, sizeof *state);
}
