// The OCSP protocol tests' common ground: data sets that clean up, requests
// for PKI certificates, responses made by `openssl ocsp` offline, and the
// client's checks run in the order the client API runs them.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "core/der/oid.h"
#include "core/text/text.h"
#include "exchange/generalized_time.h"
#include "ocsp/protocol/certificate_readers.h"
#include "ocsp/protocol/request_builder.h"
#include "ocsp/protocol/responder.h"
#include "ocsp/protocol/response_checks.h"
#include "tests/support/ocsp_openssl_answer.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_util.h"

namespace testsupport::ocsp {

struct Sets {
    DataSets sets;
    Sets() { InitDataSets(&sets); }
    ~Sets() { DeleteDataSets(&sets); }
    Sets(const Sets&) = delete;
    Sets& operator=(const Sets&) = delete;
    DataSets* get() { return &sets; }
};

// A certificate of the test PKI: "signer" or, in its ocsp folder, "ocsp/responder".
inline std::vector<unsigned char> Cert(const std::string& name) { return ReadFile(Pki(name + ".cert.der")); }

inline bool AddTarget(DataSets* request, const std::string& target, const std::string& issuer = "ca")
{
    std::vector<unsigned char> t = Cert(target), i = Cert(issuer);
    return ReadTargetCertificate(t.data(), t.size(), request) && ReadIssuerCertificate(i.data(), i.size(), request);
}

// An unsigned request for the targets already added; empty on failure.
inline std::vector<unsigned char> BuildRequest(DataSets* request, const std::vector<unsigned char>& nonce)
{
    std::vector<unsigned char> out(6144);
    std::size_t length = 0;
    ByteBuffer n{const_cast<unsigned char*>(nonce.data()), nonce.size()};
    if (!BuildOCSPRequest(0, nonce.empty() ? 0 : 1, n, ByteBuffer{nullptr, 0}, 6, kAlgSHA1WithRsa, nullptr, request,
                          out.data(), out.size(), &length, 0, nullptr))
        return {};
    out.resize(length);
    return out;
}

// openssl's check of a signed request's SHA-1 signature over its
// TBSRequest with the PKI entity's public key; the request's nonce goes to
// nonceHex when given.
inline bool OpensslVerifiesRequestSignature(const std::vector<unsigned char>& request, const std::string& entity,
                                            const std::string& name, std::string* nonceHex = nullptr)
{
    Sets parsed;
    ByteBuffer nonce{nullptr, 0};
    int isSigned = 0, algorithm = 0;
    if (ParseOCSPRequest(request.data(), request.size(), parsed.get(), &nonce, &isSigned, &algorithm) != 1)
        return false;
    if (nonceHex) *nonceHex = ToHex(nonce.pointer, nonce.length);
    FreeItems(&nonce, 1);
    const unsigned char* tbs = nullptr;
    const unsigned char* signature = nullptr;
    std::size_t tbsLength = 0, signatureLength = 0;
    const std::string tbsFile = Work(name + ".tbs"), signatureFile = Work(name + ".sig"), key = Work(name + ".pub");
    return isSigned == 1 && algorithm == kAlgSHA1WithRsa &&
           GetDataItem(parsed.get(), kSlotSignedResponse, 1, &tbs, &tbsLength) == 0 &&
           GetDataItem(parsed.get(), kSlotResponseSignature, 1, &signature, &signatureLength) == 0 &&
           WriteFile(tbsFile, tbs, tbsLength) && WriteFile(signatureFile, signature, signatureLength) &&
           openssl_cli::Run("x509 -in " + Pki(entity + ".cert.pem") + " -pubkey -noout -out " + key) == 0 &&
           openssl_cli::Run("dgst -sha1 -verify " + key + " -signature " + signatureFile + " " + tbsFile) == 0;
}

// Where the client's checks stop.
enum class Step {
    Accepted,
    Parse,
    ResponderId,
    NotAuthorised,
    ResponderIssuer,  // 31: not issued by the CA
    ResponderExpired, // 30
    NotFound,
    Outdated,
    Nonce,
    Algorithm,
    Signature,
    Status,
    NotSuccessful,
};

struct Outcome {
    Step step = Step::Parse;
    std::uint32_t certificateStatus = 0;
    int responseStatus = -1;
};

struct CheckOptions {
    const std::vector<unsigned char>* nonce = nullptr;  // compared when given
    const char* tolerance = nullptr;
    std::string now;  // the current time when empty
    std::string issuer = "ca";
};

// The checks in the client API's order, on the request set the request was
// built from.
inline Outcome CheckResponse(const std::vector<unsigned char>& response, DataSets* request,
                             const CheckOptions& options = CheckOptions())
{
    Outcome outcome;
    Sets status;
    int kind = -1, algorithm = -1, hash = -1, raw = -1;
    ByteBuffer copies[4] = {};  // byName, byKey, producedAt, nonce
    struct Release {
        ByteBuffer* items;
        ~Release() { FreeItems(items, 4); }
    } release{copies};
    if (!ParseOCSPResponse(response.data(), response.size(), status.get(), request, &kind, &copies[0], &copies[1],
                           &algorithm, &hash, &raw, &copies[2], &copies[3]))
        return outcome;
    outcome.responseStatus = raw;
    if (raw != 0) {
        outcome.step = Step::NotSuccessful;
        return outcome;
    }
    char now[kGeneralizedTimeTextSize];
    if (options.now.empty()) FormatCurrentGeneralizedTime(now, sizeof now, "Z");
    const std::string current = options.now.empty() ? std::string(now) : options.now;
    int authorised = 0;
    if (!CheckResponderID(kind, copies[0], copies[1], request, 6, &authorised)) {
        outcome.step = Step::ResponderId;
        return outcome;
    }
    if (!authorised) {
        outcome.step = Step::NotAuthorised;
        return outcome;
    }
    std::vector<unsigned char> issuer = Cert(options.issuer);
    const int responder = CheckResponderCertificate(request, issuer.data(), issuer.size(), current.c_str());
    if (responder != kResponderCertOk) {
        outcome.step = responder == kResponderCertExpired ? Step::ResponderExpired : Step::ResponderIssuer;
        return outcome;
    }
    const int match = MatchStatusRecords(request, status.get(), options.tolerance, current.c_str());
    if (match != kMatchOk) {
        outcome.step = match == kMatchOutdated ? Step::Outdated : Step::NotFound;
        return outcome;
    }
    if (options.nonce && !CheckResponseNonce(copies[3], options.nonce->data(), options.nonce->size())) {
        outcome.step = Step::Nonce;
        return outcome;
    }
    if (algorithm != kAlgMD2WithRsa && algorithm != kAlgMD4WithRsa && algorithm != kAlgMD5WithRsa &&
        algorithm != kAlgSHA1WithRsa) {
        outcome.step = Step::Algorithm;
        return outcome;
    }
    if (!VerifyResponseSignature(request, algorithm)) {
        outcome.step = Step::Signature;
        return outcome;
    }
    if (!StatusFromRecord(request, raw, &outcome.certificateStatus)) {
        outcome.step = Step::Status;
        return outcome;
    }
    outcome.step = Step::Accepted;
    return outcome;
}

}  // namespace testsupport::ocsp
