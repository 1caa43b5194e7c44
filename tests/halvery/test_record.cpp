// The record, its setters, the texts and the exchange's early failures,
// without a time-stamp authority.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/halvery/stamp_util.h"
#include "tests/support/http_peer.h"

namespace {

using halvery_test::TakeText;

TEST(Record, InitLeavesNothingGranted)
{
    TSPData record;
    std::memset(&record, 0x5A, sizeof record);
    ASSERT_EQ(_InitTSPData(&record), 0);
    EXPECT_EQ(record.hash, nullptr);
    EXPECT_EQ(record.hashLength, 0u);
    EXPECT_EQ(record.reservedFlag, 1);
    EXPECT_EQ(record.serverURL[0], '\0');
    EXPECT_EQ(record.serverURL[511], '\0');
    EXPECT_EQ(record.errorCode, 0u);
    EXPECT_EQ(record.delayEnabled, 0);
    EXPECT_EQ(std::memcmp(record.delay, "\0\0\0\0\0\0", 6), 0);
    EXPECT_TRUE(record.nonce == nullptr && record.token == nullptr);
    // Nothing decoded: nothing granted, nothing to copy.
    EXPECT_EQ(_TimeStampGranted(&record), 0);
    EXPECT_EQ(_GetTimeStampSize(&record), 0);
    unsigned char destination[4];
    EXPECT_EQ(_CopyTimeStamp(&record, destination), 1);
    EXPECT_EQ(_DestroyTSPData(&record), 0);
}

TEST(Record, ServerUrlIsBoundedAsAString)
{
    TSPData record;
    _InitTSPData(&record);
    std::string url = "http://" + std::string(504, 'a');
    ASSERT_EQ(url.size(), 511u);
    EXPECT_EQ(_SetTSPServerURL(&record, url.c_str()), 0);
    EXPECT_EQ(std::string(record.serverURL), url);
    EXPECT_EQ(_SetTSPServerURL(&record, (url + "b").c_str()), -1);
    EXPECT_EQ(std::string(record.serverURL), url);
    EXPECT_EQ(_SetTSPServerURL(&record, "http://short/tsa"), 0);
    EXPECT_EQ(std::string(record.serverURL), "http://short/tsa");
    for (std::size_t i = std::strlen("http://short/tsa"); i < sizeof record.serverURL; ++i)
        ASSERT_EQ(record.serverURL[i], '\0') << i;
    EXPECT_EQ(_SetTSPServerURL(&record, nullptr), -1);
    // No end within 512 characters: refused without reading further.
    std::vector<char> unterminated(512, 'h');
    EXPECT_EQ(_SetTSPServerURL(&record, unterminated.data()), -1);
    _DestroyTSPData(&record);
}

TEST(Record, SettersRefuseWhatIsMissing)
{
    TSPData record;
    _InitTSPData(&record);
    const unsigned char byte = 1;
    EXPECT_EQ(_SetTimeStampData(&record, nullptr, 5), -1);
    EXPECT_EQ(_SetTimeStampData(&record, &byte, 0), -1);
    EXPECT_EQ(_SetTimeStampHash(&record, nullptr, 20), -1);
    EXPECT_EQ(_SetTimeStampHash(&record, &byte, 0), -1);
    EXPECT_EQ(record.hash, nullptr);
    EXPECT_EQ(_SetTSPDelay(&record, nullptr), -1);
    EXPECT_EQ(record.delayEnabled, 1);
    EXPECT_EQ(_SetTSPDelay(&record, "000500"), 0);
    EXPECT_EQ(std::memcmp(record.delay, "000500", 6), 0);
    // A shorter text is not read past its end.
    EXPECT_EQ(_SetTSPDelay(&record, "05"), 0);
    EXPECT_EQ(std::memcmp(record.delay, "05\0\0\0\0", 6), 0);
    _DestroyTSPData(&record);
}

TEST(Record, TimeStampDataIsTheSha1OfTheData)
{
    const struct {
        const char* data;
        const char* sha1;
    } cases[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    };
    for (const auto& c : cases) {
        TSPData record;
        _InitTSPData(&record);
        ASSERT_EQ(_SetTimeStampData(&record, reinterpret_cast<const unsigned char*>(c.data),
                                    static_cast<std::uint32_t>(std::strlen(c.data))),
                  0);
        EXPECT_EQ(testsupport::ToHex(record.hash, record.hashLength), c.sha1);
        _DestroyTSPData(&record);
        EXPECT_EQ(record.hash, nullptr);
        EXPECT_EQ(record.hashLength, 0u);
    }
}

TEST(Record, HashOfTheCallerStaysTheCallers)
{
    unsigned char hash[20] = {1, 2, 3};
    TSPData record;
    _InitTSPData(&record);
    ASSERT_EQ(_SetTimeStampHash(&record, hash, sizeof hash), 0);
    EXPECT_EQ(record.hash, hash);
    ASSERT_EQ(_SetNonce(&record), 0);
    EXPECT_EQ(_DestroyTSPData2(&record), 0);
    EXPECT_EQ(record.hash, hash);
    EXPECT_EQ(record.nonce, nullptr);
}

TEST(Record, NoncesAreMinimalPositiveIntegers)
{
    TSPData record;
    _InitTSPData(&record);
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(_SetNonce(&record), 0);
        ASSERT_EQ(record.nonceLength, 8u);
        ASSERT_GE(record.nonce[0], 0x40) << i;
        ASSERT_LE(record.nonce[0], 0x7F) << i;
        ByteBuffer request = {nullptr, 0};
        unsigned char hash[20] = {};
        record.hash = hash;
        record.hashLength = sizeof hash;
        ASSERT_EQ(_EncodeTSPRequest(&record, &request), 0);
        _DestroyTSPRequest(&request);
    }
    _DestroyTSPData2(&record);
}

TEST(Record, EncodeWithoutAnImprintFails)
{
    TSPData record;
    _InitTSPData(&record);
    ByteBuffer request = {nullptr, 0};
    EXPECT_EQ(_EncodeTSPRequest(&record, &request), -1);
    EXPECT_EQ(_GetTSPErrorCode(&record), TSP_ERR_ENCODING_REQUEST);
    EXPECT_EQ(request.pointer, nullptr);
    _DestroyTSPData(&record);
}

TEST(Texts, EveryErrorBitHasItsText)
{
    const struct {
        std::uint32_t code;
        const char* text;
    } cases[] = {
        {0x1, "Unable to generate random nonce"},
        {0x2, "Unable to allocate memory"},
        {0x4, "Error encoding TSP request"},
        {0x8, "Error opening socket to Timestamp server"},
        {0x10, "Error sending request"},
        {0x20, "Error receiving response"},
        {0x40, "Wrong HTTP header in response"},
        {0x80, "Wrong HTTP MIME content type in response"},
        {0x100, "Error decoding TSP response"},
        {0x200, "Expected timesatmp missing"},
        {0x400, "Invalid signature in response"},
        {0x800, "Invalid OID in response"},
        {0x1000, "Server certificate not authorized to sign timestamps"},
        {0x2000, "Error decoding eContent field"},
        {0x4000, "Hash algorithms in request and response do not match"},
        {0x8000, "Hash in timestamp does not match original"},
        {0x10000, "Timestamp date out of allowed interval"},
        {0x20000, "Expected nonce in response missing"},
        {0x40000, "Nonce in response does not match original"},
        {0x80000, "Error parsing Server URL"},
        {0x100000, "Error decoding timestamp"},
        {0x200000, "Unknown PKIStatus"},
        {0x400000, "Unknown PKIFailureInfo"},
        {0x800000, "TSP request rejected"},
        {0x1000000, "Invalid server certificate"},
        {0, "Unidentified error code"},
        {0x3, "Unidentified error code"},
        {0x2000000, "Unidentified error code"},
    };
    for (const auto& c : cases) EXPECT_EQ(TakeText(_GetTSPErrorDescription(c.code)), c.text) << std::hex << c.code;
}

TEST(Texts, StatusAndFailureInformation)
{
    TSPData record;
    _InitTSPData(&record);
    const char* statuses[] = {"Unidentified PKIStatus code", "Unidentified PKIStatus code", "Request rejected",
                              "Response pending, try later", "TSA certificate revocation warning",
                              "TSA certificate has been revoked", "Unidentified PKIStatus code"};
    for (int status = 0; status <= 6; ++status) {
        record.pkiStatus = status;
        EXPECT_EQ(TakeText(_GetTSPResponseStatusDescription(&record)), statuses[status]) << status;
    }
    const char* failures[] = {"Unidentified PKIFailureInfo code",
                              "unrecognized or unsupported Algorithm Identifier",
                              "transaction not permitted or supported",
                              "the data submitted has the wrong format",
                              "the TSA's time source is not available",
                              "the requested TSA policy is not supported by the server",
                              "the requested extension is not supported by the server",
                              "the additional information requested could not be understood",
                              "the request cannot be handled due to system failure",
                              "Unidentified PKIFailureInfo code"};
    for (int code = 0; code <= 9; ++code) {
        record.failureInfo = code;
        EXPECT_EQ(TakeText(_GetTSPResponseFailureInfoDescription(&record)), failures[code]) << code;
    }
    _DestroyTSPData(&record);
}

TEST(Exchange, FailsBeforeAnyServerAnswers)
{
    long closedPort = 0;
    {
        testsupport::HttpPeer peer("--mode close");
        closedPort = peer.Port();
    }
    const struct {
        const char* what;
        std::string url;
        std::uint32_t error;
    } cases[] = {
        {"not http", "ftp://127.0.0.1/tsa", TSP_ERR_URL},
        {"empty", "", TSP_ERR_URL},
        {"bad port", "http://127.0.0.1:99999/", TSP_ERR_URL},
        {"nobody listening", "http://127.0.0.1:" + std::to_string(closedPort) + "/", TSP_ERR_SOCKET},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        halvery_test::StampOptions options;
        options.url = c.url;
        const halvery_test::StampOutcome out = halvery_test::Stamp(options);
        EXPECT_EQ(out.encoded, 0);
        EXPECT_EQ(out.exchanged, 1);
        EXPECT_EQ(out.error, c.error) << std::hex << out.error;
        EXPECT_EQ(out.granted, 0);
    }
}

}  // namespace
