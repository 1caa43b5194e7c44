#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "tests/support/test_der_util.h"

namespace {

using testsupport::FromHex;
using testsupport::ToHex;

std::string CursorHex(const DERCursor& c) { return ToHex(c.buffer + c.position, c.size - c.position); }

// ---------------------------------------------------------------------------
// Reading: one table of byte strings and what the reader makes of them.

enum class Read { TagLength, Value, Integer };

struct ReadCase {
    const char* name;
    Read op;
    const char* hex;
    std::size_t pad;       // zero bytes appended after hex
    std::size_t result;    // 0: the call fails
    int tag;
    std::size_t length;    // length out (item length for Value/Integer)
    std::size_t position;  // cursor position after the call
    const char* content;   // item bytes for Value/Integer (nullptr: not checked)
};

const ReadCase kReadCases[] = {
    // Tags.
    {"sequence", Read::TagLength, "30 03 02 01 05", 0, 2, 16, 3, 2, nullptr},
    {"set", Read::TagLength, "31 00", 0, 2, 17, 0, 2, nullptr},
    {"context primitive [6]", Read::TagLength, "86 01 41", 0, 2, 134, 1, 2, nullptr},
    {"context constructed [3] long length", Read::TagLength, "A3 82 01 00", 256, 4, 163, 256, 4, nullptr},
    {"context constructed [0]", Read::TagLength, "A0 00", 0, 2, 160, 0, 2, nullptr},
    {"constructed OCTET STRING loses its bit", Read::TagLength, "24 03", 3, 2, 4, 3, 2, nullptr},
    {"application class reads as low bits", Read::TagLength, "61 00", 0, 2, 1, 0, 2, nullptr},
    {"private class counts as context", Read::TagLength, "C2 00", 0, 2, 130, 0, 2, nullptr},
    {"high tag number form", Read::TagLength, "1F 01 00", 0, 0, 0, 0, 0, nullptr},
    {"context high tag number form", Read::TagLength, "BF 01 00", 0, 0, 0, 0, 0, nullptr},
    // Lengths.
    {"short form 127", Read::TagLength, "04 7F", 127, 2, 4, 127, 2, nullptr},
    {"long form 1 byte", Read::TagLength, "04 81 80", 128, 3, 4, 128, 3, nullptr},
    {"long form 3 bytes", Read::TagLength, "04 83 01 00 00", 65536, 5, 4, 65536, 5, nullptr},
    {"long form 4 bytes", Read::TagLength, "04 84 00 00 00 02 AA BB", 0, 6, 4, 2, 6, nullptr},
    {"non-minimal long form accepted", Read::TagLength, "04 82 00 01 AA", 0, 4, 4, 1, 4, nullptr},
    {"indefinite length 0x80", Read::TagLength, "30 80 02 01 05 00 00", 0, 0, 0, 0, 0, nullptr},
    {"five length bytes", Read::TagLength, "04 85 00 00 00 00 01 AA", 0, 0, 0, 0, 0, nullptr},
    {"0xFF length byte", Read::TagLength, "04 FF 00", 0, 0, 0, 0, 0, nullptr},
    {"length beyond the buffer", Read::TagLength, "04 81 05 AA BB", 0, 0, 0, 0, 0, nullptr},
    {"huge length must not wrap", Read::TagLength, "30 84 FF FF FF FF 00", 0, 0, 0, 0, 0, nullptr},
    {"length one past the buffer", Read::TagLength, "30 03 02 01", 0, 0, 0, 0, 0, nullptr},
    {"cut in the length bytes", Read::TagLength, "04 82 01", 0, 0, 0, 0, 0, nullptr},
    {"identifier only", Read::TagLength, "04", 0, 0, 0, 0, 0, nullptr},
    {"empty buffer", Read::TagLength, "", 0, 0, 0, 0, 0, nullptr},
    // Values.
    {"octet string", Read::Value, "04 03 01 02 03 FF", 0, 5, 4, 3, 5, "010203"},
    {"null at the end of the buffer", Read::Value, "05 00", 0, 2, 5, 0, 2, ""},
    {"bit string leaves its bits", Read::Value, "03 03 00 AB CD", 0, 3, 3, 2, 3, "abcd"},
    {"bit string of only the unused byte", Read::Value, "03 01 00", 0, 3, 3, 0, 3, ""},
    {"bit string with unused bits", Read::Value, "03 02 01 AB", 0, 0, 0, 0, 0, nullptr},
    {"bit string of length 0", Read::Value, "03 00 05 00", 0, 0, 0, 0, 0, nullptr},
    {"sequence leaves its content", Read::Value, "30 03 02 01 05", 0, 2, 16, 3, 2, nullptr},
    {"set leaves its content", Read::Value, "31 03 02 01 05", 0, 2, 17, 3, 2, nullptr},
    {"value cut short", Read::Value, "04 04 01 02 03", 0, 0, 0, 0, 0, nullptr},
    {"constructed [3] content taken", Read::Value, "A3 02 05 00", 0, 4, 163, 2, 4, "0500"},
    // Integers.
    {"integer keeps its sign byte", Read::Integer, "02 02 00 80", 0, 4, 2, 2, 4, "0080"},
    {"integer of one byte", Read::Integer, "02 01 05", 0, 3, 2, 1, 3, "05"},
    {"integer of no bytes", Read::Integer, "02 00", 0, 0, 0, 0, 0, nullptr},
    {"not an integer", Read::Integer, "04 01 05", 0, 0, 0, 0, 0, nullptr},
};

TEST(DERReader, TableOfEncodings)
{
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> data = FromHex(c.hex);
        data.resize(data.size() + c.pad, 0);
        // Exactly sized heap copy: any read past the end trips ASan.
        std::vector<unsigned char> exact(data);
        DERCursor cursor;
        InitDERReader(&cursor, exact.empty() ? nullptr : exact.data(), exact.size());
        int tag = -1;
        std::size_t length = 99;
        ByteBuffer item = {nullptr, 99};
        std::size_t result = 0;
        switch (c.op) {
        case Read::TagLength: result = GetDERTagLength(&cursor, &tag, &length); break;
        case Read::Value: result = GetDERValue(&cursor, &tag, &item); length = item.length; break;
        case Read::Integer: result = GetDERInteger(&cursor, &item); tag = 2; length = item.length; break;
        }
        EXPECT_EQ(result, c.result);
        if (c.result == 0) continue;
        EXPECT_EQ(tag, c.tag);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(cursor.position, c.position);
        if (c.content) { EXPECT_EQ(ToHex(item.pointer, item.length), testsupport::der::Hex(FromHex(c.content))); }
    }
}

TEST(DERReader, GetBytesGrantsWhatRemains)
{
    const unsigned char data[] = {1, 2, 3, 4, 5, 6};
    DERCursor cursor;
    InitDERReader(&cursor, data, sizeof data);
    cursor.position = 2;
    ByteBuffer item = {nullptr, 10};
    EXPECT_EQ(PeekDERBytes(&cursor, &item), 4u);
    EXPECT_EQ(cursor.position, 2u);
    item.length = 10;
    EXPECT_EQ(GetDERBytes(&cursor, &item), 4u);
    EXPECT_EQ(item.pointer, data + 2);
    EXPECT_EQ(item.length, 4u);
    EXPECT_EQ(cursor.position, 6u);
    item.length = 1;
    EXPECT_EQ(GetDERBytes(&cursor, &item), 0u);
    unsigned char byte = 0;
    EXPECT_EQ(GetDERByte(&cursor, &byte), 0u);
}

TEST(DERReader, SavedCursorRewindsAfterLookAhead)
{
    const std::vector<unsigned char> data = FromHex("A3 03 02 01 07 04 00");
    DERCursor cursor, saved;
    InitDERReader(&cursor, data.data(), data.size());
    SaveDERCursor(&cursor, &saved);
    ByteBuffer item;
    EXPECT_EQ(GetDERInteger(&cursor, &item), 0u);  // [3], not an INTEGER
    RestoreDERCursor(&cursor, &saved);
    int tag;
    std::size_t length;
    EXPECT_EQ(GetDERTagLength(&cursor, &tag, &length), 2u);
    EXPECT_EQ(tag, 163);
    EXPECT_EQ(GetDERInteger(&cursor, &item), 3u);
    EXPECT_EQ(item.pointer[0], 7);
}

// ---------------------------------------------------------------------------
// Writing: one table of calls and the bytes they leave in the buffer.

enum class Write { Header, Value, Integer };

struct WriteCase {
    const char* name;
    Write op;
    int tag;               // Header, Value
    const char* before;    // bytes already written (content of 16/17/2/3)
    const char* input;     // item bytes (Value other tags, Integer)
    std::size_t length;    // item length for Header and Value of 16/17/2/3
    int noSignByte;        // Integer
    const char* expected;  // whole encoding afterwards
    std::size_t result;
};

const WriteCase kWriteCases[] = {
    {"sequence header 0x1234", Write::Value, 16, "", nullptr, 0x1234, 0, "30 82 12 34", 4},
    {"set header", Write::Value, 17, "02 01 05", nullptr, 3, 0, "31 03 02 01 05", 2},
    {"integer header over written content", Write::Value, 2, "00 80", nullptr, 2, 0, "02 02 00 80", 2},
    {"bit string puts its unused byte", Write::Value, 3, "AB CD", nullptr, 2, 0, "03 03 00 AB CD", 3},
    {"empty bit string", Write::Value, 3, "", nullptr, 0, 0, "03 01 00", 3},
    {"null", Write::Value, 5, "", "", 0, 0, "05 00", 2},
    {"octet string", Write::Value, 4, "", "01 02 03", 0, 0, "04 03 01 02 03", 5},
    {"context primitive [6]", Write::Value, 134, "", "41", 0, 0, "86 01 41", 3},
    {"context constructed [0] header", Write::Header, 160, "", nullptr, 3, 0, "A0 03", 2},
    {"context constructed [3] header", Write::Header, 163, "", nullptr, 256, 0, "A3 82 01 00", 4},
    {"header 127", Write::Header, 4, "", nullptr, 127, 0, "04 7F", 2},
    {"header 128", Write::Header, 4, "", nullptr, 128, 0, "04 81 80", 3},
    {"header 255", Write::Header, 4, "", nullptr, 255, 0, "04 81 FF", 3},
    {"header 256", Write::Header, 4, "", nullptr, 256, 0, "04 82 01 00", 4},
    {"header 65536", Write::Header, 4, "", nullptr, 65536, 0, "04 83 01 00 00", 5},
    {"header 2^24", Write::Header, 4, "", nullptr, 0x1000000, 0, "04 84 01 00 00 00", 6},
    {"header 2^32-1", Write::Header, 4, "", nullptr, 0xFFFFFFFFu, 0, "04 84 FF FF FF FF", 6},
    {"integer strips zeros, adds sign byte", Write::Integer, 0, "", "00 00 80 01", 0, 0, "02 03 00 80 01", 5},
    {"integer without sign byte", Write::Integer, 0, "", "00 00 80 01", 0, 1, "02 02 80 01", 4},
    {"integer of zeros keeps one", Write::Integer, 0, "", "00 00", 0, 0, "02 01 00", 3},
    {"integer positive byte", Write::Integer, 0, "", "7F", 0, 0, "02 01 7F", 3},
    {"integer after content", Write::Integer, 0, "05 00", "80", 0, 0, "02 02 00 80 05 00", 4},
    {"integer of no bytes", Write::Integer, 0, "", "", 0, 0, "", 0},
};

TEST(DERWriter, TableOfEncodings)
{
    for (const WriteCase& c : kWriteCases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> buffer(64, 0xEE);
        DERCursor cursor;
        InitDERWriter(&cursor, buffer.data(), buffer.size());
        std::vector<unsigned char> before = FromHex(c.before);
        if (!before.empty()) { ASSERT_EQ(PutDERBytes(&cursor, ByteBuffer{before.data(), before.size()}), before.size()); }
        std::vector<unsigned char> input = FromHex(c.input ? c.input : "");
        ByteBuffer item = {input.empty() ? nullptr : input.data(), c.input ? input.size() : c.length};
        std::size_t result = 0;
        switch (c.op) {
        case Write::Header: result = PutDERHeader(&cursor, c.tag, c.length); break;
        case Write::Value: result = PutDERValue(&cursor, c.tag, item); break;
        case Write::Integer: result = PutDERInteger(&cursor, item, c.noSignByte); break;
        }
        EXPECT_EQ(result, c.result);
        std::vector<unsigned char> expected = FromHex(c.expected);
        if (c.result) { EXPECT_EQ(CursorHex(cursor), ToHex(expected.data(), expected.size())); }
        // Nothing written in front of the encoding.
        for (std::size_t i = 0; i < cursor.position; ++i) ASSERT_EQ(buffer[i], 0xEE) << i;
    }
}

TEST(DERWriter, HeaderAltWritesTheSame)
{
    unsigned char a[8], b[8];
    DERCursor ca, cb;
    InitDERWriter(&ca, a, sizeof a);
    InitDERWriter(&cb, b, sizeof b);
    EXPECT_EQ(PutDERHeader(&ca, 17, 300), PutDERHeaderAlt(&cb, 17, 300));
    EXPECT_EQ(CursorHex(ca), CursorHex(cb));
    EXPECT_EQ(CursorHex(ca), "3182012c");
}

TEST(DERWriter, IntegerReportsItsCountAndLeavesTheItem)
{
    unsigned char magnitude[] = {0x00, 0x00, 0x80, 0x01};
    ByteBuffer item = {magnitude, sizeof magnitude};
    unsigned char buffer[16];
    DERCursor cursor;
    InitDERWriter(&cursor, buffer, sizeof buffer);
    std::size_t content = 0;
    EXPECT_EQ(PutDERInteger(&cursor, item, 0, &content), 5u);
    EXPECT_EQ(content, 3u);
    EXPECT_EQ(item.pointer, magnitude);
    EXPECT_EQ(item.length, 4u);
    EXPECT_EQ(CursorHex(cursor), "0203008001");
}

TEST(DERWriter, RunningOutOfRoom)
{
    // Five bytes at position 3: the last three are written, the result is 0.
    unsigned char buffer[3] = {0, 0, 0};
    unsigned char bytes[] = {1, 2, 3, 4, 5};
    DERCursor cursor;
    InitDERWriter(&cursor, buffer, sizeof buffer);
    EXPECT_EQ(PutDERBytes(&cursor, ByteBuffer{bytes, sizeof bytes}), 0u);
    EXPECT_EQ(cursor.position, 0u);
    EXPECT_EQ(ToHex(buffer, 3), "030405");
    EXPECT_EQ(PutDERByte(&cursor, 9), 0u);
    EXPECT_EQ(PutDERBytes(&cursor, ByteBuffer{bytes, 0}), 0u);

    // Every call fails rather than write in front of the buffer, at each size.
    unsigned char content[200];
    std::memset(content, 0x5A, sizeof content);
    for (std::size_t size = 0; size < 206; ++size) {
        std::vector<unsigned char> exact(size);
        DERCursor c;
        InitDERWriter(&c, exact.data(), size);
        std::size_t r = PutDERValue(&c, 4, ByteBuffer{content, sizeof content});
        EXPECT_EQ(r, size >= 203 ? 203u : 0u) << size;
        InitDERWriter(&c, exact.data(), size);
        r = PutDERInteger(&c, ByteBuffer{content + 1, 199}, 0);
        EXPECT_EQ(r, size >= 202 ? 202u : 0u) << size;
        InitDERWriter(&c, exact.data(), size);
        r = PutDERValue(&c, 3, ByteBuffer{nullptr, 300});
        EXPECT_EQ(r, size >= 5 ? 5u : 0u) << size;
    }
}

TEST(DERWriter, EncodingIsReadBackFromTheWritingCursor)
{
    unsigned char buffer[32];
    unsigned char octets[] = {9, 8, 7};
    DERCursor cursor;
    InitDERWriter(&cursor, buffer, sizeof buffer);
    std::size_t total = PutDERValue(&cursor, 4, ByteBuffer{octets, 3});
    total += PutDERValue(&cursor, 16, ByteBuffer{nullptr, total});
    ByteBuffer out = {nullptr, sizeof buffer};
    EXPECT_EQ(GetDERBytes(&cursor, &out), total);
    EXPECT_EQ(ToHex(out.pointer, out.length), "3005040309" "0807");
}

TEST(DERTags, StringAndPrimitiveTests)
{
    for (int tag = 0; tag < 256; ++tag) {
        EXPECT_EQ(IsStringTag(tag), tag == 19 || tag == 20 || tag == 22 ? 1 : 0) << tag;
        EXPECT_EQ(IsPrimitiveTag(tag), tag == 16 || tag == 17 ? 0 : 1) << tag;
    }
}

#ifndef _WIN32
// ---------------------------------------------------------------------------
// Against DER that OpenSSL makes from tests/data/der/structure.cnf.

struct Element {
    int depth;
    int tag;
    std::size_t length;
    const char* content;  // hex, or nullptr for SEQUENCE/SET/[n] constructed
};

// The config's values, in document order.
const Element kStructure[] = {
    {0, 16, 166, nullptr},
    {1, 160, 3, nullptr},
    {2, 2, 1, "02"},
    {1, 2, 4, "00FF0102"},
    {1, 2, 1, "05"},
    {1, 16, 13, nullptr},
    {2, 6, 9, "2A864886F70D010105"},
    {2, 5, 0, ""},
    {1, 1, 1, "FF"},
    {1, 4, 16, "00112233445566778899AABBCCDDEEFF"},
    {1, 3, 2, "ABCD"},
    {1, 5, 0, ""},
    {1, 19, 7, "5461766F6D6972"},
    {1, 22, 15, "6361406578616D706C652E74657374"},
    {1, 23, 13, "3937303130313132303030305A"},
    {1, 24, 15, "32303337303130313132303030305A"},
    {1, 134, 24, "687474703A2F2F6F6373702E6578616D706C652E74657374"},
    {1, 163, 18, nullptr},
    {2, 16, 16, nullptr},
    {3, 16, 14, nullptr},
    {4, 6, 3, "551D0F"},
    {4, 1, 1, "FF"},
    {4, 4, 4, "03020186"},
    {1, 17, 3, nullptr},
    {2, 12, 1, "62"},
};

bool IsConstructed(int tag) { return tag == 16 || tag == 17 || tag >= 160; }

// Walks every element in document order; [n] constructed and SEQUENCE/SET
// are entered by their headers.
void Walk(DERCursor* cursor, std::size_t end, int depth, std::vector<Element>* out, std::vector<std::string>* contents)
{
    while (cursor->position < end) {
        DERCursor saved;
        SaveDERCursor(cursor, &saved);
        int tag;
        std::size_t length;
        ASSERT_NE(GetDERTagLength(cursor, &tag, &length), 0u);
        if (IsConstructed(tag)) {
            out->push_back({depth, tag, length, nullptr});
            contents->push_back("");
            Walk(cursor, cursor->position + length, depth + 1, out, contents);
            continue;
        }
        RestoreDERCursor(cursor, &saved);
        ByteBuffer item = {nullptr, 0};
        ASSERT_NE(GetDERValue(cursor, &tag, &item), 0u);
        if (tag == 3) {
            ByteBuffer bits = {nullptr, item.length};
            ASSERT_EQ(GetDERBytes(cursor, &bits), item.length);
            item = bits;
        }
        out->push_back({depth, tag, item.length, nullptr});
        contents->push_back(ToHex(item.pointer, item.length));
    }
}

std::string Lower(std::string s)
{
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

TEST(DERPeer, ReadsWhatOpenSSLMakes)
{
    std::vector<unsigned char> der = testsupport::der::GenConfFixture("structure.cnf");
    ASSERT_FALSE(der.empty()) << "openssl asn1parse -genconf failed";
    DERCursor cursor;
    InitDERReader(&cursor, der.data(), der.size());
    std::vector<Element> got;
    std::vector<std::string> contents;
    Walk(&cursor, der.size(), 0, &got, &contents);
    ASSERT_EQ(got.size(), sizeof kStructure / sizeof kStructure[0]);
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].depth, kStructure[i].depth);
        EXPECT_EQ(got[i].tag, kStructure[i].tag);
        EXPECT_EQ(got[i].length, kStructure[i].length);
        if (kStructure[i].content) { EXPECT_EQ(contents[i], Lower(kStructure[i].content)); }
    }
    EXPECT_EQ(cursor.position, der.size());
}

// Writes the elements of kStructure backwards (last first), each
// constructed element over the total of its members.
std::size_t WriteBackwards(DERCursor* cursor, std::size_t* index, int depth, std::size_t count)
{
    // Members of this level: from *index on, until depth drops.
    std::vector<std::size_t> members;
    std::size_t i = *index;
    while (i < count && kStructure[i].depth >= depth) {
        if (kStructure[i].depth == depth) members.push_back(i);
        ++i;
    }
    *index = i;
    std::size_t total = 0;
    for (std::size_t m = members.size(); m-- > 0;) {
        const Element& e = kStructure[members[m]];
        if (!e.content) {
            std::size_t inner = members[m] + 1;
            std::size_t content = WriteBackwards(cursor, &inner, depth + 1, count);
            std::size_t header = e.tag >= 160 ? PutDERHeader(cursor, e.tag, content)
                                              : PutDERValue(cursor, e.tag, ByteBuffer{nullptr, content});
            EXPECT_NE(header, 0u);
            total += content + header;
            continue;
        }
        std::vector<unsigned char> bytes = FromHex(e.content);
        ByteBuffer item = {bytes.empty() ? nullptr : bytes.data(), bytes.size()};
        if (e.tag == 2) {
            total += PutDERInteger(cursor, item, 0);
        } else if (e.tag == 3) {
            PutDERBytes(cursor, item);
            total += item.length + PutDERValue(cursor, 3, item);
        } else {
            total += PutDERValue(cursor, e.tag, item);
        }
    }
    return total;
}

TEST(DERPeer, WritesWhatOpenSSLMakes)
{
    std::vector<unsigned char> der = testsupport::der::GenConfFixture("structure.cnf");
    ASSERT_FALSE(der.empty());
    std::vector<unsigned char> buffer(6144);
    DERCursor cursor;
    InitDERWriter(&cursor, buffer.data(), buffer.size());
    std::size_t index = 0;
    std::size_t total = WriteBackwards(&cursor, &index, 0, sizeof kStructure / sizeof kStructure[0]);
    EXPECT_EQ(total, der.size());
    EXPECT_EQ(CursorHex(cursor), testsupport::der::Hex(der));
}

TEST(DERPeer, LengthFormsAtEveryBoundary)
{
    // OCTET STRINGs and INTEGERs around the length-form boundaries, made by
    // OpenSSL and by the writer, then read back.
    const std::size_t sizes[] = {0, 1, 127, 128, 255, 256, 65535, 65536, 70001};
    std::vector<std::vector<unsigned char>> values;
    std::string config = "asn1 = SEQUENCE:top\n[top]\n";
    for (std::size_t size : sizes) {
        std::vector<unsigned char> v(size);
        for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<unsigned char>(i * 37 + 11);
        std::string n = std::to_string(values.size());
        config += "o" + n + (size ? " = FORMAT:HEX,OCTETSTRING:" : " = OCTETSTRING:") + testsupport::der::Hex(v) + "\n";
        if (size) config += "i" + n + " = INTEGER:0x" + testsupport::der::Hex(v) + "\n";
        values.push_back(v);
    }
    std::vector<unsigned char> der = testsupport::der::GenConf("lengths", config);
    ASSERT_FALSE(der.empty());

    std::vector<unsigned char> buffer(der.size() + 16);
    DERCursor w;
    InitDERWriter(&w, buffer.data(), buffer.size());
    std::size_t total = 0;
    for (std::size_t k = values.size(); k-- > 0;) {
        ByteBuffer item = {values[k].empty() ? nullptr : values[k].data(), values[k].size()};
        if (!values[k].empty()) total += PutDERInteger(&w, item, 0);
        total += PutDERValue(&w, 4, item);
    }
    total += PutDERValue(&w, 16, ByteBuffer{nullptr, total});
    EXPECT_EQ(total, der.size());
    EXPECT_EQ(CursorHex(w), testsupport::der::Hex(der));

    DERCursor r;
    InitDERReader(&r, der.data(), der.size());
    int tag;
    ByteBuffer item;
    ASSERT_NE(GetDERValue(&r, &tag, &item), 0u);
    EXPECT_EQ(tag, 16);
    for (const std::vector<unsigned char>& v : values) {
        ASSERT_NE(GetDERValue(&r, &tag, &item), 0u);
        EXPECT_EQ(tag, 4);
        ASSERT_EQ(item.length, v.size());
        EXPECT_TRUE(v.empty() || std::memcmp(item.pointer, v.data(), v.size()) == 0);
        if (v.empty()) continue;
        ASSERT_NE(GetDERInteger(&r, &item), 0u);
        // OpenSSL strips leading zeros and adds a sign byte, as the writer does.
        std::size_t skip = 0;
        while (skip + 1 < v.size() && v[skip] == 0) ++skip;
        std::size_t expected = v.size() - skip + ((v[skip] & 0x80) ? 1 : 0);
        EXPECT_EQ(item.length, expected);
    }
    EXPECT_EQ(r.position, der.size());
}
#endif

}  // namespace
