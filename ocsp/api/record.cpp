// The record's life and settings: init, destroy, the setters of the client
// settings and the requestor's credentials, and the texts read back.
#include <cstdlib>
#include <cstring>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "ocsp/Dunmere.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/api/texts.h"

namespace {

DataSets* NewDataSets()
{
    auto* sets = static_cast<DataSets*>(std::malloc(sizeof(DataSets)));
    if (sets && InitDataSets(sets) != kDataSetsOk) {
        std::free(sets);
        return nullptr;
    }
    return sets;
}

char* CopyText(const char* text) { return reinterpret_cast<char*>(CopyToCString(text, std::strlen(text))); }

int AddUserItem(OCSPData* record, std::uint32_t slot, const void* data, std::uint32_t length)
{
    if (!record || !record->userSets || !data || length == 0) return -1;
    return AddDataItem(record->userSets, slot, data, length) == kDataSetsOk ? 0 : -1;
}

}  // namespace

extern "C" int _InitOCSPData(OCSPData* record)
{
    if (!record) return -1;
    DataSets* requestSets = NewDataSets();
    DataSets* userSets = NewDataSets();
    if (!requestSets || !userSets) {
        std::free(requestSets);
        std::free(userSets);
        return -1;
    }
    record->requestSets = requestSets;
    record->userSets = userSets;
    record->locationMode = 2;
    record->skipTimeCheck = 1;
    record->useNonce = 1;
    record->signRequest = 0;
    std::memset(record->responderURL, 0, sizeof record->responderURL);
    record->responseStatus = OCSP_STATUS_UNSET;
    // A status no decode has vouched for reads back as bad, never as good.
    record->certificateStatus = OCSP_STATUS_UNSET;
    record->errorCode = 0;
    record->cryptoLibrary = OCSP_LIB_NONE;
    std::memset(record->timeTolerance, 0, sizeof record->timeTolerance);
    std::memset(record->nonce, 0, sizeof record->nonce);
    record->responderOptions = 0;
    record->revocationOptions = 0;
    return 0;
}

extern "C" int _DestroyOCSPData(OCSPData* record)
{
    if (!record) return -1;
    if ((record->requestSets && DeleteDataSets(record->requestSets) != kDataSetsOk) ||
        (record->userSets && DeleteDataSets(record->userSets) != kDataSetsOk))
        return -1;
    std::free(record->requestSets);
    std::free(record->userSets);
    record->requestSets = nullptr;
    record->userSets = nullptr;
    FillBytes(record->nonce, 0, sizeof record->nonce);
    return 0;
}

extern "C" int _SetOCSPClient(int locationMode, int skipTimeCheck, int useNonce, int signRequest, const char* url,
                              int urlLength, const char* tolerance, OCSPData* record,
                              std::uint32_t responderOptions, std::uint32_t revocationOptions)
{
    if (!record || locationMode < 0 || locationMode > 2 || skipTimeCheck < 0 || skipTimeCheck > 1 ||
        useNonce < 0 || useNonce > 1 || signRequest < 0 || signRequest > 1)
        return -1;
    // The responder list of mode 1 may settle the URL later, so the URL is
    // optional there; a length that does not fit is refused in every mode.
    if (urlLength < 0 || urlLength >= DUNMERE_URL_SIZE) return 1;
    if (!url && locationMode != 1) return 1;
    record->locationMode = locationMode;
    record->skipTimeCheck = skipTimeCheck;
    record->useNonce = useNonce;
    record->signRequest = signRequest;
    std::memset(record->responderURL, 0, sizeof record->responderURL);
    if (url) {
        std::size_t copied = 0;
        while (copied < static_cast<std::size_t>(urlLength) && url[copied] != '\0') ++copied;
        std::memcpy(record->responderURL, url, copied);
    }
    record->responseStatus = OCSP_STATUS_UNSET;
    record->errorCode = 0;
    if (skipTimeCheck == 0 && tolerance) std::memcpy(record->timeTolerance, tolerance, sizeof record->timeTolerance);
    record->responderOptions = responderOptions;
    record->revocationOptions = revocationOptions;
    return 0;
}

extern "C" int _SetCryptographicLibrary(OCSPData* record, int library)
{
    if (!record || (library != OCSP_LIB_OWN && library != OCSP_LIB_CRYPTOAPI)) return -1;
    record->cryptoLibrary = library;
    return 0;
}

extern "C" int _SetOCSPUserCertificate(OCSPData* record, const unsigned char* der, std::uint32_t length)
{
    return AddUserItem(record, kSlotUserCertificates, der, length);
}

extern "C" int _SetOCSPUserPrivateKey(OCSPData* record, const unsigned char* data, std::uint32_t length)
{
    return AddUserItem(record, kSlotUserPrivateKey, data, length);
}

extern "C" int _SetOCSPUserPassword(OCSPData* record, const char* text, std::uint32_t length)
{
    return AddUserItem(record, kSlotUserPassword, text, length);
}

extern "C" int _GetOCSPStatus(OCSPData* record, std::int32_t* status)
{
    if (!record) return 1;
    std::uint32_t value = OCSP_STATUS_BAD;
    switch (record->responseStatus) {
    case OCSP_RESPONSE_SUCCESSFUL:
        if (record->certificateStatus == OCSP_CERT_GOOD || record->certificateStatus == OCSP_CERT_REVOKED ||
            record->certificateStatus == OCSP_CERT_UNKNOWN)
            value = record->certificateStatus;
        break;
    case OCSP_RESPONSE_MALFORMED:
    case OCSP_RESPONSE_INTERNAL_ERROR:
    case OCSP_RESPONSE_TRY_LATER:
    case OCSP_RESPONSE_SIG_REQUIRED:
    case OCSP_RESPONSE_UNAUTHORIZED:
        value = record->responseStatus;
        break;
    default:
        break;
    }
    if (value == OCSP_STATUS_BAD) record->errorCode = OCSP_ERR_REVOCATION_STATUS;
    if (status) *status = static_cast<std::int32_t>(value);
    return record->errorCode != 0 ? 1 : 0;
}

extern "C" std::uint32_t _GetOCSPError(const OCSPData* record) { return record ? record->errorCode : 0; }

extern "C" char* _GetOCSPErrorDescription(const OCSPData* record)
{
    return CopyText(ErrorBitText(record ? record->errorCode : 0));
}

extern "C" char* _GetResponderURLString(const OCSPData* record)
{
    if (!record) return nullptr;
    std::size_t length = 0;
    while (length < sizeof record->responderURL - 1 && record->responderURL[length] != '\0') ++length;
    auto* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, record->responderURL, length);
    copy[length] = '\0';
    return copy;
}

extern "C" void _DeleteOCSPErrorDescription(char* text) { std::free(text); }
extern "C" void _DeleteURL(char* text) { std::free(text); }
extern "C" void _DeleteRevocationDate(char* text) { std::free(text); }
