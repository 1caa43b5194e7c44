// The server URL parser: an accepted URL gives bounded, visible fields that
// make a request line of one line, "POST", the path as it stands (up to a
// fragment, "/" for none) and "HTTP/1.0", and the parse is the same on the
// text rebuilt from them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exchange/http_message.h"
#include "exchange/server_url.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> url(data, data + size);
    url.push_back('\0');
    ServerURL parsed;
    std::memset(&parsed, 0x5A, sizeof parsed);
    if (ParseResponderURL(url.data(), &parsed) != 0) {
        Check(parsed.host[0] == '\0' && parsed.path[0] == '\0' && parsed.port == 0);
        return 0;
    }
    const std::size_t hostLength = strnlen(parsed.host, sizeof parsed.host);
    const std::size_t pathLength = strnlen(parsed.path, sizeof parsed.path);
    Check(hostLength > 0 && hostLength <= kMaxURLHostLength && pathLength <= kMaxURLPathLength);
    Check(parsed.port >= 1 && (pathLength == 0 || parsed.path[0] == '/'));
    for (const char* field : {parsed.host, parsed.path})
        for (const char* p = field; *p; ++p) Check(static_cast<unsigned char>(*p) > 0x20 && *p != 0x7F);

    const std::string rebuilt = "http://" + std::string(parsed.host) + ":" + std::to_string(parsed.port) + parsed.path;
    ServerURL again;
    Check(ParseResponderURL(rebuilt.c_str(), &again) == 0 && std::strcmp(again.host, parsed.host) == 0 &&
          std::strcmp(again.path, parsed.path) == 0 && again.port == parsed.port);

    unsigned char request[kHttpBufferSize];
    std::size_t length = 0;
    Check(ComposeOCSPPost(parsed.path, "OCSPClient/1.0", "application/ocsp-request",
                          reinterpret_cast<const unsigned char*>("x"), 1, request, sizeof request, &length) != 0);
    const unsigned char* lineEnd = static_cast<const unsigned char*>(std::memchr(request, '\r', length));
    Check(lineEnd && std::memchr(request, '\n', static_cast<std::size_t>(lineEnd - request)) == nullptr);
    const std::string line(reinterpret_cast<const char*>(request), static_cast<std::size_t>(lineEnd - request));
    std::string target(parsed.path, std::strcspn(parsed.path, "#"));
    if (target.empty()) target = "/";
    Check(line == "POST " + target + " HTTP/1.0" && target[0] == '/');
    return 0;
}
