// The responder side: openssl's requests read, and responses we build and
// sign that openssl verifies; with it, status records whose times the
// client must refuse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/oid.h"
#include "exchange/generalized_time.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/request_builder.h"
#include "ocsp/protocol/responder.h"
#include "ocsp/protocol/response_checks.h"
#include "tests/support/ocsp_test_util.h"

using namespace testsupport;
using namespace testsupport::ocsp;

namespace {

std::string Now(const char* later = "000000")
{
    char now[kGeneralizedTimeTextSize], sum[kGeneralizedTimeTextSize];
    FormatCurrentGeneralizedTime(now, sizeof now, "Z");
    return AddTimeTolerance(now, later, sum, sizeof sum, "Z") ? std::string(sum) : std::string();
}

void AddText(DataSets* sets, std::uint32_t slot, const std::string& text, bool withNul = false)
{
    ASSERT_EQ(AddDataItem(sets, slot, text.data(), text.size() + (withNul ? 1 : 0)), 0);
}

// A status record per requested position (slots 2-4 of the request set).
void AddRecords(DataSets* status, const DataSets* request, const std::vector<std::string>& digits,
                const std::string& thisUpdate, const std::string& nextUpdate)
{
    for (std::uint32_t n = 1; n <= digits.size(); ++n) {
        for (std::uint32_t slot : {kSlotTargetSerial, kSlotNameHash, kSlotKeyHash}) {
            const unsigned char* data = nullptr;
            std::size_t length = 0;
            ASSERT_EQ(GetDataItem(request, slot, n, &data, &length), 0);
            ASSERT_EQ(AddDataItem(status, slot, data, length), 0);  // the record slots share the numbers
        }
        AddText(status, kSlotRecordStatus, digits[n - 1]);
        AddText(status, kSlotRecordThisUpdate, thisUpdate);
        AddText(status, kSlotRecordNextUpdate, nextUpdate, nextUpdate == "EMPTY");
        if (digits[n - 1] == "1") {
            AddText(status, kSlotRecordRevocationTime, "20240601120000Z");
        } else {
            AddText(status, kSlotRecordRevocationTime, "EMPTY", true);
        }
    }
}

struct Signer {
    Sets sets;
    ByteBuffer name{nullptr, 0};
    Signer()
    {
        std::vector<unsigned char> key = ReadFile(Pki("ocsp.key.p8e.der")), cert = Cert("ocsp");
        AddDataItem(sets.get(), kSlotUserPrivateKey, key.data(), key.size());
        AddDataItem(sets.get(), kSlotUserPassword, "tavomir", 7);
        AddDataItem(sets.get(), kSlotUserCertificates, cert.data(), cert.size());
        ReadCertificateSubject(cert.data(), cert.size(), &name);
    }
    ~Signer() { FreeItems(&name, 1); }
};

TEST(OcspResponder, OpensslVerifiesOurSignedResponse)
{
    const std::string requestFile = Work("peer.req.der");
    ASSERT_EQ(openssl_cli::Run("ocsp -issuer " + Pki("ca.cert.pem") + " -cert " + Pki("signer.cert.pem") + " -cert " +
                               Pki("revoked.cert.pem") + " -reqout " + requestFile),
              0);
    std::vector<unsigned char> requestDer = ReadFile(requestFile);
    Sets request, status;
    ByteBuffer nonce{nullptr, 0};
    int isSigned = -1, algorithm = 0;
    ASSERT_EQ(ParseOCSPRequest(requestDer.data(), requestDer.size(), request.get(), &nonce, &isSigned, &algorithm), 1);
    EXPECT_EQ(isSigned, 0);
    EXPECT_EQ(nonce.length, 16u);  // openssl's default nonce
    AddRecords(status.get(), request.get(), {"0", "1"}, Now(), "EMPTY");

    Signer signer;
    std::vector<unsigned char> out(6144);
    std::size_t length = 0;
    ASSERT_EQ(BuildOCSPResponse(out.data(), out.size(), &length, signer.sets.get(), status.get(), 0, signer.name,
                                kResponderByName, 6, kAlgSHA1WithRsa, 0, SignWithStoredKey, nonce),
              kBuildResponseOk);
    FreeItems(&nonce, 1);
    out.resize(length);
    const std::string responseFile = Work("ours.resp.der"), text = Work("ours.resp.txt");
    ASSERT_TRUE(WriteFile(responseFile, out.data(), out.size()));
    // Signature, responder authorisation and the nonce, by openssl.
    EXPECT_EQ(openssl_cli::Run("ocsp -reqin " + requestFile + " -respin " + responseFile + " -CAfile " +
                               Pki("ca.cert.pem") + " -out " + text),
              0);
    ASSERT_EQ(openssl_cli::Run("ocsp -respin " + responseFile + " -issuer " + Pki("ca.cert.pem") + " -cert " +
                               Pki("signer.cert.pem") + " -cert " + Pki("revoked.cert.pem") + " -no_nonce -CAfile " +
                               Pki("ca.cert.pem") + " -out " + text),
              0);
    std::vector<unsigned char> said = ReadFile(text);
    const std::string words(said.begin(), said.end());
    EXPECT_NE(words.find("signer.cert.pem: good"), std::string::npos) << words;
    EXPECT_NE(words.find("revoked.cert.pem: revoked"), std::string::npos) << words;

    // And our client takes it.
    Sets client;
    ASSERT_TRUE(AddTarget(client.get(), "revoked"));
    ASSERT_FALSE(BuildRequest(client.get(), {}).empty());
    Outcome outcome = CheckResponse(out, client.get());
    EXPECT_EQ(outcome.step, Step::Accepted);
    EXPECT_EQ(outcome.certificateStatus, 64u);
}

TEST(OcspResponder, RefusesWhatItCannotSign)
{
    Sets request, good, badThis, badRevoked;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    ASSERT_FALSE(BuildRequest(request.get(), {}).empty());
    AddRecords(good.get(), request.get(), {"0"}, Now(), "EMPTY");
    AddRecords(badThis.get(), request.get(), {"0"}, "20031301000000Z", "EMPTY");
    AddRecords(badRevoked.get(), request.get(), {"1"}, Now(), "EMPTY");
    ClearDataSet(badRevoked.get(), kSlotRecordRevocationTime);
    AddText(badRevoked.get(), kSlotRecordRevocationTime, "EMPTY", true);
    Signer signer;
    std::vector<unsigned char> out(6144);
    std::size_t length = 0;
    const ByteBuffer none{nullptr, 0};
    auto build = [&](const Sets& records, std::uint32_t digest, int algorithm, std::size_t size) {
        return BuildOCSPResponse(out.data(), size, &length, signer.sets.get(), &records.sets, 0, signer.name,
                                 kResponderByName, digest, algorithm, 0, SignWithStoredKey, none);
    };
    EXPECT_EQ(build(good, 6, kAlgSHA1WithRsa, out.size()), kBuildResponseOk);
    EXPECT_EQ(build(good, 5, kAlgSHA1WithRsa, out.size()), 0);
    EXPECT_EQ(build(good, 6, kAlgMD5WithRsa, out.size()), 0);
    EXPECT_EQ(build(badThis, 6, kAlgSHA1WithRsa, out.size()), kBuildResponseSingle);
    EXPECT_EQ(build(badRevoked, 6, kAlgSHA1WithRsa, out.size()), kBuildResponseSingle);
    EXPECT_EQ(build(good, 6, kAlgSHA1WithRsa, 100), kBuildResponseCopy);
    // A bare status needs no records and no key.
    ASSERT_EQ(BuildOCSPResponse(out.data(), out.size(), &length, nullptr, nullptr, 3, none, kResponderByName, 6,
                                kAlgSHA1WithRsa, 0, nullptr, none),
              kBuildResponseOk);
    EXPECT_EQ(ToHex(out.data(), length), "30030a0103");
}

TEST(OcspStatusMatch, RecordTimesAgainstTheClock)
{
    Sets request;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    ASSERT_FALSE(BuildRequest(request.get(), {}).empty());
    const std::string now = Now();
    struct {
        const char* name;
        std::string thisUpdate, nextUpdate;
        const char* tolerance;
        int result;
    } cases[] = {
        {"current", now, "EMPTY", "000500", kMatchOk},
        {"from the future", Now("001000"), "EMPTY", "000500", kMatchOutdated},
        {"future within tolerance", Now("000400"), "EMPTY", "000500", kMatchOk},
        {"next update one second ago", now, "", "000500", kMatchOutdated},
        {"next update ahead", now, Now("000001"), "000500", kMatchOk},
        {"no time check", "20100101000000Z", "20100102000000Z", nullptr, kMatchOk},
        {"invalid thisUpdate", "20030229120000Z", "EMPTY", nullptr, kMatchFailed},
        {"invalid nextUpdate", now, "2010", nullptr, kMatchFailed},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string clock = now;
        if (c.nextUpdate.empty()) {  // nextUpdate = now, the clock a second later
            c.nextUpdate = now;
            clock = Now("000001");
        }
        Sets status;
        AddRecords(status.get(), request.get(), {"0"}, c.thisUpdate, c.nextUpdate);
        EXPECT_EQ(MatchStatusRecords(request.get(), status.get(), c.tolerance, clock.c_str()), c.result);
    }
}

}  // namespace
