// The portable checks of a time-stamp token against tokens and certificates
// made by openssl: the TSA certificate's key purpose (its extKeyUsage is
// critical), the signed attributes tied to the TSTInfo, the server
// certificate against the CA, the signer's names and the TCP framing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text/text.h"
#include "tests/support/tsa_tokens.h"
#include "tsp/protocol/server_certificate.h"
#include "tsp/protocol/tcp_framing.h"
#include "tsp/protocol/timestamping_usage.h"
#include "tsp/protocol/token_signed_parts.h"

#ifdef TAVOMIR_HAVE_OPENSSL
#include <openssl/sha.h>
#endif

using namespace testsupport;

namespace {

ByteBuffer View(std::vector<unsigned char>& bytes) { return ByteBuffer{bytes.data(), bytes.size()}; }

std::string Text(const ByteBuffer& buffer)
{
    return buffer.pointer ? std::string(reinterpret_cast<const char*>(buffer.pointer), buffer.length) : "";
}

// ---- The TSA certificate's key purpose ----

TEST(TimeStampingUsage, FirstPurposeDecidesOverTheTestPki)
{
    struct Case {
        const char* entity;
        int timeStamping;
    };
    // tsa: timeStamping, critical; ocsp: OCSPSigning; signer: no timeStamping.
    for (const Case& c : {Case{"tsa", 1}, Case{"ocsp", 0}, Case{"signer", 0}, Case{"ca", 0}}) {
        SCOPED_TRACE(c.entity);
        std::vector<unsigned char> der = ReadFile(Pki(std::string(c.entity) + ".cert.der"));
        ASSERT_FALSE(der.empty());
        ByteBuffer subject{nullptr, 0};
        int flag = -1;
        const std::size_t parsed = ScanTimeStampingUsage(der.data(), der.size(), &subject, &flag);
        EXPECT_GT(parsed, 0u);
        EXPECT_LT(parsed, der.size());
        EXPECT_EQ(flag, c.timeStamping);
        ASSERT_NE(subject.pointer, nullptr);
        EXPECT_EQ(subject.pointer[0], 0x30);
        EXPECT_NE(tsa::Find(der, std::vector<unsigned char>(subject.pointer, subject.pointer + subject.length)),
                  std::string::npos);
        FreeItems(&subject, 1);
    }
}

TEST(TimeStampingUsage, TruncatedOrOversizedCertificateIsNotParsed)
{
    std::vector<unsigned char> der = ReadFile(Pki("tsa.cert.der"));
    ASSERT_FALSE(der.empty());
    for (std::size_t length = 0; length < der.size(); ++length) {
        ByteBuffer subject{nullptr, 0};
        int flag = -1;
        // A cut certificate's outer SEQUENCE announces more than is there.
        EXPECT_EQ(ScanTimeStampingUsage(der.data(), length, &subject, &flag), 0u) << length;
        EXPECT_EQ(subject.pointer, nullptr);
        EXPECT_EQ(flag, 0);
    }
    std::vector<unsigned char> big(kTimeStampingCertificateLimit + 1, 0x30);
    ByteBuffer subject{nullptr, 0};
    int flag = 0;
    EXPECT_EQ(ScanTimeStampingUsage(big.data(), big.size(), &subject, &flag), 0u);
}

// ---- The token's signed attributes and its TSTInfo ----

#ifdef TAVOMIR_HAVE_OPENSSL
std::vector<unsigned char> DigestOf(TokenDigest digest, const ByteBuffer& data)
{
    std::vector<unsigned char> out(digest == kTokenDigestSha1 ? SHA_DIGEST_LENGTH : SHA256_DIGEST_LENGTH);
    if (digest == kTokenDigestSha1)
        SHA1(data.pointer, data.length, out.data());
    else
        SHA256(data.pointer, data.length, out.data());
    return out;
}

TEST(TokenSignedParts, OpensslTokensTieTheirDigestToTheTSTInfo)
{
    for (const char* digest : {"sha1", "sha256"}) {
        SCOPED_TRACE(digest);
        std::vector<unsigned char> token = tsa::Token(std::string("parts-") + digest, "stamped data\n", digest);
        ASSERT_FALSE(token.empty());
        std::vector<unsigned char> tstInfo = tsa::TSTInfoOf(std::string("parts-") + digest, token);
        ASSERT_FALSE(tstInfo.empty());

        TokenSignedParts parts;
        ASSERT_TRUE(ReadTokenSignedParts(token.data(), token.size(), &parts));
        EXPECT_EQ(std::vector<unsigned char>(parts.eContent.pointer, parts.eContent.pointer + parts.eContent.length),
                  tstInfo);
        EXPECT_TRUE(TokenContentIsTSTInfo(parts));
        const TokenDigest kind = TokenDigestOf(parts);
        EXPECT_EQ(kind, std::string(digest) == "sha1" ? kTokenDigestSha1 : kTokenDigestSha256);
        std::vector<unsigned char> good = DigestOf(kind, parts.eContent);
        EXPECT_TRUE(TokenDigestMatches(parts, good.data(), good.size()));

        // A rewritten TSTInfo (its last byte) no longer matches messageDigest.
        const std::size_t at = tsa::Find(token, tstInfo);
        ASSERT_NE(at, std::string::npos);
        token[at + tstInfo.size() - 1] ^= 0x01;
        ASSERT_TRUE(ReadTokenSignedParts(token.data(), token.size(), &parts));
        std::vector<unsigned char> edited = DigestOf(kind, parts.eContent);
        EXPECT_FALSE(TokenDigestMatches(parts, edited.data(), edited.size()));
    }
}
#endif

TEST(TokenSignedParts, IdDataContentIsNotTSTInfo)
{
    std::vector<unsigned char> token = tsa::Token("iddata-src", "data\n");
    std::vector<unsigned char> tstInfo = tsa::TSTInfoOf("iddata-src", token);
    ASSERT_FALSE(tstInfo.empty());
    std::vector<unsigned char> idData = tsa::SignedTSTInfo("iddata", tstInfo, "tsa", false);
    ASSERT_FALSE(idData.empty());
    TokenSignedParts parts;
    ASSERT_TRUE(ReadTokenSignedParts(idData.data(), idData.size(), &parts));
    EXPECT_FALSE(TokenContentIsTSTInfo(parts));
}

TEST(TokenSignedParts, TruncatedTokensAndEmptyDigestsFail)
{
    std::vector<unsigned char> token = tsa::Token("truncated", "data\n");
    ASSERT_FALSE(token.empty());
    TokenSignedParts parts;
    for (std::size_t length = 0; length < token.size(); ++length) {
        EXPECT_FALSE(ReadTokenSignedParts(token.data(), length, &parts)) << length;
        EXPECT_EQ(parts.eContent.pointer, nullptr);
    }
    ASSERT_TRUE(ReadTokenSignedParts(token.data(), token.size(), &parts));
    EXPECT_FALSE(TokenDigestMatches(parts, nullptr, 0));
}

// ---- The server certificate and the signer's names ----

TEST(ServerCertificate, OnlyTheIssuingCaAccepts)
{
    struct Case {
        const char* ca;
        const char* signer;
        int accepted;
    };
    const Case cases[] = {
        {"ca", "tsa", 1},     {"otherca", "tsa", 0}, {"ca", "other", 0},
        {"ca", "ca", 1},      // self-signed: itself as CA
        {"tsa", "tsa", 0},    // not self-signed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ca) + " / " + c.signer);
        std::vector<unsigned char> ca = ReadFile(Pki(std::string(c.ca) + ".cert.der"));
        std::vector<unsigned char> signer = ReadFile(Pki(std::string(c.signer) + ".cert.der"));
        ASSERT_FALSE(ca.empty());
        ASSERT_FALSE(signer.empty());
        EXPECT_EQ(CheckServerCertificate(ca.data(), ca.size(), View(signer)), c.accepted);
    }
    std::vector<unsigned char> signer = ReadFile(Pki("tsa.cert.der"));
    const unsigned char garbage[] = {0x30, 0x03, 0x02, 0x01, 0x00};
    EXPECT_EQ(CheckServerCertificate(garbage, sizeof garbage, View(signer)), 0);
    EXPECT_EQ(CheckServerCertificate(nullptr, 0, View(signer)), 0);
}

TEST(ServerCertificate, SignerNamesAreTheCommonNames)
{
    std::vector<unsigned char> signer = ReadFile(Pki("tsa.cert.der"));
    ByteBuffer subject, issuer;
    ASSERT_EQ(GetSignerCertificateNames(View(signer), &subject, &issuer), 0);
    EXPECT_EQ(Text(subject), "Tavomir Test TSA");
    EXPECT_EQ(Text(issuer), "Tavomir Test CA");
    FreeItems(&subject, 1);
    FreeItems(&issuer, 1);

    std::vector<unsigned char> cut(signer.begin(), signer.begin() + 40);
    EXPECT_EQ(GetSignerCertificateNames(View(cut), &subject, &issuer), 1);
    EXPECT_EQ(subject.pointer, nullptr);
    EXPECT_EQ(issuer.pointer, nullptr);
}

// ---- TCP framing ----

TEST(TcpFraming, RoundTripAndRefusals)
{
    const unsigned char value[] = {0x30, 0x03, 0x02, 0x01, 0x05};
    ByteBuffer frame;
    ASSERT_TRUE(WriteTcpFrame(0x05, value, sizeof value, &frame));
    const std::vector<unsigned char> want = {0x00, 0x00, 0x00, 0x06, 0x05, 0x30, 0x03, 0x02, 0x01, 0x05};
    EXPECT_EQ(std::vector<unsigned char>(frame.pointer, frame.pointer + frame.length), want);
    unsigned char flag = 0;
    ByteBuffer read;
    ASSERT_TRUE(ReadTcpFrame(frame.pointer, frame.length, &flag, &read));
    EXPECT_EQ(flag, 0x05);
    EXPECT_EQ(std::vector<unsigned char>(read.pointer, read.pointer + read.length),
              std::vector<unsigned char>(value, value + sizeof value));
    // Cut anywhere, the frame announces more than it holds.
    for (std::size_t length = 0; length < frame.length; ++length)
        EXPECT_FALSE(ReadTcpFrame(frame.pointer, length, &flag, &read)) << length;
    FreeItems(&frame, 1);

    const unsigned char longer[] = {0x00, 0x01, 0x00, 0x00, 0x05};  // over 16 bits
    const unsigned char empty[] = {0x00, 0x00, 0x00, 0x00, 0x05};   // no flag byte counted
    EXPECT_FALSE(ReadTcpFrame(longer, sizeof longer, &flag, &read));
    EXPECT_FALSE(ReadTcpFrame(empty, sizeof empty, &flag, &read));
    std::vector<unsigned char> tooLong(kTcpFrameMaxLength);
    EXPECT_FALSE(WriteTcpFrame(0, tooLong.data(), tooLong.size(), &frame));
    EXPECT_EQ(frame.pointer, nullptr);
}

TEST(TcpFraming, LongestValueRoundTripsAndTheNextFrameStaysOut)
{
    // The longest value the 16-bit length carries: writer and reader agree.
    std::vector<unsigned char> longest(kTcpFrameMaxLength - 1);
    for (std::size_t i = 0; i < longest.size(); ++i) longest[i] = static_cast<unsigned char>(i * 7);
    ByteBuffer frame;
    ASSERT_TRUE(WriteTcpFrame(0x06, longest.data(), longest.size(), &frame));
    ASSERT_EQ(frame.length, kTcpFrameHeader + longest.size());
    EXPECT_EQ(ToHex(frame.pointer, kTcpFrameHeader), "0000ffff06");
    unsigned char flag = 0;
    ByteBuffer read;
    ASSERT_TRUE(ReadTcpFrame(frame.pointer, frame.length, &flag, &read));
    EXPECT_EQ(flag, 0x06);
    EXPECT_EQ(std::vector<unsigned char>(read.pointer, read.pointer + read.length), longest);
    FreeItems(&frame, 1);

    // An empty value; a second frame behind the first is not part of it.
    ASSERT_TRUE(WriteTcpFrame(0x03, nullptr, 0, &frame));
    std::vector<unsigned char> stream(frame.pointer, frame.pointer + frame.length);
    FreeItems(&frame, 1);
    EXPECT_EQ(ToHex(stream.data(), stream.size()), "0000000103");
    stream.insert(stream.end(), {0x00, 0x00, 0x00, 0x02, 0x05, 0xAA});
    ASSERT_TRUE(ReadTcpFrame(stream.data(), stream.size(), &flag, &read));
    EXPECT_EQ(flag, 0x03);
    EXPECT_EQ(read.length, 0u);

    // Any announced length beyond 16 bits, whatever the frame holds.
    for (const unsigned char high : {0x01, 0x80, 0xFF}) {
        std::vector<unsigned char> hostile(kTcpFrameHeader + 16, 0x00);
        hostile[0] = high;
        hostile[3] = 0x02;
        EXPECT_FALSE(ReadTcpFrame(hostile.data(), hostile.size(), &flag, &read)) << int(high);
        hostile[0] = 0x00;
        hostile[1] = high;
        EXPECT_FALSE(ReadTcpFrame(hostile.data(), hostile.size(), &flag, &read)) << int(high);
    }
}

TEST(TcpFraming, FixedMarker)
{
    ByteBuffer marker;
    ASSERT_EQ(MakeFixedMarker(&marker), 1);
    EXPECT_EQ(ToHex(marker.pointer, marker.length), "f1f2f3f4");
    FreeItems(&marker, 1);
}

}  // namespace
