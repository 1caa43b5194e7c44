#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/io/stream.h"
#include "tests/support/test_der_util.h"

namespace {

using testsupport::FromHex;
using testsupport::ToHex;

enum class Family { Algorithm, ContentType, Object, Extension, Attribute };

struct OIDCase {
    Family family;
    int code;
    const char* dotted;
    bool encodes;  // false: accepted when decoding only
};

// Every identifier the tables know, as dotted text.
const OIDCase kOIDs[] = {
    {Family::Algorithm, 2, "1.2.840.113549.2.2", true},
    {Family::Algorithm, 4, "1.2.840.113549.2.4", true},
    {Family::Algorithm, 5, "1.2.840.113549.2.5", true},
    {Family::Algorithm, 6, "1.3.14.3.2.26", true},
    {Family::Algorithm, 100, "1.2.840.113549.1.1.1", true},
    {Family::Algorithm, 101, "1.2.840.113549.1.1.2", true},
    {Family::Algorithm, 102, "1.2.840.113549.1.1.3", true},
    {Family::Algorithm, 103, "1.2.840.113549.1.1.4", true},
    {Family::Algorithm, 104, "1.2.840.113549.1.5.1", true},
    {Family::Algorithm, 105, "1.2.840.113549.1.5.3", true},
    {Family::Algorithm, 106, "1.3.14.3.2.7", true},
    {Family::Algorithm, 107, "1.2.840.113549.3.4", true},
    {Family::Algorithm, 108, "1.2.840.113549.1.12.1.6", true},
    {Family::Algorithm, 109, "1.2.840.113549.1.12.1.5", true},
    {Family::Algorithm, 110, "1.2.840.113549.1.12.1.3", true},
    {Family::Algorithm, 111, "1.2.840.113549.1.1.5", true},
    {Family::Algorithm, 112, "1.2.840.113549.3.7", true},
    {Family::Algorithm, 105, "1.2.840.113549.1.6.1", false},
    {Family::Algorithm, 106, "1.2.840.113549.1.7.1", false},
    {Family::Algorithm, 107, "1.2.840.113549.1.15.1", false},
    {Family::Algorithm, 111, "1.3.14.3.2.29", false},
    {Family::ContentType, 200, "1.2.840.113549.1.7.1", true},
    {Family::ContentType, 201, "1.2.840.113549.1.7.2", true},
    {Family::ContentType, 202, "1.2.840.113549.1.7.3", true},
    {Family::ContentType, 203, "1.2.840.113549.1.7.4", true},
    {Family::ContentType, 204, "1.2.840.113549.1.7.5", true},
    {Family::ContentType, 205, "1.2.840.113549.1.7.6", true},
    {Family::Object, 300, "1.2.840.113549.1.9.20", true},
    {Family::Object, 301, "1.2.840.113549.1.9.21", true},
    {Family::Object, 302, "1.2.840.113549.1.9.22.1", true},
    {Family::Object, 303, "1.2.840.113549.1.12.10.1.1", true},
    {Family::Object, 304, "1.2.840.113549.1.12.10.1.3", true},
    {Family::Object, 305, "1.2.840.113549.1.12.10.1.4", true},
    {Family::Object, 306, "1.2.840.113549.1.12.10.1.5", true},
    {Family::Object, 307, "1.2.840.113549.1.12.10.1.2", true},
    {Family::Object, 308, "2.5.29.15", true},
    {Family::Object, 309, "2.5.29.19", true},
    {Family::Object, 310, "2.5.29.32", true},
    {Family::Object, 311, "2.5.29.31", true},
    {Family::Object, 312, "2.5.29.35", true},
    {Family::Object, 313, "2.5.29.20", true},
    {Family::Object, 314, "2.5.29.21", true},
    {Family::Object, 315, "1.2.840.113549.1.9.4", true},
    {Family::Object, 316, "1.2.840.113549.1.9.5", true},
    {Family::Object, 317, "1.2.840.113549.1.9.15", true},
    {Family::Object, 318, "1.2.840.113549.1.9.3", true},
    {Family::Object, 319, "1.3.6.1.5.5.7.48.1", false},
    {Family::Object, 320, "2.16.840.1.113733.1.7.1.1", true},
    {Family::Object, 321, "1.3.6.1.5.5.7.2.1", true},
    {Family::Object, 322, "1.3.6.1.5.5.7.2.2", true},
    {Family::Object, 323, "2.16.840.1.113733.1.6.3", true},
    {Family::Object, 1, "1.3.6.1.5.5.7.3.1", false},
    {Family::Object, 2, "1.3.6.1.5.5.7.3.2", false},
    {Family::Object, 4, "1.3.6.1.5.5.7.3.3", false},
    {Family::Object, 8, "1.3.6.1.5.5.7.3.4", false},
    {Family::Object, 16, "1.3.6.1.5.5.7.3.8", false},
    {Family::Object, 32, "1.3.6.1.5.5.7.3.9", false},
    {Family::Object, 64, "1.3.6.1.4.1.311.10.3.3", false},
    {Family::Extension, 0, "1.2.840.113549.1.9.1", true},
    {Family::Extension, 1, "1.2.840.113549.1.9.7", true},
    {Family::Extension, 2, "1.2.840.113549.1.9.9", true},
    {Family::Extension, 3, "1.3.15.1", true},
    {Family::Extension, 4, "1.3.15.2", true},
    {Family::Extension, 5, "2.16.840.1.113730.1.1", true},
    {Family::Extension, 6, "2.16.840.1.113730.1.13", true},
    {Family::Extension, 7, "2.16.840.1.113730.1.12", true},
    {Family::Extension, 8, "2.37.1117.1931.3", true},
    {Family::Extension, 9, "2.37.1117.1931.5", true},
    {Family::Extension, 10, "2.37.1117.1931.7", true},
    {Family::Extension, 11, "2.37.1117.1931.13", true},
    {Family::Extension, 12, "2.37.1117.1931.23", true},
    {Family::Extension, 13, "2.37.1117.1931.29", true},
    {Family::Extension, 14, "2.37.1117.1931.31", true},
    {Family::Extension, 15, "2.5.29.15", true},
    {Family::Extension, 16, "2.5.29.19", true},
    {Family::Extension, 17, "2.5.29.37", true},
    {Family::Extension, 18, "2.5.29.32", true},
    {Family::Extension, 19, "2.5.29.31", true},
    {Family::Extension, 20, "2.5.29.17", true},
    {Family::Extension, 21, "2.5.29.18", true},
    {Family::Extension, 22, "1.3.6.1.5.5.7.1.1", true},
    {Family::Extension, 23, "1.3.6.1.5.5.7.48.1.5", true},
    {Family::Extension, 20, "1.2.840.113549.1.9.14", false},
    {Family::Attribute, 0, "1.2.840.113549.1.9.1", true},
    {Family::Attribute, 1, "1.2.840.113549.1.9.7", true},
    {Family::Attribute, 9, "1.2.840.113549.1.9.9", true},
};

// Code -> identifier bytes through the family's look-up; false when the
// look-up reports no identifier.
bool Encode(Family family, int code, std::vector<unsigned char>* out)
{
    unsigned char buffer[kOIDMaxLength + 4];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::size_t length = 0;
    bool found = false;
    switch (family) {
    case Family::Algorithm: found = AlgorithmToOID(code, buffer, &length) == 0; break;
    case Family::ContentType: found = ContentTypeToOID(code, buffer, &length) == 0; break;
    case Family::Object: found = ObjectCodeToOID(code, buffer, &length) == 0; break;
    case Family::Extension: {
        int n = ExtensionKindToOID(code, buffer);
        found = n >= 0;
        length = found ? static_cast<std::size_t>(n) : 0;
        break;
    }
    case Family::Attribute: found = AttributeTypeToOID(code, buffer) == 1; length = found ? 9 : 0; break;
    }
    // Exactly the identifier's bytes are written.
    for (std::size_t i = found ? length : 0; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
    if (found) out->assign(buffer, buffer + length);
    return found;
}

int Decode(Family family, const std::vector<unsigned char>& oid, std::size_t length)
{
    // Exactly sized heap copy, so a look-up that reads too far trips ASan.
    std::vector<unsigned char> exact(oid.begin(), oid.begin() + static_cast<long>(length));
    const unsigned char* p = exact.empty() ? nullptr : exact.data();
    switch (family) {
    case Family::Algorithm: return OIDToAlgorithm(p, length);
    case Family::ContentType: return OIDToContentType(p, length);
    case Family::Object: return OIDToBagType(p, length);
    case Family::Extension: return OIDToExtensionKind(p, length);
    case Family::Attribute: return OIDToAttributeType(p, length);
    }
    return -2;
}

const Family kFamilies[] = {Family::Algorithm, Family::ContentType, Family::Object, Family::Extension,
                            Family::Attribute};

TEST(OIDTables, KnownBytes)
{
    std::vector<unsigned char> out;
    ASSERT_TRUE(Encode(Family::Algorithm, 6, &out));
    EXPECT_EQ(testsupport::der::Hex(out), "2b0e03021a");
    ASSERT_TRUE(Encode(Family::Algorithm, 111, &out));
    EXPECT_EQ(testsupport::der::Hex(out), "2a864886f70d010105");
    ASSERT_TRUE(Encode(Family::Extension, 3, &out));
    EXPECT_EQ(testsupport::der::Hex(out), "2b0f01");
    ASSERT_TRUE(Encode(Family::Extension, 8, &out));
    EXPECT_EQ(testsupport::der::Hex(out), "75885d8f0b03");
    ASSERT_TRUE(Encode(Family::Object, 320, &out));
    EXPECT_EQ(testsupport::der::Hex(out), "6086480186f845010701" "01");
    ASSERT_TRUE(Encode(Family::Attribute, 9, &out));
    EXPECT_EQ(testsupport::der::Hex(out), "2a864886f70d010909");
}

TEST(OIDTables, CodesWithoutIdentifier)
{
    std::vector<unsigned char> out;
    EXPECT_FALSE(Encode(Family::Algorithm, 3, &out));   // SHA-0
    EXPECT_FALSE(Encode(Family::Object, 319, &out));    // id-pkix-ocsp: read only
    EXPECT_FALSE(Encode(Family::Object, 1, &out));      // key-purpose flags: read only
    EXPECT_FALSE(Encode(Family::Extension, 24, &out));
    EXPECT_FALSE(Encode(Family::Extension, -1, &out));
    EXPECT_FALSE(Encode(Family::Attribute, 2, &out));
    // subjectKeyIdentifier and authorityKeyIdentifier are no extension kinds.
    EXPECT_EQ(Decode(Family::Extension, FromHex("551D0E"), 3), -1);
    EXPECT_EQ(Decode(Family::Extension, FromHex("551D23"), 3), -1);
    EXPECT_EQ(Decode(Family::Algorithm, {}, 0), -1);
    EXPECT_EQ(OIDToAlgorithm(nullptr, 5), -1);
}

TEST(OIDTables, EncodableCodesRoundTrip)
{
    // The codes each look-up writes are exactly the table's, and each reads
    // back as itself.
    for (Family family : kFamilies) {
        std::set<int> expected;
        for (const OIDCase& c : kOIDs)
            if (c.family == family && c.encodes) expected.insert(c.code);
        std::set<int> got;
        for (int code = -300; code < 1000; ++code) {
            std::vector<unsigned char> oid;
            if (!Encode(family, code, &oid)) continue;
            got.insert(code);
            EXPECT_EQ(Decode(family, oid, oid.size()), code) << code;
        }
        EXPECT_EQ(got, expected) << static_cast<int>(family);
    }
}

#ifndef _WIN32
TEST(OIDTables, MatchOpenSSLEncodings)
{
    for (const OIDCase& c : kOIDs) {
        SCOPED_TRACE(c.dotted);
        std::vector<unsigned char> der = testsupport::der::GenStr("oid", std::string("OID:") + c.dotted);
        ASSERT_GE(der.size(), 3u) << "openssl asn1parse -genstr failed";
        ASSERT_EQ(der[0], 0x06);
        ASSERT_EQ(der[1], der.size() - 2);
        std::vector<unsigned char> oid(der.begin() + 2, der.end());
        EXPECT_LE(oid.size(), static_cast<std::size_t>(kOIDMaxLength));

        EXPECT_EQ(Decode(c.family, oid, oid.size()), c.code);
        // Only exact matches: one byte short or one byte more is unknown.
        EXPECT_EQ(Decode(c.family, oid, oid.size() - 1), -1);
        std::vector<unsigned char> longer(oid);
        longer.push_back(0x01);
        EXPECT_EQ(Decode(c.family, longer, longer.size()), -1);

        std::vector<unsigned char> encoded;
        bool found = Encode(c.family, c.code, &encoded);
        if (c.encodes) {
            EXPECT_TRUE(found);
            EXPECT_EQ(testsupport::der::Hex(encoded), testsupport::der::Hex(oid));
        } else if (found) {
            // A read-only alias: the code writes its main identifier instead.
            EXPECT_NE(testsupport::der::Hex(encoded), testsupport::der::Hex(oid));
        }
    }
}
#endif

// ---------------------------------------------------------------------------
// AlgorithmIdentifier: buffer and stream readers over one table.

struct AlgIdCase {
    const char* name;
    const char* hex;
    std::size_t decodeResult;  // DecodeAlgorithmId; 0 = fails
    int decodeCode;
    std::size_t readResult;    // ReadAlgorithmId; 0 = fails
    int readCode;
};

const AlgIdCase kAlgIds[] = {
    {"sha1WithRSA with NULL", "30 0D 06 09 2A 86 48 86 F7 0D 01 01 05 05 00", 15, 111, 15, 111},
    {"sha1WithRSA without NULL", "30 0B 06 09 2A 86 48 86 F7 0D 01 01 05", 13, 111, 13, 111},
    {"md5 digest", "30 0C 06 08 2A 86 48 86 F7 0D 02 05 05 00", 14, 5, 14, 5},
    {"alias 1.3.14.3.2.29", "30 09 06 05 2B 0E 03 02 1D 05 00", 11, 111, 11, 111},
    {"long-form SEQUENCE length", "30 81 0D 06 09 2A 86 48 86 F7 0D 01 01 05 05 00", 16, 111, 16, 111},
    {"OCTET STRING parameters", "30 0D 06 09 2A 86 48 86 F7 0D 01 01 05 04 00", 0, 0, 0, 0},
    {"NULL with content", "30 0E 06 09 2A 86 48 86 F7 0D 01 01 05 05 01 00", 0, 0, 0, 0},
    {"element after the NULL", "30 0F 06 09 2A 86 48 86 F7 0D 01 01 05 05 00 05 00", 0, 0, 0, 0},
    {"SEQUENCE shorter than its OID", "30 05 06 09 2A 86 48 86 F7 0D 01 01 05", 0, 0, 0, 0},
    {"SEQUENCE one byte short of the NULL", "30 0C 06 09 2A 86 48 86 F7 0D 01 01 05 05 00", 0, 0, 0, 0},
    {"unknown OID", "30 07 06 03 2A 03 04 05 00", 0, 0, 9, -1},
    {"OID of 28 bytes", "30 1E 06 1C 2A 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01", 0, 0, 32, -1},
    {"OID of 29 bytes", "30 1F 06 1D 2A 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01", 0, 0, 0, 0},
    {"not a SEQUENCE", "31 0D 06 09 2A 86 48 86 F7 0D 01 01 05 05 00", 0, 0, 0, 0},
    {"OID under another tag", "30 0D 04 09 2A 86 48 86 F7 0D 01 01 05 05 00", 0, 0, 0, 0},
    {"cut in the OID", "30 0D 06 09 2A 86 48 86", 0, 0, 0, 0},
    {"cut before the NULL", "30 0D 06 09 2A 86 48 86 F7 0D 01 01 05", 0, 0, 0, 0},
    {"indefinite SEQUENCE", "30 80 06 09 2A 86 48 86 F7 0D 01 01 05 05 00 00 00", 0, 0, 0, 0},
    // The stream's tag map reads 0xB0 as 16; the buffer's reads it as 176.
    {"[16] constructed", "B0 0D 06 09 2A 86 48 86 F7 0D 01 01 05 05 00", 0, 0, 15, 111},
    {"empty", "", 0, 0, 0, 0},
};

TEST(AlgorithmId, DecodeTable)
{
    for (const AlgIdCase& c : kAlgIds) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> der = FromHex(c.hex);
        DERCursor cursor;
        InitDERReader(&cursor, der.empty() ? nullptr : der.data(), der.size());
        int code = -7;
        EXPECT_EQ(DecodeAlgorithmId(&cursor, &code), c.decodeResult);
        if (c.decodeResult) {
            EXPECT_EQ(code, c.decodeCode);
            EXPECT_EQ(cursor.position, c.decodeResult);
        }
    }
}

TEST(AlgorithmId, ReadTableFromStreams)
{
    struct Medium { unsigned char kind; std::uint32_t mode; std::size_t block; };
    const Medium media[] = {{kStreamMemory, kTransferRaw, 0}, {kStreamChain, kTransferRaw, 3},
                            {kStreamMemory, kTransferBase64Lines, 0}, {kStreamFile, kTransferRaw, 0}};
    for (const Medium& m : media) {
        for (const AlgIdCase& c : kAlgIds) {
            SCOPED_TRACE(std::string(c.name) + " kind " + std::to_string(m.kind) + " mode " + std::to_string(m.mode));
            std::vector<unsigned char> der = FromHex(c.hex);
            der.push_back(0x42);  // a byte after the identifier stays in the stream
            testsupport::der::ReadingStream s(der, m.kind, m.mode, m.block, "algid.bin");
            ASSERT_TRUE(s.ready);
            int code = -7;
            EXPECT_EQ(ReadAlgorithmId(&s.stream, &code), c.readResult);
            if (!c.readResult) continue;
            EXPECT_EQ(code, c.readCode);
            unsigned char next = 0;
            std::size_t count = 0;
            EXPECT_EQ(ReadStream(&s.stream, &next, 1, &count), kStreamSuccess);
            EXPECT_EQ(count, 1u);
            EXPECT_EQ(next, 0x42);
        }
    }
}

TEST(AlgorithmId, EncodeKnownBytes)
{
    unsigned char buffer[64];
    DERCursor cursor;
    InitDERWriter(&cursor, buffer, sizeof buffer);
    EXPECT_EQ(EncodeAlgorithmId(&cursor, 5), 14u);
    EXPECT_EQ(ToHex(buffer + cursor.position, sizeof buffer - cursor.position), "300c06082a864886f70d02050500");

    InitDERWriter(&cursor, buffer, sizeof buffer);
    EXPECT_EQ(EncodeAlgorithmId(&cursor, 3), 0u);
    EXPECT_EQ(EncodeAlgorithmId(&cursor, 319), 0u);
    EXPECT_EQ(cursor.position, sizeof buffer);

    // Too little room fails at every size.
    for (std::size_t size = 0; size < 14; ++size) {
        std::vector<unsigned char> exact(size);
        InitDERWriter(&cursor, exact.data(), size);
        EXPECT_EQ(EncodeAlgorithmId(&cursor, 5), 0u) << size;
    }
}

TEST(AlgorithmId, EncodedIdentifiersDecodeBack)
{
    for (const OIDCase& c : kOIDs) {
        if (c.family != Family::Algorithm || !c.encodes) continue;
        unsigned char buffer[64];
        DERCursor cursor;
        InitDERWriter(&cursor, buffer, sizeof buffer);
        std::size_t n = EncodeAlgorithmId(&cursor, c.code);
        ASSERT_NE(n, 0u);
        DERCursor reader;
        InitDERReader(&reader, buffer + cursor.position, n);
        int code = -7;
        EXPECT_EQ(DecodeAlgorithmId(&reader, &code), n);
        EXPECT_EQ(code, c.code);
    }
}

#ifndef _WIN32
TEST(AlgorithmId, EncodingsMatchOpenSSL)
{
    for (const OIDCase& c : kOIDs) {
        if (c.family != Family::Algorithm || !c.encodes) continue;
        SCOPED_TRACE(c.dotted);
        std::vector<unsigned char> der = testsupport::der::GenConf(
            "algid", std::string("asn1 = SEQUENCE:a\n[a]\noid = OID:") + c.dotted + "\nparameters = NULL\n");
        ASSERT_FALSE(der.empty());
        unsigned char buffer[64];
        DERCursor cursor;
        InitDERWriter(&cursor, buffer, sizeof buffer);
        EXPECT_EQ(EncodeAlgorithmId(&cursor, c.code), der.size());
        EXPECT_EQ(ToHex(buffer + cursor.position, sizeof buffer - cursor.position), testsupport::der::Hex(der));
    }
    // With an IV as OCTET STRING parameters.
    const unsigned char iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<unsigned char> der = testsupport::der::GenConf(
        "algid-iv", "asn1 = SEQUENCE:a\n[a]\noid = OID:1.2.840.113549.3.7\niv = FORMAT:HEX,OCTETSTRING:0102030405060708\n");
    ASSERT_FALSE(der.empty());
    unsigned char buffer[64];
    DERCursor cursor;
    InitDERWriter(&cursor, buffer, sizeof buffer);
    EXPECT_EQ(EncodeAlgorithmIdParams(&cursor, 112, iv, sizeof iv), der.size());
    EXPECT_EQ(ToHex(buffer + cursor.position, sizeof buffer - cursor.position), testsupport::der::Hex(der));
    // Such parameters are not accepted back.
    DERCursor reader;
    InitDERReader(&reader, der.data(), der.size());
    int code = -7;
    EXPECT_EQ(DecodeAlgorithmId(&reader, &code), 0u);
}
#endif

}  // namespace
