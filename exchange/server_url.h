// Server URLs of the client libraries: "http://host[:port][/path]", also
// read from a certificate's authority-information-access extension, so
// every field is bounded and checked before it reaches a request line.
#pragma once
#include <cstddef>
#include <cstdint>

enum : std::size_t {
    kMaxServerURLLength = 511,  // the records' URL fields hold 512 bytes
    kMaxURLHostLength = 79,
    kMaxURLPathLength = 79,
};

struct ServerURL {
    char host[kMaxURLHostLength + 1];
    char path[kMaxURLPathLength + 1];  // "" or beginning with "/"
    std::uint16_t port;                // 80 when the URL names none
};

// 0 when parsed; 1 when the URL is absent, empty, longer than
// kMaxServerURLLength, not "http://" (any case), has an empty or oversized
// host, a port other than 1-65535 in digits, an oversized path, or a blank,
// control or non-ASCII character anywhere. On 1 the record is emptied.
int ParseResponderURL(const char* url, ServerURL* parsed);

// 1 when the host is a dotted IPv4 address of four decimal parts 0-255
// ("10.0.0.1"); such a host is used as an address, any other is resolved
// as a name, even one starting with a digit.
int IsDottedIPv4Address(const char* host);
