// Random generator: its edge cases, a known answer from an independent model,
// and natively a small model of the generator (over OpenSSL's MD5) driven by
// an injected clock.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/rsa/random.h"
#include "core/rsa/rsa_key.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Generate(RandomGenerator* g, std::size_t n)
{
    Bytes out(n);
    EXPECT_EQ(GenerateRandomBytes(out.data(), n, g), 0);
    return out;
}

void Seed(RandomGenerator* g, const Bytes& seed)
{
    ASSERT_EQ(InitRandom(g), 0);
    ASSERT_EQ(UpdateRandom(g, seed.data(), seed.size()), 0);
}

TEST(RandomGenerator, NeedsSeedBeforeGenerating)
{
    RandomGenerator g;
    InitRandom(&g);
    std::uint32_t need = 0;
    GetRandomBytesNeeded(&need, &g);
    EXPECT_EQ(need, 256u);

    unsigned char out[8];
    std::memset(out, 0x5A, sizeof out);
    EXPECT_EQ(GenerateRandomBytes(out, sizeof out, &g), kStatusRandomNeeded);

    Bytes seed(255, 0x11);
    UpdateRandom(&g, seed.data(), seed.size());
    RandomGenerator before = g;
    EXPECT_EQ(GenerateRandomBytes(out, sizeof out, &g), kStatusRandomNeeded);
    for (unsigned char b : out) EXPECT_EQ(b, 0x5A);
    EXPECT_EQ(0, std::memcmp(&before, &g, sizeof g));

    UpdateRandom(&g, seed.data(), 1);
    GetRandomBytesNeeded(&need, &g);
    EXPECT_EQ(need, 0u);
    EXPECT_EQ(GenerateRandomBytes(out, sizeof out, &g), 0);
}

TEST(RandomGenerator, LongUpdateLeavesNeedAtZero)
{
    RandomGenerator g;
    InitRandom(&g);
    Bytes seed(1000, 3);
    UpdateRandom(&g, seed.data(), seed.size());
    std::uint32_t need = 7;
    GetRandomBytesNeeded(&need, &g);
    EXPECT_EQ(need, 0u);
}

TEST(RandomGenerator, KnownAnswer)
{
    // From a separate model of the generator written over Python's hashlib.
    Bytes seed(256);
    for (int i = 0; i < 256; ++i) seed[i] = static_cast<unsigned char>(i);
    RandomGenerator g;
    Seed(&g, seed);
    Bytes first = Generate(&g, 37);
    Bytes second = Generate(&g, 16);
    EXPECT_EQ(testsupport::ToHex(first.data(), first.size()),
              "e4afdfd62981009baaa67923a22b2180a0f3720797efe28821d31bc60643513a90996b6652");
    EXPECT_EQ(testsupport::ToHex(second.data(), second.size()), "c557f943c10f88498514969e0af09da3");
}

TEST(RandomGenerator, SplitRequestsContinueTheStream)
{
    Bytes seed(300, 0xC3);
    RandomGenerator a, b;
    Seed(&a, seed);
    Seed(&b, seed);
    Bytes whole = Generate(&a, 16);
    Bytes part1 = Generate(&b, 5);
    Bytes part2 = Generate(&b, 11);
    part1.insert(part1.end(), part2.begin(), part2.end());
    EXPECT_EQ(whole, part1);
    // And onwards, across block boundaries.
    Bytes more = Generate(&a, 40);
    Bytes pieces;
    for (std::size_t n : {1, 15, 17, 7}) {
        Bytes p = Generate(&b, n);
        pieces.insert(pieces.end(), p.begin(), p.end());
    }
    EXPECT_EQ(more, pieces);
}

TEST(RandomGenerator, StateStepsLikeAStoppingCounter)
{
    struct Case {
        unsigned char b14, b15, b16;      // last three state bytes before
        unsigned char e14, e15, e16;      // and after one step
    };
    const Case cases[] = {
        {0x07, 0x09, 0x00, 0x07, 0x0A, 0x01},  // 00 steps its neighbour too
        {0x07, 0x00, 0x00, 0x08, 0x01, 0x01},  // and on while the bytes were 00
        {0x07, 0x09, 0x05, 0x07, 0x09, 0x06},
        {0x07, 0x09, 0xFF, 0x07, 0x09, 0x00},  // wrap-around stops the stepping
    };
    for (const Case& c : cases) {
        RandomGenerator g;
        InitRandom(&g);
        g.bytesNeeded = 0;
        g.state[13] = c.b14;
        g.state[14] = c.b15;
        g.state[15] = c.b16;
        unsigned char out;
        ASSERT_EQ(GenerateRandomBytes(&out, 1, &g), 0);  // refills and steps once
        EXPECT_EQ(g.state[13], c.e14);
        EXPECT_EQ(g.state[14], c.e15);
        EXPECT_EQ(g.state[15], c.e16);
        EXPECT_EQ(g.outputAvailable, 15u);
    }
}

TEST(RandomGenerator, ClearWipesTheRecord)
{
    RandomGenerator g;
    Seed(&g, Bytes(256, 9));
    Generate(&g, 3);
    ClearRandom(&g);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&g);
    for (std::size_t i = 0; i < sizeof g; ++i) ASSERT_EQ(p[i], 0) << i;
}

TEST(RandomShared, SetUpOnceAndKeepsItsState)
{
    RandomGenerator* shared = GetSharedRandom();
    ASSERT_NE(shared, nullptr);
    std::uint32_t need = 1;
    GetRandomBytesNeeded(&need, shared);
    EXPECT_EQ(need, 0u);
    Generate(shared, 5);
    RandomGenerator snapshot = *shared;
    EXPECT_EQ(GetSharedRandom(), shared);
    EXPECT_EQ(0, std::memcmp(&snapshot, shared, sizeof snapshot));
    MixKeyIntoSharedRandom(nullptr);
    EXPECT_EQ(0, std::memcmp(&snapshot, shared, sizeof snapshot));
}

// ---- Seeding with injected clocks ----

// Millisecond counts taken in turn from a list, over and over.
struct ScriptedClock {
    std::vector<std::uint16_t> values;
    std::size_t next = 0;
    std::size_t calls = 0;
    static std::uint16_t Read(void* context)
    {
        ScriptedClock* c = static_cast<ScriptedClock*>(context);
        ++c->calls;
        std::uint16_t v = c->values[c->next];
        c->next = (c->next + 1) % c->values.size();
        return v;
    }
    RandomSources Sources(bool entropy = false) { return RandomSources{&Read, this, entropy}; }
};

ScriptedClock StepClock()
{
    ScriptedClock clock;
    for (int i = 0; i < 1000; i += 37) clock.values.push_back(static_cast<std::uint16_t>(i));
    return clock;
}

TEST(RandomSeeding, SystemEntropyMakesEqualClocksDiffer)
{
    ScriptedClock c1 = StepClock(), c2 = StepClock(), c3 = StepClock(), c4 = StepClock();
    RandomGenerator a, b, x, y;
    SeedRandomWith(&a, 256, c1.Sources(true));
    SeedRandomWith(&b, 256, c2.Sources(true));
    SeedRandomWith(&x, 256, c3.Sources(false));
    SeedRandomWith(&y, 256, c4.Sources(false));
    EXPECT_EQ(c1.calls, 128u);
    EXPECT_NE(Generate(&a, 16), Generate(&b, 16));
    EXPECT_EQ(Generate(&x, 16), Generate(&y, 16));
}

TEST(RandomSeeding, SeedFromClockNeedsNothingAfterwards)
{
    RandomGenerator g;
    SeedRandomFromClock(&g);
    std::uint32_t need = 1;
    GetRandomBytesNeeded(&need, &g);
    EXPECT_EQ(need, 0u);
    Bytes out = Generate(&g, 20);
    EXPECT_NE(out, Bytes(20, 0));
}

}  // namespace

#ifdef TAVOMIR_HAVE_OPENSSL
#include <openssl/evp.h>

namespace {

// A model of the generator written from its description, over OpenSSL's MD5.
struct Model {
    std::uint32_t need = 256;
    unsigned char state[16] = {};
    unsigned avail = 0;
    unsigned char out[16] = {};

    static void Md5(unsigned char digest[16], const unsigned char* data, std::size_t n)
    {
        unsigned len = 0;
        EVP_Digest(data, n, digest, &len, EVP_md5(), nullptr);
    }
    void Update(const unsigned char* data, std::size_t n)
    {
        unsigned char d[16];
        Md5(d, data, n);
        unsigned carry = 0;
        for (int i = 15; i >= 0; --i) {
            unsigned s = state[i] + d[i] + carry;
            state[i] = static_cast<unsigned char>(s);
            carry = s >> 8;
        }
        need = n >= need ? 0 : need - static_cast<std::uint32_t>(n);
    }
    Bytes Generate(std::size_t n)
    {
        Bytes r;
        while (avail < n) {
            r.insert(r.end(), out + 16 - avail, out + 16);
            n -= avail;
            Md5(out, state, 16);
            avail = 16;
            for (int i = 15; i >= 0; --i)
                if (state[i]++ != 0) break;
        }
        r.insert(r.end(), out + 16 - avail, out + 16 - avail + n);
        avail -= static_cast<unsigned>(n);
        return r;
    }
    void SeedFromClock(std::uint32_t needed, ScriptedClock& clock)
    {
        *this = Model();
        need = needed;
        while (need) {
            std::uint16_t ms = ScriptedClock::Read(&clock);
            unsigned char sample[2] = {static_cast<unsigned char>(ms), static_cast<unsigned char>(ms >> 8)};
            Update(sample, 2);
        }
    }
};

void ExpectSame(const Model& m, const RandomGenerator& g)
{
    EXPECT_EQ(g.bytesNeeded, m.need);
    EXPECT_EQ(0, std::memcmp(g.state, m.state, 16));
    EXPECT_EQ(g.outputAvailable, m.avail);
    if (m.avail) {
        EXPECT_EQ(0, std::memcmp(g.output, m.out, 16));
    }
}

TEST(RandomModel, FeedsAndDrawsMatchTheModel)
{
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    auto next = [&x] { x ^= x << 13; x ^= x >> 7; x ^= x << 17; return x; };
    for (int round = 0; round < 20; ++round) {
        RandomGenerator g;
        InitRandom(&g);
        Model m;
        for (int step = 0; step < 30; ++step) {
            if (next() % 3 == 0 || m.need) {
                Bytes seed(next() % 90);
                for (auto& b : seed) b = static_cast<unsigned char>(next());
                UpdateRandom(&g, seed.data(), seed.size());
                m.Update(seed.data(), seed.size());
            } else {
                std::size_t n = next() % 50;
                ASSERT_EQ(Generate(&g, n), m.Generate(n));
            }
            ExpectSame(m, g);
        }
    }
}

TEST(RandomModel, ClockSeedingMatchesTheModel)
{
    for (std::uint32_t needed : {256u, 512u}) {
        ScriptedClock mine = StepClock(), theirs = StepClock();
        RandomGenerator g;
        SeedRandomWith(&g, needed, mine.Sources());
        Model m;
        m.SeedFromClock(needed, theirs);
        EXPECT_EQ(mine.calls, needed / 2);
        ExpectSame(m, g);
        EXPECT_EQ(Generate(&g, 33), m.Generate(33));
    }
}

TEST(RandomModel, StirMatchesTheModel)
{
    ScriptedClock seedClock = StepClock(), modelSeed = StepClock();
    RandomGenerator g;
    SeedRandomWith(&g, 256, seedClock.Sources());
    Model m;
    m.SeedFromClock(256, modelSeed);
    Generate(&g, 3);
    m.Generate(3);

    ScriptedClock stir;
    stir.values = {999, 0x1FF, 1, 256, 511, 77};
    StirRandomWith(&g, stir.Sources());
    for (int i = 0; i < 16; ++i) m.state[i] ^= static_cast<unsigned char>(stir.values[i % 6] & 0xFF);
    Model::Md5(m.out, m.state, 16);
    m.avail = 16;
    EXPECT_EQ(stir.calls, 16u);
    ExpectSame(m, g);
    EXPECT_EQ(Generate(&g, 20), m.Generate(20));
}

unsigned char ModelDisguise(unsigned char x, unsigned char c, unsigned char y)
{
    if (c & 1) x = static_cast<unsigned char>(~x);
    unsigned n = (c >> 6) + 1;
    switch ((c >> 4) & 3) {
    case 1: x = static_cast<unsigned char>((x << n) | (x >> (8 - n))); break;
    case 3: x = static_cast<unsigned char>((x >> n) | (x << (8 - n))); break;
    }
    if (c & 8) y = static_cast<unsigned char>(~y);
    switch ((c >> 1) & 3) {
    case 1: return x & y;
    case 3: return x | y;
    default: return x ^ y;
    }
}

TEST(RandomModel, KeyMixingMatchesTheModel)
{
    RsaPrivateKey key;
    std::memset(&key, 0, sizeof key);
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&key);
    // Non-zero bytes scattered over the record, first and last included.
    for (std::size_t i = 0; i < sizeof key; i += 7) bytes[i] = static_cast<unsigned char>(i * 31 + 1);
    bytes[sizeof key - 1] = 0xA5;

    ScriptedClock clock;
    for (int v = 0; v < 1000; v += 3) clock.values.push_back(static_cast<std::uint16_t>(v));  // all c patterns
    ScriptedClock seedClock = StepClock(), modelSeed = StepClock();
    RandomGenerator g;
    SeedRandomWith(&g, 256, seedClock.Sources());
    Model m;
    m.SeedFromClock(256, modelSeed);

    MixKeyIntoRandomWith(&g, &key, clock.Sources());
    std::size_t k = 0, mixed = 0;
    for (std::size_t i = 0; i < sizeof key; ++i) {
        if (!bytes[i]) continue;
        unsigned char c = static_cast<unsigned char>(clock.values[k++ % clock.values.size()]);
        unsigned char y = static_cast<unsigned char>(clock.values[k++ % clock.values.size()]);
        unsigned char z = ModelDisguise(bytes[i], c, y);
        m.Update(&z, 1);
        ++mixed;
    }
    EXPECT_EQ(clock.calls, 2 * mixed);
    ExpectSame(m, g);
    EXPECT_EQ(Generate(&g, 16), m.Generate(16));
}

}  // namespace
#endif  // TAVOMIR_HAVE_OPENSSL
