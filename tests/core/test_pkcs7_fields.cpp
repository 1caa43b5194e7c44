#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/oid.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "tests/support/test_der_util.h"

namespace {

using testsupport::FromHex;
using Bytes = std::vector<unsigned char>;

ByteBuffer View(Bytes& bytes) { return ByteBuffer{bytes.data(), bytes.size()}; }
std::string Hex(const ByteBuffer& view) { return testsupport::ToHex(view.pointer, view.length); }
std::string Hex(const char* hex)
{
    const Bytes bytes = FromHex(hex);
    return testsupport::ToHex(bytes.data(), bytes.size());
}

#ifndef _WIN32
// The element `openssl asn1parse -genconf` makes from the config, as bytes
// that stay while the test reads views into them.
Bytes& MadeByOpenSsl(const char* name, const char* config)
{
    static Bytes der;
    der = testsupport::der::GenConf(name, config);
    return der;
}

// Made by OpenSSL: signer version 1 by issuer and serial number, SHA-256,
// both checked attributes and one more, an unsigned attribute.
const char kSignerConfig[] = R"(asn1 = SEQUENCE:signer
[signer]
version = INTEGER:1
sid = SEQUENCE:issuerAndSerial
digest = SEQUENCE:sha256
attributes = IMPLICIT:0,SET:attributes
signatureAlgorithm = SEQUENCE:rsa
signature = FORMAT:HEX,OCTETSTRING:0102030405
unsigned = IMPLICIT:1,SET:unsignedAttributes
[issuerAndSerial]
issuer = SEQUENCE:name
serial = INTEGER:0x00C001
[name]
cn = SET:cn
[cn]
attribute = SEQUENCE:cnValue
[cnValue]
type = OID:commonName
value = UTF8:Test CA
[sha256]
algorithm = OID:sha256
parameters = NULL
[rsa]
algorithm = OID:rsaEncryption
parameters = NULL
[attributes]
type = SEQUENCE:contentTypeAttribute
time = SEQUENCE:signingTimeAttribute
digest = SEQUENCE:digestAttribute
[contentTypeAttribute]
type = OID:contentType
values = SET:contentTypeValue
[contentTypeValue]
value = OID:pkcs7-data
[signingTimeAttribute]
type = OID:signingTime
values = SET:signingTimeValue
[signingTimeValue]
value = UTCTIME:260101000000Z
[digestAttribute]
type = OID:messageDigest
values = SET:digestValue
[digestValue]
value = FORMAT:HEX,OCTETSTRING:A1A2A3
[unsignedAttributes]
attribute = SEQUENCE:signingTimeAttribute
)";

TEST(Pkcs7SignerInfo, ReadsOpenSslEncoding)
{
    Pkcs7SignerInfo info;
    ASSERT_TRUE(ReadPkcs7SignerInfo(View(MadeByOpenSsl("signer-info", kSignerConfig)), &info));
    EXPECT_EQ(info.version, 1);
    EXPECT_FALSE(info.signer.byKeyId);
    EXPECT_EQ(Hex(info.signer.serial), Hex("00C001"));
    EXPECT_EQ(Hex(info.signer.issuer), Hex("30123110300E06035504030C0754657374204341"));
    EXPECT_EQ(Hex(info.digest.oid), Hex("608648016503040201"));
    EXPECT_TRUE(Pkcs7NoParameters(info.digest));
    EXPECT_EQ(OIDToAlgorithm(info.signature.oid.pointer, info.signature.oid.length), kAlgRsaEncryption);
    EXPECT_EQ(Hex(info.signatureValue), Hex("0102030405"));
    ASSERT_GT(info.signedAttributes.length, 0u);
    EXPECT_EQ(info.signedAttributes.pointer[0], 0xA0);

    Pkcs7SignedAttributes attributes;
    ASSERT_EQ(ReadPkcs7SignedAttributes(info.signedAttributes, &attributes), Pkcs7AttributesResult::Ok);
    ASSERT_TRUE(attributes.hasContentType && attributes.hasMessageDigest);
    EXPECT_EQ(OIDToContentType(attributes.contentType.pointer, attributes.contentType.length), kContentData);
    EXPECT_EQ(Hex(attributes.messageDigest), Hex("A1A2A3"));
}

// Made by OpenSSL: key transport by issuer and serial number.
const char kRecipientConfig[] = R"(asn1 = SEQUENCE:recipient
[recipient]
version = INTEGER:0
rid = SEQUENCE:issuerAndSerial
keyAlgorithm = SEQUENCE:rsa
encryptedKey = FORMAT:HEX,OCTETSTRING:F0F1F2F3
[issuerAndSerial]
issuer = SEQUENCE:name
serial = INTEGER:7
[name]
[rsa]
algorithm = OID:rsaEncryption
)";

TEST(Pkcs7RecipientInfo, ReadsOpenSslEncoding)
{
    Pkcs7RecipientInfo info;
    ASSERT_TRUE(ReadPkcs7RecipientInfo(View(MadeByOpenSsl("recipient-info", kRecipientConfig)), &info));
    EXPECT_TRUE(info.keyTransport);
    EXPECT_EQ(Hex(info.recipient.serial), Hex("07"));
    EXPECT_EQ(Hex(info.recipient.issuer), Hex("3000"));
    EXPECT_EQ(info.keyAlgorithm.parameters.length, 0u);
    EXPECT_EQ(Hex(info.encryptedKey), Hex("F0F1F2F3"));
}
#endif

// One table for the element readers: hex of the whole element, whether it
// is accepted.
enum class Field { SignerInfo, RecipientInfo, DigestAlgorithms, ContentCipher, Version };

struct FieldCase {
    const char* name;
    Field field;
    const char* hex;
    bool accepted;
};

// Pieces: issuer and serial (Name {} and serial 5), SHA-1, rsaEncryption.
#define SID "3005" "3000" "020105"
#define SHA1 "3009" "06052B0E03021A" "0500"
#define RSA "300D" "06092A864886F70D010101" "0500"

const FieldCase kFieldCases[] = {
    {"signer minimal", Field::SignerInfo, "3027" "020101" SID SHA1 RSA "040101", true},
    {"signer by key id needs version 3", Field::SignerInfo, "3023" "020103" "800101" SHA1 RSA "040101", true},
    {"signer version 1 with key id", Field::SignerInfo, "3023" "020101" "800101" SHA1 RSA "040101", false},
    {"signer version 3 with issuer", Field::SignerInfo, "3027" "020103" SID SHA1 RSA "040101", false},
    {"signer empty signature", Field::SignerInfo, "3026" "020101" SID SHA1 RSA "0400", false},
    {"signer signature in pieces", Field::SignerInfo, "3029" "020101" SID SHA1 RSA "2403040101", false},
    {"signer unsigned attributes", Field::SignerInfo, "3029" "020101" SID SHA1 RSA "040101" "A100", true},
    {"signer bytes after", Field::SignerInfo, "3029" "020101" SID SHA1 RSA "040101" "0500", false},
    {"signer empty serial", Field::SignerInfo, "3026" "020101" "3004" "3000" "0200" SHA1 RSA "040101", false},
    {"signer length past the element", Field::SignerInfo, "3028" "020101" SID SHA1 RSA "040101", false},
    {"signer primitive sequence", Field::SignerInfo, "1027" "020101" SID SHA1 RSA "040101", false},
    {"recipient key transport", Field::RecipientInfo, "301C" "020100" SID RSA "040101", true},
    {"recipient version 2 by key id", Field::RecipientInfo, "3018" "020102" "800101" RSA "040101", true},
    {"recipient of another kind", Field::RecipientInfo, "A103020104", true},
    {"recipient empty key", Field::RecipientInfo, "301B" "020100" SID RSA "0400", false},
    {"recipient version 4", Field::RecipientInfo, "301C" "020104" SID RSA "040101", false},
    {"digests repeated", Field::DigestAlgorithms, "3116" SHA1 SHA1, true},
    {"digests sha1 and md5", Field::DigestAlgorithms, "3119" SHA1 "300C06082A864886F70D02050500", true},
    {"digests empty", Field::DigestAlgorithms, "3100", true},
    {"digests with parameters", Field::DigestAlgorithms, "310A" "3008" "06052B0E03021A" "0101", false},
    {"digests absent parameters", Field::DigestAlgorithms, "3109" "3007" "06052B0E03021A", true},
    {"cipher rc4", Field::ContentCipher, "300C06082A864886F70D03040500", true},
    {"cipher 3des", Field::ContentCipher, "301406082A864886F70D0307040801020304050607 08", true},
    {"cipher 3des short iv", Field::ContentCipher, "301306082A864886F70D030704070102030405060708", false},
    {"cipher 3des no iv", Field::ContentCipher, "300A06082A864886F70D0307", false},
    {"cipher empty oid", Field::ContentCipher, "30020600", false},
    {"version 1", Field::Version, "020101", true},
    {"version 2", Field::Version, "020102", false},
    {"version two bytes", Field::Version, "02020001", false},
};

bool ReadField(Field field, Bytes& bytes)
{
    switch (field) {
    case Field::SignerInfo: {
        Pkcs7SignerInfo info;
        return ReadPkcs7SignerInfo(View(bytes), &info);
    }
    case Field::RecipientInfo: {
        Pkcs7RecipientInfo info;
        return ReadPkcs7RecipientInfo(View(bytes), &info);
    }
    case Field::DigestAlgorithms: {
        std::vector<Pkcs7Algorithm> algorithms;
        return ReadPkcs7DigestAlgorithms(View(bytes), &algorithms);
    }
    case Field::ContentCipher: {
        Pkcs7ContentCipher cipher;
        return ReadPkcs7ContentCipher(View(bytes), &cipher);
    }
    case Field::Version: {
        static const int kAllowed[] = {1, 3};
        int version = 0;
        return ReadPkcs7Version(View(bytes), kAllowed, 2, &version);
    }
    }
    return false;
}

TEST(Pkcs7Fields, AcceptOnlyWhatTheFieldRequires)
{
    for (const FieldCase& c : kFieldCases) {
        std::string hex;
        for (const char* p = c.hex; *p; ++p)
            if (*p != ' ') hex += *p;
        Bytes bytes = FromHex(hex);
        EXPECT_EQ(ReadField(c.field, bytes), c.accepted) << c.name;
    }
}

TEST(Pkcs7Fields, ContentCipherGivesTheIv)
{
    Bytes bytes = FromHex("301406082A864886F70D03070408A0A1A2A3A4A5A6A7");
    Pkcs7ContentCipher cipher;
    ASSERT_TRUE(ReadPkcs7ContentCipher(View(bytes), &cipher));
    EXPECT_EQ(cipher.algorithm, kAlgDesEde3Cbc);
    EXPECT_EQ(Hex(cipher.iv), Hex("A0A1A2A3A4A5A6A7"));
    // RC4 with salt is not one we can use, yet well formed.
    bytes = FromHex("300F06082A864886F70D03040403010203");
    ASSERT_TRUE(ReadPkcs7ContentCipher(View(bytes), &cipher));
    EXPECT_EQ(cipher.algorithm, 0);
}

struct AttributesCase {
    const char* name;
    const char* hex;
    Pkcs7AttributesResult result;
    bool type;
    bool digest;
};

// contentType data and messageDigest 0xAA as attributes.
#define TYPE_ATTR "3018" "06092A864886F70D010903" "310B" "06092A864886F70D010701"
#define DIGEST_ATTR "3010" "06092A864886F70D010904" "3103" "0401AA"

const AttributesCase kAttributeCases[] = {
    {"both", "A02C" TYPE_ATTR DIGEST_ATTR, Pkcs7AttributesResult::Ok, true, true},
    {"digest only", "A012" DIGEST_ATTR, Pkcs7AttributesResult::Ok, false, true},
    {"none", "A000", Pkcs7AttributesResult::Ok, false, false},
    {"digest twice", "A024" DIGEST_ATTR DIGEST_ATTR, Pkcs7AttributesResult::Repeated, false, true},
    {"digest with two values", "A015" "3013" "06092A864886F70D010904" "3106" "0401AA" "0401BB",
     Pkcs7AttributesResult::Repeated, false, false},
    {"digest of the wrong type", "A012" "3010" "06092A864886F70D010904" "3103" "0201AA",
     Pkcs7AttributesResult::Repeated, false, false},
    {"attribute without values", "A00D" "300B" "06092A864886F70D010904", Pkcs7AttributesResult::Malformed, false,
     false},
    {"not under [0]", "312C" TYPE_ATTR DIGEST_ATTR, Pkcs7AttributesResult::Malformed, false, false},
};

TEST(Pkcs7Fields, SignedAttributes)
{
    for (const AttributesCase& c : kAttributeCases) {
        Bytes bytes = FromHex(c.hex);
        Pkcs7SignedAttributes attributes;
        const Pkcs7AttributesResult result = ReadPkcs7SignedAttributes(View(bytes), &attributes);
        EXPECT_EQ(result, c.result) << c.name;
        if (result != Pkcs7AttributesResult::Ok) continue;
        EXPECT_EQ(attributes.hasContentType, c.type) << c.name;
        EXPECT_EQ(attributes.hasMessageDigest, c.digest) << c.name;
        if (c.digest) {
            EXPECT_EQ(Hex(attributes.messageDigest), Hex("AA")) << c.name;
        }
    }
}

TEST(Pkcs7Fields, DottedOid)
{
    struct {
        const char* hex;
        const char* text;  // null: refused
    } cases[] = {
        {"2A864886F70D010701", "1.2.840.113549.1.7.1"},
        {"608648016503040201", "2.16.840.1.101.3.4.2.1"},
        {"8151", "2.129"},
        {"2A86", nullptr},  // ends inside an arc
        {"", nullptr},
        {"2AFFFFFFFFFFFFFFFFFF7F", nullptr},  // an arc beyond 63 bits
    };
    for (const auto& c : cases) {
        Bytes bytes = FromHex(c.hex);
        std::string text;
        const bool ok = Pkcs7DottedOid(View(bytes), &text);
        EXPECT_EQ(ok, c.text != nullptr) << c.hex;
        if (ok) {
            EXPECT_EQ(text, c.text) << c.hex;
        }
    }
}

}  // namespace
