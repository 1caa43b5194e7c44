// The streamed CRL verifier and reader on CRLs made by `openssl ca -gencrl`
// (tests/pki/make-crls.sh), and on those CRLs with one fault put in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/der/oid.h"
#include "core/io/text_files.h"
#include "core/x509/certificate_parts.h"
#include "core/x509/crl_file.h"
#include "tests/support/crl_util.h"
#include "tests/support/test_cert_util.h"

using testsupport::cert::Bytes;
using testsupport::cert::Cat;
using testsupport::cert::DecodedCertificate;
using testsupport::cert::Hex;
using testsupport::cert::Seq;
using testsupport::cert::Tlv;
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

// What one ReadCRLFile pass hands out.
struct Pass {
    int code = 0;
    CRLFileFields fields;
    CRLFileOutputs& outputs = fields.outputs;
    std::vector<std::string> serials;
    int stopAt = -1;  // the entry whose visit answers kCRLArgument

    Pass(const std::string& file, const RsaPublicKey* caKey, bool visit = true, int stop = -1) : stopAt(stop)
    {
        const CRLEntryVisitor visitor = {Visit, this};
        code = ReadCRLFile(file.c_str(), caKey, &outputs, visit ? &visitor : nullptr);
    }
    static int Visit(void* context, const ByteBuffer& serial, const char*, const unsigned char*)
    {
        Pass* pass = static_cast<Pass*>(context);
        if (static_cast<int>(pass->serials.size()) == pass->stopAt) return kCRLArgument;
        pass->serials.push_back(testsupport::ToHex(serial.pointer, serial.length));
        return kCRLSuccess;
    }
    bool Lists(const std::string& serial) const
    {
        return std::find(serials.begin(), serials.end(), serial) != serials.end();
    }
};

TEST(CRLFile, OnePassHandsEveryEntryAndTheIssuerAsEncoded)
{
    CAKey ca("ca");
    Pass pass(testsupport::Pki("crl.top-bit.der"), ca.Get());
    ASSERT_EQ(pass.code, kCRLSuccess);
    EXPECT_EQ(pass.outputs.signatureVerified, 1);
    EXPECT_EQ(pass.outputs.signatureAlgorithm, kAlgSHA1WithRsa);
    EXPECT_EQ(pass.serials, (std::vector<std::string>{kSigner, kRevoked}));
    EXPECT_STREQ(pass.fields.thisUpdate, "240701000000Z");
    EXPECT_STREQ(pass.fields.nextUpdate, "491231235959Z");
    EXPECT_EQ(testsupport::ToHex(pass.fields.crlNumber.pointer, pass.fields.crlNumber.length), "01");
    const Bytes caCert = ReadPki("ca.cert.der");
    ByteBuffer subject;
    ASSERT_TRUE(ReadCertificateSubjectView(caCert.data(), caCert.size(), &subject));
    EXPECT_EQ(Bytes(pass.fields.issuerName.pointer, pass.fields.issuerName.pointer + pass.fields.issuerName.length),
              Bytes(subject.pointer, subject.pointer + subject.length));

    // The visitor's code ends the pass; the failure is the list's.
    Pass stopped(testsupport::Pki("crl.top-bit.der"), ca.Get(), true, 1);
    EXPECT_EQ(stopped.code, kCRLArgument);
    EXPECT_EQ(stopped.outputs.failedInList, 1);
    EXPECT_EQ(stopped.serials.size(), 1u);
    Pass oversized(testsupport::Pki("crl.serial-60.der"), ca.Get());
    EXPECT_EQ(oversized.code, kCRLArgument);
    EXPECT_EQ(oversized.outputs.failedInList, 1);
    Pass badNumber(testsupport::Pki("crl.number-120.der"), ca.Get());
    EXPECT_EQ(badNumber.code, kCRLArgument);
    EXPECT_EQ(badNumber.outputs.failedInList, 0);

    // A signature algorithm we cannot check: read, never verified.
    Pass sha256(testsupport::Pki("crl.sha256.der"), ca.Get());
    EXPECT_EQ(sha256.code, kCRLSuccess);
    EXPECT_EQ(sha256.outputs.signatureAlgorithm, -1);
    EXPECT_EQ(sha256.outputs.signatureVerified, 0);
    EXPECT_TRUE(sha256.Lists(kSigner));
}

// A CRL whose list may not be the whole truth is read and checked through,
// then reported as such, by both passes.
TEST(CRLFile, CriticalExtensionsWeDoNotProcessAreReported)
{
    CAKey ca("ca");
    for (const char* file : {"crl.delta.der", "crl.idp.der", "crl.unknown-critical.der"}) {
        SCOPED_TRACE(file);
        Pass pass(testsupport::Pki(file), ca.Get());
        EXPECT_EQ(pass.code, kCRLCriticalExtension);
        EXPECT_EQ(pass.outputs.signatureVerified, 1);
        EXPECT_EQ(pass.serials, std::vector<std::string>{kRevoked});
        CRLContents contents = ReadCRL(testsupport::Pki(file), ca.Get(), "critical");
        EXPECT_EQ(contents.verify, kCRLCriticalExtension);
        EXPECT_EQ(contents.signatureVerified, 1);
        std::FILE* scratch = std::fopen(testsupport::crl::ScratchName("critical").c_str(), "rb");
        EXPECT_EQ(scratch, nullptr) << "scratch file left";
        if (scratch) std::fclose(scratch);
    }
}

// revokedCertificates of one entry whose extensions are given, in a CRL
// (unsigned: no CA key checks it) and as a scratch file.
Bytes EntryWith(const Bytes& extensions)
{
    const Bytes date = Tlv(0x17, testsupport::cert::Text("240601120000Z"));
    return Seq({Seq({Tlv(0x02, Hex("1002")), date, extensions})});
}

Bytes Extension(const std::string& oidHex, bool critical, const Bytes& value)
{
    return Seq({Tlv(0x06, Hex(oidHex)), critical ? Tlv(0x01, Hex("FF")) : Bytes(), Tlv(0x04, value)});
}

TEST(CRLFile, EntryExtensionsThatAreCriticalAndNotReasonCode)
{
    const Bytes reason = Tlv(0x0A, Hex("01"));
    const Bytes thisUpdate = Tlv(0x17, testsupport::cert::Text("240701000000Z"));
    const Bytes sha1WithRsa = Seq({Tlv(0x06, Hex("2A864886F70D010105")), Tlv(0x05, {})});
    const Bytes name = Seq({Tlv(0x31, Seq({Tlv(0x06, Hex("550403")), Tlv(0x13, testsupport::cert::Text("x"))}))});
    struct Case {
        const char* what;
        Bytes extensions;
        int code;
    } cases[] = {
        {"reasonCode, critical", Seq({Extension("551D15", true, reason)}), kCRLSuccess},
        {"invalidityDate, not critical",
         Seq({Extension("551D18", false, Tlv(0x18, testsupport::cert::Text("20240501000000Z")))}), kCRLSuccess},
        {"certificateIssuer, critical", Seq({Extension("551D1D", true, Seq({}))}), kCRLCriticalExtension},
        {"unknown, critical, after reasonCode",
         Seq({Extension("551D15", false, reason), Extension("2B0601040183B2030102", true, Tlv(0x05, {}))}),
         kCRLCriticalExtension},
        {"critical flag of two bytes", Seq({Seq({Tlv(0x06, Hex("551D15")), Tlv(0x01, Hex("FFFF")), Tlv(0x04, reason)})}),
         kCRLStructure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes list = EntryWith(c.extensions);
        const Bytes crl = Seq({Seq({Tlv(0x02, Hex("01")), sha1WithRsa, name, thisUpdate, list}), sha1WithRsa,
                               Tlv(0x03, Hex("00FFFF"))});
        Pass pass(WorkFile("crl-entry-extension.der", crl), nullptr);
        EXPECT_EQ(pass.code, c.code);
        EXPECT_EQ(pass.serials.size(), c.code == kCRLStructure ? 0u : 1u);

        CRLFileReader reader;
        ASSERT_EQ(OpenCRLFile(&reader, WorkFile("crl-entry-extension.tmp", Cat({thisUpdate, list})).c_str()),
                  kCRLSuccess);
        unsigned char buffer[kCRLSerialSize];
        char date[kCRLDateSize];
        unsigned char reasonOut[kCRLReasonSize];
        ByteBuffer serial = {buffer, 0};
        EXPECT_EQ(NextCRLFileEntry(&reader, &serial, date, reasonOut), c.code);
        CloseCRLFile(&reader);
    }
}

TEST(CRLFile, SignatureOfARegionOfAnOpenStream)
{
    CAKey ca("ca"), other("otherca");
    const Bytes crl = ReadPki("crl.top-bit.der");
    // CertificateList header, TBSCertList, signatureAlgorithm, BIT STRING.
    DERCursor cursor;
    InitDERReader(&cursor, crl.data(), crl.size());
    int tag = 0;
    std::size_t length = 0, outer = GetDERTagLength(&cursor, &tag, &length);
    DERCursor tbs = cursor;
    std::size_t tbsHeader = GetDERTagLength(&tbs, &tag, &length);
    const std::size_t tbsSize = tbsHeader + length;
    const Bytes tail(crl.begin() + static_cast<long>(outer + tbsSize), crl.end());
    const std::size_t signatureStart = Find(tail, Bytes{0x03, 0x82, 0x01, 0x01}) + 4;
    ASSERT_LT(signatureStart, tail.size());
    const Bytes signature(tail.begin() + static_cast<long>(signatureStart), tail.end());

    DataStream stream;
    ASSERT_EQ(OpenCRLFileStream(&stream, testsupport::Pki("crl.top-bit.der").c_str(), kOpenRead), kCRLSuccess);
    unsigned char first[3];
    std::size_t count = 0;
    ASSERT_EQ(ReadStream(&stream, first, sizeof first, &count), kStreamSuccess);
    EXPECT_NE(CheckCRLFileSignature(&stream, kAlgSHA1WithRsa, static_cast<long>(outer), tbsSize, ca.Get(),
                                    signature.data(), signature.size()), 0);
    EXPECT_EQ(CheckCRLFileSignature(&stream, kAlgSHA1WithRsa, static_cast<long>(outer), tbsSize, other.Get(),
                                    signature.data(), signature.size()), 0);
    EXPECT_EQ(CheckCRLFileSignature(&stream, kAlgSHA1WithRsa, static_cast<long>(outer) + 1, tbsSize, ca.Get(),
                                    signature.data(), signature.size()), 0);
    EXPECT_EQ(CheckCRLFileSignature(&stream, kAlgMD5WithRsa, static_cast<long>(outer), tbsSize, ca.Get(),
                                    signature.data(), signature.size()), 0);
    // The position is kept.
    unsigned char next = 0;
    ASSERT_EQ(ReadStream(&stream, &next, 1, &count), kStreamSuccess);
    EXPECT_EQ(next, crl[3]);
    CloseStream(&stream);
}

// 100000 entries (openssl ca -gencrl): one pass, linear, in bounded time.
TEST(CRLFile, ALargeListIsReadInBoundedTime)
{
    CAKey ca("ca");
    const auto start = std::chrono::steady_clock::now();
    Pass pass(testsupport::Pki("crl.100k.der"), ca.Get());
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(pass.code, kCRLSuccess);
    EXPECT_EQ(pass.outputs.signatureVerified, 1);
    ASSERT_EQ(pass.serials.size(), 100000u);
    EXPECT_TRUE(pass.Lists(kSigner));
    EXPECT_TRUE(pass.Lists("7e0186a0"));
    EXPECT_LT(seconds, 20.0);  // under the sanitizers; a few tenths of a second in a release build

    CRLContents contents = ReadCRL(testsupport::Pki("crl.100k.der"), ca.Get(), "100k");
    EXPECT_EQ(contents.verify, kCRLSuccess);
    EXPECT_EQ(contents.entries.size(), 100000u);
}

}  // namespace
