#include "core/rsa/random.h"

#include <chrono>

#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "core/rsa/rsa_key.h"

#ifdef _WIN32
#include <windows.h>
#include <wincrypt.h>
#else
#include <cerrno>
#include <sys/random.h>
#endif

namespace {

constexpr std::size_t kSystemEntropyBytes = 32;

void Md5Of(unsigned char digest[16], const unsigned char* data, std::size_t length)
{
    Md5State md5;
    InitMd5(&md5);
    UpdateMd5(&md5, data, length);
    FinalMd5(digest, &md5);
    FillBytes(&md5, 0, sizeof md5);
}

// state += MD5(data), as 128-bit big-endian numbers; the top carry is dropped.
void AddDigestIntoState(RandomGenerator* generator, const unsigned char* data, std::size_t length)
{
    unsigned char digest[16];
    Md5Of(digest, data, length);
    unsigned carry = 0;
    for (int i = 15; i >= 0; --i) {
        unsigned sum = carry + generator->state[i] + digest[i];
        generator->state[i] = static_cast<unsigned char>(sum);
        carry = sum >> 8;
    }
    FillBytes(digest, 0, sizeof digest);
}

// Steps the state: the last byte is incremented, and the one before it only
// when the last was 0 before its increment, and so on towards the first.
void StepState(RandomGenerator* generator)
{
    for (int i = 15; i >= 0; --i) {
        unsigned char before = generator->state[i]++;
        if (before != 0) break;
    }
}

// Fills out with system entropy; false when none could be had.
bool ReadSystemEntropy(unsigned char* out, std::size_t length)
{
#ifdef _WIN32
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    BOOL ok = CryptGenRandom(provider, static_cast<DWORD>(length), out);
    CryptReleaseContext(provider, 0);
    return ok != FALSE;
#else
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = getrandom(out + done, length - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
#endif
}

std::uint16_t LocalClockMilliseconds(void*)
{
    // Time-zone offsets are whole minutes: the millisecond field is the same
    // in local time.
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000;
    if (ms < 0) ms += 1000;
    return static_cast<std::uint16_t>(ms);
}

unsigned char ClockLowByte(const RandomSources& sources)
{
    return static_cast<unsigned char>(sources.clock(sources.context) & 0xFF);
}

unsigned char RotateLeft(unsigned char x, unsigned n)
{
    return static_cast<unsigned char>((x << n) | (x >> (8 - n)));
}

unsigned char RotateRight(unsigned char x, unsigned n)
{
    return static_cast<unsigned char>((x >> n) | (x << (8 - n)));
}

RandomGenerator gSharedRandom;

}  // namespace

int InitRandom(RandomGenerator* generator)
{
    FillBytes(generator->state, 0, sizeof generator->state);
    FillBytes(generator->output, 0, sizeof generator->output);
    generator->outputAvailable = 0;
    generator->bytesNeeded = 256;
    return 0;
}

int UpdateRandom(RandomGenerator* generator, const unsigned char* seed, std::size_t length)
{
    AddDigestIntoState(generator, seed, length);
    generator->bytesNeeded = (length >= generator->bytesNeeded)
                                 ? 0
                                 : generator->bytesNeeded - static_cast<std::uint32_t>(length);
    return 0;
}

int GetRandomBytesNeeded(std::uint32_t* count, const RandomGenerator* generator)
{
    *count = generator->bytesNeeded;
    return 0;
}

int GenerateRandomBytes(unsigned char* out, std::size_t length, RandomGenerator* generator)
{
    if (generator->bytesNeeded != 0) return kStatusRandomNeeded;
    std::size_t available = generator->outputAvailable;
    if (available > 16) available = 16;  // a damaged record reads no further than its block
    std::size_t wanted = length;
    while (available < wanted) {
        CopyBytes(out, generator->output + (16 - available), available);
        out += available;
        wanted -= available;
        Md5Of(generator->output, generator->state, sizeof generator->state);
        available = 16;
        StepState(generator);
    }
    CopyBytes(out, generator->output + (16 - available), wanted);
    generator->outputAvailable = static_cast<std::uint32_t>(available - wanted);
    return 0;
}

void ClearRandom(RandomGenerator* generator)
{
    FillBytes(generator, 0, sizeof *generator);
}

void UpdateRandomFromSystem(RandomGenerator* generator)
{
    unsigned char entropy[kSystemEntropyBytes];
    if (ReadSystemEntropy(entropy, sizeof entropy)) AddDigestIntoState(generator, entropy, sizeof entropy);
    FillBytes(entropy, 0, sizeof entropy);
}

const RandomSources& DefaultRandomSources()
{
    static const RandomSources sources = {LocalClockMilliseconds, nullptr, true};
    return sources;
}

void SeedRandomWith(RandomGenerator* generator, std::uint32_t bytesNeeded, const RandomSources& sources)
{
    InitRandom(generator);
    generator->bytesNeeded = bytesNeeded;
    while (generator->bytesNeeded != 0) {
        std::uint16_t ms = sources.clock(sources.context);
        unsigned char sample[2] = {static_cast<unsigned char>(ms), static_cast<unsigned char>(ms >> 8)};
        UpdateRandom(generator, sample, sizeof sample);
        FillBytes(sample, 0, sizeof sample);
    }
    if (sources.systemEntropy) UpdateRandomFromSystem(generator);
}

void StirRandomWith(RandomGenerator* generator, const RandomSources& sources)
{
    for (unsigned char& b : generator->state) b ^= ClockLowByte(sources);
    if (sources.systemEntropy) UpdateRandomFromSystem(generator);
    Md5Of(generator->output, generator->state, sizeof generator->state);
    generator->outputAvailable = 16;
}

void MixKeyIntoRandomWith(RandomGenerator* generator, const RsaPrivateKey* key, const RandomSources& sources)
{
    if (!key) return;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(key);
    for (std::size_t i = 0; i < sizeof(RsaPrivateKey); ++i) {
        unsigned char x = bytes[i];
        if (x == 0) continue;
        unsigned char c = ClockLowByte(sources);
        if (c & 1) x = static_cast<unsigned char>(~x);
        unsigned char y = ClockLowByte(sources);
        unsigned rotation = (c >> 4) & 3;
        unsigned n = (c >> 6) + 1u;
        if (rotation == 1) x = RotateLeft(x, n);
        if (rotation == 3) x = RotateRight(x, n);
        if (c & 8) y = static_cast<unsigned char>(~y);
        unsigned op = (c >> 1) & 3;
        unsigned char z = (op == 1) ? (x & y) : (op == 3) ? (x | y) : (x ^ y);
        UpdateRandom(generator, &z, 1);
        FillBytes(&z, 0, 1);
    }
}

RandomGenerator* GetSharedRandom()
{
    // Set up once per process (thread-safe initialisation of the static).
    static RandomGenerator* const shared = [] {
        SeedRandomWith(&gSharedRandom, 256, DefaultRandomSources());
        return &gSharedRandom;
    }();
    return shared;
}

void SeedRandomFromClock(RandomGenerator* generator)
{
    SeedRandomWith(generator, 512, DefaultRandomSources());
}

void StirRandomFromClock(RandomGenerator* generator)
{
    StirRandomWith(generator, DefaultRandomSources());
}

void MixKeyIntoSharedRandom(const RsaPrivateKey* key)
{
    MixKeyIntoRandomWith(GetSharedRandom(), key, DefaultRandomSources());
}
