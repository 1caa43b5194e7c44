#include "core/rsa/rsa.h"

#include "core/rsa/bignum.h"
#include "core/der/bytes.h"

namespace {

using Digit = BigNumDigit;
constexpr std::uint32_t kDigits = kBigNumDigits;
constexpr std::uint32_t kPrimeDigits = kRsaMaxPrimeBytes / 4;
constexpr std::uint32_t kFieldDigits = kRsaMaxModulusBytes / 4;
constexpr std::size_t kMinBlock = 11;  // 00, type, 8 padding bytes, 00

// Work blocks are 256 bytes: bit counts of 0 or over 2048 are refused.
bool ModulusLength(std::uint16_t bits, std::size_t* k)
{
    if (bits == 0 || bits > 8 * kRsaMaxModulusBytes) return false;
    *k = (bits + 7u) / 8u;
    return true;
}

// Loads the modulus; false when it is zero or longer than k bytes (its result
// would not fit the block).
bool LoadModulus(Digit modulus[kDigits], const unsigned char field[kRsaMaxModulusBytes], std::size_t k)
{
    BigNumFromBytes(modulus, kDigits, field, kRsaMaxModulusBytes);
    std::uint32_t bits = CountBigNumBits(modulus, kDigits);
    return bits != 0 && bits <= 8 * k;
}

// Loads the input and checks it against the modulus over all digits; leading
// zero bytes are allowed, any other byte beyond the fields is not.
bool LoadInput(Digit value[kDigits], const unsigned char* input, std::size_t length, const Digit modulus[kDigits])
{
    while (length > 0 && *input == 0) {
        ++input;
        --length;
    }
    if (length > kRsaMaxModulusBytes) return false;
    BigNumFromBytes(value, kDigits, input, length);
    return CompareBigNum(value, modulus, kDigits) < 0;
}

template <std::size_t N>
void Wipe(Digit (&work)[N])
{
    FillBytes(work, 0, sizeof work);
}

}  // namespace

int ApplyRsaPublicKey(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                      std::size_t inputLength, const RsaPublicKey* key)
{
    *outLength = 0;
    std::size_t k;
    if (!ModulusLength(key->bits, &k)) return kStatusLength;
    Digit modulus[kDigits], exponent[kDigits], value[kDigits] = {}, result[kDigits] = {};
    if (!LoadModulus(modulus, key->modulus, k)) return kStatusPublicKey;
    int status = 0;
    if (LoadInput(value, input, inputLength, modulus)) {
        BigNumFromBytes(exponent, kFieldDigits, key->publicExponent, kRsaMaxModulusBytes);
        const std::uint32_t n = CountBigNumDigits(modulus, kDigits);
        ModExpBigNum(result, value, exponent, kFieldDigits, modulus, n);
        BigNumToBytes(out, k, result, n);
        *outLength = k;
    } else {
        status = kStatusData;
    }
    Wipe(value);
    Wipe(result);
    return status;
}

int ApplyRsaPrivateKey(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                       std::size_t inputLength, const RsaPrivateKey* key)
{
    *outLength = 0;
    std::size_t k;
    if (!ModulusLength(key->bits, &k)) return kStatusLength;
    Digit modulus[kDigits], p[kDigits] = {}, q[kDigits] = {};
    if (!LoadModulus(modulus, key->modulus, k)) return kStatusPrivateKey;
    BigNumFromBytes(p, kPrimeDigits, key->prime1, kRsaMaxPrimeBytes);
    BigNumFromBytes(q, kPrimeDigits, key->prime2, kRsaMaxPrimeBytes);
    if (IsZeroBigNum(p, kPrimeDigits) || IsZeroBigNum(q, kPrimeDigits)) {
        Wipe(p);
        Wipe(q);
        return kStatusPrivateKey;
    }

    Digit c[kDigits] = {};
    int status = 0;
    if (LoadInput(c, input, inputLength, modulus)) {
        // Work over the larger prime's digits, whichever of the two it is.
        std::uint32_t np = CountBigNumDigits(p, kPrimeDigits);
        std::uint32_t nq = CountBigNumDigits(q, kPrimeDigits);
        const std::uint32_t n = np > nq ? np : nq;
        Digit cP[kDigits] = {}, cQ[kDigits] = {}, mP[kDigits] = {}, mQ[kDigits] = {};
        Digit dP[kDigits] = {}, dQ[kDigits] = {}, qInv[kDigits] = {}, t[kDigits] = {}, x[kDigits] = {};
        Digit h[kBigNumProductDigits] = {};
        BigNumFromBytes(dP, kPrimeDigits, key->exponent1, kRsaMaxPrimeBytes);
        BigNumFromBytes(dQ, kPrimeDigits, key->exponent2, kRsaMaxPrimeBytes);
        BigNumFromBytes(x, kPrimeDigits, key->coefficient, kRsaMaxPrimeBytes);
        ModBigNum(qInv, x, kPrimeDigits, p, n);

        ModBigNum(cP, c, kDigits, p, n);
        ModBigNum(cQ, c, kDigits, q, n);
        ModExpBigNum(mP, cP, dP, kPrimeDigits, p, n);
        ModExpBigNum(mQ, cQ, dQ, kPrimeDigits, q, n);
        // t = (mP - mQ) mod p, with mQ reduced first: q may exceed p.
        ModBigNum(x, mQ, n, p, n);
        if (CompareBigNum(mP, x, n) >= 0) {
            SubtractBigNum(t, mP, x, n);
        } else {
            SubtractBigNum(t, p, x, n);
            AddBigNum(t, t, mP, n);
        }
        ModMultiplyBigNum(t, t, qInv, p, n);
        // m = t * q + mQ, below p * q.
        MultiplyBigNum(h, t, q, n);
        AddBigNum(h, h, mQ, kDigits);
        BigNumToBytes(out, k, h, kDigits);
        *outLength = k;

        Wipe(cP), Wipe(cQ), Wipe(mP), Wipe(mQ), Wipe(dP), Wipe(dQ), Wipe(qInv), Wipe(t), Wipe(x), Wipe(h);
    } else {
        status = kStatusData;
    }
    Wipe(c);
    Wipe(p);
    Wipe(q);
    return status;
}

int EncryptRsaPublic(unsigned char* out, std::size_t* outLength, const unsigned char* data,
                     std::size_t dataLength, const RsaPublicKey* key, RandomGenerator* generator)
{
    *outLength = 0;
    std::size_t k;
    if (!ModulusLength(key->bits, &k) || k < kMinBlock || dataLength > k - kMinBlock) return kStatusLength;
    std::uint32_t needed = 0;
    if (!generator || (GetRandomBytesNeeded(&needed, generator), needed != 0)) return kStatusRandomNeeded;

    unsigned char block[kRsaMaxModulusBytes];
    unsigned char random = 0;
    const std::size_t padding = k - dataLength - 3;
    block[0] = 0x00;
    block[1] = 0x02;
    for (std::size_t i = 0; i < padding; ++i) {
        do {
            GenerateRandomBytes(&random, 1, generator);
        } while (random == 0);
        block[2 + i] = random;
    }
    block[2 + padding] = 0x00;
    CopyBytes(block + 3 + padding, data, dataLength);
    int status = ApplyRsaPublicKey(out, outLength, block, k, key);
    FillBytes(block, 0, sizeof block);
    FillBytes(&random, 0, 1);
    return status;
}

int DecryptRsaPublic(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                     std::size_t inputLength, const RsaPublicKey* key)
{
    *outLength = 0;
    std::size_t k;
    if (!ModulusLength(key->bits, &k) || k < kMinBlock || inputLength > k) return kStatusLength;
    unsigned char block[kRsaMaxModulusBytes];
    std::size_t blockLength = 0;
    int status = ApplyRsaPublicKey(block, &blockLength, input, inputLength, key);
    if (status == 0 && blockLength != k) status = kStatusLength;
    if (status == 0) {
        std::size_t position = 2;
        if (block[0] != 0x00 || block[1] != 0x01) {
            status = kStatusData;
        } else {
            while (position < k - 1 && block[position] == 0xFF) ++position;
            if (block[position] != 0x00) status = kStatusData;
        }
        if (status == 0) {
            const std::size_t length = k - position - 1;
            if (length > k - kMinBlock) {
                status = kStatusData;  // fewer than 8 padding bytes
            } else {
                CopyBytes(out, block + position + 1, length);
                *outLength = length;
            }
        }
    }
    FillBytes(block, 0, sizeof block);
    return status;
}

int EncryptRsaPrivate(unsigned char* out, std::size_t* outLength, const unsigned char* data,
                      std::size_t dataLength, const RsaPrivateKey* key)
{
    *outLength = 0;
    std::size_t k;
    if (!ModulusLength(key->bits, &k) || k < kMinBlock || dataLength > k - kMinBlock) return kStatusLength;
    unsigned char block[kRsaMaxModulusBytes];
    const std::size_t padding = k - dataLength - 3;
    block[0] = 0x00;
    block[1] = 0x01;
    FillBytes(block + 2, 0xFF, padding);
    block[2 + padding] = 0x00;
    CopyBytes(block + 3 + padding, data, dataLength);
    int status = ApplyRsaPrivateKey(out, outLength, block, k, key);
    FillBytes(block, 0, sizeof block);
    return status;
}

int DecryptRsaPrivate(unsigned char* out, std::size_t* outLength, const unsigned char* input,
                      std::size_t inputLength, const RsaPrivateKey* key)
{
    *outLength = 0;
    std::size_t k;
    if (!ModulusLength(key->bits, &k) || k < kMinBlock || inputLength > k) return kStatusLength;
    unsigned char block[kRsaMaxModulusBytes];
    std::size_t blockLength = 0;
    int status = ApplyRsaPrivateKey(block, &blockLength, input, inputLength, key);
    if (status == 0 && blockLength != k) status = kStatusLength;
    if (status == 0) {
        if (block[0] != 0x00 || block[1] != 0x02) {
            status = kStatusData;
        } else {
            std::size_t position = 2;
            while (position < k - 1 && block[position] != 0x00) ++position;
            const std::size_t start = position + 1;
            // No separator, no data, or fewer than 8 padding bytes.
            if (start >= k || k - start > k - kMinBlock) {
                status = kStatusData;
            } else {
                CopyBytes(out, block + start, k - start);
                *outLength = k - start;
            }
        }
    }
    FillBytes(block, 0, sizeof block);
    return status;
}
