// Halvery's exports against a real time-stamp authority (`openssl ts
// -reply` behind the tests' HTTP peer on 127.0.0.1): its sections, its
// hostile answers, and the tokens checked again by openssl.
#include <gtest/gtest.h>

#include <string>

#include "tests/halvery/stamp_util.h"
#include "tests/support/tsa_server.h"

namespace {

using halvery_test::Bytes;
using halvery_test::HandStamp;
using halvery_test::Stamp;
using halvery_test::StampOptions;
using halvery_test::StampOutcome;
using halvery_test::TakeText;
using testsupport::TsaMode;
using testsupport::TsaServer;

std::string Work(const std::string& name) { return testsupport::WorkDir() + "/" + name; }

std::string SaveBytes(const std::string& name, const Bytes& bytes)
{
    testsupport::WriteFile(Work(name), bytes.data(), bytes.size());
    return Work(name);
}

StampOutcome StampAt(TsaMode mode, StampOptions options = {})
{
    TsaServer server(mode);
    options.url = server.Url();
    return Stamp(options);
}

// An answer that is refused or fails leaves nothing to copy.
void ExpectNothingGranted(const StampOutcome& out)
{
    EXPECT_EQ(out.granted, 0);
    EXPECT_EQ(out.size, 0);
    EXPECT_EQ(out.copied, 1);
}

TEST(StampAgainstTsa, EachSectionGrantsATokenOpensslAccepts)
{
    struct Case {
        const char* what;
        TsaMode mode;
    } cases[] = {
        {"SHA-1 signature", TsaMode::Sha1},
        {"SHA-256 signature", TsaMode::Sha256},
        {"genTime with a fraction", TsaMode::Fraction},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StampOptions options;
        options.data = Bytes(c.what, c.what + std::char_traits<char>::length(c.what));
        const StampOutcome out = StampAt(c.mode, options);
        EXPECT_EQ(out.encoded, 0);
        EXPECT_EQ(out.exchanged, 0);
        EXPECT_EQ(out.decoded, 0);
        EXPECT_EQ(out.error, 0u);
        EXPECT_EQ(out.granted, 1);
        EXPECT_EQ(out.status, TSP_STATUS_GRANTED);
        EXPECT_EQ(out.failureInfo, -1);
        ASSERT_EQ(out.copied, 0);
        ASSERT_GT(out.token.size(), 100u);
        const std::string token = SaveBytes("granted.tok", out.token);
        const std::string data = SaveBytes("granted.txt", options.data);
        EXPECT_EQ(testsupport::TsaVerifyTokenForData(token, data), 0);
        EXPECT_EQ(testsupport::TsaVerifyTokenForDigest(token, testsupport::ToHex(out.hash.data(), out.hash.size())), 0);
        // Another file's data is not what the token stamps.
        const std::string other = SaveBytes("other.txt", Bytes{'x'});
        EXPECT_NE(testsupport::TsaVerifyTokenForData(token, other), 0);
    }
}

TEST(StampAgainstTsa, RefusedSha1IsADecodedRefusalNotAFailure)
{
    TsaServer server(TsaMode::RefusesSha1), waiting(TsaMode::Waiting);
    HandStamp stamp("refused");
    TSPData& record = stamp.record;
    ASSERT_EQ(_SetNonce(&record), 0);
    int decoded = -1;
    ASSERT_EQ(stamp.Exchange(server.Url(), &decoded), 0);
    EXPECT_EQ(decoded, 0);
    EXPECT_EQ(_TimeStampGranted(&record), 0);
    EXPECT_EQ(_GetTSPResponseStatus(&record), TSP_STATUS_REJECTION);
    EXPECT_EQ(_GetTSPResponseFailureInfo(&record), TSP_FAILURE_BAD_ALG);
    EXPECT_EQ(_GetTimeStampSize(&record), 0);
    unsigned char destination[16] = {};
    EXPECT_EQ(_CopyTimeStamp(&record, destination), 1);
    EXPECT_EQ(_GetTSPErrorCode(&record), 0u);
    EXPECT_EQ(TakeText(_GetTSPResponseStatusDescription(&record)), "Request rejected");
    EXPECT_EQ(TakeText(_GetTSPResponseFailureInfoDescription(&record)),
              "unrecognized or unsupported Algorithm Identifier");

    // A later answer without failure information does not keep the old one.
    ASSERT_EQ(stamp.Exchange(waiting.Url(), &decoded), 0);
    EXPECT_EQ(decoded, 0);
    EXPECT_EQ(_GetTSPResponseStatus(&record), TSP_STATUS_WAITING);
    EXPECT_EQ(_GetTSPResponseFailureInfo(&record), TSP_FAILURE_NONE);
    EXPECT_EQ(TakeText(_GetTSPResponseStatusDescription(&record)), "Response pending, try later");
}

TEST(StampAgainstTsa, HostileAnswersFailCleanlyInBoundedTime)
{
    struct Case {
        const char* what;
        TsaMode mode;
        int exchanged, decoded;
        std::uint32_t error;
    } cases[] = {
        {"a certificate the CA did not issue", TsaMode::OtherSigner, 0, 1, TSP_ERR_SERVER_CERTIFICATE},
        {"wrong imprint", TsaMode::WrongImprint, 0, 1, TSP_ERR_HASH_MISMATCH},
        {"SHA-256 imprint", TsaMode::Sha256Imprint, 0, 1, TSP_ERR_HASH_ALGORITHM},
        {"wrong nonce", TsaMode::WrongNonce, 0, 1, TSP_ERR_NONCE_MISMATCH},
        {"no nonce", TsaMode::NoNonce, 0, 1, TSP_ERR_NONCE_MISSING},
        {"truncated response", TsaMode::Truncated, 0, 1, TSP_ERR_DECODING_RESPONSE},
        {"unknown PKIStatus", TsaMode::UnknownStatus, 0, 1, TSP_ERR_UNKNOWN_STATUS},
        {"wrong content type", TsaMode::WrongContentType, 1, -1, TSP_ERR_CONTENT_TYPE},
        {"lying Content-Length", TsaMode::LyingLength, 1, -1, TSP_ERR_HTTP_HEADER},
        {"over 6144 bytes", TsaMode::Oversized, 1, -1, TSP_ERR_RECEIVE},
        {"HTTP 500", TsaMode::Http500, 1, -1, TSP_ERR_HTTP_HEADER},
        {"garbage", TsaMode::Garbage, 1, -1, TSP_ERR_HTTP_HEADER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StampOutcome out = StampAt(c.mode);
        EXPECT_EQ(out.exchanged, c.exchanged);
        EXPECT_EQ(out.decoded, c.decoded);
        EXPECT_EQ(out.error, c.error) << std::hex << out.error;
        ExpectNothingGranted(out);
        EXPECT_LT(out.milliseconds, 20000u);
    }
}

TEST(StampAgainstTsa, RecordWithoutNonceAcceptsAnyTokenNonce)
{
    StampOptions options;
    options.nonce = false;
    for (TsaMode mode : {TsaMode::Sha1, TsaMode::NoNonce}) {
        const StampOutcome out = StampAt(mode, options);
        EXPECT_EQ(out.decoded, 0);
        EXPECT_EQ(out.granted, 1);
        EXPECT_GT(out.token.size(), 0u);
    }
}

TEST(StampAgainstTsa, DelayIsSixDigitsOrTheWindowFails)
{
    struct Case {
        const char* delay;
        int decoded;
        std::uint32_t error;
    } cases[] = {
        {"000500", 0, 0},
        {"010000", 0, 0},
        {"00050", 1, TSP_ERR_TIME_WINDOW},
        {"0005a0", 1, TSP_ERR_TIME_WINDOW},
        {"", 1, TSP_ERR_TIME_WINDOW},
    };
    TsaServer server(TsaMode::Sha1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delay);
        StampOptions options;
        options.url = server.Url();
        options.delay = c.delay;
        const StampOutcome out = Stamp(options);
        EXPECT_EQ(out.decoded, c.decoded);
        EXPECT_EQ(out.error, c.error);
        EXPECT_EQ(out.granted, c.decoded == 0 ? 1 : 0);
    }
}

TEST(StampAgainstTsa, NullDelayEnablesTheWindowWithNothingToPass)
{
    TsaServer server(TsaMode::Sha1);
    HandStamp stamp("null delay");
    EXPECT_EQ(_SetTSPDelay(&stamp.record, nullptr), -1);
    EXPECT_EQ(stamp.record.delayEnabled, 1);
    int decoded = -1;
    ASSERT_EQ(stamp.Exchange(server.Url(), &decoded), 0);
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(_GetTSPErrorCode(&stamp.record), TSP_ERR_TIME_WINDOW);
    EXPECT_EQ(_TimeStampGranted(&stamp.record), 0);
}

TEST(StampAgainstTsa, AFailedCheckTakesBackAnEarlierGrant)
{
    TsaServer good(TsaMode::Sha1), spoilt(TsaMode::WrongNonce);
    HandStamp stamp("twice");
    TSPData& record = stamp.record;
    ASSERT_EQ(_SetNonce(&record), 0);
    int decoded = -1;
    ASSERT_EQ(stamp.Exchange(good.Url(), &decoded), 0);
    EXPECT_EQ(decoded, 0);
    EXPECT_EQ(_TimeStampGranted(&record), 1);
    ASSERT_EQ(stamp.Exchange(spoilt.Url(), &decoded), 0);
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(_GetTSPErrorCode(&record), TSP_ERR_NONCE_MISMATCH);
    EXPECT_EQ(_TimeStampGranted(&record), 0);
    EXPECT_EQ(_GetTimeStampSize(&record), 0);
    EXPECT_EQ(record.token, nullptr);
    unsigned char destination[8];
    EXPECT_EQ(_CopyTimeStamp(&record, destination), 1);
}

TEST(StampAgainstTsa, RequestIsWhatOpensslReadsWithAMinimalNonce)
{
    TSPData record;
    _InitTSPData(&record);
    const unsigned char data[] = "request";
    ASSERT_EQ(_SetTimeStampData(&record, data, sizeof data - 1), 0);
    ASSERT_EQ(_SetNonce(&record), 0);
    ByteBuffer request = {nullptr, 0};
    ASSERT_EQ(_EncodeTSPRequest(&record, &request), 0);
    const std::string query = SaveBytes("request.tsq", Bytes(request.pointer, request.pointer + request.length));
    _DestroyTSPRequest(&request);
    ASSERT_EQ(testsupport::openssl::Run("ts -query -in " + query + " -text -out " + query + ".txt 2>/dev/null"), 0);
    const Bytes textBytes = testsupport::ReadFile(query + ".txt");
    const std::string text(textBytes.begin(), textBytes.end());
    std::string nonce = "0x";
    for (std::uint32_t i = 0; i < record.nonceLength; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", record.nonce[i]);
        nonce += hex;
    }
    EXPECT_EQ(testsupport::TsaTextField(text, "Hash Algorithm"), "sha1");
    EXPECT_EQ(testsupport::TsaTextField(text, "Nonce"), nonce);
    EXPECT_EQ(testsupport::TsaTextField(text, "Certificate required"), "yes");
    _DestroyTSPData(&record);
}

}  // namespace
