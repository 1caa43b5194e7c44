#include "tsp/api/token_check.h"

#include <new>

#include "core/text/text.h"
#include "tsp/Halvery.h"
#include "tsp/protocol/tsp_capi.h"

std::uint32_t VerifyTokenSignature(const unsigned char* token, std::size_t tokenLength,
                                   std::vector<unsigned char>& eContent, ByteBuffer* signer)
{
    *signer = ByteBuffer{nullptr, 0};
    try {
        eContent.assign(kTSPEContentCapacity, 0);
    } catch (const std::bad_alloc&) {
        return TSP_ERR_MEMORY;
    }
    std::size_t length = 0;
    int result = kTokenVerified;
    if (token && tokenLength > 0 &&
        VerifyTimeStampToken(eContent.data(), &length, token, tokenLength, &result, signer)) {
        eContent.resize(length);
        return 0;
    }
    FreeItems(signer, 1);
    eContent.clear();
    switch (result) {
    case kTokenBadSignature:
        return TSP_ERR_SIGNATURE;
    case kTokenNotTSTInfo:
        return TSP_ERR_CONTENT_OID;
    case kTokenBadSigner:
        return TSP_ERR_NOT_AUTHORIZED;
    default:
        return TSP_ERR_DECODING_TOKEN;
    }
}
