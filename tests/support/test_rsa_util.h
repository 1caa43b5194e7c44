// Test-side builders of RSA key records from big-endian numbers.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "core/rsa/rsa_key.h"
#include "tests/support/test_util.h"

namespace testsupport::rsa {

using Bytes = std::vector<unsigned char>;

// The numbers of a key, big-endian without leading zeros.
struct KeyNumbers {
    Bytes modulus, publicExponent, privateExponent, prime1, prime2, exponent1, exponent2, coefficient;
};

inline Bytes Strip(Bytes v)
{
    std::size_t i = 0;
    while (i < v.size() && v[i] == 0) ++i;
    return Bytes(v.begin() + static_cast<long>(i), v.end());
}

// Right-aligns a number in its field; false when it does not fit.
inline bool Place(unsigned char* field, std::size_t width, const Bytes& number)
{
    Bytes v = Strip(number);
    if (v.size() > width) return false;
    std::memset(field, 0, width);
    if (!v.empty()) std::memcpy(field + width - v.size(), v.data(), v.size());
    return true;
}

// Bit count as the key decoder writes it: 8 per modulus byte.
inline std::uint16_t DecoderBits(const Bytes& modulus)
{
    return static_cast<std::uint16_t>(8 * Strip(modulus).size());
}

inline bool MakePrivateKey(const KeyNumbers& n, RsaPrivateKey* key)
{
    std::memset(key, 0, sizeof *key);
    key->bits = DecoderBits(n.modulus);
    return Place(key->modulus, sizeof key->modulus, n.modulus) &&
           Place(key->publicExponent, sizeof key->publicExponent, n.publicExponent) &&
           Place(key->privateExponent, sizeof key->privateExponent, n.privateExponent) &&
           Place(key->prime1, sizeof key->prime1, n.prime1) && Place(key->prime2, sizeof key->prime2, n.prime2) &&
           Place(key->exponent1, sizeof key->exponent1, n.exponent1) &&
           Place(key->exponent2, sizeof key->exponent2, n.exponent2) &&
           Place(key->coefficient, sizeof key->coefficient, n.coefficient);
}

inline bool MakePublicKey(const KeyNumbers& n, RsaPublicKey* key)
{
    std::memset(key, 0, sizeof *key);
    key->bits = DecoderBits(n.modulus);
    return Place(key->modulus, sizeof key->modulus, n.modulus) &&
           Place(key->publicExponent, sizeof key->publicExponent, n.publicExponent);
}

// The same key with the primes (and their exponents) in the other order and
// the coefficient given for it.
inline KeyNumbers Swapped(const KeyNumbers& n, const Bytes& coefficient)
{
    KeyNumbers s = n;
    std::swap(s.prime1, s.prime2);
    std::swap(s.exponent1, s.exponent2);
    s.coefficient = coefficient;
    return s;
}

}  // namespace testsupport::rsa
