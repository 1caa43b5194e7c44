// Multi-precision arithmetic: edge cases and algebraic checks that run
// everywhere, plus differential checks against GMP where it is available.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/rsa/bignum.h"

namespace {

using Digits = std::vector<BigNumDigit>;

// Random numbers biased towards the shapes that break long arithmetic: runs
// of zero and all-one digits, top digits 0xFFFFFFFF and 0x80000000.
class NumberSource {
public:
    explicit NumberSource(std::uint64_t seed) : rng_(seed) {}

    std::uint32_t Below(std::uint32_t bound) { return std::uint32_t(rng_() % bound); }

    BigNumDigit Digit()
    {
        switch (Below(8)) {
        case 0: return 0;
        case 1: return 0xFFFFFFFFu;
        case 2: return 0x80000000u;
        case 3: return 1;
        default: return BigNumDigit(rng_());
        }
    }

    // A number of `count` digits with `significant` significant ones.
    Digits Number(std::uint32_t count, std::uint32_t significant)
    {
        Digits a(count, 0);
        for (std::uint32_t i = 0; i < significant; ++i) a[i] = Digit();
        if (significant > 0) {
            switch (Below(4)) {
            case 0: a[significant - 1] = 0xFFFFFFFFu; break;
            case 1: a[significant - 1] = 0x80000000u; break;
            default: a[significant - 1] = BigNumDigit(rng_()) | 1u;
            }
        }
        return a;
    }

private:
    std::mt19937_64 rng_;
};

// ---- Conversions and counts ----

TEST(BigNumBytes, FromBytes)
{
    BigNumDigit a[3] = {9, 9, 9};
    BigNumFromBytes(a, 3, nullptr, 0);
    EXPECT_EQ(a[0], 0u);
    EXPECT_EQ(a[1], 0u);
    EXPECT_EQ(a[2], 0u);

    const unsigned char five[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    BigNumFromBytes(a, 3, five, sizeof five);
    EXPECT_EQ(a[0], 0x02030405u);
    EXPECT_EQ(a[1], 0x00000001u);
    EXPECT_EQ(a[2], 0u);

    // Bytes beyond the digits, at the front, are ignored.
    BigNumDigit one[1];
    BigNumFromBytes(one, 1, five, sizeof five);
    EXPECT_EQ(one[0], 0x02030405u);
}

TEST(BigNumBytes, ToBytes)
{
    const BigNumDigit value[2] = {1, 0};
    unsigned char out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    BigNumToBytes(out, 4, value, 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 1);

    // Digits that do not fit are dropped; leading bytes are zero.
    const BigNumDigit wide[2] = {0x11223344u, 0x55667788u};
    unsigned char three[3];
    BigNumToBytes(three, 3, wide, 2);
    EXPECT_EQ(three[0], 0x22);
    EXPECT_EQ(three[2], 0x44);
    unsigned char ten[10];
    BigNumToBytes(ten, 10, wide, 2);
    const unsigned char expected[10] = {0, 0, 0x55, 0x66, 0x77, 0x88, 0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(0, memcmp(ten, expected, 10));
}

TEST(BigNumCount, BitsAndDigits)
{
    struct Case {
        BigNumDigit d0, d1;
        std::uint32_t bits, digits;
    };
    const Case cases[] = {
        {0, 0, 0, 0}, {1, 0, 1, 1}, {0xFFFFFFFFu, 0, 32, 1}, {0, 1, 33, 2}, {5, 0x80000000u, 64, 2},
    };
    for (const Case& c : cases) {
        const BigNumDigit a[3] = {c.d0, c.d1, 0};
        EXPECT_EQ(CountBigNumBits(a, 3), c.bits);
        EXPECT_EQ(CountBigNumDigits(a, 3), c.digits);
        EXPECT_EQ(IsZeroBigNum(a, 3), c.bits == 0 ? 1 : 0);
    }
    EXPECT_EQ(IsZeroBigNum(nullptr, 0), 1);
    EXPECT_EQ(CountDigitBits(0), 0u);
    EXPECT_EQ(CountDigitBits(0x00010000u), 17u);
}

TEST(BigNumCompare, TopDigitDecides)
{
    const BigNumDigit a[3] = {5, 7, 0};
    const BigNumDigit b[3] = {6, 7, 0};
    EXPECT_EQ(CompareBigNum(a, b, 3), -1);
    EXPECT_EQ(CompareBigNum(b, a, 3), 1);
    EXPECT_EQ(CompareBigNum(a, a, 3), 0);
    // Equal values with leading zeros compare equal over the common count.
    const BigNumDigit c[3] = {5, 7, 0};
    EXPECT_EQ(CompareBigNum(a, c, 3), 0);
    const BigNumDigit d[3] = {0, 0, 1};
    EXPECT_EQ(CompareBigNum(d, b, 3), 1);
}

TEST(BigNumPowerOfTwo, InsideAndBeyond)
{
    BigNumDigit a[2] = {7, 7};
    SetBigNumPowerOfTwo(a, 33, 2);
    EXPECT_EQ(a[0], 0u);
    EXPECT_EQ(a[1], 2u);
    SetBigNumPowerOfTwo(a, 64, 2);
    EXPECT_EQ(IsZeroBigNum(a, 2), 1);
}

// ---- Digit-wise operations ----

TEST(BigNumShift, OutBitsAndLimits)
{
    const BigNumDigit b[2] = {0x80000001u, 0xF0000000u};
    BigNumDigit a[2];
    EXPECT_EQ(ShiftLeftBigNum(a, b, 4, 2), 0xFu);
    EXPECT_EQ(a[0], 0x00000010u);
    EXPECT_EQ(a[1], 0x00000008u);
    EXPECT_EQ(ShiftRightBigNum(a, b, 4, 2), 0x10000000u);
    EXPECT_EQ(a[0], 0x08000000u);
    EXPECT_EQ(a[1], 0x0F000000u);

    // Zero shifts copy; 32 and more do nothing.
    EXPECT_EQ(ShiftLeftBigNum(a, b, 0, 2), 0u);
    EXPECT_EQ(a[1], b[1]);
    BigNumDigit untouched[2] = {1, 2};
    EXPECT_EQ(ShiftLeftBigNum(untouched, b, 32, 2), 0u);
    EXPECT_EQ(ShiftRightBigNum(untouched, b, 40, 2), 0u);
    EXPECT_EQ(untouched[0], 1u);
    EXPECT_EQ(untouched[1], 2u);

    // In place.
    BigNumDigit c[2] = {0x80000001u, 0xF0000000u};
    ShiftLeftBigNum(c, c, 1, 2);
    EXPECT_EQ(c[0], 2u);
    EXPECT_EQ(c[1], 0xE0000001u);
}

TEST(BigNumAdd, CarryAndBorrow)
{
    const BigNumDigit max[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    const BigNumDigit one[2] = {1, 0};
    BigNumDigit a[2];
    EXPECT_EQ(AddBigNum(a, max, one, 2), 1u);
    EXPECT_EQ(IsZeroBigNum(a, 2), 1);
    EXPECT_EQ(SubtractBigNum(a, one, max, 2), 1u);
    EXPECT_EQ(a[0], 2u);
    EXPECT_EQ(a[1], 0u);
}

TEST(BigNumMultiply, DigitsAndSubtractMultiple)
{
    BigNumDigit high, low;
    MultiplyDigits(0xFFFFFFFFu, 0xFFFFFFFFu, &high, &low);
    EXPECT_EQ(high, 0xFFFFFFFEu);
    EXPECT_EQ(low, 1u);

    // 0 - (2^32 - 1)(2^64 - 1) = 2^32 - 1 - (2^32 - 1) 2^64: the low-digit
    // borrow is folded into the borrow digit.
    const BigNumDigit zero[2] = {0, 0};
    const BigNumDigit d[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    BigNumDigit a[2];
    EXPECT_EQ(SubtractDigitMultiple(a, zero, 0xFFFFFFFFu, d, 2), 0xFFFFFFFFu);
    EXPECT_EQ(a[0], 0xFFFFFFFFu);
    EXPECT_EQ(a[1], 0u);
}

// ---- Division and modular operations: fixed cases ----

TEST(BigNumDivide, SmallerThanDivisor)
{
    const BigNumDigit c[3] = {5, 6, 0};
    const BigNumDigit d[3] = {0, 0, 1};
    BigNumDigit q[3] = {9, 9, 9}, r[3] = {9, 9, 9};
    DivideBigNum(q, r, c, 3, d, 3);
    EXPECT_EQ(IsZeroBigNum(q, 3), 1);
    EXPECT_EQ(CompareBigNum(r, c, 3), 0);
}

TEST(BigNumDivide, ZeroDivisorWritesZeros)
{
    const BigNumDigit c[2] = {5, 6};
    const BigNumDigit d[2] = {0, 0};
    BigNumDigit q[2] = {9, 9}, r[2] = {9, 9};
    DivideBigNum(q, r, c, 2, d, 2);
    EXPECT_EQ(IsZeroBigNum(q, 2), 1);
    EXPECT_EQ(IsZeroBigNum(r, 2), 1);
    BigNumDigit m[2] = {9, 9};
    ModBigNum(m, c, 2, d, 2);
    EXPECT_EQ(IsZeroBigNum(m, 2), 1);
}

TEST(BigNumDivide, TopDigitAllOnes)
{
    // (2^64 - 1) * (2^32 - 1) / (2^32 - 1) through the top-digit estimate.
    const BigNumDigit d[1] = {0xFFFFFFFFu};
    const BigNumDigit c[3] = {0x00000001u, 0xFFFFFFFFu, 0xFFFFFFFEu};
    BigNumDigit q[3], r[1];
    DivideBigNum(q, r, c, 3, d, 1);
    EXPECT_EQ(q[0], 0xFFFFFFFFu);
    EXPECT_EQ(q[1], 0xFFFFFFFFu);
    EXPECT_EQ(q[2], 0u);
    EXPECT_EQ(r[0], 0u);
}

TEST(BigNumLimits, CountsBeyondTheWorkArraysWriteZeros)
{
    std::vector<BigNumDigit> b(kBigNumDigits + 1, 3), out(2 * (kBigNumDigits + 1), 0xAA);
    MultiplyBigNum(out.data(), b.data(), b.data(), kBigNumDigits + 1);
    EXPECT_EQ(IsZeroBigNum(out.data(), std::uint32_t(out.size())), 1);

    std::vector<BigNumDigit> c(kBigNumProductDigits + 1, 7), q(c.size(), 0xAA), d(1, 3), r(1, 0xAA);
    DivideBigNum(q.data(), r.data(), c.data(), std::uint32_t(c.size()), d.data(), 1);
    EXPECT_EQ(IsZeroBigNum(q.data(), std::uint32_t(q.size())), 1);
    EXPECT_EQ(r[0], 0u);

    std::vector<BigNumDigit> big(kBigNumDigits + 1, 5), e(1, 3), a(big.size(), 0xAA);
    ModExpBigNum(a.data(), big.data(), e.data(), 1, big.data(), std::uint32_t(big.size()));
    EXPECT_EQ(IsZeroBigNum(a.data(), std::uint32_t(a.size())), 1);
}

TEST(BigNumModExp, ExponentEdges)
{
    const BigNumDigit d[2] = {0x12345679u, 0x00ABCDEFu};
    const BigNumDigit b[2] = {0x89ABCDEFu, 0x00012345u};
    const BigNumDigit zero[1] = {0};
    const BigNumDigit one[1] = {1};
    BigNumDigit a[2];
    ModExpBigNum(a, b, zero, 1, d, 2);
    EXPECT_EQ(a[0], 1u);
    EXPECT_EQ(a[1], 0u);
    ModExpBigNum(a, b, one, 1, d, 2);
    EXPECT_EQ(CompareBigNum(a, b, 2), 0);

    // Modulus 1 gives 0, for exponent 0 as well.
    const BigNumDigit unit[2] = {1, 0};
    ModExpBigNum(a, b, zero, 1, unit, 2);
    EXPECT_EQ(IsZeroBigNum(a, 2), 1);
    ModExpBigNum4Bit(a, b, one, 1, unit, 2);
    EXPECT_EQ(IsZeroBigNum(a, 2), 1);
}

TEST(BigNumModExp, WindowsAgreeAndOutputMayBeInput)
{
    NumberSource src(7);
    for (int round = 0; round < 20; ++round) {
        std::uint32_t n = 1 + src.Below(12);
        Digits d = src.Number(n, n);
        Digits b = src.Number(n, src.Below(n + 1));
        Digits rem(n);
        ModBigNum(rem.data(), b.data(), n, d.data(), n);
        Digits e = src.Number(4, 1 + src.Below(4));
        Digits a8(n), a4(n), a2(n);
        ModExpBigNum(a8.data(), rem.data(), e.data(), 4, d.data(), n);
        ModExpBigNum4Bit(a4.data(), rem.data(), e.data(), 4, d.data(), n);
        ModExpBigNum2Bit(a2.data(), rem.data(), e.data(), 4, d.data(), n);
        EXPECT_EQ(a8, a4);
        EXPECT_EQ(a8, a2);
        ModExpBigNum(rem.data(), rem.data(), e.data(), 4, d.data(), n);
        EXPECT_EQ(rem, a8);
    }
}

// ---- Algebraic checks over random sizes (no peer needed) ----

TEST(BigNumDivide, QuotientTimesDivisorPlusRemainder)
{
    NumberSource src(11);
    for (int round = 0; round < 400; ++round) {
        std::uint32_t cn = 1 + src.Below(kBigNumProductDigits);
        std::uint32_t dn = 1 + src.Below(kBigNumDigits);
        Digits c = src.Number(cn, src.Below(cn + 1));
        Digits d = src.Number(dn, 1 + src.Below(dn));
        Digits q(cn), r(dn);
        DivideBigNum(q.data(), r.data(), c.data(), cn, d.data(), dn);
        ASSERT_LT(CompareBigNum(r.data(), d.data(), dn), 0);
        // q * d + r over 2 * 130 digits equals c.
        Digits qw(kBigNumProductDigits, 0), dw(kBigNumProductDigits, 0), rw(2 * kBigNumProductDigits, 0);
        std::copy(q.begin(), q.end(), qw.begin());
        std::copy(d.begin(), d.end(), dw.begin());
        std::copy(r.begin(), r.end(), rw.begin());
        Digits product(2 * kBigNumProductDigits, 0), sum(2 * kBigNumProductDigits, 0);
        // Two half products keep within the 65-digit multiply.
        Digits qlo(qw.begin(), qw.begin() + kBigNumDigits), qhi(qw.begin() + kBigNumDigits, qw.end());
        Digits dlo(dw.begin(), dw.begin() + kBigNumDigits);
        Digits p1(2 * kBigNumDigits), p2(2 * kBigNumDigits);
        MultiplyBigNum(p1.data(), qlo.data(), dlo.data(), kBigNumDigits);
        MultiplyBigNum(p2.data(), qhi.data(), dlo.data(), kBigNumDigits);
        std::copy(p1.begin(), p1.end(), product.begin());
        Digits shifted(2 * kBigNumProductDigits, 0);
        std::copy(p2.begin(), p2.end(), shifted.begin() + kBigNumDigits);
        AddBigNum(sum.data(), product.data(), shifted.data(), 2 * kBigNumProductDigits);
        AddBigNum(sum.data(), sum.data(), rw.data(), 2 * kBigNumProductDigits);
        Digits cw(2 * kBigNumProductDigits, 0);
        std::copy(c.begin(), c.end(), cw.begin());
        ASSERT_EQ(sum, cw) << "round " << round << " cn " << cn << " dn " << dn;
    }
}

TEST(BigNumDivide, OutputsMayOverlapInputs)
{
    const BigNumDigit c0[3] = {0x11111111u, 0x22222222u, 0x33333333u};
    const BigNumDigit d0[2] = {0x44444444u, 0x5u};
    BigNumDigit q[3], r[2];
    DivideBigNum(q, r, c0, 3, d0, 2);
    BigNumDigit c[3] = {c0[0], c0[1], c0[2]};
    BigNumDigit d[2] = {d0[0], d0[1]};
    DivideBigNum(c, d, c, 3, d, 2);  // quotient over the dividend, remainder over the divisor
    EXPECT_EQ(0, memcmp(c, q, sizeof q));
    EXPECT_EQ(0, memcmp(d, r, sizeof r));
}

TEST(BigNumInverse, InverseTimesValueIsOne)
{
    NumberSource src(13);
    int checked = 0;
    for (int round = 0; round < 200 && checked < 60; ++round) {
        std::uint32_t n = 1 + src.Below(kBigNumDigits);
        Digits c = src.Number(n, n);
        c[0] |= 1;
        Digits b = src.Number(n, 1 + src.Below(n));
        Digits g(n);
        GcdBigNum(g.data(), b.data(), c.data(), n);
        Digits one(n, 0);
        one[0] = 1;
        if (g != one) continue;
        Digits inv(n), check(n);
        ModInverseBigNum(inv.data(), b.data(), c.data(), n);
        ASSERT_LT(CompareBigNum(inv.data(), c.data(), n), 0);
        ModMultiplyBigNum(check.data(), inv.data(), b.data(), c.data(), n);
        if (CompareBigNum(c.data(), one.data(), n) == 0) continue;
        ASSERT_EQ(check, one) << "n " << n;
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

}  // namespace

// ---- Differential checks against GMP ----
#ifdef TAVOMIR_HAVE_GMP
#include <gmp.h>

namespace {

struct Mpz {
    mpz_t z;
    Mpz() { mpz_init(z); }
    explicit Mpz(const Digits& a) : Mpz() { Set(a); }
    ~Mpz() { mpz_clear(z); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    void Set(const Digits& a)
    {
        if (a.empty())
            mpz_set_ui(z, 0);
        else
            mpz_import(z, a.size(), -1, sizeof(BigNumDigit), 0, 0, a.data());
    }
};

// The value as `count` digits; GMP results must fit.
Digits FromMpz(const mpz_t z, std::uint32_t count)
{
    std::size_t words = (mpz_sizeinbase(z, 2) + 31) / 32;
    EXPECT_LE(words, count);
    Digits a(count > words ? count : words, 0);
    std::size_t written = 0;
    mpz_export(a.data(), &written, -1, sizeof(BigNumDigit), 0, 0, z);
    a.resize(count);
    return a;
}

TEST(BigNumGmp, AddSubtractCompareCount)
{
    NumberSource src(101);
    for (int round = 0; round < 500; ++round) {
        std::uint32_t n = 1 + src.Below(kBigNumProductDigits);
        Digits b = src.Number(n, src.Below(n + 1)), c = src.Number(n, src.Below(n + 1));
        if (round % 5 == 0) c = b;  // equal values
        Mpz zb(b), zc(c), r, mod;
        mpz_ui_pow_ui(mod.z, 2, 32 * n);

        Digits a(n);
        BigNumDigit carry = AddBigNum(a.data(), b.data(), c.data(), n);
        mpz_add(r.z, zb.z, zc.z);
        EXPECT_EQ(carry, mpz_cmp(r.z, mod.z) >= 0 ? 1u : 0u);
        mpz_mod(r.z, r.z, mod.z);
        ASSERT_EQ(a, FromMpz(r.z, n));

        BigNumDigit borrow = SubtractBigNum(a.data(), b.data(), c.data(), n);
        EXPECT_EQ(borrow, mpz_cmp(zb.z, zc.z) < 0 ? 1u : 0u);
        mpz_sub(r.z, zb.z, zc.z);
        mpz_mod(r.z, r.z, mod.z);
        ASSERT_EQ(a, FromMpz(r.z, n));

        int cmp = mpz_cmp(zb.z, zc.z);
        EXPECT_EQ(CompareBigNum(b.data(), c.data(), n), cmp > 0 ? 1 : cmp < 0 ? -1 : 0);
        EXPECT_EQ(CountBigNumBits(b.data(), n), mpz_sgn(zb.z) ? mpz_sizeinbase(zb.z, 2) : 0u);
    }
}

TEST(BigNumGmp, ShiftsAndConversions)
{
    NumberSource src(102);
    for (int round = 0; round < 300; ++round) {
        std::uint32_t n = 1 + src.Below(kBigNumProductDigits);
        std::uint32_t s = src.Below(32);
        Digits b = src.Number(n, src.Below(n + 1));
        Mpz zb(b), r, out, mod;
        mpz_ui_pow_ui(mod.z, 2, 32 * n);
        Digits a(n);
        BigNumDigit high = ShiftLeftBigNum(a.data(), b.data(), s, n);
        mpz_mul_2exp(r.z, zb.z, s);
        mpz_tdiv_q_2exp(out.z, r.z, 32 * n);
        EXPECT_EQ(high, BigNumDigit(mpz_get_ui(out.z)));
        mpz_mod(r.z, r.z, mod.z);
        ASSERT_EQ(a, FromMpz(r.z, n));

        BigNumDigit low = ShiftRightBigNum(a.data(), b.data(), s, n);
        mpz_tdiv_q_2exp(r.z, zb.z, s);
        ASSERT_EQ(a, FromMpz(r.z, n));
        mpz_tdiv_r_2exp(out.z, zb.z, s);
        EXPECT_EQ(low, s ? BigNumDigit(mpz_get_ui(out.z) << (32 - s)) : 0u);

        // Bytes: big-endian, as GMP exports them.
        std::vector<unsigned char> bytes(4 * n + src.Below(5));
        BigNumToBytes(bytes.data(), bytes.size(), b.data(), n);
        Mpz back;
        mpz_import(back.z, bytes.size(), 1, 1, 0, 0, bytes.data());
        ASSERT_EQ(mpz_cmp(back.z, zb.z), 0);
        Digits again(n + 1, 0xAA);
        BigNumFromBytes(again.data(), n + 1, bytes.data(), bytes.size());
        ASSERT_EQ(again[n], 0u);
        again.resize(n);
        ASSERT_EQ(again, b);
    }
}

TEST(BigNumGmp, Multiply)
{
    NumberSource src(103);
    for (int round = 0; round < 300; ++round) {
        std::uint32_t n = 1 + src.Below(kBigNumDigits);
        Digits b = src.Number(n, src.Below(n + 1)), c = src.Number(n, src.Below(n + 1));
        Mpz zb(b), zc(c), r;
        mpz_mul(r.z, zb.z, zc.z);
        Digits a(2 * n);
        MultiplyBigNum(a.data(), b.data(), c.data(), n);
        ASSERT_EQ(a, FromMpz(r.z, 2 * n));
        // In place, over the first factor.
        Digits inplace = b;
        inplace.resize(2 * n);
        MultiplyBigNum(inplace.data(), inplace.data(), c.data(), n);
        ASSERT_EQ(inplace, a);
    }
}

TEST(BigNumGmp, DivideAndMod)
{
    NumberSource src(104);
    for (int round = 0; round < 1500; ++round) {
        std::uint32_t cn = 1 + src.Below(kBigNumProductDigits);
        std::uint32_t dn = 1 + src.Below(kBigNumProductDigits);
        Digits c = src.Number(cn, src.Below(cn + 1));
        Digits d = src.Number(dn, 1 + src.Below(dn));
        if (round % 7 == 0) {
            // Divisors just below a power of two, or exactly at one.
            std::uint32_t dd = CountBigNumDigits(d.data(), dn);
            for (std::uint32_t i = 0; i + 1 < dd; ++i) d[i] = (round % 14) ? 0xFFFFFFFFu : 0;
        }
        Mpz zc(c), zd(d), q, r;
        mpz_tdiv_qr(q.z, r.z, zc.z, zd.z);
        Digits qa(cn), ra(dn), ma(dn);
        DivideBigNum(qa.data(), ra.data(), c.data(), cn, d.data(), dn);
        ASSERT_EQ(qa, FromMpz(q.z, cn)) << "round " << round;
        ASSERT_EQ(ra, FromMpz(r.z, dn)) << "round " << round;
        ModBigNum(ma.data(), c.data(), cn, d.data(), dn);
        ASSERT_EQ(ma, ra);
    }
}

TEST(BigNumGmp, ModMultiplyInverseGcd)
{
    NumberSource src(105);
    for (int round = 0; round < 300; ++round) {
        std::uint32_t n = 1 + src.Below(kBigNumDigits);
        Digits d = src.Number(n, 1 + src.Below(n));
        Digits b = src.Number(n, src.Below(n + 1)), c = src.Number(n, src.Below(n + 1));
        Mpz zb(b), zc(c), zd(d), r;
        mpz_mul(r.z, zb.z, zc.z);
        mpz_mod(r.z, r.z, zd.z);
        Digits a(n);
        ModMultiplyBigNum(a.data(), b.data(), c.data(), d.data(), n);
        ASSERT_EQ(a, FromMpz(r.z, n));

        mpz_gcd(r.z, zb.z, zd.z);
        GcdBigNum(a.data(), b.data(), d.data(), n);
        ASSERT_EQ(a, FromMpz(r.z, n));

        if (mpz_cmp_ui(r.z, 1) == 0 && mpz_cmp_ui(zd.z, 1) > 0) {
            ASSERT_NE(mpz_invert(r.z, zb.z, zd.z), 0);
            ModInverseBigNum(a.data(), b.data(), d.data(), n);
            ASSERT_EQ(a, FromMpz(r.z, n)) << "n " << n;
        }
    }
}

TEST(BigNumGmp, ModExp)
{
    NumberSource src(106);
    for (int round = 0; round < 60; ++round) {
        std::uint32_t n = 1 + src.Below(kBigNumDigits);
        Digits d = src.Number(n, 1 + src.Below(n));
        Digits braw = src.Number(n, src.Below(n + 1));
        Digits b(n);
        ModBigNum(b.data(), braw.data(), n, d.data(), n);
        // Mostly short exponents, some as long as the modulus.
        std::uint32_t en = (round % 6 == 0) ? n : 1 + src.Below(4);
        Digits e = src.Number(en, src.Below(en + 1));
        Mpz zb(b), ze(e), zd(d), r;
        mpz_powm(r.z, zb.z, ze.z, zd.z);
        Digits expected = FromMpz(r.z, n);
        Digits a(n);
        ModExpBigNum(a.data(), b.data(), e.data(), en, d.data(), n);
        ASSERT_EQ(a, expected) << "round " << round;
        if (round % 3 == 0) {
            ModExpBigNum4Bit(a.data(), b.data(), e.data(), en, d.data(), n);
            ASSERT_EQ(a, expected);
            ModExpBigNum2Bit(a.data(), b.data(), e.data(), en, d.data(), n);
            ASSERT_EQ(a, expected);
        }
    }
}

}  // namespace
#endif  // TAVOMIR_HAVE_GMP
