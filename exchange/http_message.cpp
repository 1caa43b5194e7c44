#include "exchange/http_message.h"

#include <algorithm>
#include <cstring>

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const char* a, std::size_t aLength, const char* b)
{
    const std::size_t bLength = std::strlen(b);
    if (aLength != bLength) return false;
    for (std::size_t i = 0; i < aLength; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool HasControl(const char* text)
{
    for (; *text; ++text)
        if (static_cast<unsigned char>(*text) < 0x20 || *text == 0x7F) return true;
    return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A header block's facts, read from the reply's first bytes.
struct HeaderBlock {
    bool complete;             // the empty line was found
    bool statusAccepted;       // "HTTP/1.x 200 Ok"
    bool wellFormed;           // line ends and header syntax
    bool contentTypeMatches;   // every Content-Type (none counts as a match)
    bool hasContentLength;
    bool contentLengthValid;   // digits only, positive, at most the buffer
    std::size_t contentLength;
    std::size_t bodyOffset;    // after the empty line
};

// Reads "Content-Length" digits: positive and at most kHttpBufferSize.
bool ReadLength(const char* value, std::size_t length, std::size_t* result)
{
    if (length == 0 || length > 5) return false;
    std::size_t n = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
        n = n * 10 + static_cast<std::size_t>(value[i] - '0');
    }
    if (n == 0 || n > kHttpBufferSize) return false;
    *result = n;
    return true;
}

HeaderBlock ReadHeaderBlock(const unsigned char* reply, std::size_t length, const char* contentType)
{
    HeaderBlock block{false, true, true, true, false, false, 0, 0};
    const char* text = reinterpret_cast<const char*>(reply);
    std::size_t lineStart = 0;
    bool statusLine = true;
    while (lineStart < length) {
        // Find the line's CR LF; a lone CR or LF is malformed.
        std::size_t end = lineStart;
        while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
        if (end == length) return block;  // the line is not finished yet
        if (text[end] == '\n' || end + 1 >= length || text[end + 1] != '\n') {
            if (text[end] == '\r' && end + 1 >= length) return block;  // LF not in yet
            block.wellFormed = false;
            return block;
        }
        const char* line = text + lineStart;
        const std::size_t lineLength = end - lineStart;
        lineStart = end + 2;
        if (statusLine) {
            statusLine = false;
            if (!EqualNoCase(line, lineLength, "HTTP/1.0 200 Ok") && !EqualNoCase(line, lineLength, "HTTP/1.1 200 Ok"))
                block.statusAccepted = false;
            continue;
        }
        if (lineLength == 0) {
            block.complete = true;
            block.bodyOffset = lineStart;
            return block;
        }
        const char* colon = static_cast<const char*>(std::memchr(line, ':', lineLength));
        if (!colon || colon == line) {
            block.wellFormed = false;
            continue;
        }
        const std::size_t nameLength = static_cast<std::size_t>(colon - line);
        const char* value = colon + 1;
        std::size_t valueLength = lineLength - nameLength - 1;
        while (valueLength > 0 && IsBlank(*value)) ++value, --valueLength;
        while (valueLength > 0 && IsBlank(value[valueLength - 1])) --valueLength;
        if (EqualNoCase(line, nameLength, "Content-Type")) {
            if (!EqualNoCase(value, valueLength, contentType)) block.contentTypeMatches = false;
        } else if (EqualNoCase(line, nameLength, "Content-Length")) {
            std::size_t n = 0;
            const bool valid = ReadLength(value, valueLength, &n);
            // A second Content-Length must repeat the first.
            if (block.hasContentLength && (!block.contentLengthValid || !valid || n != block.contentLength))
                block.contentLengthValid = false;
            else if (!block.hasContentLength)
                block.contentLengthValid = valid, block.contentLength = n;
            block.hasContentLength = true;
        }
    }
    return block;
}

}  // namespace

std::string HttpRequestTarget(const char* path)
{
    std::string target = path ? path : "";
    target.erase(std::min(target.find('#'), target.size()));
    return target.empty() ? "/" : target;
}

std::size_t ComposeOCSPPost(const char* path, const char* userAgent, const char* contentType,
                            const unsigned char* body, std::size_t bodyLength, unsigned char* output,
                            std::size_t outputSize, std::size_t* outputLength)
{
    if (outputLength) *outputLength = 0;
    if (!userAgent || !contentType || !output || (!body && bodyLength > 0)) return 0;
    const std::string target = HttpRequestTarget(path);
    if (HasControl(target.c_str()) || target.find(' ') != std::string::npos || HasControl(userAgent) ||
        HasControl(contentType))
        return 0;
    std::string header = std::string("POST ") + target + " HTTP/1.0\r\nUser-Agent: " + userAgent +
                         "\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
                         std::to_string(bodyLength) + "\r\n\r\n";
    const std::size_t total = header.size() + bodyLength;
    if (bodyLength > kHttpBufferSize || total > kHttpBufferSize || total > outputSize) return 0;
    std::memcpy(output, header.data(), header.size());
    if (bodyLength > 0) std::memcpy(output + header.size(), body, bodyLength);
    if (outputLength) *outputLength = total;
    return total;
}

HttpReplyVerdict ParseHttpReply(const unsigned char* reply, std::size_t length, const char* contentType,
                                HttpReplyBody* body)
{
    if (body) *body = HttpReplyBody{0, 0};
    if (!reply || !contentType || !body || length == 0 || length >= kHttpBufferSize) return kHttpReplyBadHeader;
    const HeaderBlock block = ReadHeaderBlock(reply, length, contentType);
    if (!block.complete || !block.wellFormed || !block.statusAccepted) return kHttpReplyBadHeader;
    if (!block.contentTypeMatches) return kHttpReplyBadContentType;
    const std::size_t arrived = length - block.bodyOffset;
    if (block.hasContentLength && (!block.contentLengthValid || block.contentLength != arrived))
        return kHttpReplyBadHeader;
    if (arrived == 0) return kHttpReplyBadHeader;
    *body = HttpReplyBody{block.bodyOffset, arrived};
    return kHttpReplyAccepted;
}

std::size_t ExpectedHttpReplyLength(const unsigned char* reply, std::size_t length)
{
    if (!reply) return 0;
    const HeaderBlock block = ReadHeaderBlock(reply, length, "");
    if (!block.complete || !block.wellFormed || !block.hasContentLength || !block.contentLengthValid) return 0;
    return block.bodyOffset + block.contentLength;
}
