// The verifying operations "A", "AV" and "ARSA" through Execute, on messages
// and raw signatures made by the OpenSSL command line (tests/pki/
// make-messages.sh): one table per operation, then what a failure leaves of
// the client's file. After every case no temporary file may be left.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/der/oid.h"
#include "core/x509/crl_file_writer.h"
#include "signer/Unit_ttavomir.h"
#include "signer/certs/Unit_treqcert.h"
#include "signer/files/file_utils.h"
#include "signer/ocsp/ocsp_status.h"
#include "tests/support/installed_signer.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Msg(const std::string& name) { return testsupport::PkiDir() + "/messages/" + name; }
std::string Work(const std::string& name) { return testsupport::WorkDir() + "/verify-" + name; }

// The temporary folder's files of the pattern: "tkw*" our temporary files,
// "CRL*.tmp" scratch copies of a CRL's list.
int TempLeftovers(const char* pattern = "tkw*")
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((std::string(folder) + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (FindNextFileA(find, &found));
    FindClose(find);
    return count;
}

// A responder in place of the OCSP query.
enum class Responder { None, Good, Revoked, Unknown, Failure };
Responder responder = Responder::None;
int ocspQueries = 0;
std::string ocspKeptIn;

bool FakeQuery(const std::string&, const unsigned char* target, unsigned long targetLength, const unsigned char*,
               unsigned long issuerLength, std::string& text, int& status, const std::string& responseFile)
{
    ++ocspQueries;
    ocspKeptIn = responseFile;
    if (!target || targetLength == 0 || issuerLength == 0) {
        text = "SetOCSPIssuer failed";
        return false;
    }
    switch (responder) {
    case Responder::Good:
        status = kOcspStatusGood;
        return true;
    case Responder::Revoked:
        status = kOcspStatusRevoked;
        text = "Certificado Revocado : 20240601120000Z";
        return true;
    case Responder::Unknown:
        status = kOcspStatusUnknown;
        text = "Certificado desconocido";
        return true;
    default:
        text = "SetOCSPTarget failed";
        return false;
    }
}

// The configured checks of one case.
struct Checks {
    const char* ca = nullptr;  // PKI file name, or a file of this suite (no dot: "broken", "large")
    const char* ocsp = nullptr;
    Responder answer = Responder::None;
    const char* crl = nullptr;
};

void ExpectText(const std::string& actual, const std::string& expected)
{
    const std::string ellipsis = "...";
    if (expected.size() > ellipsis.size() && expected.compare(expected.size() - 3, 3, ellipsis) == 0) {
        std::string prefix = expected.substr(0, expected.size() - 3);
        EXPECT_EQ(actual.substr(0, prefix.size()), prefix);
        EXPECT_GT(actual.size(), prefix.size());
    } else {
        EXPECT_EQ(actual, expected);
    }
}

class VerifyOperations : public InstalledSignerTest {
protected:
    void SetUp() override
    {
        ResetSettings();
        ASSERT_TRUE(testsupport::WriteFile(Work("broken"), "not a certificate", 17));
        // The CA's certificate past the bound of certificate files.
        Bytes large = testsupport::ReadFile(testsupport::Pki("ca.cert.pem"));
        large.resize(TReqCert::kMaxFileSize + 1, '\n');
        ASSERT_TRUE(testsupport::WriteFile(Work("large"), large.data(), large.size()));
        leftovers_ = TempLeftovers();
        ocspQueries = 0;
        ocspKeptIn.clear();
    }
    void TearDown() override
    {
        SetOCSPStatusQueryForTests(nullptr);
        testsupport::registry::DeleteKey();
        EXPECT_EQ(TempLeftovers(), leftovers_) << "temporary files left";
    }

    // Only the configured signer: envelopes open without the dialog.
    void ResetSettings()
    {
        testsupport::registry::DeleteKey();
        ConfigureInstalledSigner();
    }

    void Configure(const Checks& checks)
    {
        ResetSettings();
        auto path = [](const char* name) {
            std::string file = name;
            if (file.find('.') == std::string::npos) return Work(file);  // this suite's files
            return testsupport::PkiDir() + "/" + file;
        };
        if (checks.ca) {
            testsupport::registry::SetDword("USAR_AC", 1);
            testsupport::registry::SetText("CERT_AC", path(checks.ca));
        }
        if (checks.ocsp) {
            testsupport::registry::SetDword("USAR_OCSP", 1);
            testsupport::registry::SetText("URL_OCSP", checks.ocsp);
        }
        if (checks.crl) {
            testsupport::registry::SetDword("USAR_CRL", 1);
            testsupport::registry::SetText("CRL", path(checks.crl));
        }
        responder = checks.answer;
        SetOCSPStatusQueryForTests(checks.answer == Responder::None ? nullptr : FakeQuery);
    }

    // One case of a table: the checks, the operation's fields, its result.
    void ExpectOperation(const char* operation, const Checks& checks, const std::function<void(TTavomir&)>& fields,
                         const std::string& expected, bool ok)
    {
        Configure(checks);
        engine_.Clear();
        engine_.Operation = operation;
        engine_.Message = "stale";
        fields(engine_);
        EXPECT_EQ(engine_.Execute(), ok);
        ExpectText(engine_.Message, expected);
        EXPECT_EQ(TempLeftovers(), leftovers_) << "temporary files left";
    }

    TTavomir engine_;
    int leftovers_ = 0;
};

// Files "" stay ""; others are message names, "-" a missing file.
std::string File(const char* name)
{
    std::string file = name;
    if (file.empty()) return "";
    if (file == "-") return Work("missing.bin");
    return Msg(file);
}

// --- "A" ----------------------------------------------------------------------

struct OpenCase {
    const char* what;
    const char* kindOne;
    const char* fileOne;
    const char* kindTwo;
    const char* fileTwo;
    Checks checks;
    std::string expected;  // whole text, or the component's own part ending in "..."
    bool ok;
};

const std::string kDifferent = "1\r\nLos Archivos son Diferentes";
const std::string kBadKindOne = "1\r\nEl tipo escpecificado para el archivo 1 no es valido";
const std::string kNotIssued = "1\r\nCertificado del firmante no emitido por la AC configurada";
const std::string kRevokedByCrl = "1\r\nEl Certificado del firmante esta Revocado";
const std::string kUndeterminedSigner = "1\r\nEl status del certificado del firmante no se pudo determinar: ...";

const OpenCase kOpenCases[] = {
    {"plain files alike", "N", "content.bin", "N", "content.bin", {}, "2", true},
    {"plain files differ", "N", "content.bin", "N", "att.sha256.der", {}, kDifferent, false},
    {"one plain file", "N", "content.bin", "", "", {}, "2", true},
    {"sha1 without attributes", "F", "att.sha1.noattr.der", "N", "content.bin", {}, "2", true},
    {"sha256 with attributes", "F", "att.sha256.der", "N", "content.bin", {}, "2", true},
    {"base64 text", "F", "att.sha256.b64", "N", "content.bin", {}, "2", true},
    {"indefinite lengths", "F", "att.stream.der", "N", "content.bin", {}, "2", true},
    {"two signers", "F", "att.two.der", "N", "content.bin", {}, "2", true},
    {"over 32 KB of certificates", "F", "att.certs40.der", "N", "content.bin", {"ca.cert.der"}, "2", true},
    {"300 certificates", "F", "att.certs300.der", "N", "content.bin", {"ca.cert.der"}, "2", true},
    {"envelope of 300 certificates", "E", "env.certs300.der", "N", "content.bin", {"ca.cert.der"}, "2", true},
    {"signed file alone", "F", "att.sha256.der", "", "", {}, "2", true},
    {"both signed", "F", "att.stream.der", "F", "att.sha1.noattr.der", {}, "2", true},
    {"signer not carried", "F", "att.nocerts.der", "N", "content.bin", {}, "1\r\n...", false},
    {"tampered content", "F", "att.tampered.der", "N", "content.bin", {}, "1\r\n...", false},
    {"envelope given as signed", "F", "env.rc4.der", "N", "content.bin", {}, "1\r\n...", false},
    {"rc4 envelope", "E", "env.rc4.der", "N", "content.bin", {}, "2", true},
    {"rc4 envelope as base64", "E", "env.rc4.b64", "N", "content.bin", {}, "2", true},
    {"3des envelope", "E", "env.3des.der", "F", "att.sha256.der", {}, "2", true},
    {"envelope alone", "E", "env.3des.der", "", "", {}, "2", true},
    {"envelope of another", "E", "env.other.der", "", "",
     {}, "1\r\nEl usuario especificado no es destinatario del sobre: ...", false},
    {"envelope without signature", "E", "env.unsigned.der", "", "", {}, "1\r\n...", false},
    {"signed given as envelope", "E", "att.sha256.der", "", "",
     {}, "1\r\nError: el archivo especificado no es un sobre: ...", false},
    {"missing first", "N", "-", "", "", {}, "1\r\nNo existe el archivo 1", false},
    {"missing second", "N", "content.bin", "N", "-", {}, "1\r\nNo existe el archivo 2", false},
    {"unknown kind", "X", "content.bin", "", "", {}, kBadKindOne, false},
    {"lower-case kind", "n", "content.bin", "", "", {}, kBadKindOne, false},
    {"raw kind refused", "RSA", "raw.be.sig", "", "", {}, kBadKindOne, false},
    {"bad second kind", "F", "att.sha256.der", "f", "content.bin",
     {}, "1\r\nEl tipo escpecificado para el archivo 2 no es valido", false},
    {"issued by the CA", "F", "att.sha256.der", "N", "content.bin", {"ca.cert.der"}, "2", true},
    {"CA as PEM", "F", "att.sha256.der", "", "", {"ca.cert.pem"}, "2", true},
    {"another CA", "F", "att.sha256.der", "", "", {"otherca.cert.der"}, kNotIssued, false},
    {"signer of another CA", "F", "att.other.der", "", "", {"ca.cert.der"}, kNotIssued, false},
    {"CA file does not decode", "F", "att.sha256.der", "", "",
     {"broken"}, "1\r\nEl certificado de la AC no pudo ser leido", false},
    {"CA file past the bound", "F", "att.sha256.der", "", "",
     {"large"}, "1\r\nEl certificado de la AC no pudo ser leido", false},
    {"UTF8String names, no CA", "F", "att.utf8.der", "", "", {}, "2", true},
    {"UTF8String names fail the CA check", "F", "att.utf8.der", "", "",
     {"ca.cert.der"}, "1\r\nEl certificado del firmante no pudo ser leido para comprobarlo con la AC", false},
    {"envelope, CA checked", "E", "env.rc4.der", "", "", {"otherca.cert.der"}, kNotIssued, false},
    {"OCSP good", "F", "att.sha256.der", "", "", {"ca.cert.der", "http://127.0.0.1:1/", Responder::Good}, "2",
     true},
    {"OCSP revoked", "F", "att.sha256.der", "", "",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Revoked},
     "1\r\nEl Certificado del firmante esta Revocado: Certificado Revocado : 20240601120000Z", false},
    {"OCSP unknown", "F", "att.sha256.der", "", "",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Unknown},
     "1\r\nEl status del certificado del firmante no se pudo determinar: Certificado desconocido", false},
    {"OCSP query failed", "E", "env.rc4.der", "", "",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Failure}, "1\r\nSetOCSPTarget failed", false},
    // OCSP on without the CA cannot be asked: never a valid answer without a check.
    {"OCSP without CA is not asked", "F", "att.sha256.der", "", "",
     {nullptr, "http://127.0.0.1:1/", Responder::Failure},
     "1\r\nEl status del certificado del firmante no se pudo determinar: "
     "No se ha configurado el certificado de la AC para consultar OCSP", false},
    {"OCSP without CA, the CRL lists the signer", "F", "att.sha256.der", "", "",
     {nullptr, "http://127.0.0.1:1/", Responder::Failure, "crl.top-bit.der"}, kRevokedByCrl, false},
    {"OCSP without CA, the CRL does not list the signer", "E", "env.rc4.der", "", "",
     {nullptr, "http://127.0.0.1:1/", Responder::Failure, "ca.crl.der"}, "2", true},
    {"delta CRL omitting the revoked signer", "F", "att.sha256.der", "", "",
     {nullptr, nullptr, Responder::None, "crl.delta.der"}, kUndeterminedSigner, false},
    {"OCSP responder not answering", "F", "att.sha256.der", "", "",
     {"ca.cert.der", "http://127.0.0.1:1/"}, "1\r\nError : Error: openning OCSP socket", false},
    {"CRL without the signer", "F", "att.sha256.der", "", "", {nullptr, nullptr, Responder::None, "ca.crl.der"},
     "2", true},
    {"CRL and CA without the signer", "E", "env.rc4.der", "", "",
     {"ca.cert.der", nullptr, Responder::None, "ca.crl.der"}, "2", true},
    {"CRL lists the signer", "F", "att.sha256.der", "", "", {nullptr, nullptr, Responder::None, "crl.top-bit.der"},
     kRevokedByCrl, false},
    {"CRL lists a top-bit serial", "F", "att.revoked.der", "", "", {nullptr, nullptr, Responder::None, "ca.crl.der"},
     kRevokedByCrl, false},
    {"stale CRL still counts", "E", "env.3des.der", "", "", {nullptr, nullptr, Responder::None, "crl.stale.der"},
     kRevokedByCrl, false},
    {"empty CRL", "F", "att.sha256.der", "", "", {nullptr, nullptr, Responder::None, "crl.empty.der"}, "2", true},
    {"CRL of another issuer", "F", "att.sha256.der", "", "",
     {nullptr, nullptr, Responder::None, "crl.other-ca.der"}, kUndeterminedSigner, false},
    {"CRL that does not load", "F", "att.sha256.der", "", "", {nullptr, nullptr, Responder::None, "broken"},
     kUndeterminedSigner, false},
    {"OCSP answers, CRL not consulted", "F", "att.sha256.der", "", "",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Good, "crl.top-bit.der"}, "2", true},
};

TEST_F(VerifyOperations, OpenTable)
{
    for (const OpenCase& c : kOpenCases) {
        SCOPED_TRACE(c.what);
        auto fields = [&c](TTavomir& engine) {
            engine.TypeOne = c.kindOne;
            engine.FileInputOne = File(c.fileOne);
            engine.FileOutputOne = "NULL";
            engine.TypeTwo = c.kindTwo;
            engine.FileInputTwo = File(c.fileTwo);
            engine.FileOutputTwo = "";
            engine.OCSPFileOne = Work("kept.ocsp");
        };
        ExpectOperation("A", c.checks, fields, c.expected, c.ok);
    }
}

TEST_F(VerifyOperations, OcspQueryGetsTheSignerTheCaAndTheResponseFile)
{
    Configure({"ca.cert.der", "http://127.0.0.1:1/", Responder::Good});
    engine_.Clear();
    engine_.Operation = "A";
    engine_.TypeOne = "F";
    engine_.FileInputOne = Msg("att.sha256.der");
    engine_.OCSPFileOne = Work("kept.ocsp");
    EXPECT_TRUE(engine_.Execute()) << engine_.Message;
    EXPECT_EQ(ocspQueries, 1);
    EXPECT_EQ(ocspKeptIn, Work("kept.ocsp"));
}

// --- what "A" leaves of the client's output ------------------------------------

TEST_F(VerifyOperations, ContentReachesTheNamedOutputOnlyWhenEveryCheckPassed)
{
    const Bytes content = testsupport::ReadFile(Msg("content.bin"));
    const std::string output = Work("content.out");
    struct Case {
        const char* what;
        const char* kind;
        const char* file;
        Checks checks;
        bool written;
    } cases[] = {
        {"verified", "F", "att.stream.der", {}, true},
        {"opened envelope", "E", "env.3des.der", {}, true},
        {"tampered", "F", "att.tampered.der", {}, false},
        {"signature good, CA check fails", "F", "att.sha256.der", {"otherca.cert.der"}, false},
        {"envelope, OCSP says revoked", "E", "env.rc4.der",
         {"ca.cert.der", "http://127.0.0.1:1/", Responder::Revoked}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
        Configure(c.checks);
        engine_.Clear();
        engine_.Operation = "A";
        engine_.TypeOne = c.kind;
        engine_.FileInputOne = Msg(c.file);
        engine_.FileOutputOne = output;
        EXPECT_EQ(engine_.Execute(), c.written) << engine_.Message;
        const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
        EXPECT_EQ(testsupport::ReadFile(output), c.written ? content : earlier);
    }
}

TEST_F(VerifyOperations, BadSecondKindKeepsTheFirstOutput)
{
    const std::string output = Work("first.out");
    std::remove(output.c_str());
    engine_.Clear();
    engine_.Operation = "A";
    engine_.TypeOne = "F";
    engine_.FileInputOne = Msg("att.sha256.der");
    engine_.FileOutputOne = output;
    engine_.TypeTwo = "Z";
    engine_.FileInputTwo = Msg("content.bin");
    EXPECT_FALSE(engine_.Execute());
    EXPECT_EQ(engine_.Message, "1\r\nEl tipo escpecificado para el archivo 2 no es valido");
    EXPECT_EQ(testsupport::ReadFile(output), testsupport::ReadFile(Msg("content.bin")));
}

// Either input named as the output, in any case: refused with a result
// text before anything is written, the input intact.
TEST_F(VerifyOperations, OutputNamingAnInputIsRefused)
{
    const std::string signedCopy = Work("Signed.der");
    const Bytes message = testsupport::ReadFile(Msg("att.sha256.der"));
    ASSERT_TRUE(testsupport::WriteFile(signedCopy, message.data(), message.size()));
    std::string upper = signedCopy;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string outputs[] = {signedCopy, upper, Msg("content.bin")};
    for (const std::string& output : outputs) {
        SCOPED_TRACE(output);
        engine_.Clear();
        engine_.Operation = "A";
        engine_.TypeOne = "F";
        engine_.FileInputOne = signedCopy;
        engine_.FileOutputOne = output;
        engine_.TypeTwo = "N";
        engine_.FileInputTwo = Msg("content.bin");
        EXPECT_FALSE(engine_.Execute());
        EXPECT_EQ(engine_.Message, "1\r\nEl archivo de salida no puede ser un archivo de entrada");
        EXPECT_EQ(testsupport::ReadFile(signedCopy), message);
    }
    EXPECT_EQ(testsupport::ReadFile(Msg("content.bin")).size(), 20000u);
}

// Same size, one byte apart at the end: the comparison reads every byte.
TEST_F(VerifyOperations, FilesOfOneSizeDifferingInTheLastByte)
{
    Bytes content = testsupport::ReadFile(Msg("content.bin"));
    content.back() ^= 0x80;
    const std::string changed = Work("changed.bin");
    ASSERT_TRUE(testsupport::WriteFile(changed, content.data(), content.size()));
    engine_.Clear();
    engine_.Operation = "A";
    engine_.TypeOne = "F";
    engine_.FileInputOne = Msg("att.sha256.der");
    engine_.TypeTwo = "N";
    engine_.FileInputTwo = changed;
    EXPECT_FALSE(engine_.Execute());
    EXPECT_EQ(engine_.Message, kDifferent);
}

// Messages of many blocks, as "F" and "FE" write them (base64) and as DER:
// each opens in one pass to the very content, and a tampered envelope
// leaves the client's earlier file as it was.
TEST_F(VerifyOperations, LargeMessagesOpenInOnePass)
{
    Bytes content(1024 * 1024 + 5);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>(i * 29 + (i >> 9));
    const std::string data = Work("large.bin");
    ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
    auto run = [&](const char* operation, const char* kind, const std::string& input, const std::string& output) {
        engine_.Clear();
        engine_.Operation = operation;
        engine_.Format = "PKCS";
        engine_.TypeOne = kind;
        engine_.FileInputOne = input;
        engine_.FileOutputOne = output;
        engine_.FileCert = testsupport::PkiDir() + "/signer.cert.der";
        return engine_.Execute();
    };
    const std::string signedText = Work("large.p7m"), envelopeText = Work("large.env.p7m");
    ASSERT_TRUE(run("F", "", data, signedText)) << engine_.Message;
    ASSERT_TRUE(run("FE", "", data, envelopeText)) << engine_.Message;
    const std::string signedDer = Work("large.p7"), envelopeDer = Work("large.env.p7");
    ASSERT_TRUE(ConvertFileBase64(signedText.c_str(), signedDer.c_str(), kFromBase64));
    ASSERT_TRUE(ConvertFileBase64(envelopeText.c_str(), envelopeDer.c_str(), kFromBase64));

    const std::string opened = Work("large.out");
    for (const auto& input : {std::make_pair("F", signedText), std::make_pair("F", signedDer),
                              std::make_pair("E", envelopeText), std::make_pair("E", envelopeDer)}) {
        SCOPED_TRACE(input.second);
        std::remove(opened.c_str());
        EXPECT_TRUE(run("A", input.first, input.second, opened)) << engine_.Message;
        EXPECT_EQ(engine_.Message, "2");
        EXPECT_TRUE(testsupport::ReadFile(opened) == content);
        EXPECT_EQ(TempLeftovers(), leftovers_) << "temporary files left";
    }

    Bytes envelope = testsupport::ReadFile(envelopeDer);
    envelope[envelope.size() / 2] ^= 0x01;  // inside the ciphertext
    const std::string tampered = Work("large.tampered.p7");
    ASSERT_TRUE(testsupport::WriteFile(tampered, envelope.data(), envelope.size()));
    ASSERT_TRUE(testsupport::WriteFile(opened, "earlier", 7));
    EXPECT_FALSE(run("A", "E", tampered, opened));
    ExpectText(engine_.Message, "1\r\n...");
    EXPECT_EQ(testsupport::ReadFile(opened), Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    for (const std::string& name : {data, signedText, envelopeText, signedDer, envelopeDer, tampered, opened})
        std::remove(name.c_str());
}

// --- "AV" ----------------------------------------------------------------------

struct DetachedCase {
    const char* what;
    const char* content;
    const char* signature;
    Checks checks;
    std::string expected;
    bool ok;
};

const DetachedCase kDetachedCases[] = {
    {"sha256 with attributes", "content.bin", "det.sha256.der", {}, "2", true},
    {"sha1 without attributes", "content.bin", "det.sha1.noattr.der", {}, "2", true},
    {"base64 text", "content.bin", "det.sha256.b64", {}, "2", true},
    {"signature over 8192 bytes", "content.bin", "det.big.der", {}, "2", true},
    {"over 32 KB of certificates", "content.bin", "det.certs40.der", {"ca.cert.der"}, "2", true},
    {"other content", "att.sha256.der", "det.sha256.der", {}, "1\r\n...", false},
    {"missing content", "-", "det.sha256.der", {}, "1\r\nNo existe el archivo 1", false},
    {"issued by the CA", "content.bin", "det.sha256.der", {"ca.cert.der"}, "2", true},
    {"another CA", "content.bin", "det.sha256.der", {"otherca.cert.der"}, kNotIssued, false},
    {"OCSP without CA is not asked", "content.bin", "det.sha256.der", {nullptr, "http://127.0.0.1:1/", Responder::Good},
     "1\r\nEl status del certificado del firmante no se pudo determinar: "
     "No se ha configurado el certificado de la AC para consultar OCSP", false},
    {"OCSP revoked", "content.bin", "det.sha256.der", {"ca.cert.der", "http://127.0.0.1:1/", Responder::Revoked},
     "1\r\nEl Certificado del firmante esta Revocado: Certificado Revocado : 20240601120000Z", false},
    {"CRL lists the signer", "content.bin", "det.big.der", {"ca.cert.der", nullptr, Responder::None, "crl.5000.der"},
     kRevokedByCrl, false},
    {"CRL without the signer", "content.bin", "det.sha256.der", {nullptr, nullptr, Responder::None, "crl.20-byte.der"},
     "2", true},
};

TEST_F(VerifyOperations, DetachedTable)
{
    for (const DetachedCase& c : kDetachedCases) {
        SCOPED_TRACE(c.what);
        auto fields = [&c](TTavomir& engine) {
            engine.FileInputOne = File(c.content);
            engine.FileInputTwo = File(c.signature);
        };
        ExpectOperation("AV", c.checks, fields, c.expected, c.ok);
    }
}

// --- "ARSA" --------------------------------------------------------------------

struct RawCase {
    const char* what;
    const char* data;
    const char* signature;
    const char* certificate;  // PKI or message file name, "NULL", or "-" (missing)
    Checks checks;
    std::string expected;
    bool ok;
};

const std::string kUndetermined = "1\r\nEl estatus de revocación del Certificado no se pudo determinar";
const Checks kGood = {"ca.cert.der", "http://127.0.0.1:1/", Responder::Good};

const RawCase kRawCases[] = {
    {"big-endian, DER certificate", "content.bin", "raw.be.sig", "signer.cert.der", kGood, "2", true},
    {"little-endian, PEM certificate", "content.bin", "raw.le.sig", "signer.cert.pem", kGood, "2", true},
    {"base64 certificate", "content.bin", "raw.be.sig", "messages/signer.cert.b64", kGood, "2", true},
    {"chosen certificate", "content.bin", "raw.be.sig", "NULL", kGood, "2", true},
    {"no revocation means", "content.bin", "raw.be.sig", "signer.cert.der", {}, kUndetermined, false},
    {"other data", "att.sha256.der", "raw.be.sig", "signer.cert.der", kGood, "1\r\nEl archivo no es autentico",
     false},
    {"other signer", "content.bin", "raw.be.sig", "signer2.cert.der", kGood, "1\r\nEl archivo no es autentico",
     false},
    {"missing data", "-", "raw.be.sig", "signer.cert.der", kGood, "1\r\nNo existe el archivo Original", false},
    {"missing signature", "content.bin", "-", "signer.cert.der", kGood, "1\r\nNo existe el archivo de la Firma",
     false},
    {"missing certificate", "content.bin", "raw.be.sig", "-", kGood, "1\r\nNo existe el Certificado", false},
    {"not a certificate", "content.bin", "raw.be.sig", "messages/content.bin", kGood,
     "1\r\nNo se encontro certificado para verificar firma RSA", false},
    {"issued by the CA", "content.bin", "raw.be.sig", "signer.cert.der",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Good}, "2", true},
    {"another CA", "content.bin", "raw.be.sig", "signer.cert.der",
     {"otherca.cert.der", "http://127.0.0.1:1/", Responder::Good},
     "1\r\nEl Certificado proporcionado no fue expedido por la AC", false},
    {"CA file does not decode", "content.bin", "raw.be.sig", "signer.cert.der",
     {"broken", "http://127.0.0.1:1/", Responder::Good}, "1\r\nEl certificado de la AC no pudo ser leido", false},
    {"OCSP revoked", "content.bin", "raw.be.sig", "signer.cert.der",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Revoked}, "1\r\nEl Certificado proporcionado esta Revocado",
     false},
    {"OCSP unknown", "content.bin", "raw.be.sig", "signer.cert.der",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Unknown}, "1\r\nOCSP:Certificado desconocido", false},
    {"OCSP failed", "content.bin", "raw.be.sig", "signer.cert.der",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Failure}, "1\r\nSetOCSPTarget failed", false},
    {"OCSP without a CA has no issuer", "content.bin", "raw.be.sig", "signer.cert.der",
     {nullptr, "http://127.0.0.1:1/", Responder::Good}, "1\r\nSetOCSPIssuer failed", false},
    {"CRL without the signer", "content.bin", "raw.be.sig", "signer.cert.der",
     {"ca.cert.der", nullptr, Responder::None, "ca.crl.der"}, "2", true},
    {"CRL lists the signer", "content.bin", "raw.le.sig", "signer.cert.pem",
     {nullptr, nullptr, Responder::None, "crl.top-bit.der"}, "1\r\nEl Certificado proporcionado esta Revocado", false},
    {"CRL that does not load", "content.bin", "raw.be.sig", "signer.cert.der",
     {nullptr, nullptr, Responder::None, "broken"}, kUndetermined + ": ...", false},
    {"OCSP first, CRL not consulted", "content.bin", "raw.be.sig", "signer.cert.der",
     {"ca.cert.der", "http://127.0.0.1:1/", Responder::Good, "crl.top-bit.der"}, "2", true},
    {"OCSP responder not answering", "content.bin", "raw.be.sig", "signer.cert.der",
     {"ca.cert.der", "http://127.0.0.1:1/"}, "1\r\nError : Error: openning OCSP socket", false},
};

TEST_F(VerifyOperations, RawTable)
{
    for (const RawCase& c : kRawCases) {
        SCOPED_TRACE(c.what);
        auto fields = [&c](TTavomir& engine) {
            engine.FileInputOne = File(c.data);
            engine.FileInputTwo = File(c.signature);
            std::string certificate = c.certificate;
            engine.FileCert = certificate == "NULL" ? certificate
                              : certificate == "-"  ? Work("missing.cer")
                                                    : testsupport::PkiDir() + "/" + certificate;
        };
        ExpectOperation("ARSA", c.checks, fields, c.expected, c.ok);
    }
}

// --- why a CRL does not settle the status, through the three operations -------

// The signer's message, detached signature and raw signature, each checked
// by its operation.
void SignedMessageFields(TTavomir& engine)
{
    engine.TypeOne = "F";
    engine.FileInputOne = Msg("att.sha256.der");
    engine.FileOutputOne = "NULL";
}

void DetachedSignatureFields(TTavomir& engine)
{
    engine.FileInputOne = Msg("content.bin");
    engine.FileInputTwo = Msg("det.sha256.der");
}

void RawSignatureFields(TTavomir& engine)
{
    engine.FileInputOne = Msg("content.bin");
    engine.FileInputTwo = Msg("raw.be.sig");
    engine.FileCert = testsupport::PkiDir() + "/signer.cert.der";
}

TEST_F(VerifyOperations, EachCRLFailureHasItsText)
{
    struct Case {
        const char* what;
        const char* ca;
        const char* crl;
        const char* reason;
    } cases[] = {
        {"missing", nullptr, "no-such.crl", "No existe el archivo del CRL"},
        {"does not decode", nullptr, "broken", "Error al decodificar el CRL"},
        {"another issuer's", nullptr, "crl.other-ca.der", "El CRL no fue emitido por el emisor del certificado"},
        {"another issuer's, with the CA", "ca.cert.der", "crl.other-ca.der",
         "El CRL no fue emitido por la AC configurada"},
        {"an issuer with an extra attribute", nullptr, "crl.extra-attribute.der",
         "El CRL no fue emitido por el emisor del certificado"},
        {"forged: the CA's name, another key", "ca.cert.der", "crl.impostor.der", "La firma del CRL no es valida"},
        {"delta", "ca.cert.der", "crl.delta.der", "El CRL contiene una extension critica no soportada"},
        {"critical issuingDistributionPoint", nullptr, "crl.idp.der",
         "El CRL contiene una extension critica no soportada"},
        {"signed with SHA-256", "ca.cert.der", "crl.sha256.der", "El algoritmo de firma del CRL no es soportado"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Checks checks = {c.ca, nullptr, Responder::None, c.crl};
        ExpectOperation("A", checks, SignedMessageFields,
                        "1\r\nEl status del certificado del firmante no se pudo determinar: " + std::string(c.reason),
                        false);
        ExpectOperation("AV", checks, DetachedSignatureFields,
                        "1\r\nEl status del certificado del firmante no se pudo determinar: " + std::string(c.reason),
                        false);
        ExpectOperation("ARSA", checks, RawSignatureFields, kUndetermined + ": " + c.reason, false);
    }
}

// --- a CRL of 100 MiB ------------------------------------------------------

// Written by our writer (which openssl checks in the core's tests), signed
// by the test CA: entries up to `bytes`, then the signer.
int WriteLargeCRL(const std::string& path, std::uint64_t bytes)
{
    const RsaPrivateKey key = testsupport::pki_keys::PrivateKey("ca");
    const Bytes certificate = testsupport::ReadFile(testsupport::Pki("ca.cert.der"));
    CRLFileWriter writer;
    int result = OpenCRLFileWriter(&writer, path.c_str());
    for (std::uint32_t i = 0; result == kCRLSuccess && writer.entriesLength < bytes; ++i) {
        const unsigned char serial[] = {0x40, static_cast<unsigned char>(i >> 16), static_cast<unsigned char>(i >> 8),
                                        static_cast<unsigned char>(i)};
        result = AddCRLFileEntry(&writer, serial, sizeof serial, "240601120000Z", 1);
    }
    const unsigned char signer[] = {0x10, 0x02};
    if (result == kCRLSuccess) result = AddCRLFileEntry(&writer, signer, sizeof signer, "240601120000Z", 1);
    if (result == kCRLSuccess)
        result = SignCRLFile(&writer, certificate.data(), certificate.size(), &key, "240701000000Z", "491231235959Z",
                             kAlgSHA1WithRsa);
    CloseCRLFileWriter(&writer);
    return result;
}

// "A", "AV" and "ARSA" with the CRL check on (and its signature checked)
// answer within seconds, in one pass over the list and nothing copied.
TEST_F(VerifyOperations, A100MiBCRLIsCheckedInSeconds)
{
    const std::string crl = Work("crl100mib");
    ASSERT_EQ(WriteLargeCRL(crl, 100u << 20), kCRLSuccess);
    const int scratch = TempLeftovers("CRL*.tmp");
    const Checks checks = {"ca.cert.der", nullptr, Responder::None, "crl100mib"};
    struct Case {
        const char* operation;
        std::function<void(TTavomir&)> fields;
        std::string expected;
    } cases[] = {
        {"A", SignedMessageFields, kRevokedByCrl},
        {"AV", DetachedSignatureFields, kRevokedByCrl},
        {"ARSA", RawSignatureFields, "1\r\nEl Certificado proporcionado esta Revocado"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        const auto start = std::chrono::steady_clock::now();
        ExpectOperation(c.operation, checks, c.fields, c.expected, false);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 8.0);
        std::printf("%s with a 100 MiB CRL: %.2f s\n", c.operation, seconds);
        EXPECT_EQ(TempLeftovers("CRL*.tmp"), scratch) << "scratch copy left";
    }
    std::remove(crl.c_str());
}

}  // namespace
