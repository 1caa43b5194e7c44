// Extension and attribute tables and the single extension values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/x509/extension.h"
#include "core/der/oid.h"
#include "core/text/text.h"
#include "tests/support/test_cert_util.h"

using testsupport::cert::Bytes;
using testsupport::cert::Cat;
using testsupport::cert::Hex;
using testsupport::cert::Seq;
using testsupport::cert::Set;
using testsupport::cert::SlotText;
using testsupport::cert::Text;
using testsupport::cert::Tlv;

namespace {

Bytes Oid(const std::string& hex) { return Tlv(0x06, Hex(hex)); }
const Bytes kKeyUsageOid = Oid("551D0F");
const Bytes kBasicOid = Oid("551D13");
const Bytes kExtKeyUsageOid = Oid("551D25");
const Bytes kPoliciesOid = Oid("551D20");
const Bytes kSanOid = Oid("551D11");
const Bytes kSkiOid = Oid("551D0E");
const Bytes kCommentOid = Oid("6086480186F842010D");  // 2.16.840.1.113730.1.13
const Bytes kOwn1Oid = Oid("2B0F01");
const Bytes kEmailOid = Oid("2A864886F70D010901");
const Bytes kChallengeOid = Oid("2A864886F70D010907");
const Bytes kExtensionRequestOid = Oid("2A864886F70D01090E");
const Bytes kCritical = Hex("0101FF");

Bytes Extensions(std::initializer_list<Bytes> list) { return Tlv(0xA3, Seq(list)); }
Bytes Ext(const Bytes& oid, const Bytes& value, bool critical = false)
{
    return critical ? Seq({oid, kCritical, Tlv(0x04, value)}) : Seq({oid, Tlv(0x04, value)});
}

struct Table {
    ExtensionTable table;
    std::size_t result = 0;
    ~Table() { FreeItems(table.slots, kExtensionSlots); }
    bool Empty() const
    {
        for (const ByteBuffer& b : table.slots)
            if (b.pointer || b.length) return false;
        return true;
    }
    Bytes Slot(int kind) const
    {
        const ByteBuffer& b = table.slots[kind];
        return b.pointer ? Bytes(b.pointer, b.pointer + b.length) : Bytes();
    }
};

std::size_t DecodeExt(const Bytes& der, Table* t)
{
    DERCursor reader;
    InitDERReader(&reader, der.data(), der.size());
    return t->result = DecodeExtensions(&reader, &t->table);
}

std::size_t DecodeAttrs(const Bytes& der, Table* t)
{
    DERCursor reader;
    InitDERReader(&reader, der.data(), der.size());
    return t->result = DecodeAttributeSet(&reader, &t->table);
}

template <typename Encoder>
Bytes EncodeWith(Encoder encode)
{
    static unsigned char buffer[4096];
    DERCursor writer;
    InitDERWriter(&writer, buffer, sizeof buffer);
    std::size_t n = encode(&writer);
    if (n == 0 || n != sizeof buffer - writer.position) return {};
    return Bytes(buffer + writer.position, buffer + sizeof buffer);
}

void Fill(ExtensionTable* table, int kind, const Bytes& bytes)
{
    static std::vector<Bytes> keep;
    keep.push_back(bytes);
    table->slots[kind].pointer = keep.back().data();
    table->slots[kind].length = keep.back().size();
}

struct Value {
    ExtensionValues values;
    std::uint16_t flags = 0xFFFF;
    std::uint32_t critical = 7;
    int status = 12345;
    ~Value() { FreeItems(values.slots, kExtensionValueSlots); }
    std::string Text(int i) const { return SlotText(values.slots[i]); }
    bool Empty() const
    {
        for (const ByteBuffer& b : values.slots)
            if (b.pointer || b.length) return false;
        return true;
    }
};

// The DecodeExtensions form of an extension value: [critical] OCTET STRING.
void DecodeValue(Value* v, int kind, const Bytes& value, bool critical = false)
{
    Bytes slot = critical ? Cat({kCritical, Tlv(0x04, value)}) : Tlv(0x04, value);
    v->status = DecodeExtensionValue(ByteBuffer{slot.data(), slot.size()}, kind, &v->flags, &v->values, &v->critical);
}

Bytes Uri(const std::string& s) { return Tlv(0x86, Text(s)); }
Bytes DistributionPoint(const std::string& uri) { return Seq({Tlv(0xA0, Tlv(0xA0, Uri(uri)))}); }

}  // namespace

TEST(ExtensionTableDecoder, SlotForms)
{
    Bytes keyUsage = Ext(kKeyUsageOid, Hex("03020186"), true);
    Bytes der = Extensions({
        Ext(kCommentOid, Tlv(0x16, Text("hello"))),           // one IA5String: its content
        Ext(kOwn1Oid, Cat({Tlv(0x13, Text("a")), Tlv(0x13, Text("b"))})),  // two values: raw content
        keyUsage,                                              // critical and OCTET STRING kept
        Ext(kSkiOid, Tlv(0x04, Hex("0102"))),                  // unknown: skipped
        Ext(Oid("6086480186F8420101"), Hex("03020780")),       // certificate type: DER kept
    });
    Table t;
    ASSERT_EQ(DecodeExt(der, &t), der.size());
    EXPECT_EQ(t.Slot(kExtNetscapeComment), Text("hello"));
    EXPECT_EQ(t.Slot(kExtOwn1), Cat({Tlv(0x13, Text("a")), Tlv(0x13, Text("b"))}));
    EXPECT_EQ(t.Slot(kExtKeyUsage), Cat({kCritical, Tlv(0x04, Hex("03020186"))}));
    EXPECT_EQ(t.Slot(kExtNetscapeCertType), Tlv(0x04, Hex("03020780")));
    int filled = 0;
    for (const ByteBuffer& b : t.table.slots) filled += b.pointer != nullptr;
    EXPECT_EQ(filled, 4);
    EXPECT_EQ(t.table.slots[kExtNetscapeComment].pointer[5], 0);  // NUL after the copy
}

TEST(ExtensionTableDecoder, MalformedTablesAreEmpty)
{
    Bytes good = Ext(kCommentOid, Tlv(0x16, Text("x")));
    struct Case {
        const char* name;
        Bytes der;
    } cases[] = {
        {"no [3]", Seq({good})},
        {"[3] longer than its SEQUENCE", Tlv(0xA3, Cat({Seq({good}), {0x00}}))},
        {"critical flag on an IA5 kind", Extensions({Ext(kCommentOid, Tlv(0x16, Text("x")), true)})},
        {"not an OCTET STRING", Extensions({Seq({kCommentOid, Tlv(0x16, Text("x"))})})},
        {"bytes after extnValue", Extensions({Tlv(0x30, Cat({kCommentOid, Tlv(0x04, Text("x")), Hex("0500")}))})},
        {"Extension without OID", Extensions({Seq({Tlv(0x04, Text("x"))})})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t;
        t.table.slots[3] = ByteBuffer{static_cast<unsigned char*>(std::malloc(1)), 1};  // an earlier heap copy
        EXPECT_EQ(DecodeExt(c.der, &t), 0u);
        EXPECT_TRUE(t.Empty());
    }
    Bytes der = Extensions({good, Ext(kKeyUsageOid, Hex("03020186"), true)});
    for (std::size_t n = 0; n < der.size(); ++n) {
        Table t;
        ASSERT_EQ(DecodeExt(Bytes(der.begin(), der.begin() + n), &t), 0u) << n;
        ASSERT_TRUE(t.Empty());
    }
}

TEST(ExtensionTableEncoder, WritesEachKindsForm)
{
    ExtensionTable table;
    Fill(&table, kExtEmailAddress, Text("a@b"));
    Fill(&table, kExtOwn2, Text("raw"));
    Bytes generalNames = Seq({Tlv(0x82, Text("host"))});
    Fill(&table, kExtSubjectAltName, generalNames);
    Fill(&table, kExtKeyUsage, Cat({kCritical, Tlv(0x04, Hex("03020186"))}));
    Bytes der = EncodeWith([&](DERCursor* c) { return EncodeExtensions(c, &table); });
    // From the highest kind down.
    EXPECT_EQ(der, Extensions({Seq({kSanOid, Tlv(0x04, generalNames)}),
                               Seq({kKeyUsageOid, kCritical, Tlv(0x04, Hex("03020186"))}),
                               Seq({Oid("2B0F02"), Tlv(0x04, Tlv(0x04, Text("raw")))}),
                               Seq({kEmailOid, Tlv(0x04, Tlv(0x16, Text("a@b")))})}));
    Table back;
    ASSERT_EQ(DecodeExt(der, &back), der.size());
    EXPECT_EQ(back.Slot(kExtEmailAddress), Text("a@b"));
    EXPECT_EQ(back.Slot(kExtOwn2), Text("raw"));
    EXPECT_EQ(back.Slot(kExtKeyUsage), Cat({kCritical, Tlv(0x04, Hex("03020186"))}));
    EXPECT_EQ(back.Slot(kExtSubjectAltName), Tlv(0x04, generalNames));

    Fill(&table, 24, Text("x"));
    EXPECT_TRUE(EncodeWith([&](DERCursor* c) { return EncodeExtensions(c, &table); }).empty());
}

TEST(AttributeSets, EncodeAndDecode)
{
    ExtensionTable table;
    Fill(&table, kExtEmailAddress, Text("a@b"));
    Fill(&table, kExtChallengePassword, Text("secret"));
    Bytes email = Seq({kEmailOid, Set({Tlv(0x16, Text("a@b"))})});
    Bytes challenge = Seq({kChallengeOid, Set({Tlv(0x13, Text("secret"))})});

    EXPECT_EQ(EncodeWith([&](DERCursor* c) { return EncodeAttributeSet(c, &table, 0, 0); }), Set({email}));
    Bytes withPassword = EncodeWith([&](DERCursor* c) { return EncodeAttributeSet(c, &table, 1, 1); });
    EXPECT_EQ(withPassword, Tlv(0xA0, Cat({challenge, email})));

    Table back;
    ASSERT_EQ(DecodeAttrs(withPassword, &back), withPassword.size());
    EXPECT_EQ(back.Slot(kExtEmailAddress), Text("a@b"));
    EXPECT_EQ(back.Slot(kExtChallengePassword), Text("secret"));

    ExtensionTable empty;
    EXPECT_TRUE(EncodeWith([&](DERCursor* c) { return EncodeAttributeSet(c, &empty, 1, 0); }).empty());
    Fill(&empty, kExtChallengePassword, Text("only"));
    EXPECT_TRUE(EncodeWith([&](DERCursor* c) { return EncodeAttributeSet(c, &empty, 0, 0); }).empty());
}

TEST(AttributeSets, ExtensionRequestAndValueRules)
{
    Bytes generalNames = Seq({Tlv(0x81, Text("x@y"))});
    Bytes request = Seq({kExtensionRequestOid, Set({Seq({Seq({kSanOid, Tlv(0x04, generalNames)})})})});
    Bytes otherRequest = Seq({kExtensionRequestOid, Set({Seq({Seq({kKeyUsageOid, Tlv(0x04, Hex("03020186"))})})})});
    Bytes email = Seq({kEmailOid, Set({Tlv(0x16, Text("first")), Tlv(0x16, Text("last"))})});
    Bytes unknown = Seq({Oid("2A864886F70D010902"), Set({Tlv(0x0C, Text("skipped whole"))})});
    struct Case {
        const char* name;
        Bytes der;
        bool ok;
        int kind;
        Bytes slot;
    } cases[] = {
        {"subjectAltName of an extension request", Set({request}), true, kExtSubjectAltName, generalNames},
        {"request without subjectAltName", Set({otherRequest, email}), true, kExtSubjectAltName, {}},
        {"last value counts", Set({email}), true, kExtEmailAddress, Text("last")},
        {"unknown attribute skipped", Set({unknown, email}), true, kExtEmailAddress, Text("last")},
        {"UTF8String value", Set({Seq({kEmailOid, Set({Tlv(0x0C, Text("u"))})})}), false, 0, {}},
        {"SEQUENCE header", Seq({email}), false, 0, {}},
        {"SET longer than its content", Tlv(0x31, Cat({email, {0x05}})), false, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t;
        EXPECT_EQ(DecodeAttrs(c.der, &t), c.ok ? c.der.size() : 0u);
        if (c.ok) {
            EXPECT_EQ(t.Slot(c.kind), c.slot);
        } else {
            EXPECT_TRUE(t.Empty());
        }
    }
}

TEST(ExtensionValues, FlagsOfBitStringsConstraintsAndPurposes)
{
    Bytes ocspOid = Oid("2B06010505073001");  // id-pkix-ocsp: an object code, not a key purpose
    Bytes serverAuth = Oid("2B06010505070301");
    Bytes timeStamping = Oid("2B06010505070308");
    Bytes sgc = Oid("2B0601040182370A0303");
    struct Case {
        const char* name;
        int kind;
        Bytes value;
        bool critical;
        int status;
        std::uint16_t flags;
    } cases[] = {
        {"keyUsage one byte", kExtKeyUsage, Hex("03020186"), true, kExtensionValueDecoded, 0x8600},
        {"keyUsage two bytes", kExtKeyUsage, Hex("0303008001"), false, kExtensionValueDecoded, 0x8001},
        {"keyUsage too long", kExtKeyUsage, Hex("030400800102"), false, kExtensionValueKeyUsageTooLong, 0},
        {"certificate type", kExtNetscapeCertType, Hex("030207A0"), false, kExtensionValueDecoded, 0xA000},
        {"cA TRUE", kExtBasicConstraints, Seq({Hex("0101FF")}), true, kExtensionValueDecoded, 1},
        {"cA FALSE written out", kExtBasicConstraints, Seq({Hex("010100")}), true, kExtensionValueDecoded, 0},
        {"empty basicConstraints", kExtBasicConstraints, Seq({}), false, kExtensionValueDecoded, 0},
        {"pathLen alone", kExtBasicConstraints, Seq({Hex("020102")}), false, kExtensionValueDecoded, 0},
        {"serverAuth and timeStamping", kExtExtKeyUsage, Seq({serverAuth, timeStamping}), false, kExtensionValueDecoded, 17},
        {"server-gated crypto", kExtExtKeyUsage, Seq({sgc}), true, kExtensionValueDecoded, 64},
        {"OCSP method is no purpose", kExtExtKeyUsage, Seq({serverAuth, ocspOid}), false, kExtensionValueDecoded, 1},
        {"unknown purpose, critical", kExtExtKeyUsage, Seq({serverAuth, ocspOid}), true, kExtensionValueRefusedCritical, 0},
        {"critical policies", kExtCertificatePolicies, Seq({}), true, kExtensionValueRefusedCritical, 0},
        {"OCSP no-check", kExtOcspNoCheck, Hex("0500"), false, kExtensionValueDecoded, 0},
        {"NULL with content", kExtOcspNoCheck, Hex("050100"), false, kExtensionValueMalformed, 0},
        {"bytes left in the OCTET STRING", kExtOcspNoCheck, Hex("05000500"), false, kExtensionValueNotHandled, 0},
        {"comment kind", kExtNetscapeComment, Tlv(0x16, Text("x")), false, kExtensionValueNotHandled, 0},
        {"kind 24", 24, Hex("0500"), false, kExtensionValueNotHandled, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Value v;
        DecodeValue(&v, c.kind, c.value, c.critical);
        EXPECT_EQ(v.status, c.status);
        EXPECT_EQ(v.flags, c.status == kExtensionValueDecoded ? c.flags : 0);
        if (c.kind == kExtBasicConstraints && c.value.size() > 2 && c.value[2] == 0x02) {
            EXPECT_EQ(v.values.slots[0].length, 1u);
        }
    }
    Value v;
    Bytes badFlag = Cat({Hex("010101"), Tlv(0x04, Hex("0500"))});
    v.status = DecodeExtensionValue(ByteBuffer{badFlag.data(), badFlag.size()}, kExtOcspNoCheck, &v.flags, &v.values,
                                    &v.critical);
    EXPECT_EQ(v.status, kExtensionValueMalformed);
    Bytes big = Tlv(0x04, Tlv(0x04, Bytes(1100, 0)));
    v.status = DecodeExtensionValue(ByteBuffer{big.data(), big.size()}, kExtOcspNoCheck, &v.flags, &v.values, &v.critical);
    EXPECT_EQ(v.status, kExtensionValueMalformed);
}

TEST(ExtensionValues, NamesAndDistributionPointsStayInTheirNineSlots)
{
    {
        Value v;
        DecodeValue(&v, kExtSubjectAltName,
                    Seq({Tlv(0x81, Text("a@b")), Tlv(0x82, Text("first.example")), Tlv(0xA4, Seq({})),
                         Tlv(0x82, Text("second.example")), Tlv(0x86, Text("http://u")), Tlv(0x87, Hex("C0000201")),
                         Tlv(0x88, Hex("2A03")), Tlv(0xA0, Seq({Oid("2A03"), Tlv(0xA0, Tlv(0x0C, Text("o")))}))}));
        EXPECT_EQ(v.status, kExtensionValueDecoded);
        EXPECT_EQ(v.Text(1), "a@b");
        EXPECT_EQ(v.Text(2), "second.example");
        EXPECT_EQ(v.Text(6), "http://u");
        EXPECT_EQ(v.values.slots[7].length, 4u);
        EXPECT_EQ(v.values.slots[8].length, 2u);
        EXPECT_EQ(v.values.slots[0].pointer, nullptr);
        EXPECT_EQ(v.values.slots[4].pointer, nullptr);
    }
    struct Case {
        const char* name;
        int kind;
        Bytes value;
    } refused[] = {
        {"name tag [9]", kExtSubjectAltName, Seq({Tlv(0x89, Text("x"))})},
        {"name tag [30]", kExtIssuerAltName, Seq({Tlv(0x9E, Text("x"))})},
        {"universal tag", kExtSubjectAltName, Seq({Tlv(0x16, Text("x"))})},
        {"AIA caIssuers first", kExtAuthorityInfoAccess, Seq({Seq({Oid("2B06010505073002"), Uri("http://ca")})})},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        Value v;
        DecodeValue(&v, c.kind, c.value);
        EXPECT_EQ(v.status, kExtensionValueMalformed);
        EXPECT_TRUE(v.Empty());
    }

    Bytes nine, ten;
    for (int i = 0; i < 10; ++i) {
        Bytes point = DistributionPoint("http://crl" + std::to_string(i));
        if (i < 9) nine.insert(nine.end(), point.begin(), point.end());
        ten.insert(ten.end(), point.begin(), point.end());
    }
    Value v9;
    DecodeValue(&v9, kExtCrlDistributionPoints, Tlv(0x30, nine));
    EXPECT_EQ(v9.status, kExtensionValueDecoded);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(v9.Text(i), "http://crl" + std::to_string(i));
    Value v10;
    DecodeValue(&v10, kExtCrlDistributionPoints, Tlv(0x30, ten));
    EXPECT_EQ(v10.status, kExtensionValueMalformed);
    EXPECT_TRUE(v10.Empty());
}

TEST(ExtensionValues, EmptyValuesAreNull)
{
    Value v;
    DecodeValue(&v, kExtSubjectAltName, Seq({Tlv(0x82, {}), Tlv(0x81, Text("a"))}));
    EXPECT_EQ(v.status, kExtensionValueDecoded);
    EXPECT_EQ(v.values.slots[2].pointer, nullptr);
    EXPECT_EQ(v.values.slots[2].length, 0u);
    EXPECT_EQ(v.Text(1), "a");
    FreeItems(v.values.slots, kExtensionValueSlots);  // and a second release by the destructor is harmless

    Table t;
    Bytes der = Extensions({Ext(kCommentOid, Tlv(0x16, {}))});
    ASSERT_EQ(DecodeExt(der, &t), der.size());
    EXPECT_TRUE(t.Empty());
}

TEST(ExtensionValues, PolicyShapes)
{
    Bytes cps = Seq({Oid("2B06010505070201"), Tlv(0x16, Text("http://cps"))});
    Bytes notice = Seq({Oid("2B06010505070202"),
                        Seq({Seq({Tlv(0x16, Text("Org")), Seq({Hex("020101")})}), Tlv(0x1A, Text("Texto"))})});
    Bytes policyOid = Oid("6086480186F84501070101");
    Value withNotice;
    DecodeValue(&withNotice, kExtCertificatePolicies, Seq({Seq({policyOid, Seq({cps, notice})})}));
    EXPECT_EQ(withNotice.status, kExtensionValueDecoded);
    EXPECT_EQ(withNotice.Text(0), "http://cps");
    EXPECT_EQ(withNotice.Text(1), "Org");
    EXPECT_EQ(withNotice.values.slots[2].length, 1u);
    EXPECT_EQ(withNotice.Text(3), "Texto");

    Value cpsOnly;
    DecodeValue(&cpsOnly, kExtCertificatePolicies, Seq({Seq({policyOid, Seq({cps})})}));
    EXPECT_EQ(cpsOnly.status, kExtensionValueDecoded);
    EXPECT_EQ(cpsOnly.Text(0), "http://cps");

    Value twoPolicies;
    DecodeValue(&twoPolicies, kExtCertificatePolicies,
                Seq({Seq({policyOid, Seq({cps})}), Seq({policyOid, Seq({cps})})}));
    EXPECT_EQ(twoPolicies.status, kExtensionValueMalformed);
    EXPECT_TRUE(twoPolicies.Empty());
}
