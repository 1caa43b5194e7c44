// RSA against OpenSSL's command line and GMP: keys from `openssl genrsa`,
// signatures byte for byte, type-2 blocks across in both directions, swapped
// primes, and raw operations on keys with primes of unequal length.
#if !defined(_WIN32) && defined(TAVOMIR_HAVE_GMP)
#include <gtest/gtest.h>
#include <gmp.h>

#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "core/rsa/rsa.h"
#include "tests/support/test_rsa_util.h"

namespace {

using testsupport::rsa::Bytes;
using testsupport::rsa::KeyNumbers;

struct Mpz {
    mpz_t z;
    Mpz() { mpz_init(z); }
    ~Mpz() { mpz_clear(z); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    void Set(const Bytes& b)
    {
        if (b.empty())
            mpz_set_ui(z, 0);
        else
            mpz_import(z, b.size(), 1, 1, 0, 0, b.data());
    }
    Bytes Get(std::size_t width = 0) const
    {
        std::size_t count = (mpz_sizeinbase(z, 2) + 7) / 8;
        Bytes b(count);
        std::size_t written = 0;
        if (mpz_sgn(z)) mpz_export(b.data(), &written, 1, 1, 0, 0, z);
        b.resize(written);
        if (width > b.size()) b.insert(b.begin(), width - b.size(), 0);
        return b;
    }
};

std::string Path(const std::string& name) { return testsupport::WorkDir() + "/" + name; }

std::string Openssl(const std::string& command)
{
    int status = -1;
    std::string out = testsupport::RunCommand("openssl " + command + " 2>/dev/null", &status);
    EXPECT_EQ(status, 0) << command;
    return out;
}

// The numbers of `openssl rsa -noout -text`: a name line, then hex lines.
KeyNumbers ParseOpensslText(const std::string& text)
{
    std::map<std::string, std::string> hex;
    std::istringstream lines(text);
    std::string line, current;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        if (line[0] == ' ') {
            if (!current.empty()) hex[current] += line;
            continue;
        }
        current.clear();
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        std::size_t open = line.find("(0x");
        if (open != std::string::npos)
            hex[name] = line.substr(open + 3, line.find(')', open) - open - 3);  // publicExponent: 65537 (0x10001)
        else if (colon + 1 == line.size())
            current = name;
    }
    auto number = [&hex](const char* name) {
        std::string h = hex[name];
        std::string digits;
        for (char c : h)
            if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
        if (digits.size() % 2) digits.insert(digits.begin(), '0');
        return testsupport::rsa::Strip(testsupport::FromHex(digits));
    };
    return {number("modulus"), number("publicExponent"), number("privateExponent"), number("prime1"),
            number("prime2"),  number("exponent1"),      number("exponent2"),       number("coefficient")};
}

struct OpensslKey {
    std::string pem;
    KeyNumbers numbers;
    RsaPrivateKey priv;
    RsaPublicKey pub;
};

// One key per size and run, made by OpenSSL into the work folder.
const OpensslKey& KeyOf(int bits)
{
    static std::map<int, OpensslKey> keys;
    auto it = keys.find(bits);
    if (it != keys.end()) return it->second;
    OpensslKey& key = keys[bits];
    key.pem = Path("rsa_" + std::to_string(bits) + ".pem");
    Openssl("genrsa -out '" + key.pem + "' " + std::to_string(bits));
    key.numbers = ParseOpensslText(Openssl("rsa -in '" + key.pem + "' -noout -text"));
    EXPECT_TRUE(testsupport::rsa::MakePrivateKey(key.numbers, &key.priv));
    EXPECT_TRUE(testsupport::rsa::MakePublicKey(key.numbers, &key.pub));
    EXPECT_EQ(key.priv.bits, bits);
    return key;
}

Bytes RandomBytes(std::mt19937& rng, std::size_t n, bool nonZeroFirst = false)
{
    Bytes b(n);
    for (auto& x : b) x = static_cast<unsigned char>(rng());
    if (nonZeroFirst && n) b[0] |= 1;
    return b;
}

Bytes Sign(const RsaPrivateKey& key, const Bytes& data)
{
    Bytes sig(256);
    std::size_t n = 0;
    EXPECT_EQ(EncryptRsaPrivate(sig.data(), &n, data.data(), data.size(), &key), 0);
    sig.resize(n);
    return sig;
}

// The coefficient for the primes in the other order: prime1^-1 mod prime2.
Bytes SwappedCoefficient(const KeyNumbers& n)
{
    Mpz p, q, inv;
    p.Set(n.prime1);
    q.Set(n.prime2);
    EXPECT_NE(mpz_invert(inv.z, p.z, q.z), 0);
    return inv.Get();
}

class RsaOpenssl : public ::testing::TestWithParam<int> {};

TEST_P(RsaOpenssl, SignaturesAreByteIdentical)
{
    const OpensslKey& key = KeyOf(GetParam());
    const std::size_t k = key.numbers.modulus.size();
    RsaPrivateKey swapped;
    ASSERT_TRUE(testsupport::rsa::MakePrivateKey(testsupport::rsa::Swapped(key.numbers, SwappedCoefficient(key.numbers)), &swapped));
    std::mt19937 rng(GetParam());
    for (std::size_t length : {std::size_t(1), std::size_t(20), std::size_t(35), std::size_t(53), k - 11}) {
        Bytes data = RandomBytes(rng, length);
        ASSERT_TRUE(testsupport::WriteFile(Path("rsa_data.bin"), data.data(), data.size()));
        // pkeyutl takes at most 64 bytes (a hash); the deprecated rsautl signs up to k - 11.
        Openssl(std::string(length <= 64 ? "pkeyutl" : "rsautl") + " -sign -inkey '" + key.pem + "' -in '" + Path("rsa_data.bin") + "' -out '" +
            Path("rsa_sig.bin") + "'");
        Bytes theirs = testsupport::ReadFile(Path("rsa_sig.bin"));
        ASSERT_EQ(theirs.size(), k);
        EXPECT_EQ(Sign(key.priv, data), theirs) << "length " << length;
        EXPECT_EQ(Sign(swapped, data), theirs) << "swapped, length " << length;

        Bytes opened(256);
        std::size_t n = 0;
        ASSERT_EQ(DecryptRsaPublic(opened.data(), &n, theirs.data(), theirs.size(), &key.pub), 0);
        opened.resize(n);
        EXPECT_EQ(opened, data);
    }
}

TEST_P(RsaOpenssl, DigestSignatureMatchesOpensslDgst)
{
    const OpensslKey& key = KeyOf(GetParam());
    std::mt19937 rng(GetParam() + 1);
    Bytes message = RandomBytes(rng, 1000);
    ASSERT_TRUE(testsupport::WriteFile(Path("rsa_msg.bin"), message.data(), message.size()));
    Openssl("dgst -sha1 -sign '" + key.pem + "' -out '" + Path("rsa_dgst.bin") + "' '" + Path("rsa_msg.bin") +
        "'");
    Openssl("dgst -sha1 -binary -out '" + Path("rsa_sha1.bin") + "' '" + Path("rsa_msg.bin") + "'");
    Bytes digestInfo = testsupport::FromHex("3021300906052b0e03021a05000414");
    Bytes digest = testsupport::ReadFile(Path("rsa_sha1.bin"));
    ASSERT_EQ(digest.size(), 20u);
    digestInfo.insert(digestInfo.end(), digest.begin(), digest.end());
    EXPECT_EQ(Sign(key.priv, digestInfo), testsupport::ReadFile(Path("rsa_dgst.bin")));
}

TEST_P(RsaOpenssl, Type2BlocksCrossBothWays)
{
    const OpensslKey& key = KeyOf(GetParam());
    const std::size_t k = key.numbers.modulus.size();
    std::mt19937 rng(GetParam() + 2);
    for (std::size_t length : {std::size_t(1), std::size_t(8), std::size_t(24), k - 11}) {
        Bytes data = RandomBytes(rng, length);
        ASSERT_TRUE(testsupport::WriteFile(Path("rsa_plain.bin"), data.data(), data.size()));

        // OpenSSL encrypts, we open.
        Openssl("pkeyutl -encrypt -inkey '" + key.pem + "' -pkeyopt rsa_padding_mode:pkcs1 -in '" +
            Path("rsa_plain.bin") + "' -out '" + Path("rsa_enc.bin") + "'");
        Bytes enc = testsupport::ReadFile(Path("rsa_enc.bin"));
        Bytes out(256);
        std::size_t n = 0;
        ASSERT_EQ(DecryptRsaPrivate(out.data(), &n, enc.data(), enc.size(), &key.priv), 0) << length;
        out.resize(n);
        EXPECT_EQ(out, data);

        // We encrypt with the shared generator, OpenSSL opens.
        Bytes ours(256);
        ASSERT_EQ(EncryptRsaPublic(ours.data(), &n, data.data(), data.size(), &key.pub, GetSharedRandom()), 0);
        ours.resize(n);
        ASSERT_TRUE(testsupport::WriteFile(Path("rsa_ours.bin"), ours.data(), ours.size()));
        Openssl("pkeyutl -decrypt -inkey '" + key.pem + "' -pkeyopt rsa_padding_mode:pkcs1 -in '" +
            Path("rsa_ours.bin") + "' -out '" + Path("rsa_back.bin") + "'");
        EXPECT_EQ(testsupport::ReadFile(Path("rsa_back.bin")), data) << length;
    }
}

INSTANTIATE_TEST_SUITE_P(KeySizes, RsaOpenssl, ::testing::Values(512, 1024, 2048));

// Keys with primes of unequal length, in either order, checked against GMP.
KeyNumbers UnevenKey(gmp_randstate_t state, unsigned bits1, unsigned bits2)
{
    Mpz p, q, e, phi, d, t, n;
    mpz_set_ui(e.z, 65537);
    for (;;) {
        mpz_urandomb(p.z, state, bits1);
        mpz_setbit(p.z, bits1 - 1);
        mpz_nextprime(p.z, p.z);
        mpz_urandomb(q.z, state, bits2);
        mpz_setbit(q.z, bits2 - 1);
        mpz_nextprime(q.z, q.z);
        mpz_sub_ui(phi.z, p.z, 1);
        mpz_sub_ui(t.z, q.z, 1);
        mpz_mul(phi.z, phi.z, t.z);
        if (mpz_invert(d.z, e.z, phi.z)) break;
    }
    mpz_mul(n.z, p.z, q.z);
    Mpz dp, dq, qinv;
    mpz_sub_ui(t.z, p.z, 1);
    mpz_mod(dp.z, d.z, t.z);
    mpz_sub_ui(t.z, q.z, 1);
    mpz_mod(dq.z, d.z, t.z);
    mpz_invert(qinv.z, q.z, p.z);
    return {n.Get(), e.Get(), d.Get(), p.Get(), q.Get(), dp.Get(), dq.Get(), qinv.Get()};
}

TEST(RsaUnevenPrimes, RawOperationsMatchGmp)
{
    gmp_randstate_t state;
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 2024);
    struct Sizes {
        unsigned first, second;
    };
    // Second prime longer by whole digits, by less than a digit, first longer,
    // and the largest fields.
    const Sizes sizes[] = {{256, 768}, {448, 576}, {500, 524}, {700, 324}, {1000, 1024}, {1024, 1000}, {96, 160}};
    std::mt19937 rng(5);
    for (const Sizes& s : sizes) {
        KeyNumbers numbers = UnevenKey(state, s.first, s.second);
        RsaPrivateKey priv;
        RsaPublicKey pub;
        ASSERT_TRUE(testsupport::rsa::MakePrivateKey(numbers, &priv));
        ASSERT_TRUE(testsupport::rsa::MakePublicKey(numbers, &pub));
        const std::size_t k = numbers.modulus.size();
        Mpz n, d, e, c, m;
        n.Set(numbers.modulus);
        d.Set(numbers.privateExponent);
        e.Set(numbers.publicExponent);
        for (int round = 0; round < 4; ++round) {
            Bytes input = RandomBytes(rng, k);
            c.Set(input);
            mpz_mod(c.z, c.z, n.z);
            if (round == 0) mpz_sub_ui(c.z, n.z, 1);
            input = c.Get(k);

            mpz_powm(m.z, c.z, d.z, n.z);
            Bytes out(256);
            std::size_t len = 0;
            ASSERT_EQ(ApplyRsaPrivateKey(out.data(), &len, input.data(), input.size(), &priv), 0);
            out.resize(len);
            EXPECT_EQ(out, m.Get(k)) << s.first << "/" << s.second;

            mpz_powm(m.z, c.z, e.z, n.z);
            ASSERT_EQ(ApplyRsaPublicKey(out.data(), &len, input.data(), input.size(), &pub), 0);
            EXPECT_EQ(out, m.Get(k)) << s.first << "/" << s.second;
        }
    }
    gmp_randclear(state);
}

}  // namespace
#endif
