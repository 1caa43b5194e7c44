// Name tables: the buffer and stream decoders and the encoder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/x509/name.h"
#include "core/io/stream.h"
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
const Bytes kCN = Oid("550403");
const Bytes kO = Oid("55040A");
const Bytes kC = Oid("550406");
const Bytes kGivenName = Oid("55042A");
const Bytes kEmail = Oid("2A864886F70D010901");
const Bytes kUniqueId = Oid("55042D");

Bytes Rdn(const Bytes& oid, const Bytes& value) { return Set({Seq({oid, value})}); }

struct Name {
    NameTable table;
    std::size_t result = 0;
    ~Name() { FreeItems(table.slots, kNameSlots); }
    std::size_t Decode(const Bytes& der)
    {
        DERCursor reader;
        InitDERReader(&reader, der.data(), der.size());
        return result = DecodeName(&reader, &table);
    }
    bool Empty() const
    {
        for (const ByteBuffer& b : table.slots)
            if (b.pointer || b.length) return false;
        return true;
    }
};

Bytes Encode(const NameTable& table, std::size_t* result = nullptr)
{
    static unsigned char buffer[2048];
    DERCursor writer;
    InitDERWriter(&writer, buffer, sizeof buffer);
    std::size_t n = EncodeName(&writer, &table);
    if (result) *result = n;
    if (n == 0) return {};
    return Bytes(buffer + writer.position, buffer + sizeof buffer);
}

void Fill(NameTable* table, int slot, const char* text)
{
    table->slots[slot].pointer = reinterpret_cast<unsigned char*>(const_cast<char*>(text));
    table->slots[slot].length = std::strlen(text);
}

}  // namespace

TEST(NameDecoder, ValueKindsAndWideStrings)
{
    struct Case {
        const char* name;
        Bytes value;
        bool ok;
        Bytes slot;  // expected bytes of slot 2
    } cases[] = {
        {"PrintableString", Tlv(0x13, Text("ABC")), true, Text("ABC")},
        {"BMPString", Tlv(0x1E, Hex("004100420043")), true, Text("ABC")},
        {"BMPString with A acute", Tlv(0x1E, Hex("00C10042")), true, Text("AB")},
        {"BMPString with lower accents", Tlv(0x1E, Hex("00E900F100FA")), true, Text("enu")},
        {"T61String keeps its byte", Tlv(0x14, Hex("C142")), true, Hex("C142")},
        {"UniversalString", Tlv(0x1C, Hex("00000041")), true, Text("A")},
        {"IA5String", Tlv(0x16, Text("x@y")), true, Text("x@y")},
        {"BIT STRING", Tlv(0x03, Hex("00ABCD")), true, Hex("ABCD")},
        {"BIT STRING with unused bits", Tlv(0x03, Hex("01ABCD")), false, {}},
        {"UTF8String", Tlv(0x0C, Text("ABC")), false, {}},
        {"empty value", Tlv(0x13, {}), true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes der = Seq({Rdn(kC, Tlv(0x13, Text("ES"))), Rdn(kCN, c.value)});
        Name name;
        name.Decode(der);
        if (!c.ok) {
            EXPECT_EQ(name.result, 0u);
            EXPECT_TRUE(name.Empty());
            continue;
        }
        EXPECT_EQ(name.result, der.size());
        EXPECT_EQ(SlotText(name.table.slots[kNameCountry]), "ES");
        const ByteBuffer& cn = name.table.slots[kNameCommonName];
        if (c.slot.empty()) {
            EXPECT_EQ(cn.pointer, nullptr);  // empty values are {null, 0}
            EXPECT_EQ(cn.length, 0u);
        } else {
            ASSERT_NE(cn.pointer, nullptr);
            EXPECT_EQ(Bytes(cn.pointer, cn.pointer + cn.length), c.slot);
            EXPECT_EQ(cn.pointer[cn.length], 0);
        }
    }
}

TEST(NameDecoder, StructureChecks)
{
    Bytes cn = Rdn(kCN, Tlv(0x13, Text("Last")));
    struct Case {
        const char* name;
        Bytes der;
        bool ok;
    } cases[] = {
        {"unknown attribute dropped", Seq({Rdn(kGivenName, Tlv(0x0C, Text("x"))), cn}), true},
        {"later value replaces", Seq({Rdn(kCN, Tlv(0x13, Text("First"))), cn}), true},
        {"two attributes in one RDN", Seq({Set({Seq({kO, Tlv(0x13, Text("Org"))}), Seq({kCN, Tlv(0x13, Text("Last"))})})}), true},
        {"SET longer than the Name", Cat({Hex("300B"), Hex("310D"), Seq({kCN, Tlv(0x13, Text("Last"))})}), false},
        {"bytes after the attribute", Seq({Set({Tlv(0x30, Cat({kCN, Tlv(0x13, Text("Last")), Hex("0500")}))})}), false},
        {"empty SET", Seq({Set({}), cn}), false},
        {"not a SET", Seq({Seq({Seq({kCN, Tlv(0x13, Text("Last"))})})}), false},
        {"OID missing", Seq({Set({Seq({Tlv(0x13, Text("Last"))})})}), false},
        {"empty Name", Seq({}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Name name;
        name.Decode(c.der);
        EXPECT_EQ(name.result, c.ok ? c.der.size() : 0u);
        if (!c.ok) {
            EXPECT_TRUE(name.Empty());
        } else if (c.der.size() > 2) {
            EXPECT_EQ(SlotText(name.table.slots[kNameCommonName]), "Last");
        }
    }
    // Every truncation fails cleanly.
    Bytes der = Seq({Rdn(kO, Tlv(0x13, Text("Org"))), cn, Rdn(kEmail, Tlv(0x16, Text("a@b")))});
    for (std::size_t n = 0; n < der.size(); ++n) {
        Name name;
        ASSERT_EQ(name.Decode(Bytes(der.begin(), der.begin() + n)), 0u) << n;
        ASSERT_TRUE(name.Empty());
    }
}

TEST(NameDecoder, ReusedTableIsReleasedFirst)
{
    Name name;
    ASSERT_NE(name.Decode(Seq({Rdn(kCN, Tlv(0x13, Text("One"))), Rdn(kO, Tlv(0x13, Text("Org")))})), 0u);
    ASSERT_NE(name.Decode(Seq({Rdn(kCN, Tlv(0x13, Text("Two")))})), 0u);  // LeakSanitizer sees the first copies go
    EXPECT_EQ(SlotText(name.table.slots[kNameCommonName]), "Two");
    EXPECT_EQ(name.table.slots[kNameOrganization].pointer, nullptr);
    EXPECT_EQ(name.Decode(Hex("3003")), 0u);
    EXPECT_TRUE(name.Empty());
}

TEST(NameAttributes, IdentifierTable)
{
    const char* arcs[kNameAttributeKinds] = {"55040A", "55040B", "550403", "55040C", "550409", "550411", "550406",
                                             "550408", "550407", "55042D", "550405", "2A864886F70D010901",
                                             "55040F", "550414", "550417"};
    for (int slot = 0; slot < static_cast<int>(kNameAttributeKinds); ++slot) {
        unsigned char out[16];
        int length = NameAttributeToOID(slot, out);
        ASSERT_GT(length, 0);
        EXPECT_EQ(testsupport::ToHex(out, length), testsupport::ToHex(Hex(arcs[slot]).data(), Hex(arcs[slot]).size()));
        EXPECT_EQ(OIDToNameAttribute(out, length), slot);
    }
    unsigned char out[16];
    EXPECT_EQ(NameAttributeToOID(15, out), -1);
    EXPECT_EQ(NameAttributeToOID(-1, out), -1);
    Bytes given = Hex("55042A");
    EXPECT_EQ(OIDToNameAttribute(given.data(), given.size()), -1);
    Bytes longer = Hex("55040300");
    EXPECT_EQ(OIDToNameAttribute(longer.data(), longer.size()), -1);
}

TEST(NameEncoder, OrderTagsAndRoundTrip)
{
    NameTable table;
    Fill(&table, kNameEmailAddress, "a@b.es");
    Fill(&table, kNameCommonName, "Juan");
    EXPECT_EQ(Encode(table), Seq({Rdn(kCN, Tlv(0x13, Text("Juan"))), Rdn(kEmail, Tlv(0x16, Text("a@b.es")))}));

    Fill(&table, kNameUniqueIdentifier, "\x01\x02");
    Fill(&table, kNameCountry, "ES");
    Fill(&table, kNameOrganization, "Org");
    Bytes der = Encode(table);
    EXPECT_EQ(der, Seq({Rdn(kO, Tlv(0x13, Text("Org"))), Rdn(kCN, Tlv(0x13, Text("Juan"))),
                        Rdn(kC, Tlv(0x13, Text("ES"))), Rdn(kUniqueId, Tlv(0x03, Hex("000102"))),
                        Rdn(kEmail, Tlv(0x16, Text("a@b.es")))}));
    Name back;
    ASSERT_EQ(back.Decode(der), der.size());
    for (int slot : {kNameOrganization, kNameCommonName, kNameCountry, kNameUniqueIdentifier, kNameEmailAddress})
        EXPECT_EQ(SlotText(back.table.slots[slot]), SlotText(table.slots[slot])) << slot;

    NameTable empty;
    EXPECT_EQ(Encode(empty), Hex("3000"));
    Fill(&empty, 15, "x");
    std::size_t result = 1;
    Encode(empty, &result);
    EXPECT_EQ(result, 0u);
}

namespace {

// A raw memory stream holding the bytes, started for reading.
struct MemoryStream {
    DataStream stream{};
    explicit MemoryStream(const Bytes& bytes)
    {
        OpenStream(&stream, kStreamMemory, kTransferRaw);
        SetStreamBufferSize(&stream, bytes.size() + 1);
        StartStream(&stream, kOpenWrite);
        std::size_t count = 0;
        WriteStream(&stream, bytes.data(), bytes.size(), &count);
        FlushStream(&stream);
        StartStream(&stream, kOpenRead);
    }
    ~MemoryStream() { CloseStream(&stream); }
};

std::size_t Read(const Bytes& der, NameTable* table, int* next = nullptr)
{
    MemoryStream m(Cat({der, {0x5A}}));
    std::size_t n = ReadName(&m.stream, table);
    if (next) {
        unsigned char byte = 0;
        std::size_t count = 0;
        ReadStream(&m.stream, &byte, 1, &count);
        *next = count == 1 ? byte : -1;
    }
    return n;
}

}  // namespace

TEST(NameStreamReader, SameSlotsAsTheBufferDecoder)
{
    Bytes der = Seq({Rdn(kC, Tlv(0x13, Text("ES"))), Rdn(kGivenName, Tlv(0x13, Text("skip"))),
                     Rdn(kO, Tlv(0x14, Text("Norvane"))), Rdn(kUniqueId, Tlv(0x03, Hex("00BEEF"))),
                     Rdn(kEmail, Tlv(0x16, Text("a@b")))});
    Name buffer;
    ASSERT_EQ(buffer.Decode(der), der.size());
    NameTable streamed;
    int next = 0;
    ASSERT_EQ(Read(der, &streamed, &next), der.size());
    EXPECT_EQ(next, 0x5A);  // the stream stands right after the Name
    for (int i = 0; i < static_cast<int>(kNameSlots); ++i)
        EXPECT_EQ(SlotText(streamed.slots[i]), SlotText(buffer.table.slots[i])) << i;
    FreeItems(streamed.slots, kNameSlots);
}

TEST(NameStreamReader, RefusesWhatItCannotHold)
{
    struct Case {
        const char* name;
        Bytes der;
        bool ok;
    } cases[] = {
        {"128-byte value", Seq({Rdn(kCN, Tlv(0x13, Bytes(128, 'a')))}), true},
        {"129-byte value", Seq({Rdn(kCN, Tlv(0x13, Bytes(129, 'a')))}), false},
        {"long unknown value", Seq({Rdn(kGivenName, Tlv(0x13, Bytes(300, 'a')))}), false},
        {"BMPString", Seq({Rdn(kCN, Tlv(0x1E, Hex("0041")))}), false},
        {"two attributes in one RDN", Seq({Set({Seq({kO, Tlv(0x13, Text("O"))}), Seq({kCN, Tlv(0x13, Text("C"))})})}), false},
        {"SET past the Name", Cat({Hex("3009"), Hex("310B"), Seq({kCN, Tlv(0x13, Text("Last"))})}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NameTable table;
        std::size_t n = Read(c.der, &table);
        EXPECT_EQ(n, c.ok ? c.der.size() : 0u);
        if (c.ok) {
            EXPECT_EQ(table.slots[kNameCommonName].length, 128u);
        }
        for (const ByteBuffer& b : table.slots) EXPECT_TRUE(c.ok || b.pointer == nullptr);
        FreeItems(table.slots, kNameSlots);
    }
    Bytes der = Seq({Rdn(kO, Tlv(0x13, Text("Org"))), Rdn(kCN, Tlv(0x13, Text("Name")))});
    for (std::size_t n = 0; n < der.size(); ++n) {
        NameTable table;
        MemoryStream m(Bytes(der.begin(), der.begin() + n));
        ASSERT_EQ(ReadName(&m.stream, &table), 0u) << n;
        FreeItems(table.slots, kNameSlots);
    }
}
