// Dunmere's exports against a real responder (`openssl ocsp` on 127.0.0.1):
// statuses, the responder rules, the responder found in the certificate,
// and the stored-response exports on the answers it gave.
#include <gtest/gtest.h>

#include <string>

#include "ocsp/Dunmere.h"
#include "tests/dunmere/query_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/ocsp_responder.h"
#include "tests/support/test_util.h"

namespace {

using dunmere_test::Bytes;
using dunmere_test::Query;
using dunmere_test::QueryOptions;
using dunmere_test::QueryOutcome;
using testsupport::Pki;

std::string Ocsp(const std::string& file) { return Pki("ocsp/" + file); }
Bytes Der(const std::string& path) { return testsupport::ReadFile(path); }

struct Signer {
    std::string certificate, key;
};
Signer Delegated() { return {Ocsp("responder.cert.pem"), Ocsp("responder.key.pem")}; }

testsupport::OcspResponder StartResponder(const Signer& signer, const std::string& extra = "")
{
    return testsupport::OcspResponder(Ocsp("index.txt"), Pki("ca.cert.pem"), signer.certificate, signer.key, extra);
}

struct StatusCase {
    const char* what;
    Signer signer;
    const char* extra;
    const char* target;
    bool byExtensions;
    int decoded;
    std::uint32_t error;
    std::int32_t status;
};

class ApiAgainstResponder : public ::testing::TestWithParam<int> {};

TEST_P(ApiAgainstResponder, StatusesAndResponderRules)
{
    ASSERT_TRUE(testsupport::openssl::Available());
    const StatusCase cases[] = {
        {"good", Delegated(), "", "signer.cert.der", false, 0, 0, OCSP_CERT_GOOD},
        {"revoked, top-bit serial", Delegated(), "", "revoked.cert.der", false, 0, 0, OCSP_CERT_REVOKED},
        {"unknown", Delegated(), "", "recipient.cert.der", false, 0, 0, OCSP_CERT_UNKNOWN},
        {"responder ID by key", Delegated(), "-resp_key_id", "signer.cert.der", false, 0, 0, OCSP_CERT_GOOD},
        {"2048-bit delegated responder", {Pki("ocsp.cert.pem"), Pki("ocsp.key.pem")}, "", "signer.cert.der", false,
         0, 0, OCSP_CERT_GOOD},
        {"the CA itself, v1 refuses it", {Pki("ca.cert.pem"), Pki("ca.key.pem")}, "", "signer.cert.der", false, 1,
         OCSP_ERR_NOT_AUTHORIZED, -1},
        {"the CA itself, v2 takes it", {Pki("ca.cert.pem"), Pki("ca.key.pem")}, "", "signer.cert.der", true, 0, 0,
         OCSP_CERT_GOOD},
        {"no OCSP-signing purpose", {Ocsp("noeku.cert.pem"), Ocsp("noeku.key.pem")}, "", "signer.cert.der", false, 1,
         OCSP_ERR_NOT_AUTHORIZED, -1},
        {"OCSP signing as second purpose", {Ocsp("second.cert.pem"), Ocsp("second.key.pem")}, "", "signer.cert.der",
         false, 1, OCSP_ERR_NOT_AUTHORIZED, -1},
        {"responder of another CA", {Ocsp("otherresp.cert.pem"), Ocsp("otherresp.key.pem")}, "", "signer.cert.der",
         false, 1, OCSP_ERR_RESPONDER_NOT_ISSUED, -1},
        {"no certificates in the response", Delegated(), "-resp_no_certs", "signer.cert.der", false, 1,
         OCSP_ERR_RESPONDER_ID, -1},
    };
    const int library = GetParam();
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::OcspResponder responder = StartResponder(c.signer, c.extra);
        ASSERT_TRUE(responder.Started()) << responder.Log();
        QueryOptions options;
        options.url = responder.Url();
        options.library = library;
        options.byExtensions = c.byExtensions;
        const QueryOutcome out = Query(options, Der(Pki(c.target)), Der(Pki("ca.cert.der")));
        ASSERT_EQ(out.encoded, 0);
        ASSERT_EQ(out.exchanged, 0) << std::hex << out.error << "\n" << responder.Log();
        EXPECT_EQ(out.decoded, c.decoded);
        if (c.decoded == 0) {
            EXPECT_EQ(out.status, c.status);
            EXPECT_EQ(out.error, 0u);
        } else {
            EXPECT_EQ(out.error, c.error) << std::hex << out.error;
            EXPECT_EQ(out.status, -1);
        }
        if (c.status == OCSP_CERT_REVOKED) {
            EXPECT_EQ(out.revocationDate, "20240601120000Z");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, ApiAgainstResponder, ::testing::Values(OCSP_LIB_OWN, OCSP_LIB_CRYPTOAPI),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == OCSP_LIB_OWN ? "OwnCode" : "CryptoAPI");
                         });

TEST(ApiExchange, DeadResponderFailsToConnect)
{
    QueryOptions options;
    options.url = "http://127.0.0.1:1/";
    const QueryOutcome out = Query(options, Der(Pki("signer.cert.der")), Der(Pki("ca.cert.der")));
    EXPECT_EQ(out.exchanged, 1);
    EXPECT_EQ(out.error, OCSP_ERR_SOCKET);
}

// A target whose authority-information-access extension names the
// responder: the query goes there, not to the configured URL. A location
// too long for the record leaves the configured URL.
TEST(ApiExchange, ResponderFromTheCertificatesLocation)
{
    testsupport::OcspResponder responder = StartResponder(Delegated());
    ASSERT_TRUE(responder.Started()) << responder.Log();
    const std::string longUrl = "http://127.0.0.1/" + std::string(600, 'a');
    const std::string located = dunmere_test::SignerWithLocation(responder.Url(), "aia");
    const std::string tooLong = dunmere_test::SignerWithLocation(longUrl, "long");
    ASSERT_FALSE(located.empty());
    ASSERT_FALSE(tooLong.empty());
    QueryOptions options;
    options.url = "http://127.0.0.1:1/";
    QueryOutcome out = Query(options, Der(located), Der(Pki("ca.cert.der")));
    EXPECT_EQ(out.urlUsed, responder.Url());
    EXPECT_EQ(out.decoded, 0) << std::hex << out.error;
    EXPECT_EQ(out.status, OCSP_CERT_GOOD);

    out = Query(options, Der(tooLong), Der(Pki("ca.cert.der")));
    EXPECT_EQ(out.urlUsed, options.url);
    EXPECT_EQ(out.error, OCSP_ERR_SOCKET);
}

// A record that once decoded "good" reads back bad after any failing decode,
// and decodes the same answer again as if fresh.
TEST(ApiExchange, FailedDecodeLeavesNoStatusBehind)
{
    testsupport::OcspResponder responder = StartResponder(Delegated());
    ASSERT_TRUE(responder.Started()) << responder.Log();
    const Bytes target = Der(Pki("signer.cert.der")), ca = Der(Pki("ca.cert.der")),
                other = Der(Pki("otherca.cert.der"));
    const std::string url = responder.Url();
    OCSPData record;
    ASSERT_EQ(_InitOCSPData(&record), 0);
    ASSERT_EQ(_SetOCSPClient(2, 1, 1, 0, url.c_str(), static_cast<int>(url.size()), nullptr, &record, 0, 0), 0);
    ASSERT_EQ(_SetOCSPTarget(target.data(), static_cast<std::uint32_t>(target.size()), &record), 0);
    ASSERT_EQ(_SetOCSPIssuer(ca.data(), static_cast<std::uint32_t>(ca.size()), &record), 0);
    ASSERT_EQ(_SetCryptographicLibrary(&record, OCSP_LIB_CRYPTOAPI), 0);
    ByteBuffer request = {nullptr, 0}, response = {nullptr, 0};
    ASSERT_EQ(_EncodeOCSPRequest(&record, &request), 0);
    ASSERT_EQ(_ExecuteOCSPTransaction(&request, &response, &record), 0);
    _DestroyOCSPRequest(&request);
    Bytes answer(response.pointer, response.pointer + response.length);
    _DestroyOCSPResponse(&response);

    struct Step {
        const char* what;
        std::size_t length;
        const Bytes& issuer;
        int decoded;
        std::uint32_t error;
        std::int32_t status;
    } steps[] = {
        {"whole", answer.size(), ca, 0, 0, OCSP_CERT_GOOD},
        {"truncated", answer.size() - 1, ca, 1, OCSP_ERR_DECODING_RESPONSE, OCSP_STATUS_BAD},
        {"whole again", answer.size(), ca, 0, 0, OCSP_CERT_GOOD},
        {"another issuer", answer.size(), other, 1, OCSP_ERR_RESPONDER_NOT_ISSUED, OCSP_STATUS_BAD},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        record.errorCode = 0;
        ByteBuffer given = {nullptr, 0};
        ASSERT_EQ(_SetOCSPResponse(answer.data(), static_cast<std::uint32_t>(step.length), &given), 0);
        EXPECT_EQ(_DecodeOCSPResponse(&given, &record, step.issuer.data(), static_cast<std::uint32_t>(step.issuer.size())),
                  step.decoded);
        EXPECT_EQ(_GetOCSPError(&record), step.error);
        std::int32_t status = -1;
        EXPECT_EQ(_GetOCSPStatus(&record, &status), step.decoded);
        EXPECT_EQ(status, step.status);
    }
    EXPECT_EQ(_DestroyOCSPData(&record), 0);
}

// The stored-response exports on what the responder answered.
TEST(ApiStoredResponse, CheckAndDataOfRealAnswers)
{
    testsupport::OcspResponder responder = StartResponder(Delegated());
    ASSERT_TRUE(responder.Started()) << responder.Log();
    QueryOptions options;
    options.url = responder.Url();
    const Bytes ca = Der(Pki("ca.cert.der"));
    const Bytes good = Query(options, Der(Pki("signer.cert.der")), ca).response;
    const Bytes revoked = Query(options, Der(Pki("revoked.cert.der")), ca).response;
    const Bytes unknown = Query(options, Der(Pki("recipient.cert.der")), ca).response;
    ASSERT_FALSE(good.empty());
    ASSERT_FALSE(revoked.empty());
    ASSERT_FALSE(unknown.empty());

    struct CheckCase {
        const char* what;
        const Bytes& response;
        Bytes issuer;
        int result;
        std::int32_t status;
        std::uint32_t error;
    } cases[] = {
        {"good", good, ca, 0, 0, 0},
        {"revoked", revoked, ca, 0, 1, 0},
        {"unknown leaves the status", unknown, ca, 0, 77, 0},
        {"another CA", good, Der(Pki("otherca.cert.der")), 1, 77, OCSP_ERR_RESPONDER_NOT_ISSUED},
        {"no CA", good, Bytes(), 1, 77, OCSP_ERR_ISSUER_CERT},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::int32_t status = 77;
        std::uint32_t error = 0;
        EXPECT_EQ(_CheckOCSPResponsev1(c.response.data(), static_cast<std::uint32_t>(c.response.size()),
                                       c.issuer.data(), static_cast<std::uint32_t>(c.issuer.size()), &status, &error),
                  c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(error, c.error);
    }
    Bytes truncated(good.begin(), good.begin() + good.size() / 2);
    std::int32_t status = 77;
    std::uint32_t error = 0;
    EXPECT_EQ(_CheckOCSPResponsev1(truncated.data(), static_cast<std::uint32_t>(truncated.size()), ca.data(),
                                   static_cast<std::uint32_t>(ca.size()), &status, &error),
              1);
    EXPECT_EQ(error, OCSP_ERR_DECODING_RESPONSE);

    ByteBuffer subject, issuer, producedAt, revocationTime, serial, certificate;
    error = 0;
    status = 77;
    ASSERT_EQ(_GetOCSPResponseData(revoked.data(), static_cast<std::uint32_t>(revoked.size()), &subject, &issuer,
                                   &producedAt, &revocationTime, &serial, &status, &certificate, &error),
              0)
        << std::hex << error;
    EXPECT_EQ(status, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(subject.pointer), subject.length), "Tavomir Test Delegated Responder");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(issuer.pointer), issuer.length), "Tavomir Test CA");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(revocationTime.pointer), revocationTime.length), "20240601120000Z");
    EXPECT_EQ(producedAt.length, 15u);
    EXPECT_EQ(Bytes(serial.pointer, serial.pointer + serial.length), (Bytes{0x00, 0x8B, 0x7E, 0x0F, 0x4C}));
    EXPECT_EQ(Bytes(certificate.pointer, certificate.pointer + certificate.length), Der(Ocsp("responder.cert.der")));
    for (ByteBuffer* b : {&subject, &issuer, &producedAt, &revocationTime, &serial, &certificate}) free(b->pointer);
}

}  // namespace
