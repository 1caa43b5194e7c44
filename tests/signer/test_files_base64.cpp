// The line-broken base64 codec, against known vectors and OpenSSL's output.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "signer/files/base64_lines.h"
#include "signer/files/file_utils.h"
#include "tests/support/test_util.h"

namespace {

std::vector<unsigned char> Pattern(std::size_t n)
{
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(i * 7 + 3);
    return v;
}

std::string Fixture(const char* name)
{
    auto bytes = testsupport::ReadFile(testsupport::SourceDir() + "/tests/data/" + name);
    return std::string(bytes.begin(), bytes.end());
}

// Decodes through both passes; ok false when either refuses the text.
bool Decode(const std::string& text, std::vector<unsigned char>* out)
{
    std::size_t count = 99;
    int lengthOk = Base64DecodedLength(text.data(), text.size(), &count);
    std::vector<unsigned char> bytes(count + 1, 0xEE);
    int decodeOk = DecodeBase64Lines(text.data(), text.size(), bytes.data(), bytes.size());
    EXPECT_EQ(lengthOk, decodeOk) << text;
    if (!lengthOk) {
        EXPECT_EQ(count, 0u);
        return false;
    }
    EXPECT_EQ(bytes[count], 0xEE) << "wrote past the decoded length";
    bytes.resize(count);
    *out = bytes;
    return true;
}

struct DecodeCase {
    const char* text;
    const char* hex;  // nullptr: refused
};

class LineDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(LineDecoding, MatchesKnownBytes)
{
    const DecodeCase& c = GetParam();
    std::vector<unsigned char> out;
    bool ok = Decode(c.text, &out);
    if (!c.hex) {
        EXPECT_FALSE(ok) << c.text;
        return;
    }
    ASSERT_TRUE(ok) << c.text;
    EXPECT_EQ(testsupport::ToHex(out.data(), out.size()), c.hex);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, LineDecoding,
    ::testing::Values(
        DecodeCase{"TWFu", "4d616e"}, DecodeCase{"TWE=", "4d61"}, DecodeCase{"TQ==", "4d"},
        DecodeCase{"", ""}, DecodeCase{"TW\r\nFu\r\n", "4d616e"}, DecodeCase{" T W\tF u ", "4d616e"},
        DecodeCase{"-----BEGIN CERTIFICATE-----\r\nTWFu\r\nTQ==\r\n-----END CERTIFICATE-----\r\n", "4d616e4d"},
        DecodeCase{"TWFuTWFu\n", "4d616e4d616e"},
        // Incomplete groups.
        DecodeCase{"TWFuT", nullptr}, DecodeCase{"TWF", nullptr},
        // "=" other than as final padding.
        DecodeCase{"TQ===", nullptr}, DecodeCase{"T===", nullptr}, DecodeCase{"====", nullptr},
        DecodeCase{"=TWF", nullptr}, DecodeCase{"TW=u", nullptr}, DecodeCase{"TQ==TWFu", nullptr},
        DecodeCase{"TWE=TQ==", nullptr}, DecodeCase{"TQ==\r\nT", nullptr}));

TEST(LineDecoding, ArmouredFixtureInAnyLineBreaks)
{
    std::vector<unsigned char> expected(256);
    for (int i = 0; i < 256; ++i) expected[i] = static_cast<unsigned char>(i);
    std::string lf = Fixture("base64/bytes-0-255.pem");
    ASSERT_FALSE(lf.empty());
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    for (const std::string& text : {lf, crlf}) {
        std::vector<unsigned char> out;
        ASSERT_TRUE(Decode(text, &out));
        EXPECT_EQ(out, expected);
    }
}

TEST(LineDecoding, RefusesOutputThatDoesNotFit)
{
    unsigned char out[4] = {0, 0, 0xEE, 0xEE};
    EXPECT_EQ(DecodeBase64Lines("TWFu", 4, out, 2), 0);
    EXPECT_EQ(out[2], 0xEE);
    EXPECT_EQ(Base64DecodeToBuffer("TWFu", 4, out, 2), 0u);
    EXPECT_EQ(Base64DecodeToBuffer("TWFu", 4, out, 3), 3u);
    EXPECT_EQ(testsupport::ToHex(out, 3), "4d616e");
    EXPECT_EQ(Base64DecodeToBuffer("TW=u", 4, out, 4), 0u);
    EXPECT_EQ(Base64DecodeToBuffer("", 0, out, 4), 0u);
}

struct EncodeCase {
    const char* hex;
    int mode;
    std::size_t width;
    const char* text;  // nullptr: argument error
    std::size_t length;
};

class LineEncoding : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(LineEncoding, WritesTheCountItReports)
{
    const EncodeCase& c = GetParam();
    std::vector<unsigned char> bytes = testsupport::FromHex(c.hex);
    std::size_t length = 77;
    int ok = Base64EncodedLength(bytes.size(), c.mode, c.width, &length);
    EXPECT_EQ(length, c.length);
    std::vector<char> text(64, '#');
    std::size_t written = EncodeBase64Lines(bytes.data(), bytes.size(), text.data(), text.size(), c.mode, c.width);
    if (!c.text) {
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(written, 0u);
        return;
    }
    EXPECT_EQ(ok, 1);
    EXPECT_LE(written, length);
    EXPECT_EQ(std::string(text.data(), written), c.text);
    EXPECT_EQ(text[written], '#');
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, LineEncoding,
    ::testing::Values(
        EncodeCase{"01020304", kBase64Crlf, 4, "AQIDBA==\r\n", 12},
        EncodeCase{"4d616e", kBase64NoBreaks, 0, "TWFu", 4},
        EncodeCase{"4d61", kBase64NoBreaks, 0, "TWE=", 4},
        EncodeCase{"4d", kBase64NoBreaks, 0, "TQ==", 4},
        EncodeCase{"4d616e", kBase64Lf, 4, "TWFu\n", 5},
        EncodeCase{"000102030405", kBase64Crlf, 4, "AAEC\r\nAwQF\r\n", 12},
        EncodeCase{"000102030405060708", kBase64Lf, 8, "AAECAwQF\nBgcI\n", 14},
        // Nothing to encode: no text, not even a line break.
        EncodeCase{"", kBase64Crlf, 4, "", 0},
        EncodeCase{"4d", kBase64Crlf, 6, nullptr, 0},
        EncodeCase{"4d", kBase64Crlf, 0, nullptr, 0},
        EncodeCase{"4d", 3, 4, nullptr, 0}));

TEST(LineEncoding, MatchesOpenSslLines)
{
    std::vector<unsigned char> data = Pattern(1000);
    std::string expected = Fixture("files/pattern1000.b64");  // openssl base64, LF every 64
    ASSERT_FALSE(expected.empty());
    std::size_t length = 0;
    ASSERT_EQ(Base64EncodedLength(data.size(), kBase64Lf, 64, &length), 1);
    std::vector<char> text(length);
    std::size_t written = EncodeBase64Lines(data.data(), data.size(), text.data(), text.size(), kBase64Lf, 64);
    EXPECT_EQ(std::string(text.data(), written), expected);
}

TEST(LineEncoding, RefusesATextTooSmall)
{
    const unsigned char bytes[] = {1, 2, 3, 4};
    char text[16];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(EncodeBase64Lines(bytes, 4, text, 11, kBase64Crlf, 4), 0u);
    EXPECT_EQ(text[0], '#');
}

TEST(LineEncoding, RoundTripsEveryLength)
{
    for (std::size_t n = 0; n <= 70; ++n) {
        std::vector<unsigned char> data = Pattern(n);
        for (int mode : {kBase64NoBreaks, kBase64Crlf, kBase64Lf}) {
            for (std::size_t width : {4u, 8u, 64u}) {
                std::size_t length = 0;
                ASSERT_EQ(Base64EncodedLength(n, mode, width, &length), 1);
                std::vector<char> text(length + 1);
                std::size_t written = EncodeBase64Lines(data.data(), n, text.data(), length, mode, width);
                std::vector<unsigned char> back;
                ASSERT_TRUE(Decode(std::string(text.data(), written), &back)) << n;
                EXPECT_EQ(back, data) << n << " " << mode << " " << width;
            }
        }
    }
}

}  // namespace
