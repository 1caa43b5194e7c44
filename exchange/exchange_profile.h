// What differs between the OCSP and the time-stamp HTTP exchanges: the
// texts of the request and reply and the error bits each client reports.
// Both send the URL's path as it stands.
#pragma once
#include <cstdint>

struct ExchangeProfile {
    const char* userAgent;    // "OCSPClient/1.0"
    const char* requestType;  // "application/ocsp-request"
    const char* replyType;    // "application/ocsp-response"
    std::uint32_t urlError, memoryError, connectError, sendError, receiveError, headerError,
        contentTypeError;
    unsigned receiveTimeoutMs;  // bound on a silent, stalling or trickling peer
};

extern const ExchangeProfile kOcspExchange;
extern const ExchangeProfile kTspExchange;
