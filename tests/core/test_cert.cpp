// The certificate decoder on certificates made by OpenSSL: the test PKI and
// a committed certificate with the extensions the decoder reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/x509/certificate.h"
#include "core/x509/extension.h"
#include "core/der/oid.h"
#include "tests/support/test_cert_util.h"

using testsupport::cert::Bytes;
using testsupport::cert::DecodedCertificate;
using testsupport::cert::SlotText;

namespace {

std::map<std::string, std::string> ReadManifest()
{
    std::map<std::string, std::string> values;
    Bytes text = testsupport::cert::ReadPki("pki.env");
    std::istringstream in(std::string(text.begin(), text.end()));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') value = value.substr(1, value.size() - 2);
        values[line.substr(0, eq)] = value;
    }
    return values;
}

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string HexOf(const ByteBuffer& b) { return Upper(testsupport::ToHex(b.pointer, b.length)); }

bool LoadPublicKey(const std::string& name, RsaPublicKey* key)
{
    DecodedCertificate cert(testsupport::cert::ReadPki(name + ".cert.der"), nullptr);
    if (cert.result != 1) return false;
    *key = cert.f.publicKey;
    return true;
}

struct Entity {
    const char* name;
    const char* issuer;
    int algorithm;
};

const Entity kEntities[] = {
    {"ca", "ca", kAlgSHA1WithRsa},           {"signer", "ca", kAlgSHA1WithRsa},
    {"recipient", "ca", kAlgSHA1WithRsa},    {"signer2", "ca", kAlgSHA1WithRsa},
    {"nokey", "ca", kAlgSHA1WithRsa},        {"revoked", "ca", kAlgSHA1WithRsa},
    {"expired", "ca", kAlgSHA1WithRsa},      {"ocsp", "ca", kAlgSHA1WithRsa},
    {"tsa", "ca", kAlgSHA1WithRsa},          {"md5", "ca", kAlgMD5WithRsa},
    {"otherca", "otherca", kAlgSHA1WithRsa}, {"other", "otherca", kAlgSHA1WithRsa},
};

std::uint16_t Flags(const ExtensionTable& table, int kind, std::uint32_t* critical = nullptr,
                    ExtensionValues* valuesOut = nullptr, int* status = nullptr)
{
    std::uint16_t flags = 0;
    std::uint32_t isCritical = 0;
    ExtensionValues values;
    int result = DecodeExtensionValue(table.slots[kind], kind, &flags, &values, &isCritical);
    if (status) *status = result;
    if (critical) *critical = isCritical;
    if (valuesOut) {
        *valuesOut = values;  // the caller frees
    } else {
        FreeItems(values.slots, kExtensionValueSlots);
    }
    return flags;
}

#ifndef _WIN32
std::string OpenSsl(const std::string& name, const std::string& options)
{
    return testsupport::RunCommand("OPENSSL_CONF=/dev/null openssl x509 -inform DER -in '" +
                                testsupport::Pki(name + ".cert.der") + "' -noout " + options + " 2>/dev/null");
}

// "KEY=value" of openssl's one-line outputs.
std::string After(const std::string& out, const std::string& key)
{
    std::size_t at = out.find(key + "=");
    if (at == std::string::npos) return "";
    std::size_t end = out.find('\n', at);
    return out.substr(at + key.size() + 1, end == std::string::npos ? std::string::npos : end - at - key.size() - 1);
}

// "2024-01-01 00:00:00Z" from a UTCTime text.
std::string IsoTime(const char* utc)
{
    std::string t(utc);
    if (t.size() != 13) return "?" + t;
    std::string year = (t[0] < '5' ? "20" : "19") + t.substr(0, 2);
    return year + "-" + t.substr(2, 2) + "-" + t.substr(4, 2) + " " + t.substr(6, 2) + ":" + t.substr(8, 2) + ":" +
           t.substr(10, 2) + "Z";
}

std::uint16_t KeyUsageFromText(const std::string& text)
{
    static const std::pair<const char*, std::uint16_t> kBits[] = {
        {"Digital Signature", 0x8000}, {"Non Repudiation", 0x4000}, {"Key Encipherment", 0x2000},
        {"Data Encipherment", 0x1000}, {"Key Agreement", 0x0800},   {"Certificate Sign", 0x0400},
        {"CRL Sign", 0x0200},          {"Encipher Only", 0x0100},   {"Decipher Only", 0x0080},
    };
    std::uint16_t flags = 0;
    for (const auto& bit : kBits)
        if (text.find(bit.first) != std::string::npos) flags |= bit.second;
    return flags;
}
#endif

}  // namespace

TEST(CertificateDecoder, TestPkiFieldsAndSignatures)
{
    auto manifest = ReadManifest();
    if (manifest.empty()) GTEST_SKIP() << "no test PKI in " << testsupport::PkiDir();
    for (const Entity& e : kEntities) {
        SCOPED_TRACE(e.name);
        std::string upper = Upper(e.name);
        RsaPublicKey issuerKey, wrongKey;
        ASSERT_TRUE(LoadPublicKey(e.issuer, &issuerKey));
        ASSERT_TRUE(LoadPublicKey(std::string(e.issuer) == "ca" ? "otherca" : "ca", &wrongKey));
        Bytes der = testsupport::cert::ReadPki(std::string(e.name) + ".cert.der");

        DecodedCertificate cert(der, &issuerKey);
        ASSERT_EQ(cert.result, 1);
        EXPECT_EQ(cert.f.signatureStatus, kSignatureValid);
        EXPECT_EQ(cert.f.signatureAlgorithm, e.algorithm);
        EXPECT_EQ(HexOf(cert.f.serialNumber), manifest[upper + "_SERIAL"]);
        EXPECT_EQ(cert.f.serialNumber.pointer[cert.f.serialNumber.length], 0);  // NUL after the copy
        EXPECT_EQ(SlotText(cert.f.subject.slots[kNameCommonName]), manifest[upper + "_CN"]);
        EXPECT_EQ(SlotText(cert.f.issuer.slots[kNameCommonName]), manifest[Upper(e.issuer) + "_CN"]);
        for (const NameTable* name : {&cert.f.subject, &cert.f.issuer}) {
            EXPECT_EQ(SlotText(name->slots[kNameCountry]), "ES");
            EXPECT_EQ(SlotText(name->slots[kNameOrganization]), "Norvane Test");
            EXPECT_EQ(SlotText(name->slots[kNameOrganizationalUnit]), "Tavomir");
        }
        EXPECT_EQ(std::to_string(cert.f.publicKey.bits), manifest[upper + "_BITS"]);
        EXPECT_EQ(cert.f.wrapperVersion.pointer, nullptr);

        std::uint32_t critical = 0;
        std::uint16_t basic = Flags(cert.f.extensions, kExtBasicConstraints, &critical);
        bool isCa = std::string(e.name) == e.issuer;
        EXPECT_EQ(basic, isCa ? kBasicConstraintsCA : 0);
        EXPECT_EQ(critical, isCa ? 1u : 0u);

        DecodedCertificate unchecked(der, nullptr);
        ASSERT_EQ(unchecked.result, 1);
        EXPECT_EQ(unchecked.f.signatureStatus, kSignatureUnchecked);
        DecodedCertificate wrong(der, &wrongKey);
        ASSERT_EQ(wrong.result, 1);
        EXPECT_EQ(wrong.f.signatureStatus, kSignatureInvalid);
    }
}

TEST(CertificateDecoder, ExtendedKeyUsageOfResponderAndTsa)
{
    if (ReadManifest().empty()) GTEST_SKIP() << "no test PKI";
    DecodedCertificate ocsp(testsupport::cert::ReadPki("ocsp.cert.der"), nullptr);
    DecodedCertificate tsa(testsupport::cert::ReadPki("tsa.cert.der"), nullptr);
    ASSERT_EQ(ocsp.result, 1);
    ASSERT_EQ(tsa.result, 1);
    std::uint32_t critical = 0;
    int status = 0;
    EXPECT_EQ(Flags(ocsp.f.extensions, kExtExtKeyUsage, &critical, nullptr, &status), kKeyPurposeOcspSigning);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(critical, 0u);
    EXPECT_EQ(Flags(tsa.f.extensions, kExtExtKeyUsage, &critical, nullptr, &status), kKeyPurposeTimeStamping);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(critical, 1u);
}

// One changed byte of the TBS: still decoded, the signature no longer holds.
TEST(CertificateDecoder, ChangedTbsByteInvalidatesSignature)
{
    if (ReadManifest().empty()) GTEST_SKIP() << "no test PKI";
    RsaPublicKey caKey;
    ASSERT_TRUE(LoadPublicKey("ca", &caKey));
    Bytes der = testsupport::cert::ReadPki("signer.cert.der");
    std::string cn = "Tavomir Test Signer";
    auto at = std::search(der.begin(), der.end(), cn.begin(), cn.end());
    ASSERT_NE(at, der.end());
    at[8] = 'X';  // "Tavomir Xest Signer"
    DecodedCertificate cert(der, &caKey);
    ASSERT_EQ(cert.result, 1);
    EXPECT_EQ(cert.f.signatureStatus, kSignatureInvalid);
    EXPECT_EQ(SlotText(cert.f.subject.slots[kNameCommonName]), "Tavomir Xest Signer");

    Bytes signatureFlipped = testsupport::cert::ReadPki("signer.cert.der");
    signatureFlipped[signatureFlipped.size() - 5] ^= 0x01;
    DecodedCertificate flipped(signatureFlipped, &caKey);
    ASSERT_EQ(flipped.result, 1);
    EXPECT_EQ(flipped.f.signatureStatus, kSignatureInvalid);
}

#ifndef _WIN32
TEST(CertificateDecoder, FieldsMatchOpenSslText)
{
    if (ReadManifest().empty()) GTEST_SKIP() << "no test PKI";
    for (const Entity& e : kEntities) {
        SCOPED_TRACE(e.name);
        DecodedCertificate cert(testsupport::cert::ReadPki(std::string(e.name) + ".cert.der"), nullptr);
        ASSERT_EQ(cert.result, 1);
        std::string out = OpenSsl(e.name, "-serial -modulus -dates -dateopt iso_8601");
        EXPECT_EQ(HexOf(cert.f.serialNumber), After(out, "serial"));
        std::size_t bytes = cert.f.publicKey.bits / 8;
        EXPECT_EQ(Upper(testsupport::ToHex(cert.f.publicKey.modulus + 256 - bytes, bytes)), After(out, "Modulus"));
        EXPECT_EQ(IsoTime(cert.f.notBefore), After(out, "notBefore"));
        EXPECT_EQ(IsoTime(cert.f.notAfter), After(out, "notAfter"));

        std::string text = OpenSsl(e.name, "-text");
        std::string algorithm = e.algorithm == kAlgMD5WithRsa ? "md5WithRSAEncryption" : "sha1WithRSAEncryption";
        EXPECT_NE(text.find("Signature Algorithm: " + algorithm), std::string::npos);

        std::string usage = OpenSsl(e.name, "-ext keyUsage");
        std::uint32_t critical = 0;
        EXPECT_EQ(Flags(cert.f.extensions, kExtKeyUsage, &critical), KeyUsageFromText(usage));
        EXPECT_EQ(critical, usage.find("critical") != std::string::npos ? 1u : 0u);
    }
}
#endif

// The committed certificate made by OpenSSL from tests/data/cert/rich.cnf.
class RichCertificate : public ::testing::Test {
protected:
    void SetUp() override
    {
        der = testsupport::ReadFile(testsupport::SourceDir() + "/tests/data/cert/rich.der");
        ASSERT_FALSE(der.empty());
        DecodedCertificate self(der, nullptr);
        ASSERT_EQ(self.result, 1);
        key = self.f.publicKey;
        ASSERT_EQ(cert.Decode(der, &key), 1);
    }

    std::string Value(const ExtensionValues& v, int i) { return SlotText(v.slots[i]); }

    Bytes der;
    RsaPublicKey key;
    DecodedCertificate cert;
};

TEST_F(RichCertificate, NameSlots)
{
    EXPECT_EQ(cert.f.signatureStatus, kSignatureValid);
    struct Slot {
        int slot;
        const char* value;
    } slots[] = {
        {kNameCountry, "MX"},          {kNameStateOrProvince, "Jalisco"}, {kNameLocality, "Guadalajara"},
        {kNameOrganization, "Norvane Rich"}, {kNameOrganizationalUnit, "Pruebas"},
        {kNameCommonName, "Rich Extensions"}, {kNameEmailAddress, "rich@example.com"},
        {kNameSerialNumber, "12345"},  {kNameTitle, "Tester"},
    };
    for (const Slot& s : slots) {
        EXPECT_EQ(SlotText(cert.f.subject.slots[s.slot]), s.value) << s.slot;
        EXPECT_EQ(SlotText(cert.f.issuer.slots[s.slot]), s.value) << s.slot;
    }
    int filled = 0;
    for (const ByteBuffer& b : cert.f.subject.slots) filled += b.pointer != nullptr;
    EXPECT_EQ(filled, 9);
}

TEST_F(RichCertificate, ExtensionValues)
{
    ExtensionValues v;
    std::uint32_t critical = 0;
    int status = 0;

    EXPECT_EQ(Flags(cert.f.extensions, kExtBasicConstraints, &critical, &v, &status), kBasicConstraintsCA);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(critical, 1u);
    EXPECT_EQ(HexOf(v.slots[0]), "03");  // pathlen
    FreeItems(v.slots, kExtensionValueSlots);

    EXPECT_EQ(Flags(cert.f.extensions, kExtKeyUsage, &critical), 0x8400);  // digitalSignature, keyCertSign
    EXPECT_EQ(critical, 0u);

    // serverAuth and timeStamping; the unknown 1.2.3.4.5 is ignored (not critical).
    EXPECT_EQ(Flags(cert.f.extensions, kExtExtKeyUsage, nullptr, nullptr, &status), 17);
    EXPECT_EQ(status, kExtensionValueDecoded);

    Flags(cert.f.extensions, kExtSubjectAltName, nullptr, &v, &status);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(Value(v, 1), "alt@example.com");
    EXPECT_EQ(Value(v, 2), "host.example.com");
    EXPECT_EQ(Value(v, 6), "http://uri.example.com/x");
    EXPECT_EQ(HexOf(v.slots[7]), "C0000201");
    EXPECT_EQ(v.slots[4].pointer, nullptr);  // the directoryName has no slot
    FreeItems(v.slots, kExtensionValueSlots);

    Flags(cert.f.extensions, kExtIssuerAltName, nullptr, &v, &status);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(Value(v, 1), "issuer@example.com");
    FreeItems(v.slots, kExtensionValueSlots);

    Flags(cert.f.extensions, kExtCrlDistributionPoints, nullptr, &v, &status);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(Value(v, 0), "http://crl1.example.com/a.crl");
    EXPECT_EQ(Value(v, 1), "http://crl2.example.com/b.crl");
    EXPECT_EQ(v.slots[2].pointer, nullptr);
    FreeItems(v.slots, kExtensionValueSlots);

    Flags(cert.f.extensions, kExtAuthorityInfoAccess, nullptr, &v, &status);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(Value(v, 0), "http://ocsp.example.com/");
    FreeItems(v.slots, kExtensionValueSlots);

    Flags(cert.f.extensions, kExtCertificatePolicies, nullptr, &v, &status);
    EXPECT_EQ(status, kExtensionValueDecoded);
    EXPECT_EQ(Value(v, 0), "http://cps.example.com/cps");
    EXPECT_EQ(Value(v, 1), "Norvane Rich");
    EXPECT_EQ(HexOf(v.slots[2]), "07");
    EXPECT_EQ(Value(v, 3), "Aviso de uso");
    FreeItems(v.slots, kExtensionValueSlots);

    // subjectKeyIdentifier has no kind and leaves no trace.
    EXPECT_EQ(cert.f.extensions.slots[24].pointer, nullptr);
}

#ifndef _WIN32
TEST_F(RichCertificate, FieldsMatchOpenSsl)
{
    std::string path = testsupport::SourceDir() + "/tests/data/cert/rich.der";
    std::string out = testsupport::RunCommand("openssl x509 -inform DER -in '" + path +
                                           "' -noout -serial -dates -dateopt iso_8601 2>/dev/null");
    EXPECT_EQ(HexOf(cert.f.serialNumber), After(out, "serial"));
    EXPECT_EQ(IsoTime(cert.f.notBefore), After(out, "notBefore"));
    EXPECT_EQ(IsoTime(cert.f.notAfter), After(out, "notAfter"));
}
#endif
