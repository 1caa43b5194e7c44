// Responses made by `openssl ocsp` offline to our own requests, read and
// checked as the client checks them: status, responder identity and
// authorisation, the CA that issued the responder, the match of the
// requested certificate, the nonce, the times and the signature.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/oid.h"
#include "exchange/generalized_time.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/response_checks.h"
#include "tests/support/ocsp_test_util.h"

using namespace testsupport;
using namespace testsupport::ocsp;

namespace {

// Our request for the target (nonce optional) written to a work file.
std::string WriteRequest(DataSets* request, const std::string& target, const std::string& name,
                         const std::vector<unsigned char>& nonce = {})
{
    if (!AddTarget(request, target)) return "";
    std::vector<unsigned char> der = BuildRequest(request, nonce);
    const std::string file = Work(name + ".req.der");
    return !der.empty() && WriteFile(file, der.data(), der.size()) ? file : "";
}

std::string ItemText(const DataSets* sets, std::uint32_t slot, std::uint32_t number)
{
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    if (GetDataItem(sets, slot, number, &data, &length) != 0) return "<none>";
    return std::string(reinterpret_cast<const char*>(data), length);
}

std::string Later(const char* tolerance)
{
    char now[kGeneralizedTimeTextSize], later[kGeneralizedTimeTextSize];
    FormatCurrentGeneralizedTime(now, sizeof now, "Z");
    return AddTimeTolerance(now, tolerance, later, sizeof later, "Z") ? std::string(later) : std::string();
}

struct ResponderCase {
    const char* name;
    const char* target;
    const char* responder;
    const char* options;
    Step step;
    std::uint32_t status;
};

TEST(OcspResponseChecks, ResponsesOfOpensslResponders)
{
    const ResponderCase cases[] = {
        {"good", "signer", "ocsp/responder", "", Step::Accepted, 32},
        {"revoked", "revoked", "ocsp/responder", "", Step::Accepted, 64},
        {"unknown", "recipient", "ocsp/responder", "", Step::Accepted, 128},
        {"by-key", "signer", "ocsp/responder", "-resp_key_id", Step::Accepted, 32},
        {"md5-signed", "signer", "ocsp/responder", "-rmd md5", Step::Accepted, 32},
        // The responder is found by its ID, wherever it stands among the certificates.
        {"signer-not-last", "signer", "ocsp/responder", "", Step::Accepted, 32},
        {"ca-signed", "signer", "ca", "", Step::NotAuthorised, 0},
        {"no-purpose", "signer", "ocsp/noeku", "", Step::NotAuthorised, 0},
        {"second-purpose", "signer", "ocsp/second", "", Step::NotAuthorised, 0},
        {"critical-purpose", "signer", "ocsp/critical", "", Step::NotAuthorised, 0},
        {"other-ca", "signer", "ocsp/otherresp", "", Step::ResponderIssuer, 0},
        {"no-certificates", "signer", "ocsp/responder", "-resp_no_certs", Step::ResponderId, 0},
        {"sha256-signed", "signer", "ocsp/responder", "-rmd sha256", Step::Algorithm, 0},
    };
    for (const ResponderCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sets request;
        const std::string file = WriteRequest(request.get(), c.target, c.name);
        ASSERT_FALSE(file.empty());
        std::string options = c.options;
        if (std::string(c.name) == "signer-not-last")
            options = "-rother " + Pki("ca.cert.pem") + " -rother " + Pki("otherca.cert.pem");
        std::vector<unsigned char> response = OpensslResponse(file, c.responder, options, c.name);
        ASSERT_FALSE(response.empty());
        Outcome outcome = CheckResponse(response, request.get());
        EXPECT_EQ(outcome.step, c.step);
        EXPECT_EQ(outcome.certificateStatus, c.status);
    }
}

TEST(OcspResponseChecks, RevokedResponseKeepsItsTimes)
{
    Sets request;
    const std::string file = WriteRequest(request.get(), "revoked", "revoked-times");
    std::vector<unsigned char> response = OpensslResponse(file, "ocsp/responder", "-ndays 1", "revoked-times");
    ASSERT_EQ(CheckResponse(response, request.get()).step, Step::Accepted);
    EXPECT_EQ(ItemText(request.get(), kSlotRevocationTime, 1), "20240601120000Z");
    EXPECT_EQ(ItemText(request.get(), kSlotThisUpdate, 1).size(), 15u);
    EXPECT_EQ(ItemText(request.get(), kSlotNextUpdate, 1).size(), 15u);  // -ndays 1
    // Absent times are the "EMPTY" marker with its NUL.
    Sets good;
    const std::string goodFile = WriteRequest(good.get(), "signer", "good-times");
    ASSERT_EQ(CheckResponse(OpensslResponse(goodFile, "ocsp/responder", "", "good-times"), good.get()).step,
              Step::Accepted);
    EXPECT_EQ(ItemText(good.get(), kSlotRevocationTime, 1), std::string("EMPTY", 6));
    EXPECT_EQ(ItemText(good.get(), kSlotNextUpdate, 1), std::string("EMPTY", 6));
}

TEST(OcspResponseChecks, StatusRecordsMatchByExactSerialAndSha1Hashes)
{
    // A record for serial 100277 does not answer a request for 1002.
    Sets asked, other;
    ASSERT_FALSE(WriteRequest(asked.get(), "signer", "asked").empty());
    const std::string file = WriteRequest(other.get(), "ocsp/longserial", "longserial");
    std::vector<unsigned char> longer = OpensslResponse(file, "ocsp/responder", "", "longserial");
    ASSERT_FALSE(longer.empty());
    EXPECT_EQ(CheckResponse(longer, other.get()).step, Step::Accepted);
    EXPECT_EQ(CheckResponse(longer, asked.get()).step, Step::NotFound);

    // CertIDs hashed with SHA-256 cannot answer our SHA-1 request.
    const std::string sha256 = Work("sha256.req.der");
    ASSERT_EQ(openssl_cli::Run("ocsp -issuer " + Pki("ca.cert.pem") + " -sha256 -cert " + Pki("signer.cert.pem") +
                               " -no_nonce -reqout " + sha256),
              0);
    EXPECT_EQ(CheckResponse(OpensslResponse(sha256, "ocsp/responder", "", "sha256"), asked.get()).step,
              Step::NotFound);

    // The requested certificate listed second among two records.
    Sets both;
    ASSERT_TRUE(AddTarget(both.get(), "revoked"));
    const std::string pair = WriteRequest(both.get(), "signer", "pair");
    Sets second;
    ASSERT_FALSE(WriteRequest(second.get(), "signer", "second-only").empty());
    Outcome outcome = CheckResponse(OpensslResponse(pair, "ocsp/responder", "", "pair"), second.get());
    EXPECT_EQ(outcome.step, Step::Accepted);
    EXPECT_EQ(outcome.certificateStatus, 32u);
}

TEST(OcspResponseChecks, NonceMustComeBackExactly)
{
    const std::vector<unsigned char> nonce = FromHex("0102030405060708");
    Sets request;
    const std::string file = WriteRequest(request.get(), "signer", "nonce", nonce);
    std::vector<unsigned char> response = OpensslResponse(file, "ocsp/responder", "", "nonce");
    CheckOptions options;
    options.nonce = &nonce;
    EXPECT_EQ(CheckResponse(response, request.get(), options).step, Step::Accepted);

    const std::vector<unsigned char> wrong = FromHex("0102030405060709"), shorter = FromHex("01020304050607");
    options.nonce = &wrong;
    EXPECT_EQ(CheckResponse(response, request.get(), options).step, Step::Nonce);
    options.nonce = &shorter;
    EXPECT_EQ(CheckResponse(response, request.get(), options).step, Step::Nonce);

    // A request without a nonce gets a response without one.
    Sets plain;
    const std::string plainFile = WriteRequest(plain.get(), "signer", "no-nonce");
    options.nonce = &nonce;
    EXPECT_EQ(CheckResponse(OpensslResponse(plainFile, "ocsp/responder", "", "no-nonce"), plain.get(), options).step,
              Step::Nonce);
}

TEST(OcspResponseChecks, TimesAgainstTheClockWithTolerance)
{
    Sets request;
    const std::string file = WriteRequest(request.get(), "signer", "times");
    std::vector<unsigned char> day = OpensslResponse(file, "ocsp/responder", "-ndays 1", "times-day");
    std::vector<unsigned char> minutes = OpensslResponse(file, "ocsp/responder", "-nmin 5", "times-minutes");
    struct {
        const std::vector<unsigned char>* response;
        const char* offset;
        const char* tolerance;
        Step step;
    } cases[] = {
        {&day, "000000", "000500", Step::Accepted},
        {&day, "001000", "000500", Step::Outdated},  // thisUpdate ten minutes old
        {&day, "001000", "001500", Step::Accepted},
        {&minutes, "000300", "000500", Step::Accepted},
        {&minutes, "001000", "001500", Step::Outdated},  // nextUpdate five minutes on has passed
        {&minutes, "001000", nullptr, Step::Accepted},   // no time check: stale is accepted
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.offset) + " " + (c.tolerance ? c.tolerance : "none"));
        CheckOptions options;
        options.tolerance = c.tolerance;
        options.now = Later(c.offset);
        ASSERT_FALSE(options.now.empty());
        EXPECT_EQ(CheckResponse(*c.response, request.get(), options).step, c.step);
    }
}

TEST(OcspResponseChecks, LittleEndianSignatureVerifiesReversed)
{
    Sets request;
    const std::string file = WriteRequest(request.get(), "signer", "endian");
    std::vector<unsigned char> response = OpensslResponse(file, "ocsp/responder", "", "endian");
    ASSERT_EQ(CheckResponse(response, request.get()).step, Step::Accepted);
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(GetDataItem(request.get(), kSlotResponseSignature, 1, &data, &length), 0);
    std::vector<unsigned char> signature(data, data + length);
    ReverseBytes(signature.data(), signature.size());
    ClearDataSet(request.get(), kSlotResponseSignature);
    ASSERT_EQ(AddDataItem(request.get(), kSlotResponseSignature, signature.data(), signature.size()), 0);
    EXPECT_EQ(VerifyResponseSignature(request.get(), kAlgSHA1WithRsa), 1);
    signature[10] ^= 1;
    ClearDataSet(request.get(), kSlotResponseSignature);
    ASSERT_EQ(AddDataItem(request.get(), kSlotResponseSignature, signature.data(), signature.size()), 0);
    EXPECT_EQ(VerifyResponseSignature(request.get(), kAlgSHA1WithRsa), 0);
    // A changed response fails its signature.
    std::vector<unsigned char> tampered = response;
    const std::string der(tampered.begin(), tampered.end());
    const std::size_t serial = der.find(std::string("\x02\x02\x10\x02", 4));
    ASSERT_NE(serial, std::string::npos);
    tampered[serial + 3] = 0x03;  // the record now names 1003
    Sets again;
    ASSERT_TRUE(AddTarget(again.get(), "recipient"));
    ASSERT_FALSE(BuildRequest(again.get(), {}).empty());
    EXPECT_EQ(CheckResponse(tampered, again.get()).step, Step::Signature);
}

TEST(OcspResponseChecks, ReusedRecordReadsOnlyTheLatestResponse)
{
    Sets request;
    const std::string file = WriteRequest(request.get(), "revoked", "reuse");
    // The same certificate good in a second database.
    const std::string index = Work("index-good.txt");
    std::vector<unsigned char> text = ReadFile(Pki("ocsp/index.txt"));
    std::string lines(text.begin(), text.end());
    const std::size_t r = lines.find("R\t491231235959Z\t240601120000Z,keyCompromise\t");
    ASSERT_NE(r, std::string::npos);
    lines.replace(r, std::string("R\t491231235959Z\t240601120000Z,keyCompromise\t").size(), "V\t491231235959Z\t\t");
    ASSERT_TRUE(WriteFile(index, lines.data(), lines.size()));
    const std::string good = Work("reuse-good.der");
    ASSERT_EQ(openssl_cli::Run("ocsp -reqin " + file + " -index " + index + " -CA " + Pki("ca.cert.pem") +
                               " -rsigner " + Pki("ocsp/responder.cert.pem") + " -rkey " +
                               Pki("ocsp/responder.key.pem") + " -rmd sha1 -respout " + good),
              0);

    EXPECT_EQ(CheckResponse(OpensslResponse(file, "ocsp/responder", "", "reuse"), request.get()).certificateStatus,
              64u);
    EXPECT_EQ(CheckResponse(ReadFile(good), request.get()).certificateStatus, 32u);
    std::uint32_t count = 0;
    CountDataItems(request.get(), kSlotStatus, &count);
    EXPECT_EQ(count, 1u);
    // A response that fails to parse leaves nothing to read.
    const std::vector<unsigned char> junk = {0x30, 0x03, 0x0A, 0x01};
    EXPECT_EQ(CheckResponse(junk, request.get()).step, Step::Parse);
    std::uint32_t left = 0;
    for (std::uint32_t slot : {kSlotStatus, kSlotSignedResponse, kSlotResponseCertificates, kSlotResponderCertificate}) {
        CountDataItems(request.get(), slot, &count);
        left += count;
    }
    EXPECT_EQ(left, 0u);
}

TEST(OcspResponseChecks, ResponseBeyondTheWorkBufferIsRefused)
{
    Sets request;
    const std::string file = WriteRequest(request.get(), "signer", "large");
    std::vector<unsigned char> bundle;
    for (const char* name : {"ca", "otherca", "signer", "recipient", "revoked", "ocsp", "tsa", "other"}) {
        std::vector<unsigned char> pem = ReadFile(Pki(std::string(name) + ".cert.pem"));
        bundle.insert(bundle.end(), pem.begin(), pem.end());
    }
    ASSERT_TRUE(WriteFile(Work("bundle.pem"), bundle.data(), bundle.size()));
    std::vector<unsigned char> response =
        OpensslResponse(file, "ocsp/responder", "-rother " + Work("bundle.pem"), "large");
    ASSERT_GT(response.size(), 6144u);
    EXPECT_EQ(CheckResponse(response, request.get()).step, Step::Parse);
}

TEST(OcspResponseChecks, UnsuccessfulResponseStatusIsReadAlone)
{
    Sets request;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    Outcome outcome = CheckResponse({0x30, 0x03, 0x0A, 0x01, 0x03}, request.get());  // tryLater
    EXPECT_EQ(outcome.step, Step::NotSuccessful);
    EXPECT_EQ(outcome.responseStatus, 3);
    // The status is one byte, and a successful status needs its response.
    EXPECT_EQ(CheckResponse({0x30, 0x04, 0x0A, 0x02, 0x00, 0x03}, request.get()).step, Step::Parse);
    EXPECT_EQ(CheckResponse({0x30, 0x03, 0x0A, 0x01, 0x00}, request.get()).step, Step::Parse);
    std::uint32_t mapped = 0;
    for (auto [raw, want] : {std::pair{0, 0u}, {1, 1u}, {2, 2u}, {3, 4u}, {4, 170u}, {5, 8u}, {6, 16u}, {7, 170u}}) {
        MapResponseStatus(raw, &mapped);
        EXPECT_EQ(mapped, want) << raw;
    }
}

TEST(OcspResponseChecks, ResponderCertificateIssuerAndValidity)
{
    Sets request;
    const std::string file = WriteRequest(request.get(), "signer", "issuer");
    ASSERT_EQ(CheckResponse(OpensslResponse(file, "ocsp/responder", "", "issuer"), request.get()).step,
              Step::Accepted);
    std::vector<unsigned char> ca = Cert("ca"), other = Cert("otherca");
    EXPECT_EQ(CheckResponderCertificate(request.get(), ca.data(), ca.size(), "20300101000000Z"), kResponderCertOk);
    EXPECT_EQ(CheckResponderCertificate(request.get(), other.data(), other.size(), "20300101000000Z"),
              kResponderCertNotIssued);
    EXPECT_EQ(CheckResponderCertificate(request.get(), ca.data(), ca.size(), "20200101000000Z"),
              kResponderCertExpired);
    EXPECT_EQ(CheckResponderCertificate(request.get(), ca.data(), ca.size(), "20490101000000Z"),
              kResponderCertExpired);
    EXPECT_EQ(CheckResponderCertificate(request.get(), ca.data(), 30, "20300101000000Z"), kResponderCertUnreadable);

}

TEST(OcspResponseChecks, ResponderExtensions)
{
    struct {
        const char* responder;
        int cA, signing, noCheck, points;
        const char* urls;
    } cases[] = {
        {"ocsp/responder", 0, 1, 0, 0, ""},
        {"ca", 1, 0, 0, 0, ""},
        {"ocsp/second", 0, 1, 0, 0, ""},  // the purpose anywhere in the list
        {"ocsp/nocheck", 0, 1, 1, 1, "http://127.0.0.1/ca.crl http://127.0.0.1/second.crl "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.responder);
        Sets request;
        const std::string file = WriteRequest(request.get(), "signer", "extensions");
        ASSERT_NE(CheckResponse(OpensslResponse(file, c.responder, "", "extensions"), request.get()).step,
                  Step::ResponderId);
        int cA = -1, signing = -1, noCheck = -1, points = -1;
        ByteBuffer urls[kOCSPMaxCrlPoints];
        ASSERT_EQ(ReadResponderExtensions(request.get(), &cA, &signing, &noCheck, &points, urls), 0);
        EXPECT_EQ(cA, c.cA);
        EXPECT_EQ(signing, c.signing);
        EXPECT_EQ(noCheck, c.noCheck);
        EXPECT_EQ(points, c.points);
        std::string listed;
        for (const ByteBuffer& url : urls)
            if (url.pointer) listed += std::string(reinterpret_cast<char*>(url.pointer), url.length) + " ";
        EXPECT_EQ(listed, c.urls);
        FreeItems(urls, kOCSPMaxCrlPoints);
    }
}

}  // namespace
