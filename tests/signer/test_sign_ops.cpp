// The signing operations through Execute: the result texts, signatures made
// with the configured certificate and through the dialog, each checked by
// the host's openssl, and what a failure leaves of the client's file.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/certs/Unit_treqcert.h"
#include "signer/errors.h"
#include "tests/support/folder_files.h"
#include "tests/support/test_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/form_driver.h"
#include "tests/support/installed_signer.h"
#include "tests/support/registry_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kNoInput = "1\r\nEl archivo de entrada no existe";
const std::string kNoRecipientGiven = "1\r\nNo se especifico el certificado del destinatario";
const std::string kNoRecipientFound = "1\r\nNo se encontro el Certificado del Destinatario";
const std::string kConfiguredFailed = "1\r\nError identificando firmante usando certificado preconfigurado";
const std::string kDialogFailed = "1\r\nError identificando firmante: forma de Login";
const std::string kNotSigned = "1\r\nno fue posible firmar el documento";
const std::string kNotSecured = "1\r\nNo fue posible asegurar el documento: ";
const std::string kOutputIsInput = "1\r\nEl archivo de salida no puede ser un archivo de entrada";
const wchar_t* const kLoginCaption = L"Selecci\u00F3n de Certificado";
const char* const kAttached[] = {"F", "PKCS"};
const char* const kDetached[] = {"F", "PKCSD"};
const char* const kEnveloped[] = {"FE", "PKCS"};
const char* const kRaw[] = {"F", "RSA"};

std::string Pki(const std::string& name) { return testsupport::PkiDir() + "/" + name; }
std::string Work(const std::string& name) { return testsupport::WorkDir() + "/ops-" + name; }

Bytes Content(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>((i * 37 + i / 509) & 0xFF);
    return data;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The folder's "tkw" leftovers.
int Leftovers(const std::string& folder) { return testsupport::CountFiles(folder, "tkw*"); }

// An empty folder of the test's own (files of an earlier, killed run removed).
std::string MakeFolder(const std::string& name)
{
    std::string folder = Work(name);
    CreateDirectoryA(folder.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "/*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder + "/" + found.cFileName).c_str());
        while (FindNextFileA(find, &found));
        FindClose(find);
    }
    return folder;
}

// The base64 text decoded by the host, whatever its line breaks.
int DecodeBase64(const std::string& text, const std::string& der)
{
    std::remove(der.c_str());
    return testsupport::openssl::RunShell("tr -d '\\r\\n' < " + text + " | base64 -d > " + der);
}

// The serial as openssl prints it: "serial=" and upper-case hex.
std::string OpenSslSerial(const std::string& certificatePem)
{
    std::string out = Work("serial.txt");
    std::remove(out.c_str());
    if (testsupport::openssl::Run("x509 -noout -serial -in " + certificatePem + " -out " + out) != 0) return "";
    Bytes text = testsupport::ReadFile(out);
    std::string line(text.begin(), text.end());
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line.rfind("serial=", 0) == 0 ? line.substr(7) : "";
}

// Lines of 2000 characters (500 groups), each ended by CRLF; the last one
// may be shorter.
void ExpectBase64Lines(const std::string& path)
{
    Bytes text = testsupport::ReadFile(path);
    ASSERT_FALSE(text.empty());
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        ASSERT_GT(i, lineStart);
        EXPECT_EQ(text[i - 1], '\r');
        const std::size_t length = i - 1 - lineStart;
        lineStart = i + 1;
        if (lineStart < text.size()) {
            ASSERT_EQ(length, 2000u) << "a line before the last at " << lineStart;
        } else {
            EXPECT_LE(length, 2000u);
        }
    }
    EXPECT_LE(text.size() - lineStart, 2000u);
}

// The failure text of the kind, the platform's reason after the operation's.
void ExpectFailureText(const char* const* kind, const std::string& message)
{
    if (kind == kRaw) {
        EXPECT_EQ(message, kNotSigned);
    } else {
        EXPECT_EQ(message.rfind(kNotSecured, 0), 0u) << message;
        EXPECT_GT(message.size(), kNotSecured.size());
    }
}

// Runs the operation while a second thread closes the first visible window
// with the caption (a cancelled dialog, a warning answered).
bool RunClosing(const wchar_t* caption, const std::function<bool()>& operation, bool* closed = nullptr)
{
    std::atomic<bool> done{false};
    bool sawWindow = false;
    std::thread user([&] {
        for (int waited = 0; waited < 15000 && !done; waited += 20) {
            HWND window = FindWindowW(nullptr, caption);
            if (window && IsWindowVisible(window)) {
                sawWindow = true;
                PostMessageW(window, WM_CLOSE, 0, 0);
                return;
            }
            Sleep(20);
        }
    });
    bool ok = false;
    try {
        ok = operation();
    } catch (...) {
        done = true;
        user.join();
        throw;
    }
    done = true;
    user.join();
    if (closed) *closed = sawWindow;
    return ok;
}

class SigningOperations : public InstalledSignerTest {
protected:
    void SetUp() override
    {
        testsupport::registry::DeleteKey();
        ASSERT_EQ(thumbprint_.size(), 40u);
    }
    void TearDown() override { testsupport::registry::DeleteKey(); }

    void ConfigureSigner(bool on)
    {
        fixture::Bytes hash;
        ASSERT_TRUE(fixture::ParseHex(thumbprint_, hash));
        testsupport::registry::SetDword("USAR_CERT", on ? 1 : 0);
        testsupport::registry::Set("USER_CERT", REG_BINARY, hash.data(), static_cast<DWORD>(hash.size()));
    }

    // Runs an operation; the engine keeps every other field "".
    bool Run(const char* operation, const char* format, const std::string& input, const std::string& output,
             const std::string& recipient = "")
    {
        engine_.Clear();
        engine_.Operation = operation;
        engine_.Format = format;
        engine_.FileInputOne = input;
        engine_.FileOutputOne = output;
        engine_.FileCert = recipient;
        return engine_.Execute();
    }

    std::string Serial()
    {
        static std::string serial = OpenSslSerial(Pki("signer.cert.pem"));
        return serial;
    }

    TTavomir engine_;
};

// --- result texts ------------------------------------------------------------

TEST_F(SigningOperations, FailureTextsBeforeAnySignature)
{
    std::string input = Work("texts.bin");
    ASSERT_TRUE(testsupport::WriteFile(input, "data", 4));
    std::string missing = Work("no-such-input.bin");
    std::remove(missing.c_str());
    std::string output = Work("texts.out");
    std::string absentRecipient = Work("no-such-recipient.cer");
    struct Case {
        const char* operation;
        const char* format;
        std::string input;
        std::string recipient;
        const std::string& message;
    } cases[] = {
        {"F", "RSA", missing, "", kNoInput},
        {"F", "PKCS", missing, "", kNoInput},
        {"F", "PKCSD", missing, "", kNoInput},
        {"FE", "PKCS", missing, Pki("recipient.cert.der"), kNoInput},
        {"F", "PKCS", testsupport::WorkDir(), "", kNoInput},  // a folder is no input file
        {"FE", "PKCS", input, "", kNoRecipientGiven},
        {"FE", "PKCS", input, "NULL", kNoRecipientFound},
        {"FE", "PKCS", input, absentRecipient, kNoRecipientFound},
        {"FE", "PKCS", input, testsupport::WorkDir(), kNoRecipientFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + "/" + c.format + " " + c.input + " [" + c.recipient + "]");
        std::remove(output.c_str());
        EXPECT_FALSE(Run(c.operation, c.format, c.input, output, c.recipient));
        EXPECT_EQ(engine_.Message, c.message);
        EXPECT_FALSE(Exists(output));
    }
}

// A configured certificate that "MY" does not hold: every signing kind fails
// with its own text and the client's earlier output stays as it was.
TEST_F(SigningOperations, ConfiguredCertificateMissingFromTheStore)
{
    Bytes unknown(20, 0xA5);
    testsupport::registry::SetDword("USAR_CERT", 1);
    testsupport::registry::Set("USER_CERT", REG_BINARY, unknown.data(), 20);
    std::string folder = MakeFolder("unknown");
    std::string input = folder + "/in.bin";
    std::string output = folder + "/out.txt";
    ASSERT_TRUE(testsupport::WriteFile(input, "data", 4));
    const char* const kinds[][2] = {{"F", "RSA"}, {"F", "PKCS"}, {"F", "pkcsd"}, {"FE", "PKCS"}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(std::string(kind[0]) + "/" + kind[1]);
        ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
        bool warned = false;
        EXPECT_FALSE(RunClosing(
            L"Aviso", [&] { return Run(kind[0], kind[1], input, output, Pki("recipient.cert.der")); }, &warned));
        EXPECT_TRUE(warned);
        EXPECT_EQ(engine_.Message, kConfiguredFailed);
        EXPECT_EQ(testsupport::ReadFile(output), Text("earlier"));
        EXPECT_EQ(Leftovers(folder), 0);
    }
}

// Closing the selection dialog is a cancel; the earlier output stays.
TEST_F(SigningOperations, CancelledDialog)
{
    std::string folder = MakeFolder("cancel");
    std::string input = folder + "/in.bin";
    std::string output = folder + "/out.txt";
    ASSERT_TRUE(testsupport::WriteFile(input, "data", 4));
    for (const char* const* kind : {kRaw, kAttached, kDetached, kEnveloped}) {
        SCOPED_TRACE(std::string(kind[0]) + "/" + kind[1]);
        ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
        bool closed = false;
        bool ok = RunClosing(
            kLoginCaption, [&] { return Run(kind[0], kind[1], input, output, Pki("recipient.cert.der")); }, &closed);
        EXPECT_TRUE(closed);
        EXPECT_FALSE(ok);
        EXPECT_EQ(engine_.Message, kDialogFailed);
        EXPECT_EQ(testsupport::ReadFile(output), Text("earlier"));
        EXPECT_EQ(Leftovers(folder), 0);
    }
}

// --- signatures, checked by openssl ---------------------------------------------

TEST_F(SigningOperations, AttachedAndDetachedVerifyWithOpenSsl)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    ConfigureSigner(true);
    ASSERT_FALSE(Serial().empty());
    const std::size_t sizes[] = {0, 1, 8191, 8192, 8193, 65543, 5 * 1024 * 1024 + 3};
    for (const char* format : {"PKCS", "PKCSD"}) {
        bool detached = std::strcmp(format, "PKCSD") == 0;
        for (std::size_t size : sizes) {
            std::string tag = std::string(format) + "-" + std::to_string(size);
            SCOPED_TRACE(tag);
            Bytes content = Content(size);
            std::string data = Work(tag + ".bin");
            std::string output = Work(tag + ".b64");
            ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
            ASSERT_TRUE(testsupport::WriteFile(output, "earlier output", 14));  // replaced
            ASSERT_TRUE(Run("F", format, data, output)) << engine_.Message;
            EXPECT_EQ(engine_.Message, "2\r\n" + Serial());
            ExpectBase64Lines(output);
            std::string der = Work(tag + ".p7");
            ASSERT_EQ(DecodeBase64(output, der), 0);
            std::string verified = Work(tag + ".verified");
            ASSERT_EQ(testsupport::openssl::VerifySigned(der, verified, detached ? &data : nullptr), 0);
            EXPECT_EQ(testsupport::ReadFile(verified), content);
            std::remove(data.c_str());
            std::remove(der.c_str());
            std::remove(output.c_str());
        }
    }
}

// The signer chosen in the dialog, as a user does: attached and enveloped
// messages and a raw signature, each checked by openssl.
TEST_F(SigningOperations, SignerChosenInTheDialog)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    std::string data = Work("dialog.bin");
    Bytes content = Content(8193);
    ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
    for (const char* const* kind : {kAttached, kDetached, kEnveloped, kRaw}) {
        SCOPED_TRACE(std::string(kind[0]) + "/" + kind[1]);
        std::string output = Work("dialog.out");
        std::remove(output.c_str());
        bool ok = false;
        testsupport::form::WithUser([&] { ok = Run(kind[0], kind[1], data, output, Pki("recipient.cert.pem")); },
                             [&](std::atomic<bool>&) {
                                 HWND form = testsupport::form::WaitForWindow(kLoginCaption);
                                 if (!form) return;
                                 HWND list = testsupport::form::ListOf(form);
                                 testsupport::form::WaitFor([&] { return !testsupport::form::Rows(list).empty(); });
                                 int row = testsupport::form::RowOf(testsupport::form::Rows(list), signerDer_);
                                 if (row < 0) return;
                                 testsupport::form::Select(list, row);
                                 testsupport::form::Click(testsupport::form::Child(form, L"Button", L"&Aceptar"));
                             });
        ASSERT_TRUE(ok) << engine_.Message;
        std::string der = Work("dialog.p7");
        std::string verified = Work("dialog.verified");
        if (std::strcmp(kind[1], "RSA") == 0) {
            EXPECT_EQ(engine_.Message, "2");
            std::string publicKey = Work("dialog.pub.pem");
            ASSERT_EQ(testsupport::openssl::Run("x509 -noout -pubkey -in " + Pki("signer.cert.pem") + " -out " + publicKey), 0);
            EXPECT_EQ(testsupport::openssl::Run("dgst -sha1 -verify " + publicKey + " -signature " + output + " " + data), 0);
            continue;
        }
        EXPECT_EQ(engine_.Message, "2\r\n" + Serial());
        ASSERT_EQ(DecodeBase64(output, der), 0);
        if (std::strcmp(kind[0], "FE") == 0) {
            std::string inner = Work("dialog.inner");
            ASSERT_EQ(testsupport::openssl::DecryptEnvelope(der, inner), 0);
            der = inner;
        }
        const bool detached = std::strcmp(kind[1], "PKCSD") == 0;
        ASSERT_EQ(testsupport::openssl::VerifySigned(der, verified, detached ? &data : nullptr), 0);
        EXPECT_EQ(testsupport::ReadFile(verified), content);
    }
}

// SHA-1, no signed attributes, the signer's certificate alone, content data.
TEST_F(SigningOperations, MessageShapeAsOpenSslPrintsIt)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    ConfigureSigner(true);
    std::string data = Work("shape.bin");
    std::string output = Work("shape.b64");
    std::string der = Work("shape.p7");
    std::string printed = Work("shape.txt");
    ASSERT_TRUE(testsupport::WriteFile(data, "shape", 5));
    ASSERT_TRUE(Run("F", "PKCS", data, output)) << engine_.Message;
    ASSERT_EQ(DecodeBase64(output, der), 0);
    ASSERT_EQ(testsupport::openssl::Run("cms -cmsout -print -inform DER -in " + der + " -out " + printed), 0);
    EXPECT_EQ(testsupport::openssl::RunShell("test $(grep -c 'd.certificate:' " + printed + ") -eq 1"), 0) << "one certificate";
    EXPECT_EQ(testsupport::openssl::RunShell("grep -A1 'signedAttrs:' " + printed + " | grep -q '<ABSENT>'"), 0) << "no attributes";
    EXPECT_EQ(testsupport::openssl::RunShell("grep -A1 'digestAlgorithm:' " + printed + " | grep -q 'sha1 '"), 0) << "SHA-1";
    EXPECT_EQ(testsupport::openssl::RunShell("grep 'eContentType:' " + printed + " | grep -q 'pkcs7-data'"), 0) << "data";
}

// A recipient file that does not load as a certificate, or is larger than
// any certificate file, is refused with its text; nothing is written.
TEST_F(SigningOperations, RecipientFilesThatDoNotLoadAreRefused)
{
    ConfigureSigner(true);
    std::string data = Work("fe-refused.bin");
    ASSERT_TRUE(testsupport::WriteFile(data, "data", 4));
    std::string large = Work("fe-large-recipient.pem");
    Bytes bytes = testsupport::ReadFile(Pki("recipient.cert.pem"));
    bytes.resize(TReqCert::kMaxFileSize + 1, '\n');
    ASSERT_TRUE(testsupport::WriteFile(large, bytes.data(), bytes.size()));
    std::string junk = Work("fe-junk-recipient.der");
    ASSERT_TRUE(testsupport::WriteFile(junk, "\x30\x03\x02\x01\x01", 5));
    std::string output = Work("fe-refused.b64");
    for (const std::string& recipient : {large, junk}) {
        SCOPED_TRACE(recipient);
        std::remove(output.c_str());
        EXPECT_FALSE(Run("FE", "PKCS", data, output, recipient));
        EXPECT_EQ(engine_.Message, kNotSecured + "El certificado del destinatario no pudo ser leido");
        EXPECT_FALSE(Exists(output));
    }
}

TEST_F(SigningOperations, EnvelopesOpenWithOpenSslForEachRecipientForm)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    ConfigureSigner(true);
    std::string bare = Work("recipient.b64");
    ASSERT_EQ(testsupport::openssl::Run("base64 -in " + Pki("recipient.cert.der") + " -out " + bare), 0);
    struct Case {
        const char* form;
        std::string file;
        std::size_t size;
    } cases[] = {
        {"DER", Pki("recipient.cert.der"), 8193},
        {"PEM", Pki("recipient.cert.pem"), 0},
        {"bare base64", bare, 65543},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        Bytes content = Content(c.size);
        std::string data = Work("fe.bin");
        std::string output = Work("fe.b64");
        ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
        ASSERT_TRUE(Run("FE", "pkcs", data, output, c.file)) << engine_.Message;
        EXPECT_EQ(engine_.Message, "2\r\n" + Serial());
        std::string der = Work("fe.p7");
        ASSERT_EQ(DecodeBase64(output, der), 0);
        std::string inner = Work("fe.inner");
        ASSERT_EQ(testsupport::openssl::DecryptEnvelope(der, inner), 0);
        std::string verified = Work("fe.verified");
        ASSERT_EQ(testsupport::openssl::VerifySigned(inner, verified, nullptr), 0);
        EXPECT_EQ(testsupport::ReadFile(verified), content);
    }
}

TEST_F(SigningOperations, GarbageRecipientFailsWithTheDriversText)
{
    ConfigureSigner(true);
    std::string folder = MakeFolder("garbage");
    std::string data = folder + "/in.bin";
    std::string output = folder + "/out.b64";
    std::string garbage = folder + "/garbage.cer";
    ASSERT_TRUE(testsupport::WriteFile(data, "data", 4));
    ASSERT_TRUE(testsupport::WriteFile(garbage, "MIIB not a certificate", 22));
    ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
    EXPECT_FALSE(Run("FE", "PKCS", data, output, garbage));
    EXPECT_EQ(engine_.Message.rfind(kNotSecured, 0), 0u) << engine_.Message;
    EXPECT_GT(engine_.Message.size(), kNotSecured.size());
    EXPECT_EQ(testsupport::ReadFile(output), Text("earlier"));
    EXPECT_EQ(Leftovers(folder), 0);
}

TEST_F(SigningOperations, RawSignaturesVerifyWithOpenSsl)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    ConfigureSigner(true);
    std::string publicKey = Work("signer.pub.pem");
    ASSERT_EQ(testsupport::openssl::Run("x509 -noout -pubkey -in " + Pki("signer.cert.pem") + " -out " + publicKey), 0);
    for (std::size_t size : {std::size_t(0), std::size_t(8193)}) {
        SCOPED_TRACE(size);
        Bytes content = Content(size);
        std::string data = Work("rsa.bin");
        std::string signature = Work("rsa.sig");
        ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
        ASSERT_TRUE(testsupport::WriteFile(signature, "an earlier, longer signature file", 33));
        ASSERT_TRUE(Run("F", "rsa", data, signature)) << engine_.Message;
        EXPECT_EQ(engine_.Message, "2");
        EXPECT_EQ(testsupport::ReadFile(signature).size(), 256u);
        EXPECT_EQ(testsupport::openssl::Run("dgst -sha1 -verify " + publicKey + " -signature " + signature + " " + data), 0);
    }
}

// --- outputs that cannot be written -------------------------------------------

// An output that names a folder cannot be replaced: a failure text, the
// folder as it was and nothing left beside it.
TEST_F(SigningOperations, OutputThatCannotBeReplacedFails)
{
    ConfigureSigner(true);
    std::string folder = MakeFolder("replace");
    std::string data = folder + "/in.bin";
    std::string blocked = folder + "/out";
    ASSERT_TRUE(testsupport::WriteFile(data, "data", 4));
    CreateDirectoryA(blocked.c_str(), nullptr);
    ASSERT_TRUE(Exists(blocked));

    EXPECT_FALSE(Run("F", "RSA", data, blocked));
    EXPECT_EQ(engine_.Message, kNotSigned);
    for (const char* const* kind : {kAttached, kDetached, kEnveloped}) {
        SCOPED_TRACE(std::string(kind[0]) + "/" + kind[1]);
        EXPECT_FALSE(Run(kind[0], kind[1], data, blocked, Pki("recipient.cert.der")));
        EXPECT_EQ(engine_.Message.rfind(kNotSecured, 0), 0u) << engine_.Message;
        EXPECT_GT(engine_.Message.size(), kNotSecured.size());
    }
    DWORD attributes = GetFileAttributesA(blocked.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(Leftovers(folder), 0);
}

// The output's disk full (a small file system of its own, which needs the
// host's mount): every kind fails with its text, the earlier file stays
// and nothing is left beside it.
TEST_F(SigningOperations, FullDiskFailsAndKeepsTheEarlierFile)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no host shell";
    ConfigureSigner(true);
    std::string folder = Work("fulldisk");
    testsupport::openssl::RunShell("umount " + folder + " 2>/dev/null; mkdir -p " + folder);
    if (testsupport::openssl::RunShell("mount -t tmpfs -o size=64k tmpfs " + folder + " 2>/dev/null") != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    struct Unmount {
        std::string folder;
        ~Unmount() { testsupport::openssl::RunShell("umount " + folder); }
    } unmount{folder};
    std::string output = folder + "/out.txt";
    ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
    testsupport::openssl::RunShell("dd if=/dev/zero of=" + folder + "/filler bs=1024 2>/dev/null");
    ASSERT_EQ(testsupport::openssl::RunShell("test $(df --output=avail " + folder + " | tail -1) -eq 0"), 0) << "not full";
    std::string data = Work("fulldisk.bin");
    Bytes content = Content(8193);
    ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
    for (const char* const* kind : {kRaw, kAttached, kDetached, kEnveloped}) {
        SCOPED_TRACE(std::string(kind[0]) + "/" + kind[1]);
        EXPECT_FALSE(Run(kind[0], kind[1], data, output, Pki("recipient.cert.der")));
        ExpectFailureText(kind, engine_.Message);
        EXPECT_EQ(testsupport::ReadFile(output), Text("earlier"));
        EXPECT_EQ(Leftovers(folder), 0);
    }
}

// A read-only output is refused as Windows refuses it (Wine's MoveFileExA
// would replace it): the failure text, the file as it was, nothing beside it.
TEST_F(SigningOperations, ReadOnlyOutputIsNotReplaced)
{
    ConfigureSigner(true);
    std::string folder = MakeFolder("readonly");
    std::string data = folder + "/in.bin";
    std::string output = folder + "/out.b64";
    ASSERT_TRUE(testsupport::WriteFile(data, "data", 4));
    for (const char* const* kind : {kRaw, kAttached, kDetached, kEnveloped}) {
        SCOPED_TRACE(std::string(kind[0]) + "/" + kind[1]);
        SetFileAttributesA(output.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
        ASSERT_TRUE(SetFileAttributesA(output.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_FALSE(Run(kind[0], kind[1], data, output, Pki("recipient.cert.der")));
        ExpectFailureText(kind, engine_.Message);
        EXPECT_EQ(testsupport::ReadFile(output), Text("earlier"));
        EXPECT_EQ(Leftovers(folder), 0);
    }
    SetFileAttributesA(output.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Writable again, it is replaced.
    EXPECT_TRUE(Run("F", "RSA", data, output)) << engine_.Message;
}

// An output naming an input (by another spelling of its full path) is
// refused before anything is written, the input kept as it was.
TEST_F(SigningOperations, OutputNamingAnInputIsRefused)
{
    ConfigureSigner(true);
    std::string folder = MakeFolder("samefile");
    std::string data = folder + "/In.bin";
    std::string recipient = folder + "/recipient.der";
    Bytes recipientBytes = testsupport::ReadFile(Pki("recipient.cert.der"));
    ASSERT_TRUE(testsupport::WriteFile(data, "data", 4));
    ASSERT_TRUE(testsupport::WriteFile(recipient, recipientBytes.data(), recipientBytes.size()));
    std::string upper = folder + "/IN.BIN";
    std::string dotted = folder + "/./sub/../in.bin";
    struct Case {
        const char* const* kind;
        std::string output;
    } cases[] = {
        {kRaw, upper}, {kAttached, dotted}, {kDetached, upper}, {kEnveloped, data}, {kEnveloped, folder + "/RECIPIENT.der"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind[0]) + "/" + c.kind[1] + " " + c.output);
        EXPECT_FALSE(Run(c.kind[0], c.kind[1], data, c.output, recipient));
        EXPECT_EQ(engine_.Message, kOutputIsInput);
        EXPECT_EQ(testsupport::ReadFile(data), Text("data"));
        EXPECT_EQ(testsupport::ReadFile(recipient), recipientBytes);
        EXPECT_EQ(Leftovers(folder), 0);
    }
}

// No folder to write in: the framework's file error leaves Execute.
TEST_F(SigningOperations, OutputInAMissingFolderThrows)
{
    ConfigureSigner(true);
    std::string data = Work("nofolder.bin");
    ASSERT_TRUE(testsupport::WriteFile(data, "data", 4));
    std::string output = Work("no-such-folder") + "/out.b64";
    EXPECT_THROW(Run("F", "RSA", data, output), EFileOpenError);
    EXPECT_THROW(Run("F", "PKCS", data, output), EFileOpenError);
}

}  // namespace
