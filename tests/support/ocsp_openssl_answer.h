// `openssl ocsp` offline, for the OCSP tests natively and under Wine alike:
// its answers to a request file and its reading of a request. File names are
// host paths.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/openssl_cli.h"
#include "tests/support/test_util.h"

namespace testsupport::ocsp {

inline std::string Work(const std::string& file) { return WorkDir() + "/" + file; }

// openssl ocsp answers the request file as the responder NAME (a PKI path
// without .cert.pem, such as "ocsp/responder" or "ca", or a whole path
// without it) from the OCSP index; extra: further options (no -ndays: no
// nextUpdate). The response's bytes, empty on failure.
inline std::vector<unsigned char> OpensslResponse(const std::string& requestFile, const std::string& responder,
                                                  const std::string& extra = "", const std::string& name = "resp")
{
    const std::string out = Work(name + ".der");
    std::remove(out.c_str());
    const std::string signer = !responder.empty() && responder[0] == '/' ? responder : Pki(responder);
    const std::string line = "ocsp -reqin " + requestFile + " -index " + Pki("ocsp/index.txt") + " -CA " +
                             Pki("ca.cert.pem") + " -rsigner " + signer + ".cert.pem -rkey " + signer +
                             ".key.pem -rmd sha1 " + extra + " -respout " + out;
    if (openssl_cli::Run(line) != 0) return {};
    return ReadFile(out);
}

// openssl's reading of a request, or "" when it refuses it.
inline std::string RequestText(const std::vector<unsigned char>& request, const std::string& name)
{
    const std::string in = Work(name + ".der"), out = Work(name + ".txt");
    std::remove(out.c_str());
    if (!WriteFile(in, request.data(), request.size())) return "";
    if (openssl_cli::Run("ocsp -reqin " + in + " -req_text -out " + out) != 0) return "";
    const std::vector<unsigned char> text = ReadFile(out);
    return std::string(text.begin(), text.end());
}

}  // namespace testsupport::ocsp
