// The HTTP reply parser: an accepted body lies inside the reply after its
// header block, the reader's expected length agrees with the parser, and
// nothing is read outside the reply (the sanitizers watch every byte).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exchange/http_message.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so a read past the reply's end is caught.
    std::vector<unsigned char> reply(data, data + size);
    const unsigned char* bytes = size ? reply.data() : nullptr;
    HttpReplyBody body{1, 1};
    const HttpReplyVerdict verdict = ParseHttpReply(bytes ? bytes : data, size, "application/ocsp-response", &body);
    const std::size_t expected = ExpectedHttpReplyLength(bytes ? bytes : data, size);
    if (verdict != kHttpReplyAccepted) {
        Check(body.offset == 0 && body.length == 0);
        return 0;
    }
    Check(size < kHttpBufferSize && body.length > 0 && body.offset >= 4 && body.offset + body.length == size);
    Check(std::memcmp(reply.data() + body.offset - 4, "\r\n\r\n", 4) == 0);
    Check(expected == 0 || expected == size);
    // The same reply under the other profile's type is never more than a
    // content-type refusal.
    HttpReplyBody other;
    const HttpReplyVerdict again = ParseHttpReply(reply.data(), size, "application/timestamp-reply", &other);
    Check(again == kHttpReplyAccepted || again == kHttpReplyBadContentType);
    return 0;
}
