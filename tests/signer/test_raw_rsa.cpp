// Raw RSA signatures, checked against the host's openssl: what we sign it
// verifies, and what it signs we verify.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "platform/capi_handles.h"
#include "signer/errors.h"
#include "signer/raw_rsa.h"
#include "tests/support/test_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/installed_signer.h"
#include "tools/fixture/fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Pki(const std::string& name) { return testsupport::PkiDir() + "/" + name; }
std::string Work(const std::string& name) { return testsupport::WorkDir() + "/raw-" + name; }

Bytes Content(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>((i * 37 + i / 509) & 0xFF);
    return data;
}

TEST(ReverseBytes, Table)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"", ""}, {"a", "a"}, {"ab", "ba"}, {"abc", "cba"}, {"abcdefgh", "hgfedcba"}};
    for (const Case& c : cases) {
        std::string text = c.in;
        ReverseBytes(reinterpret_cast<unsigned char*>(&text[0]), text.size());
        EXPECT_EQ(text, c.out) << c.in;
    }
}

class RawRsa : public InstalledSignerTest {
protected:
    void SetUp() override
    {
        FindSigner();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(key_.Acquire(certificate_.Get(), CRYPT_ACQUIRE_CACHE_FLAG)) << GetLastError();
    }

    // Signs the data file into the signature file.
    bool Sign(const std::string& data, const std::string& signature)
    {
        FILE* in = std::fopen(data.c_str(), "rb");
        FILE* out = std::fopen(signature.c_str(), "wb");
        bool ok = in && out && SignDigestRaw(in, out, key_.Provider(), key_.KeySpec());
        if (in) std::fclose(in);
        if (out) std::fclose(out);
        return ok;
    }

    bool Verify(const std::string& data, const std::string& signature)
    {
        return VerifyDigestRaw(data.c_str(), signature.c_str(), signerDer_.data(),
                               static_cast<DWORD>(signerDer_.size()));
    }

    TCertPrivateKey key_;
};


// Block edges of the streamed digest.
const std::size_t kSizes[] = {0, 1, 8192, 8193, 65543};

TEST_F(RawRsa, OpenSslVerifiesOurSignaturesBigEndian)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    std::string pubkey = Work("signer.pubkey");
    ASSERT_EQ(testsupport::openssl::Run("x509 -inform DER -in " + Pki("signer.cert.der") + " -pubkey -noout -out " + pubkey), 0);
    for (std::size_t size : kSizes) {
        std::string tag = std::to_string(size);
        std::string data = Work("data-" + tag);
        std::string ours = Work("ours-" + tag + ".sig");
        std::string theirs = Work("theirs-" + tag + ".sig");
        ASSERT_TRUE(testsupport::WriteFile(data, Content(size).data(), size));
        ASSERT_TRUE(Sign(data, ours)) << tag << " " << std::hex << GetLastError();
        EXPECT_EQ(testsupport::openssl::Run("dgst -sha1 -verify " + pubkey + " -signature " + ours + " " + data), 0) << tag;
        // Deterministic PKCS#1 v1.5: openssl's signature is the same bytes.
        ASSERT_EQ(testsupport::openssl::Run("dgst -sha1 -sign " + Pki("signer.key.pem") + " -out " + theirs + " " + data), 0);
        EXPECT_EQ(testsupport::ReadFile(ours), testsupport::ReadFile(theirs)) << tag;
        EXPECT_TRUE(Verify(data, ours)) << tag;
        EXPECT_TRUE(Verify(data, theirs)) << tag;
    }
}

TEST_F(RawRsa, SignatureFileIsRewrittenFromTheStart)
{
    std::string data = Work("rewrite.dat");
    std::string signature = Work("rewrite.sig");
    ASSERT_TRUE(testsupport::WriteFile(data, "abc", 3));
    ASSERT_TRUE(Sign(data, signature));
    Bytes first = testsupport::ReadFile(signature);
    FILE* in = std::fopen(data.c_str(), "rb");
    FILE* out = std::fopen(signature.c_str(), "r+b");
    ASSERT_TRUE(in && out);
    std::fseek(in, 2, SEEK_SET);  // the digest covers the whole input regardless
    std::fseek(out, 0, SEEK_END);
    EXPECT_TRUE(SignDigestRaw(in, out, key_.Provider(), key_.KeySpec()));
    std::fclose(in);
    std::fclose(out);
    EXPECT_EQ(testsupport::ReadFile(signature), first);
}

TEST_F(RawRsa, EitherByteOrderVerifiesAndAlterationsFail)
{
    std::string data = Work("order.dat");
    std::string signature = Work("order.sig");
    Bytes content = Content(8193);
    ASSERT_TRUE(testsupport::WriteFile(data, content.data(), content.size()));
    ASSERT_TRUE(Sign(data, signature));
    Bytes bigEndian = testsupport::ReadFile(signature);
    ASSERT_FALSE(bigEndian.empty());

    struct Case {
        const char* name;
        Bytes signature;
        bool tamperData;
        bool expected;
    };
    Bytes littleEndian = bigEndian;
    ReverseBytes(littleEndian.data(), littleEndian.size());
    Bytes flipped = bigEndian;
    flipped[flipped.size() / 2] ^= 0x01;
    Bytes truncated(bigEndian.begin(), bigEndian.end() - 1);
    Bytes oversized = bigEndian;
    oversized.resize(kMaxRawSignatureFile + 1, 0);
    Bytes padded(kMaxRawSignatureFile, 0);  // at the cap: read, then refused as a signature
    Case cases[] = {
        {"big-endian", bigEndian, false, true},
        {"little-endian", littleEndian, false, true},
        {"flipped signature byte", flipped, false, false},
        {"tampered data", bigEndian, true, false},
        {"truncated", truncated, false, false},
        {"empty", Bytes(), false, false},
        {"oversized", oversized, false, false},
        {"at the cap", padded, false, false},
    };
    Bytes tampered = content;
    tampered[4096] ^= 0x80;
    std::string tamperedData = Work("order-tampered.dat");
    ASSERT_TRUE(testsupport::WriteFile(tamperedData, tampered.data(), tampered.size()));
    for (const Case& c : cases) {
        std::string file = Work("case.sig");
        ASSERT_TRUE(testsupport::WriteFile(file, c.signature.data(), c.signature.size()));
        EXPECT_EQ(Verify(c.tamperData ? tamperedData : data, file), c.expected) << c.name;
    }
}

TEST_F(RawRsa, BrokenCertificateFailsAndMissingFilesThrow)
{
    std::string data = Work("cert.dat");
    std::string signature = Work("cert.sig");
    ASSERT_TRUE(testsupport::WriteFile(data, "x", 1));
    ASSERT_TRUE(Sign(data, signature));
    Bytes broken(signerDer_.begin(), signerDer_.begin() + signerDer_.size() / 2);
    EXPECT_FALSE(VerifyDigestRaw(data.c_str(), signature.c_str(), broken.data(), static_cast<DWORD>(broken.size())));
    EXPECT_THROW(Verify(Work("missing.dat"), signature), EFileOpenError);
    EXPECT_THROW(Verify(data, Work("missing.sig")), EFileOpenError);
}

}  // namespace
