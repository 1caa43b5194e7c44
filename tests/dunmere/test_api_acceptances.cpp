// _DecodeOCSPResponsev2's acceptances of the responder, through the export,
// on answers `openssl ocsp` made to our requests: the CA itself, a
// delegated responder and its revocation rule, the responder list of the
// issuer (slots 17 and 18) and the trusted responders (slot 14), which the
// caller fills with the core's AddDataItem.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ocsp/Dunmere.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "tests/dunmere/answer_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/test_util.h"

namespace {

using dunmere_test::Bytes;
using dunmere_test::OpensslAnswer;
using dunmere_test::RecordSettings;
using dunmere_test::TestRecord;
using testsupport::Pki;

// Decoded with result 1 and no error bit of its own.
constexpr std::uint32_t kNoBit = 0xFFFFFFFFu;

// The SHA-1 of a PKI certificate ("ca", "ocsp/noeku"), made once.
const Bytes& Hash(const std::string& name)
{
    static std::map<std::string, Bytes> made;
    Bytes& hash = made[name];
    if (hash.empty()) hash = dunmere_test::OpensslSha1(Pki(name + ".cert.der"));
    return hash;
}

struct AcceptanceCase {
    const char* what;
    const char* responder;  // who signs the answer
    const char* issuer;     // the certificate the decode is given
    std::uint32_t responderOptions, revocationOptions;
    std::vector<const char*> trusted;          // slot 14
    std::vector<const char*> listedIssuers;    // slot 17
    std::vector<const char*> listedResponders; // slot 18
    std::uint32_t error;  // 0: accepted, the target good
};

class ResponderAcceptances : public ::testing::TestWithParam<int> {};

TEST_P(ResponderAcceptances, EachAcceptanceOnOpensslAnswers)
{
    ASSERT_TRUE(testsupport::openssl::Available());
    const char* ca = "ca";
    const char* otherca = "otherca";
    const char* noeku = "ocsp/noeku";
    const char* delegated = "ocsp/responder";
    const char* foreign = "ocsp/otherresp";
    const AcceptanceCase cases[] = {
        {"1: the CA answers for itself", ca, ca, 0, 0, {}, {}, {}, 0},
        {"1: the CA's answer given another CA", ca, otherca, 0, 0, {}, {}, {}, OCSP_ERR_NOT_AUTHORIZED},
        {"2: delegated, with no-check", "ocsp/nocheck", ca, 0, 0, {}, {}, {}, 0},
        {"2: delegated, its revocation left unchecked", delegated, ca, 0, 6, {}, {}, {}, 0},
        {"2: delegated, revocation option 2 alone", delegated, ca, 0, 2, {}, {}, {}, OCSP_ERR_RESPONDER_REVOCATION},
        {"2: delegated, revocation option 4 alone", delegated, ca, 0, 4, {}, {}, {}, OCSP_ERR_RESPONDER_REVOCATION},
        {"2: delegated by another CA", foreign, ca, 0, 6, {}, {}, {}, OCSP_ERR_RESPONDER_NOT_ISSUED},
        {"3: listed for the issuer", noeku, ca, 2, 6, {}, {ca}, {noeku}, 0},
        {"3: listed second", noeku, ca, 2, 6, {}, {otherca, ca}, {delegated, noeku}, 0},
        {"3: the issuer's place names another", noeku, ca, 2, 6, {}, {otherca, ca}, {noeku, delegated},
         OCSP_ERR_NOT_AUTHORIZED},
        {"3: the issuer not listed", noeku, ca, 2, 6, {}, {otherca}, {noeku}, OCSP_ERR_NOT_AUTHORIZED},
        {"3: empty lists", noeku, ca, 2, 6, {}, {}, {}, OCSP_ERR_DATA_SETS_READ},
        {"3: listed, its revocation unchecked", noeku, ca, 2, 0, {}, {ca}, {noeku}, OCSP_ERR_RESPONDER_REVOCATION},
        {"3: after 2 failed", foreign, ca, 2, 6, {}, {ca}, {foreign}, 0},
        {"4: trusted", noeku, ca, 1, 0, {noeku}, {}, {}, 0},
        {"4: trusted among others", noeku, ca, 1, 0, {delegated, noeku}, {}, {}, 0},
        {"4: not trusted", noeku, ca, 1, 0, {delegated}, {}, {}, OCSP_ERR_NOT_AUTHORIZED},
        {"4: empty list", noeku, ca, 1, 0, {}, {}, {}, OCSP_ERR_DATA_SETS_READ},
        {"4 after 3 failed", noeku, ca, 3, 0, {noeku}, {}, {}, 0},
        {"3 and 4 failed: the last one's bit", noeku, ca, 3, 0, {}, {ca}, {delegated}, OCSP_ERR_DATA_SETS_READ},
        {"none applies", noeku, ca, 0, 6, {}, {}, {}, kNoBit},
    };
    for (const AcceptanceCase& c : cases) {
        SCOPED_TRACE(c.what);
        RecordSettings settings;
        settings.library = GetParam();
        settings.responderOptions = c.responderOptions;
        settings.revocationOptions = c.revocationOptions;
        TestRecord record(settings);
        ASSERT_TRUE(record.Ready());
        for (const char* name : c.trusted) ASSERT_TRUE(record.AddRequestItem(kSlotTrustedResponders, Hash(name)));
        for (const char* name : c.listedIssuers)
            ASSERT_TRUE(record.AddRequestItem(kSlotLocationIssuerHashes, Hash(name)));
        for (const char* name : c.listedResponders)
            ASSERT_TRUE(record.AddRequestItem(kSlotLocationResponderHashes, Hash(name)));
        const Bytes answer = OpensslAnswer(record.request, c.responder, "", "acceptance");
        ASSERT_FALSE(answer.empty());
        const int decoded = record.Decode(answer, true, std::string(c.issuer) + ".cert.der");
        if (c.error == 0) {
            EXPECT_EQ(decoded, 0) << std::hex << record.record.errorCode;
            EXPECT_EQ(record.Status(), OCSP_CERT_GOOD);
            continue;
        }
        EXPECT_EQ(decoded, 1);
        EXPECT_EQ(record.record.errorCode, c.error == kNoBit ? 0u : c.error) << std::hex << record.record.errorCode;
        EXPECT_EQ(record.Status(), OCSP_STATUS_BAD);
    }
}

// The lists and options belong to v2: _DecodeOCSPResponse still wants the
// OCSP-signing purpose.
TEST_P(ResponderAcceptances, ListsDoNotWidenTheFirstDecode)
{
    RecordSettings settings;
    settings.library = GetParam();
    settings.responderOptions = 3;
    settings.revocationOptions = 6;
    TestRecord record(settings);
    ASSERT_TRUE(record.Ready());
    ASSERT_TRUE(record.AddRequestItem(kSlotTrustedResponders, Hash("ocsp/noeku")));
    ASSERT_TRUE(record.AddRequestItem(kSlotLocationIssuerHashes, Hash("ca")));
    ASSERT_TRUE(record.AddRequestItem(kSlotLocationResponderHashes, Hash("ocsp/noeku")));
    const Bytes answer = OpensslAnswer(record.request, "ocsp/noeku", "", "acceptance-v1");
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(record.Decode(answer, false), 1);
    EXPECT_EQ(record.record.errorCode, OCSP_ERR_NOT_AUTHORIZED);
    EXPECT_EQ(record.Status(), OCSP_STATUS_BAD);
    EXPECT_EQ(record.Decode(answer, true), 0) << std::hex << record.record.errorCode;
    EXPECT_EQ(record.Status(), OCSP_CERT_GOOD);
}

INSTANTIATE_TEST_SUITE_P(Libraries, ResponderAcceptances, ::testing::Values(OCSP_LIB_OWN, OCSP_LIB_CRYPTOAPI),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == OCSP_LIB_OWN ? "OwnCode" : "CryptoAPI");
                         });

}  // namespace
