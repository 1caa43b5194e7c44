// Certificate files, serial-number texts and validity of TCertificado, and the
// platform-side name helpers, against the test PKI and OpenSSL's own output.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/x509/certificate.h"
#include "signer/certs/Unit_treqcert.h"
#include "signer/certs/Unit_uploadkeys.h"
#include "signer/certs/certificado.h"
#include "signer/errors.h"
#include "signer/certs/serial_text.h"
#include "tests/support/test_util.h"

namespace {

using testsupport::FromHex;
using testsupport::PkiDir;
using testsupport::ReadFile;
using testsupport::SourceDir;
using testsupport::WorkDir;
using testsupport::WriteFile;

std::string Pki(const std::string& file) { return PkiDir() + "/" + file; }
std::string Fixture(const std::string& file) { return SourceDir() + "/tests/data/certclass/" + file; }
std::string Work(const std::string& file) { return WorkDir() + "/certclass-" + file; }

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ReadText(const std::string& path)
{
    std::vector<unsigned char> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// A shell variable of the PKI's manifest (pki.env), quotes removed.
std::string PkiVariable(const std::string& name)
{
    std::istringstream in(ReadText(Pki("pki.env")));
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, name.size() + 1, name + "=") != 0) continue;
        std::string value = line.substr(name.size() + 1);
        value.erase(std::remove(value.begin(), value.end(), '\''), value.end());
        value.erase(std::remove(value.begin(), value.end(), '\r'), value.end());
        return value;
    }
    return std::string();
}

// The base64 lines of a PEM text, without the armour lines.
std::vector<std::string> PemBody(const std::string& pem)
{
    std::vector<std::string> lines;
    std::istringstream in(pem);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '-') continue;
        lines.push_back(line);
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines, const std::string& separator)
{
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? separator : "") + lines[i];
    return out;
}

void WriteText(const std::string& path, const std::string& text)
{
    ASSERT_TRUE(WriteFile(path, text.data(), text.size())) << path;
}

void ExpectNotLoaded(TCertificado& cert)
{
    EXPECT_FALSE(cert.decoded);
    EXPECT_EQ(cert.GetData(), nullptr);
    EXPECT_EQ(cert.GetSize(), 0u);
    EXPECT_EQ(cert.GetPublicKey(), nullptr);
    EXPECT_EQ(cert.GetSerialNumber(), "");
    EXPECT_FALSE(cert.IsValid());
}

// --- certificate files -------------------------------------------------------

struct FileForm {
    const char* name;
    std::string (*make)(const std::string& pem);
};

const FileForm kFileForms[] = {
    {"pem_lf", [](const std::string& pem) { return pem; }},
    {"pem_crlf", [](const std::string& pem) {
         return "-----BEGIN CERTIFICATE-----\r\n" + Join(PemBody(pem), "\r\n") + "\r\n-----END CERTIFICATE-----\r\n";
     }},
    {"bare_lf", [](const std::string& pem) { return Join(PemBody(pem), "\n") + "\n"; }},
    {"bare_crlf", [](const std::string& pem) { return Join(PemBody(pem), "\r\n") + "\r\n"; }},
    {"bare_one_line", [](const std::string& pem) { return Join(PemBody(pem), ""); }},
};

TEST(CertificateFile, DerLoadsUnchanged)
{
    std::vector<unsigned char> der = ReadFile(Pki("signer.cert.der"));
    ASSERT_FALSE(der.empty());
    TCertificado cert;
    ASSERT_TRUE(cert.LoadFromFile(Pki("signer.cert.der")));
    ASSERT_EQ(cert.GetSize(), der.size());
    EXPECT_EQ(std::memcmp(cert.GetData(), der.data(), der.size()), 0);
    EXPECT_NE(cert.GetPublicKey(), nullptr);
    EXPECT_STREQ(cert.notBefore, "240101000000Z");
    EXPECT_STREQ(cert.notAfter, "491231235959Z");
    EXPECT_STREQ(reinterpret_cast<const char*>(cert.issuer.slots[kNameCommonName].pointer),
                 PkiVariable("CA_CN").c_str());
}

TEST(CertificateFile, Base64FormsDecodeToTheDer)
{
    std::vector<unsigned char> der = ReadFile(Pki("signer.cert.der"));
    std::string pem = ReadText(Pki("signer.cert.pem"));
    ASSERT_FALSE(der.empty());
    ASSERT_EQ(pem.compare(0, 5, "-----"), 0);
    for (const FileForm& form : kFileForms) {
        SCOPED_TRACE(form.name);
        std::string path = Work(std::string(form.name) + ".cer");
        WriteText(path, form.make(pem));
        TCertificado cert;
        ASSERT_TRUE(cert.LoadFromFile(path));
        ASSERT_EQ(cert.GetSize(), der.size());
        EXPECT_EQ(std::memcmp(cert.GetData(), der.data(), der.size()), 0);
        EXPECT_EQ(Lower(cert.GetSerialNumber()), Lower(PkiVariable("SIGNER_SERIAL")));
        // The same bytes through the buffer entry point.
        std::string text = form.make(pem);
        TCertificado fromBuffer;
        ASSERT_TRUE(fromBuffer.LoadFromBuffer(text.size(), reinterpret_cast<const unsigned char*>(text.data())));
        EXPECT_EQ(fromBuffer.GetSize(), der.size());
    }
}

struct RefusedFile {
    const char* name;
    const char* content;
    std::size_t length;
};

const RefusedFile kRefusedFiles[] = {
    {"empty", "", 0},
    {"one_m", "M", 1},            // shorter than the four bytes looked at
    {"two_chars", "MI", 2},
    {"three_dashes", "---", 3},
    {"armour_only", "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n", 54},
    {"bad_base64", "MIIB====\n", 9},  // "=" before the last group
    {"base64_not_der", "TWFu\n", 5},  // not 'M' first: taken as DER and refused
    {"der_garbage", "\x30\x03\x02\x01", 4},
};

TEST(CertificateFile, RefusedContentLeavesNothingLoaded)
{
    for (const RefusedFile& r : kRefusedFiles) {
        SCOPED_TRACE(r.name);
        std::string path = Work(std::string(r.name) + ".cer");
        ASSERT_TRUE(WriteFile(path, r.content, r.length));
        TCertificado cert;
        EXPECT_FALSE(cert.LoadFromFile(path));
        ExpectNotLoaded(cert);
    }
}

TEST(CertificateFile, MissingFileAndEmptyBufferGiveFalse)
{
    TCertificado cert;
    EXPECT_FALSE(cert.LoadFromFile(Work("no-such-file.cer")));
    ExpectNotLoaded(cert);
    const unsigned char byte = 0x30;
    EXPECT_FALSE(cert.LoadFromBuffer(0, &byte));
    EXPECT_FALSE(cert.LoadFromBuffer(1, nullptr));
    ExpectNotLoaded(cert);
}

// A certificate file is read with a bound: one byte past it and nothing is
// loaded (never a cut certificate); at the bound it loads.
TEST(CertificateFile, FilesPastTheBoundAreRefusedWhole)
{
    std::vector<unsigned char> pem = ReadFile(Pki("signer.cert.pem"));
    ASSERT_LT(pem.size(), static_cast<std::size_t>(TReqCert::kMaxFileSize));
    std::vector<unsigned char> padded = pem;
    padded.resize(TReqCert::kMaxFileSize, '\n');
    std::string path = Work("at-the-bound.pem");
    ASSERT_TRUE(WriteFile(path, padded.data(), padded.size()));
    TCertificado cert;
    EXPECT_TRUE(cert.LoadFromFile(path));
    EXPECT_EQ(cert.GetSerialNumber(), "1002");
    padded.push_back('\n');
    path = Work("past-the-bound.pem");
    ASSERT_TRUE(WriteFile(path, padded.data(), padded.size()));
    EXPECT_FALSE(cert.LoadFromFile(path));
    ExpectNotLoaded(cert);
    EXPECT_TRUE(cert.data.empty());
    std::vector<unsigned char> large(10 * TReqCert::kMaxFileSize, 0x30);
    ASSERT_TRUE(WriteFile(path, large.data(), large.size()));
    EXPECT_FALSE(cert.LoadFromFile(path));
    EXPECT_TRUE(cert.data.empty());
}

TEST(CertificateFile, FileThatCannotBeOpenedRaises)
{
    std::string path = Work("locked.cer");
    std::vector<unsigned char> der = ReadFile(Pki("signer.cert.der"));
    ASSERT_TRUE(WriteFile(path, der.data(), der.size()));
    HANDLE locked = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    TCertificado cert;
    EXPECT_THROW(cert.LoadFromFile(path), EFileOpenError);
    CloseHandle(locked);
    ExpectNotLoaded(cert);
    EXPECT_TRUE(cert.LoadFromFile(path));
}

TEST(CertificateFile, ReloadReplacesTheFirstCertificate)
{
    TCertificado cert;
    ASSERT_TRUE(cert.LoadFromFile(Pki("signer.cert.der")));
    ASSERT_TRUE(cert.LoadFromFile(Pki("revoked.cert.pem")));
    EXPECT_EQ(Lower(cert.GetSerialNumber()), Lower(PkiVariable("REVOKED_SERIAL")));
    EXPECT_STREQ(reinterpret_cast<const char*>(cert.subject.slots[kNameCommonName].pointer),
                 PkiVariable("REVOKED_CN").c_str());
    // A failed load after a good one answers as never loaded.
    EXPECT_FALSE(cert.LoadFromFile(Work("no-such-file.cer")));
    ExpectNotLoaded(cert);
}

TEST(PemToDer, ShortAndNonTextStreams)
{
    struct Case {
        std::vector<unsigned char> in;
        bool result;
        std::vector<unsigned char> out;
    };
    const Case cases[] = {
        {{}, true, {}},
        {{'M'}, false, {'M'}},                         // base64 that decodes to nothing: unchanged
        {{'-', '-'}, true, {'-', '-'}},                // too short for armour: DER
        {{'-', '-', '-', '-'}, false, {'-', '-', '-', '-'}},
        {{'M', 'I', 'I', 'B'}, true, {0x30, 0x82, 0x01}},
        {{0x30, 0x00}, true, {0x30, 0x00}},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> stream = c.in;
        EXPECT_EQ(TReqCert::PemToDer(stream), c.result);
        EXPECT_EQ(stream, c.out);
    }
}

// --- serial-number texts ----------------------------------------------------

// The fixture certificates and what `openssl x509 -serial` printed for them
// (serials.txt, written by make-fixtures.sh). chars: the serial's bytes
// read as text; hex: OpenSSL's digits in lower case.
struct SerialCase {
    const char* file;
    bool chars;
};

const SerialCase kSerialCases[] = {
    {"short.der", false},        // 01 00 FF: a zero byte inside
    {"topbit.der", false},       // 80: DER holds 00 80
    {"random20.der", false},     // 20 random bytes
    {"text20.der", true},        // "TAVOMIR SERIE 000042"
    {"text21.der", true},        // 21 printable bytes
    {"digits20.der", false},     // digits only: could be read as hex
    {"hexdigits20.der", false},  // "1234567890ABCDEF1234"
    {"hex10.der", false},        // 12 34 56 78 90 AB CD EF 12 34
    {"lower20.der", false},      // a lower-case letter
    {"zero20.der", false},       // printable but for one zero byte
};

std::map<std::string, std::string> OpensslSerials()
{
    std::map<std::string, std::string> serials;
    std::istringstream in(ReadText(Fixture("serials.txt")));
    std::string file, serial;
    while (in >> file >> serial) serials[file] = serial;
    return serials;
}

TEST(SerialNumber, FixturesAgreeWithOpenssl)
{
    std::map<std::string, std::string> openssl = OpensslSerials();
    std::map<std::string, std::string> seen;
    for (const SerialCase& c : kSerialCases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(openssl.count(c.file), 1u);
        std::vector<unsigned char> bytes = FromHex(openssl[c.file]);
        std::string expected = c.chars ? std::string(bytes.begin(), bytes.end()) : Lower(openssl[c.file]);
        TCertificado cert;
        ASSERT_TRUE(cert.LoadFromFile(Fixture(c.file)));
        std::string text = cert.GetSerialNumber();
        EXPECT_EQ(text, expected);
        // No two serials meet, not even when compared without regard to case.
        EXPECT_EQ(seen.count(Lower(text)), 0u) << "same text as " << seen[Lower(text)];
        seen[Lower(text)] = c.file;
    }
}

TEST(SerialNumber, PkiCertificatesAgreeWithTheirIssuedSerials)
{
    // signer 1002 (short), revoked 8B7E0F4C and md5 F1 (top bit set), signer2 20 random bytes.
    for (const char* name : {"signer", "revoked", "md5", "signer2"}) {
        SCOPED_TRACE(name);
        std::string upper = name;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        std::string serial = PkiVariable(upper + "_SERIAL");
        ASSERT_FALSE(serial.empty());
        TCertificado cert;
        ASSERT_TRUE(cert.LoadFromFile(Pki(std::string(name) + ".cert.der")));
        EXPECT_EQ(cert.GetSerialNumber(), Lower(serial));
    }
}

struct RuleCase {
    const char* name;
    std::string bytes;
    std::string text;
};

TEST(SerialNumber, RuleTable)
{
    const RuleCase cases[] = {
        {"three_bytes", std::string("\x01\x00\xFF", 3), "0100ff"},
        {"twenty_printable", "TAVOMIR SERIE 000042", "TAVOMIR SERIE 000042"},
        {"twenty_one", "TAVOMIR SERIE 0000421", "TAVOMIR SERIE 0000421"},
        {"nineteen", "TAVOMIR SERIE 00004", "5441564f4d4952205345524945203030303034"},
        {"twenty_two", "TAVOMIR SERIE 00004212", "5441564f4d4952205345524945203030303034323132"},
        {"zero_inside", std::string("TAVOMIR\0SERIE 000042", 20), "5441564f4d495200534552494520303030303432"},
        {"zero_last", std::string("TAVOMIR SERIE 00004\0", 20), "5441564f4d495220534552494520303030303400"},
        {"delete_char", "TAVOMIR SERIE 00004\x7F", "5441564f4d49522053455249452030303030347f"},
        {"high_byte", "TAVOMIR SERIE 00004\xC1", "5441564f4d4952205345524945203030303034c1"},
        {"lower_case", "Tavomir SERIE 000042", "5461766f6d697220534552494520303030303432"},
        {"hex_digits", "1234567890ABCDEF1234", "3132333435363738393041424344454631323334"},
        {"empty", "", ""},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SerialNumberText(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()),
                  c.text);
    }
}

TEST(SerialNumber, DifferentSerialsNeverShareAText)
{
    // Serials of the lengths where characters and hex could meet, drawn from
    // letters of both cases, hex digits, blanks and a few other bytes.
    static const char kAlphabet[] = "0123456789abcdefABCDEFgGzZ -\x00\x7F\x80";
    const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    std::mt19937 random(20261210);
    std::map<std::string, std::string> byText;
    for (int i = 0; i < 20000; ++i) {
        std::size_t length = (i % 3 == 0) ? 10 : (i % 3 == 1) ? 20 : 21;
        std::string serial;
        // Mostly one small alphabet, so that near-collisions are common.
        for (std::size_t k = 0; k < length; ++k)
            serial += (i % 2) ? "0123456789ABCDEF"[random() % 16] : alphabet[random() % alphabet.size()];
        std::string text = Lower(SerialNumberText(reinterpret_cast<const unsigned char*>(serial.data()),
                                                  serial.size()));
        auto found = byText.find(text);
        if (found != byText.end()) {
            ASSERT_EQ(found->second, serial) << "text " << text;
        } else {
            byText[text] = serial;
        }
    }
    // The hex of a 10-byte serial and a 20-character serial of the same digits.
    const unsigned char ten[] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xAB, 0xCD, 0xEF, 0x12, 0x34};
    const std::string twenty = "1234567890ABCDEF1234";
    EXPECT_NE(Lower(SerialNumberText(ten, sizeof ten)),
              Lower(SerialNumberText(reinterpret_cast<const unsigned char*>(twenty.data()), twenty.size())));
}

// --- validity -----------------------------------------------------------------

TEST(Validity, SignatureCheckedWithTheGivenCa)
{
    TCertificado ca, otherCa;
    ASSERT_TRUE(ca.LoadFromFile(Pki("ca.cert.der")));
    ASSERT_TRUE(otherCa.LoadFromFile(Pki("otherca.cert.pem")));
    struct Case {
        const char* name;
        const char* file;
        const RsaPublicKey* key;
        int status;
        bool valid;
    };
    const Case cases[] = {
        {"signed_by_ca", "signer.cert.der", ca.GetPublicKey(), kSignatureValid, true},
        {"md5_signed_by_ca", "md5.cert.der", ca.GetPublicKey(), kSignatureValid, true},
        {"checked_with_other_ca", "signer.cert.der", otherCa.GetPublicKey(), kSignatureInvalid, false},
        {"other_cas_cert_with_ca", "other.cert.pem", ca.GetPublicKey(), kSignatureInvalid, false},
        {"other_cas_cert_with_its_ca", "other.cert.pem", otherCa.GetPublicKey(), kSignatureValid, true},
        {"no_ca", "signer.cert.der", nullptr, kSignatureUnchecked, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCertificado cert;
        cert.caKey = c.key;
        ASSERT_TRUE(cert.LoadFromFile(Pki(c.file)));
        EXPECT_EQ(cert.signatureStatus, c.status);
        EXPECT_EQ(cert.IsValid(), c.valid);
    }
}

TEST(Validity, NeverLoadedIsNotValid)
{
    TCertificado cert;
    EXPECT_FALSE(cert.IsValid());
    TReqCert base;
    EXPECT_FALSE(base.IsValid());
    EXPECT_FALSE(base.LoadFromFile(Pki("signer.cert.der")));  // the base class decodes nothing
    EXPECT_FALSE(base.decoded);
}

TEST(Validity, ReloadWithoutTheKeyForgetsTheFailedCheck)
{
    TCertificado otherCa;
    ASSERT_TRUE(otherCa.LoadFromFile(Pki("otherca.cert.der")));
    TCertificado cert;
    cert.caKey = otherCa.GetPublicKey();
    ASSERT_TRUE(cert.LoadFromFile(Pki("signer.cert.der")));
    EXPECT_FALSE(cert.IsValid());
    cert.caKey = nullptr;
    ASSERT_TRUE(cert.LoadFromFile(Pki("signer.cert.der")));
    EXPECT_TRUE(cert.IsValid());
}

// --- platform names -------------------------------------------------------------

class PlatformCertificate {
public:
    explicit PlatformCertificate(const std::string& path) : der_(ReadFile(path))
    {
        context_ = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der_.data(),
                                                static_cast<DWORD>(der_.size()));
    }
    ~PlatformCertificate()
    {
        if (context_) CertFreeCertificateContext(context_);
    }
    PCCERT_CONTEXT Get() const { return context_; }

private:
    std::vector<unsigned char> der_;
    PCCERT_CONTEXT context_ = nullptr;
};

std::vector<unsigned char> SerialBlob(PCCERT_CONTEXT context)
{
    const CRYPT_INTEGER_BLOB& blob = context->pCertInfo->SerialNumber;
    return std::vector<unsigned char>(blob.pbData, blob.pbData + blob.cbData);
}

TEST(CertName, QuotedCommaKeptWholeAndSerialUnchangedOverTwoCalls)
{
    PlatformCertificate cert(Fixture("digits20.der"));
    ASSERT_NE(cert.Get(), nullptr);
    std::vector<unsigned char> blobBefore = SerialBlob(cert.Get());
    std::vector<std::string> first, second;
    ASSERT_TRUE(CertNameToValues(cert.Get(), true, first));
    ASSERT_TRUE(CertNameToValues(cert.Get(), true, second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(SerialBlob(cert.Get()), blobBefore);
    EXPECT_NE(std::find(first.begin(), first.end(), "CN=\"Prueba, Tavomir\""), first.end());
    EXPECT_EQ(ValueOfKey(first, "cn"), "\"Prueba, Tavomir\"");
    EXPECT_EQ(ValueOfKey(first, "O"), "Norvane Test");
    EXPECT_EQ(ValueOfKey(first, "C"), "ES");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back(), "NUMSERIE=00001000000504465028");
}

TEST(CertName, IssuerHasNoSerialLine)
{
    PlatformCertificate cert(Pki("signer.cert.der"));
    ASSERT_NE(cert.Get(), nullptr);
    std::vector<std::string> lines = {"left over"};
    ASSERT_TRUE(CertNameToValues(cert.Get(), false, lines));
    EXPECT_EQ(ValueOfKey(lines, "CN"), PkiVariable("CA_CN"));
    EXPECT_EQ(ValueOfKey(lines, "NUMSERIE"), "");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("left over")), 0);
}

TEST(CertName, SerialLineAsUpperHexUnlessPrintable)
{
    std::map<std::string, std::string> openssl = OpensslSerials();
    struct Case {
        std::string path;
        std::string serial;  // upper-case hex as OpenSSL prints it
        bool chars;
    };
    const Case cases[] = {
        {Pki("signer.cert.der"), PkiVariable("SIGNER_SERIAL"), false},
        {Pki("signer2.cert.der"), PkiVariable("SIGNER2_SERIAL"), false},  // 20 bytes, not printable
        // The platform keeps the DER's sign byte, so the line shows it.
        {Pki("revoked.cert.der"), "00" + PkiVariable("REVOKED_SERIAL"), false},
        {Fixture("short.der"), openssl["short.der"], false},
        {Fixture("zero20.der"), openssl["zero20.der"], false},
        {Fixture("text20.der"), openssl["text20.der"], true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        PlatformCertificate cert(c.path);
        ASSERT_NE(cert.Get(), nullptr);
        std::vector<std::string> lines;
        ASSERT_TRUE(CertNameToValues(cert.Get(), true, lines));
        std::vector<unsigned char> bytes = FromHex(c.serial);
        std::string expected = c.chars ? std::string(bytes.begin(), bytes.end()) : c.serial;
        EXPECT_EQ(ValueOfKey(lines, "NUMSERIE"), expected);
    }
}

TEST(BytesToUpperHex, DigitsAndTerminator)
{
    const unsigned char bytes[] = {0x00, 0x0F, 0xA5, 0xFF, 0x5A};
    char text[16];
    std::memset(text, 'x', sizeof text);
    BytesToUpperHex(sizeof bytes, bytes, text);
    EXPECT_STREQ(text, "000FA5FF5A");
    EXPECT_EQ(text[11], 'x');
    std::memset(text, 'x', sizeof text);
    BytesToUpperHex(0, bytes, text);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], 'x');
}

}  // namespace
