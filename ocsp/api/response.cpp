// Decoding and checking the responder's answer against the request held in
// the record, and reading back its status and revocation time.
#include <cstdlib>
#include <cstring>

#include "core/datasets/datasets.h"
#include "core/hash/digest.h"
#include "core/text/text.h"
#include "exchange/generalized_time.h"
#include "ocsp/Dunmere.h"
#include "ocsp/api/response_common.h"
#include "ocsp/protocol/ocsp_capi.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/response_checks.h"

namespace {

// The responder certificate is accepted by its extensions (v2): one of the
// acceptances, then its revocation rule.
std::uint32_t AcceptResponderByExtensions(OCSPData* record, const unsigned char* issuer, std::uint32_t issuerLength,
                                          const char* now)
{
    int cA = 0, ocspSigning = 0, noCheck = 0, crlPoints = 0;
    ByteBuffer urls[kOCSPMaxCrlPoints] = {};
    const int read = ReadResponderExtensions(record->requestSets, &cA, &ocspSigning, &noCheck, &crlPoints, urls);
    FreeItems(urls, kOCSPMaxCrlPoints);
    if (read != 0) return OCSP_ERR_RESPONDER_CERT;

    ByteBuffer responder = {nullptr, 0};
    if (!ResponderCertificate(record->requestSets, &responder)) return OCSP_ERR_RESPONDER_CERT;
    std::uint32_t lastFailure = 0;
    bool accepted = false;
    bool revocationCheckNeeded = true;
    if (cA) {
        unsigned char issuerHash[20], responderHash[20];
        if (Sha1Digest(issuer, issuerLength, issuerHash) && Sha1Digest(responder.pointer, responder.length, responderHash) &&
            std::memcmp(issuerHash, responderHash, sizeof issuerHash) == 0) {
            accepted = true;
            revocationCheckNeeded = false;
        } else {
            lastFailure = OCSP_ERR_NOT_AUTHORIZED;
        }
    }
    if (!accepted && ocspSigning) {
        const std::uint32_t error = CheckResponderIssuedBy(record, issuer, issuerLength, now, true);
        if (error == 0) accepted = true;
        else lastFailure = error;
    }
    // The responder lists of options 1 and 2 are filled by no export.
    if (!accepted && (record->responderOptions & 2)) lastFailure = OCSP_ERR_DATA_SETS_READ;
    if (!accepted && (record->responderOptions & 1)) lastFailure = OCSP_ERR_DATA_SETS_READ;
    if (!accepted) return lastFailure ? lastFailure : OCSP_ERR_NOT_AUTHORIZED;
    if (revocationCheckNeeded && !noCheck && !((record->revocationOptions & 2) && (record->revocationOptions & 4)))
        return OCSP_ERR_RESPONDER_REVOCATION;
    return 0;
}

std::uint32_t Decode(const ByteBuffer* response, OCSPData* record, const unsigned char* issuer,
                     std::uint32_t issuerLength, bool byExtensions)
{
    TParsedResponse parsed;
    if (!parsed.ready) return OCSP_ERR_DATA_SETS_INIT;
    if (!response || !response->pointer || response->length == 0 ||
        !ParseOCSPResponse(response->pointer, response->length, &parsed.statusSets, record->requestSets,
                           &parsed.responderIdKind, &parsed.byName, &parsed.byKey, &parsed.signatureAlgorithm,
                           &parsed.hashAlgorithm, &parsed.rawStatus, &parsed.producedAt, &parsed.nonce))
        return OCSP_ERR_DECODING_RESPONSE;
    MapResponseStatus(parsed.rawStatus, &record->responseStatus);
    if (parsed.rawStatus == 0) {
        const char* tolerance = record->skipTimeCheck == 0 ? record->timeTolerance : nullptr;
        char now[kGeneralizedTimeTextSize];
        if (!FormatCurrentGeneralizedTime(now, sizeof now, "Z")) return OCSP_ERR_PRODUCED_AT;
        if (!CompareTimesWithTolerance(TimeText(parsed.producedAt).c_str(), now, tolerance))
            return OCSP_ERR_PRODUCED_AT;
        int authorised = 0;
        if (!CheckResponderID(parsed.responderIdKind, parsed.byName, parsed.byKey, record->requestSets,
                              static_cast<std::uint32_t>(parsed.hashAlgorithm), &authorised))
            return OCSP_ERR_RESPONDER_ID;
        if (byExtensions) {
            if (std::uint32_t error = AcceptResponderByExtensions(record, issuer, issuerLength, now)) return error;
        } else {
            if (!authorised) return OCSP_ERR_NOT_AUTHORIZED;
            if (std::uint32_t error = CheckResponderIssuedBy(record, issuer, issuerLength, now, false)) return error;
        }
        switch (MatchStatusRecords(record->requestSets, &parsed.statusSets, tolerance, now)) {
        case kMatchOk:
            break;
        case kMatchOutdated:
            return OCSP_ERR_THIS_UPDATE;
        case kMatchNotFound:
            return OCSP_ERR_STATUS_NOT_FOUND;
        case kMatchFailed:
            return OCSP_ERR_DATA_SETS_READ;
        default:
            return OCSP_ERR_DECODING_RESPONSE;
        }
        if (record->useNonce == 1 &&
            (parsed.nonce.length != sizeof record->nonce ||
             std::memcmp(parsed.nonce.pointer, record->nonce, sizeof record->nonce) != 0))
            return OCSP_ERR_NONCE_MISMATCH;
        if (!IsKnownSignatureAlgorithm(parsed.signatureAlgorithm)) return OCSP_ERR_SIGNATURE_ALGORITHM;
        int verified = 0;
        if (record->cryptoLibrary == OCSP_LIB_OWN)
            verified = VerifyResponseSignature(record->requestSets, parsed.signatureAlgorithm);
        else if (record->cryptoLibrary == OCSP_LIB_CRYPTOAPI)
            verified = VerifyResponseSignatureWithCryptoAPI(record->requestSets, record->userSets,
                                                            parsed.signatureAlgorithm);
        if (!verified) return OCSP_ERR_SIGNATURE;
        std::uint32_t status = OCSP_STATUS_UNSET;
        if (!StatusFromRecord(record->requestSets, parsed.rawStatus, &status)) return OCSP_ERR_DATA_SETS_READ;
        record->certificateStatus = status;
    }
    return parsed.Release() ? 0 : OCSP_ERR_DATA_SETS_DELETE;
}

int DecodeExport(const ByteBuffer* response, OCSPData* record, const unsigned char* issuer,
                 std::uint32_t issuerLength, bool byExtensions)
{
    if (!record) return 1;
    // A decode that does not pass every check never leaves a status behind.
    record->certificateStatus = OCSP_STATUS_UNSET;
    if (!record->requestSets || !record->userSets) {
        record->errorCode = OCSP_ERR_DATA_SETS_READ;
        return 1;
    }
    if (std::uint32_t error = Decode(response, record, issuer, issuerLength, byExtensions)) {
        record->certificateStatus = OCSP_STATUS_UNSET;
        record->errorCode = error;
        return 1;
    }
    return 0;
}

}  // namespace

extern "C" int _DecodeOCSPResponse(const ByteBuffer* response, OCSPData* record, const unsigned char* issuerDer,
                                   std::uint32_t issuerLength)
{
    return DecodeExport(response, record, issuerDer, issuerLength, false);
}

extern "C" int _DecodeOCSPResponsev2(const ByteBuffer* response, OCSPData* record, const unsigned char* issuerDer,
                                     std::uint32_t issuerLength)
{
    return DecodeExport(response, record, issuerDer, issuerLength, true);
}

extern "C" char* _GetRevocationDate(OCSPData* record)
{
    if (!record) return nullptr;
    if (record->certificateStatus != OCSP_CERT_REVOKED) record->errorCode = OCSP_ERR_REVOCATION_STATUS;
    const unsigned char* item = nullptr;
    std::size_t length = 0;
    if (!record->requestSets ||
        GetDataItem(record->requestSets, kSlotRevocationTime, 1, &item, &length) != kDataSetsOk) {
        record->errorCode = OCSP_ERR_DATA_SETS_READ;
        return nullptr;
    }
    const char* text = reinterpret_cast<const char*>(item);
    const std::size_t textLength = strnlen(text, length);
    // Only "EMPTY" or a well-formed time of at most 19 characters goes out.
    const bool empty = textLength == 5 && std::memcmp(text, kOCSPEmptyTime, 5) == 0;
    if (!empty && (textLength > 19 || !CheckGeneralizedTimeText(text, textLength))) {
        record->errorCode = OCSP_ERR_DATA_SETS_READ;
        return nullptr;
    }
    return reinterpret_cast<char*>(CopyToCString(text, textLength));
}
