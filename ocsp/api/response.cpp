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

// Decode ends with 1 and leaves the record's error bit as it was.
constexpr std::uint32_t kFailedWithoutBit = 0xFFFFFFFFu;

// The item of the slot equal to the 20-byte hash: its position, 0 for none.
std::uint32_t FindHash(const DataSets* sets, std::uint32_t slot, const unsigned char (&hash)[20])
{
    std::uint32_t count = 0;
    if (CountDataItems(sets, slot, &count) != kDataSetsOk) return 0;
    for (std::uint32_t n = 1; n <= count; ++n) {
        const unsigned char* item = nullptr;
        std::size_t length = 0;
        if (GetDataItem(sets, slot, n, &item, &length) != kDataSetsOk) return 0;
        if (length == sizeof hash && std::memcmp(item, hash, sizeof hash) == 0) return n;
    }
    return 0;
}

bool SlotFilled(const DataSets* sets, std::uint32_t slot)
{
    std::uint32_t count = 0;
    return CountDataItems(sets, slot, &count) == kDataSetsOk && count > 0;
}

// Option 2: the responder list names this responder for the issuer (slots
// 17 and 18 at the same position). 0 or the error bit.
std::uint32_t ListedForIssuer(const DataSets* sets, const unsigned char (&issuerHash)[20],
                              const unsigned char (&responderHash)[20])
{
    if (!SlotFilled(sets, kSlotLocationIssuerHashes) || !SlotFilled(sets, kSlotLocationResponderHashes))
        return OCSP_ERR_DATA_SETS_READ;
    const std::uint32_t position = FindHash(sets, kSlotLocationIssuerHashes, issuerHash);
    const unsigned char* listed = nullptr;
    std::size_t length = 0;
    if (position == 0 ||
        GetDataItem(sets, kSlotLocationResponderHashes, position, &listed, &length) != kDataSetsOk ||
        length != sizeof responderHash || std::memcmp(listed, responderHash, sizeof responderHash) != 0)
        return OCSP_ERR_NOT_AUTHORIZED;
    return 0;
}

// Option 1: the responder certificate's hash is among the trusted ones
// (slot 14). 0 or the error bit.
std::uint32_t TrustedResponder(const DataSets* sets, const unsigned char (&responderHash)[20])
{
    if (!SlotFilled(sets, kSlotTrustedResponders)) return OCSP_ERR_DATA_SETS_READ;
    return FindHash(sets, kSlotTrustedResponders, responderHash) != 0 ? 0 : OCSP_ERR_NOT_AUTHORIZED;
}

// The responder certificate is accepted by its extensions (v2): the first
// acceptance that holds, then its revocation rule. 0, the bit of the last
// acceptance that failed, or kFailedWithoutBit when none applied.
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
    unsigned char issuerHash[20], responderHash[20];
    const bool issuerHashed = Sha1Digest(issuer, issuerLength, issuerHash);
    const bool responderHashed = Sha1Digest(responder.pointer, responder.length, responderHash);
    std::uint32_t lastFailure = kFailedWithoutBit;
    bool accepted = false;
    bool revocationCheckNeeded = true;
    if (cA) {
        // The CA answers for itself.
        if (issuerHashed && responderHashed && std::memcmp(issuerHash, responderHash, sizeof issuerHash) == 0) {
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
    if (!accepted && (record->responderOptions & 2)) {
        const std::uint32_t error = issuerHashed && responderHashed
                                        ? ListedForIssuer(record->requestSets, issuerHash, responderHash)
                                        : OCSP_ERR_NOT_AUTHORIZED;
        if (error == 0) accepted = true;
        else lastFailure = error;
    }
    if (!accepted && (record->responderOptions & 1)) {
        const std::uint32_t error =
            responderHashed ? TrustedResponder(record->requestSets, responderHash) : OCSP_ERR_NOT_AUTHORIZED;
        if (error == 0) {
            accepted = true;
            revocationCheckNeeded = false;
        } else {
            lastFailure = error;
        }
    }
    if (!accepted) return lastFailure;
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
            return kFailedWithoutBit;
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
        if (error != kFailedWithoutBit) record->errorCode = error;
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
