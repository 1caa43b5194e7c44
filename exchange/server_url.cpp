#include "exchange/server_url.h"

#include <cstring>

namespace {

const char kScheme[] = "http://";
const std::size_t kSchemeLength = sizeof kScheme - 1;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Printable ASCII without the blank: nothing that could end or split the
// request line.
bool IsVisible(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F;
}

bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-' || c == '.' || c == '_';
}

int Refuse(ServerURL* parsed)
{
    if (parsed) {
        parsed->host[0] = '\0';
        parsed->path[0] = '\0';
        parsed->port = 0;
    }
    return 1;
}

}  // namespace

int ParseResponderURL(const char* url, ServerURL* parsed)
{
    if (!parsed || !url) return Refuse(parsed);
    const std::size_t length = strnlen(url, kMaxServerURLLength + 1);
    if (length == 0 || length > kMaxServerURLLength || length < kSchemeLength) return Refuse(parsed);
    for (std::size_t i = 0; i < kSchemeLength; ++i)
        if (Lower(url[i]) != kScheme[i]) return Refuse(parsed);

    const char* host = url + kSchemeLength;
    std::size_t hostLength = 0;
    while (host[hostLength] && host[hostLength] != ':' && host[hostLength] != '/') {
        if (!IsHostCharacter(host[hostLength])) return Refuse(parsed);
        ++hostLength;
    }
    if (hostLength == 0 || hostLength > kMaxURLHostLength) return Refuse(parsed);

    const char* rest = host + hostLength;
    unsigned long port = 80;
    if (*rest == ':') {
        ++rest;
        std::size_t digits = 0;
        port = 0;
        while (IsDigit(rest[digits]) && digits < 6) port = port * 10 + static_cast<unsigned long>(rest[digits++] - '0');
        if (digits == 0 || digits > 5 || port < 1 || port > 65535) return Refuse(parsed);
        rest += digits;
    }
    if (*rest != '\0' && *rest != '/') return Refuse(parsed);
    const std::size_t pathLength = std::strlen(rest);
    if (pathLength > kMaxURLPathLength) return Refuse(parsed);
    for (std::size_t i = 0; i < pathLength; ++i)
        if (!IsVisible(rest[i])) return Refuse(parsed);

    std::memcpy(parsed->host, host, hostLength);
    parsed->host[hostLength] = '\0';
    std::memcpy(parsed->path, rest, pathLength + 1);
    parsed->port = static_cast<std::uint16_t>(port);
    return 0;
}

int IsDottedIPv4Address(const char* host)
{
    if (!host) return 0;
    const char* p = host;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *p++ != '.') return 0;
        int value = 0, digits = 0;
        while (IsDigit(*p) && digits < 4) value = value * 10 + (*p++ - '0'), ++digits;
        if (digits == 0 || digits > 3 || value > 255) return 0;
    }
    return *p == '\0';
}
