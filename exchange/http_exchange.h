// One HTTP/1.0 POST exchange with an OCSP responder or a time-stamp
// authority: one connection, one request, one reply. Windows only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "exchange/exchange_profile.h"

// Posts the request to the URL and hands out the reply's body. 0, or the
// profile's one bit for the first failure: URL, memory, connection, send,
// receive (nothing, too much, or not in time), header or content type.
std::uint32_t PostHttpExchange(const char* url, const unsigned char* request, std::size_t length,
                               const ExchangeProfile& profile, std::vector<unsigned char>& body);
