// The TimeStampReq of the record's imprint and nonce, and its release.
#include <cstdlib>

#include "tsp/Halvery.h"
#include "tsp/protocol/tsp_codecs.h"

extern "C" int _EncodeTSPRequest(TSPData* record, ByteBuffer* request)
{
    if (!record || !request) return -1;
    auto* buffer = static_cast<unsigned char*>(std::malloc(kTspWorkSize));
    if (!buffer) {
        record->errorCode = TSP_ERR_MEMORY;
        return -1;
    }
    ByteBuffer nonce = {record->nonce, record->nonceLength};
    std::size_t length = 0;
    if (!EncodeTimeStampReq(record->hash, record->hashLength, (record->nonce && record->nonceLength) ? &nonce : nullptr,
                            1, buffer, kTspWorkSize, &length)) {
        std::free(buffer);
        record->errorCode = TSP_ERR_ENCODING_REQUEST;
        return -1;
    }
    request->pointer = buffer;
    request->length = length;
    return 0;
}

extern "C" void _DestroyTSPRequest(ByteBuffer* request)
{
    if (!request) return;
    std::free(request->pointer);
    request->pointer = nullptr;
    request->length = 0;
}
