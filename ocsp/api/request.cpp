// The request and the exchange: encoding, the request and response
// buffers, and the POST to the responder.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "core/text/text.h"
#include "exchange/exchange_profile.h"
#include "exchange/http_exchange.h"
#include "ocsp/Dunmere.h"
#include "ocsp/protocol/certificate_readers.h"
#include "ocsp/protocol/ocsp_capi.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/request_builder.h"

namespace {

enum : int { kSha1WithRsa = 111 };
enum : std::uint32_t { kSha1Digest = 6 };

// Copies the decoders and generators hand out, released on every path.
struct TOwnedItems {
    ByteBuffer nonce = {nullptr, 0};
    ByteBuffer requestorName = {nullptr, 0};
    ~TOwnedItems()
    {
        FreeItems(&nonce, 1);
        FreeItems(&requestorName, 1);
    }
};

std::uint32_t MakeNonce(OCSPData* record, ByteBuffer& nonce)
{
    int made = 0;
    if (record->cryptoLibrary == OCSP_LIB_CRYPTOAPI) made = GenerateNonceWithCryptoAPI(&nonce);
    else if (record->cryptoLibrary == OCSP_LIB_OWN) made = GenerateNonce(&nonce);
    if (!made || nonce.length != sizeof record->nonce) return OCSP_ERR_NONCE_GENERATION;
    std::memcpy(record->nonce, nonce.pointer, sizeof record->nonce);
    return 0;
}

std::uint32_t ReadRequestorName(const OCSPData* record, ByteBuffer& name)
{
    std::uint32_t count = 0;
    const unsigned char* der = nullptr;
    std::size_t length = 0;
    if (CountDataItems(record->userSets, kSlotUserCertificates, &count) != kDataSetsOk || count == 0 ||
        GetDataItem(record->userSets, kSlotUserCertificates, count, &der, &length) != kDataSetsOk)
        return OCSP_ERR_DATA_SETS_READ;
    return ReadCertificateSubject(der, length, &name) != 0 ? 0 : OCSP_ERR_REQUESTOR_CERT;
}

SignCallback ChosenSigner(int library)
{
    if (library == OCSP_LIB_OWN) return SignWithStoredKey;
    if (library == OCSP_LIB_CRYPTOAPI) return SignWithCryptoAPI;
    return nullptr;
}

std::uint32_t Encode(OCSPData* record, ByteBuffer* request)
{
    TOwnedItems owned;
    if (record->useNonce == 1) {
        if (std::uint32_t error = MakeNonce(record, owned.nonce)) return error;
    }
    if (record->signRequest == 1) {
        if (std::uint32_t error = ReadRequestorName(record, owned.requestorName)) return error;
    }
    auto* output = static_cast<unsigned char*>(std::malloc(kOCSPWorkBufferSize));
    if (!output) return OCSP_ERR_MEMORY;
    const SignCallback signer = ChosenSigner(record->cryptoLibrary);
    std::size_t length = 0;
    if ((record->signRequest == 1 && !signer) ||
        !BuildOCSPRequest(record->signRequest, record->useNonce, owned.nonce, owned.requestorName, kSha1Digest,
                          kSha1WithRsa, record->userSets, record->requestSets, output, kOCSPWorkBufferSize, &length,
                          0, signer) ||
        length == 0 || length > kOCSPWorkBufferSize) {
        std::free(output);
        return OCSP_ERR_ENCODING_REQUEST;
    }
    request->pointer = output;
    request->length = length;
    return 0;
}

}  // namespace

extern "C" int _EncodeOCSPRequest(OCSPData* record, ByteBuffer* request)
{
    if (!record || !request) return 1;
    if (!record->requestSets || !record->userSets) {
        record->errorCode = OCSP_ERR_DATA_SETS_READ;
        return 1;
    }
    if (std::uint32_t error = Encode(record, request)) {
        record->errorCode = error;
        return 1;
    }
    return 0;
}

extern "C" void _DestroyOCSPRequest(ByteBuffer* request)
{
    if (request && request->pointer) std::free(request->pointer);
}

extern "C" int _BufferOCSPRequest(unsigned char** pointer, std::uint32_t* length, const ByteBuffer* request)
{
    if (!request || !request->pointer || request->length == 0 || !pointer || !length) return 1;
    *pointer = request->pointer;
    *length = static_cast<std::uint32_t>(request->length);
    return 0;
}

extern "C" int _SetOCSPResponse(unsigned char* pointer, std::uint32_t length, ByteBuffer* response)
{
    if (!pointer || length == 0 || !response) return 1;
    response->pointer = pointer;
    response->length = length;
    return 0;
}

extern "C" void _DestroyOCSPResponse(ByteBuffer* response)
{
    if (response && response->pointer) std::free(response->pointer);
}

extern "C" int _ExecuteOCSPTransaction(const ByteBuffer* request, ByteBuffer* response, OCSPData* record)
{
    if (!record) return 1;
    if (!request || !request->pointer || request->length == 0 || !response) {
        record->errorCode = OCSP_ERR_SEND;
        return 1;
    }
    std::vector<unsigned char> body;
    if (std::uint32_t error =
            PostHttpExchange(record->responderURL, request->pointer, request->length, kOcspExchange, body)) {
        record->errorCode = error;
        return 1;
    }
    // Callers get the body in a buffer of the exchange's fixed size.
    if (body.empty() || body.size() > kOCSPWorkBufferSize) {
        record->errorCode = OCSP_ERR_HTTP_HEADER;
        return 1;
    }
    auto* buffer = static_cast<unsigned char*>(std::malloc(kOCSPWorkBufferSize));
    if (!buffer) {
        record->errorCode = OCSP_ERR_MEMORY;
        return 1;
    }
    std::memcpy(buffer, body.data(), body.size());
    response->pointer = buffer;
    response->length = body.size();
    return 0;
}
