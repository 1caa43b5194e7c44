// The console's requestor loader, its standard input and output taken from
// and written to files: both certificates of the path are loaded, the
// entity's subject Name is the one the platform reads, and a request signed
// with what it loaded is read by `openssl ocsp`.
#include <gtest/gtest.h>
#include <direct.h>
#include <io.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ocsp/Dunmere.h"
#include "ocsp/console/console_routines.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "tests/support/ocsp_test_util.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;

// Runs in the work folder (the console asks for short names) with standard
// input from the text and standard output into a file, until Output().
class ConsoleSession {
public:
    explicit ConsoleSession(const std::string& input)
    {
        char* current = _getcwd(nullptr, 0);
        if (current) previous_ = current;
        std::free(current);
        _chdir(testsupport::WorkDir().c_str());
        testsupport::WriteFile("console.in", input.data(), input.size());
        std::fflush(stdout);
        savedIn_ = _dup(_fileno(stdin));
        savedOut_ = _dup(_fileno(stdout));
        ready_ = std::freopen("console.in", "rb", stdin) && std::freopen("console.out", "wb", stdout);
    }
    ~ConsoleSession() { Output(); }
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    bool Ready() const { return ready_; }
    // Gives the streams back; what was written.
    std::string Output()
    {
        if (savedOut_ >= 0) {
            std::fflush(stdout);
            _dup2(savedOut_, _fileno(stdout));
            _dup2(savedIn_, _fileno(stdin));
            _close(savedOut_);
            _close(savedIn_);
            savedOut_ = savedIn_ = -1;
            std::clearerr(stdin);
            const Bytes written = testsupport::ReadFile("console.out");
            output_.assign(written.begin(), written.end());
            if (!previous_.empty()) _chdir(previous_.c_str());
        }
        return output_;
    }

private:
    std::string previous_, output_;
    int savedIn_ = -1, savedOut_ = -1;
    bool ready_ = false;
};

// The subject Name element as the platform reads it.
Bytes PlatformSubject(const Bytes& der)
{
    PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                          static_cast<DWORD>(der.size()));
    if (!context) return {};
    const CERT_NAME_BLOB& subject = context->pCertInfo->Subject;
    Bytes name(subject.pbData, subject.pbData + subject.cbData);
    CertFreeCertificateContext(context);
    return name;
}

// The requestor certificates the record holds (slot 14 of the user set).
std::vector<Bytes> Requestors(const OCSPData& record)
{
    std::vector<Bytes> out;
    std::uint32_t count = 0;
    CountDataItems(record.userSets, kSlotUserCertificates, &count);
    for (std::uint32_t n = 1; n <= count; ++n) {
        const unsigned char* data = nullptr;
        std::size_t length = 0;
        GetDataItem(record.userSets, kSlotUserCertificates, n, &data, &length);
        out.emplace_back(data, data + length);
    }
    return out;
}

struct Record {
    OCSPData data = {};
    bool ready = _InitOCSPData(&data) == 0;
    ~Record()
    {
        if (ready) _DestroyOCSPData(&data);
    }
};

class ConsoleRequestor : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::string work = testsupport::WorkDir() + "/";
        const Bytes ca = testsupport::ReadFile(Pki("ca.cert.der")), signer = testsupport::ReadFile(Pki("signer.cert.der"));
        testsupport::WriteFile(work + "ca.der", ca.data(), ca.size());
        testsupport::WriteFile(work + "entity.der", signer.data(), signer.size());
        testsupport::WriteFile(work + "notcert.der", "not a certificate", 17);
        testsupport::WriteFile(work + "empty.der", "", 0);
        // A certificate followed by junk up to one byte past the read limit:
        // cut at the limit it would still decode.
        Bytes oversized = signer;
        oversized.resize(kConsoleFileLimit + 1, 0);
        testsupport::WriteFile(work + "oversized.der", oversized.data(), oversized.size());
        std::remove((work + "missing.der").c_str());
        // Valid past 2049: its validity is GeneralizedTime.
        testsupport::openssl::Run("req -x509 -newkey rsa:1024 -nodes -keyout " + work + "late.key.pem -subj /CN=Late " +
                                  "-days 20000 -sha1 -outform DER -out " + work + "late.der");
    }
};

TEST_F(ConsoleRequestor, LoadsBothFilesOfThePath)
{
    const std::string work = testsupport::WorkDir() + "/";
    const Bytes ca = testsupport::ReadFile(work + "ca.der"), signer = testsupport::ReadFile(work + "entity.der"),
                late = testsupport::ReadFile(work + "late.der");
    ASSERT_FALSE(late.empty());
    const char* askCa = "Nombre del archivo con el certificado de la AC emisora: ";
    const char* askEntity = "Nombre del archivo con el certificado de la entidad: ";
    struct Case {
        const char* what;
        const char* input;
        bool loaded;
        std::vector<std::string> printed;
        const Bytes* entity;  // when loaded
    } cases[] = {
        {"the path", "ca.der\nentity.der\n", true, {askCa, askEntity, "Ruta de Certificacion cargada \n"}, &signer},
        {"an entity valid into GeneralizedTime", "ca.der\nlate.der\n", true, {"Ruta de Certificacion cargada \n"},
         &late},
        {"a CA file that does not open", "missing.der\nentity.der\n", false,
         {"\n No se puede abrir el archivo missing.der para lectura. \n",
          "Error al cargar certificado del archivo missing.der . \n"},
         nullptr},
        {"an entity file that does not open", "ca.der\nmissing.der\n", false,
         {askEntity, "Error al cargar certificado del archivo missing.der . \n"}, nullptr},
        {"an empty CA file", "empty.der\nentity.der\n", false, {"Error al cargar certificado del archivo empty.der . \n"},
         nullptr},
        {"a CA file that is no certificate", "notcert.der\nentity.der\n", false,
         {"Ruta de Certificacion cargada \n", "Error al decodificar el certificado del archivo notcert.der . \n"},
         nullptr},
        {"an entity that is no certificate", "ca.der\nnotcert.der\n", false,
         {"Error al decodificar el certificado del archivo notcert.der . \n"}, nullptr},
        {"an entity file past the read limit", "ca.der\noversized.der\n", false,
         {"\n El archivo oversized.der es demasiado grande. \n",
          "Error al cargar certificado del archivo oversized.der . \n"},
         nullptr},
        {"no names at all", "", false, {"Error al cargar certificado del archivo  . \n"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Record record;
        ASSERT_TRUE(record.ready);
        Bytes subject = {0x55};
        bool loaded = false;
        std::string output;
        {
            ConsoleSession session(c.input);
            ASSERT_TRUE(session.Ready());
            loaded = LoadRequestorFromConsole(&record.data, subject);
            output = session.Output();
        }
        EXPECT_EQ(loaded, c.loaded);
        for (const std::string& text : c.printed) EXPECT_NE(output.find(text), std::string::npos) << output;
        if (!c.loaded) {
            EXPECT_TRUE(subject.empty());
            EXPECT_TRUE(Requestors(record.data).empty());
            // Nothing is asked after a CA file that did not load.
            if (std::string(c.input).rfind("missing.der\n", 0) == 0) {
                EXPECT_EQ(output.find(askEntity), std::string::npos);
            }
            continue;
        }
        EXPECT_EQ(subject, PlatformSubject(*c.entity));
        EXPECT_EQ(Requestors(record.data), (std::vector<Bytes>{ca, *c.entity}));
    }
}

TEST_F(ConsoleRequestor, SignedRequestCarriesWhatItLoaded)
{
    ASSERT_TRUE(testsupport::openssl::Available());
    Record record;
    ASSERT_TRUE(record.ready);
    const std::string url = "http://127.0.0.1:1/";
    const Bytes target = testsupport::ReadFile(Pki("signer.cert.der")), ca = testsupport::ReadFile(Pki("ca.cert.der"));
    const Bytes key = testsupport::ReadFile(Pki("signer.key.p8e.der"));
    const std::string password = "tavomir";
    ASSERT_EQ(_SetOCSPClient(2, 1, 1, 1, url.c_str(), static_cast<int>(url.size()), nullptr, &record.data, 0, 0), 0);
    ASSERT_EQ(_SetOCSPTarget(target.data(), static_cast<std::uint32_t>(target.size()), &record.data), 0);
    ASSERT_EQ(_SetOCSPIssuer(ca.data(), static_cast<std::uint32_t>(ca.size()), &record.data), 0);
    ASSERT_EQ(_SetCryptographicLibrary(&record.data, OCSP_LIB_OWN), 0);
    Bytes subject;
    {
        ConsoleSession session("ca.der\nentity.der\n");
        ASSERT_TRUE(session.Ready());
        ASSERT_TRUE(LoadRequestorFromConsole(&record.data, subject));
    }
    ASSERT_EQ(_SetOCSPUserPrivateKey(&record.data, key.data(), static_cast<std::uint32_t>(key.size())), 0);
    ASSERT_EQ(_SetOCSPUserPassword(&record.data, password.data(), static_cast<std::uint32_t>(password.size())), 0);
    ByteBuffer request = {nullptr, 0};
    ASSERT_EQ(_EncodeOCSPRequest(&record.data, &request), 0) << std::hex << record.data.errorCode;
    const Bytes der(request.pointer, request.pointer + request.length);
    _DestroyOCSPRequest(&request);

    EXPECT_EQ(subject, PlatformSubject(target));
    const std::string text = testsupport::ocsp::RequestText(der, "console-signed");
    EXPECT_NE(text.find("Requestor Name: DirName:C = ES, O = Norvane Test, OU = Tavomir, CN = Tavomir Test Signer"),
              std::string::npos)
        << text;
    // The CA's certificate travels with the signer's.
    EXPECT_NE(text.find("Subject: C=ES, O=Norvane Test, OU=Tavomir, CN=Tavomir Test CA"), std::string::npos)
        << text;
    EXPECT_TRUE(testsupport::ocsp::OpensslVerifiesRequestSignature(der, "signer", "console-signed"));
}

}  // namespace
