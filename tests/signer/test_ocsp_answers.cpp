// OCSP evidence through the engine against `openssl ocsp`: the check of a
// stored answer ("OCSP") with and without the certificate it must speak of,
// on answers openssl made now, earlier or later (faketime moves its clock);
// the answer "A" keeps, replaced only by one that passed every check; and
// Dunmere's texts as results show them, without their line feed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ocsp/Dunmere.h"
#include "signer/Unit_ttavomir.h"
#include "signer/ocsp/ocsp_record.h"
#include "tests/support/host_openssl.h"
#include "tests/support/http_peer.h"
#include "tests/support/ocsp_responder.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;

const char kFaketime[] = "/usr/bin/faketime";

std::string Work(const std::string& name) { return testsupport::WorkDir() + "/ocsp-answers-" + name; }
std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool HostHas(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// A result carries no line feed beyond its "1\r\n".
void ExpectNoStrayLineFeed(const std::string& message)
{
    const std::string::size_type from = message.compare(0, 3, "1\r\n") == 0 ? 3 : 0;
    EXPECT_EQ(message.find_first_of("\r\n", from), std::string::npos) << message;
}

void Configure(bool withCa, const std::string& url = "")
{
    testsupport::registry::DeleteKey();
    if (withCa) {
        testsupport::registry::SetDword("USAR_AC", 1);
        testsupport::registry::SetText("CERT_AC", Pki("ca.cert.der"));
    }
    if (!url.empty()) {
        testsupport::registry::SetDword("USAR_OCSP", 1);
        testsupport::registry::SetText("URL_OCSP", url);
    }
}

std::string MessageOf(TTavomir& engine)
{
    engine.Execute();
    return engine.Message;
}

std::string CheckStored(const std::string& file, const std::string& certificate)
{
    TTavomir engine;
    engine.Operation = "OCSP";
    engine.FileInputOne = file;
    engine.FileCert = certificate;
    return MessageOf(engine);
}

// What openssl is asked and how it answers.
struct AnswerSpec {
    std::vector<std::string> targets;  // PKI names, in the request's order
    std::string shift;                 // faketime's offset of the responder's clock
    std::string validity;              // "" gives no nextUpdate
    bool nonce;                        // openssl's own nonce, never ours
    std::string responder;             // who signs
};

AnswerSpec Answer(std::vector<std::string> targets, std::string shift = "", std::string validity = "-ndays 1",
                  bool nonce = true, std::string responder = "ocsp/responder")
{
    return AnswerSpec{std::move(targets), std::move(shift), std::move(validity), nonce, std::move(responder)};
}

// openssl ocsp's request for the targets, answered offline; the answer's
// DER file, "" on failure.
std::string OpensslAnswer(const std::string& name, const AnswerSpec& spec)
{
    const std::string request = Work(name + ".req"), answer = Work(name + ".der");
    std::remove(answer.c_str());
    std::string ask = "ocsp -issuer " + Pki("ca.cert.pem") + (spec.nonce ? "" : " -no_nonce");
    for (const std::string& target : spec.targets) ask += " -cert " + Pki(target + ".cert.pem");
    if (testsupport::openssl::RunShell("OPENSSL_CONF=/dev/null " + std::string(testsupport::openssl::Path()) + " " +
                                       ask + " -reqout " + request) != 0)
        return "";
    const std::string clock = spec.shift.empty() ? "" : std::string(kFaketime) + " -f " + spec.shift + " ";
    const std::string line = "OPENSSL_CONF=/dev/null " + clock + testsupport::openssl::Path() + " ocsp -reqin " +
                             request + " -index " + Pki("ocsp/index.txt") + " -CA " + Pki("ca.cert.pem") +
                             " -rsigner " + Pki(spec.responder + ".cert.pem") + " -rkey " +
                             Pki(spec.responder + ".key.pem") + " -rmd sha1 " + spec.validity + " -respout " + answer;
    return testsupport::openssl::RunShell(line) == 0 ? answer : "";
}

class StoredAnswers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openssl::Available());
        ASSERT_TRUE(HostHas(kFaketime)) << "scripts/setup.sh installs faketime";
        Configure(true);
    }
    void TearDown() override { testsupport::registry::DeleteKey(); }
};

const std::string kUndecodable = "1\r\nError decodificando respuesta OCSP: ";
const std::string kNotFound = kUndecodable + "Error: the requested status was not found in OCSP response";
const std::string kProducedAt = kUndecodable + "Error: outdated response (ProducedAt)";
const std::string kThisUpdate = kUndecodable + "Error: outdated status information (ThisUpdate)";
const std::string kRevoked = "1\r\nCertificado revocado: 20240601120000Z";
const std::string kUnknown = "1\r\nStatus desconocido";

TEST_F(StoredAnswers, CheckedWithAndWithoutTheCertificate)
{
    struct Case {
        const char* what;
        AnswerSpec answer;
        const char* certificate;  // FileCert
        std::string withCertificate;
        std::string without;      // FileCert "NULL": what README says it cannot see
    } cases[] = {
        {"good, just made", Answer({"signer"}), "signer", "2", "2"},
        {"another serial (its prefix)", Answer({"ocsp/longserial"}), "signer", kNotFound, "2"},
        {"another's status first", Answer({"revoked", "signer"}), "signer", "2", kRevoked},
        {"own status second", Answer({"signer", "revoked"}), "revoked", kRevoked, "2"},
        {"revoked", Answer({"revoked"}), "revoked", kRevoked, kRevoked},
        {"unknown", Answer({"recipient"}), "recipient", kUnknown, kUnknown},
        {"no nonce: a stored answer cannot prove one", Answer({"signer"}, "", "-ndays 1", false), "signer", "2", "2"},
        {"replayed two days on", Answer({"signer"}, "-2d"), "signer", kProducedAt, kProducedAt},
        {"two hours old, within its nextUpdate", Answer({"signer"}, "-2h"), "signer", "2", "2"},
        {"two hours old, past its nextUpdate", Answer({"signer"}, "-2h", "-nmin 30"), "signer", kThisUpdate, "2"},
        {"an hour old, no nextUpdate", Answer({"signer"}, "-1h", ""), "signer", "2", "2"},
        {"25 hours old, no nextUpdate", Answer({"signer"}, "-25h", ""), "signer", kProducedAt, kProducedAt},
        {"made two days ahead", Answer({"signer"}, "+2d"), "signer", kProducedAt, kProducedAt},
        {"responder of another CA", Answer({"signer"}, "", "-ndays 1", true, "ocsp/otherresp"), "signer",
         kUndecodable + "Error: OCSP responder certificate not issued by the target's issuer CA",
         kUndecodable + "Error: OCSP responder certificate not issued by the target's issuer CA"},
        {"responder without the OCSP-signing purpose", Answer({"signer"}, "", "-ndays 1", true, "ocsp/noeku"), "signer",
         kUndecodable + "Error: responder's key not authorized to sign OCSP responses",
         kUndecodable + "Error: responder's key not authorized to sign OCSP responses"},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string answer = OpensslAnswer("stored-" + std::to_string(++number), c.answer);
        ASSERT_FALSE(answer.empty());
        const std::string with = CheckStored(answer, Pki(std::string(c.certificate) + ".cert.der"));
        EXPECT_EQ(with, c.withCertificate);
        ExpectNoStrayLineFeed(with);
        for (const char* none : {"NULL", ""}) {
            const std::string without = CheckStored(answer, none);
            EXPECT_EQ(without, c.without) << "FileCert \"" << none << "\"";
            ExpectNoStrayLineFeed(without);
        }
    }
}

TEST_F(StoredAnswers, TheGivenCertificateMustBeTheCAs)
{
    const std::string answer = OpensslAnswer("for-signer", Answer({"signer"}));
    ASSERT_FALSE(answer.empty());
    const std::string notACertificate = Work("not-a-certificate.txt");
    ASSERT_TRUE(testsupport::WriteFile(notACertificate, "not a certificate", 17));
    struct Case {
        const char* what;
        std::string certificate;
        bool withCa;
        const char* expected;
    } cases[] = {
        {"PEM form", Pki("signer.cert.pem"), true, "2"},
        {"missing", Work("no-such.cert.der"), true, "1\r\nNo existe el Certificado"},
        {"not a certificate", notACertificate, true,
         "1\r\nEl certificado proporcionado no pudo ser leido para comprobarlo con la AC"},
        // The other CA's certificate with the signer's serial.
        {"another CA's, same serial", Pki("other.cert.der"), true,
         "1\r\nEl Certificado proporcionado no fue expedido por la AC"},
        {"no CA configured", Pki("signer.cert.der"), false,
         "1\r\nError decodificando respuesta OCSP: Error: reading issuer certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Configure(c.withCa);
        EXPECT_EQ(CheckStored(answer, c.certificate), c.expected);
    }
}

// A folder of its own for the kept answer: whatever the outcome, nothing but
// the kept file may be left in it.
class KeptAnswers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        good_ = new testsupport::OcspResponder(Pki("ocsp/index.txt"), Pki("ca.cert.pem"),
                                               Pki("ocsp/responder.cert.pem"), Pki("ocsp/responder.key.pem"));
        otherCa_ = new testsupport::OcspResponder(Pki("ocsp/index.txt"), Pki("ca.cert.pem"),
                                                  Pki("ocsp/otherresp.cert.pem"), Pki("ocsp/otherresp.key.pem"));
    }
    static void TearDownTestSuite()
    {
        delete good_;
        delete otherCa_;
        good_ = otherCa_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(good_->Started()) << good_->Log();
        ASSERT_TRUE(otherCa_->Started()) << otherCa_->Log();
        ASSERT_TRUE(HostHas(kFaketime)) << "scripts/setup.sh installs faketime";
        CreateDirectoryA(Folder().c_str(), nullptr);
    }
    void TearDown() override { testsupport::registry::DeleteKey(); }

    static std::string Folder() { return Work("kept"); }
    static std::string Kept() { return Folder() + "/signer.ocsp"; }

    static std::vector<std::string> FolderFiles()
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((Folder() + "/*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileA(find, &found));
        FindClose(find);
        return names;
    }

    // "A" on the message with the answer kept in Kept().
    static std::string Open(const std::string& url, const std::string& message)
    {
        Configure(true, url);
        TTavomir engine;
        engine.Operation = "A";
        engine.TypeOne = "F";
        engine.FileInputOne = Pki("messages/" + message);
        engine.FileOutputOne = "NULL";
        engine.OCSPFileOne = Kept();
        return MessageOf(engine);
    }

    static testsupport::OcspResponder* good_;
    static testsupport::OcspResponder* otherCa_;
};
testsupport::OcspResponder* KeptAnswers::good_ = nullptr;
testsupport::OcspResponder* KeptAnswers::otherCa_ = nullptr;

// An HTTP reply carrying the bytes as an OCSP answer.
std::string AnswerReply(const std::string& name, const Bytes& der)
{
    const std::string file = Work(name + ".reply");
    const std::string reply = "HTTP/1.0 200 Ok\r\nContent-Type: application/ocsp-response\r\nContent-Length: " +
                              std::to_string(der.size()) + "\r\n\r\n" + Text(der);
    EXPECT_TRUE(testsupport::WriteFile(file, reply.data(), reply.size()));
    return file;
}

TEST_F(KeptAnswers, ReplacedOnlyByAnAnswerThatPassed)
{
    // The earlier evidence: a good answer kept by "A" a moment ago.
    std::remove(Kept().c_str());
    ASSERT_EQ(Open(good_->Url(), "att.sha256.der"), "2");
    const Bytes earlier = testsupport::ReadFile(Kept());
    ASSERT_FALSE(earlier.empty());
    ASSERT_EQ(earlier[0], 'M');  // base64 text
    ASSERT_EQ(CheckStored(Kept(), Pki("signer.cert.der")), "2");

    // Answers a live query refuses, served in place of a responder.
    const std::string foreignNonce = OpensslAnswer("foreign-nonce", Answer({"signer"}));
    const std::string noNonce = OpensslAnswer("no-nonce", Answer({"signer"}, "", "-ndays 1", false));
    ASSERT_FALSE(foreignNonce.empty());
    ASSERT_FALSE(noNonce.empty());
    const std::string undetermined =
        "1\r\nEl status del certificado del firmante no se pudo determinar: Servidor OCSP no contesta";
    struct Case {
        const char* what;
        std::string url;                 // "" for the peer serving `served`
        Bytes served;
        std::string expected;
    } refused[] = {
        {"dead responder", "http://127.0.0.1:1/", {}, "1\r\nError : Error: openning OCSP socket"},
        {"responder of another CA", otherCa_->Url(), {},
         "1\r\nError : Error: OCSP responder certificate not issued by the target's issuer CA"},
        {"another request's nonce", "", testsupport::ReadFile(foreignNonce), "1\r\nError : Error: nonce do not match"},
        {"no nonce", "", testsupport::ReadFile(noNonce), "1\r\nError : Error: nonce do not match"},
        {"undecodable", "", Bytes{0x30, 0x03, 0x0A, 0x01}, "1\r\nError : Error: decoding OCSP response"},
        {"tryLater, unsigned", "", Bytes{0x30, 0x03, 0x0A, 0x01, 0x03}, undetermined},
    };
    int number = 0;
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testsupport::WriteFile(Kept(), earlier.data(), earlier.size()));
        std::unique_ptr<testsupport::HttpPeer> peer;
        if (c.url.empty())
            peer = std::make_unique<testsupport::HttpPeer>("--reply " + AnswerReply("served-" + std::to_string(++number), c.served));
        const std::string message = Open(c.url.empty() ? peer->Url("/") : c.url, "att.sha256.der");
        EXPECT_EQ(message, c.expected);
        ExpectNoStrayLineFeed(message);
        EXPECT_EQ(testsupport::ReadFile(Kept()), earlier);
        EXPECT_EQ(FolderFiles(), std::vector<std::string>{"signer.ocsp"});
    }

    // Answers that passed replace it whole, whatever status they give.
    struct Passed {
        const char* message;
        const char* result;
        const char* certificate;
        std::string keptCheck;
    } passed[] = {
        {"att.revoked.der", "1\r\nEl Certificado del firmante esta Revocado: Certificado Revocado : 20240601120000Z",
         "revoked", kRevoked},
        {"att.sha256.der", "2", "signer", "2"},
    };
    for (const Passed& p : passed) {
        SCOPED_TRACE(p.message);
        ASSERT_TRUE(testsupport::WriteFile(Kept(), earlier.data(), earlier.size()));
        EXPECT_EQ(Open(good_->Url(), p.message), p.result);
        const Bytes kept = testsupport::ReadFile(Kept());
        EXPECT_NE(kept, earlier);
        EXPECT_EQ(FolderFiles(), std::vector<std::string>{"signer.ocsp"});
        EXPECT_EQ(CheckStored(Kept(), Pki(std::string(p.certificate) + ".cert.der")), p.keptCheck);
        // openssl reads what was kept: base64 text of a DER answer it verifies.
        const std::string der = Work("kept.der"), text = Work("kept.txt");
        ASSERT_EQ(testsupport::openssl::RunShell("tr -d '\\r\\n' <" + Kept() + " | base64 -d >" + der), 0);
        EXPECT_EQ(testsupport::openssl::Run("ocsp -respin " + der + " -CAfile " + Pki("ca.cert.pem") + " -issuer " +
                                            Pki("ca.cert.pem") + " -cert " + Pki(std::string(p.certificate) + ".cert.pem") +
                                            " -no_nonce -out " + text),
                  0);
        EXPECT_NE(Text(testsupport::ReadFile(text)).find(std::string(p.certificate) == "signer" ? ": good" : ": revoked"),
                  std::string::npos);
    }
}

TEST(OcspTexts, LibraryTextsShownWithoutTheirLineEnd)
{
    // Every error value the library words, and values it does not know.
    std::vector<std::uint32_t> codes = {0, 0x80000000u, 3};
    for (int bit = 0; bit < 31; ++bit) codes.push_back(1u << bit);
    for (std::uint32_t code : codes) {
        SCOPED_TRACE(code);
        char raw[512] = {};
        _GetOCSPErrorDescription2(code, raw);
        const std::string shown = OcspErrorText(code);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.find_first_of("\r\n"), std::string::npos);
        EXPECT_NE(shown.back(), ' ');
        // The library's own words, only the line end gone.
        EXPECT_EQ(std::string(raw).compare(0, shown.size(), shown), 0) << raw;
        EXPECT_EQ(std::string(raw).find_first_not_of(" \n", shown.size()), std::string::npos) << raw;
    }
    EXPECT_EQ(OcspErrorText(0x8000u), "Error: OCSP responder certificate not issued by the target's issuer CA");
    EXPECT_EQ(OcspErrorText(0x4u), "Error: reading target certificates");
    EXPECT_EQ(OcspLibraryText(nullptr), "");
    TOcspRecord fresh;
    ASSERT_TRUE(fresh.Initialised());
    EXPECT_EQ(fresh.ErrorText(), "Error: an unidentified error ocurred");
}

}  // namespace
