// The certificate decoder on crafted certificates: one per rule of what it
// accepts, what it refuses and what it releases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/x509/certificate.h"
#include "core/der/der.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/x509/extension.h"
#include "core/der/oid.h"
#include "core/rsa/rsa_key.h"
#include "tests/support/test_cert_util.h"

using testsupport::cert::Bytes;
using testsupport::cert::Cat;
using testsupport::cert::DecodedCertificate;
using testsupport::cert::Hex;
using testsupport::cert::Seq;
using testsupport::cert::Set;
using testsupport::cert::SlotText;
using testsupport::cert::Text;
using testsupport::cert::Tlv;

namespace {

Bytes Oid(const std::string& hex) { return Tlv(0x06, Hex(hex)); }
Bytes Integer(const Bytes& content) { return Tlv(0x02, content); }
Bytes AlgorithmId(const std::string& oidHex) { return Seq({Oid(oidHex), Hex("0500")}); }
const std::string kSha1Rsa = "2A864886F70D010105";
const std::string kSha256Rsa = "2A864886F70D01010B";
Bytes CommonName(const Bytes& value) { return Seq({Set({Seq({Oid("550403"), value})})}); }
Bytes Utc(const std::string& s) { return Tlv(0x17, Text(s)); }
Bytes Generalized(const std::string& s) { return Tlv(0x18, Text(s)); }

struct Issuer {
    RsaPrivateKey key = {};
    RsaPublicKey publicKey = {};
    Bytes subjectKeyInfo;  // of the signer certificate
    bool loaded = false;

    Issuer()
    {
        Bytes der = testsupport::cert::ReadPki("recipient.key.pk1.der");
        if (der.empty()) return;
        DERCursor reader;
        InitDERReader(&reader, der.data(), der.size());
        if (DecodeRsaPrivateKey(&reader, &key) != der.size()) return;
        publicKey.bits = key.bits;
        std::memcpy(publicKey.modulus, key.modulus, sizeof key.modulus);
        std::memcpy(publicKey.publicExponent, key.publicExponent, sizeof key.publicExponent);
        DecodedCertificate signer(testsupport::cert::ReadPki("signer.cert.der"), nullptr);
        if (signer.result != 1) return;
        static unsigned char buffer[1024];
        DERCursor writer;
        InitDERWriter(&writer, buffer, sizeof buffer);
        std::size_t n = EncodeSubjectPublicKeyInfo(&writer, kAlgRsaEncryption, &signer.f.publicKey);
        subjectKeyInfo.assign(buffer + sizeof buffer - n, buffer + sizeof buffer);
        loaded = n != 0;
    }
    ~Issuer() { FillBytes(&key, 0, sizeof key); }

    Bytes Sign(const Bytes& data, int algorithm = kAlgSHA1WithRsa) const
    {
        DigestInfoWork work;
        unsigned char signature[256];
        std::size_t length = 0;
        if (SignDigestInfo(&work, algorithm, data.data(), data.size(), &key, signature, &length) == 0) return {};
        return Bytes(signature, signature + length);
    }
};

struct Tbs {
    Bytes version = Tlv(0xA0, Integer({0x02}));
    Bytes serial = Integer({0x10, 0x02});
    Bytes algorithm = AlgorithmId(kSha1Rsa);
    Bytes issuer = CommonName(Tlv(0x13, Text("Crafted CA")));
    Bytes validity = Seq({Utc("240101000000Z"), Utc("491231235959Z")});
    Bytes subject = CommonName(Tlv(0x13, Text("Crafted Leaf")));
    Bytes keyInfo;
    Bytes extensions = Tlv(0xA3, Seq({Seq({Oid("551D13"), Tlv(0x04, Seq({Hex("0101FF")}))})}));
    Bytes after;  // anything further inside the TBS

    Bytes Der() const
    {
        return Tlv(0x30, Cat({version, serial, algorithm, issuer, validity, subject, keyInfo, extensions, after}));
    }
};

Bytes SignedCertificate(const Issuer& issuer, const Bytes& tbs, const std::string& algorithmOid = kSha1Rsa,
                        int algorithm = kAlgSHA1WithRsa)
{
    return Seq({tbs, AlgorithmId(algorithmOid), Tlv(0x03, Cat({{0x00}, issuer.Sign(tbs, algorithm)}))});
}

bool TablesEmpty(const CertificateFields& f)
{
    for (const NameTable* n : {&f.issuer, &f.subject})
        for (const ByteBuffer& b : n->slots)
            if (b.pointer) return false;
    for (const ByteBuffer& b : f.extensions.slots)
        if (b.pointer) return false;
    return f.serialNumber.pointer == nullptr;
}

class CraftedCertificate : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!issuer.loaded) GTEST_SKIP() << "no test PKI";
        tbs.keyInfo = issuer.subjectKeyInfo;
    }
    Issuer issuer;
    Tbs tbs;
};

}  // namespace

TEST_F(CraftedCertificate, BaselineDecodes)
{
    Bytes der = SignedCertificate(issuer, tbs.Der());
    DecodedCertificate cert(der, &issuer.publicKey);
    ASSERT_EQ(cert.result, 1);
    EXPECT_EQ(cert.f.signatureStatus, kSignatureValid);
    EXPECT_EQ(SlotText(cert.f.subject.slots[kNameCommonName]), "Crafted Leaf");
    EXPECT_EQ(SlotText(cert.f.issuer.slots[kNameCommonName]), "Crafted CA");
    EXPECT_STREQ(cert.f.notBefore, "240101000000Z");
    EXPECT_STREQ(cert.f.notAfter, "491231235959Z");
    EXPECT_NE(cert.f.extensions.slots[kExtBasicConstraints].pointer, nullptr);
}

TEST_F(CraftedCertificate, StructureRules)
{
    struct Case {
        const char* name;
        void (*change)(Tbs*);
        bool ok;
        bool extensionsExpected;
    } cases[] = {
        {"version 1 without extensions", [](Tbs* t) { t->version.clear(); t->extensions.clear(); }, true, false},
        {"version 1 with [3] left over", [](Tbs* t) { t->version.clear(); }, false, false},
        {"version 2 reads extensions", [](Tbs* t) { t->version = Tlv(0xA0, Integer({0x01})); }, true, true},
        {"version 3 without [3]", [](Tbs* t) { t->extensions.clear(); }, true, false},
        {"issuerUniqueID", [](Tbs* t) { t->after = Tlv(0x81, Hex("00AB")); }, false, false},
        {"byte after the extensions", [](Tbs* t) { t->after = Hex("05"); }, false, false},
        {"15-character GeneralizedTime",
         [](Tbs* t) { t->validity = Seq({Generalized("20240101000000Z"), Generalized("20491231235959Z")}); }, true, true},
        {"16-character time",
         [](Tbs* t) { t->validity = Seq({Generalized("20240101000000Z"), Generalized("204912312359590Z")}); }, false, false},
        {"fractional seconds",
         [](Tbs* t) { t->validity = Seq({Generalized("20240101000000.5Z"), Generalized("20491231235959Z")}); }, false, false},
        {"third time in validity",
         [](Tbs* t) { t->validity = Seq({Utc("240101000000Z"), Utc("491231235959Z"), Utc("491231235959Z")}); }, false, false},
        {"UTF8String name", [](Tbs* t) { t->subject = CommonName(Tlv(0x0C, Text("Crafted Leaf"))); }, false, false},
        {"SHA-256 signature algorithm", [](Tbs* t) { t->algorithm = AlgorithmId(kSha256Rsa); }, false, false},
        {"3072-bit key",
         [](Tbs* t) {
             Bytes modulus(385, 0xC1);
             modulus[0] = 0;
             t->keyInfo = Seq({AlgorithmId("2A864886F70D010101"),
                               Tlv(0x03, Cat({{0x00}, Seq({Integer(modulus), Integer({0x01, 0x00, 0x01})})}))});
         }, false, false},
        {"serial of one zero byte", [](Tbs* t) { t->serial = Integer({0x00}); }, true, true},
        {"empty serial", [](Tbs* t) { t->serial = Tlv(0x02, {}); }, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tbs changed = tbs;
        c.change(&changed);
        Bytes der = SignedCertificate(issuer, changed.Der());
        DecodedCertificate cert(der, &issuer.publicKey);
        EXPECT_EQ(cert.result, c.ok ? 1 : 0);
        if (!c.ok) {
            EXPECT_TRUE(TablesEmpty(cert.f));  // nothing decoded is left to release
            continue;
        }
        EXPECT_EQ(cert.f.signatureStatus, kSignatureValid);
        EXPECT_EQ(cert.f.extensions.slots[kExtBasicConstraints].pointer != nullptr, c.extensionsExpected);
    }
}

TEST_F(CraftedCertificate, TbsLengthMustMatchItsContent)
{
    Bytes inner = tbs.Der();
    // The TBS header announces one byte more than its elements, the extra
    // byte belonging to the TBS: refused.
    Bytes longer = Tlv(0x30, Cat({Bytes(inner.begin() + 3, inner.end()), {0x00}}));
    ASSERT_EQ(inner[1], 0x82);
    DecodedCertificate cert(SignedCertificate(issuer, longer), &issuer.publicKey);
    EXPECT_EQ(cert.result, 0);
    // A TBS whose length runs past the certificate: refused.
    Bytes good = SignedCertificate(issuer, inner);
    Bytes past = good;
    past[6] = 0xFF;  // low length byte of the TBS header (30 82 hh ll 30 82 HH LL)
    DecodedCertificate broken(past, &issuer.publicKey);
    EXPECT_EQ(broken.result, 0);
}

TEST_F(CraftedCertificate, SerialNumbers)
{
    Bytes twenty = Hex("00C0FFEE0102030405060708090A0B0C0D0E0F1011");
    struct Case {
        Bytes content;
        std::string hex;
    } cases[] = {
        {{0x00}, "00"}, {{0x00, 0x8B, 0x7E}, "8b7e"}, {{0x7F}, "7f"}, {{0x00, 0x01}, "01"}, {twenty, testsupport::ToHex(twenty.data() + 1, 20)},
    };
    for (const Case& c : cases) {
        Tbs changed = tbs;
        changed.serial = Integer(c.content);
        DecodedCertificate cert(SignedCertificate(issuer, changed.Der()), nullptr);
        ASSERT_EQ(cert.result, 1);
        EXPECT_EQ(testsupport::ToHex(cert.f.serialNumber.pointer, cert.f.serialNumber.length), c.hex);
        EXPECT_EQ(cert.f.serialNumber.pointer[cert.f.serialNumber.length], 0);
    }
}

TEST_F(CraftedCertificate, SignatureFieldAndDigests)
{
    Bytes inner = tbs.Der();
    struct Case {
        const char* name;
        Bytes der;
        int result;
        int status;
        int algorithm;
    } cases[] = {
        {"MD2", SignedCertificate(issuer, inner, "2A864886F70D010102", kAlgMD2WithRsa), 1, kSignatureValid, kAlgMD2WithRsa},
        {"MD4", SignedCertificate(issuer, inner, "2A864886F70D010103", kAlgMD4WithRsa), 1, kSignatureValid, kAlgMD4WithRsa},
        {"MD5", SignedCertificate(issuer, inner, "2A864886F70D010104", kAlgMD5WithRsa), 1, kSignatureValid, kAlgMD5WithRsa},
        {"outer names MD5, signed with SHA-1", SignedCertificate(issuer, inner, "2A864886F70D010104"), 1,
         kSignatureInvalid, kAlgMD5WithRsa},
        {"outer SHA-256", SignedCertificate(issuer, inner, kSha256Rsa), 0, 0, 0},
        {"unused bits in the signature",
         Seq({inner, AlgorithmId(kSha1Rsa), Tlv(0x03, Cat({{0x01}, issuer.Sign(inner)}))}), 0, 0, 0},
        {"bytes after the signature",
         Seq({inner, AlgorithmId(kSha1Rsa), Tlv(0x03, Cat({{0x00}, issuer.Sign(inner)})), Hex("0500")}), 0, 0, 0},
        {"bytes after the certificate", Cat({SignedCertificate(issuer, inner), Hex("0000")}), 1, kSignatureValid,
         kAlgSHA1WithRsa},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedCertificate cert(c.der, &issuer.publicKey);
        EXPECT_EQ(cert.result, c.result);
        if (c.result != 1) {
            EXPECT_TRUE(TablesEmpty(cert.f));
            continue;
        }
        EXPECT_EQ(cert.f.signatureStatus, c.status);
        EXPECT_EQ(cert.f.signatureAlgorithm, c.algorithm);
    }
}

// SEQUENCE { SEQUENCE { version, Certificate, attributes }, algorithm, signature }.
TEST_F(CraftedCertificate, WrapperFormCarriesAttributes)
{
    Bytes certificate = SignedCertificate(issuer, tbs.Der());
    Bytes attributes = Set({Seq({Oid("2A864886F70D010901"), Set({Tlv(0x16, Text("w@x.es"))})})});
    Bytes inner = Seq({Integer({0x01}), certificate, attributes});
    Bytes wrapper = Seq({inner, AlgorithmId(kSha1Rsa), Tlv(0x03, Cat({{0x00}, issuer.Sign(inner)}))});

    DecodedCertificate cert(wrapper, &issuer.publicKey);
    ASSERT_EQ(cert.result, 1);
    EXPECT_EQ(cert.f.signatureStatus, kSignatureValid);
    ASSERT_NE(cert.f.wrapperVersion.pointer, nullptr);
    EXPECT_EQ(cert.f.wrapperVersion.length, 1u);
    EXPECT_EQ(cert.f.wrapperVersion.pointer[0], 0x01);
    EXPECT_GE(cert.f.wrapperVersion.pointer, wrapper.data());  // a view into the DER
    EXPECT_LT(cert.f.wrapperVersion.pointer, wrapper.data() + wrapper.size());
    EXPECT_EQ(SlotText(cert.f.extensions.slots[kExtEmailAddress]), "w@x.es");
    // The inner certificate's extensions were replaced (and released).
    EXPECT_EQ(cert.f.extensions.slots[kExtBasicConstraints].pointer, nullptr);
    EXPECT_EQ(SlotText(cert.f.subject.slots[kNameCommonName]), "Crafted Leaf");

    Bytes broken = wrapper;
    broken[broken.size() - 1] ^= 1;
    DecodedCertificate invalid(broken, &issuer.publicKey);
    ASSERT_EQ(invalid.result, 1);
    EXPECT_EQ(invalid.f.signatureStatus, kSignatureInvalid);

    Bytes badAttributes = Seq({Integer({0x01}), certificate, Seq({})});
    Bytes badWrapper = Seq({badAttributes, AlgorithmId(kSha1Rsa), Tlv(0x03, Cat({{0x00}, issuer.Sign(badAttributes)}))});
    DecodedCertificate refused(badWrapper, &issuer.publicKey);
    EXPECT_EQ(refused.result, 0);
    EXPECT_TRUE(TablesEmpty(refused.f));
}

// Truncations and changed bytes never crash, and every output that a
// successful decode hands out is released by the holder (LeakSanitizer).
TEST_F(CraftedCertificate, DamagedInputIsHandledCleanly)
{
    Bytes rich = testsupport::ReadFile(testsupport::SourceDir() + "/tests/data/cert/rich.der");
    ASSERT_FALSE(rich.empty());
    DecodedCertificate cert;
    for (std::size_t n = 0; n < rich.size(); ++n) {
        Bytes cut(rich.begin(), rich.begin() + n);
        ASSERT_EQ(cert.Decode(cut, nullptr), 0) << n;
        ASSERT_TRUE(TablesEmpty(cert.f));
    }
    int decoded = 0;
    for (std::size_t i = 0; i < rich.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Bytes changed = rich;
            changed[i] ^= mask;
            decoded += cert.Decode(changed, nullptr);  // releases the previous outputs first
        }
    }
    EXPECT_GT(decoded, 0);
    // Decoding into tables that still hold copies releases them first (the
    // serial number is a bare item: its owner releases it).
    FreeItems(&cert.f.serialNumber, 1);
    ASSERT_EQ(DecodeCertificate(rich.data(), rich.size(), &cert.f.wrapperVersion, &cert.f.serialNumber, nullptr,
                                &cert.f.issuer, cert.f.notBefore, cert.f.notAfter, &cert.f.subject,
                                &cert.f.signatureAlgorithm, &cert.f.publicKey, nullptr, &cert.f.signatureStatus,
                                &cert.f.extensions),
              1);
    FreeItems(&cert.f.serialNumber, 1);
    ASSERT_EQ(DecodeCertificate(rich.data(), rich.size(), &cert.f.wrapperVersion, &cert.f.serialNumber, nullptr,
                                &cert.f.issuer, cert.f.notBefore, cert.f.notAfter, &cert.f.subject,
                                &cert.f.signatureAlgorithm, &cert.f.publicKey, nullptr, &cert.f.signatureStatus,
                                &cert.f.extensions),
              1);
}

TEST(Validity, EncodeByTextLength)
{
    unsigned char buffer[128];
    DERCursor writer;
    InitDERWriter(&writer, buffer, sizeof buffer);
    std::size_t n = EncodeValidity(&writer, "240101000000Z", "20491231235959Z");
    Bytes der(buffer + sizeof buffer - n, buffer + sizeof buffer);
    EXPECT_EQ(der, Seq({Utc("240101000000Z"), Generalized("20491231235959Z")}));

    char notBefore[kValidityTextSize], notAfter[kValidityTextSize];
    DERCursor reader;
    InitDERReader(&reader, der.data(), der.size());
    EXPECT_EQ(DecodeValidity(&reader, notBefore, notAfter), der.size());
    EXPECT_STREQ(notBefore, "240101000000Z");
    EXPECT_STREQ(notAfter, "20491231235959Z");
}

#ifndef _WIN32
// What the decoder does not support, made by OpenSSL: refused cleanly.
TEST(CertificateDecoderPeers, Sha256AndUtf8NamesAreRefused)
{
    struct Case {
        const char* name;
        const char* options;
    } cases[] = {
        {"sha256", "-sha256 -subj /CN=Sha256"},
        {"utf8", "-sha1 -utf8 -subj /CN=Se\xC3\xB1or"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string base = testsupport::WorkDir() + "/refused-" + c.name;
        int status = -1;
        testsupport::RunCommand("OPENSSL_CONF=/dev/null openssl req -x509 -new -newkey rsa:1024 -nodes -keyout '" + base +
                                 ".key' -days 1 -outform DER -out '" + base + ".der' " + c.options + " 2>/dev/null",
                             &status);
        ASSERT_EQ(status, 0);
        DecodedCertificate cert(testsupport::ReadFile(base + ".der"), nullptr);
        EXPECT_EQ(cert.result, 0);
    }
}
#endif
