#include "ocsp/api/response_common.h"

#include <cstring>

#include "core/hash/digest.h"
#include "core/text/text.h"
#include "ocsp/protocol/ocsp_capi.h"
#include "ocsp/protocol/response_checks.h"

TParsedResponse::TParsedResponse() { ready = InitDataSets(&statusSets) == kDataSetsOk; }

TParsedResponse::~TParsedResponse()
{
    Release();
    FreeItems(&byName, 1);
    FreeItems(&byKey, 1);
    FreeItems(&producedAt, 1);
    FreeItems(&nonce, 1);
}

bool TParsedResponse::Release()
{
    if (!ready) return true;
    ready = false;
    return DeleteDataSets(&statusSets) == kDataSetsOk;
}

std::string TimeText(const ByteBuffer& time)
{
    if (!time.pointer) return std::string();
    const char* text = reinterpret_cast<const char*>(time.pointer);
    return std::string(text, strnlen(text, time.length));
}

bool Sha1Digest(const unsigned char* data, std::size_t length, unsigned char (&digest)[20])
{
    std::size_t digestLength = 0;
    return data && length > 0 && DigestDataBlock(digest, &digestLength, data, length, 6) == 0 && digestLength == 20;
}

bool IsKnownSignatureAlgorithm(int algorithm)
{
    return algorithm == 101 || algorithm == 102 || algorithm == 103 || algorithm == 111;
}

namespace {
std::uint32_t IssuerCheckError(int result)
{
    switch (result) {
    case kResponderCertOk:
        return 0;
    case kResponderCertExpired:
        return OCSP_ERR_RESPONDER_EXPIRED;
    case kResponderCertNotIssued:
        return OCSP_ERR_RESPONDER_NOT_ISSUED;
    default:
        return OCSP_ERR_ISSUER_CERT;
    }
}
}  // namespace

std::uint32_t ResponderIssuedByOwnCheck(const DataSets* requestSets, const unsigned char* issuer,
                                        std::uint32_t issuerLength, const char* now)
{
    if (!issuer || issuerLength == 0) return OCSP_ERR_ISSUER_CERT;
    return IssuerCheckError(CheckResponderCertificate(requestSets, issuer, issuerLength, now));
}

std::uint32_t CheckResponderIssuedBy(const OCSPData* record, const unsigned char* issuer, std::uint32_t issuerLength,
                                     const char* now, bool required)
{
    if (record->cryptoLibrary == OCSP_LIB_OWN)
        return ResponderIssuedByOwnCheck(record->requestSets, issuer, issuerLength, now);
    if (record->cryptoLibrary == OCSP_LIB_CRYPTOAPI) {
        if (!issuer || issuerLength == 0) return OCSP_ERR_ISSUER_CERT;
        return IssuerCheckError(CheckResponderIssuer(record->requestSets, issuer, issuerLength));
    }
    return required ? OCSP_ERR_ISSUER_CERT : 0;
}
