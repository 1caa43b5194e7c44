// Certificates we build, judged by OpenSSL (verify against the issuer's
// certificate, parse with x509 -text) and read back by our own decoder; the
// TBSCertificate's layout and the clean failures of the builders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/x509/certificate.h"
#include "core/x509/certificate_builder.h"
#include "tests/support/test_cert_build_util.h"
#include "tests/support/test_cert_util.h"

namespace {

using namespace testsupport::cert_build;
using testsupport::cert::DecodedCertificate;
using testsupport::cert::SlotText;

class CertificateBuild : public WorkFilesTest {};
class SignedStructure : public WorkFilesTest {};

const Bytes kCaBasicConstraints = testsupport::FromHex("0101FF 0405 30030101FF");  // critical, CA:TRUE
const Bytes kCaKeyUsage = testsupport::FromHex("0101FF 0404 03020106");            // keyCertSign, cRLSign
const Bytes kLeafKeyUsage = testsupport::FromHex("0101FF 0404 03020780");          // digitalSignature

Bytes AltName()
{
    Bytes names = testsupport::FromHex("300E820C");
    for (char c : std::string("leaf.example")) names.push_back(static_cast<unsigned char>(c));
    return names;
}

struct Authority {
    PkiKey key{"ca"};
    Names name{{kNameOrganization, "Norvane Test"}, {kNameCommonName, "Builder CA"}, {kNameCountry, "ES"}};
};

struct Leaf {
    PkiKey key{"signer"};
    Names name{{kNameOrganization, "Norvane Test"},
               {kNameOrganizationalUnit, "Tavomir"},
               {kNameCommonName, "Built Leaf"},
               {kNameEmailAddress, "leaf@example.test"}};
};

CertificateToSign Fields(const Bytes& serial, int algorithm, const NameTable& issuer, const NameTable& subject,
                         const RsaPublicKey& key)
{
    return CertificateToSign{View(serial),      algorithm, &issuer,           "240101000000Z",
                             "20491231235959Z", &subject,  kAlgRsaEncryption, &key};
}

Bytes Sign(const CertificateToSign& fields, const RsaPrivateKey& key, const ExtensionTable* extensions)
{
    Bytes out(kCertificateBuildSize);
    std::size_t length = 0;
    EXPECT_EQ(EncodeSignedCertificate(out.data(), out.size(), &length, fields, &key, extensions), 1);
    out.resize(length);
    return out;
}

Bytes Tbs(const CertificateToSign& fields, const ExtensionTable* extensions)
{
    Bytes buffer(kCertificateBuildSize);
    DERCursor cursor;
    InitDERWriter(&cursor, buffer.data(), buffer.size());
    std::size_t length = EncodeTBSCertificate(&cursor, fields, extensions);
    return Bytes(buffer.end() - static_cast<long>(length), buffer.end());
}

// The self-signed authority every leaf below chains to: version 3, a CA.
Bytes AuthorityCertificate(const Authority& ca)
{
    Table extensions{{kExtBasicConstraints, kCaBasicConstraints}, {kExtKeyUsage, kCaKeyUsage}};
    const Bytes serial = {0x01};
    return Sign(Fields(serial, kAlgSHA1WithRsa, ca.name.table, ca.name.table, ca.key.publicKey), ca.key.privateKey,
                &extensions.table);
}

// BuildCertificate with an MD5 signature on the wrapper.
Bytes Build(const CertificateToSign& fields, const Bytes& version, const RsaPrivateKey& key,
            const ExtensionTable& attributes)
{
    Bytes out(kCertificateBuildSize);
    std::size_t length = 0;
    EXPECT_EQ(
        BuildCertificate(out.data(), out.size(), &length, View(version), fields, &key, &attributes, kAlgMD5WithRsa), 1);
    out.resize(length);
    return out;
}

// SEQUENCE { version, Certificate, SET attributes }, exactly.
bool ReadWrapperBody(DERCursor* reader, der_reader::Element* certificate, der_reader::Element* set)
{
    DERCursor inner;
    der_reader::Element version;
    return der_reader::Enter(reader, kTagSequence, &inner) && der_reader::ReadAny(&inner, &version) &&
           version.tag == kTagInteger && der_reader::ReadAny(&inner, certificate) && certificate->tag == kTagSequence &&
           der_reader::ReadAny(&inner, set) && set->tag == kTagSet && der_reader::AtEnd(inner);
}

TEST_F(CertificateBuild, TbsVersionFollowsExtensions)
{
    Authority ca;
    Leaf leaf;
    const Bytes serial = {0x10, 0x02};
    CertificateToSign fields = Fields(serial, kAlgMD5WithRsa, ca.name.table, leaf.name.table, leaf.key.publicKey);
    Table empty{};
    Table lengthless{{kExtNetscapeComment, Bytes{}}};
    Table keyUsage{{kExtKeyUsage, kLeafKeyUsage}};
    const ExtensionTable* withoutData[] = {nullptr, &empty.table, &lengthless.table};
    for (const ExtensionTable* none : withoutData) {
        Bytes tbs = Tbs(fields, none);
        ASSERT_GT(tbs.size(), 8u);
        DERCursor reader = der_reader::Reader(tbs.data(), tbs.size()), body;
        ASSERT_TRUE(der_reader::Enter(&reader, kTagSequence, &body));
        EXPECT_EQ(der_reader::PeekTag(&body), kTagInteger) << "no [0] version";
        der_reader::Element element;
        int last = -1;
        while (der_reader::ReadAny(&body, &element)) last = element.tag;
        EXPECT_EQ(last, kTagSequence) << "the key info ends it, no [3]";
    }
    Bytes tbs = Tbs(fields, &keyUsage.table);
    ASSERT_GT(tbs.size(), 10u);
    std::size_t header = tbs[1] < 0x80 ? 2 : 2 + (tbs[1] & 0x7F);
    EXPECT_EQ(Bytes(tbs.begin() + static_cast<long>(header), tbs.begin() + static_cast<long>(header) + 5),
              testsupport::FromHex("A003020102"));
}

// The serial gets its sign byte in the DER, and the caller's item stays.
TEST_F(CertificateBuild, SerialNumberSignByte)
{
    Authority ca;
    struct Case {
        Bytes serial;
        Bytes integer;
    } cases[] = {
        {{0x8B, 0x7E}, testsupport::FromHex("0203008B7E")},
        {{0x00, 0x00, 0x05}, testsupport::FromHex("020105")},
        {{0x7F}, testsupport::FromHex("02017F")},
        {{0x00}, testsupport::FromHex("020100")},
    };
    for (const Case& c : cases) {
        CertificateToSign fields = Fields(c.serial, kAlgSHA1WithRsa, ca.name.table, ca.name.table, ca.key.publicKey);
        Bytes tbs = Tbs(fields, nullptr);
        DERCursor reader = der_reader::Reader(tbs.data(), tbs.size()), body;
        ASSERT_TRUE(der_reader::Enter(&reader, kTagSequence, &body));
        der_reader::Element integer;
        ASSERT_TRUE(der_reader::ReadAny(&body, &integer));
        EXPECT_EQ(Bytes(integer.whole.pointer, integer.whole.pointer + integer.whole.length), c.integer);
        EXPECT_EQ(fields.serialNumber.length, c.serial.size());
        EXPECT_EQ(fields.serialNumber.pointer, c.serial.data());
    }
}

// What we build chains to what we build, in OpenSSL's eyes, for each
// signature OpenSSL still checks; MD5 only below its security level.
TEST_F(CertificateBuild, OpensslVerifiesBuiltCertificates)
{
    Authority ca;
    Leaf leaf;
    const std::string caPem = SavePem("ca", AuthorityCertificate(ca));
    Table extensions{{kExtKeyUsage, kLeafKeyUsage},
                     {kExtSubjectAltName, AltName()},
                     {kExtNetscapeComment, Text("built by the tests")}};
    struct Case {
        const char* name;
        int algorithm;
        const char* openssl;
        bool withExtensions;
    } cases[] = {
        {"sha1-v1", kAlgSHA1WithRsa, "sha1WithRSAEncryption", false},
        {"sha1-v3", kAlgSHA1WithRsa, "sha1WithRSAEncryption", true},
        {"md5-v1", kAlgMD5WithRsa, "md5WithRSAEncryption", false},
        {"md5-v3", kAlgMD5WithRsa, "md5WithRSAEncryption", true},
    };
    const Bytes serial = {0x8B, 0x7E, 0x0F, 0x4C};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CertificateToSign fields = Fields(serial, c.algorithm, ca.name.table, leaf.name.table, leaf.key.publicKey);
        const std::string pem =
            SavePem(c.name, Sign(fields, ca.key.privateKey, c.withExtensions ? &extensions.table : nullptr));
        EXPECT_EQ(Openssl("verify -auth_level 0 -CAfile " + caPem + " " + pem), 0);
        const std::string text = WorkFile(std::string(c.name) + ".txt");
        std::remove(text.c_str());
        ASSERT_EQ(Openssl("x509 -noout -text -in " + pem + " -out " + text), 0);
        const std::string printed = ReadText(text);
        EXPECT_NE(printed.find(c.withExtensions ? "Version: 3 (0x2)" : "Version: 1 (0x0)"), std::string::npos);
        EXPECT_NE(printed.find(std::string("Signature Algorithm: ") + c.openssl), std::string::npos);
        EXPECT_NE(printed.find("(0x8b7e0f4c)"), std::string::npos) << printed;
        EXPECT_NE(printed.find("Not After : Dec 31 23:59:59 2049 GMT"), std::string::npos);
        EXPECT_NE(printed.find("CN = Built Leaf"), std::string::npos);
        if (c.withExtensions) {
            EXPECT_NE(printed.find("DNS:leaf.example"), std::string::npos);
            EXPECT_NE(printed.find("built by the tests"), std::string::npos);
        }
        // Signed by another key, the same certificate no longer verifies.
        PkiKey stranger("recipient");
        const std::string forged = SavePem(std::string(c.name) + "-forged", Sign(fields, stranger.privateKey, nullptr));
        EXPECT_NE(Openssl("verify -auth_level 0 -CAfile " + caPem + " " + forged), 0);
    }
}

// The test PKI's authority, made by OpenSSL, names C first: rebuilt from
// its decoded table the issuer comes out in EncodeName's order and OpenSSL
// finds no issuer; its Name as it stands chains.
TEST_F(CertificateBuild, ChainsToAnOpensslAuthorityThroughItsNameAsItStands)
{
    PkiKey caKey("ca");
    Leaf leaf;
    const Bytes caDer = testsupport::ReadFile(testsupport::Pki("ca.cert.der"));
    DecodedCertificate authority(caDer, nullptr);
    ASSERT_EQ(authority.result, 1);
    ByteBuffer caName = {nullptr, 0};
    ASSERT_TRUE(FindCertificateSubjectName(caDer.data(), caDer.size(), &caName));
    const Bytes serial = {0x77};
    CertificateToSign rebuilt =
        Fields(serial, kAlgSHA1WithRsa, authority.f.subject, leaf.name.table, leaf.key.publicKey);
    CertificateToSign asItStands = rebuilt;
    asItStands.issuer = nullptr;
    asItStands.issuerName = caName;
    const std::string caPem = testsupport::Pki("ca.cert.pem");
    EXPECT_NE(
        Openssl("verify -CAfile " + caPem + " " + SavePem("rebuilt-issuer", Sign(rebuilt, caKey.privateKey, nullptr))),
        0);
    Bytes chained = Sign(asItStands, caKey.privateKey, nullptr);
    EXPECT_EQ(Openssl("verify -CAfile " + caPem + " " + SavePem("verbatim-issuer", chained)), 0);
    DecodedCertificate decoded(chained, &caKey.publicKey);
    ASSERT_EQ(decoded.result, 1);
    EXPECT_EQ(decoded.f.signatureStatus, kSignatureValid);
    for (std::size_t slot = 0; slot < kNameSlots; ++slot)
        EXPECT_EQ(SlotText(decoded.f.issuer.slots[slot]), SlotText(authority.f.subject.slots[slot])) << slot;

    const Bytes notCertificates[] = {{}, {0x30, 0x00}, Bytes(caDer.begin(), caDer.begin() + 40)};
    for (const Bytes& bytes : notCertificates)
        EXPECT_FALSE(FindCertificateSubjectName(bytes.data(), bytes.size(), &caName));
}

// OpenSSL has no MD2 any more, and its MD4 DigestInfo names the wrong
// identifier (1.2.840.113549.2.3), so it refuses correct MD4 signatures: it
// recovers the signed DigestInfo instead, which must name the digest and
// carry the TBS's digest (MD4 by openssl dgst, MD2 by our known-answer
// tested digest).
TEST_F(CertificateBuild, Md2AndMd4SignaturesRecoveredByOpenssl)
{
    Authority ca;
    Leaf leaf;
    const std::string caPem = SavePem("ca-recover", AuthorityCertificate(ca));
    const std::string key = WorkFile("ca.pub.pem");
    std::remove(key.c_str());
    ASSERT_EQ(Openssl("x509 -in " + caPem + " -noout -pubkey -out " + key), 0);
    struct Case {
        const char* name;
        int algorithm;
        std::uint32_t digestType;
        const char* digestInfoPrefix;
    } cases[] = {
        {"md2", kAlgMD2WithRsa, kDigestMd2, "3020300C06082A864886F70D020205000410"},
        {"md4", kAlgMD4WithRsa, kDigestMd4, "3020300C06082A864886F70D020405000410"},
    };
    const Bytes serial = {0x42};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CertificateToSign fields = Fields(serial, c.algorithm, ca.name.table, leaf.name.table, leaf.key.publicKey);
        Bytes certificate = Sign(fields, ca.key.privateKey, nullptr);
        DERCursor reader = der_reader::Reader(certificate.data(), certificate.size()), body;
        ASSERT_TRUE(der_reader::Enter(&reader, kTagSequence, &body));
        der_reader::Element tbs, algorithm, bits;
        ASSERT_TRUE(der_reader::ReadAny(&body, &tbs) && der_reader::ReadAny(&body, &algorithm) &&
                    der_reader::ReadAny(&body, &bits));
        ASSERT_EQ(bits.tag, kTagBitString);
        const Bytes tbsBytes(tbs.whole.pointer, tbs.whole.pointer + tbs.whole.length);
        const std::string signature = Save(std::string(c.name) + ".sig",
                                           Bytes(bits.content.pointer + 1, bits.content.pointer + bits.content.length));
        const std::string recovered = WorkFile(std::string(c.name) + ".recovered");
        std::remove(recovered.c_str());
        ASSERT_EQ(Openssl("pkeyutl -verifyrecover -pubin -inkey " + key + " -in " + signature + " -out " + recovered),
                  0);
        Bytes digestInfo = testsupport::ReadFile(recovered);
        const Bytes prefix = testsupport::FromHex(c.digestInfoPrefix);
        ASSERT_EQ(digestInfo.size(), prefix.size() + 16);
        EXPECT_EQ(Bytes(digestInfo.begin(), digestInfo.begin() + static_cast<long>(prefix.size())), prefix);
        Bytes digest(kMaxDigestLength);
        std::size_t digestLength = 0;
        if (c.digestType == kDigestMd4) {
            const std::string out = WorkFile("md4.digest");
            std::remove(out.c_str());
            ASSERT_EQ(Openssl("dgst -md4 -provider legacy -provider default -binary -out " + out + " " +
                              Save("md4.tbs", tbsBytes)),
                      0);
            digest = testsupport::ReadFile(out);
        } else {
            ASSERT_EQ(DigestDataBlock(digest.data(), &digestLength, tbsBytes.data(), tbsBytes.size(), c.digestType), 0);
            digest.resize(digestLength);
        }
        EXPECT_EQ(Bytes(digestInfo.begin() + static_cast<long>(prefix.size()), digestInfo.end()), digest);

        DecodedCertificate decoded(certificate, &ca.key.publicKey);
        ASSERT_EQ(decoded.result, 1);
        EXPECT_EQ(decoded.f.signatureStatus, kSignatureValid);
        EXPECT_EQ(decoded.f.signatureAlgorithm, c.algorithm);
    }
}

TEST_F(CertificateBuild, DecoderReadsBackWhatWasBuilt)
{
    Authority ca;
    Leaf leaf;
    Table extensions{{kExtKeyUsage, kLeafKeyUsage},
                     {kExtSubjectAltName, AltName()},
                     {kExtNetscapeComment, Text("built by the tests")}};
    const Bytes serial = {0x8B, 0x7E, 0x0F, 0x4C};
    CertificateToSign fields = Fields(serial, kAlgSHA1WithRsa, ca.name.table, leaf.name.table, leaf.key.publicKey);
    Bytes certificate = Sign(fields, ca.key.privateKey, &extensions.table);

    DecodedCertificate decoded(certificate, &ca.key.publicKey);
    ASSERT_EQ(decoded.result, 1);
    EXPECT_EQ(decoded.f.signatureStatus, kSignatureValid);
    EXPECT_EQ(decoded.f.signatureAlgorithm, kAlgSHA1WithRsa);
    EXPECT_EQ(Bytes(decoded.f.serialNumber.pointer, decoded.f.serialNumber.pointer + decoded.f.serialNumber.length),
              serial);
    for (std::size_t slot = 0; slot < kNameSlots; ++slot) {
        EXPECT_EQ(SlotText(decoded.f.issuer.slots[slot]), SlotText(ca.name.table.slots[slot])) << slot;
        EXPECT_EQ(SlotText(decoded.f.subject.slots[slot]), SlotText(leaf.name.table.slots[slot])) << slot;
    }
    EXPECT_STREQ(decoded.f.notBefore, "240101000000Z");
    EXPECT_STREQ(decoded.f.notAfter, "20491231235959Z");
    EXPECT_EQ(std::memcmp(&decoded.f.publicKey, &leaf.key.publicKey, sizeof leaf.key.publicKey), 0);
    EXPECT_EQ(SlotText(decoded.f.extensions.slots[kExtKeyUsage]), SlotText(View(kLeafKeyUsage)));
    EXPECT_EQ(SlotText(decoded.f.extensions.slots[kExtNetscapeComment]), "built by the tests");
    // The alternative name comes back as the extension's value, as decoded
    // from any certificate.
    Bytes wrapped = testsupport::cert::Tlv(0x04, AltName());
    EXPECT_EQ(SlotText(decoded.f.extensions.slots[kExtSubjectAltName]), SlotText(View(wrapped)));

    DecodedCertificate stranger(certificate, &leaf.key.publicKey);
    ASSERT_EQ(stranger.result, 1);
    EXPECT_EQ(stranger.f.signatureStatus, kSignatureInvalid);
}

// The signed wrapper with an attribute set: our decoder checks the outer
// signature and hands the attributes out; OpenSSL verifies the inner
// certificate. challengePassword alone gives a plain certificate.
TEST_F(CertificateBuild, WrapperCarriesAttributes)
{
    Authority ca;
    Leaf leaf;
    const std::string caPem = SavePem("ca-wrapper", AuthorityCertificate(ca));
    const Bytes serial = {0x33};
    const Bytes version = {0x00};
    CertificateToSign fields = Fields(serial, kAlgSHA1WithRsa, ca.name.table, leaf.name.table, leaf.key.publicKey);
    fields.keyAlgorithm = kAlgMD5WithRsa;  // the wrapper's inner certificate always names rsaEncryption
    Table attributes{{kExtEmailAddress, Text("leaf@example.test")},
                     {kExtChallengePassword, Text("secret")},
                     {kExtNetscapeComment, Text("wrapped")}};
    Bytes out = Build(fields, version, ca.key.privateKey, attributes.table);

    DecodedCertificate decoded(out, &ca.key.publicKey);
    ASSERT_EQ(decoded.result, 1);
    EXPECT_EQ(decoded.f.signatureStatus, kSignatureValid);
    EXPECT_EQ(decoded.f.signatureAlgorithm, kAlgMD5WithRsa);
    EXPECT_EQ(SlotText(decoded.f.wrapperVersion), SlotText(View(version)));
    EXPECT_EQ(SlotText(decoded.f.extensions.slots[kExtEmailAddress]), "leaf@example.test");
    EXPECT_EQ(SlotText(decoded.f.extensions.slots[kExtNetscapeComment]), "wrapped");
    EXPECT_EQ(decoded.f.extensions.slots[kExtChallengePassword].pointer, nullptr);
    EXPECT_EQ(SlotText(decoded.f.subject.slots[kNameCommonName]), "Built Leaf");

    DERCursor reader = der_reader::Reader(out.data(), out.size()), wrapper;
    ASSERT_TRUE(der_reader::Enter(&reader, kTagSequence, &wrapper));
    der_reader::Element certificate, set;
    ASSERT_TRUE(ReadWrapperBody(&wrapper, &certificate, &set));
    const std::string pem =
        SavePem("wrapped", Bytes(certificate.whole.pointer, certificate.whole.pointer + certificate.whole.length));
    EXPECT_EQ(Openssl("verify -CAfile " + caPem + " " + pem), 0);
    const std::string text = WorkFile("wrapped.txt");
    std::remove(text.c_str());
    ASSERT_EQ(Openssl("x509 -noout -text -in " + pem + " -out " + text), 0);
    EXPECT_NE(ReadText(text).find("Public Key Algorithm: rsaEncryption"), std::string::npos);

    Table passwordOnly{{kExtChallengePassword, Text("secret")}};
    Bytes plain = Build(fields, version, ca.key.privateKey, passwordOnly.table);
    DecodedCertificate plainDecoded(plain, &ca.key.publicKey);
    ASSERT_EQ(plainDecoded.result, 1);
    EXPECT_EQ(plainDecoded.f.wrapperVersion.pointer, nullptr);
    EXPECT_EQ(plainDecoded.f.signatureStatus, kSignatureValid);
    EXPECT_EQ(plainDecoded.f.signatureAlgorithm, kAlgSHA1WithRsa);
}

// The second form signs the inner certificate with the attributes as its
// extensions as well.
TEST_F(CertificateBuild, WrapperBodyWithAttributesAsExtensions)
{
    Authority ca;
    Leaf leaf;
    const Bytes serial = {0x34};
    const Bytes version = {0x01};
    CertificateToSign fields = Fields(serial, kAlgSHA1WithRsa, ca.name.table, leaf.name.table, leaf.key.publicKey);
    Table attributes{{kExtNetscapeComment, Text("both")}};
    Bytes plainBody(kCertificateBuildSize), extendedBody(kCertificateBuildSize);
    std::size_t plainLength = 0, extendedLength = 0;
    ASSERT_GT(EncodeCertificateWithAttributes(plainBody.data(), plainBody.size(), &plainLength, View(version), fields,
                                              &ca.key.privateKey, &attributes.table),
              0u);
    ASSERT_GT(EncodeCertificateWithAttributesAsExtensions(extendedBody.data(), extendedBody.size(), &extendedLength,
                                                          View(version), fields, &ca.key.privateKey, &attributes.table),
              0u);
    for (auto [body, length, version3] :
         {std::tuple{&plainBody, plainLength, false}, std::tuple{&extendedBody, extendedLength, true}}) {
        DERCursor reader = der_reader::Reader(body->data(), length);
        der_reader::Element certificate, set;
        ASSERT_TRUE(ReadWrapperBody(&reader, &certificate, &set));
        EXPECT_TRUE(der_reader::AtEnd(reader));
        DecodedCertificate decoded(
            Bytes(certificate.whole.pointer, certificate.whole.pointer + certificate.whole.length), &ca.key.publicKey);
        ASSERT_EQ(decoded.result, 1);
        EXPECT_EQ(decoded.f.signatureStatus, kSignatureValid);
        EXPECT_EQ(SlotText(decoded.f.extensions.slots[kExtNetscapeComment]), version3 ? "both" : "");
    }
}

// Outputs that do not fit, missing inputs and unknown algorithms fail with
// nothing written.
TEST_F(CertificateBuild, FailuresAreClean)
{
    Authority ca;
    Leaf leaf;
    const Bytes serial = {0x01};
    CertificateToSign good = Fields(serial, kAlgSHA1WithRsa, ca.name.table, leaf.name.table, leaf.key.publicKey);
    const std::size_t needed = Sign(good, ca.key.privateKey, nullptr).size();

    const std::string huge(3000, 'x');
    Names bigSubject{{kNameCommonName, huge.c_str()}, {kNameOrganization, huge.c_str()}};
    const Bytes noSerial;
    const std::string longTime = "20491231235959.123Z";
    struct Case {
        const char* what;
        CertificateToSign fields;
        const RsaPrivateKey* key;
        std::size_t capacity;
    } cases[] = {
        {"capacity one short", good, &ca.key.privateKey, needed - 1},
        {"no key", good, nullptr, kCertificateBuildSize},
        {"TBS beyond 6144 bytes", Fields(serial, kAlgSHA1WithRsa, ca.name.table, bigSubject.table, leaf.key.publicKey),
         &ca.key.privateKey, kCertificateBuildSize * 2},
        {"empty serial", Fields(noSerial, kAlgSHA1WithRsa, ca.name.table, leaf.name.table, leaf.key.publicKey),
         &ca.key.privateKey, kCertificateBuildSize},
        {"not a signature algorithm",
         Fields(serial, kAlgRsaEncryption, ca.name.table, leaf.name.table, leaf.key.publicKey), &ca.key.privateKey,
         kCertificateBuildSize},
        {"time text too long", good, &ca.key.privateKey, kCertificateBuildSize},
        {"no issuer", good, &ca.key.privateKey, kCertificateBuildSize},
    };
    cases[5].fields.notAfter = longTime.c_str();
    cases[6].fields.issuer = nullptr;
    for (const Case& c : cases) {
        Bytes out(c.capacity, 0xEE);
        std::size_t length = 1234;
        EXPECT_EQ(EncodeSignedCertificate(out.data(), out.size(), &length, c.fields, c.key, nullptr), 0) << c.what;
        EXPECT_EQ(length, 0u) << c.what;
        EXPECT_EQ(out, Bytes(c.capacity, 0xEE)) << c.what;
        EXPECT_EQ(EncodeSignedCertificateAlt(out.data(), out.size(), &length, c.fields, c.key, nullptr), 0) << c.what;
    }

    // The TBS writer leaves the cursor where it was when it runs out of room.
    Bytes small(64);
    DERCursor cursor;
    InitDERWriter(&cursor, small.data(), small.size());
    EXPECT_EQ(EncodeTBSCertificate(&cursor, good, nullptr), 0u);
    EXPECT_EQ(cursor.position, small.size());

    // Without attributes besides challengePassword there is no wrapper body.
    Table passwordOnly{{kExtChallengePassword, Text("secret")}};
    const Bytes version = {0x00};
    Bytes out(kCertificateBuildSize);
    std::size_t length = 1;
    EXPECT_EQ(EncodeCertificateWithAttributes(out.data(), out.size(), &length, View(version), good, &ca.key.privateKey,
                                              &passwordOnly.table),
              0u);
    EXPECT_EQ(length, 0u);
}

// A null key stops after the TBS, which lies at the end of the TBS buffer.
TEST_F(CertificateBuild, SignedCertificateIntoStopsAfterTbsWithoutKey)
{
    Authority ca;
    const Bytes serial = {0x05};
    CertificateToSign fields = Fields(serial, kAlgSHA1WithRsa, ca.name.table, ca.name.table, ca.key.publicKey);
    Bytes tbs(kCertificateBuildSize), out(kCertificateBuildSize);
    DigestInfoWork work;
    std::size_t length =
        EncodeSignedCertificateInto(&work, out.data(), out.size(), fields, nullptr, tbs.data(), tbs.size(), nullptr);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(Bytes(tbs.end() - static_cast<long>(length), tbs.end()), Tbs(fields, nullptr));
    EXPECT_EQ(out, Bytes(kCertificateBuildSize, 0));
}

// SEQUENCE { body, AlgorithmIdentifier, BIT STRING } written out by hand.
TEST_F(SignedStructure, EncodesAndRefusesBadSizes)
{
    const Bytes body = {0x05, 0x00};
    const Bytes signature = {0xAB};
    Bytes out(64);
    std::size_t length = 0;
    ASSERT_EQ(EncodeSignedStructure(out.data(), out.size(), &length, View(body), View(signature), kAlgMD5WithRsa), 23u);
    out.resize(length);
    EXPECT_EQ(out, testsupport::FromHex("3015 0500 300D06092A864886F70D0101040500 030200AB"));

    const Bytes maximal(256, 0x5A), tooLong(257, 0x5A), empty, bigBody(6000, 0x01);
    struct Case {
        const char* what;
        const Bytes& body;
        const Bytes& signature;
        int algorithm;
        std::size_t capacity;
        std::size_t result;
    } cases[] = {
        {"256-byte signature", body, maximal, kAlgSHA1WithRsa, 512, 4 + 2 + 15 + 4 + 257},
        {"257-byte signature", body, tooLong, kAlgSHA1WithRsa, 512, 0},
        {"empty signature", body, empty, kAlgSHA1WithRsa, 512, 0},
        {"empty body", empty, signature, kAlgSHA1WithRsa, 512, 0},
        {"unknown algorithm", body, signature, 99, 512, 0},
        {"beyond 6144 bytes", bigBody, maximal, kAlgSHA1WithRsa, 8192, 0},
        {"capacity short", body, signature, kAlgMD5WithRsa, 20, 0},
    };
    for (const Case& c : cases) {
        Bytes buffer(c.capacity);
        std::size_t written = 99;
        EXPECT_EQ(
            EncodeSignedStructure(buffer.data(), buffer.size(), &written, View(c.body), View(c.signature), c.algorithm),
            c.result)
            << c.what;
        EXPECT_EQ(written, c.result) << c.what;
    }
}

}  // namespace
