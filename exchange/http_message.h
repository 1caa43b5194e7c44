// The HTTP/1.0 messages of the exchange: the POST that carries a DER
// request, and the reply whose body is a DER response. Portable; every call
// keeps its own state.
#pragma once
#include <cstddef>
#include <string>

// Both messages fit in one buffer of this size; a reply keeps one byte
// spare, so it holds at most kHttpBufferSize - 1 bytes.
enum : std::size_t { kHttpBufferSize = 6144 };

// The request target of a URL's path ("", or "/" and what follows, a query
// included): the path up to its fragment, which is the client's own and
// never sent, or "/" when that leaves nothing.
std::string HttpRequestTarget(const char* path);

// Writes "POST <target> HTTP/1.0" with the path's request target, the
// User-Agent, Content-Type and Content-Length lines, each ended by CR LF, an
// empty line and the body into output. The length of the whole text; 0
// when it exceeds kHttpBufferSize or outputSize, or a text holds a blank
// (the target) or a control character.
std::size_t ComposeOCSPPost(const char* path, const char* userAgent, const char* contentType,
                            const unsigned char* body, std::size_t bodyLength, unsigned char* output,
                            std::size_t outputSize, std::size_t* outputLength);

enum HttpReplyVerdict {
    kHttpReplyAccepted = 0,
    kHttpReplyBadHeader = 1,       // status line, header syntax, length, or no body
    kHttpReplyBadContentType = 2,  // a Content-Type other than the expected one
};

// Where the body lies in the reply.
struct HttpReplyBody {
    std::size_t offset;
    std::size_t length;
};

// Checks a whole reply: the status line "HTTP/1.0 200 Ok" or "HTTP/1.1 200
// Ok" (any case), header lines ended by CR LF (a bare LF or CR is refused),
// every Content-Type equal to contentType (any case, blanks around it
// ignored), and the body after the empty line: with a Content-Length it
// must be decimal digits, positive, at most kHttpBufferSize and equal to
// the bytes after the empty line; without one the body is everything after
// it. An empty body is refused.
HttpReplyVerdict ParseHttpReply(const unsigned char* reply, std::size_t length, const char* contentType,
                                HttpReplyBody* body);

// The whole reply's length once its header block is in (whatever its status
// line) and names a valid Content-Length; 0 while that is not known (the
// reader then waits for the peer to close).
std::size_t ExpectedHttpReplyLength(const unsigned char* reply, std::size_t length);
