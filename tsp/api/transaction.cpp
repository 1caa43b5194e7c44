// One time-stamp exchange with the server over the shared HTTP/1.0 exchange.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exchange/exchange_profile.h"
#include "exchange/http_exchange.h"
#include "tsp/Halvery.h"
#include "tsp/protocol/tsp_codecs.h"

extern "C" int _TSPTransactionHTTP(const ByteBuffer* request, ByteBuffer* response, TSPData* record)
{
    if (!record) return 1;
    if (!response) {
        record->errorCode = TSP_ERR_MEMORY;
        return 1;
    }
    // A URL field the caller wrote by hand still ends within the field.
    char url[sizeof record->serverURL];
    std::memcpy(url, record->serverURL, sizeof url);
    url[sizeof url - 1] = '\0';

    std::vector<unsigned char> body;
    if (const std::uint32_t bit = PostHttpExchange(url, request ? request->pointer : nullptr,
                                                     request ? request->length : 0, kTspExchange, body)) {
        record->errorCode = bit;
        return 1;
    }
    auto* copy = static_cast<unsigned char*>(std::malloc(kTspWorkSize));
    if (!copy || body.size() > kTspWorkSize) {
        std::free(copy);
        record->errorCode = TSP_ERR_MEMORY;
        return 1;
    }
    if (!body.empty()) std::memcpy(copy, body.data(), body.size());
    response->pointer = copy;
    response->length = body.size();
    return 0;
}
