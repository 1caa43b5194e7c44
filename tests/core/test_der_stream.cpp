#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/der/der_stream.h"
#include "core/io/stream.h"
#include "tests/support/test_der_util.h"

namespace {

using testsupport::FromHex;
using testsupport::ToHex;

struct Medium {
    unsigned char kind;
    std::uint32_t mode;
    std::size_t block;
};

// Raw and base64, and a chain whose 2-byte buffers split every value.
const Medium kMedia[] = {
    {kStreamMemory, kTransferRaw, 0},     {kStreamChain, kTransferRaw, 2},
    {kStreamMemory, kTransferBase64, 0},  {kStreamChain, kTransferBase64Lines, 5},
    {kStreamFile, kTransferRaw, 0},       {kStreamFile, kTransferBase64Lines, 0},
};

std::string MediumName(const Medium& m)
{
    return "kind " + std::to_string(m.kind) + " mode " + std::to_string(m.mode) + " block " + std::to_string(m.block);
}

// Header and value cases. capacity 0 means: ReadDERTagLength only.
struct StreamCase {
    const char* name;
    const char* hex;
    std::size_t capacity;
    std::size_t result;  // 0: fails
    int tag;
    std::size_t length;
    const char* content;  // value bytes, or nullptr
    int next;             // byte the stream reads next, -1 none
};

const StreamCase kCases[] = {
    // The stream's own tag map: only [0] keeps its class.
    {"[0] constructed", "A0 00 11", 0, 2, 160, 0, nullptr, 0x11},
    {"[0] primitive", "80 00 11", 0, 2, 128, 0, nullptr, 0x11},
    {"[3] constructed reads as 3", "A3 00 11", 0, 2, 3, 0, nullptr, 0x11},
    {"[6] primitive reads as 6", "86 00 11", 0, 2, 6, 0, nullptr, 0x11},
    {"sequence", "30 00 11", 0, 2, 16, 0, nullptr, 0x11},
    {"set", "31 00 11", 0, 2, 17, 0, nullptr, 0x11},
    {"private [0]", "C0 00 11", 0, 2, 192, 0, nullptr, 0x11},
    {"high tag number form", "1F 01 00", 0, 0, 0, 0, nullptr, -1},
    {"[31] constructed", "BF 01 00", 0, 0, 0, 0, nullptr, -1},
    {"long form 1 byte", "04 81 80 11", 0, 3, 4, 128, nullptr, 0x11},
    {"long form 4 bytes", "04 84 00 01 00 00 11", 0, 6, 4, 65536, nullptr, 0x11},
    {"length beyond the stream is a header", "04 82 01 00", 0, 4, 4, 256, nullptr, -1},
    {"indefinite length", "30 80 00 00", 0, 0, 0, 0, nullptr, -1},
    {"five length bytes", "04 85 00 00 00 00 01 AA", 0, 0, 0, 0, nullptr, -1},
    {"end inside the length bytes", "04 82 01", 0, 0, 0, 0, nullptr, -1},
    {"identifier only", "04", 0, 0, 0, 0, nullptr, -1},
    {"empty", "", 0, 0, 0, 0, nullptr, -1},
    // Values.
    {"octet string", "04 03 01 02 03 11", 8, 5, 4, 3, "010203", 0x11},
    {"bit string read whole", "03 03 00 AB CD 11", 8, 5, 3, 3, "00abcd", 0x11},
    {"null", "05 00 11", 8, 2, 5, 0, "", 0x11},
    {"sequence leaves its content", "30 03 02 01 05", 8, 2, 16, 3, nullptr, 0x02},
    {"sequence longer than the buffer", "30 82 01 00 02 01 05", 8, 4, 16, 256, nullptr, 0x02},
    {"value filling the buffer", "04 04 01 02 03 04 11", 4, 6, 4, 4, "01020304", 0x11},
    {"value one byte over the buffer", "04 05 01 02 03 04 05", 4, 0, 0, 0, nullptr, -1},
    {"huge length refused", "04 84 FF FF FF FF 00", 8, 0, 0, 0, nullptr, -1},
    {"value cut short", "04 04 01 02 03", 8, 0, 0, 0, nullptr, -1},
    {"bad header", "1F 01 00", 8, 0, 0, 0, nullptr, -1},
};

TEST(DERStream, TableOverEveryMedium)
{
    for (const Medium& m : kMedia) {
        for (const StreamCase& c : kCases) {
            SCOPED_TRACE(std::string(c.name) + ", " + MediumName(m));
            testsupport::der::ReadingStream s(FromHex(c.hex), m.kind, m.mode, m.block);
            ASSERT_TRUE(s.ready);
            int tag = -1;
            std::size_t length = 99;
            std::size_t result;
            std::vector<unsigned char> buffer(c.capacity);
            ByteBuffer item = {nullptr, 99};
            if (c.capacity == 0) {
                result = ReadDERTagLength(&s.stream, &tag, &length);
            } else {
                DERReadWork work = {buffer.data(), buffer.size()};
                result = ReadDERValue(&work, &s.stream, &tag, &item);
                length = item.length;
                if (result) {
                    EXPECT_EQ(item.pointer, buffer.data());
                }
            }
            EXPECT_EQ(result, c.result);
            if (!c.result) continue;
            EXPECT_EQ(tag, c.tag);
            EXPECT_EQ(length, c.length);
            if (c.content) {
                EXPECT_EQ(ToHex(item.pointer, item.length), c.content);
            }
            unsigned char next = 0;
            std::size_t count = 0;
            ReadStream(&s.stream, &next, 1, &count);
            if (c.next < 0) {
                EXPECT_EQ(count, 0u);
            } else {
                EXPECT_EQ(count, 1u);
                EXPECT_EQ(next, c.next);
            }
        }
    }
}

TEST(DERStream, FailingStreamGivesNoHeader)
{
    DataStream closed{};
    ASSERT_EQ(OpenStream(&closed, kStreamMemory, kTransferRaw), kStreamSuccess);
    ASSERT_EQ(CloseStream(&closed), kStreamSuccess);
    int tag;
    std::size_t length;
    EXPECT_EQ(ReadDERTagLength(&closed, &tag, &length), 0u);

    // A file stream that was never started reads nothing.
    DataStream file{};
    ASSERT_EQ(OpenStream(&file, kStreamFile, kTransferRaw), kStreamSuccess);
    unsigned char buffer[4];
    DERReadWork work = {buffer, sizeof buffer};
    ByteBuffer item;
    EXPECT_EQ(ReadDERValue(&work, &file, &tag, &item), 0u);
    CloseStream(&file);
}

#ifndef _WIN32
TEST(DERStream, ReadsOpenSSLFileElementByElement)
{
    std::vector<unsigned char> der = testsupport::der::GenConfFixture("structure.cnf");
    ASSERT_FALSE(der.empty()) << "openssl asn1parse -genconf failed";
    std::string path = testsupport::WorkDir() + "/der-structure.der";

    struct Expected { int tag; std::size_t length; const char* content; };  // nullptr: entered
    const Expected expected[] = {
        {16, 166, nullptr},
        {160, 3, "020102"},
        {2, 4, "00ff0102"},
        {2, 1, "05"},
        {16, 13, nullptr},
        {6, 9, "2a864886f70d010105"},
        {5, 0, ""},
        {1, 1, "ff"},
        {4, 16, "00112233445566778899aabbccddeeff"},
        {3, 3, "00abcd"},
        {5, 0, ""},
        {19, 7, "5461766f6d6972"},
        {22, 15, "6361406578616d706c652e74657374"},
        {23, 13, "3937303130313132303030305a"},
        {24, 15, "32303337303130313132303030305a"},
        {6, 24, "687474703a2f2f6f6373702e6578616d706c652e74657374"},  // [6] IMPLICIT
        {3, 18, "3010300e0603551d0f0101ff040403020186"},              // [3] EXPLICIT, read whole
        {17, 3, nullptr},
        {12, 1, "62"},
    };

    DataStream stream{};
    ASSERT_EQ(OpenStream(&stream, kStreamFile, kTransferRaw), kStreamSuccess);
    ASSERT_EQ(SetStreamFile(&stream, path.c_str()), kStreamSuccess);
    ASSERT_EQ(StartStream(&stream, kOpenRead), kStreamSuccess);
    unsigned char buffer[64];
    DERReadWork work = {buffer, sizeof buffer};
    std::size_t consumed = 0;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.tag);
        int tag = -1;
        ByteBuffer item = {nullptr, 0};
        std::size_t n = ReadDERValue(&work, &stream, &tag, &item);
        ASSERT_NE(n, 0u);
        consumed += n;
        EXPECT_EQ(tag, e.tag);
        EXPECT_EQ(item.length, e.length);
        // Entered elements count their header only, their members the rest.
        if (e.content) {
            EXPECT_EQ(ToHex(item.pointer, item.length), e.content);
        }
    }
    EXPECT_EQ(consumed, der.size());
    std::size_t count = 1;
    ReadStream(&stream, buffer, 1, &count);
    EXPECT_EQ(count, 0u);
    CloseStream(&stream);
}
#endif

}  // namespace
