// One time stamp through Halvery's exports, in the order the signing
// component makes it, with everything it hands out recorded.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_util.h"
#include "tsp/Halvery.h"

namespace halvery_test {

using Bytes = std::vector<unsigned char>;

struct StampOptions {
    std::string url;
    Bytes data = Bytes{'t', 'i', 'm', 'e', ' ', 's', 't', 'a', 'm', 'p'};
    bool nonce = true;
    const char* delay = nullptr;  // _SetTSPDelay when set
    std::string ca = "ca.cert.der";  // the PKI's file the signer must come from
};

struct StampOutcome {
    int encoded = -1, exchanged = -1, decoded = -1, granted = -1, status = -1, failureInfo = -2, size = -1,
        copied = -1;
    std::uint32_t error = 0;
    Bytes hash, nonce, token;
    DWORD milliseconds = 0;
};

inline StampOutcome Stamp(const StampOptions& options)
{
    StampOutcome out;
    TSPData record;
    _InitTSPData(&record);
    _SetTimeStampData(&record, options.data.data(), static_cast<std::uint32_t>(options.data.size()));
    out.hash.assign(record.hash, record.hash + record.hashLength);
    if (options.nonce) {
        _SetNonce(&record);
        out.nonce.assign(record.nonce, record.nonce + record.nonceLength);
    }
    _SetTSPServerURL(&record, options.url.c_str());
    if (options.delay) _SetTSPDelay(&record, options.delay);

    ByteBuffer request = {nullptr, 0}, response = {nullptr, 0};
    const DWORD started = GetTickCount();
    out.encoded = _EncodeTSPRequest(&record, &request);
    if (out.encoded == 0) {
        out.exchanged = _TSPTransactionHTTP(&request, &response, &record);
        _DestroyTSPRequest(&request);
    }
    out.milliseconds = GetTickCount() - started;
    if (out.exchanged == 0) {
        Bytes ca = testsupport::ReadFile(testsupport::Pki(options.ca));
        ByteBuffer caBuffer = {ca.data(), ca.size()};
        out.decoded = _DecodeTSPResponse(&record, &response, &caBuffer);
        _DestroyTSPResponse(&response);
    }
    out.granted = _TimeStampGranted(&record);
    out.status = _GetTSPResponseStatus(&record);
    out.failureInfo = _GetTSPResponseFailureInfo(&record);
    out.size = _GetTimeStampSize(&record);
    out.token.assign(out.size > 0 ? out.size : 1, 0);
    out.copied = _CopyTimeStamp(&record, out.token.data());
    out.token.resize(out.copied == 0 ? out.size : 0);
    out.error = _GetTSPErrorCode(&record);
    _DestroyTSPData(&record);
    return out;
}

// A record being stamped by hand, step by step, released when it goes.
struct HandStamp {
    TSPData record;
    Bytes ca = testsupport::ReadFile(testsupport::Pki("ca.cert.der"));
    ByteBuffer caBuffer = {ca.data(), ca.size()};

    explicit HandStamp(const char* data)
    {
        _InitTSPData(&record);
        _SetTimeStampData(&record, reinterpret_cast<const unsigned char*>(data),
                          static_cast<std::uint32_t>(std::char_traits<char>::length(data)));
    }
    ~HandStamp() { _DestroyTSPData(&record); }
    HandStamp(const HandStamp&) = delete;
    HandStamp& operator=(const HandStamp&) = delete;

    // Encodes the request and posts it to the url: 0 and the response
    // decoded against the CA (result in *decoded), or the failing step's result.
    int Exchange(const std::string& url, int* decoded)
    {
        *decoded = -1;
        if (_SetTSPServerURL(&record, url.c_str()) != 0) return -1;
        ByteBuffer request = {nullptr, 0}, response = {nullptr, 0};
        if (_EncodeTSPRequest(&record, &request) != 0) return -1;
        const int exchanged = _TSPTransactionHTTP(&request, &response, &record);
        _DestroyTSPRequest(&request);
        if (request.pointer != nullptr) return -2;
        if (exchanged != 0) return exchanged;
        *decoded = _DecodeTSPResponse(&record, &response, &caBuffer);
        _DestroyTSPResponse(&response);
        return response.pointer == nullptr ? 0 : -2;
    }
};

// A text the library handed out, taken over and released with free().
inline std::string TakeText(char* text)
{
    std::string copy = text ? text : "<null>";
    std::free(text);
    return copy;
}

}  // namespace halvery_test
