// The streamed CRL verifier and reader on CRLs made by `openssl ca -gencrl`
// (tests/pki/make-crls.sh), and on those CRLs with one fault put in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/x509/crl_file.h"
#include "tests/support/crl_util.h"
#include "tests/support/test_cert_util.h"

using testsupport::cert::Bytes;
using testsupport::cert::DecodedCertificate;
using testsupport::cert::ReadPki;
using testsupport::crl::CRLContents;
using testsupport::crl::ReadCRL;

namespace {

const char* const kSigner = "1002";
const char* const kRevoked = "8b7e0f4c";
const char* const kKeyCompromise = "01";

struct CAKey {
    DecodedCertificate certificate;
    explicit CAKey(const std::string& name) { certificate.Decode(ReadPki(name + ".cert.der"), nullptr); }
    const RsaPublicKey* Get() const { return &certificate.f.publicKey; }
};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string ManifestValue(const std::string& key)
{
    Bytes text = ReadPki("pki.env");
    std::string all(text.begin(), text.end());
    std::size_t at = all.find("\n" + key + "=");
    if (at == std::string::npos) return std::string();
    at += key.size() + 2;
    return all.substr(at, all.find('\n', at) - at);
}

// Writes bytes to a work file and returns its name.
std::string WorkFile(const std::string& name, const Bytes& bytes)
{
    std::string path = testsupport::WorkDir() + "/" + name;
    EXPECT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
    return path;
}

std::size_t Find(const Bytes& haystack, const Bytes& needle, std::size_t from = 0)
{
    auto it = std::search(haystack.begin() + static_cast<long>(from), haystack.end(), needle.begin(), needle.end());
    return it == haystack.end() ? std::string::npos : static_cast<std::size_t>(it - haystack.begin());
}

TEST(CRLFile, ReadsEveryCRLOpenSSLMakes)
{
    CAKey ca("ca");
    struct Case {
        const char* file;
        std::vector<std::string> listed;
        std::size_t count;
        const char* thisUpdate;
        const char* nextUpdate;
        const char* crlNumber;
    };
    const std::string signer2 = Lower(ManifestValue("SIGNER2_SERIAL"));
    ASSERT_EQ(signer2.size(), 40u);
    const Case cases[] = {
        {"crl.top-bit.der", {kRevoked, kSigner}, 2, "240701000000Z", "491231235959Z", "01"},
        {"crl.20-byte.der", {signer2}, 1, "240701000000Z", "491231235959Z", "02"},
        {"crl.5000.der", {kSigner, "7f000001", "7f001387"}, 5000, "240701000000Z", "491231235959Z", "04"},
        {"crl.stale.der", {kSigner}, 1, "100101000000Z", "110101000000Z", "05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CRLContents crl = ReadCRL(testsupport::Pki(c.file), ca.Get());
        ASSERT_EQ(crl.verify, kCRLSuccess);
        EXPECT_EQ(crl.signatureVerified, 1);
        EXPECT_EQ(crl.dates, kCRLSuccess);
        EXPECT_EQ(crl.last, kCRLEndOfList);
        EXPECT_EQ(crl.entries.size(), c.count);
        for (const std::string& serial : c.listed) EXPECT_TRUE(crl.Lists(serial)) << serial;
        EXPECT_EQ(crl.thisUpdate, c.thisUpdate);
        EXPECT_EQ(crl.nextUpdate, c.nextUpdate);
        EXPECT_EQ(crl.crlNumberHex, c.crlNumber);
        for (const auto& e : crl.entries) {
            EXPECT_EQ(e.date, "240601120000Z");
            EXPECT_EQ(e.reason, kKeyCompromise);
        }
    }
}

TEST(CRLFile, EmptyCRLVerifiesAndHoldsNoList)
{
    CAKey ca("ca");
    CRLContents crl = ReadCRL(testsupport::Pki("crl.empty.der"), ca.Get());
    EXPECT_EQ(crl.verify, kCRLSuccess);
    EXPECT_EQ(crl.signatureVerified, 1);
    EXPECT_EQ(crl.dates, kCRLSuccess);
    EXPECT_EQ(crl.last, kCRLNoList);
    EXPECT_TRUE(crl.entries.empty());
}

TEST(CRLFile, SignatureChecksOnlyWithTheIssuingCAsKey)
{
    CAKey ca("ca"), other("otherca");
    EXPECT_EQ(ReadCRL(testsupport::Pki("crl.other-ca.der"), ca.Get()).signatureVerified, 0);
    CRLContents crl = ReadCRL(testsupport::Pki("crl.other-ca.der"), other.Get());
    EXPECT_EQ(crl.signatureVerified, 1);
    EXPECT_TRUE(crl.Lists(kSigner));
    EXPECT_EQ(ReadCRL(testsupport::Pki("crl.top-bit.der"), nullptr).signatureVerified, 0);
}

// Fields beyond the buffers are refused, never written past them.
TEST(CRLFile, OversizedFieldsAreRefused)
{
    CAKey ca("ca");
    EXPECT_EQ(ReadCRL(testsupport::Pki("crl.big-ca.der"), nullptr).verify, kCRLArgument);  // 512-byte signature
    EXPECT_EQ(ReadCRL(testsupport::Pki("crl.number-120.der"), ca.Get()).verify, kCRLArgument);
    CRLContents crl = ReadCRL(testsupport::Pki("crl.serial-60.der"), ca.Get());
    EXPECT_EQ(crl.verify, kCRLSuccess);  // the list is checked entry by entry by the reader
    EXPECT_EQ(crl.last, kCRLArgument);
}

TEST(CRLFile, FaultsInTheStructure)
{
    CAKey ca("ca");
    const Bytes good = ReadPki("crl.top-bit.der");
    const Bytes thisUpdate = {0x17, 0x0D, '2', '4', '0', '7', '0', '1', '0', '0', '0', '0', '0', '0', 'Z'};
    const Bytes sha1WithRsa = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x05};
    const Bytes caName = testsupport::cert::Text("Tavomir Test CA");

    Bytes generalized = good;
    std::size_t at = Find(generalized, thisUpdate);
    ASSERT_NE(at, std::string::npos);
    generalized[at] = 0x18;

    Bytes mismatch = good;
    at = Find(mismatch, sha1WithRsa, Find(mismatch, sha1WithRsa) + 1);  // the outer signatureAlgorithm
    ASSERT_NE(at, std::string::npos);
    mismatch[at + sha1WithRsa.size() - 1] = 0x04;

    Bytes trailing = good;
    trailing.push_back(0);

    Bytes badDate = good;
    at = Find(badDate, thisUpdate);
    badDate[at + 4] = '9';  // month 97

    struct Case {
        const char* name;
        const Bytes& bytes;
        int code;
    } cases[] = {
        {"generalized-time", generalized, kCRLStructure},
        {"algorithm-mismatch", mismatch, kCRLAlgorithmMismatch},
        {"byte-after-signature", trailing, kCRLStructure},
        {"bad-date", badDate, kCRLBadDate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadCRL(WorkFile(std::string("crl-") + c.name + ".der", c.bytes), ca.Get()).verify, c.code);
    }

    Bytes tampered = good;
    at = Find(tampered, caName);
    ASSERT_NE(at, std::string::npos);
    tampered[at] = 'X';
    CRLContents crl = ReadCRL(WorkFile("crl-tampered.der", tampered), ca.Get());
    EXPECT_EQ(crl.verify, kCRLSuccess);
    EXPECT_EQ(crl.signatureVerified, 0);
}

TEST(CRLFile, EveryTruncationFailsCleanly)
{
    const Bytes good = ReadPki("crl.top-bit.der");
    const std::string empty = testsupport::WorkDir() + "/crl-empty-file.der";
    std::fclose(std::fopen(empty.c_str(), "wb"));
    EXPECT_NE(ReadCRL(empty, nullptr).verify, kCRLSuccess);
    for (std::size_t n = 1; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        int code = ReadCRL(WorkFile("crl-cut.der", cut), nullptr).verify;
        EXPECT_NE(code, kCRLSuccess) << n;
    }
}

TEST(CRLFile, MissingFileOrNameIsRefused)
{
    EXPECT_EQ(ReadCRL(testsupport::WorkDir() + "/no-such.crl", nullptr).verify, kCRLFileFailed);
    CRLFileReader reader;
    EXPECT_EQ(OpenCRLFile(&reader, ""), kCRLArgument);
    EXPECT_EQ(OpenCRLFile(nullptr, "x"), kCRLArgument);
    EXPECT_EQ(OpenCRLFile(&reader, (testsupport::WorkDir() + "/no-such.tmp").c_str()), kCRLFileFailed);
}

// Two readers interleaved each walk their own list from the start.
TEST(CRLFile, ReaderStateBelongsToEachReader)
{
    const std::string first = testsupport::crl::ScratchName("first"), second = testsupport::crl::ScratchName("second");
    NameTable issuer, authorityIssuer;
    unsigned char a[kCRLNumberSize], b[kCRLNumberSize];
    ByteBuffer serial = {a, 0}, number = {b, 0};
    int verified = 0;
    ASSERT_EQ(VerifyCRLFile(testsupport::Pki("crl.top-bit.der").c_str(), first.c_str(), &issuer, &authorityIssuer,
                            &serial, &number, nullptr, &verified), kCRLSuccess);
    ASSERT_EQ(VerifyCRLFile(testsupport::Pki("crl.20-byte.der").c_str(), second.c_str(), &issuer, &authorityIssuer,
                            &serial, &number, nullptr, &verified), kCRLSuccess);
    FreeItems(issuer.slots, kNameSlots);
    FreeItems(authorityIssuer.slots, kNameSlots);

    CRLFileReader one, two;
    ASSERT_EQ(OpenCRLFile(&one, first.c_str()), kCRLSuccess);
    ASSERT_EQ(OpenCRLFile(&two, second.c_str()), kCRLSuccess);
    unsigned char buffer[kCRLSerialSize];
    char date[kCRLDateSize];
    unsigned char reason[kCRLReasonSize];
    ByteBuffer entry = {buffer, 0};
    std::vector<std::string> fromOne, fromTwo;
    int r1 = kCRLSuccess, r2 = kCRLSuccess;
    while (r1 == kCRLSuccess || r2 == kCRLSuccess) {
        if (r1 == kCRLSuccess && (r1 = NextCRLFileEntry(&one, &entry, date, reason)) == kCRLSuccess)
            fromOne.push_back(testsupport::ToHex(entry.pointer, entry.length));
        if (r2 == kCRLSuccess && (r2 = NextCRLFileEntry(&two, &entry, date, reason)) == kCRLSuccess)
            fromTwo.push_back(testsupport::ToHex(entry.pointer, entry.length));
    }
    EXPECT_EQ(r1, kCRLEndOfList);
    EXPECT_EQ(r2, kCRLEndOfList);
    EXPECT_EQ(fromOne, (std::vector<std::string>{kSigner, kRevoked}));
    EXPECT_EQ(fromTwo.size(), 1u);
    CloseCRLFile(&one);
    CloseCRLFile(&two);
    std::remove(first.c_str());
    std::remove(second.c_str());
}

}  // namespace
