// The authority's answer: decoded, its token checked against the record's
// imprint, nonce, clock window and the caller's CA, and only then granted.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/text/text.h"
#include "exchange/generalized_time.h"
#include "tsp/Halvery.h"
#include "tsp/api/record_state.h"
#include "tsp/api/token_check.h"
#include "tsp/protocol/server_certificate.h"
#include "tsp/protocol/tsp_codecs.h"

namespace {

bool SameBytes(const ByteBuffer& received, const unsigned char* expected, std::size_t length)
{
    return expected && length > 0 && received.pointer && received.length == length &&
           std::memcmp(received.pointer, expected, length) == 0;
}

bool IsSixDigits(const char* text, std::size_t size)
{
    if (size != 6) return false;
    for (std::size_t i = 0; i < size; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// The genTime within delay of the clock; a delay that is not six digits
// never is.
bool WithinDelay(const TSPData& record, const ByteBuffer& genTime)
{
    if (!IsSixDigits(record.delay, sizeof record.delay) || !genTime.pointer) return false;
    char now[kGeneralizedTimeTextSize];
    if (!FormatCurrentGeneralizedTime(now, sizeof now, "Z")) return false;
    const std::string received(reinterpret_cast<const char*>(genTime.pointer), genTime.length);
    return CompareTimesWithTolerance(received.c_str(), now, record.delay) == 1;
}

// The checks of a granted answer's token; 0 when it may be granted.
std::uint32_t CheckGrantedToken(const TSPData& record, const unsigned char* token, std::size_t tokenLength,
                                const ByteBuffer* caCertificate)
{
    if (tokenLength == 0) return TSP_ERR_TOKEN_MISSING;
    std::vector<unsigned char> eContent;
    OwnedItem signer;
    if (const std::uint32_t bit = VerifyTokenSignature(token, tokenLength, eContent, &signer.item)) return bit;
    if (!caCertificate || !caCertificate->pointer || caCertificate->length == 0 ||
        !CheckServerCertificate(caCertificate->pointer, caCertificate->length, signer.item))
        return TSP_ERR_SERVER_CERTIFICATE;
    DecodedTSTInfo info;
    if (!DecodeTSTInfo(&info.fields, eContent.data(), eContent.size())) return TSP_ERR_DECODING_ECONTENT;
    if (info.fields.hashAlgorithm != kTspHashSha1) return TSP_ERR_HASH_ALGORITHM;
    if (!SameBytes(info.fields.hashedMessage, record.hash, record.hashLength)) return TSP_ERR_HASH_MISMATCH;
    if (record.delayEnabled == 1 && !WithinDelay(record, info.fields.genTime)) return TSP_ERR_TIME_WINDOW;
    if (record.nonce && record.nonceLength) {
        if (!info.fields.nonce.pointer || info.fields.nonce.length == 0) return TSP_ERR_NONCE_MISSING;
        if (!SameBytes(info.fields.nonce, record.nonce, record.nonceLength)) return TSP_ERR_NONCE_MISMATCH;
    }
    return 0;
}

int Fail(TSPData* record, std::uint32_t bit)
{
    record->errorCode = bit;
    return 1;
}

}  // namespace

extern "C" int _DecodeTSPResponse(TSPData* record, const ByteBuffer* response, const ByteBuffer* caCertificate)
{
    if (!record) return 1;
    // Nothing of an earlier answer speaks for this one.
    record->errorCode = 0;
    record->failureInfo = TSP_FAILURE_NONE;
    record->pkiStatus = kNoDecodedStatus;
    ReleaseRecordBuffer(record->token, record->tokenLength);

    std::vector<unsigned char> token;
    try {
        token.assign(kTspWorkSize, 0);
    } catch (const std::bad_alloc&) {
        return Fail(record, TSP_ERR_MEMORY);
    }
    int status = 0, failureCode = 0;
    std::size_t tokenLength = 0;
    if (!response || !response->pointer || response->length == 0 ||
        !DecodeTimeStampResp(response->pointer, response->length, &status, &failureCode, token.data(), &tokenLength))
        return Fail(record, TSP_ERR_DECODING_RESPONSE);

    if (status == TSP_STATUS_GRANTED || status == TSP_STATUS_GRANTED_WITH_MODS) {
        if (const std::uint32_t bit = CheckGrantedToken(*record, token.data(), tokenLength, caCertificate))
            return Fail(record, bit);
        auto* copy = static_cast<unsigned char*>(std::malloc(tokenLength));
        if (!copy) return Fail(record, TSP_ERR_MEMORY);
        std::memcpy(copy, token.data(), tokenLength);
        record->token = copy;
        record->tokenLength = static_cast<std::uint32_t>(tokenLength);
        record->pkiStatus = status;
        return 0;
    }
    if (status >= TSP_STATUS_REJECTION && status <= TSP_STATUS_REVOCATION_NOTIFICATION) {
        record->pkiStatus = status;
        if (failureCode > TSP_FAILURE_SYSTEM_FAILURE || failureCode < TSP_FAILURE_NONE)
            return Fail(record, TSP_ERR_UNKNOWN_FAILURE_INFO);
        record->failureInfo = failureCode;
        return 0;
    }
    return Fail(record, TSP_ERR_UNKNOWN_STATUS);
}

extern "C" void _DestroyTSPResponse(ByteBuffer* response)
{
    if (!response) return;
    std::free(response->pointer);
    response->pointer = nullptr;
    response->length = 0;
}
