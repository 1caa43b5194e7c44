// The record's life, its setters and the state read back from it.
#include <cstdlib>
#include <cstring>

#include "core/der/bytes.h"
#include "core/text/text.h"
#include "tsp/Halvery.h"
#include "tsp/api/record_state.h"
#include "tsp/protocol/tsp_capi.h"

namespace {

const unsigned int kSha1Algorithm = 0x8004;  // CALG_SHA1

bool IsGrantedStatus(int status) { return status == TSP_STATUS_GRANTED || status == TSP_STATUS_GRANTED_WITH_MODS; }

}  // namespace

bool HoldsGrantedToken(const TSPData& record)
{
    return IsGrantedStatus(record.pkiStatus) && record.token && record.tokenLength > 0;
}

void ReleaseRecordBuffer(unsigned char*& pointer, std::uint32_t& length)
{
    if (pointer) {
        FillBytes(pointer, 0, length);
        std::free(pointer);
    }
    pointer = nullptr;
    length = 0;
}

extern "C" int _InitTSPData(TSPData* record)
{
    if (!record) return -1;
    std::memset(record, 0, sizeof *record);
    record->reservedFlag = 1;
    return 0;
}

extern "C" int _DestroyTSPData(TSPData* record)
{
    if (!record) return -1;
    ReleaseRecordBuffer(record->hash, record->hashLength);
    ReleaseRecordBuffer(record->token, record->tokenLength);
    ReleaseRecordBuffer(record->nonce, record->nonceLength);
    return 0;
}

extern "C" int _DestroyTSPData2(TSPData* record)
{
    if (!record) return -1;
    ReleaseRecordBuffer(record->token, record->tokenLength);
    ReleaseRecordBuffer(record->nonce, record->nonceLength);
    return 0;
}

extern "C" int _SetTimeStampData(TSPData* record, const unsigned char* data, std::uint32_t length)
{
    if (!record || !data || length == 0) return -1;
    ByteBuffer digest = {nullptr, 0};
    if (!DigestBuffer(data, length, kSha1Algorithm, &digest)) {
        FreeItems(&digest, 1);
        return -1;
    }
    record->hash = digest.pointer;
    record->hashLength = static_cast<std::uint32_t>(digest.length);
    return 0;
}

extern "C" int _SetTimeStampHash(TSPData* record, const unsigned char* hash, std::uint32_t length)
{
    if (!record || !hash || length == 0) return -1;
    // The caller's memory: released by the caller (_DestroyTSPData2).
    record->hash = const_cast<unsigned char*>(hash);
    record->hashLength = length;
    return 0;
}

extern "C" int _SetNonce(TSPData* record)
{
    if (!record) return -1;
    record->reservedFlag = 1;
    ByteBuffer nonce = {nullptr, 0};
    if (!GenerateTSPNonce(&nonce)) {
        record->errorCode = TSP_ERR_NONCE_GENERATION;
        return -1;
    }
    // A second nonce replaces the first rather than leaking it.
    ReleaseRecordBuffer(record->nonce, record->nonceLength);
    record->nonce = nonce.pointer;
    record->nonceLength = static_cast<std::uint32_t>(nonce.length);
    return 0;
}

extern "C" int _SetTSPServerURL(TSPData* record, const char* url)
{
    if (!record || !url) return -1;
    // Read no further than the field can hold: the text must end within it.
    const void* end = std::memchr(url, '\0', sizeof record->serverURL);
    if (!end) return -1;
    const std::size_t length = static_cast<const char*>(end) - url;
    std::memcpy(record->serverURL, url, length);
    std::memset(record->serverURL + length, 0, sizeof record->serverURL - length);
    return 0;
}

extern "C" int _SetTSPDelay(TSPData* record, const char* delay)
{
    if (!record) return -1;
    record->delayEnabled = 1;
    if (!delay) return -1;
    // Six characters or up to a shorter text's end; anything but six digits
    // then fails the window check.
    std::memset(record->delay, 0, sizeof record->delay);
    for (std::size_t i = 0; i < sizeof record->delay && delay[i] != '\0'; ++i) record->delay[i] = delay[i];
    return 0;
}

extern "C" int _TimeStampGranted(const TSPData* record) { return record && HoldsGrantedToken(*record) ? 1 : 0; }

extern "C" int _GetTSPResponseStatus(const TSPData* record) { return record ? record->pkiStatus : kNoDecodedStatus; }

extern "C" int _GetTSPResponseFailureInfo(const TSPData* record)
{
    if (!record || HoldsGrantedToken(*record)) return -1;
    return record->failureInfo;
}

extern "C" int _GetTimeStampSize(const TSPData* record)
{
    return record && HoldsGrantedToken(*record) ? static_cast<int>(record->tokenLength) : 0;
}

extern "C" int _CopyTimeStamp(const TSPData* record, unsigned char* destination)
{
    if (!record || !destination || !HoldsGrantedToken(*record)) return 1;
    std::memcpy(destination, record->token, record->tokenLength);
    return 0;
}

extern "C" std::uint32_t _GetTSPErrorCode(const TSPData* record) { return record ? record->errorCode : 0; }
