// The object in use: signing with the configured certificate, exceptions
// turned into COM errors, and real automation clients (Wine's cscript
// running JScript and VBScript) whose output the host's OpenSSL checks.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "signer/Unit_ttavomir.h"
#include "platform/ansi_text.h"
#include "tests/support/com_fixture.h"
#include "tests/support/host_openssl.h"
#include "tests/support/installed_signer.h"
#include "tests/support/posted_call.h"
#include "tests/support/registry_fixture.h"

using namespace testsupport::com;

namespace {

// The signer installed in "MY" and configured as the certificate for all
// signing; the server registered.
class ComClients : public InstalledSignerTest {
protected:
    static void SetUpTestSuite()
    {
        InstalledSignerTest::SetUpTestSuite();
        ASSERT_EQ(MainServer().Register(), S_OK);
    }
    void SetUp() override
    {
        testsupport::registry::DeleteKey();
        testsupport::registry::SetDword("USAR_CERT", 1);
        testsupport::registry::Set("USER_CERT", REG_BINARY, testsupport::FromHex(thumbprint_).data(), 20);
        out_ = testsupport::WorkDir() + "/clients-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(out_.c_str(), nullptr);
    }
    void TearDown() override { testsupport::registry::DeleteKey(); }

    // The signer's serial in upper-case hex, most significant byte first.
    static std::string SignerSerial()
    {
        PCCERT_CONTEXT c = CertCreateCertificateContext(X509_ASN_ENCODING, signerDer_.data(),
                                                        static_cast<DWORD>(signerDer_.size()));
        std::string hex;
        if (!c) return hex;
        const CRYPT_INTEGER_BLOB& serial = c->pCertInfo->SerialNumber;
        for (DWORD i = serial.cbData; i > 0; --i) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", serial.pbData[i - 1]);
            hex += pair;
        }
        CertFreeCertificateContext(c);
        return hex;
    }

    static std::string Pki(const char* name) { return testsupport::PkiDir() + "/" + name; }

    // What the engine throws for "F"/"RSA" into a folder that does not exist.
    std::string EngineFileError(const std::string& input, const std::string& output)
    {
        TTavomir engine;
        engine.Operation = "F";
        engine.Format = "RSA";
        engine.FileInputOne = input;
        engine.FileOutputOne = output;
        try {
            engine.Execute();
        } catch (const std::exception& e) {
            return e.what();
        }
        return std::string();
    }

    TRun Script(const char* name, const std::vector<std::string>& arguments) { return RunScript(name, arguments); }

    std::string out_;
};

// --- through the vtable -------------------------------------------------------------

TEST_F(ComClients, SignsAttachedWithTheConfiguredCertificate)
{
    TPtr<ITavomir> o;
    ASSERT_EQ(MainServer().Create(IID_ITavomir, o.ReceiveVoid()), S_OK);
    const std::string output = out_ + "/vtable.p7m";
    o->put_Operation(TBstr(L"F").Get());
    o->put_Format(TBstr(L"pkcs").Get());
    o->put_FileInputOne(TBstr(Widen(FullPath(Pki("message.txt"))).c_str()).Get());
    o->put_FileOutputOne(TBstr(Widen(FullPath(output)).c_str()).Get());
    VARIANT_BOOL result = 123;
    ASSERT_EQ(o->Execute(&result), S_OK);
    TBstr message;
    ASSERT_EQ(o->get_Message(message.Receive()), S_OK);
    EXPECT_EQ(result, VARIANT_TRUE) << "exactly -1";
    EXPECT_EQ(message.Text(), L"2\r\n" + Widen(SignerSerial()));
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no host openssl";
    ASSERT_EQ(testsupport::openssl::RunShell("tr -d '\\r\\n' < " + output + " | base64 -d > " + output + ".der"), 0);
    EXPECT_EQ(testsupport::openssl::Run("cms -verify -inform DER -binary -CAfile " + Pki("ca.cert.pem") + " -in " + output +
                           ".der -out " + output + ".content >/dev/null 2>&1 && cmp -s " + output + ".content " +
                           Pki("message.txt")),
              0);
}

// A window message that runs while the object signs calls it again.
TEST_F(ComClients, ACallFromAPendingMessageIsRefusedWhileSigning)
{
    TPtr<ITavomir> o;
    ASSERT_EQ(MainServer().Create(IID_ITavomir, o.ReceiveVoid()), S_OK);
    const std::string output = out_ + "/first.p7m";
    const std::wstring otherOutput = Widen(FullPath(out_ + "/second.p7m"));
    HRESULT execute = S_OK, put = S_OK, clear = S_OK, configure = S_OK;
    std::wstring description;
    testsupport::TPostedCall reentry([&] {
        VARIANT_BOOL ignored = 0;
        execute = o->Execute(&ignored);
        TPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.Receive()) == S_OK) {
            TBstr text;
            info->GetDescription(text.Receive());
            description = text.Text();
        }
        put = o->put_FileOutputOne(TBstr(otherOutput.c_str()).Get());
        clear = o->Clear();
        configure = o->Configure();
    });
    o->put_Operation(TBstr(L"F").Get());
    o->put_Format(TBstr(L"PKCS").Get());
    o->put_FileInputOne(TBstr(Widen(FullPath(Pki("message.txt"))).c_str()).Get());
    o->put_FileOutputOne(TBstr(Widen(FullPath(output)).c_str()).Get());
    ASSERT_TRUE(reentry.Post());
    VARIANT_BOOL result = 0;
    const HRESULT hr = o->Execute(&result);

    ASSERT_TRUE(reentry.Called()) << "the signing let no message run";
    EXPECT_EQ(execute, DISP_E_EXCEPTION);
    EXPECT_EQ(description, L"El componente est\u00e1 ocupado con otra operaci\u00f3n");
    EXPECT_EQ(put, DISP_E_EXCEPTION);
    EXPECT_EQ(clear, DISP_E_EXCEPTION);
    EXPECT_EQ(configure, DISP_E_EXCEPTION);
    // The first call went on with its own fields.
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(result, VARIANT_TRUE);
    TBstr message, file;
    o->get_Message(message.Receive());
    o->get_FileOutputOne(file.Receive());
    EXPECT_EQ(message.Text(), L"2\r\n" + Widen(SignerSerial()));
    EXPECT_EQ(file.Text(), Widen(FullPath(output)));
    EXPECT_EQ(GetFileAttributesW(otherOutput.c_str()), INVALID_FILE_ATTRIBUTES);
    // And the object takes calls again.
    EXPECT_EQ(o->Clear(), S_OK);
}

TEST_F(ComClients, AnEscapingExceptionBecomesErrorInformation)
{
    const std::string input = FullPath(Pki("message.txt"));
    const std::string output = FullPath(out_ + "/missing folder/x.sig");
    const std::string expected = EngineFileError(input, output);
    ASSERT_FALSE(expected.empty()) << "the engine raises no file error for this case";

    TPtr<ITavomir> o;
    ASSERT_EQ(MainServer().Create(IID_ITavomir, o.ReceiveVoid()), S_OK);
    o->put_Operation(TBstr(L"F").Get());
    o->put_Format(TBstr(L"XYZ").Get());
    VARIANT_BOOL result = 0;
    ASSERT_EQ(o->Execute(&result), S_OK);
    TBstr before;
    o->get_Message(before.Receive());

    o->put_Format(TBstr(L"RSA").Get());
    o->put_FileInputOne(TBstr(Widen(input).c_str()).Get());
    o->put_FileOutputOne(TBstr(Widen(output).c_str()).Get());
    SetErrorInfo(0, nullptr);
    result = 123;
    EXPECT_EQ(o->Execute(&result), DISP_E_EXCEPTION);
    EXPECT_EQ(result, 123) << "no out-parameter on this path";

    TPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Receive()), S_OK);
    GUID guid = {};
    info->GetGUID(&guid);
    EXPECT_TRUE(IsEqualGUID(guid, IID_ITavomir));
    TBstr source, description, helpFile;
    info->GetSource(source.Receive());
    info->GetDescription(description.Receive());
    info->GetHelpFile(helpFile.Receive());
    EXPECT_EQ(source.Text(), L"TavomirCOM.Tavomir");
    EXPECT_EQ(description.Text(), AnsiToWide(expected.c_str()));
    EXPECT_EQ(helpFile.Text(), L"");

    TBstr after;
    o->get_Message(after.Receive());
    EXPECT_EQ(after.Text(), before.Text()) << "Message keeps its previous text";
}

// --- real automation clients --------------------------------------------------------

TEST_F(ComClients, JScriptPropertiesRoundTrip)
{
    TRun run = Script("tests/com/scripts/properties.js", {});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
}

TEST_F(ComClients, VBScriptPropertiesRoundTrip)
{
    TRun run = Script("tests/com/scripts/properties.vbs", {});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
}

TEST_F(ComClients, ScriptsSeeTheExceptionAsAnError)
{
    const std::string input = FullPath(Pki("message.txt"));
    const std::string output = FullPath(out_ + "/missing folder/x.sig");
    const std::string expected = EngineFileError(input, output);
    ASSERT_FALSE(expected.empty()) << "the engine raises no file error for this case";
    for (const char* script : {"tests/com/scripts/errors.vbs", "tests/com/scripts/errors.js"}) {
        TRun run = Script(script, {input, output, expected});
        EXPECT_EQ(run.exitCode, 0u) << script << "\n" << run.output;
    }
}

// The examples sign attached, detached, raw and enveloped; OpenSSL checks each.
void VerifyExampleOutputs(const std::string& out, const std::string& pki)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no host openssl";
    const std::string ca = " -CAfile " + pki + "/ca.cert.pem";
    const std::string message = pki + "/message.txt";
    for (const char* name : {"message.p7m", "message.p7s", "message.env.p7m"}) {
        const std::string f = out + "/" + name;
        EXPECT_EQ(testsupport::openssl::RunShell("tr -d '\\r\\n' < " + f + " | base64 -d > " + f + ".der"), 0) << name;
    }
    EXPECT_EQ(testsupport::openssl::Run("cms -verify -inform DER -binary" + ca + " -in " + out + "/message.p7m.der -out " + out +
                           "/attached.txt >/dev/null 2>&1 && cmp -s " + out + "/attached.txt " + message),
              0)
        << "attached";
    EXPECT_EQ(testsupport::openssl::Run("cms -verify -inform DER -binary" + ca + " -in " + out + "/message.p7s.der -content " +
                           message + " -out /dev/null >/dev/null 2>&1"),
              0)
        << "detached";
    EXPECT_EQ(testsupport::openssl::Run("x509 -in " + pki + "/signer.cert.pem -pubkey -noout > " + out +
                           "/signer.pub.pem && /usr/bin/openssl dgst -sha1 -verify " + out +
                           "/signer.pub.pem -signature " + out + "/message.sig " + message + " >/dev/null 2>&1"),
              0)
        << "raw";
    EXPECT_EQ(testsupport::openssl::Run("cms -decrypt -provider legacy -provider default -inform DER -in " + out +
                           "/message.env.p7m.der -recip " + pki + "/recipient.cert.pem -inkey " + pki +
                           "/recipient.key.pem -out " + out + "/inner.der 2>/dev/null && /usr/bin/openssl cms -verify "
                           "-inform DER -binary" + ca + " -in " + out + "/inner.der -out " + out +
                           "/enveloped.txt >/dev/null 2>&1 && cmp -s " + out + "/enveloped.txt " + message),
              0)
        << "enveloped";
}

TEST_F(ComClients, JScriptExampleSignsEveryWay)
{
    TRun run = Script("examples/sign.js", {FullPath(testsupport::PkiDir()), FullPath(out_)});
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("attached (F, PKCS): Execute true, Message 2 | " + SignerSerial()), std::string::npos)
        << run.output;
    VerifyExampleOutputs(out_, testsupport::PkiDir());
}

TEST_F(ComClients, VBScriptExampleSignsEveryWay)
{
    TRun run = Script("examples/sign.vbs", {FullPath(testsupport::PkiDir()), FullPath(out_)});
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    VerifyExampleOutputs(out_, testsupport::PkiDir());
}


// The verifying examples open what the signing examples wrote, with the
// envelope made for the configured signer and a CRL for the raw signature.
void CopyInto(const std::string& from, const std::string& to)
{
    const std::vector<unsigned char> bytes = testsupport::ReadFile(from);
    ASSERT_TRUE(testsupport::WriteFile(to, bytes.data(), bytes.size())) << to;
}

TEST_F(ComClients, ExamplesVerifyWhatTheyWrote)
{
    const std::string data = out_ + "/data";
    CreateDirectoryA(data.c_str(), nullptr);
    CopyInto(Pki("message.txt"), data + "/message.txt");
    CopyInto(Pki("signer.cert.der"), data + "/signer.cert.der");
    CopyInto(Pki("signer.cert.der"), data + "/recipient.cert.der");
    testsupport::registry::SetDword("USAR_CRL", 1);
    testsupport::registry::SetText("CRL", FullPath(Pki("ca.crl.der")));
    for (const char* pair : {"js", "vbs"}) {
        SCOPED_TRACE(pair);
        TRun signing = Script((std::string("examples/sign.") + pair).c_str(), {FullPath(data), FullPath(out_)});
        ASSERT_EQ(signing.exitCode, 0u) << signing.output;
        TRun run = Script((std::string("examples/verify.") + pair).c_str(), {FullPath(data), FullPath(out_)});
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_EQ(testsupport::ReadFile(out_ + "/opened.txt"), testsupport::ReadFile(Pki("message.txt")));
    }
}

}  // namespace
