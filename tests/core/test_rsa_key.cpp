#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/rsa/rsa_key.h"
#include "tests/support/test_cert_util.h"

using testsupport::cert::Bytes;
using testsupport::cert::Cat;
using testsupport::cert::Hex;
using testsupport::cert::Seq;
using testsupport::cert::Tlv;

namespace {

template <typename Key>
bool IsZero(const Key& key)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&key);
    for (std::size_t i = 0; i < sizeof key; ++i)
        if (p[i]) return false;
    return true;
}

template <typename Key, typename Decoder>
std::size_t DecodeWith(const Bytes& der, Key* key, Decoder decode)
{
    DERCursor reader;
    InitDERReader(&reader, der.data(), der.size());
    return decode(&reader, key);
}

template <typename Encoder>
Bytes EncodeWith(Encoder encode)
{
    static unsigned char buffer[6144];
    DERCursor writer;
    InitDERWriter(&writer, buffer, sizeof buffer);
    std::size_t n = encode(&writer);
    if (n == 0 || n != sizeof buffer - writer.position) return {};
    return Bytes(buffer + writer.position, buffer + sizeof buffer);
}

Bytes Integer(const Bytes& content) { return Tlv(0x02, content); }

// A PKCS#1 RSAPrivateKey of the given numbers (contents as stored).
Bytes PrivateKeyDer(const Bytes& modulus, const Bytes& prime)
{
    Bytes one = {0x01};
    return Seq({Integer({0x00}), Integer(modulus), Integer({0x01, 0x00, 0x01}), Integer(modulus),
                Integer(prime), Integer(prime), Integer(one), Integer(one), Integer(one)});
}

const char* const kPkiKeys[] = {"ca", "signer", "recipient", "signer2", "md5"};

}  // namespace

TEST(RsaKeyRecords, FixedSizes)
{
    EXPECT_EQ(sizeof(RsaPublicKey), 514u);
    EXPECT_EQ(sizeof(RsaPrivateKey), 1410u);
}

// OpenSSL's PKCS#1 and PKCS#8 encodings decode and re-encode byte for byte.
TEST(RsaKeyRecords, OpenSslKeysRoundTrip)
{
    for (const char* name : kPkiKeys) {
        SCOPED_TRACE(name);
        Bytes pk1 = testsupport::cert::ReadPki(std::string(name) + ".key.pk1.der");
        Bytes pk8 = testsupport::cert::ReadPki(std::string(name) + ".key.pk8.der");
        if (pk1.empty() || pk8.empty()) GTEST_SKIP() << "no test PKI in " << testsupport::PkiDir();

        RsaPrivateKey key;
        ASSERT_EQ(DecodeWith(pk1, &key, DecodeRsaPrivateKey), pk1.size());
        EXPECT_TRUE(key.bits == 1024 || key.bits == 2048) << key.bits;
        EXPECT_EQ(EncodeWith([&](DERCursor* c) { return EncodeRsaPrivateKey(c, &key); }), pk1);

        RsaPrivateKey fromPk8;
        int algorithm = 0;
        DERCursor reader;
        InitDERReader(&reader, pk8.data(), pk8.size());
        ASSERT_EQ(DecodePrivateKeyInfo(&reader, &algorithm, &fromPk8), pk8.size());
        EXPECT_EQ(algorithm, kAlgRsaEncryption);
        EXPECT_EQ(std::memcmp(&key, &fromPk8, sizeof key), 0);
        EXPECT_EQ(EncodeWith([&](DERCursor* c) { return EncodePrivateKeyInfo(c, kAlgRsaEncryption, &key); }), pk8);

        // The public half, encoded as SubjectPublicKeyInfo, is the one in the
        // certificate OpenSSL made.
        RsaPublicKey pub = {};
        pub.bits = key.bits;
        std::memcpy(pub.modulus, key.modulus, sizeof pub.modulus);
        std::memcpy(pub.publicExponent, key.publicExponent, sizeof pub.publicExponent);
        Bytes spki = EncodeWith([&](DERCursor* c) { return EncodeSubjectPublicKeyInfo(c, kAlgRsaEncryption, &pub); });
        ASSERT_FALSE(spki.empty());
        Bytes cert = testsupport::cert::ReadPki(std::string(name) + ".cert.der");
        EXPECT_NE(std::search(cert.begin(), cert.end(), spki.begin(), spki.end()), cert.end());

        // And the BIT STRING decodes back into the same record.
        Bytes bits = EncodeWith([&](DERCursor* c) { return EncodeRsaPublicKey(c, &pub); });
        RsaPublicKey back;
        ASSERT_EQ(DecodeWith(bits, &back, DecodeRsaPublicKey), bits.size());
        EXPECT_EQ(std::memcmp(&back, &pub, sizeof pub), 0);
        FillBytes(&key, 0, sizeof key);
        FillBytes(&fromPk8, 0, sizeof fromPk8);
    }
}

#ifndef _WIN32
TEST(RsaKeyRecords, ModulusMatchesOpenSsl)
{
    for (const char* name : kPkiKeys) {
        SCOPED_TRACE(name);
        Bytes pk1 = testsupport::cert::ReadPki(std::string(name) + ".key.pk1.der");
        if (pk1.empty()) GTEST_SKIP() << "no test PKI";
        RsaPrivateKey key;
        ASSERT_NE(DecodeWith(pk1, &key, DecodeRsaPrivateKey), 0u);
        std::string out = testsupport::RunCommand("openssl rsa -noout -modulus -in '" +
                                               testsupport::Pki(std::string(name) + ".key.pem") + "' 2>/dev/null");
        std::size_t eq = out.find('=');
        ASSERT_NE(eq, std::string::npos);
        std::string expected = out.substr(eq + 1);
        while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r')) expected.pop_back();
        std::size_t bytes = key.bits / 8;
        std::string ours = testsupport::ToHex(key.modulus + sizeof key.modulus - bytes, bytes);
        for (char& c : ours) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(ours, expected);
        FillBytes(&key, 0, sizeof key);
    }
}

// OpenSSL makes keys with a public exponent whose top bit is set; ours must
// carry the sign byte so that the exponent stays positive.
TEST(RsaKeyRecords, ExponentWithTopBitKeepsSignByte)
{
    std::string dir = testsupport::WorkDir();
    std::string pem = dir + "/e80000001.pem", pk1 = dir + "/e80000001.pk1.der", spki = dir + "/e80000001.spki.der";
    int status = -1;
    testsupport::RunCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:512 "
                         "-pkeyopt rsa_keygen_pubexp:2147483649 -out '" + pem + "' 2>/dev/null && "
                         "openssl rsa -in '" + pem + "' -traditional -outform DER -out '" + pk1 + "' 2>/dev/null && "
                         "openssl rsa -in '" + pem + "' -pubout -outform DER -out '" + spki + "' 2>/dev/null",
                         &status);
    ASSERT_EQ(status, 0);
    Bytes der = testsupport::ReadFile(pk1), expectedSpki = testsupport::ReadFile(spki);
    RsaPrivateKey key;
    ASSERT_EQ(DecodeWith(der, &key, DecodeRsaPrivateKey), der.size());
    EXPECT_EQ(key.bits, 512);
    EXPECT_EQ(EncodeWith([&](DERCursor* c) { return EncodeRsaPrivateKey(c, &key); }), der);

    RsaPublicKey pub = {};
    pub.bits = key.bits;
    std::memcpy(pub.modulus, key.modulus, sizeof pub.modulus);
    std::memcpy(pub.publicExponent, key.publicExponent, sizeof pub.publicExponent);
    Bytes ours = EncodeWith([&](DERCursor* c) { return EncodeSubjectPublicKeyInfo(c, kAlgRsaEncryption, &pub); });
    EXPECT_EQ(ours, expectedSpki);
    Bytes exponent = Hex("02050080000001");
    EXPECT_NE(std::search(ours.begin(), ours.end(), exponent.begin(), exponent.end()), ours.end());
    FillBytes(&key, 0, sizeof key);
}
#endif

TEST(RsaKeyRecords, PublicKeyFieldsAndBitCounts)
{
    struct Case {
        const char* name;
        Bytes modulus;  // INTEGER content
        std::size_t result;  // 0 = refused
        unsigned bits;
    };
    Bytes m2048(257, 0xC3);
    m2048[0] = 0x00;
    Bytes m258(258, 0x11);
    m258[0] = 0x00;
    Bytes m384(384, 0x55);  // a 3072-bit modulus
    Bytes top7f(128, 0x42);
    top7f[0] = 0x7F;
    Case cases[] = {
        {"2048 bits with its sign byte", m2048, 1, 2048},
        {"258 content bytes", m258, 0, 0},
        {"3072 bits", m384, 0, 0},
        {"top byte 0x7F counts 8 bits", top7f, 1, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes der = Tlv(0x03, Cat({{0x00}, Seq({Integer(c.modulus), Integer({0x01, 0x00, 0x01})})}));
        RsaPublicKey key;
        std::memset(&key, 0xAA, sizeof key);
        std::size_t n = DecodeWith(der, &key, DecodeRsaPublicKey);
        if (c.result == 0) {
            EXPECT_EQ(n, 0u);
            EXPECT_TRUE(IsZero(key));
            continue;
        }
        EXPECT_EQ(n, der.size());
        EXPECT_EQ(key.bits, c.bits);
        std::size_t bytes = c.bits / 8;
        EXPECT_EQ(std::memcmp(key.modulus + 256 - bytes, c.modulus.data() + c.modulus.size() - bytes, bytes), 0);
        EXPECT_EQ(key.publicExponent[253], 0x01);
        EXPECT_EQ(key.publicExponent[254], 0x00);
        EXPECT_EQ(key.publicExponent[255], 0x01);
        EXPECT_EQ(key.publicExponent[252], 0x00);
        // Re-encoded: the same bytes.
        EXPECT_EQ(EncodeWith([&](DERCursor* w) { return EncodeRsaPublicKey(w, &key); }), der);
    }
}

TEST(RsaKeyRecords, Exponent65537Encoding)
{
    RsaPublicKey key = {};
    key.bits = 8;
    key.modulus[255] = 0xC5;
    key.publicExponent[253] = 0x01;
    key.publicExponent[255] = 0x01;
    EXPECT_EQ(EncodeWith([&](DERCursor* w) { return EncodeRsaPublicKey(w, &key); }),
              Hex("030C 00 3009 020200C5 0203010001"));
}

TEST(RsaKeyRecords, MalformedKeysAreRefusedAndWiped)
{
    Bytes modulus(129, 0xB1);
    modulus[0] = 0x00;
    Bytes prime(65, 0xE1);
    prime[0] = 0x00;
    Bytes prime130(130, 0xE1);
    prime130[0] = 0x00;
    Bytes good = PrivateKeyDer(modulus, prime);

    RsaPrivateKey key;
    ASSERT_EQ(DecodeWith(good, &key, DecodeRsaPrivateKey), good.size());
    EXPECT_EQ(key.bits, 1024);
    EXPECT_EQ(key.prime1[127], 0xE1);
    EXPECT_EQ(key.prime1[63], 0x00);

    struct Case {
        const char* name;
        Bytes der;
    } cases[] = {
        {"prime of 130 content bytes", PrivateKeyDer(modulus, prime130)},
        {"trailing element", Seq({Integer({0x00}), Integer(modulus), Integer({0x01, 0x00, 0x01}), Integer(modulus),
                                  Integer(prime), Integer(prime), Integer({1}), Integer({1}), Integer({1}),
                                  Integer({1})})},
        {"a number missing", Seq({Integer({0x00}), Integer(modulus), Integer({0x01, 0x00, 0x01}), Integer(modulus),
                                  Integer(prime), Integer(prime), Integer({1}), Integer({1})})},
        {"OCTET STRING in place of a number", Seq({Integer({0x00}), Integer(modulus), Tlv(0x04, {1}),
                                                   Integer(modulus), Integer(prime), Integer(prime), Integer({1}),
                                                   Integer({1}), Integer({1})})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(&key, 0xAA, sizeof key);
        EXPECT_EQ(DecodeWith(c.der, &key, DecodeRsaPrivateKey), 0u);
        EXPECT_TRUE(IsZero(key));
    }
    // Every truncation of a good key fails and leaves nothing behind.
    for (std::size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + n);
        std::memset(&key, 0xAA, sizeof key);
        ASSERT_EQ(DecodeWith(cut, &key, DecodeRsaPrivateKey), 0u) << n;
        ASSERT_TRUE(IsZero(key)) << n;
    }
}

TEST(RsaKeyRecords, PrivateKeyInfoAlgorithmParameters)
{
    Bytes modulus(65, 0xB1);
    modulus[0] = 0x00;
    Bytes prime(33, 0xE1);
    prime[0] = 0x00;
    Bytes inner = PrivateKeyDer(modulus, prime);
    Bytes rsaOid = Tlv(0x06, Hex("2A864886F70D010101"));
    Bytes withNull = Seq({Integer({0x00}), Seq({rsaOid, Hex("0500")}), Tlv(0x04, inner)});
    Bytes noParams = Seq({Integer({0x00}), Seq({rsaOid}), Tlv(0x04, inner)});
    Bytes octetParams = Seq({Integer({0x00}), Seq({rsaOid, Tlv(0x04, {1, 2})}), Tlv(0x04, inner)});
    Bytes shortOctet = Seq({Integer({0x00}), Seq({rsaOid, Hex("0500")}),
                            Tlv(0x04, Cat({inner, {0x00}}))});  // key does not fill its element
    Bytes unknownAlg = Seq({Integer({0x00}), Seq({Tlv(0x06, Hex("2A864886F70D01010B")), Hex("0500")}),
                            Tlv(0x04, inner)});  // sha256WithRSAEncryption

    struct Case {
        const char* name;
        const Bytes* der;
        bool ok;
    } cases[] = {
        {"NULL parameters", &withNull, true},
        {"no parameters", &noParams, true},
        {"OCTET STRING parameters", &octetParams, false},
        {"key shorter than its element", &shortOctet, false},
        {"unknown algorithm", &unknownAlg, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RsaPrivateKey key;
        std::memset(&key, 0xAA, sizeof key);
        int algorithm = 0;
        DERCursor reader;
        InitDERReader(&reader, c.der->data(), c.der->size());
        std::size_t n = DecodePrivateKeyInfo(&reader, &algorithm, &key);
        if (c.ok) {
            EXPECT_EQ(n, c.der->size());
            EXPECT_EQ(algorithm, kAlgRsaEncryption);
            EXPECT_EQ(key.bits, 512);
        } else {
            EXPECT_EQ(n, 0u);
            EXPECT_TRUE(IsZero(key));
        }
    }
}

TEST(RsaKeyRecords, CopyKeyNumberWidths)
{
    unsigned char field[4];
    struct Case {
        Bytes content;
        int result;
        Bytes field;
    } cases[] = {
        {{0x12, 0x34}, 0, {0x00, 0x00, 0x12, 0x34}},
        {{0x00, 0x81, 0x02, 0x03, 0x04}, 0, {0x81, 0x02, 0x03, 0x04}},
        {{0x01, 0x81, 0x02, 0x03, 0x04}, 1, {}},
        {{0x00, 0x00, 0x81, 0x02, 0x03, 0x04}, 1, {}},
    };
    for (const Case& c : cases) {
        std::memset(field, 0, sizeof field);
        ByteBuffer item = {const_cast<unsigned char*>(c.content.data()), c.content.size()};
        EXPECT_EQ(CopyKeyNumber(item, field, sizeof field), c.result);
        if (c.result == 0) {
            EXPECT_EQ(Bytes(field, field + 4), c.field);
        }
    }
}
