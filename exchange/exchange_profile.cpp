#include "exchange/exchange_profile.h"

// A responder or authority that has said nothing for this long is given up.
const ExchangeProfile kOcspExchange = {
    "OCSPClient/1.0", "application/ocsp-request", "application/ocsp-response",
    0x2000000, 0x400, 0x10, 0x20, 0x40, 0x800, 0x1000, 30000,
};

const ExchangeProfile kTspExchange = {
    "TSPClient/1.0", "application/timestamp-query", "application/timestamp-reply",
    0x80000, 0x2, 0x8, 0x10, 0x20, 0x40, 0x80, 30000,
};
