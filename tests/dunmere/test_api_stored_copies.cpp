// The copies the stored-response exports hand out: _GetResponderCertData
// describes the certificate the responderID named, wherever it stands among
// the answer's certificates; _GetOCSPResponseData hands out nothing when a
// step fails. Answers made by `openssl ocsp` to our requests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ocsp/Dunmere.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "tests/dunmere/answer_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/test_util.h"

namespace {

using dunmere_test::Bytes;
using dunmere_test::OpensslAnswer;
using dunmere_test::TestRecord;
using testsupport::Pki;

std::string Text(const ByteBuffer& copy)
{
    return copy.pointer ? std::string(reinterpret_cast<const char*>(copy.pointer), copy.length) : "<none>";
}
Bytes Of(const ByteBuffer& copy) { return copy.pointer ? Bytes(copy.pointer, copy.pointer + copy.length) : Bytes(); }

// Outputs preset to a mark, so that a test sees the export clear them; what
// it hands out is freed with msvcrt's free, as the header tells callers.
struct Outputs {
    enum { kSubject, kIssuer, kCertificate, kProducedAt, kRevocationTime, kSerial, kCount };
    static unsigned char mark;
    ByteBuffer items[kCount];
    Outputs()
    {
        for (ByteBuffer& item : items) item = {&mark, 1};
    }
    ~Outputs()
    {
        for (ByteBuffer& item : items)
            if (item.pointer != &mark) std::free(item.pointer);
    }
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;
    ByteBuffer* operator[](int index) { return &items[index]; }
    bool Cleared(int count = kCount) const
    {
        for (int i = 0; i < count; ++i)
            if (items[i].pointer || items[i].length) return false;
        return true;
    }
};
unsigned char Outputs::mark = 0;

TEST(ResponderCertData, TheCertificateTheResponderIdNames)
{
    ASSERT_TRUE(testsupport::openssl::Available());
    const Bytes delegated = testsupport::ReadFile(Pki("ocsp/responder.cert.der"));
    const std::string ca = " -rother " + Pki("ca.cert.pem"), otherca = " -rother " + Pki("otherca.cert.pem");
    struct Case {
        const char* what;
        std::string extra;
        bool responderLast;
        int decoded;
        int described;
    } cases[] = {
        {"the responder first, two CAs after it", ca + otherca, false, 0, 0},
        {"identified by its key", "-resp_key_id" + otherca, false, 0, 0},
        {"the responder alone", "", true, 0, 0},
        {"no certificates: nothing named", "-resp_no_certs", false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestRecord record;
        ASSERT_TRUE(record.Ready());
        const Bytes answer = OpensslAnswer(record.request, "ocsp/responder", c.extra, "certdata");
        ASSERT_FALSE(answer.empty());
        EXPECT_EQ(record.Decode(answer, false), c.decoded) << std::hex << record.record.errorCode;
        std::uint32_t count = 0;
        const unsigned char* last = nullptr;
        std::size_t lastLength = 0;
        CountDataItems(record.record.requestSets, kSlotResponseCertificates, &count);
        GetDataItem(record.record.requestSets, kSlotResponseCertificates, count, &last, &lastLength);
        EXPECT_EQ(last && Bytes(last, last + lastLength) == delegated, c.responderLast);
        Outputs out;
        EXPECT_EQ(_GetResponderCertData(record.record.requestSets, out[Outputs::kSubject], out[Outputs::kIssuer],
                                        out[Outputs::kCertificate]),
                  c.described);
        if (c.described != 0) {
            EXPECT_TRUE(out.Cleared(3));
            continue;
        }
        EXPECT_EQ(Text(*out[Outputs::kSubject]), "Tavomir Test Delegated Responder");
        EXPECT_EQ(Text(*out[Outputs::kIssuer]), "Tavomir Test CA");
        EXPECT_EQ(Of(*out[Outputs::kCertificate]), delegated);
    }
}

TEST(ResponderCertData, SetsWithoutADecodeDescribeNothing)
{
    const Bytes delegated = testsupport::ReadFile(Pki("ocsp/responder.cert.der"));
    DataSets sets;
    ASSERT_EQ(InitDataSets(&sets), 0);
    // Certificates alone name no responder.
    ASSERT_EQ(AddDataItem(&sets, kSlotResponseCertificates, delegated.data(), delegated.size()), 0);
    Outputs out;
    EXPECT_EQ(_GetResponderCertData(&sets, out[Outputs::kSubject], out[Outputs::kIssuer], out[Outputs::kCertificate]),
              1);
    EXPECT_TRUE(out.Cleared(3));
    DeleteDataSets(&sets);
    Outputs none;
    EXPECT_EQ(_GetResponderCertData(nullptr, none[Outputs::kSubject], none[Outputs::kIssuer],
                                    none[Outputs::kCertificate]),
              1);
    EXPECT_TRUE(none.Cleared(3));
}

// A response whose responder certificate is handed out before a later check
// fails: nothing stays with the caller.
TEST(OcspResponseData, NothingHandedOutOnFailure)
{
    ASSERT_TRUE(testsupport::openssl::Available());
    struct Case {
        const char* what;
        const char* responder;
        bool breakSignature;
        int result;
        std::uint32_t error;
    } cases[] = {
        {"as answered", "ocsp/responder", false, 0, 0},
        {"signature broken", "ocsp/responder", true, 1, OCSP_ERR_SIGNATURE},
        {"no OCSP-signing purpose", "ocsp/noeku", false, 1, OCSP_ERR_NOT_AUTHORIZED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestRecord record;
        ASSERT_TRUE(record.Ready());
        Bytes answer = OpensslAnswer(record.request, c.responder, "", "responsedata");
        ASSERT_FALSE(answer.empty());
        if (c.breakSignature) {
            dunmere_test::AnswerParts parts;
            ASSERT_TRUE(dunmere_test::LocateParts(answer, &parts));
            answer[parts.signature + 3] ^= 0x40;
        }
        Outputs out;
        std::int32_t status = 77;
        std::uint32_t error = 12345;
        EXPECT_EQ(_GetOCSPResponseData(answer.data(), static_cast<std::uint32_t>(answer.size()), out[Outputs::kSubject],
                                       out[Outputs::kIssuer], out[Outputs::kProducedAt], out[Outputs::kRevocationTime],
                                       out[Outputs::kSerial], &status, out[Outputs::kCertificate], &error),
                  c.result);
        EXPECT_EQ(error, c.error) << std::hex << error;
        if (c.result == 0) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(Text(*out[Outputs::kSubject]), "Tavomir Test Delegated Responder");
            EXPECT_EQ(Of(*out[Outputs::kSerial]), (Bytes{0x10, 0x02}));
            EXPECT_EQ(out[Outputs::kProducedAt]->length, 15u);
            EXPECT_EQ(out[Outputs::kRevocationTime]->pointer, nullptr);  // not revoked
            continue;
        }
        EXPECT_EQ(status, 77);
        EXPECT_TRUE(out.Cleared());
    }
}

}  // namespace
