// The CRL writer: CRLs we write and sign are checked by `openssl crl
// -verify` and read back by our own reader; refused arguments, duplicates,
// a full disk and failed signatures leave the earlier target as it was and
// nothing beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "core/der/oid.h"
#include "core/x509/crl_file.h"
#include "core/x509/crl_file_writer.h"
#include "tests/support/crl_util.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;
using testsupport::crl::CRLContents;
using testsupport::crl::ReadCRL;

const char* const kThisUpdate = "240701000000Z";
const char* const kNextUpdate = "491231235959Z";
const char* const kRevokedAt = "240601120000Z";

struct Entry {
    Bytes serial;
    const char* date;
    int reason;
};

// A folder of the test's own, so that whatever is left beside a target shows.
class CRLWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = testsupport::WorkDir() + "/crlwriter-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        caKey_ = testsupport::pki_keys::PrivateKey("ca");
        caPublic_ = testsupport::pki_keys::PublicKey(caKey_);
        caCert_ = testsupport::ReadFile(Pki("ca.cert.der"));
    }
    void TearDown() override
    {
        CloseCRLFileWriter(&writer_);
        std::filesystem::remove_all(folder_);
    }

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Writes and signs the entries into target; the last code.
    int Write(const std::string& target, const std::vector<Entry>& entries, int algorithm = kAlgSHA1WithRsa,
              const char* nextUpdate = kNextUpdate)
    {
        int result = OpenCRLFileWriter(&writer_, target.c_str());
        for (const Entry& e : entries) {
            if (result != kCRLSuccess) return result;
            result = AddCRLFileEntry(&writer_, e.serial.data(), e.serial.size(), e.date, e.reason);
        }
        if (result != kCRLSuccess) return result;
        return SignCRLFile(&writer_, caCert_.data(), caCert_.size(), &caKey_, kThisUpdate, nextUpdate, algorithm);
    }

    // openssl crl -verify against the test CA, its -text output in text.
    // openssl's text of the CRL; 0 only when openssl also says it verified
    // the signature with the CA (it exits 0 on "verify failure").
    int OpenSslText(const std::string& crl, std::string& text)
    {
        const std::string out = crl + ".txt";
        const std::string said = crl + ".err";
        int status = testsupport::openssl_cli::Run("crl -inform DER -in " + crl + " -CAfile " + Pki("ca.cert.pem") +
                                                   " -noout -text -out " + out, said);
        Bytes bytes = testsupport::ReadFile(out);
        text.assign(bytes.begin(), bytes.end());
        Bytes verdict = testsupport::ReadFile(said);
        if (status == 0 && std::string(verdict.begin(), verdict.end()).find("verify OK") == std::string::npos) status = 1;
        std::remove(out.c_str());
        std::remove(said.c_str());
        return status;
    }

    std::string folder_;
    RsaPrivateKey caKey_;
    RsaPublicKey caPublic_;
    Bytes caCert_;
    CRLFileWriter writer_;
};

TEST_F(CRLWriter, OpenSslVerifiesWhatWeWriteAndOurReaderReadsItBack)
{
    const std::vector<Entry> entries = {
        {{0x10, 0x02}, kRevokedAt, 1},                          // keyCompromise
        {{0x8B, 0x7E, 0x0F, 0x4C}, "250102030405Z", kCRLNoReason},  // top bit set: a sign byte
        {Bytes(20, 0x41), kRevokedAt, 5},                       // 20 bytes, cessationOfOperation
        {Bytes(23, 0x7F), "991231235959Z", 3},                  // the longest serial, affiliationChanged
    };
    struct Case {
        const char* name;
        int algorithm;
        const char* nextUpdate;
        const char* digestText;  // as openssl names it; null: openssl is not asked
    } cases[] = {
        {"sha1", kAlgSHA1WithRsa, kNextUpdate, "sha1WithRSAEncryption"},
        {"md5", kAlgMD5WithRsa, kNextUpdate, "md5WithRSAEncryption"},
        {"md2", kAlgMD2WithRsa, kNextUpdate, nullptr},  // OpenSSL 3 checks neither MD2 nor MD4
        {"md4", kAlgMD4WithRsa, kNextUpdate, nullptr},
        {"no-next-update", kAlgSHA1WithRsa, nullptr, "sha1WithRSAEncryption"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string crl = Path(std::string(c.name) + ".crl");
        ASSERT_EQ(Write(crl, entries, c.algorithm, c.nextUpdate), kCRLSuccess);
        EXPECT_EQ(Files(), std::vector<std::string>{std::string(c.name) + ".crl"});
        if (c.digestText) {
            std::string text;
            ASSERT_EQ(OpenSslText(crl, text), 0) << text;
            EXPECT_NE(text.find("Signature Algorithm: " + std::string(c.digestText)), std::string::npos);
            EXPECT_NE(text.find("Last Update: Jul  1 00:00:00 2024 GMT"), std::string::npos) << text;
            EXPECT_EQ(text.find("Next Update: Dec 31 23:59:59 2049 GMT") != std::string::npos, c.nextUpdate != nullptr);
            for (const char* serial : {"Serial Number: 1002", "Serial Number: 8B7E0F4C",
                                       "Serial Number: 4141414141414141414141414141414141414141",
                                       "Serial Number: 7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F7F"})
                EXPECT_NE(text.find(serial), std::string::npos) << serial;
            EXPECT_NE(text.find("Revocation Date: Jun  1 12:00:00 2024 GMT"), std::string::npos);
            EXPECT_NE(text.find("Revocation Date: Jan  2 03:04:05 2025 GMT"), std::string::npos);
            EXPECT_NE(text.find("Key Compromise"), std::string::npos);
            EXPECT_NE(text.find("Cessation Of Operation"), std::string::npos);
            EXPECT_NE(text.find("Affiliation Changed"), std::string::npos);
        }
        CRLContents read = ReadCRL(crl, &caPublic_);
        ASSERT_EQ(read.verify, kCRLSuccess);
        EXPECT_EQ(read.signatureVerified, 1);
        EXPECT_EQ(read.thisUpdate, kThisUpdate);
        EXPECT_EQ(read.nextUpdate, c.nextUpdate ? c.nextUpdate : "");
        EXPECT_EQ(read.last, kCRLEndOfList);
        ASSERT_EQ(read.entries.size(), entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(read.entries[i].serialHex, testsupport::ToHex(entries[i].serial.data(), entries[i].serial.size()));
            EXPECT_EQ(read.entries[i].date, entries[i].date);
            const unsigned char reason = static_cast<unsigned char>(entries[i].reason);
            EXPECT_EQ(read.entries[i].reason,
                      entries[i].reason == kCRLNoReason ? std::string() : testsupport::ToHex(&reason, 1));
        }
        std::remove(crl.c_str());
    }
}

TEST_F(CRLWriter, AnEmptyListIsACRLWithoutRevokedCertificates)
{
    const std::string crl = Path("empty.crl");
    ASSERT_EQ(Write(crl, {}), kCRLSuccess);
    std::string text;
    ASSERT_EQ(OpenSslText(crl, text), 0) << text;
    EXPECT_NE(text.find("No Revoked Certificates."), std::string::npos) << text;
    CRLContents read = ReadCRL(crl, &caPublic_);
    EXPECT_EQ(read.verify, kCRLSuccess);
    EXPECT_EQ(read.signatureVerified, 1);
    EXPECT_EQ(read.last, kCRLNoList);
}

TEST_F(CRLWriter, FindsWrittenEntriesInTheScratchList)
{
    const std::string crl = Path("find.crl"), scratch = Path("find.scratch");
    ASSERT_EQ(Write(crl, {{{0x10, 0x02}, kRevokedAt, 1}, {{0x8B, 0x7E}, "250102030405Z", kCRLNoReason}}), kCRLSuccess);
    NameTable issuer, authorityIssuer;
    unsigned char a[kCRLNumberSize], b[kCRLNumberSize];
    ByteBuffer serial = {a, 0}, number = {b, 0};
    int verified = 0;
    ASSERT_EQ(VerifyCRLFile(crl.c_str(), scratch.c_str(), &issuer, &authorityIssuer, &serial, &number, &caPublic_,
                            &verified), kCRLSuccess);
    FreeItems(issuer.slots, kNameSlots);
    FreeItems(authorityIssuer.slots, kNameSlots);
    EXPECT_EQ(verified, 1);

    CRLFileReader reader;
    ASSERT_EQ(OpenCRLFile(&reader, scratch.c_str()), kCRLSuccess);
    char date[kCRLDateSize];
    unsigned char reason[kCRLReasonSize];
    const unsigned char topBit[] = {0x00, 0x8B, 0x7E}, first[] = {0x10, 0x02}, absent[] = {0x10, 0x03};
    EXPECT_EQ(FindCRLFileEntry(&reader, topBit, sizeof topBit, date, reason), kCRLSuccess);  // sign byte or not
    EXPECT_STREQ(date, "250102030405Z");
    EXPECT_STREQ(reinterpret_cast<char*>(reason), "");
    EXPECT_EQ(FindCRLFileEntry(&reader, first, sizeof first, date, reason), kCRLSuccess);  // from the top again
    EXPECT_STREQ(date, kRevokedAt);
    EXPECT_EQ(reason[0], 1);
    EXPECT_EQ(FindCRLFileEntry(&reader, absent, sizeof absent, date, reason), kCRLEndOfList);
    EXPECT_EQ(FindCRLFileEntry(&reader, first, sizeof first, date, reason), kCRLSuccess);  // still open
    EXPECT_EQ(FindCRLFileEntry(&reader, first, 0, date, reason), kCRLArgument);
    EXPECT_EQ(FindCRLFileEntry(&reader, first, sizeof first, date, reason), kCRLNoStream);  // a code closed it
    CloseCRLFile(&reader);
}

TEST_F(CRLWriter, AnEntryThatExistsIsRefusedAndTheWriterGoesOn)
{
    const std::string crl = Path("twice.crl");
    ASSERT_EQ(OpenCRLFileWriter(&writer_, crl.c_str()), kCRLSuccess);
    const unsigned char serial[] = {0x10, 0x02}, padded[] = {0x00, 0x00, 0x10, 0x02}, other[] = {0x10, 0x03};
    EXPECT_EQ(AddCRLFileEntry(&writer_, serial, sizeof serial, kRevokedAt, 1), kCRLSuccess);
    EXPECT_EQ(AddCRLFileEntry(&writer_, serial, sizeof serial, "250101000000Z", kCRLNoReason), kCRLArgument);
    EXPECT_EQ(AddCRLFileEntry(&writer_, padded, sizeof padded, kRevokedAt, 1), kCRLArgument);  // the same number
    EXPECT_EQ(AddCRLFileEntry(&writer_, other, sizeof other, kRevokedAt, 1), kCRLSuccess);
    ASSERT_EQ(SignCRLFile(&writer_, caCert_.data(), caCert_.size(), &caKey_, kThisUpdate, kNextUpdate,
                          kAlgSHA1WithRsa), kCRLSuccess);
    std::string text;
    ASSERT_EQ(OpenSslText(crl, text), 0) << text;
    CRLContents read = ReadCRL(crl, &caPublic_);
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.entries[0].serialHex, "1002");
    EXPECT_EQ(read.entries[0].date, kRevokedAt);
    EXPECT_EQ(read.entries[1].serialHex, "1003");
}

TEST_F(CRLWriter, RefusalsLeaveTheEarlierTargetAndNothingBesideIt)
{
    const std::string target = Path("target.crl");
    const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    const unsigned char serial[] = {0x10, 0x02};
    const Bytes signerCert = testsupport::ReadFile(Pki("signer.cert.der"));
    const RsaPrivateKey signerKey = testsupport::pki_keys::PrivateKey("signer");
    const Bytes junk = {0x30, 0x03, 0x02, 0x01, 0x01};
    const unsigned char tooLong[kCRLMaxWriterSerial + 1] = {1};

    struct AddCase {
        const char* what;
        const unsigned char* serial;
        std::size_t length;
        const char* date;
        int reason;
    } adds[] = {
        {"no serial", serial, 0, kRevokedAt, 1},
        {"serial of 24 bytes", tooLong, sizeof tooLong, kRevokedAt, 1},
        {"no date", serial, sizeof serial, nullptr, 1},
        {"date without seconds", serial, sizeof serial, "2406011200", 1},
        {"month 13", serial, sizeof serial, "241301120000Z", 1},
        {"GeneralizedTime", serial, sizeof serial, "20240601120000Z", 1},
        {"reason 7", serial, sizeof serial, kRevokedAt, 7},
        {"reason 11", serial, sizeof serial, kRevokedAt, 11},
    };
    for (const AddCase& c : adds) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testsupport::WriteFile(target, earlier.data(), earlier.size()));
        ASSERT_EQ(OpenCRLFileWriter(&writer_, target.c_str()), kCRLSuccess);
        EXPECT_EQ(AddCRLFileEntry(&writer_, c.serial, c.length, c.date, c.reason), kCRLArgument);
        // Nothing was written: the writer goes on.
        EXPECT_EQ(AddCRLFileEntry(&writer_, serial, sizeof serial, kRevokedAt, 1), kCRLSuccess);
        CloseCRLFileWriter(&writer_);
        EXPECT_EQ(testsupport::ReadFile(target), earlier);
        EXPECT_EQ(Files(), std::vector<std::string>{"target.crl"});
    }

    struct SignCase {
        const char* what;
        const Bytes* certificate;
        const RsaPrivateKey* key;
        const char* thisUpdate;
        const char* nextUpdate;
        int algorithm;
        int code;
    } signs[] = {
        {"sha256 code", &caCert_, &caKey_, kThisUpdate, kNextUpdate, kAlgRsaEncryption, kCRLArgument},
        {"bad thisUpdate", &caCert_, &caKey_, "240230000000Z", kNextUpdate, kAlgSHA1WithRsa, kCRLArgument},
        {"bad nextUpdate", &caCert_, &caKey_, kThisUpdate, "49123123595Z", kAlgSHA1WithRsa, kCRLArgument},
        {"no key", &caCert_, nullptr, kThisUpdate, kNextUpdate, kAlgSHA1WithRsa, kCRLArgument},
        {"issuer not a certificate", &junk, &caKey_, kThisUpdate, kNextUpdate, kAlgSHA1WithRsa, kCRLIssuerCertificate},
        // The signer's key under the CA's certificate: no one could verify it.
        {"key of another certificate", &caCert_, &signerKey, kThisUpdate, kNextUpdate, kAlgSHA1WithRsa,
         kCRLSignFailed},
        {"key of another certificate, md5", &signerCert, &caKey_, kThisUpdate, kNextUpdate, kAlgMD5WithRsa,
         kCRLSignFailed},
    };
    for (const SignCase& c : signs) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testsupport::WriteFile(target, earlier.data(), earlier.size()));
        ASSERT_EQ(OpenCRLFileWriter(&writer_, target.c_str()), kCRLSuccess);
        ASSERT_EQ(AddCRLFileEntry(&writer_, serial, sizeof serial, kRevokedAt, 1), kCRLSuccess);
        EXPECT_EQ(SignCRLFile(&writer_, c.certificate->data(), c.certificate->size(), c.key, c.thisUpdate,
                              c.nextUpdate, c.algorithm), c.code);
        CloseCRLFileWriter(&writer_);
        EXPECT_EQ(testsupport::ReadFile(target), earlier);
        EXPECT_EQ(Files(), std::vector<std::string>{"target.crl"});
    }

    EXPECT_EQ(OpenCRLFileWriter(&writer_, ""), kCRLArgument);
    EXPECT_EQ(OpenCRLFileWriter(&writer_, Path("no-such-folder/x.crl").c_str()), kCRLFileFailed);
    EXPECT_EQ(AddCRLFileEntry(&writer_, serial, sizeof serial, kRevokedAt, 1), kCRLNoStream);
    EXPECT_EQ(SignCRLFile(&writer_, caCert_.data(), caCert_.size(), &caKey_, kThisUpdate, kNextUpdate,
                          kAlgSHA1WithRsa), kCRLNoStream);
    EXPECT_EQ(Files(), std::vector<std::string>{"target.crl"});
}

TEST_F(CRLWriter, PrependPutsTheHeaderInFrontInPlace)
{
    const std::string file = Path("body.bin");
    ASSERT_TRUE(testsupport::WriteFile(file, "content", 7));
    const unsigned char header[] = {0x30, 0x07};
    EXPECT_EQ(PrependCRLFileHeader(file.c_str(), header, sizeof header), kCRLSuccess);
    EXPECT_EQ(testsupport::ReadFile(file), (Bytes{0x30, 0x07, 'c', 'o', 'n', 't', 'e', 'n', 't'}));
    EXPECT_EQ(PrependCRLFileHeader(file.c_str(), nullptr, 0), kCRLSuccess);
    EXPECT_EQ(testsupport::ReadFile(file).size(), 9u);
    EXPECT_EQ(PrependCRLFileHeader(Path("missing.bin").c_str(), header, sizeof header), kCRLFileFailed);
    EXPECT_EQ(PrependCRLFileHeader("", header, sizeof header), kCRLArgument);
    EXPECT_EQ(PrependCRLFileHeader(file.c_str(), nullptr, 3), kCRLArgument);
    EXPECT_EQ(Files(), std::vector<std::string>{"body.bin"});
}

#ifndef _WIN32
// Over the file-size limit every further write fails (SIGXFSZ ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved_;
        small.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    bool ok() const { return ok_; }

private:
    struct rlimit saved_;
    void (*previous_)(int);
    bool ok_ = false;
};

// A disk that fills while entries are added, or while the CRL is written:
// 109, the writer closed, the earlier target as it was, nothing beside it.
TEST_F(CRLWriter, AFullDiskLeavesTheEarlierTarget)
{
    const std::string target = Path("target.crl");
    const Bytes earlier(600, 'e');
    ASSERT_TRUE(testsupport::WriteFile(target, earlier.data(), earlier.size()));
    int result = kCRLSuccess;
    {
        FileSizeLimit limit(8192);
        ASSERT_TRUE(limit.ok());
        ASSERT_EQ(OpenCRLFileWriter(&writer_, target.c_str()), kCRLSuccess);
        for (std::uint32_t i = 1; i <= 100000 && result == kCRLSuccess; ++i) {
            const unsigned char serial[] = {0x40, static_cast<unsigned char>(i >> 16), static_cast<unsigned char>(i >> 8),
                                            static_cast<unsigned char>(i)};
            result = AddCRLFileEntry(&writer_, serial, sizeof serial, kRevokedAt, 1);
        }
        if (result == kCRLSuccess)
            result = SignCRLFile(&writer_, caCert_.data(), caCert_.size(), &caKey_, kThisUpdate, kNextUpdate,
                                 kAlgSHA1WithRsa);
    }
    EXPECT_EQ(result, kCRLFileFailed);
    const unsigned char serial[] = {0x10, 0x02};
    EXPECT_EQ(AddCRLFileEntry(&writer_, serial, sizeof serial, kRevokedAt, 1), kCRLNoStream);
    EXPECT_EQ(testsupport::ReadFile(target), earlier);
    EXPECT_EQ(Files(), std::vector<std::string>{"target.crl"});

    // The entries fit, the CRL does not.
    ASSERT_EQ(OpenCRLFileWriter(&writer_, target.c_str()), kCRLSuccess);
    for (unsigned char i = 1; i <= 20; ++i) {
        const unsigned char entry[] = {0x40, i};
        ASSERT_EQ(AddCRLFileEntry(&writer_, entry, sizeof entry, kRevokedAt, 1), kCRLSuccess);
    }
    {
        FileSizeLimit limit(writer_.entriesLength + 100);
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(SignCRLFile(&writer_, caCert_.data(), caCert_.size(), &caKey_, kThisUpdate, kNextUpdate,
                              kAlgSHA1WithRsa), kCRLFileFailed);
    }
    EXPECT_EQ(testsupport::ReadFile(target), earlier);
    EXPECT_EQ(Files(), std::vector<std::string>{"target.crl"});

    // PrependCRLFileHeader likewise.
    {
        FileSizeLimit limit(earlier.size() + 1);
        ASSERT_TRUE(limit.ok());
        const unsigned char header[] = {0x30, 0x82, 0x02, 0x58};
        EXPECT_EQ(PrependCRLFileHeader(target.c_str(), header, sizeof header), kCRLFileFailed);
    }
    EXPECT_EQ(testsupport::ReadFile(target), earlier);
    EXPECT_EQ(Files(), std::vector<std::string>{"target.crl"});
}
#endif

}  // namespace
