// One OCSP query through Dunmere's exports, in the order the signing
// component makes it, with everything it hands out recorded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ocsp/Dunmere.h"
#include "tests/support/host_openssl.h"
#include "tests/support/test_util.h"

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

// The PKI's signer certificate made again by the CA (serial 1002, which the
// responder knows as good) with an authority-information-access extension
// naming url as its OCSP location. The DER file's path; empty on failure.
inline std::string SignerWithLocation(const std::string& url, const std::string& name)
{
    using testsupport::Pki;
    const std::string work = testsupport::WorkDir() + "/" + name;
    const std::string config = "[ aia ]\nauthorityInfoAccess = OCSP;URI:" + url + "\n";
    const std::string csr = work + ".csr", out = work + ".cert.der", extensions = work + ".cnf";
    if (!testsupport::WriteFile(extensions, config.data(), config.size()) ||
        testsupport::openssl::Run("x509 -x509toreq -in " + Pki("signer.cert.pem") + " -signkey " +
                                  Pki("signer.key.pem") + " -out " + csr) != 0 ||
        testsupport::openssl::Run("x509 -req -in " + csr + " -CA " + Pki("ca.cert.pem") + " -CAkey " +
                                  Pki("ca.key.pem") + " -set_serial 0x1002 -days 30 -sha1 -extfile " + extensions +
                                  " -extensions aia -outform DER -out " + out) != 0)
        return "";
    return out;
}

}  // namespace dunmere_test
