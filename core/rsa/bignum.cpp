#include "core/rsa/bignum.h"

#include "core/der/bytes.h"

namespace {

using Digit = BigNumDigit;
using Wide = std::uint64_t;

// Wipes the used part of a local work array; they hold key material during
// RSA operations.
void WipeDigits(Digit* work, std::uint32_t count)
{
    FillBytes(work, 0, sizeof(Digit) * count);
}

template <std::size_t N>
void Wipe(Digit (&work)[N])
{
    WipeDigits(work, N);
}

// Exponentiation with windows of w bits (8, 4 or 2).
template <unsigned w>
void ModExpWindowed(Digit* a, const Digit* b, const Digit* c, std::uint32_t cCount, const Digit* d,
                    std::uint32_t dCount)
{
    constexpr unsigned kPowers = (1u << w) - 1;
    constexpr Digit kMask = kPowers;
    constexpr unsigned kGroups = 32 / w;
    if (dCount > kBigNumDigits || IsZeroBigNum(d, dCount)) {
        ZeroBigNum(a, dCount);
        return;
    }
    const std::uint32_t n = dCount;
    const std::uint32_t cd = CountBigNumDigits(c, cCount);

    // Only the powers up to the largest window value of this exponent are
    // ever used; the rest of the table is left uncomputed.
    unsigned largest = 0;
    for (std::uint32_t i = 0; i < cd; ++i)
        for (unsigned j = 0; j < kGroups; ++j) {
            unsigned g = (c[i] >> (j * w)) & kMask;
            if (g > largest) largest = g;
        }

    Digit powers[kPowers][kBigNumDigits];
    Digit t[kBigNumDigits];
    Digit one[kBigNumDigits];
    ZeroBigNum(one, n);
    ModBigNum(powers[0], b, n, d, n);
    for (unsigned g = 1; g < largest; ++g) ModMultiplyBigNum(powers[g], powers[g - 1], powers[0], d, n);

    // t = 1 mod d, so that a modulus of 1 gives 0.
    one[0] = 1;
    ModBigNum(t, one, n, d, n);

    bool started = false;
    for (std::uint32_t i = cd; i-- > 0;) {
        for (unsigned j = kGroups; j-- > 0;) {
            unsigned g = (c[i] >> (j * w)) & kMask;
            if (!started && g == 0) continue;
            started = true;
            for (unsigned k = 0; k < w; ++k) ModMultiplyBigNum(t, t, t, d, n);
            if (g) ModMultiplyBigNum(t, t, powers[g - 1], d, n);
        }
    }
    CopyBigNum(a, t, n);
    for (unsigned g = 0; g < (largest ? largest : 1); ++g) WipeDigits(powers[g], n);
    WipeDigits(t, n);
}

}  // namespace

void BigNumFromBytes(BigNumDigit* out, std::uint32_t n, const unsigned char* bytes, std::size_t byteCount)
{
    std::size_t j = byteCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        Digit v = 0;
        for (unsigned shift = 0; shift < 32 && j > 0; shift += 8) v |= Digit(bytes[--j]) << shift;
        out[i] = v;
    }
}

void BigNumToBytes(unsigned char* bytes, std::size_t byteCount, const BigNumDigit* in, std::uint32_t n)
{
    std::size_t j = byteCount;
    for (std::uint32_t i = 0; i < n && j > 0; ++i)
        for (unsigned shift = 0; shift < 32 && j > 0; shift += 8) bytes[--j] = static_cast<unsigned char>(in[i] >> shift);
    while (j > 0) bytes[--j] = 0;
}

void ZeroBigNum(BigNumDigit* a, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) a[i] = 0;
}

void CopyBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) a[i] = b[i];
}

int IsZeroBigNum(const BigNumDigit* a, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i)
        if (a[i]) return 0;
    return 1;
}

std::uint32_t CountBigNumDigits(const BigNumDigit* a, std::uint32_t n)
{
    while (n > 0 && a[n - 1] == 0) --n;
    return n;
}

std::uint32_t CountDigitBits(BigNumDigit digit)
{
    std::uint32_t bits = 0;
    while (digit) {
        ++bits;
        digit >>= 1;
    }
    return bits;
}

std::uint32_t CountBigNumBits(const BigNumDigit* a, std::uint32_t n)
{
    std::uint32_t digits = CountBigNumDigits(a, n);
    if (digits == 0) return 0;
    return 32 * (digits - 1) + CountDigitBits(a[digits - 1]);
}

int CompareBigNum(const BigNumDigit* a, const BigNumDigit* b, std::uint32_t n)
{
    for (std::uint32_t i = n; i-- > 0;) {
        if (a[i] > b[i]) return 1;
        if (a[i] < b[i]) return -1;
    }
    return 0;
}

void SetBigNumPowerOfTwo(BigNumDigit* a, std::uint32_t k, std::uint32_t n)
{
    ZeroBigNum(a, n);
    if (std::uint64_t(k) < std::uint64_t(n) * 32) a[k / 32] = Digit(1) << (k % 32);
}

BigNumDigit AddBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n)
{
    Digit carry = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        Wide sum = Wide(b[i]) + c[i] + carry;
        a[i] = Digit(sum);
        carry = Digit(sum >> 32);
    }
    return carry;
}

BigNumDigit SubtractBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n)
{
    Digit borrow = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        Wide diff = Wide(b[i]) - c[i] - borrow;
        a[i] = Digit(diff);
        borrow = Digit(diff >> 63);
    }
    return borrow;
}

BigNumDigit ShiftLeftBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t s, std::uint32_t n)
{
    if (s >= 32) return 0;
    if (s == 0) {
        CopyBigNum(a, b, n);
        return 0;
    }
    Digit carry = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        Digit v = b[i];
        a[i] = (v << s) | carry;
        carry = v >> (32 - s);
    }
    return carry;
}

BigNumDigit ShiftRightBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t s, std::uint32_t n)
{
    if (s >= 32) return 0;
    if (s == 0) {
        CopyBigNum(a, b, n);
        return 0;
    }
    Digit carry = 0;
    for (std::uint32_t i = n; i-- > 0;) {
        Digit v = b[i];
        a[i] = (v >> s) | carry;
        carry = v << (32 - s);
    }
    return carry;
}

void MultiplyDigits(BigNumDigit b, BigNumDigit c, BigNumDigit* high, BigNumDigit* low)
{
    Wide p = Wide(b) * c;
    *high = Digit(p >> 32);
    *low = Digit(p);
}

BigNumDigit SubtractDigitMultiple(BigNumDigit* a, const BigNumDigit* b, BigNumDigit c, const BigNumDigit* d,
                                  std::uint32_t n)
{
    Digit borrow = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        Wide p = Wide(c) * d[i] + borrow;
        Digit low = Digit(p);
        Digit high = Digit(p >> 32);  // at most 2^32 - 2 when low is non-zero
        Digit v = b[i] - low;
        if (v > b[i]) ++high;
        a[i] = v;
        borrow = high;
    }
    return borrow;
}

void MultiplyBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n)
{
    if (n > kBigNumDigits) {
        ZeroBigNum(a, 2 * n);
        return;
    }
    Digit product[kBigNumProductDigits];
    ZeroBigNum(product, 2 * n);
    const std::uint32_t bd = CountBigNumDigits(b, n);
    const std::uint32_t cd = CountBigNumDigits(c, n);
    for (std::uint32_t i = 0; i < bd; ++i) {
        if (b[i] == 0) continue;
        Digit carry = 0;
        for (std::uint32_t j = 0; j < cd; ++j) {
            Wide t = Wide(b[i]) * c[j] + product[i + j] + carry;
            product[i + j] = Digit(t);
            carry = Digit(t >> 32);
        }
        product[i + cd] = carry;
    }
    CopyBigNum(a, product, 2 * n);
    WipeDigits(product, 2 * n);
}

void DivideBigNum(BigNumDigit* quotient, BigNumDigit* remainder, const BigNumDigit* c, std::uint32_t cCount,
                  const BigNumDigit* d, std::uint32_t dCount)
{
    const std::uint32_t dd = (dCount <= kBigNumProductDigits) ? CountBigNumDigits(d, dCount) : 0;
    if (cCount > kBigNumProductDigits || dd == 0) {
        ZeroBigNum(quotient, cCount);
        ZeroBigNum(remainder, dCount);
        return;
    }
    // Normalise so that the divisor's top digit has its top bit set.
    const std::uint32_t s = 32 - CountDigitBits(d[dd - 1]);
    // Only the dividend's significant digits take part: the quotient digits
    // above them are zero.
    const std::uint32_t cd = CountBigNumDigits(c, cCount);
    const std::uint32_t used = (cd + 1 > dd) ? cd + 1 : dd;
    Digit cc[kBigNumProductDigits + 1];
    Digit divisor[kBigNumProductDigits];
    Digit q[kBigNumProductDigits];
    ZeroBigNum(cc, used);
    ZeroBigNum(q, cCount);
    cc[cd] = ShiftLeftBigNum(cc, c, s, cd);
    ShiftLeftBigNum(divisor, d, s, dd);
    const Digit top = divisor[dd - 1];

    for (std::uint32_t i = (cd >= dd) ? cd - dd + 1 : 0; i-- > 0;) {
        // Estimate from the top two digits against top + 1: never too large.
        Digit high = cc[i + dd];
        Digit low = cc[i + dd - 1];
        Digit estimate;
        if (top == 0xFFFFFFFFu)
            estimate = high;
        else
            estimate = Digit(((Wide(high) << 32) | low) / (Wide(top) + 1));
        cc[i + dd] -= SubtractDigitMultiple(cc + i, cc + i, estimate, divisor, dd);
        while (cc[i + dd] != 0 || CompareBigNum(cc + i, divisor, dd) >= 0) {
            ++estimate;
            cc[i + dd] -= SubtractBigNum(cc + i, cc + i, divisor, dd);
        }
        q[i] = estimate;
    }
    // Outputs last, so that they may overlap the inputs.
    ShiftRightBigNum(cc, cc, s, dd);
    CopyBigNum(quotient, q, cCount);
    CopyBigNum(remainder, cc, dd);
    ZeroBigNum(remainder + dd, dCount - dd);
    WipeDigits(cc, used);
    WipeDigits(divisor, dd);
    WipeDigits(q, cCount);
}

void ModBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t bCount, const BigNumDigit* c,
               std::uint32_t cCount)
{
    Digit quotient[kBigNumProductDigits];
    if (bCount > kBigNumProductDigits) {
        ZeroBigNum(a, cCount);
        return;
    }
    DivideBigNum(quotient, a, b, bCount, c, cCount);
    WipeDigits(quotient, bCount);
}

void ModMultiplyBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, const BigNumDigit* d,
                       std::uint32_t n)
{
    if (n > kBigNumDigits) {
        ZeroBigNum(a, n);
        return;
    }
    Digit product[kBigNumProductDigits];
    MultiplyBigNum(product, b, c, n);
    ModBigNum(a, product, 2 * n, d, n);
    WipeDigits(product, 2 * n);
}

void ModExpBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t cCount,
                  const BigNumDigit* d, std::uint32_t dCount)
{
    ModExpWindowed<8>(a, b, c, cCount, d, dCount);
}

void ModExpBigNum4Bit(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t cCount,
                      const BigNumDigit* d, std::uint32_t dCount)
{
    ModExpWindowed<4>(a, b, c, cCount, d, dCount);
}

void ModExpBigNum2Bit(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t cCount,
                      const BigNumDigit* d, std::uint32_t dCount)
{
    ModExpWindowed<2>(a, b, c, cCount, d, dCount);
}

void ModInverseBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n)
{
    if (n > kBigNumDigits) {
        ZeroBigNum(a, n);
        return;
    }
    // Extended Euclid keeping the coefficient of b as a magnitude; the signs
    // of successive coefficients alternate.
    Digit k0[kBigNumDigits] = {}, k1[kBigNumDigits] = {}, k[kBigNumDigits];
    Digit r0[kBigNumDigits], r1[kBigNumDigits], r[kBigNumDigits], q[kBigNumDigits];
    Digit product[kBigNumProductDigits];
    if (n > 0) k0[0] = 1;
    CopyBigNum(r0, b, n);
    CopyBigNum(r1, c, n);
    int sign = 1;
    while (!IsZeroBigNum(r1, n)) {
        DivideBigNum(q, r, r0, n, r1, n);
        MultiplyBigNum(product, q, k1, n);
        AddBigNum(k, k0, product, n);
        CopyBigNum(k0, k1, n);
        CopyBigNum(k1, k, n);
        CopyBigNum(r0, r1, n);
        CopyBigNum(r1, r, n);
        sign = -sign;
    }
    if (sign > 0)
        CopyBigNum(a, k0, n);
    else
        SubtractBigNum(a, c, k0, n);
    Wipe(k0), Wipe(k1), Wipe(k), Wipe(r0), Wipe(r1), Wipe(r), Wipe(q), Wipe(product);
}

void GcdBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n)
{
    if (n > kBigNumDigits) {
        ZeroBigNum(a, n);
        return;
    }
    Digit g[3][kBigNumDigits];
    CopyBigNum(g[0], c, n);
    CopyBigNum(g[1], b, n);
    unsigned previous = 0, current = 1;
    while (!IsZeroBigNum(g[current], n)) {
        unsigned next = 3 - previous - current;
        ModBigNum(g[next], g[previous], n, g[current], n);
        previous = current;
        current = next;
    }
    CopyBigNum(a, g[previous], n);
    FillBytes(g, 0, sizeof g);
}
