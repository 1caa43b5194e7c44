// The signing drivers, their messages checked by the host's openssl, and
// what a failure leaves behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "signer/Unit_toolscapi.h"
#include "platform/capi_handles.h"
#include "signer/errors.h"
#include "signer/files/base64_file_writer.h"
#include "signer/files/file_utils.h"
#include "platform/last_error.h"
#include "tests/support/test_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/installed_signer.h"
#include "tests/support/posted_call.h"
#include "tools/fixture/fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Pki(const std::string& name) { return testsupport::PkiDir() + "/" + name; }
std::string Work(const std::string& name) { return testsupport::WorkDir() + "/drv-" + name; }

Bytes Content(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>((i * 71 + i / 257) & 0xFF);
    return data;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

// The names in a folder (no "." or "..").
std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "/*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string MakeFolder(const std::string& name)
{
    std::string folder = Work(name);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& f : Listing(folder)) DeleteFileA((folder + "/" + f).c_str());
    return folder;
}

class Drivers : public InstalledSignerTest {
protected:
    void SetUp() override
    {
        FindSigner();
        if (HasFatalFailure()) return;
    }

};


const std::size_t kSizes[] = {0, 1, 8192, 8193, 65543};

TEST_F(Drivers, SignedMessagesVerifyWithOpenSsl)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    for (bool detached : {false, true}) {
        for (std::size_t size : kSizes) {
            std::string tag = (detached ? "d" : "a") + std::to_string(size);
            SCOPED_TRACE(tag);
            Bytes content = Content(size);
            std::string data = Work(tag + ".bin");
            std::string message = Work(tag + ".p7");
            ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
            ASSERT_TRUE(testsupport::WriteFile(message, "earlier output", 14));  // replaced
            std::string text = "untouched";
            bool ok = detached ? SignPKCS7Detached(data, message, certificate_.Get(), text)
                               : SignPKCS7Attached(data, message, certificate_.Get(), text);
            ASSERT_TRUE(ok) << text;
            EXPECT_EQ(text, "untouched");
            std::string out = Work(tag + ".verified");
            ASSERT_EQ(testsupport::openssl::VerifySigned(message, out, detached ? &data : nullptr), 0);
            EXPECT_EQ(testsupport::ReadFile(out), content);
            if (detached && size > 0) {
                // No content inside: the message is the same size for any content.
                EXPECT_LT(testsupport::ReadFile(message).size(), 2048u);
            }
        }
    }
}

// The DER message as the host's base64 writes it at the width (in groups):
// CRLF line ends, none after the last line unless it is a full one of whole
// groups.
Bytes HostBase64Lines(const std::string& der, unsigned width, const std::string& out)
{
    const std::size_t size = testsupport::ReadFile(der).size();
    if (testsupport::openssl::RunShell("base64 -w " + std::to_string(4 * width) + " " + der +
                                       " | sed 's/$/\\r/' > " + out) != 0)
        return {};
    Bytes text = testsupport::ReadFile(out);
    const std::size_t characters = 4 * ((size + 2) / 3);
    if (text.size() >= 2 && !(size % 3 == 0 && characters % (4 * width) == 0)) text.resize(text.size() - 2);
    return text;
}

// The base64 written in the signing pass is the DER message put through the
// file converter and through the host's base64, byte for byte: sizes around
// a line's 1500 bytes, the default width, widths that are not, and those
// shorter than the four groups encoded at a time.
TEST_F(Drivers, Base64SigningEqualsTheConvertedDerMessage)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no host shell";
    for (bool detached : {false, true}) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{1000}, std::size_t{1500},
                                 std::size_t{4500}, std::size_t{65543}, std::size_t{300001},
                                 std::size_t{1048576 + 7}}) {
            for (unsigned width : {500u, 7u, 4u, 1u}) {
                std::string tag = (detached ? "b64d" : "b64a") + std::to_string(size) + "w" + std::to_string(width);
                SCOPED_TRACE(tag);
                Bytes content = Content(size);
                std::string data = Work(tag + ".bin");
                std::string der = Work(tag + ".p7");
                std::string converted = Work(tag + ".conv");
                std::string text = Work(tag + ".b64");
                ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
                ASSERT_TRUE(testsupport::WriteFile(text, "earlier output", 14));  // replaced
                std::string failure;
                ASSERT_TRUE(detached ? SignPKCS7Detached(data, der, certificate_.Get(), failure)
                                     : SignPKCS7Attached(data, der, certificate_.Get(), failure)) << failure;
                ASSERT_TRUE(ConvertFileBase64Width(der.c_str(), converted.c_str(), kToBase64, width));
                ASSERT_TRUE(SignPKCS7Base64(data, text, certificate_.Get(), detached, width, failure)) << failure;
                Bytes expected = testsupport::ReadFile(converted);
                ASSERT_FALSE(expected.empty());
                const Bytes written = testsupport::ReadFile(text);
                EXPECT_TRUE(written == expected);
                const std::string host = Work(tag + ".host");
                EXPECT_TRUE(written == HostBase64Lines(der, width, host)) << "differs from the host's base64";
                for (const std::string& name : {data, der, converted, text, host}) DeleteFileA(name.c_str());
            }
        }
    }
}

TEST_F(Drivers, Base64SigningRefusesWidthZeroAndKeepsTheEarlierFile)
{
    std::string data = Work("b64zero.bin");
    std::string text = Work("b64zero.b64");
    Bytes content = Content(100);
    ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
    ASSERT_TRUE(testsupport::WriteFile(text, "earlier output", 14));
    std::string failure;
    EXPECT_FALSE(SignPKCS7Base64(data, text, certificate_.Get(), false, 0, failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_TRUE(testsupport::ReadFile(text) == Text("earlier output"));
}

TEST_F(Drivers, EnvelopesDecryptAndVerifyWithOpenSsl)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    std::string bare = Work("recipient.b64");
    ASSERT_EQ(testsupport::openssl::Run("base64 -in " + Pki("recipient.cert.der") + " -out " + bare), 0);
    struct Case {
        const char* form;
        std::string file;
        std::size_t size;
    } cases[] = {
        {"DER", Pki("recipient.cert.der"), 0},
        {"PEM", Pki("recipient.cert.pem"), 8193},
        {"bare base64", bare, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        Bytes content = Content(c.size);
        std::string data = Work("e.bin");
        std::string message = Work("e.p7");
        ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
        std::string text;
        ASSERT_TRUE(SignAndEnvelopePKCS7(data, message, certificate_.Get(), c.file, text)) << text;
        std::string inner = Work("e.inner");
        ASSERT_EQ(testsupport::openssl::DecryptEnvelope(message, inner), 0);
        std::string out = Work("e.verified");
        ASSERT_EQ(testsupport::openssl::VerifySigned(inner, out, nullptr), 0);
        EXPECT_EQ(testsupport::ReadFile(out), content);
    }
}

// A failing driver reports the system's text and leaves the folder as it
// was: the earlier output untouched, no file of its own behind.
TEST_F(Drivers, FailuresLeaveTheEarlierOutput)
{
    std::string folder = MakeFolder("fail");
    std::string data = folder + "/in.bin";
    std::string output = folder + "/out.p7";
    Bytes content = Content(100);
    ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
    Bytes earlier = Text("the client's earlier file");
    ASSERT_TRUE(testsupport::WriteFile(output, earlier.data(), earlier.size()));
    std::string garbage = folder + "/garbage.cer";
    ASSERT_TRUE(testsupport::WriteFile(garbage, "MIIB not a certificate", 22));
    std::vector<std::string> before = Listing(folder);

    Bytes recipientDer = testsupport::ReadFile(Pki("recipient.cert.der"));
    TCertContext keyless(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, recipientDer.data(),
                                                      static_cast<DWORD>(recipientDer.size())));
    ASSERT_TRUE(keyless);

    struct Case {
        const char* name;
        int driver;  // 0 attached, 1 detached, 2 envelope
        PCCERT_CONTEXT certificate;
        std::string recipient;
    } cases[] = {
        {"attached, no private key", 0, keyless.Get(), ""},
        {"detached, no private key", 1, keyless.Get(), ""},
        {"envelope, no private key", 2, keyless.Get(), Pki("recipient.cert.der")},
        {"envelope, missing recipient", 2, certificate_.Get(), folder + "/missing.cer"},
        {"envelope, garbage recipient", 2, certificate_.Get(), garbage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "untouched";
        bool ok = c.driver == 0   ? SignPKCS7Attached(data, output, c.certificate, text)
                  : c.driver == 1 ? SignPKCS7Detached(data, output, c.certificate, text)
                                  : SignAndEnvelopePKCS7(data, output, c.certificate, c.recipient, text);
        EXPECT_FALSE(ok);
        EXPECT_NE(text, "untouched");
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(testsupport::ReadFile(output), earlier);
        EXPECT_EQ(Listing(folder), before);
    }
}

TEST_F(Drivers, InputOfFourGibibytesIsRefused)
{
    std::string folder = MakeFolder("big");
    std::string data = folder + "/big.bin";
    std::string output = folder + "/out.p7";
    {
        // Sparse: nothing is written.
        HANDLE file = CreateFileA(data.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = 0x100000000LL;
        bool sized = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        ASSERT_TRUE(sized);
    }
    ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
    std::vector<std::string> before = Listing(folder);
    std::string text;
    EXPECT_FALSE(SignPKCS7Attached(data, output, certificate_.Get(), text));
    EXPECT_EQ(text, GetErrorText(ERROR_FILE_TOO_LARGE));
    text.clear();
    EXPECT_FALSE(SignAndEnvelopePKCS7(data, output, certificate_.Get(), Pki("recipient.cert.der"), text));
    EXPECT_EQ(text, GetErrorText(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(testsupport::ReadFile(output), Text("earlier"));
    EXPECT_EQ(Listing(folder), before);
    DeleteFileA(data.c_str());
}

// An output folder nobody may write in (immutable, which binds root too):
// the create error passes to the caller, the earlier file stays.
TEST_F(Drivers, UnwritableOutputFolderThrowsAndKeepsTheEarlierFile)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no host shell";
    std::string folder = MakeFolder("locked");
    std::string data = Work("locked-in.bin");
    std::string output = folder + "/out.p7";
    ASSERT_TRUE(testsupport::WriteFile(data, "abc", 3));
    ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
    if (testsupport::openssl::RunShell("chattr +i " + folder) != 0) GTEST_SKIP() << "no chattr here";
    struct Unlock {
        std::string folder;
        ~Unlock() { testsupport::openssl::RunShell("chattr -i " + folder); }
    } unlock{folder};
    std::string text;
    EXPECT_THROW(SignPKCS7Attached(data, output, certificate_.Get(), text), EFileOpenError);
    EXPECT_THROW(SignAndEnvelopePKCS7(data, output, certificate_.Get(), Pki("recipient.cert.der"), text),
                 EFileOpenError);
    EXPECT_EQ(testsupport::ReadFile(output), Text("earlier"));
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"out.p7"});
}

TEST(StreamOutput, ShortWriteAndFailingFlushAreFailures)
{
    FILE* full = std::fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full";
    std::setvbuf(full, nullptr, _IONBF, 0);
    unsigned char block[16] = {};
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CMsgStreamOutput(full, block, sizeof block, false));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    std::fclose(full);

    full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    // Buffered: the write is taken, the final flush fails.
    EXPECT_FALSE(CMsgStreamOutput(full, block, sizeof block, true));
    std::fclose(full);

    std::string path = Work("stream.out");
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(CMsgStreamOutput(file, block, sizeof block, false));
    EXPECT_TRUE(CMsgStreamOutput(file, nullptr, 0, true));
    std::fclose(file);
    EXPECT_EQ(testsupport::ReadFile(path).size(), sizeof block);
}

// The base64 writer's text goes to disk on a thread of its own: a file that
// takes nothing fails the piece after the one that failed, or the finish,
// with the write's error; text that fits is written whole, in order.
TEST(StreamOutput, Base64WriterReportsTheFailedWriteAndKeepsOrder)
{
    std::vector<unsigned char> bytes(3 * 1024 * 1024 + 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 131 + (i >> 11));
    FILE* full = std::fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full";
    {
        TBase64FileWriter writer(full, 500);
        bool ok = true;
        for (std::size_t at = 0; ok && at < bytes.size(); at += 65536) {
            std::size_t n = std::min<std::size_t>(65536, bytes.size() - at);
            ok = Base64FileWriterOutput(&writer, bytes.data() + at, n, at + n == bytes.size());
        }
        EXPECT_FALSE(ok);
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    }
    std::fclose(full);

    std::string raw = Work("writer.bin"), converted = Work("writer.conv"), text = Work("writer.b64");
    ASSERT_TRUE(testsupport::WriteFile(raw, bytes.data(), bytes.size()));
    ASSERT_TRUE(ConvertFileBase64Width(raw.c_str(), converted.c_str(), kToBase64, 7));
    FILE* file = std::fopen(text.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    {
        TBase64FileWriter writer(file, 7);
        for (std::size_t at = 0; at < bytes.size(); at += 4099) {
            std::size_t n = std::min<std::size_t>(4099, bytes.size() - at);
            ASSERT_TRUE(Base64FileWriterOutput(&writer, bytes.data() + at, n, at + n == bytes.size()));
        }
    }
    std::fclose(file);
    EXPECT_TRUE(testsupport::ReadFile(text) == testsupport::ReadFile(converted));
    for (const std::string& name : {raw, converted, text}) DeleteFileA(name.c_str());
}

// A window message handled while a driver runs calls a driver again: the
// inner call is refused, the outer one completes.
TEST_F(Drivers, PendingMessagesCannotReenter)
{
    const std::string data = Work("reenter.bin"), output = Work("reenter.p7");
    ASSERT_TRUE(testsupport::WriteFile(data, "abc", 3));
    bool innerResult = true;
    std::string innerText;
    testsupport::TPostedCall reentry(
        [&] { innerResult = SignPKCS7Attached(data, output + ".inner", certificate_.Get(), innerText); });
    ASSERT_TRUE(reentry.Post());
    std::string text;
    EXPECT_TRUE(SignPKCS7Attached(data, output, certificate_.Get(), text)) << text;
    EXPECT_TRUE(reentry.Called());
    EXPECT_FALSE(innerResult);
    EXPECT_EQ(innerText, GetErrorText(ERROR_BUSY));
    EXPECT_EQ(GetFileAttributesA((output + ".inner").c_str()), INVALID_FILE_ATTRIBUTES);
    // Afterwards the drivers take calls again.
    EXPECT_TRUE(SignPKCS7Attached(data, output, certificate_.Get(), text)) << text;
}

}  // namespace
