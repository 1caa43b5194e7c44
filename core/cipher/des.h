// DES (FIPS 46-3), DESX and two- or three-key triple DES (EDE), each only in
// CBC mode over whole 8-byte blocks. Padding is the callers' concern.
// Contexts are owned by their callers, hold no pointers and are wiped by them.
#pragma once
#include <cstddef>
#include <cstdint>

enum : int {
    kStatusCipherLength = 1030,  // a length that is not a multiple of 8 (toolkit code)
};

enum : std::size_t {
    kDesBlockSize = 8,
    kDesKeySize = 8,
    kDesxKeySize = 24,  // DES key, input whitening, output whitening
    kDes3KeySize = 24,  // K1, K2, K3
};

// 16 round keys as two words each: groups 1, 3, 5, 7 in the first word and
// 2, 4, 6, 8 in the second, one 6-bit group in the low bits of each byte.
// Stored in reverse round order for decryption.
struct DesKeySchedule {
    std::uint32_t words[32];
};

struct DesCbcContext {
    DesKeySchedule schedule;
    std::uint32_t chain[2];  // left, right (big-endian halves of the block)
    std::uint32_t iv[2];
    std::uint32_t encrypt;
};

struct DesxCbcContext {
    DesKeySchedule schedule;
    std::uint32_t chain[2];
    std::uint32_t inputWhitening[2];
    std::uint32_t outputWhitening[2];
    std::uint32_t iv[2];
    std::uint32_t encrypt;
};

struct Des3CbcContext {
    DesKeySchedule schedules[3];  // in the order they are applied
    std::uint32_t chain[2];
    std::uint32_t iv[2];
    std::uint32_t encrypt;
};

// Block level: the schedule for one direction, and one block in place.
// Parity bits of the key are ignored.
void MakeDesKeySchedule(DesKeySchedule* schedule, const unsigned char key[8], int encrypt);
void DesCryptBlock(std::uint32_t block[2], const DesKeySchedule* schedule);

// Updates return 0, or kStatusCipherLength with nothing done when length is
// not a multiple of 8. in and out may be the same buffer.
void InitDesCbc(DesCbcContext* context, const unsigned char key[8], const unsigned char iv[8], int encrypt);
int UpdateDesCbc(DesCbcContext* context, unsigned char* out, const unsigned char* in, std::size_t length);
void RestartDesCbc(DesCbcContext* context);

void InitDesxCbc(DesxCbcContext* context, const unsigned char key[24], const unsigned char iv[8], int encrypt);
int UpdateDesxCbc(DesxCbcContext* context, unsigned char* out, const unsigned char* in, std::size_t length);
void RestartDesxCbc(DesxCbcContext* context);

void InitDes3Cbc(Des3CbcContext* context, const unsigned char key[24], const unsigned char iv[8], int encrypt);
int UpdateDes3Cbc(Des3CbcContext* context, unsigned char* out, const unsigned char* in, std::size_t length);
void RestartDes3Cbc(Des3CbcContext* context);
