// CBC over whole blocks for DES, DESX and triple DES. Each block is read
// whole before its output is written, so in and out may coincide.
#include "core/cipher/des.h"
#include "core/der/bytes.h"

namespace {

void LoadBlock(std::uint32_t block[2], const unsigned char* in)
{
    for (int half = 0; half < 2; ++half, in += 4)
        block[half] = (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) | in[3];
}

void StoreBlock(unsigned char* out, const std::uint32_t block[2])
{
    for (int half = 0; half < 2; ++half, out += 4) {
        out[0] = static_cast<unsigned char>(block[half] >> 24);
        out[1] = static_cast<unsigned char>(block[half] >> 16);
        out[2] = static_cast<unsigned char>(block[half] >> 8);
        out[3] = static_cast<unsigned char>(block[half]);
    }
}

void StartChain(std::uint32_t chain[2], const std::uint32_t iv[2])
{
    chain[0] = iv[0];
    chain[1] = iv[1];
}

void StartChain(std::uint32_t chain[2], std::uint32_t iv[2], const unsigned char* ivBytes)
{
    LoadBlock(iv, ivBytes);
    StartChain(chain, iv);
}

// inWhite is xored before the cipher and outWhite after it, in the
// direction of the data (so DESX decryption passes them swapped).
template <class Crypt>
int RunCbc(std::uint32_t chain[2], int encrypt, const std::uint32_t* inWhite, const std::uint32_t* outWhite,
           unsigned char* out, const unsigned char* in, std::size_t length, Crypt crypt)
{
    if (length % kDesBlockSize != 0) return kStatusCipherLength;
    std::uint32_t input[2], work[2];
    for (std::size_t done = 0; done < length; done += kDesBlockSize) {
        LoadBlock(input, in + done);
        work[0] = input[0];
        work[1] = input[1];
        if (encrypt) {
            work[0] ^= chain[0];
            work[1] ^= chain[1];
        }
        if (inWhite) {
            work[0] ^= inWhite[0];
            work[1] ^= inWhite[1];
        }
        crypt(work);
        if (outWhite) {
            work[0] ^= outWhite[0];
            work[1] ^= outWhite[1];
        }
        if (encrypt) {
            chain[0] = work[0];
            chain[1] = work[1];
        } else {
            work[0] ^= chain[0];
            work[1] ^= chain[1];
            chain[0] = input[0];
            chain[1] = input[1];
        }
        StoreBlock(out + done, work);
    }
    FillBytes(input, 0, sizeof input);
    FillBytes(work, 0, sizeof work);
    return 0;
}

}  // namespace

void InitDesCbc(DesCbcContext* context, const unsigned char key[8], const unsigned char iv[8], int encrypt)
{
    context->encrypt = encrypt ? 1 : 0;
    StartChain(context->chain, context->iv, iv);
    MakeDesKeySchedule(&context->schedule, key, encrypt);
}

int UpdateDesCbc(DesCbcContext* context, unsigned char* out, const unsigned char* in, std::size_t length)
{
    return RunCbc(context->chain, context->encrypt, nullptr, nullptr, out, in, length,
                  [context](std::uint32_t* block) { DesCryptBlock(block, &context->schedule); });
}

void RestartDesCbc(DesCbcContext* context) { StartChain(context->chain, context->iv); }

void InitDesxCbc(DesxCbcContext* context, const unsigned char key[24], const unsigned char iv[8], int encrypt)
{
    context->encrypt = encrypt ? 1 : 0;
    StartChain(context->chain, context->iv, iv);
    MakeDesKeySchedule(&context->schedule, key, encrypt);
    LoadBlock(context->inputWhitening, key + 8);
    LoadBlock(context->outputWhitening, key + 16);
}

int UpdateDesxCbc(DesxCbcContext* context, unsigned char* out, const unsigned char* in, std::size_t length)
{
    // Decrypting, the output whitening comes off first and the input whitening last.
    const std::uint32_t* first = context->encrypt ? context->inputWhitening : context->outputWhitening;
    const std::uint32_t* last = context->encrypt ? context->outputWhitening : context->inputWhitening;
    return RunCbc(context->chain, context->encrypt, first, last, out, in, length,
                  [context](std::uint32_t* block) { DesCryptBlock(block, &context->schedule); });
}

void RestartDesxCbc(DesxCbcContext* context) { StartChain(context->chain, context->iv); }

void InitDes3Cbc(Des3CbcContext* context, const unsigned char key[24], const unsigned char iv[8], int encrypt)
{
    context->encrypt = encrypt ? 1 : 0;
    StartChain(context->chain, context->iv, iv);
    if (encrypt) {
        MakeDesKeySchedule(&context->schedules[0], key, 1);
        MakeDesKeySchedule(&context->schedules[1], key + 8, 0);
        MakeDesKeySchedule(&context->schedules[2], key + 16, 1);
    } else {
        MakeDesKeySchedule(&context->schedules[0], key + 16, 0);
        MakeDesKeySchedule(&context->schedules[1], key + 8, 1);
        MakeDesKeySchedule(&context->schedules[2], key, 0);
    }
}

int UpdateDes3Cbc(Des3CbcContext* context, unsigned char* out, const unsigned char* in, std::size_t length)
{
    return RunCbc(context->chain, context->encrypt, nullptr, nullptr, out, in, length, [context](std::uint32_t* block) {
        for (const DesKeySchedule& schedule : context->schedules) DesCryptBlock(block, &schedule);
    });
}

void RestartDes3Cbc(Des3CbcContext* context) { StartChain(context->chain, context->iv); }
