// The exchange against tests/support/http_peer.py on 127.0.0.1: the exact
// bytes a server receives, and every hostile reply ending in its own bit
// within a bounded time.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exchange/exchange_profile.h"
#include "exchange/http_exchange.h"
#include "exchange/http_message.h"
#include "tests/support/http_peer.h"
#include "tests/support/test_util.h"

namespace {

using testsupport::HttpPeer;

const unsigned kShortTimeoutMs = 1500;
// What a failing exchange may take beyond its timeout (Wine, a busy machine).
const DWORD kSlackMs = 3000;

ExchangeProfile ShortProfile(const ExchangeProfile& base)
{
    ExchangeProfile profile = base;
    profile.receiveTimeoutMs = kShortTimeoutMs;
    return profile;
}

std::string WorkFile(const std::string& name) { return testsupport::WorkDir() + "/" + name; }

std::string SaveReply(const std::string& name, const std::string& bytes)
{
    const std::string path = WorkFile(name);
    EXPECT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
    return path;
}

std::string Text(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A DER-looking request with every byte value, so nothing is taken as text.
std::vector<unsigned char> SampleRequest(std::size_t length)
{
    std::vector<unsigned char> request(length);
    for (std::size_t i = 0; i < length; ++i) request[i] = static_cast<unsigned char>(i * 7 + 3);
    request[0] = 0x30;
    return request;
}

struct Outcome {
    std::uint32_t bit;
    std::vector<unsigned char> body;
    DWORD ms;
};

Outcome Post(const std::string& url, const ExchangeProfile& profile, const std::vector<unsigned char>& request)
{
    Outcome outcome;
    outcome.body.assign(3, 0xEE);  // a failure leaves nothing behind
    const DWORD start = GetTickCount();
    outcome.bit = PostHttpExchange(url.c_str(), request.data(), request.size(), profile, outcome.body);
    outcome.ms = GetTickCount() - start;
    return outcome;
}

const std::string kOk = "HTTP/1.0 200 Ok\r\n";
const std::string kOcspType = "Content-Type: application/ocsp-response\r\n";
const std::string kDer("\x30\x03\x0A\x01\x00", 5);

TEST(HttpExchange, ServerReceivesTheExactPost)
{
    const std::string log = WorkFile("exact.log");
    std::remove(log.c_str());
    const std::string reply = kOk + kOcspType + "Content-Length: 5\r\n\r\n" + kDer;
    HttpPeer peer("--reply " + SaveReply("exact.reply", reply) + " --log " + log);
    const auto request = SampleRequest(1000);
    const Outcome outcome = Post(peer.Url("/status"), ShortProfile(kOcspExchange), request);
    EXPECT_EQ(outcome.bit, 0u);
    EXPECT_EQ(Text(outcome.body), kDer);
    const std::string expected = "POST /status HTTP/1.0\r\nUser-Agent: OCSPClient/1.0\r\n"
                                 "Content-Type: application/ocsp-request\r\nContent-Length: 1000\r\n\r\n" +
                                 Text(request);
    EXPECT_EQ(Text(testsupport::ReadFile(log)), expected);
}

TEST(HttpExchange, RequestLineIsTheURLsPathForBothProfiles)
{
    const std::string log = WorkFile("lines.log");
    const std::string reply = kOk + "\r\n" + kDer;  // no type, no length: all after the empty line
    HttpPeer peer("--reply " + SaveReply("lines.reply", reply) + " --log " + log);
    const auto request = SampleRequest(20);
    const struct {
        const char* path;
        const char* line;
    } paths[] = {
        {"", "POST / HTTP/1.0\r\n"},
        {"/", "POST / HTTP/1.0\r\n"},
        {"/x", "POST /x HTTP/1.0\r\n"},
        {"/tsa/x", "POST /tsa/x HTTP/1.0\r\n"},
        {"/tsa/x?serial=1&kind=a%20b", "POST /tsa/x?serial=1&kind=a%20b HTTP/1.0\r\n"},
        {"/tsa#part", "POST /tsa HTTP/1.0\r\n"},
    };
    const struct {
        const ExchangeProfile* profile;
        const char* headers;
    } profiles[] = {
        {&kOcspExchange, "User-Agent: OCSPClient/1.0\r\nContent-Type: application/ocsp-request\r\n"},
        {&kTspExchange, "User-Agent: TSPClient/1.0\r\nContent-Type: application/timestamp-query\r\n"},
    };
    for (const auto& p : profiles) {
        for (const auto& c : paths) {
            SCOPED_TRACE(std::string(p.profile->userAgent) + " " + c.path);
            std::remove(log.c_str());
            const Outcome outcome = Post(peer.Url(c.path), ShortProfile(*p.profile), request);
            EXPECT_EQ(outcome.bit, 0u);
            EXPECT_EQ(Text(outcome.body), kDer);
            const std::string head = std::string(c.line) + p.headers + "Content-Length: 20\r\n\r\n";
            EXPECT_EQ(Text(testsupport::ReadFile(log)), head + Text(request));
        }
    }
}

TEST(HttpExchange, ForwardedBodyComesBackWithItsType)
{
    // The peer runs a command on the request body and answers with its
    // output: here the body itself, as a time-stamp reply.
    HttpPeer peer("--mode forward --command cat --content-type application/timestamp-reply");
    const auto request = SampleRequest(300);
    const Outcome outcome = Post(peer.Url("/tsa"), ShortProfile(kTspExchange), request);
    EXPECT_EQ(outcome.bit, 0u);
    EXPECT_EQ(outcome.body, request);
    // The OCSP client refuses the same answer for its type.
    EXPECT_EQ(Post(peer.Url("/"), ShortProfile(kOcspExchange), request).bit, kOcspExchange.contentTypeError);
}

struct HostileCase {
    const char* name;
    std::string reply;
    std::string mode;  // peer options besides the reply
    std::uint32_t bit;
};

TEST(HttpExchange, HostileRepliesGiveTheirBitInBoundedTime)
{
    const ExchangeProfile profile = ShortProfile(kOcspExchange);
    const std::string header = kOk + kOcspType + "\r\n";
    const std::string big(7000, 'b');
    const std::string fits = header + std::string(kHttpBufferSize - 1 - header.size(), 'f');
    const std::string full = fits + "f";
    const std::string withLength = kOk + kOcspType + "Content-Length: 5\r\n\r\n" + kDer;
    const std::vector<HostileCase> cases = {
        {"truncated", kOk + kOcspType + "Content-Length: 100\r\n\r\n" + kDer, "", profile.headerError},
        {"lying length, larger", kOk + kOcspType + "Content-Length: 6000\r\n\r\n" + kDer, "", profile.headerError},
        {"lying length, smaller", kOk + kOcspType + "Content-Length: 2\r\n\r\n" + kDer, "", profile.headerError},
        {"negative length", kOk + kOcspType + "Content-Length: -5\r\n\r\n" + kDer, "", profile.headerError},
        {"over 6144 bytes", kOk + kOcspType + "Content-Length: 7000\r\n\r\n" + big, "", profile.receiveError},
        {"over 6144 bytes, no length", header + big, "", profile.receiveError},
        {"exactly 6144 bytes", full, "", profile.receiveError},
        {"never closing, no length", header + kDer, "--mode never-close", profile.receiveError},
        {"stalling in the headers", withLength, "--mode stall --cut 20", profile.receiveError},
        {"trickling past the timeout", withLength, "--mode trickle --delay 0.1", profile.receiveError},
        {"closing without a word", withLength, "--mode close", profile.receiveError},
        {"wrong content type", kOk + "Content-Type: text/html\r\nContent-Length: 5\r\n\r\n" + kDer, "",
         profile.contentTypeError},
        {"HTTP 500", "HTTP/1.0 500 Internal Server Error\r\nContent-Length: 5\r\n\r\n" + kDer, "", profile.headerError},
        {"reason phrase Okay", "HTTP/1.1 200 Okay\r\n" + kOcspType + "\r\n" + kDer, "", profile.headerError},
        {"LF-only lines", "HTTP/1.0 200 Ok\nContent-Type: application/ocsp-response\nContent-Length: 5\n\n" + kDer, "",
         profile.headerError},
        {"no empty line", kOk + kOcspType + "Content-Length: 5\r\n", "", profile.headerError},
    };
    const auto request = SampleRequest(64);
    // One peer a mode; it reads its reply file anew for each connection.
    const std::string replyFile = WorkFile("hostile.reply");
    std::map<std::string, std::unique_ptr<HttpPeer>> peers;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SaveReply("hostile.reply", c.reply);
        auto& peer = peers[c.mode];
        if (!peer) peer = std::make_unique<HttpPeer>("--reply " + replyFile + " " + c.mode);
        const Outcome outcome = Post(peer->Url("/"), profile, request);
        EXPECT_EQ(outcome.bit, c.bit);
        EXPECT_TRUE(outcome.body.empty());
        EXPECT_LT(outcome.ms, kShortTimeoutMs + kSlackMs);
    }
}

TEST(HttpExchange, WholeRepliesPassAtTheirBounds)
{
    const ExchangeProfile profile = ShortProfile(kOcspExchange);
    const std::string header = kOk + kOcspType + "\r\n";
    const std::string largest = std::string(kHttpBufferSize - 1 - header.size(), 'f');
    const std::string announced = kOk + kOcspType + "Content-Length: 5\r\n\r\n" + kDer;
    const struct {
        const char* name;
        std::string reply;
        std::string mode;
        std::string body;
        DWORD withinMs;
    } cases[] = {
        {"6143 bytes, the most that fits", header + largest, "", largest, kShortTimeoutMs},
        // The announced body is in: no waiting for a close that never comes.
        {"never closing, with a length", announced, "--mode never-close", kDer, kShortTimeoutMs},
        {"trickling within the timeout", announced, "--mode trickle --delay 0.005", kDer, kShortTimeoutMs + kSlackMs},
    };
    const auto request = SampleRequest(64);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpPeer peer("--reply " + SaveReply("whole.reply", c.reply) + " " + c.mode);
        const Outcome outcome = Post(peer.Url("/"), profile, request);
        EXPECT_EQ(outcome.bit, 0u);
        EXPECT_EQ(Text(outcome.body), c.body);
        EXPECT_LT(outcome.ms, c.withinMs);
    }
}

TEST(HttpExchange, RefusedConnectionFailsQuickly)
{
    int deadPort = 0;
    {
        HttpPeer peer("");
        deadPort = peer.Port();
    }  // stopped: nothing listens on its port now
    ASSERT_NE(deadPort, 0);
    const Outcome outcome =
        Post("http://127.0.0.1:" + std::to_string(deadPort) + "/", kOcspExchange, SampleRequest(16));
    EXPECT_EQ(outcome.bit, kOcspExchange.connectError);
    EXPECT_TRUE(outcome.body.empty());
    EXPECT_LT(outcome.ms, 2000u);
}

TEST(HttpExchange, RefusedBeforeConnecting)
{
    // Neither a bad URL nor a request that cannot fit reaches the network:
    // nothing listens on port 9.
    const auto small = SampleRequest(16);
    const auto huge = SampleRequest(kHttpBufferSize);
    const struct {
        const char* url;
        const std::vector<unsigned char>* request;
        const ExchangeProfile* profile;
        std::uint32_t bit;
    } cases[] = {
        {"", &small, &kOcspExchange, kOcspExchange.urlError},
        {"https://127.0.0.1:9/", &small, &kOcspExchange, kOcspExchange.urlError},
        {"http://127.0.0.1:9/a b", &small, &kOcspExchange, kOcspExchange.urlError},
        {"http://127.0.0.1:70000/", &small, &kTspExchange, kTspExchange.urlError},
        {"http://127.0.0.1:9/", &huge, &kOcspExchange, kOcspExchange.memoryError},
        {"http://127.0.0.1:9/", &huge, &kTspExchange, kTspExchange.memoryError},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Post(c.url, *c.profile, *c.request);
        EXPECT_EQ(outcome.bit, c.bit) << c.url;
        EXPECT_TRUE(outcome.body.empty());
    }
}

}  // namespace
