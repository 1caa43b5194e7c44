// Server URLs: the accepted form, and every way a URL from a record or a
// certificate's extension is refused before it reaches a request line.
#include <gtest/gtest.h>

#include <string>

#include "exchange/http_message.h"
#include "exchange/server_url.h"

namespace {

TEST(ServerURL, AcceptedTable)
{
    const struct {
        const char* url;
        const char* host;
        int port;
        const char* path;
    } cases[] = {
        {"http://ocsp.example.com:8080/status", "ocsp.example.com", 8080, "/status"},
        {"http://ocsp.example.com/status", "ocsp.example.com", 80, "/status"},
        {"http://ocsp.example.com", "ocsp.example.com", 80, ""},
        {"http://ocsp.example.com/", "ocsp.example.com", 80, "/"},
        {"HTTP://Ocsp.Example.com:1/", "Ocsp.Example.com", 1, "/"},
        {"hTtP://127.0.0.1:65535", "127.0.0.1", 65535, ""},
        {"http://host:00080/a/b?c=d%20e", "host", 80, "/a/b?c=d%20e"},
        {"http://3com.example/x", "3com.example", 80, "/x"},
    };
    for (const auto& c : cases) {
        ServerURL parsed;
        ASSERT_EQ(ParseResponderURL(c.url, &parsed), 0) << c.url;
        EXPECT_STREQ(parsed.host, c.host) << c.url;
        EXPECT_EQ(parsed.port, c.port) << c.url;
        EXPECT_STREQ(parsed.path, c.path) << c.url;
    }
}

TEST(ServerURL, RefusedTable)
{
    const std::string longHost(kMaxURLHostLength + 1, 'h');
    const std::string longPath = "/" + std::string(kMaxURLPathLength, 'p');
    const std::string cases[] = {
        "",
        "http://",                   // no host
        "http:/",                    // under seven characters
        "https://host/",             // another scheme
        "ftp://host/",
        "xxxxxxxhost/",              // a scheme skipped blindly before
        "http://host:/",             // port without digits
        "http://host:0/",
        "http://host:65536/",        // cut to 16 bits before
        "http://host:70000/",
        "http://host:123456/",
        "http://host:-80/",
        "http://host:+80/",
        "http://host: 80/",
        "http://host:80a/",
        "http://host:http/",         // letters gave port 0 before
        "http://ho st/",             // blanks and control characters
        "http://host/a b",
        "http://host/a\r\nHost: evil",
        "http://host/a\tb",
        "http://host/\x7f",
        "http://host/\xc3\xa9",
        "http://host\r\n/",
        "http://us@er:pw@host/",
        "http://" + longHost + "/",
        "http://host" + longPath,
    };
    for (const auto& url : cases) {
        ServerURL parsed;
        EXPECT_EQ(ParseResponderURL(url.c_str(), &parsed), 1) << url;
        EXPECT_STREQ(parsed.host, "") << url;
        EXPECT_STREQ(parsed.path, "") << url;
        EXPECT_EQ(parsed.port, 0) << url;
    }
    ServerURL parsed;
    EXPECT_EQ(ParseResponderURL(nullptr, &parsed), 1);
}

TEST(ServerURL, FieldsAtTheirBoundsAreAccepted)
{
    const std::string host(kMaxURLHostLength, 'h');
    const std::string path = "/" + std::string(kMaxURLPathLength - 1, 'p');
    ServerURL parsed;
    ASSERT_EQ(ParseResponderURL(("http://" + host + path).c_str(), &parsed), 0);
    EXPECT_EQ(std::string(parsed.host), host);
    EXPECT_EQ(std::string(parsed.path), path);
}

TEST(ServerURL, URLOf512CharactersIsRefused)
{
    // The path bound refuses these too; the whole-URL bound holds for any
    // text, terminated or not within its 512 characters.
    const std::string at511 = "http://h/" + std::string(kMaxServerURLLength - 9, 'p');
    const std::string at512 = at511 + "p";
    ASSERT_EQ(at511.size(), 511u);
    ServerURL parsed;
    EXPECT_EQ(ParseResponderURL(at512.c_str(), &parsed), 1);
    EXPECT_EQ(ParseResponderURL((at512 + std::string(4096, 'p')).c_str(), &parsed), 1);
}

TEST(ServerURL, DottedAddressesOnly)
{
    const struct {
        const char* host;
        int dotted;
    } cases[] = {
        {"127.0.0.1", 1}, {"255.255.255.255", 1}, {"0.0.0.0", 1},
        {"3com.example", 0},  // starts with a digit: a name
        {"1.2.3", 0}, {"1.2.3.4.5", 0}, {"1.2.3.256", 0}, {"1.2.3.0004", 0}, {"1..2.3", 0},
        {"1.2.3.4 ", 0}, {"localhost", 0}, {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(IsDottedIPv4Address(c.host), c.dotted) << c.host;
}

TEST(ServerURL, RequestTargetIsThePathAsItStands)
{
    // Both clients send the path with its query; the fragment is the
    // client's own.
    const struct {
        const char* path;
        const char* target;
    } cases[] = {
        {"", "/"},
        {nullptr, "/"},
        {"/", "/"},
        {"/x", "/x"},
        {"/tsa/x", "/tsa/x"},
        {"//tsa", "//tsa"},  // a path that has two slashes keeps them
        {"/tsa/x?serial=1&b=%20", "/tsa/x?serial=1&b=%20"},
        {"/?a=1", "/?a=1"},
        {"/tsa#part", "/tsa"},
        {"/#part", "/"},
    };
    for (const auto& c : cases) EXPECT_EQ(HttpRequestTarget(c.path), c.target) << (c.path ? c.path : "null");
    // A query straight after the host is not a path.
    ServerURL parsed;
    EXPECT_EQ(ParseResponderURL("http://host?a=1", &parsed), 1);
    EXPECT_EQ(ParseResponderURL("http://host:80?a=1", &parsed), 1);
}

}  // namespace
