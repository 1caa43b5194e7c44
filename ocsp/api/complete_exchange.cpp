#include "ocsp/api/complete_exchange.h"

#include <string>
#include <vector>

#include "exchange/exchange_profile.h"
#include "exchange/generalized_time.h"
#include "exchange/http_exchange.h"
#include "ocsp/api/response_common.h"
#include "ocsp/protocol/certificate_readers.h"
#include "ocsp/protocol/ocsp_capi.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/request_builder.h"
#include "ocsp/protocol/response_checks.h"

namespace {

// The targets and their issuers of slots 9 and 10 into the request's slots.
int ReadTargets(DataSets* requestSets)
{
    std::uint32_t count = 0;
    if (CountDataItems(requestSets, kSlotTargetCertificates, &count) != kDataSetsOk || count == 0) return 21;
    for (std::uint32_t n = 1; n <= count; ++n) {
        const unsigned char* der = nullptr;
        std::size_t length = 0;
        if (GetDataItem(requestSets, kSlotTargetCertificates, n, &der, &length) != kDataSetsOk ||
            !ReadTargetCertificate(der, length, requestSets))
            return 2;
        if (GetDataItem(requestSets, kSlotIssuerCertificates, n, &der, &length) != kDataSetsOk ||
            !ReadIssuerCertificate(der, length, requestSets))
            return 0;
    }
    return 1;
}

int ExchangeFailure(std::uint32_t bit)
{
    const ExchangeProfile& p = kOcspExchange;
    if (bit == p.memoryError) return 10;
    if (bit == p.sendError) return 5;
    if (bit == p.receiveError) return 6;
    if (bit == p.headerError) return 11;
    if (bit == p.contentTypeError) return 12;
    return 4;  // the URL or the connection
}

int CheckResponse(DataSets* requestSets, const DataSets* userSets, TParsedResponse& parsed,
                  const char* producedAtTolerance, const char* statusTolerance, const unsigned char* issuer,
                  std::size_t issuerLength)
{
    char now[kGeneralizedTimeTextSize];
    if (!FormatCurrentGeneralizedTime(now, sizeof now, "Z") ||
        !CompareTimesWithTolerance(TimeText(parsed.producedAt).c_str(), now, producedAtTolerance))
        return 9;
    int authorised = 0;
    if (!CheckResponderID(parsed.responderIdKind, parsed.byName, parsed.byKey, requestSets,
                          static_cast<std::uint32_t>(parsed.hashAlgorithm), &authorised))
        return 13;
    if (!authorised) return 14;
    const int issued = CheckResponderIssuer(requestSets, issuer, issuerLength);
    if (issued != kResponderCertOk) return issued != 0 ? issued : 15;
    if (MatchStatusRecords(requestSets, &parsed.statusSets, statusTolerance, now) != kMatchOk) return 16;
    if (!IsKnownSignatureAlgorithm(parsed.signatureAlgorithm)) return 18;
    if (!VerifyResponseSignatureWithCryptoAPI(requestSets, userSets, parsed.signatureAlgorithm)) return 17;
    return 1;
}

}  // namespace

int ExecuteOCSPExchange(DataSets* requestSets, const DataSets* userSets, int sign, const ByteBuffer& requestorName,
                        int signatureAlgorithm, std::uint32_t digestType, const char* path, const char* host,
                        unsigned port, const char* producedAtTolerance, const char* statusTolerance,
                        const unsigned char* issuer, std::size_t issuerLength, int* responseStatus)
{
    if (!requestSets || !host || !responseStatus) return 0;
    const int targets = ReadTargets(requestSets);
    if (targets != 1) return targets;
    if (!IsKnownSignatureAlgorithm(signatureAlgorithm)) return 0;

    std::vector<unsigned char> request(kOCSPWorkBufferSize);
    std::size_t length = 0;
    const ByteBuffer noNonce = {nullptr, 0};
    if (!BuildOCSPRequest(sign, 0, noNonce, requestorName, digestType, signatureAlgorithm, userSets, requestSets,
                          request.data(), request.size(), &length, 0, SignWithCryptoAPI))
        return 3;
    const std::string url = "http://" + std::string(host) + ":" + std::to_string(port) + (path ? path : "");
    std::vector<unsigned char> body;
    if (std::uint32_t bit = PostHttpExchange(url.c_str(), request.data(), length, kOcspExchange, body))
        return ExchangeFailure(bit);

    TParsedResponse parsed;
    if (!parsed.ready) return 7;
    if (body.empty() ||
        !ParseOCSPResponse(body.data(), body.size(), &parsed.statusSets, requestSets, &parsed.responderIdKind,
                           &parsed.byName, &parsed.byKey, &parsed.signatureAlgorithm, &parsed.hashAlgorithm,
                           &parsed.rawStatus, &parsed.producedAt, &parsed.nonce))
        return 8;
    if (parsed.rawStatus == 0) {
        const int checked = CheckResponse(requestSets, userSets, parsed, producedAtTolerance, statusTolerance, issuer,
                                          issuerLength);
        if (checked != 1) return checked;
    }
    if (!parsed.Release()) return 19;
    *responseStatus = parsed.rawStatus;
    return 1;
}
