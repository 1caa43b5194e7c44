// Time-stamp tokens from the openssl command line as the independent TSA:
// `openssl ts -reply` with the test PKI's TSA, and CMS signatures over a
// TSTInfo for signers and content types a TSA would refuse.
#pragma once
#include <string>
#include <vector>

#include "tests/support/openssl_cli.h"
#include "tests/support/test_util.h"

namespace testsupport::tsa {

inline std::string Work(const std::string& name) { return WorkDir() + "/tsa-" + name; }

// The ts configuration for the test TSA signing with the digest.
inline std::string Config(const std::string& signerDigest)
{
    const std::string path = Work(signerDigest + ".cnf"), serial = Work("serial");
    const std::string text = "[ tsa ]\ndefault_tsa = tsa_config\n[ tsa_config ]\nserial = " + serial +
                             "\ncrypto_device = builtin\nsigner_cert = " + Pki("tsa.cert.pem") +
                             "\nsigner_key = " + Pki("tsa.key.pem") + "\nsigner_digest = " + signerDigest +
                             "\ndefault_policy = 1.2.3.4.1\ndigests = sha1, sha256\n"
                             "ess_cert_id_chain = no\ness_cert_id_alg = sha1\n";
    WriteFile(serial, "01\n", 3);
    WriteFile(path, text.data(), text.size());
    return path;
}

// A token for the data over a request with its certificate asked for;
// empty when openssl fails.
inline std::vector<unsigned char> Token(const std::string& name, const std::string& data,
                                        const std::string& signerDigest = "sha1")
{
    const std::string dataFile = Work(name + ".txt"), query = Work(name + ".tsq"), token = Work(name + ".tsr");
    WriteFile(dataFile, data.data(), data.size());
    std::remove(token.c_str());
    if (openssl_cli::Run("ts -query -data " + dataFile + " -sha256 -cert -out " + query) != 0 ||
        openssl_cli::Run("ts -reply -config " + Config(signerDigest) + " -queryfile " + query + " -token_out -out " +
                         token) != 0)
        return {};
    return ReadFile(token);
}

// The token's TSTInfo as openssl reads it out.
inline std::vector<unsigned char> TSTInfoOf(const std::string& name, const std::vector<unsigned char>& token)
{
    const std::string in = Work(name + ".tok"), out = Work(name + ".tst");
    WriteFile(in, token.data(), token.size());
    std::remove(out.c_str());
    if (openssl_cli::Run("cms -verify -noverify -inform DER -binary -in " + in + " -out " + out) != 0) return {};
    return ReadFile(out);
}

// The TSTInfo signed as CMS by a PKI entity ("signer", "tsa"), with
// id-ct-TSTInfo as content type or, when tstInfoType is false, id-data.
inline std::vector<unsigned char> SignedTSTInfo(const std::string& name, const std::vector<unsigned char>& tstInfo,
                                                const std::string& entity, bool tstInfoType)
{
    const std::string in = Work(name + ".tst"), out = Work(name + ".p7");
    WriteFile(in, tstInfo.data(), tstInfo.size());
    std::remove(out.c_str());
    const std::string type = tstInfoType ? " -econtent_type 1.2.840.113549.1.9.16.1.4" : "";
    if (openssl_cli::Run("cms -sign -binary -nodetach -md sha1 -outform DER -in " + in + type + " -signer " +
                         Pki(entity + ".cert.pem") + " -inkey " + Pki(entity + ".key.pem") + " -out " + out) != 0)
        return {};
    return ReadFile(out);
}

// Where the TSTInfo sits inside the token (its first occurrence).
inline std::size_t Find(const std::vector<unsigned char>& haystack, const std::vector<unsigned char>& needle)
{
    if (needle.empty() || needle.size() > haystack.size()) return std::string::npos;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i)
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + static_cast<long>(i))) return i;
    return std::string::npos;
}

}  // namespace testsupport::tsa
