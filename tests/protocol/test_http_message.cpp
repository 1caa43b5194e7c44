// The HTTP/1.0 messages: the POST exactly as responders receive it, and the
// reply parser against well-formed and hostile replies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/exchange_profile.h"
#include "exchange/http_message.h"

namespace {

std::string Compose(const char* path, const std::string& body, std::size_t outputSize = kHttpBufferSize)
{
    std::vector<unsigned char> out(outputSize + 1, 0xEE);
    std::size_t length = 99;
    const std::size_t result =
        ComposeOCSPPost(path, kOcspExchange.userAgent, kOcspExchange.requestType,
                        reinterpret_cast<const unsigned char*>(body.data()), body.size(), out.data(), outputSize, &length);
    EXPECT_EQ(result, length);
    if (result == 0) return "fails";
    EXPECT_EQ(out[result], 0xEE) << "wrote past the text";
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(result));
}

TEST(HttpRequest, ExactPostText)
{
    const std::string der("\x30\x03\x02\x01\x00", 5);
    EXPECT_EQ(Compose("/status", der),
              "POST /status HTTP/1.0\r\nUser-Agent: OCSPClient/1.0\r\nContent-Type: application/ocsp-request\r\n"
              "Content-Length: 5\r\n\r\n" + der);
}

TEST(HttpRequest, NoPathSendsTheRoot)
{
    EXPECT_EQ(Compose("", "x").substr(0, 20), "POST / HTTP/1.0\r\nUse");
    EXPECT_EQ(Compose(nullptr, "x").substr(0, 20), "POST / HTTP/1.0\r\nUse");
}

TEST(HttpRequest, ThousandByteRequestAndHeaderOrder)
{
    const std::string body(1000, '\x5A');
    const std::string text = Compose("/", body);
    const std::string header = "POST / HTTP/1.0\r\nUser-Agent: OCSPClient/1.0\r\n"
                               "Content-Type: application/ocsp-request\r\nContent-Length: 1000\r\n\r\n";
    EXPECT_EQ(text, header + body);
}

TEST(HttpRequest, WhatDoesNotFitIsNotComposed)
{
    const std::string header = "POST / HTTP/1.0\r\nUser-Agent: OCSPClient/1.0\r\n"
                               "Content-Type: application/ocsp-request\r\nContent-Length: 6000\r\n\r\n";
    const std::size_t fits = kHttpBufferSize - header.size();
    EXPECT_EQ(Compose("/", std::string(fits, 'a')).size(), std::size_t{kHttpBufferSize});
    EXPECT_EQ(Compose("/", std::string(fits + 1, 'a')), "fails");
    EXPECT_EQ(Compose("/", std::string(100, 'a'), 150), "fails");  // the caller's buffer is smaller
    EXPECT_EQ(Compose("/a b", "x"), "fails");
    EXPECT_EQ(Compose("/a\r\nHost: x", "x"), "fails");
}

struct ReplyCase {
    const char* name;
    std::string reply;
    HttpReplyVerdict verdict;
    std::string body;  // when accepted
};

HttpReplyVerdict Parse(const std::string& reply, std::string* body, const char* type = "application/ocsp-response")
{
    HttpReplyBody where{7, 7};
    const HttpReplyVerdict verdict = ParseHttpReply(reinterpret_cast<const unsigned char*>(reply.data()),
                                                    reply.size(), type, &where);
    if (verdict == kHttpReplyAccepted) {
        EXPECT_LE(where.offset + where.length, reply.size());
        *body = reply.substr(where.offset, where.length);
    } else {
        EXPECT_EQ(where.offset, 0u);
        EXPECT_EQ(where.length, 0u);
    }
    return verdict;
}

const std::string kType = "Content-Type: application/ocsp-response\r\n";
const std::string kOk = "HTTP/1.0 200 Ok\r\n";

TEST(HttpReply, Table)
{
    const std::string der("\x30\x03\x0A\x01\x00", 5);
    const std::string colonBody("a: b\r\n\r\nc\n", 10);
    const std::vector<ReplyCase> cases = {
        {"plain", kOk + kType + "Content-Length: 5\r\n\r\n" + der, kHttpReplyAccepted, der},
        {"HTTP/1.1 any case", "http/1.1 200 OK\r\n" + kType + "Content-Length: 5\r\n\r\n" + der, kHttpReplyAccepted, der},
        {"content type any case, blanks", kOk + "content-type:APPLICATION/OCSP-RESPONSE  \r\nContent-Length: 5\r\n\r\n" + der,
         kHttpReplyAccepted, der},
        {"length before type", kOk + "Content-Length: 5\r\n" + kType + "\r\n" + der, kHttpReplyAccepted, der},
        {"no content type", kOk + "Content-Length: 5\r\n\r\n" + der, kHttpReplyAccepted, der},
        {"other headers", kOk + "Server: x\r\nDate: Mon, 1 Jan 2004 00:00:00 GMT\r\n" + kType + "Content-Length: 5\r\n\r\n" + der,
         kHttpReplyAccepted, der},
        {"no length: all after the empty line", kOk + kType + "\r\n" + colonBody, kHttpReplyAccepted, colonBody},
        {"the same length twice", kOk + "Content-Length: 5\r\ncontent-length: 5\r\n\r\n" + der, kHttpReplyAccepted, der},
        // Hostile and malformed replies.
        {"HTTP 500", "HTTP/1.0 500 Internal Server Error\r\n" + kType + "Content-Length: 5\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"reason Okay", "HTTP/1.1 200 Okay\r\n" + kType + "Content-Length: 5\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"HTTP/2", "HTTP/2 200 Ok\r\n" + kType + "\r\n" + der, kHttpReplyBadHeader, ""},
        {"wrong content type", kOk + "Content-Type: text/html\r\nContent-Length: 5\r\n\r\n" + der, kHttpReplyBadContentType, ""},
        {"wrong type after the length", kOk + "Content-Length: 5\r\nContent-Type: text/html\r\n\r\n" + der,
         kHttpReplyBadContentType, ""},
        {"type with parameters", kOk + "Content-Type: application/ocsp-response; x=1\r\n\r\n" + der, kHttpReplyBadContentType, ""},
        {"truncated body", kOk + kType + "Content-Length: 6\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"longer body than told", kOk + kType + "Content-Length: 4\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"lying length", kOk + kType + "Content-Length: 6000\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"huge length", kOk + kType + "Content-Length: 4294967301\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"negative length", kOk + kType + "Content-Length: -5\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"zero length", kOk + kType + "Content-Length: 0\r\n\r\n", kHttpReplyBadHeader, ""},
        {"hex length", kOk + kType + "Content-Length: 0x5\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"length with a sign", kOk + kType + "Content-Length: +5\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"empty length", kOk + kType + "Content-Length:\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"two lengths", kOk + "Content-Length: 5\r\nContent-Length: 4\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"no body", kOk + kType + "\r\n", kHttpReplyBadHeader, ""},
        {"ends in the headers", kOk + kType + "Content-Length: 5\r\n", kHttpReplyBadHeader, ""},
        {"ends in the status line", "HTTP/1.0 200 Ok", kHttpReplyBadHeader, ""},
        {"LF-only lines", "HTTP/1.0 200 Ok\n" "Content-Length: 5\n\n" + der, kHttpReplyBadHeader, ""},
        {"LF-only after CRLF status", kOk + "Content-Length: 5\n\n" + der, kHttpReplyBadHeader, ""},
        {"bare CR", kOk + "Content-Length: 5\r\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"header without colon", kOk + "garbage\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"empty header name", kOk + ": x\r\n\r\n" + der, kHttpReplyBadHeader, ""},
        {"empty reply", "", kHttpReplyBadHeader, ""},
        {"NUL in status line", std::string("HTTP/1.0 200 Ok\0\r\n", 18) + "\r\n" + der, kHttpReplyBadHeader, ""},
    };
    for (const auto& c : cases) {
        std::string body;
        EXPECT_EQ(Parse(c.reply, &body), c.verdict) << c.name;
        if (c.verdict == kHttpReplyAccepted) {
            EXPECT_EQ(body, c.body) << c.name;
        }
    }
}

TEST(HttpReply, BufferBound)
{
    // The reply fills at most all but one byte of the buffer.
    const std::string header = kOk + kType + "\r\n";
    const std::string fits = header + std::string(kHttpBufferSize - 1 - header.size(), 'b');
    std::string body;
    EXPECT_EQ(Parse(fits, &body), kHttpReplyAccepted);
    EXPECT_EQ(body.size(), kHttpBufferSize - 1 - header.size());
    EXPECT_EQ(Parse(fits + "b", &body), kHttpReplyBadHeader);
}

TEST(HttpReply, TimeStampReplyType)
{
    const std::string reply = kOk + "Content-Type: application/timestamp-reply\r\n\r\nxyz";
    std::string body;
    EXPECT_EQ(Parse(reply, &body, kTspExchange.replyType), kHttpReplyAccepted);
    EXPECT_EQ(body, "xyz");
    EXPECT_EQ(Parse(reply, &body, kOcspExchange.replyType), kHttpReplyBadContentType);
}

TEST(HttpReply, ExpectedLengthOnlyOnceKnown)
{
    const std::string whole = kOk + kType + "Content-Length: 5\r\n\r\nabcde";
    const auto* bytes = reinterpret_cast<const unsigned char*>(whole.data());
    const std::size_t headerEnd = whole.size() - 5;
    for (std::size_t cut = 0; cut < headerEnd; ++cut) EXPECT_EQ(ExpectedHttpReplyLength(bytes, cut), 0u) << cut;
    for (std::size_t cut = headerEnd; cut <= whole.size(); ++cut)
        EXPECT_EQ(ExpectedHttpReplyLength(bytes, cut), whole.size()) << cut;

    // Whatever the status, so an error reply is not waited on either.
    const std::string error = "HTTP/1.0 500 No\r\nContent-Length: 2\r\n\r\nno";
    EXPECT_EQ(ExpectedHttpReplyLength(reinterpret_cast<const unsigned char*>(error.data()), error.size()), error.size());
    const std::string unknown[] = {kOk + kType + "\r\nabc", kOk + "Content-Length: -1\r\n\r\n",
                                   "HTTP/1.0 200 Ok\nContent-Length: 1\n\nx"};
    for (const auto& r : unknown)
        EXPECT_EQ(ExpectedHttpReplyLength(reinterpret_cast<const unsigned char*>(r.data()), r.size()), 0u) << r;
}

TEST(HttpReply, EachCallKeepsItsOwnState)
{
    // Interleaved parses of two replies: nothing of one leaks into the other.
    const std::string a = kOk + kType + "Content-Length: 3\r\n\r\naaa";
    const std::string b = "HTTP/1.1 200 ok\r\n\r\nbbbbb";
    for (int round = 0; round < 3; ++round) {
        std::string body;
        EXPECT_EQ(Parse(a, &body), kHttpReplyAccepted);
        EXPECT_EQ(body, "aaa");
        EXPECT_EQ(Parse(b, &body), kHttpReplyAccepted);
        EXPECT_EQ(body, "bbbbb");
    }
}

}  // namespace
