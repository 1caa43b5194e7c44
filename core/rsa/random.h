// Random generator: a 128-bit state hashed with MD5 and stepped like a
// counter, seeded by feeding it bytes (each fed block's MD5 is added into the
// state). One process-wide shared generator serves callers without their own.
#pragma once
#include <cstddef>
#include <cstdint>

struct RsaPrivateKey;

enum : int {
    kStatusRandomNeeded = 1032,  // the generator still needs seed bytes
};

// Owned by the caller; holds no pointers.
struct RandomGenerator {
    std::uint32_t bytesNeeded;
    unsigned char state[16];         // big-endian number
    std::uint32_t outputAvailable;   // 0..16: unused bytes at the end of output
    unsigned char output[16];        // MD5 of an earlier state
};

// State zero, nothing available, 256 seed bytes needed; 0.
int InitRandom(RandomGenerator* generator);
// Adds MD5(seed) into the state and lowers the need by length (not below 0); 0.
int UpdateRandom(RandomGenerator* generator, const unsigned char* seed, std::size_t length);
int GetRandomBytesNeeded(std::uint32_t* count, const RandomGenerator* generator);
// kStatusRandomNeeded, with nothing written, while seed bytes are needed; else 0.
int GenerateRandomBytes(unsigned char* out, std::size_t length, RandomGenerator* generator);
// Overwrites the whole record with zeros.
void ClearRandom(RandomGenerator* generator);

// The process-wide generator, set up and seeded (clock and system entropy) on
// the first call only; later calls return the same address and keep its state.
// Its use is not locked: one thread at a time.
RandomGenerator* GetSharedRandom();

// Restarts the generator with 512 bytes needed and seeds it from the clock
// and the system's entropy.
void SeedRandomFromClock(RandomGenerator* generator);
// XORs 16 clock samples into the state, mixes in system entropy and refills
// the output block; the need is unchanged.
void StirRandomFromClock(RandomGenerator* generator);
// Mixes the key record's non-zero bytes, each disguised with clock samples,
// into the shared generator; a null key only sets the generator up.
void MixKeyIntoSharedRandom(const RsaPrivateKey* key);

// Adds the MD5 of 32 bytes of operating-system entropy into the state (the
// need is unchanged). Every seeding above ends with it.
void UpdateRandomFromSystem(RandomGenerator* generator);

// The seeding inputs: a millisecond clock (0..999) and whether system entropy
// is mixed in. The operations above use the local clock and system entropy;
// tests inject a clock of their own and turn the entropy off.
struct RandomSources {
    std::uint16_t (*clock)(void* context);
    void* context;
    bool systemEntropy;
};
const RandomSources& DefaultRandomSources();
// Restarts the generator with the given need, feeds 2-byte clock samples
// until nothing is needed, then system entropy when enabled.
void SeedRandomWith(RandomGenerator* generator, std::uint32_t bytesNeeded, const RandomSources& sources);
void StirRandomWith(RandomGenerator* generator, const RandomSources& sources);
void MixKeyIntoRandomWith(RandomGenerator* generator, const RsaPrivateKey* key, const RandomSources& sources);
