// _SetResponderLocation through the export: mode 2 reads the location of
// the certificate given last, mode 1 looks the first certificate's SHA-1 up
// in the responder list (slots 15 and 16, filled by the caller with the
// core's AddDataItem); a URL it settles reaches a real responder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ocsp/Dunmere.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "tests/dunmere/answer_util.h"
#include "tests/dunmere/query_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/ocsp_responder.h"
#include "tests/support/test_util.h"

namespace {

using dunmere_test::Bytes;
using testsupport::Pki;

const char kConfigured[] = "http://127.0.0.1:7/configured";
const char kLocated[] = "http://127.0.0.1:8/located";

// A record in the location mode, with the configured URL (none when empty).
struct LocationRecord {
    OCSPData record = {};
    bool ready = false;
    LocationRecord(int mode, const std::string& url)
    {
        ready = _InitOCSPData(&record) == 0 &&
                _SetOCSPClient(mode, 1, 1, 0, url.empty() ? nullptr : url.c_str(), static_cast<int>(url.size()),
                               nullptr, &record, 0, 0) == 0;
    }
    ~LocationRecord()
    {
        if (ready) _DestroyOCSPData(&record);
    }
    void Add(std::uint32_t slot, const Bytes& item) { AddDataItem(record.requestSets, slot, item.data(), item.size()); }
    void AddText(std::uint32_t slot, const std::string& text) { Add(slot, Bytes(text.begin(), text.end())); }
    std::string Url()
    {
        char* url = _GetResponderURLString(&record);
        std::string text = url ? url : "";
        _DeleteURL(url);
        return text;
    }
    int Locate(const Bytes& hashed, const Bytes& certificate)
    {
        return _SetResponderLocation(&record, hashed.data(), static_cast<std::uint32_t>(hashed.size()),
                                     certificate.data(), static_cast<std::uint32_t>(certificate.size()));
    }
};

TEST(ResponderLocation, ModesAndTheirCertificates)
{
    ASSERT_TRUE(testsupport::openssl::Available());
    const std::string locatedFile = dunmere_test::SignerWithLocation(kLocated, "location");
    ASSERT_FALSE(locatedFile.empty());
    const Bytes located = testsupport::ReadFile(locatedFile);
    const Bytes plain = testsupport::ReadFile(Pki("signer.cert.der"));
    const Bytes ca = testsupport::ReadFile(Pki("ca.cert.der"));
    const Bytes garbage = {0x30, 0x03, 0x02, 0x01, 0x01};
    const Bytes plainHash = dunmere_test::OpensslSha1(Pki("signer.cert.der"));
    const Bytes caHash = dunmere_test::OpensslSha1(Pki("ca.cert.der"));
    const Bytes locatedHash = dunmere_test::OpensslSha1(locatedFile);
    ASSERT_EQ(plainHash.size(), 20u);
    const std::string tooLong = "http://127.0.0.1/" + std::string(600, 'a');

    struct Entry {
        const Bytes* hash;
        std::string url;
    };
    struct Case {
        const char* what;
        int mode;
        std::string configured;
        const Bytes* hashed;       // second argument
        const Bytes* certificate;  // fourth argument
        std::vector<Entry> list;   // slots 15 and 16
        int result;
        std::string url;
        std::uint32_t error;
    } cases[] = {
        {"2: the location of the fourth argument", 2, kConfigured, &plain, &located, {}, 0, kLocated, 0},
        {"2: not the second argument's", 2, kConfigured, &located, &plain, {}, 1, kConfigured, 0},
        {"2: a fourth argument that does not decode", 2, kConfigured, &plain, &garbage, {}, 1, kConfigured,
         OCSP_ERR_RESPONDER_CERT},
        {"1: listed", 1, kConfigured, &plain, &located, {{&plainHash, kLocated}}, 0, kLocated, 0},
        {"1: listed second", 1, kConfigured, &plain, &plain, {{&caHash, "http://127.0.0.1:9/"}, {&plainHash, kLocated}},
         0, kLocated, 0},
        {"1: not the fourth argument's hash", 1, kConfigured, &plain, &located, {{&locatedHash, kLocated}}, 0,
         kConfigured, 0},
        {"1: not listed, none configured", 1, "", &plain, &plain, {{&caHash, kLocated}}, 1, "", 0},
        {"1: a listed URL too long for the record", 1, kConfigured, &plain, &plain, {{&plainHash, tooLong}}, 0,
         kConfigured, 0},
        {"1: empty lists", 1, kConfigured, &plain, &plain, {}, 1, kConfigured, OCSP_ERR_DATA_SETS_READ},
        {"0: nothing is settled", 0, kConfigured, &located, &located, {{&locatedHash, kLocated}}, 1, kConfigured, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LocationRecord location(c.mode, c.configured);
        ASSERT_TRUE(location.ready);
        for (const Entry& entry : c.list) {
            location.Add(kSlotLocationHashes, *entry.hash);
            location.AddText(kSlotLocationURLs, entry.url);
        }
        EXPECT_EQ(location.Locate(*c.hashed, *c.certificate), c.result);
        EXPECT_EQ(location.Url(), c.url);
        EXPECT_EQ(location.record.errorCode, c.error) << std::hex << location.record.errorCode;
    }
}

// The URL the list gives is where the query goes.
TEST(ResponderLocation, ListedResponderAnswers)
{
    testsupport::OcspResponder responder(Pki("ocsp/index.txt"), Pki("ca.cert.pem"), Pki("ocsp/responder.cert.pem"),
                                         Pki("ocsp/responder.key.pem"));
    ASSERT_TRUE(responder.Started()) << responder.Log();
    const Bytes target = testsupport::ReadFile(Pki("signer.cert.der"));
    const Bytes ca = testsupport::ReadFile(Pki("ca.cert.der"));
    LocationRecord location(1, kConfigured);
    ASSERT_TRUE(location.ready);
    location.Add(kSlotLocationHashes, dunmere_test::OpensslSha1(Pki("signer.cert.der")));
    location.AddText(kSlotLocationURLs, responder.Url());
    OCSPData& record = location.record;
    ASSERT_EQ(_SetOCSPTarget(target.data(), static_cast<std::uint32_t>(target.size()), &record), 0);
    ASSERT_EQ(_SetOCSPIssuer(ca.data(), static_cast<std::uint32_t>(ca.size()), &record), 0);
    ASSERT_EQ(_SetCryptographicLibrary(&record, OCSP_LIB_CRYPTOAPI), 0);
    ASSERT_EQ(location.Locate(target, target), 0);
    EXPECT_EQ(location.Url(), responder.Url());
    ByteBuffer request = {nullptr, 0}, response = {nullptr, 0};
    ASSERT_EQ(_EncodeOCSPRequest(&record, &request), 0);
    ASSERT_EQ(_ExecuteOCSPTransaction(&request, &response, &record), 0) << std::hex << record.errorCode;
    _DestroyOCSPRequest(&request);
    EXPECT_EQ(_DecodeOCSPResponse(&response, &record, ca.data(), static_cast<std::uint32_t>(ca.size())), 0)
        << std::hex << record.errorCode;
    _DestroyOCSPResponse(&response);
    std::int32_t status = -1;
    EXPECT_EQ(_GetOCSPStatus(&record, &status), 0);
    EXPECT_EQ(status, OCSP_CERT_GOOD);
}

}  // namespace
