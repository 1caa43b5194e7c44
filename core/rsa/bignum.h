// Natural-number arithmetic on arrays of 32-bit digits, least significant
// digit first, each used with an explicit digit count. Nothing allocates: the
// caller provides every array and the work arrays are local.
#pragma once
#include <cstddef>
#include <cstdint>

using BigNumDigit = std::uint32_t;

enum : std::uint32_t {
    kBigNumDigits = 65,          // 2048 bits and one digit more
    kBigNumProductDigits = 130,  // products and dividends
};

// Counts beyond what the local work arrays hold are refused: MultiplyBigNum,
// ModMultiplyBigNum, ModInverseBigNum and GcdBigNum take n <= 65; the
// exponentiations a modulus of at most 65 digits; DivideBigNum and ModBigNum
// numbers of at most 130 digits. A refused call writes zeros to its outputs,
// as does division by zero.

// Big-endian bytes, 4 per digit from the end; fills at most n digits (bytes
// beyond them, at the front, are ignored) and zeroes the rest.
void BigNumFromBytes(BigNumDigit* out, std::uint32_t n, const unsigned char* bytes, std::size_t byteCount);
// Exactly byteCount big-endian bytes, leading bytes zero; digits that do not
// fit are dropped.
void BigNumToBytes(unsigned char* bytes, std::size_t byteCount, const BigNumDigit* in, std::uint32_t n);

void ZeroBigNum(BigNumDigit* a, std::uint32_t n);
void CopyBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t n);
int IsZeroBigNum(const BigNumDigit* a, std::uint32_t n);
std::uint32_t CountBigNumDigits(const BigNumDigit* a, std::uint32_t n);
std::uint32_t CountDigitBits(BigNumDigit digit);
std::uint32_t CountBigNumBits(const BigNumDigit* a, std::uint32_t n);
// 1, 0 or -1 as a is above, equal to or below b.
int CompareBigNum(const BigNumDigit* a, const BigNumDigit* b, std::uint32_t n);
// a = 2^k, or 0 when k >= 32 n.
void SetBigNumPowerOfTwo(BigNumDigit* a, std::uint32_t k, std::uint32_t n);

// a = b + c, a = b - c over n digits; carry or borrow (0 or 1).
BigNumDigit AddBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n);
BigNumDigit SubtractBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n);
// Shifts by s < 32 bits and returns the bits shifted out (for the right shift
// in the top bits of the result); s >= 32 does nothing and returns 0.
BigNumDigit ShiftLeftBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t s, std::uint32_t n);
BigNumDigit ShiftRightBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t s, std::uint32_t n);

void MultiplyDigits(BigNumDigit b, BigNumDigit c, BigNumDigit* high, BigNumDigit* low);
// a = b - c * d for one digit c and n-digit d; returns the borrow digit.
BigNumDigit SubtractDigitMultiple(BigNumDigit* a, const BigNumDigit* b, BigNumDigit c, const BigNumDigit* d,
                                  std::uint32_t n);
// a (2n digits) = b * c.
void MultiplyBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n);
// quotient (cCount digits) and remainder (dCount digits) of c / d.
void DivideBigNum(BigNumDigit* quotient, BigNumDigit* remainder, const BigNumDigit* c, std::uint32_t cCount,
                  const BigNumDigit* d, std::uint32_t dCount);
// a (cCount digits) = b mod c.
void ModBigNum(BigNumDigit* a, const BigNumDigit* b, std::uint32_t bCount, const BigNumDigit* c,
               std::uint32_t cCount);
void ModMultiplyBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, const BigNumDigit* d,
                       std::uint32_t n);

// a = b^c mod d; a and b have dCount digits. 8-, 4- and 2-bit windows give the
// same result.
void ModExpBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t cCount,
                  const BigNumDigit* d, std::uint32_t dCount);
void ModExpBigNum4Bit(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t cCount,
                      const BigNumDigit* d, std::uint32_t dCount);
void ModExpBigNum2Bit(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t cCount,
                      const BigNumDigit* d, std::uint32_t dCount);

// a = b^-1 mod c for coprime b and c.
void ModInverseBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n);
// a = gcd(b, c).
void GcdBigNum(BigNumDigit* a, const BigNumDigit* b, const BigNumDigit* c, std::uint32_t n);
