// Hostile answers through _DecodeOCSPResponse and _DecodeOCSPResponsev2:
// `openssl ocsp` answers our request, then the test changes it as an
// attacker would (a nonce, the signature, the times, signed again with the
// responder's key so that only the change is wrong), answers for another
// request, or signs with a key that may not answer. None may leave "good".
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ocsp/Dunmere.h"
#include "tests/dunmere/answer_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/test_util.h"

namespace {

using dunmere_test::Bytes;
using dunmere_test::OpensslAnswer;
using dunmere_test::RecordSettings;
using dunmere_test::TestRecord;
using dunmere_test::UtcTime;
using testsupport::Pki;

constexpr std::uint32_t kNoBit = 0xFFFFFFFFu;  // result 1, no error bit of its own
const char kTolerance[] = "000500";

enum class Change {
    None,
    Nonce,        // a bit of the nonce flipped
    Replay,       // the answer to an earlier request for the same certificate
    Signature,    // a bit of the signature flipped
    OtherSerial,  // the answer to a request for another certificate
    SignedAgain,  // the times below rewritten (or none), signed again
};

struct TimeChange {
    std::size_t index;  // 0 producedAt, 1 thisUpdate, 2 nextUpdate
    long seconds;       // from now
};

struct HostileCase {
    const char* what;
    std::string responder;  // PKI path or whole path, without .cert.pem
    const char* extra;      // openssl ocsp options
    Change change;
    std::vector<TimeChange> times;
    bool timeCheck;
    std::uint32_t v1, v2;   // the error bit of each decode; 0: good
};

// Certificates an attacker makes: a self-signed look-alike of the CA (its
// name, cA true, a key of its own) and a self-signed responder with the
// delegated responder's name and the OCSP-signing purpose.
std::string Forged(const std::string& name, const std::string& model, const std::string& extensions)
{
    const std::string base = testsupport::WorkDir() + "/forged-" + name;
    const std::string config = base + ".cnf", body = "[ forged ]\n" + extensions + "\n";
    const bool made =
        testsupport::WriteFile(config, body.data(), body.size()) &&
        testsupport::openssl::Run("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out " + base + ".key.pem") ==
            0 &&
        testsupport::openssl::Run("x509 -x509toreq -in " + Pki(model + ".cert.pem") + " -signkey " + base +
                                  ".key.pem -out " + base + ".csr") == 0 &&
        testsupport::openssl::Run("x509 -req -in " + base + ".csr -signkey " + base + ".key.pem -days 30 -sha1 -extfile " +
                                  config + " -extensions forged -out " + base + ".cert.pem") == 0;
    return made ? base : "";
}

std::string SigningKey(const std::string& responder)
{
    return (!responder.empty() && responder[0] == '/' ? responder : Pki(responder)) + ".key.pem";
}

// The answer the case gives to the record.
Bytes HostileAnswer(const HostileCase& c, TestRecord& record, const RecordSettings& settings)
{
    RecordSettings otherSettings = settings;
    if (c.change == Change::OtherSerial) otherSettings.target = "revoked.cert.der";
    TestRecord other(otherSettings);
    const bool elsewhere = c.change == Change::Replay || c.change == Change::OtherSerial;
    Bytes answer = OpensslAnswer(elsewhere ? other.request : record.request, c.responder, c.extra, "hostile");
    if (answer.empty()) return answer;
    dunmere_test::AnswerParts parts;
    switch (c.change) {
    case Change::Nonce:
        if (!dunmere_test::FlipWithin(answer, record.record.nonce, sizeof record.record.nonce)) return {};
        break;
    case Change::Signature:
        if (!dunmere_test::LocateParts(answer, &parts)) return {};
        answer[parts.signature + parts.signatureLength - 1] ^= 1;
        break;
    case Change::SignedAgain:
        for (const TimeChange& time : c.times)
            if (!dunmere_test::SetTime(answer, time.index, UtcTime(time.seconds))) return {};
        if (!dunmere_test::SignAgain(answer, SigningKey(c.responder), "hostile")) return {};
        break;
    default:
        break;
    }
    return answer;
}

class HostileAnswers : public ::testing::TestWithParam<int> {};

TEST_P(HostileAnswers, NeverGood)
{
    ASSERT_TRUE(testsupport::openssl::Available());
    const std::string lookalike = Forged("ca", "ca", "basicConstraints = critical, CA:TRUE");
    const std::string selfMade = Forged("responder", "ocsp/responder", "extendedKeyUsage = OCSPSigning");
    ASSERT_FALSE(lookalike.empty());
    ASSERT_FALSE(selfMade.empty());
    // No-check lets v2 take the delegated responder without a revocation rule.
    const std::string responder = "ocsp/nocheck";
    const std::uint32_t kStale = OCSP_ERR_PRODUCED_AT, kOutdated = OCSP_ERR_THIS_UPDATE;
    const HostileCase cases[] = {
        // Answers as made, and made again unchanged: good.
        {"as answered", responder, "", Change::None, {}, false, 0, 0},
        {"as answered, the time check on", responder, "-ndays 1", Change::None, {}, true, 0, 0},
        {"signed again unchanged", responder, "-ndays 1", Change::SignedAgain, {}, true, 0, 0},
        {"stale times, the time check off", responder, "", Change::SignedAgain, {{0, -7200}, {1, -7200}}, false, 0, 0},

        {"nonce changed", responder, "", Change::Nonce, {}, false, OCSP_ERR_NONCE_MISMATCH, OCSP_ERR_NONCE_MISMATCH},
        {"the answer to an earlier request", responder, "", Change::Replay, {}, false, OCSP_ERR_NONCE_MISMATCH,
         OCSP_ERR_NONCE_MISMATCH},
        {"signature broken", responder, "", Change::Signature, {}, false, OCSP_ERR_SIGNATURE, OCSP_ERR_SIGNATURE},
        {"the answer for another serial", responder, "", Change::OtherSerial, {}, false, OCSP_ERR_STATUS_NOT_FOUND,
         OCSP_ERR_STATUS_NOT_FOUND},
        {"signed by a key without OCSP signing", "ocsp/noeku", "", Change::None, {}, false, OCSP_ERR_NOT_AUTHORIZED,
         kNoBit},
        {"signed by a look-alike of the CA", lookalike, "", Change::None, {}, false, OCSP_ERR_NOT_AUTHORIZED,
         OCSP_ERR_NOT_AUTHORIZED},
        {"a self-made responder of the delegated one's name", selfMade, "", Change::None, {}, false,
         OCSP_ERR_RESPONDER_NOT_ISSUED, OCSP_ERR_RESPONDER_NOT_ISSUED},
        {"v2: OCSP signing, its revocation unchecked", "ocsp/responder", "", Change::None, {}, false, 0,
         OCSP_ERR_RESPONDER_REVOCATION},
        {"v2: OCSP signing from another CA", "ocsp/otherresp", "", Change::None, {}, false,
         OCSP_ERR_RESPONDER_NOT_ISSUED, OCSP_ERR_RESPONDER_NOT_ISSUED},

        {"stale producedAt", responder, "", Change::SignedAgain, {{0, -3600}}, true, kStale, kStale},
        {"future producedAt", responder, "", Change::SignedAgain, {{0, 3600}}, true, kStale, kStale},
        {"stale thisUpdate", responder, "", Change::SignedAgain, {{1, -3600}}, true, kOutdated, kOutdated},
        {"future thisUpdate", responder, "", Change::SignedAgain, {{1, 3600}}, true, kOutdated, kOutdated},
        {"nextUpdate passed", responder, "-ndays 1", Change::SignedAgain, {{1, -120}, {2, -60}}, true, kOutdated,
         kOutdated},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        RecordSettings settings;
        settings.library = GetParam();
        if (c.timeCheck) settings.tolerance = kTolerance;
        TestRecord record(settings);
        ASSERT_TRUE(record.Ready());
        const Bytes answer = HostileAnswer(c, record, settings);
        ASSERT_FALSE(answer.empty());
        // One answer, both decodes of the same record.
        for (const bool byExtensions : {false, true}) {
            SCOPED_TRACE(byExtensions ? "v2" : "v1");
            const std::uint32_t expected = byExtensions ? c.v2 : c.v1;
            record.record.errorCode = 0;
            const int decoded = record.Decode(answer, byExtensions);
            const std::uint32_t error = record.record.errorCode;
            const std::int32_t status = record.Status();
            if (expected == 0) {
                EXPECT_EQ(decoded, 0) << std::hex << error;
                EXPECT_EQ(status, OCSP_CERT_GOOD);
                continue;
            }
            EXPECT_EQ(decoded, 1);
            EXPECT_EQ(error, expected == kNoBit ? 0u : expected) << std::hex << error;
            EXPECT_EQ(status, OCSP_STATUS_BAD);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, HostileAnswers, ::testing::Values(OCSP_LIB_OWN, OCSP_LIB_CRYPTOAPI),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == OCSP_LIB_OWN ? "OwnCode" : "CryptoAPI");
                         });

}  // namespace
