// One OCSP query through Dunmere's exports, in the order the signing
// component makes it, with everything it hands out recorded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ocsp/Dunmere.h"

namespace dunmere_test {

using Bytes = std::vector<unsigned char>;

struct QueryOptions {
    std::string url;
    int library = OCSP_LIB_CRYPTOAPI;
    bool byExtensions = false;  // _DecodeOCSPResponsev2
};

struct QueryOutcome {
    int encoded = -1, exchanged = -1, decoded = -1;
    std::uint32_t error = 0;
    std::int32_t status = -1;
    std::string revocationDate;
    std::string urlUsed;
    Bytes response;
};

inline QueryOutcome Query(const QueryOptions& options, const Bytes& target, const Bytes& issuer)
{
    QueryOutcome out;
    OCSPData record;
    if (_InitOCSPData(&record) != 0) return out;
    _SetOCSPClient(2, 1, 1, 0, options.url.c_str(), static_cast<int>(options.url.size()), nullptr, &record, 0, 0);
    _SetOCSPTarget(target.data(), static_cast<std::uint32_t>(target.size()), &record);
    _SetOCSPIssuer(issuer.data(), static_cast<std::uint32_t>(issuer.size()), &record);
    _SetCryptographicLibrary(&record, options.library);
    _SetResponderURL(target.data(), static_cast<std::uint32_t>(target.size()), &record);
    char* url = _GetResponderURLString(&record);
    out.urlUsed = url ? url : "";
    _DeleteURL(url);
    ByteBuffer request = {nullptr, 0};
    ByteBuffer response = {nullptr, 0};
    out.encoded = _EncodeOCSPRequest(&record, &request);
    if (out.encoded == 0) {
        out.exchanged = _ExecuteOCSPTransaction(&request, &response, &record);
        _DestroyOCSPRequest(&request);
    }
    if (out.exchanged == 0) {
        out.response.assign(response.pointer, response.pointer + response.length);
        out.decoded = options.byExtensions
                          ? _DecodeOCSPResponsev2(&response, &record, issuer.data(), static_cast<std::uint32_t>(issuer.size()))
                          : _DecodeOCSPResponse(&response, &record, issuer.data(), static_cast<std::uint32_t>(issuer.size()));
        _DestroyOCSPResponse(&response);
    }
    if (out.decoded == 0) {
        _GetOCSPStatus(&record, &out.status);
        if (out.status == OCSP_CERT_REVOKED) {
            char* date = _GetRevocationDate(&record);
            out.revocationDate = date ? date : "";
            _DeleteRevocationDate(date);
        }
    }
    out.error = _GetOCSPError(&record);
    _DestroyOCSPData(&record);
    return out;
}

}  // namespace dunmere_test
