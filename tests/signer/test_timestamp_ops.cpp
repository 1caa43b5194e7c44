// Operations "T" and "V" through Execute, against the test TSA (openssl ts
// behind the HTTP peer on 127.0.0.1), with openssl as the judge of what
// they write and report.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/errors.h"
#include "tests/support/host_openssl.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"
#include "tests/support/tsa_server.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;
using testsupport::TsaMode;
using testsupport::TsaServer;

const std::string kInvalid = "1\r\nEstampilla no v\xE1lida: ";

std::string Work(const std::string& name) { return testsupport::WorkDir() + "/tsp-ops-" + name; }
std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// A data file of the given size, its bytes depending on the name.
std::string DataFile(const std::string& name, std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(name[i % name.size()] + i / 7);
    const std::string path = Work(name);
    EXPECT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
    return path;
}

// The base64 text "T" wrote, decoded by the host's coreutils.
std::string DecodedToken(const std::string& base64File)
{
    const std::string der = base64File + ".der";
    std::remove(der.c_str());
    EXPECT_EQ(testsupport::openssl::RunShell("base64 -d -i " + base64File + " > " + der), 0);
    return der;
}

std::string OpensslSha1Hex(const std::string& file)
{
    const std::string out = file + ".sha1";
    std::remove(out.c_str());
    EXPECT_EQ(testsupport::openssl::Run("dgst -sha1 -binary -out " + out + " " + file), 0);
    const Bytes digest = testsupport::ReadFile(out);
    return Upper(testsupport::ToHex(digest.data(), digest.size()));
}

// openssl's "Dec 11 01:57:18.849 2026 GMT" as the GeneralizedTime text
// "20261211015718.849Z".
std::string GeneralizedTimeOf(const std::string& printed)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char month[4] = {}, clock[32] = {};
    int day = 0, year = 0;
    if (std::sscanf(printed.c_str(), "%3s %d %31s %d GMT", month, &day, clock, &year) != 4) return "";
    int number = 0;
    for (int i = 0; i < 12; ++i)
        if (std::string(months[i]) == month) number = i + 1;
    std::string time = clock;
    time.erase(std::remove(time.begin(), time.end(), ':'), time.end());
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%sZ", year, number, day, time.c_str());
    return text;
}

// openssl's "0x01" as the report's upper-case hexadecimal: whole bytes.
std::string SerialHexOf(const std::string& printed)
{
    std::string hex = printed.compare(0, 2, "0x") == 0 ? printed.substr(2) : printed;
    if (hex.size() % 2) hex = "0" + hex;
    return Upper(hex);
}

class TimeStampOps : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tsa_ = new TsaServer(TsaMode::Sha1); }
    static void TearDownTestSuite()
    {
        delete tsa_;
        tsa_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(tsa_->Port(), 0);
        Configure(tsa_->Url(), true);
    }
    void TearDown() override { testsupport::registry::DeleteKey(); }

    static void Configure(const std::string& url, bool withCa)
    {
        testsupport::registry::DeleteKey();
        testsupport::registry::SetDword("USAR_TSP", url.empty() ? 0 : 1);
        if (!url.empty()) testsupport::registry::SetText("URL_TSP", url);
        testsupport::registry::SetDword("USAR_AC", withCa ? 1 : 0);
        testsupport::registry::SetText("CERT_AC", Pki("ca.cert.der"));
    }

    static bool Run(TTavomir& engine, const char* operation, const std::string& file, const std::string& token)
    {
        engine.Clear();
        engine.Operation = operation;
        engine.FileInputOne = file;
        (std::string(operation) == "T" ? engine.FileOutputOne : engine.FileInputTwo) = token;
        return engine.Execute();
    }

    // "T" over the file into a new token file; its name.
    static std::string Stamp(const std::string& file, const std::string& name)
    {
        const std::string token = Work(name + ".tsr.b64");
        std::remove(token.c_str());
        TTavomir engine;
        EXPECT_TRUE(Run(engine, "T", file, token)) << engine.Message;
        EXPECT_EQ(engine.Message, "2");
        return token;
    }

    static TsaServer* tsa_;
};
TsaServer* TimeStampOps::tsa_ = nullptr;

// Every token "T" writes passes openssl's check, and "V" reports the time
// and serial openssl reads in it and the file's SHA-1 digest, from the
// base64 text and from the DER alike.
TEST_F(TimeStampOps, StampVerifiesAndReportsWhatOpensslReads)
{
    struct Case {
        const char* what;
        TsaMode mode;
        std::size_t size;
    } cases[] = {
        {"SHA-1 signer, empty file", TsaMode::Sha1, 0},
        {"SHA-1 signer, one 8192-byte block", TsaMode::Sha1, 8192},
        {"SHA-256 signer", TsaMode::Sha256, 100},
        {"time with a fraction of a second", TsaMode::Fraction, 8193},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TsaServer tsa(c.mode);
        ASSERT_NE(tsa.Port(), 0);
        Configure(tsa.Url(), true);
        const std::string name = "stamp-" + std::to_string(static_cast<int>(c.mode)) + "-" + std::to_string(c.size);
        const std::string data = DataFile(name, c.size);
        const std::string token = Stamp(data, name);
        const Bytes text = testsupport::ReadFile(token);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text[0], 'M');
        const std::string der = DecodedToken(token);
        EXPECT_EQ(testsupport::TsaVerifyTokenForData(der, data), 0);

        const std::string printed = testsupport::TsaTokenText(der);
        const std::string time = GeneralizedTimeOf(testsupport::TsaTextField(printed, "Time stamp"));
        const std::string serial = SerialHexOf(testsupport::TsaTextField(printed, "Serial number"));
        ASSERT_FALSE(time.empty()) << printed;
        if (c.mode == TsaMode::Fraction) {
            EXPECT_NE(time.find('.'), std::string::npos) << time;
        }
        const std::string report =
            "2\r\nFecha: " + time + "\r\nSerial: " + serial + "\r\nDigestion: " + OpensslSha1Hex(data) + "\r\n";
        for (const std::string& stored : {token, der}) {
            TTavomir engine;
            EXPECT_TRUE(Run(engine, "V", data, stored)) << engine.Message;
            EXPECT_EQ(engine.Message, report);
        }
    }
}

TEST_F(TimeStampOps, TokenOfAnotherFileOrTamperedFails)
{
    const std::string data = DataFile("mine.txt", 300), other = DataFile("other.txt", 300);
    const std::string token = Stamp(data, "mine");
    const std::string der = DecodedToken(token);
    for (const std::string& stored : {token, der}) {
        TTavomir engine;
        EXPECT_FALSE(Run(engine, "V", other, stored));
        EXPECT_EQ(engine.Message, kInvalid + "Digestiones no coinciden");
    }
    // A flipped byte in the signature value (the token's last bytes).
    Bytes tampered = testsupport::ReadFile(der);
    ASSERT_GT(tampered.size(), 10u);
    tampered[tampered.size() - 5] ^= 0x01;
    const std::string bad = Work("tampered.tsr");
    ASSERT_TRUE(testsupport::WriteFile(bad, tampered.data(), tampered.size()));
    TTavomir engine;
    EXPECT_FALSE(Run(engine, "V", data, bad));
    EXPECT_EQ(engine.Message.rfind(kInvalid, 0), 0u) << engine.Message;
    EXPECT_GT(engine.Message.size(), kInvalid.size());
    // Not a token at all, and an empty file.
    for (const std::string& content : {std::string("not a token"), std::string()}) {
        const std::string junk = Work("junk.tsr");
        ASSERT_TRUE(testsupport::WriteFile(junk, content.data(), content.size()));
        TTavomir junkEngine;
        EXPECT_FALSE(Run(junkEngine, "V", data, junk));
        EXPECT_EQ(junkEngine.Message.rfind(kInvalid, 0), 0u) << junkEngine.Message;
    }
    // Far larger than any token: refused before anything is examined.
    const std::string huge = Work("huge.tsr");
    const Bytes big(2 * 1024 * 1024, 0x30);
    ASSERT_TRUE(testsupport::WriteFile(huge, big.data(), big.size()));
    TTavomir hugeEngine;
    EXPECT_FALSE(Run(hugeEngine, "V", data, huge));
    EXPECT_EQ(hugeEngine.Message, "1\r\nError leyendo archivo de estampilla");
    TTavomir missing;
    EXPECT_THROW(Run(missing, "V", data, Work("no-such.tsr")), EFileOpenError);
}

TEST_F(TimeStampOps, NoUrlWritesNothing)
{
    const std::string data = DataFile("nourl.txt", 10);
    const std::string output = Work("nourl.tsr.b64");
    for (const char* url : {"", "NULL"}) {
        SCOPED_TRACE(url);
        Configure(url, true);
        std::remove(output.c_str());
        TTavomir engine;
        EXPECT_FALSE(Run(engine, "T", data, output));
        EXPECT_EQ(engine.Message, "1\r\nNo se ha configurado la URL para TSP");
        EXPECT_FALSE(testsupport::ReadFile(output).size());
        EXPECT_EQ(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// Without a CA no time stamp is accepted and no token passes "V".
TEST_F(TimeStampOps, NoCaAcceptsNothing)
{
    const std::string data = DataFile("noca.txt", 50);
    const std::string token = Stamp(data, "noca");
    Configure(tsa_->Url(), false);
    const std::string output = Work("noca-again.tsr.b64");
    std::remove(output.c_str());
    TTavomir engine;
    EXPECT_FALSE(Run(engine, "T", data, output));
    EXPECT_EQ(engine.Message, "1\r\nInvalid server certificate");
    EXPECT_EQ(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(Run(engine, "V", data, token));
    EXPECT_EQ(engine.Message, kInvalid + "Certificado del servidor de estampillas no valido");
}

// A refusal, a reply that fails the checks and a broken server: the
// library's text after the status line, and no token file.
TEST_F(TimeStampOps, RefusedOrFailedStampWritesNothing)
{
    struct Case {
        TsaMode mode;
        const char* message;
    } cases[] = {
        {TsaMode::RefusesSha1, "1\r\nRequest rejected : unrecognized or unsupported Algorithm Identifier"},
        {TsaMode::OtherSigner, "1\r\nInvalid server certificate"},
        {TsaMode::WrongNonce, "1\r\nNonce in response does not match original"},
        {TsaMode::Http500, "1\r\nWrong HTTP header in response"},
    };
    const std::string data = DataFile("refused.txt", 64);
    const std::string output = Work("refused.tsr.b64");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TsaServer tsa(c.mode);
        ASSERT_NE(tsa.Port(), 0);
        Configure(tsa.Url(), true);
        std::remove(output.c_str());
        TTavomir engine;
        EXPECT_FALSE(Run(engine, "T", data, output));
        EXPECT_EQ(engine.Message, c.message);
        EXPECT_EQ(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    TTavomir engine;
    // A URL longer than the library takes: the exchange's own text.
    Configure("http://127.0.0.1/" + std::string(600, 'a'), true);
    EXPECT_FALSE(Run(engine, "T", data, output));
    EXPECT_EQ(engine.Message, "1\r\nError parsing Server URL");
    Configure(tsa_->Url(), true);
    EXPECT_FALSE(Run(engine, "T", Work("no-such-data.txt"), output));
    EXPECT_EQ(engine.Message.rfind("1\r\nError DigestBlockStreaming: No se puede abrir el archivo", 0), 0u)
        << engine.Message;
}

// The token replaces the output only once it is complete: an output that
// cannot be replaced keeps its content, and the answer is a failure.
TEST_F(TimeStampOps, UnwritableOutputKeepsTheEarlierFile)
{
    const std::string data = DataFile("keep.txt", 64);
    const std::string output = Work("keep.tsr.b64");
    SetFileAttributesA(output.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
    ASSERT_TRUE(SetFileAttributesA(output.c_str(), FILE_ATTRIBUTE_READONLY));
    TTavomir engine;
    EXPECT_FALSE(Run(engine, "T", data, output));
    EXPECT_EQ(engine.Message, "1\r\nError al guardar la estampilla");
    SetFileAttributesA(output.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Text(testsupport::ReadFile(output)), "earlier");
    // The token never replaces the file it stamps.
    TTavomir same;
    EXPECT_FALSE(Run(same, "T", data, data));
    EXPECT_EQ(same.Message, "1\r\nEl archivo de salida no puede ser un archivo de entrada");
    EXPECT_EQ(testsupport::ReadFile(data).size(), 64u);
}

}  // namespace
