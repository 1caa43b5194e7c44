// The one-call query that no export reaches, linked from the library's own
// objects, against `openssl ocsp` on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/datasets/datasets.h"
#include "ocsp/api/complete_exchange.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "tests/support/ocsp_responder.h"
#include "tests/support/test_util.h"

namespace {

using testsupport::Pki;
using Bytes = std::vector<unsigned char>;

struct Sets {
    DataSets request, user;
    Sets()
    {
        InitDataSets(&request);
        InitDataSets(&user);
    }
    ~Sets()
    {
        DeleteDataSets(&request);
        DeleteDataSets(&user);
    }
    void AddTarget(const std::string& target)
    {
        const Bytes t = testsupport::ReadFile(Pki(target)), ca = testsupport::ReadFile(Pki("ca.cert.der"));
        AddDataItem(&request, kSlotTargetCertificates, t.data(), t.size());
        AddDataItem(&request, kSlotIssuerCertificates, ca.data(), ca.size());
    }
    std::string Status(std::uint32_t number) const
    {
        const unsigned char* data = nullptr;
        std::size_t length = 0;
        if (GetDataItem(&request, kSlotStatus, number, &data, &length) != kDataSetsOk) return "";
        return std::string(reinterpret_cast<const char*>(data), length);
    }
};

TEST(CompleteExchange, QueriesEveryTargetOfTheSet)
{
    testsupport::OcspResponder responder(Pki("ocsp/index.txt"), Pki("ca.cert.pem"), Pki("ocsp/responder.cert.pem"),
                                         Pki("ocsp/responder.key.pem"));
    ASSERT_TRUE(responder.Started()) << responder.Log();
    const Bytes ca = testsupport::ReadFile(Pki("ca.cert.der"));
    const ByteBuffer noName = {nullptr, 0};
    Sets sets;
    sets.AddTarget("signer.cert.der");
    sets.AddTarget("revoked.cert.der");
    sets.AddTarget("recipient.cert.der");
    int status = -1;
    EXPECT_EQ(ExecuteOCSPExchange(&sets.request, &sets.user, 0, noName, 111, 6, "/", "127.0.0.1",
                                  static_cast<unsigned>(responder.Port()), "000500", nullptr, ca.data(), ca.size(),
                                  &status),
              1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sets.Status(1), "0");
    EXPECT_EQ(sets.Status(2), "1");
    EXPECT_EQ(sets.Status(3), "2");

    struct Failure {
        const char* what;
        int algorithm;
        unsigned port;
        std::string issuer;
        int result;
    } failures[] = {
        {"dead responder", 111, 1, "ca.cert.der", 4},
        {"unknown algorithm", 104, static_cast<unsigned>(responder.Port()), "ca.cert.der", 0},
        {"responder of another CA", 111, static_cast<unsigned>(responder.Port()), "otherca.cert.der", 31},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        Sets fresh;
        fresh.AddTarget("signer.cert.der");
        const Bytes issuer = testsupport::ReadFile(Pki(f.issuer));
        status = -1;
        EXPECT_EQ(ExecuteOCSPExchange(&fresh.request, &fresh.user, 0, noName, f.algorithm, 6, "/", "127.0.0.1", f.port,
                                      nullptr, nullptr, issuer.data(), issuer.size(), &status),
                  f.result);
        EXPECT_EQ(status, -1);
    }
    Sets empty;
    EXPECT_EQ(ExecuteOCSPExchange(&empty.request, &empty.user, 0, noName, 111, 6, "/", "127.0.0.1", 1, nullptr, nullptr,
                                  ca.data(), ca.size(), &status),
              21);
}

}  // namespace
