// The response decoders on hand-made DER: what a v1 ResponseData may hold,
// the responderID forms, the nonce as the only extension, the three
// certificate statuses, and the ten-certificate table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/text/text.h"
#include "ocsp/protocol/ocsp_response_codec.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "tests/support/der_build_util.h"
#include "tests/support/test_util.h"

using testsupport::FromHex;
using testsupport::Cat;
using testsupport::Tlv;
using testsupport::ToHex;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes Seq(std::initializer_list<Bytes> parts) { return Tlv(0x30, Cat(parts)); }
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Time(const std::string& s) { return Tlv(0x18, Text(s)); }

const Bytes kSha1 = FromHex("300906052b0e03021a0500");
const Bytes kNonceOid = Tlv(0x06, FromHex("2b0601050507300102"));
const Bytes kName = Seq({Tlv(0x31, Seq({Tlv(0x06, FromHex("550403")), Tlv(0x13, Text("Responder"))}))});

Bytes CertId(const Bytes& serial)
{
    return Seq({kSha1, Tlv(0x04, Bytes(20, 0x11)), Tlv(0x04, Bytes(20, 0x22)), Tlv(0x02, serial)});
}

Bytes Single(const Bytes& status, const Bytes& tail = {})
{
    return Seq({CertId({0x10, 0x02}), status, Time("20250101000000Z"), tail});
}

Bytes NonceExtension(const Bytes& nonce, bool critical = false)
{
    return Seq({kNonceOid, critical ? FromHex("0101ff") : Bytes{}, Tlv(0x04, Tlv(0x04, nonce))});
}

Bytes Data(const Bytes& head, const Bytes& responderId, const Bytes& extensions = {})
{
    return Seq({head, responderId, Time("20250101000000Z"), Seq({Single(FromHex("8000"))}), extensions});
}

struct DataResult {
    bool ok = false;
    int kind = -1;
    std::string byName, byKey, producedAt, nonce;
};

DataResult DecodeData(const Bytes& der)
{
    DataResult r;
    DERCursor cursor = der_reader::Reader(der.data(), der.size());
    ByteBuffer copies[4] = {}, responses{nullptr, 0};
    r.ok = DecodeResponseData(&cursor, &copies[0], &copies[1], &copies[2], &responses, &r.kind, &copies[3]) ==
           der.size();
    r.byName = ToHex(copies[0].pointer, copies[0].length);
    r.byKey = ToHex(copies[1].pointer, copies[1].length);
    r.producedAt = std::string(reinterpret_cast<char*>(copies[2].pointer), copies[2].length);
    r.nonce = ToHex(copies[3].pointer, copies[3].length);
    FreeItems(copies, 4);
    return r;
}

TEST(OcspResponseData, VersionMustBeV1Whole)
{
    const Bytes byName = Tlv(0xA1, kName);
    EXPECT_TRUE(DecodeData(Data({}, byName)).ok);
    EXPECT_TRUE(DecodeData(Data(Tlv(0xA0, FromHex("020100")), byName)).ok);
    EXPECT_FALSE(DecodeData(Data(Tlv(0xA0, FromHex("020101")), byName)).ok);
    EXPECT_FALSE(DecodeData(Data(Tlv(0xA0, FromHex("02020100")), byName)).ok);  // ends in 0, is 256
    EXPECT_FALSE(DecodeData(Data(Tlv(0xA0, FromHex("02020000")), byName)).ok);
}

TEST(OcspResponseData, ResponderIdByNameOrByKey)
{
    DataResult name = DecodeData(Data({}, Tlv(0xA1, kName)));
    ASSERT_TRUE(name.ok);
    EXPECT_EQ(name.kind, kResponderByName);
    EXPECT_EQ(name.byName, ToHex(kName.data(), kName.size()));
    EXPECT_EQ(name.producedAt, "20250101000000Z");
    EXPECT_EQ(name.nonce, "");

    const Bytes hash(20, 0x5A);
    DataResult key = DecodeData(Data({}, Tlv(0xA2, Tlv(0x04, hash))));
    ASSERT_TRUE(key.ok);
    EXPECT_EQ(key.kind, kResponderByKey);
    EXPECT_EQ(key.byKey, ToHex(hash.data(), hash.size()));

    EXPECT_FALSE(DecodeData(Data({}, Tlv(0xA3, kName))).ok);
    EXPECT_FALSE(DecodeData(Data({}, Tlv(0xA2, Tlv(0x04, {})))).ok);
}

TEST(OcspResponseData, NonceIsTheOnlyExtension)
{
    const Bytes byName = Tlv(0xA1, kName), nonce = FromHex("0102030405060708");
    const Bytes other = Seq({Tlv(0x06, FromHex("2b0601050507300103")), Tlv(0x04, FromHex("0500"))});
    struct {
        const char* name;
        Bytes extensions;
        bool ok;
    } cases[] = {
        {"nonce", Tlv(0xA1, Seq({NonceExtension(nonce)})), true},
        {"nonce and another", Tlv(0xA1, Seq({NonceExtension(nonce), other})), false},
        {"another alone", Tlv(0xA1, Seq({other})), false},
        {"two nonces", Tlv(0xA1, Seq({NonceExtension(nonce), NonceExtension(nonce)})), false},
        {"critical nonce", Tlv(0xA1, Seq({NonceExtension(nonce, true)})), false},
        {"nonce not an OCTET STRING", Tlv(0xA1, Seq({Seq({kNonceOid, Tlv(0x04, Tlv(0x02, nonce))})})), false},
        {"empty list", Tlv(0xA1, Seq({})), false},
    };
    for (const auto& c : cases) {
        DataResult r = DecodeData(Data({}, byName, c.extensions));
        EXPECT_EQ(r.ok, c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(r.nonce, "0102030405060708");
        } else {
            EXPECT_EQ(r.byName + r.nonce + r.producedAt, "") << c.name;
        }
    }
}

struct SingleResult {
    bool ok = false;
    int status = -1;
    std::string revocation, next;
};

SingleResult DecodeOne(DERCursor* cursor)
{
    SingleResult r;
    ByteBuffer thisUpdate, next, revocation, serial, nameHash, keyHash;
    int algorithm = 0;
    r.ok = DecodeSingleResponse(cursor, &thisUpdate, &next, &r.status, &revocation, &serial, &algorithm, &nameHash,
                                &keyHash) != 0;
    r.revocation = std::string(reinterpret_cast<char*>(revocation.pointer), revocation.length);
    r.next = std::string(reinterpret_cast<char*>(next.pointer), next.length);
    if (r.ok) {
        EXPECT_EQ(algorithm, 6);
        EXPECT_EQ(ToHex(serial.pointer, serial.length), "1002");
    }
    return r;
}

SingleResult DecodeOne(const Bytes& der)
{
    DERCursor cursor = der_reader::Reader(der.data(), der.size());
    return DecodeOne(&cursor);
}

TEST(OcspSingleResponse, ThreeStatusesAndNothingElse)
{
    SingleResult good = DecodeOne(Single(FromHex("8000")));
    EXPECT_TRUE(good.ok);
    EXPECT_EQ(good.status, 0);
    SingleResult unknown = DecodeOne(Single(FromHex("8200")));
    EXPECT_TRUE(unknown.ok);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.revocation, "");
    SingleResult revoked = DecodeOne(Single(Tlv(0xA1, Cat({Time("20240601120000Z"), Tlv(0xA0, FromHex("0a0101"))}))));
    EXPECT_TRUE(revoked.ok);
    EXPECT_EQ(revoked.status, 1);
    EXPECT_EQ(revoked.revocation, "20240601120000Z");
    EXPECT_FALSE(DecodeOne(Single(Tlv(0xA1, {}))).ok);  // revoked without its time
    EXPECT_FALSE(DecodeOne(Single(FromHex("8300"))).ok);
    EXPECT_FALSE(DecodeOne(Single(FromHex("800100"))).ok);  // good carries no content
}

TEST(OcspSingleResponse, OptionalPartsThenAPlainOne)
{
    const Bytes both = Cat({Single(FromHex("8000"), Cat({Tlv(0xA0, Time("20250201000000Z")),
                                                          Tlv(0xA1, Seq({Seq({kNonceOid, Tlv(0x04, {})})}))})),
                            Single(FromHex("8200"))});
    DERCursor cursor = der_reader::Reader(both.data(), both.size());
    SingleResult first = DecodeOne(&cursor), second = DecodeOne(&cursor);
    EXPECT_TRUE(first.ok);
    EXPECT_EQ(first.next, "20250201000000Z");
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(second.next, "");
    EXPECT_TRUE(der_reader::AtEnd(cursor));
}

Bytes Basic(std::size_t certificates, unsigned char unusedBits = 0)
{
    Bytes list;
    for (std::size_t i = 0; i < certificates; ++i) list = Cat({list, Seq({Tlv(0x02, {static_cast<unsigned char>(i)})})});
    return Seq({Data({}, Tlv(0xA1, kName)), FromHex("300d06092a864886f70d0101050500"),
                Tlv(0x03, {unusedBits, 0xAB, 0xCD}), certificates ? Tlv(0xA0, Tlv(0x30, list)) : Bytes{}});
}

TEST(OcspBasicResponse, TenCertificatesAtMost)
{
    for (std::size_t count : {0u, 1u, 10u, 11u, 40u}) {
        Bytes der = Basic(count);
        DERCursor cursor = der_reader::Reader(der.data(), der.size());
        ByteBuffer signature, tbs, certificates[kOCSPMaxCertificates];
        int algorithm = 0;
        std::size_t found = 99;
        const bool ok = DecodeBasicOCSPResponse(&cursor, &signature, &algorithm, &tbs, certificates, &found) != 0;
        EXPECT_EQ(ok, count <= 10) << count;
        EXPECT_EQ(found, ok ? count : 0u) << count;
        if (ok) {
            EXPECT_EQ(algorithm, 111);
            EXPECT_EQ(ToHex(signature.pointer, signature.length), "abcd");
            if (count) {
                EXPECT_EQ(ToHex(certificates[count - 1].pointer, certificates[count - 1].length),
                          ToHex(Seq({Tlv(0x02, {static_cast<unsigned char>(count - 1)})}).data(), 5));
            }
        }
    }
    Bytes der = Basic(1, 1);  // a signature with unused bits
    DERCursor cursor = der_reader::Reader(der.data(), der.size());
    ByteBuffer signature, tbs, certificates[kOCSPMaxCertificates];
    int algorithm = 0;
    std::size_t found = 0;
    EXPECT_EQ(DecodeBasicOCSPResponse(&cursor, &signature, &algorithm, &tbs, certificates, &found), 0u);
}

TEST(OcspResponseMessage, TypeAndStatus)
{
    const Bytes basic = Basic(0);
    auto decode = [](const Bytes& der, int* status, std::string* type) {
        DERCursor cursor = der_reader::Reader(der.data(), der.size());
        ByteBuffer responseType, response;
        const bool ok = DecodeOCSPResponseMessage(&cursor, &responseType, status, &response) == der.size();
        *type = ToHex(responseType.pointer, responseType.length);
        return ok;
    };
    int status = -1;
    std::string type;
    const Bytes basicOid = Tlv(0x06, FromHex("2b0601050507300101"));
    EXPECT_TRUE(decode(Seq({FromHex("0a0100"), Tlv(0xA0, Seq({basicOid, Tlv(0x04, basic)}))}), &status, &type));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(type, "2b0601050507300101");
    EXPECT_TRUE(decode(Seq({FromHex("0a0106")}), &status, &type));
    EXPECT_EQ(status, 6);
    EXPECT_FALSE(decode(Seq({FromHex("0a020006")}), &status, &type));
    EXPECT_FALSE(decode(Seq({FromHex("0a0100")}), &status, &type));
    EXPECT_FALSE(decode(Seq({FromHex("020100"), Tlv(0xA0, Seq({basicOid, Tlv(0x04, basic)}))}), &status, &type));
}

}  // namespace
