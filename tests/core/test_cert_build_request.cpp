// Certification requests both ways with OpenSSL (ours pass req -verify,
// OpenSSL's decode), the request decoder's refusals, and signed public keys
// with a challenge made by openssl spkac.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/text/text.h"
#include "core/x509/certificate_builder.h"
#include "core/x509/certification_request.h"
#include "core/x509/signed_public_key_and_challenge.h"
#include "tests/support/test_cert_build_util.h"
#include "tests/support/test_cert_util.h"

namespace {

using namespace testsupport::cert_build;
using testsupport::cert::Cat;
using testsupport::cert::SlotText;
using testsupport::cert::Tlv;

class CertificationRequest : public WorkFilesTest {};
class SignedPublicKeyAndChallenge : public WorkFilesTest {};

const Bytes kVersion0 = {0x00};
const RsaPublicKey kNoKey = {};

// Everything one DecodeCertificationRequestInfo call hands out, released on
// destruction.
struct DecodedRequest {
    ByteBuffer version = {nullptr, 0};
    NameTable subject;
    int keyAlgorithm = 0;
    RsaPublicKey publicKey = {};
    const unsigned char* start = nullptr;
    ExtensionTable attributes;
    DERCursor cursor = {};
    std::size_t result = 0;

    explicit DecodedRequest(const Bytes& der, std::size_t length)
    {
        InitDERReader(&cursor, der.data(), length);
        result =
            DecodeCertificationRequestInfo(&cursor, &version, &subject, &keyAlgorithm, &publicKey, &start, &attributes);
    }
    ~DecodedRequest()
    {
        FreeItems(subject.slots, kNameSlots);
        FreeItems(attributes.slots, kExtensionSlots);
    }
    DecodedRequest(const DecodedRequest&) = delete;
    DecodedRequest& operator=(const DecodedRequest&) = delete;

    bool Empty() const
    {
        for (const ByteBuffer& slot : subject.slots)
            if (slot.pointer) return false;
        for (const ByteBuffer& slot : attributes.slots)
            if (slot.pointer) return false;
        return version.pointer == nullptr && std::memcmp(&publicKey, &kNoKey, sizeof publicKey) == 0;
    }
};

Bytes RequestInfo(const NameTable& subject, const RsaPublicKey& key, const ExtensionTable* attributes)
{
    Bytes buffer(kCertificateBuildSize);
    DERCursor cursor;
    InitDERWriter(&cursor, buffer.data(), buffer.size());
    std::size_t length =
        EncodeCertificationRequestInfo(&cursor, View(kVersion0), &subject, kAlgRsaEncryption, &key, attributes);
    EXPECT_GT(length, 0u);
    return Bytes(buffer.end() - static_cast<long>(length), buffer.end());
}

// CertificationRequest ::= SEQUENCE { info, AlgorithmIdentifier, BIT STRING }.
Bytes SignedRequest(const Bytes& info, int algorithm, const RsaPrivateKey& key)
{
    DigestInfoWork work;
    unsigned char signature[kRsaMaxModulusBytes];
    std::size_t signatureLength = 0;
    EXPECT_GT(SignDigestInfo(&work, algorithm, info.data(), info.size(), &key, signature, &signatureLength), 0u);
    Bytes out(kCertificateBuildSize);
    std::size_t length = 0;
    EXPECT_GT(EncodeSignedStructure(out.data(), out.size(), &length, View(info), ByteBuffer{signature, signatureLength},
                                    algorithm),
              0u);
    out.resize(length);
    return out;
}

// The info inside a CertificationRequest.
Bytes InfoOf(const Bytes& request)
{
    DERCursor reader = der_reader::Reader(request.data(), request.size()), outer;
    der_reader::Element info;
    if (!der_reader::Enter(&reader, kTagSequence, &outer) || !der_reader::ReadAny(&outer, &info)) return {};
    return Bytes(info.whole.pointer, info.whole.pointer + info.whole.length);
}

// openssl req -verify of OpenSSL 3.0 exits 0 whatever it finds; x509 -req
// fails on a request whose self-signature does not verify.
int SelfSignatureCheck(const std::string& file)
{
    return Openssl("x509 -req -inform DER -in " + file + " -signkey " + testsupport::Pki("signer.key.pem") + " -noout");
}

struct Requester {
    PkiKey key{"signer"};
    Names name{{kNameCountry, "ES"}, {kNameOrganization, "Norvane Test"}, {kNameCommonName, "Requester"}};
};

TEST_F(CertificationRequest, OpensslVerifiesOurRequests)
{
    Requester requester;
    Table attributes{{kExtChallengePassword, Text("secret123")}, {kExtEmailAddress, Text("req@example.test")}};
    struct Case {
        const char* name;
        int algorithm;
        const ExtensionTable* attributes;
        const char* printed;
    } cases[] = {
        {"md5-attributes", kAlgMD5WithRsa, &attributes.table, "secret123"},
        {"sha1-attributes", kAlgSHA1WithRsa, &attributes.table, "req@example.test"},
        {"sha1-none", kAlgSHA1WithRsa, nullptr, "Attributes:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes info = RequestInfo(requester.name.table, requester.key.publicKey, c.attributes);
        if (!c.attributes) {
            // PKCS#10's attributes element is there even when empty.
            EXPECT_EQ(Bytes(info.end() - 2, info.end()), (Bytes{0xA0, 0x00}));
        }
        Bytes request = SignedRequest(info, c.algorithm, requester.key.privateKey);
        const std::string file = Save(std::string(c.name) + ".csr.der", request);
        EXPECT_EQ(Openssl("req -inform DER -in " + file + " -verify -noout"), 0);
        EXPECT_EQ(SelfSignatureCheck(file), 0);
        const std::string text = WorkFile(std::string(c.name) + ".csr.txt");
        std::remove(text.c_str());
        ASSERT_EQ(Openssl("req -inform DER -in " + file + " -noout -text -out " + text), 0);
        const std::string printed = ReadText(text);
        EXPECT_NE(printed.find("Subject: O = Norvane Test, CN = Requester, C = ES"), std::string::npos) << printed;
        EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;

        request[request.size() - 5] ^= 0x01;  // in the signature
        EXPECT_NE(SelfSignatureCheck(Save(std::string(c.name) + ".bad.der", request)), 0);

        DecodedRequest decoded(info, info.size());
        ASSERT_EQ(decoded.result, info.size());
        EXPECT_EQ(SlotText(decoded.attributes.slots[kExtChallengePassword]), c.attributes ? "secret123" : "");
        EXPECT_EQ(SlotText(decoded.subject.slots[kNameCommonName]), "Requester");
    }
}

// Requests from openssl req -new: without attributes ([0] empty) and with a
// challengePassword and an extensionRequest holding subjectAltName.
TEST_F(CertificationRequest, DecodesOpensslRequests)
{
    Requester requester;
    const std::string base = "[ req ]\ndistinguished_name = dn\nprompt = no\nstring_mask = default\nutf8 = no\n";
    const std::string dn = "[ dn ]\nC = ES\nO = Norvane Test\nCN = Requester\n";
    struct Case {
        const char* name;
        std::string config;
        const char* options;
        const char* password;
        Bytes altName;
    } cases[] = {
        {"plain", base + dn, "", "", {}},
        {"attributes", base + "attributes = attrs\n" + dn + "[ attrs ]\nchallengePassword = secret123\n",
         " -addext subjectAltName=DNS:req.example", "secret123",
         Cat({testsupport::FromHex("300D820B"), Text("req.example")})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string config = WorkFile(std::string(c.name) + ".cnf");
        ASSERT_TRUE(testsupport::WriteFile(config, c.config.data(), c.config.size()));
        const std::string out = WorkFile(std::string(c.name) + ".openssl.csr");
        std::remove(out.c_str());
        ASSERT_EQ(Openssl("req -new -config " + config + " -key " + testsupport::Pki("signer.key.pem") + c.options +
                          " -outform DER -out " + out),
                  0);
        const Bytes info = InfoOf(testsupport::ReadFile(out));
        ASSERT_FALSE(info.empty());
        DecodedRequest decoded(info, info.size());
        ASSERT_EQ(decoded.result, info.size());
        EXPECT_EQ(decoded.cursor.position, info.size());
        EXPECT_EQ(decoded.start, info.data());
        EXPECT_EQ(SlotText(decoded.version), SlotText(View(kVersion0)));
        EXPECT_EQ(SlotText(decoded.subject.slots[kNameCountry]), "ES");
        EXPECT_EQ(SlotText(decoded.subject.slots[kNameOrganization]), "Norvane Test");
        EXPECT_EQ(SlotText(decoded.subject.slots[kNameCommonName]), "Requester");
        EXPECT_EQ(decoded.keyAlgorithm, kAlgRsaEncryption);
        EXPECT_EQ(std::memcmp(&decoded.publicKey, &requester.key.publicKey, sizeof decoded.publicKey), 0);
        EXPECT_EQ(SlotText(decoded.attributes.slots[kExtChallengePassword]), c.password);
        EXPECT_EQ(SlotText(decoded.attributes.slots[kExtSubjectAltName]), SlotText(View(c.altName)));
    }
}

// Crafted around the parts of a valid info: a clean failure (cursor where
// it was, nothing handed out) or the attributes read as they are.
TEST_F(CertificationRequest, DecoderRefusesMalformedInfo)
{
    Requester requester;
    Table attributes{{kExtChallengePassword, Text("secret123")}};
    const Bytes info = RequestInfo(requester.name.table, requester.key.publicKey, &attributes.table);
    DERCursor reader = der_reader::Reader(info.data(), info.size()), inner;
    ASSERT_TRUE(der_reader::Enter(&reader, kTagSequence, &inner));
    der_reader::Element version, name, key, set;
    ASSERT_TRUE(der_reader::ReadAny(&inner, &version) && der_reader::ReadAny(&inner, &name) &&
                der_reader::ReadAny(&inner, &key) && der_reader::ReadAny(&inner, &set));
    auto whole = [](const der_reader::Element& e) { return Bytes(e.whole.pointer, e.whole.pointer + e.whole.length); };
    auto content = [](const der_reader::Element& e) {
        return Bytes(e.content.pointer, e.content.pointer + e.content.length);
    };
    const Bytes head = Cat({whole(version), whole(name), whole(key)});
    const Bytes attributeList = content(set);
    // [0] announcing three bytes more than its SEQUENCE holds; the three
    // bytes follow the SEQUENCE.
    Bytes overrun =
        Tlv(0x30, Cat({head, Bytes{0xA0, static_cast<unsigned char>(attributeList.size() + 3)}, attributeList}));
    overrun.insert(overrun.end(), {0x05, 0x00, 0x00});
    struct Case {
        const char* what;
        Bytes der;
        bool accepted;
        const char* password;
    } cases[] = {
        {"attributes overrun the structure", overrun, false, ""},
        {"bytes after the attributes", Tlv(0x30, Cat({head, whole(set), Bytes{0x05, 0x00}})), false, ""},
        {"neither [0] nor SET after the key", Tlv(0x30, Cat({head, Bytes{0x04, 0x00}})), false, ""},
        {"truncated", Bytes(info.begin(), info.end() - 1), false, ""},
        {"no version", Tlv(0x30, Cat({whole(name), whole(key), whole(set)})), false, ""},
        {"unsupported key", Tlv(0x30, Cat({whole(version), whole(name), Tlv(0x30, Bytes{0x05, 0x00}), whole(set)})),
         false, ""},
        {"no attributes element", Tlv(0x30, head), true, ""},
        {"SET in place of [0]", Tlv(0x30, Cat({head, Tlv(0x31, attributeList)})), true, "secret123"},
    };
    for (const Case& c : cases) {
        DecodedRequest decoded(c.der, c.der.size());
        const std::size_t expected = c.accepted ? c.der.size() : 0;
        EXPECT_EQ(decoded.result, expected) << c.what;
        EXPECT_EQ(decoded.cursor.position, expected) << c.what;
        if (!c.accepted) {
            EXPECT_TRUE(decoded.Empty()) << c.what;
        }
        EXPECT_EQ(SlotText(decoded.attributes.slots[kExtChallengePassword]), c.password) << c.what;
    }
}

TEST_F(CertificationRequest, EncoderFailsCleanly)
{
    Requester requester;
    Bytes small(100);
    DERCursor cursor;
    InitDERWriter(&cursor, small.data(), small.size());
    EXPECT_EQ(EncodeCertificationRequestInfo(&cursor, View(kVersion0), &requester.name.table, kAlgRsaEncryption,
                                             &requester.key.publicKey, nullptr),
              0u);
    EXPECT_EQ(cursor.position, small.size());
    Bytes room(kCertificateBuildSize);
    InitDERWriter(&cursor, room.data(), room.size());
    const Bytes noVersion;
    EXPECT_EQ(EncodeCertificationRequestInfo(&cursor, View(noVersion), &requester.name.table, kAlgRsaEncryption,
                                             &requester.key.publicKey, nullptr),
              0u);
    Table unnamedSlot{{kExtensionKinds, Text("no identifier")}};
    EXPECT_EQ(EncodeCertificationRequestInfo(&cursor, View(kVersion0), &requester.name.table, kAlgRsaEncryption,
                                             &requester.key.publicKey, &unnamedSlot.table),
              0u);
    EXPECT_EQ(cursor.position, room.size());
}

// SPKAC from openssl spkac, base64 taken off by openssl base64.
Bytes OpensslSpkac(const std::string& name, const std::string& options)
{
    const std::string text = WorkFile(name + ".spkac");
    std::remove(text.c_str());
    EXPECT_EQ(
        Openssl("spkac -key " + testsupport::Pki("signer.key.pem") + " -challenge hello " + options + " -out " + text),
        0);
    std::string line = ReadText(text);
    const std::string prefix = "SPKAC=";
    if (line.compare(0, prefix.size(), prefix) != 0) return {};
    line = line.substr(prefix.size());
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::string der = WorkFile(name + ".spkac.der");
    std::remove(der.c_str());
    EXPECT_EQ(Openssl("base64 -d -A -in " + Save(name + ".spkac.b64", Text(line)) + " -out " + der), 0);
    return testsupport::ReadFile(der);
}

TEST_F(SignedPublicKeyAndChallenge, ReadsOpensslSpkac)
{
    PkiKey signer("signer");
    struct Case {
        const char* name;
        const char* options;
        int algorithm;
    } cases[] = {{"md5", "", kAlgMD5WithRsa}, {"sha1", "-digest sha1", kAlgSHA1WithRsa}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes der = OpensslSpkac(c.name, c.options);
        ASSERT_GT(der.size(), 300u);
        // The two trailing flips land in the signature, the other in the challenge.
        const std::size_t challenge = std::string(der.begin(), der.end()).find("hello");
        ASSERT_NE(challenge, std::string::npos);
        struct Flip {
            std::size_t at;
            int valid;
        } flips[] = {{der.size(), 1}, {der.size() - 1, 0}, {der.size() - 200, 0}, {challenge, 0}};
        for (const Flip& f : flips) {
            Bytes input = der;
            if (f.at < input.size()) input[f.at] ^= 0x01;
            DERCursor cursor;
            InitDERReader(&cursor, input.data(), input.size());
            const unsigned char* start = nullptr;
            int algorithm = 0, valid = -1;
            RsaPublicKey key = {};
            EXPECT_EQ(DecodeSignedPublicKeyAndChallenge(&cursor, &start, &algorithm, &key, &valid), input.size())
                << f.at;
            EXPECT_EQ(valid, f.valid) << f.at;
            EXPECT_EQ(algorithm, c.algorithm);
            EXPECT_EQ(std::memcmp(&key, &signer.publicKey, sizeof key), 0);
            // The caller's cursor is left after the structure, intact.
            EXPECT_EQ(cursor.buffer, input.data());
            EXPECT_EQ(cursor.size, input.size());
            EXPECT_EQ(cursor.position, input.size());

            DERCursor inner;
            InitDERReader(&inner, start, input.size() - static_cast<std::size_t>(start - input.data()));
            const unsigned char* innerStart = nullptr;
            int keyAlgorithm = 0;
            ByteBuffer text = {nullptr, 0};
            ASSERT_GT(DecodePublicKeyAndChallenge(&inner, &keyAlgorithm, &key, &innerStart, &text), 0u);
            EXPECT_EQ(innerStart, start);
            EXPECT_EQ(keyAlgorithm, kAlgRsaEncryption);
            EXPECT_EQ(SlotText(text), f.at == challenge ? "iello" : "hello");
        }
    }
}

TEST_F(SignedPublicKeyAndChallenge, RefusesMalformedInput)
{
    Bytes der = OpensslSpkac("malformed", "");
    ASSERT_GT(der.size(), 300u);
    DERCursor reader = der_reader::Reader(der.data(), der.size()), outer;
    ASSERT_TRUE(der_reader::Enter(&reader, kTagSequence, &outer));
    der_reader::Element signedPart, algorithm, signature;
    ASSERT_TRUE(der_reader::ReadAny(&outer, &signedPart) && der_reader::ReadAny(&outer, &algorithm) &&
                der_reader::ReadAny(&outer, &signature));
    auto whole = [](const der_reader::Element& e) { return Bytes(e.whole.pointer, e.whole.pointer + e.whole.length); };
    Bytes unusedBits = whole(signature);
    unusedBits[4] = 0x01;  // 03 82 01 01 | unused-bits byte
    const Bytes cases[] = {
        Bytes(der.begin(), der.end() - 1),
        Tlv(0x30, Cat({whole(signedPart), whole(algorithm), whole(signature), Bytes{0x05, 0x00}})),
        Tlv(0x30, Cat({whole(signedPart), whole(algorithm)})),
        Tlv(0x30, Cat({whole(signedPart), whole(algorithm), unusedBits})),
        Tlv(0x30, Cat({whole(signedPart), Tlv(0x30, Bytes{0x06, 0x01, 0x2A}), whole(signature)})),
        Tlv(0x30, Cat({Tlv(0x30, Bytes{0x16, 0x00}), whole(algorithm), whole(signature)})),
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        DERCursor cursor;
        InitDERReader(&cursor, cases[i].data(), cases[i].size());
        const unsigned char* start = nullptr;
        int code = 0, valid = -1;
        RsaPublicKey key = {};
        EXPECT_EQ(DecodeSignedPublicKeyAndChallenge(&cursor, &start, &code, &key, &valid), 0u) << i;
        EXPECT_EQ(valid, 0) << i;
        EXPECT_EQ(cursor.position, 0u) << i;
        EXPECT_EQ(std::memcmp(&key, &kNoKey, sizeof key), 0) << i;
    }
}

}  // namespace
