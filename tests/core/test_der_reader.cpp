#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/der_reader.h"
#include "tests/support/test_util.h"

namespace {

using namespace der_reader;
using testsupport::FromHex;

std::string Hex(const ByteBuffer& view) { return testsupport::ToHex(view.pointer, view.length); }
std::string Hex(const char* hex)
{
    const std::vector<unsigned char> bytes = FromHex(hex);
    return testsupport::ToHex(bytes.data(), bytes.size());
}

struct ExpectedCase {
    const char* name;
    const char* hex;
    int tag;
    bool read;
    const char* content;  // when read
};

// An expected read wants the tag in the form DER gives it, and never a
// length beyond what remains.
const ExpectedCase kExpectedCases[] = {
    {"octet string", "0402AABB", kTagOctetString, true, "AABB"},
    {"empty null", "0500", kTagNull, true, ""},
    {"sequence", "30020500", kTagSequence, true, "0500"},
    {"set", "3100", kTagSet, true, ""},
    {"[0] primitive", "8001FF", kTagContext, true, "FF"},
    {"[3] constructed", "A3020500", kTagContextConstructed + 3, true, "0500"},
    {"constructed octet string", "24030401AA", kTagOctetString, false, nullptr},
    {"primitive sequence", "10020500", kTagSequence, false, nullptr},
    {"[0] constructed for primitive", "A0020500", kTagContext, false, nullptr},
    {"another tag", "0201FF", kTagOctetString, false, nullptr},
    {"length beyond what remains", "0403AABB", kTagOctetString, false, nullptr},
    {"high tag number", "1F0100", kTagOctetString, false, nullptr},
    {"nothing", "", kTagOctetString, false, nullptr},
};

TEST(DerReader, ReadExpected)
{
    for (const ExpectedCase& c : kExpectedCases) {
        std::vector<unsigned char> bytes = FromHex(c.hex);
        DERCursor cursor = Reader(bytes.data(), bytes.size());
        ByteBuffer content{nullptr, 0}, whole{nullptr, 0};
        ASSERT_EQ(ReadExpected(&cursor, c.tag, &content, &whole), c.read) << c.name;
        if (!c.read) {
            EXPECT_EQ(cursor.position, 0u) << c.name << ": a failed read keeps the position";
            continue;
        }
        EXPECT_EQ(Hex(content), Hex(c.content)) << c.name;
        EXPECT_EQ(Hex(whole), Hex(c.hex)) << c.name;
        EXPECT_TRUE(AtEnd(cursor)) << c.name;
    }
}

TEST(DerReader, ReadAnyKeepsTheNumberOfAConstructedString)
{
    std::vector<unsigned char> bytes = FromHex("24030401AA0500");
    DERCursor cursor = Reader(bytes.data(), bytes.size());
    Element element;
    ASSERT_TRUE(ReadAny(&cursor, &element));
    EXPECT_EQ(element.tag, kTagOctetString);
    EXPECT_EQ(Hex(element.content), Hex("0401AA"));
    EXPECT_EQ(PeekTag(&cursor), kTagNull);
    ASSERT_TRUE(SkipElement(&cursor));
    EXPECT_TRUE(AtEnd(cursor));
    EXPECT_FALSE(ReadAny(&cursor, &element));
    EXPECT_EQ(PeekTag(&cursor), -1);
}

TEST(DerReader, ReadOptional)
{
    std::vector<unsigned char> bytes = FromHex("A0020500" "0401AA");
    DERCursor cursor = Reader(bytes.data(), bytes.size());
    bool present = false;
    ByteBuffer content{nullptr, 0};
    ASSERT_TRUE(ReadOptional(&cursor, kTagContextConstructed + 1, &present, &content));
    EXPECT_FALSE(present);
    EXPECT_EQ(cursor.position, 0u);
    ASSERT_TRUE(ReadOptional(&cursor, kTagContextConstructed, &present, &content));
    EXPECT_TRUE(present);
    EXPECT_EQ(Hex(content), Hex("0500"));
    // Present but longer than what remains: a failure, not an absence.
    std::vector<unsigned char> cut = FromHex("A0050500");
    DERCursor short_ = Reader(cut.data(), cut.size());
    EXPECT_FALSE(ReadOptional(&short_, kTagContextConstructed, &present, &content));
}

TEST(DerReader, EnterBoundsTheInnerReader)
{
    std::vector<unsigned char> bytes = FromHex("30030401AA" "0500");
    DERCursor cursor = Reader(bytes.data(), bytes.size());
    DERCursor inner;
    std::size_t size = 0;
    ASSERT_TRUE(Enter(&cursor, kTagSequence, &inner, &size));
    EXPECT_EQ(size, 5u);
    ByteBuffer value{nullptr, 0};
    ASSERT_TRUE(ReadView(&inner, kTagOctetString, &value));
    EXPECT_TRUE(AtEnd(inner));
    EXPECT_FALSE(ReadView(&inner, kTagNull, &value)) << "the NULL after the SEQUENCE is outside it";
    EXPECT_EQ(Hex(TakeRest(&cursor)), Hex("0500"));
    EXPECT_TRUE(AtEnd(cursor));
}

}  // namespace
