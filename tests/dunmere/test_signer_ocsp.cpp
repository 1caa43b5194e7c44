// The signing component's OCSP side over the real Dunmere and a real
// responder: the query driver, the kept answer, the stored-answer check,
// and the operations "A", "ARSA" and "OCSP" through Execute.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/errors.h"
#include "signer/files/output_file.h"
#include "signer/ocsp/ocsp_status.h"
#include "tests/support/host_openssl.h"
#include "tests/support/ocsp_responder.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;

std::string Work(const std::string& name) { return testsupport::WorkDir() + "/signer-ocsp-" + name; }
std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class SignerOcsp : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        responder_ = new testsupport::OcspResponder(Pki("ocsp/index.txt"), Pki("ca.cert.pem"),
                                                    Pki("ocsp/responder.cert.pem"), Pki("ocsp/responder.key.pem"));
    }
    static void TearDownTestSuite()
    {
        delete responder_;
        responder_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(responder_->Started()) << responder_->Log(); }
    void TearDown() override { testsupport::registry::DeleteKey(); }

    bool Ask(const std::string& target, std::string& text, int& status, const std::string& keep = "NULL",
             const std::string& url = "")
    {
        const Bytes certificate = testsupport::ReadFile(Pki(target));
        const Bytes ca = testsupport::ReadFile(Pki("ca.cert.der"));
        return CheckOCSPStatus(url.empty() ? responder_->Url() : url, certificate.data(), certificate.size(),
                               ca.data(), ca.size(), text, status, keep);
    }

    static testsupport::OcspResponder* responder_;
};
testsupport::OcspResponder* SignerOcsp::responder_ = nullptr;

TEST_F(SignerOcsp, QueryStatusesAndTexts)
{
    struct Case {
        const char* target;
        bool result;
        int status;
        const char* text;
    } cases[] = {
        {"signer.cert.der", true, kOcspStatusGood, "unchanged"},
        {"revoked.cert.der", true, kOcspStatusRevoked, "Certificado Revocado : 20240601120000Z"},
        {"recipient.cert.der", true, kOcspStatusUnknown, "Certificado desconocido"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        std::string text = "unchanged";
        int status = -1;
        EXPECT_EQ(Ask(c.target, text, status), c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(SignerOcsp, QueryFailuresKeepTheStatus)
{
    struct Case {
        const char* what;
        std::string url;
        const char* text;
    } cases[] = {
        {"dead responder", "http://127.0.0.1:1/", "Error : Error: openning OCSP socket"},
        {"URL of 512 characters", "http://127.0.0.1/" + std::string(495, 'a'), "SetOCSPClient failed"},
        {"not an http URL", "ftp://127.0.0.1/", "Error : Error: parsing responder url"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text;
        int status = -1;
        EXPECT_FALSE(Ask("signer.cert.der", text, status, "NULL", c.url));
        EXPECT_EQ(status, -1);
        EXPECT_EQ(text, c.text);
    }
    std::string text;
    int status = -1;
    const Bytes certificate = testsupport::ReadFile(Pki("signer.cert.der"));
    EXPECT_FALSE(CheckOCSPStatus(responder_->Url(), certificate.data(), certificate.size(), nullptr, 0, text, status,
                                 "NULL"));
    EXPECT_EQ(text, "SetOCSPIssuer failed");
}

// The answer is kept as base64 text, and a response file that cannot be
// replaced keeps its earlier content.
TEST_F(SignerOcsp, AnswerKeptAsBase64Text)
{
    const std::string kept = Work("kept.ocsp");
    std::remove(kept.c_str());
    std::string text;
    int status = -1;
    ASSERT_TRUE(Ask("signer.cert.der", text, status, kept));
    const Bytes base64 = testsupport::ReadFile(kept);
    ASSERT_FALSE(base64.empty());
    EXPECT_EQ(base64[0], 'M');
    const std::string der = Work("kept.der");
    // Lines of 2000 characters, CRLF: coreutils' decoder skips the breaks.
    ASSERT_EQ(testsupport::openssl::RunShell("base64 -d -i " + kept + " >" + der), 0);
    ASSERT_EQ(testsupport::openssl::Run("ocsp -respin " + der + " -resp_text -noverify -out " + Work("kept.txt")), 0);
    EXPECT_NE(Text(testsupport::ReadFile(Work("kept.txt"))).find("Cert Status: good"), std::string::npos);

    const std::string readOnly = Work("readonly.ocsp");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(testsupport::WriteFile(readOnly, "earlier", 7));
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    text.clear();
    EXPECT_FALSE(Ask("signer.cert.der", text, status, readOnly));
    EXPECT_EQ(text, "Error al guardar la respuesta OCSP");
    EXPECT_EQ(Text(testsupport::ReadFile(readOnly)), "earlier");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_FALSE(Ask("signer.cert.der", text, status, Work("no-such-folder/kept.ocsp")));
    EXPECT_EQ(text, "Error al guardar la respuesta OCSP");
}

TEST(SaveBufferToFile, WritesWholeOrReportsFailure)
{
    const unsigned char bytes[] = {0x30, 0x03, 0x0A, 0x01, 0x00};
    const std::string file = Work("saved.der");
    EXPECT_EQ(SaveBufferToFile(bytes, sizeof bytes, file), 0);
    EXPECT_EQ(testsupport::ReadFile(file), Bytes(bytes, bytes + sizeof bytes));
    EXPECT_EQ(SaveBufferToFile(bytes, sizeof bytes, Work("no-such-folder/saved.der")), 1);
}

class OcspOperations : public SignerOcsp {
protected:
    void Configure(const std::string& url)
    {
        testsupport::registry::DeleteKey();
        testsupport::registry::SetDword("USAR_AC", 1);
        testsupport::registry::SetText("CERT_AC", Pki("ca.cert.der"));
        testsupport::registry::SetDword("USAR_OCSP", 1);
        testsupport::registry::SetText("URL_OCSP", url);
    }
    std::string Run(TTavomir& engine)
    {
        engine.Execute();
        return engine.Message;
    }
};

TEST_F(OcspOperations, OpenVerifyAndCheckTheKeptAnswer)
{
    const std::string kRevoked =
        "1\r\nEl Certificado del firmante esta Revocado: Certificado Revocado : 20240601120000Z";
    struct Case {
        const char* what;
        const char* message;
        bool live;
        const char* expected;
        const char* keptCheck;  // "OCSP" on the kept answer; null: nothing kept
    } cases[] = {
        {"good", "att.sha256.der", true, "2", "2"},
        {"revoked", "att.revoked.der", true, nullptr, "1\r\nCertificado revocado: 20240601120000Z"},
        {"dead responder", "att.sha256.der", false, "1\r\nError : Error: openning OCSP socket", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Configure(c.live ? responder_->Url() : "http://127.0.0.1:1/");
        const std::string kept = Work(std::string("a-") + c.what + ".ocsp");
        std::remove(kept.c_str());
        TTavomir engine;
        engine.Operation = "A";
        engine.TypeOne = "F";
        engine.FileInputOne = Pki("messages/") + c.message;
        engine.FileOutputOne = "NULL";
        engine.OCSPFileOne = kept;
        EXPECT_EQ(Run(engine), c.expected ? std::string(c.expected) : kRevoked);
        if (!c.keptCheck) {
            EXPECT_TRUE(testsupport::ReadFile(kept).empty());
            continue;
        }
        TTavomir check;
        check.Operation = "OCSP";
        check.FileInputOne = kept;
        EXPECT_EQ(Run(check), c.keptCheck);
    }
}

TEST_F(OcspOperations, RawSignatureWithOcsp)
{
    const std::string content = Pki("messages/content.bin");
    const std::string revokedSignature = Work("revoked.sig");
    ASSERT_EQ(testsupport::openssl::Run("dgst -sha1 -sign " + Pki("revoked.key.pem") + " -out " + revokedSignature +
                                        " " + content),
              0);
    struct Case {
        const char* what;
        std::string signature, certificate;
        bool live;
        const char* expected;
    } cases[] = {
        {"good", Pki("messages/raw.be.sig"), Pki("signer.cert.der"), true, "2"},
        {"revoked", revokedSignature, Pki("revoked.cert.der"), true, "1\r\nEl Certificado proporcionado esta Revocado"},
        {"dead responder", Pki("messages/raw.be.sig"), Pki("signer.cert.der"), false,
         "1\r\nError : Error: openning OCSP socket"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Configure(c.live ? responder_->Url() : "http://127.0.0.1:1/");
        TTavomir engine;
        engine.Operation = "ARSA";
        engine.FileInputOne = content;
        engine.FileInputTwo = c.signature;
        engine.FileCert = c.certificate;
        engine.OCSPFileOne = Work(std::string("arsa-") + c.what + ".ocsp");
        EXPECT_EQ(Run(engine), c.expected);
    }
}

// The kept answer never replaces a file the operation reads.
TEST_F(OcspOperations, ResponseFileNamingAnInputIsRefused)
{
    Configure(responder_->Url());
    const std::string message = Work("own.p7m"), content = Work("own.bin"), signature = Work("own.sig");
    for (const auto& copy : {std::make_pair(Pki("messages/att.sha256.der"), message),
                             std::make_pair(Pki("messages/content.bin"), content),
                             std::make_pair(Pki("messages/raw.be.sig"), signature)}) {
        const Bytes bytes = testsupport::ReadFile(copy.first);
        ASSERT_TRUE(testsupport::WriteFile(copy.second, bytes.data(), bytes.size()));
    }
    struct Case {
        const char* operation;
        std::string kept;
        std::string watched;
    } cases[] = {
        {"A", message, message},
        {"ARSA", signature, signature},
        {"ARSA", content, content},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.kept);
        const Bytes before = testsupport::ReadFile(c.watched);
        TTavomir engine;
        engine.Operation = c.operation;
        engine.TypeOne = "F";
        engine.FileInputOne = std::string(c.operation) == "A" ? message : content;
        engine.FileInputTwo = std::string(c.operation) == "A" ? "" : signature;
        engine.FileOutputOne = "NULL";
        engine.FileCert = Pki("signer.cert.der");
        engine.OCSPFileOne = c.kept;
        EXPECT_FALSE(engine.Execute());
        EXPECT_EQ(engine.Message, "1\r\nEl archivo de salida no puede ser un archivo de entrada");
        EXPECT_EQ(testsupport::ReadFile(c.watched), before);
    }
}

TEST_F(OcspOperations, StoredAnswerChecks)
{
    const std::string kept = Work("stored.ocsp");
    std::string text;
    int status = -1;
    ASSERT_TRUE(Ask("recipient.cert.der", text, status, kept));
    const std::string garbage = Work("garbage.ocsp");
    ASSERT_TRUE(testsupport::WriteFile(garbage, "\x30\x03\x0A\x01", 4));
    const std::string empty = Work("empty.ocsp");
    ASSERT_TRUE(testsupport::WriteFile(empty, "", 0));
    struct Case {
        const char* what;
        std::string file;
        bool withCa;
        const char* expected;
    } cases[] = {
        {"unknown", kept, true, "1\r\nStatus desconocido"},
        {"undecodable", garbage, true, "1\r\nError decodificando respuesta OCSP: Error: decoding OCSP response"},
        {"empty", empty, true, "1\r\nError decodificando respuesta OCSP: Error: decoding OCSP response"},
        {"no CA configured", kept, false,
         "1\r\nError decodificando respuesta OCSP: Error: reading issuer certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::registry::DeleteKey();
        if (c.withCa) {
            testsupport::registry::SetDword("USAR_AC", 1);
            testsupport::registry::SetText("CERT_AC", Pki("ca.cert.der"));
        }
        TTavomir engine;
        engine.Operation = "OCSP";
        engine.FileInputOne = c.file;
        EXPECT_EQ(Run(engine), c.expected);
    }
    TTavomir engine;
    engine.Operation = "OCSP";
    engine.FileInputOne = Work("missing.ocsp");
    EXPECT_THROW(engine.Execute(), EFileOpenError);
}

}  // namespace
