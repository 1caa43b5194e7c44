// The streamed signed-data and enveloped-data encoders, checked by the
// OpenSSL command line of the host (reached from Wine by CreateProcess on
// its Unix path; without it those checks are skipped).
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "platform/capi_handles.h"
#include "signer/cms/cms_stream.h"
#include "tests/support/test_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/installed_signer.h"
#include "tools/fixture/fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Pki(const std::string& name) { return testsupport::PkiDir() + "/" + name; }
std::string Work(const std::string& name) { return testsupport::WorkDir() + "/cms-" + name; }

Bytes Content(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>((i * 131 + i / 251) & 0xFF);
    return data;
}

// The output file as the drivers keep it, with what the callback saw.
struct Sink {
    FILE* file = nullptr;
    std::uint64_t bytes = 0;
    int finals = 0;
    bool afterFinal = false;
    int failAfter = -1;  // calls before answering false; -1 never
    int calls = 0;
};

bool SinkOutput(void* argument, const unsigned char* data, std::size_t length, bool final)
{
    Sink* sink = static_cast<Sink*>(argument);
    if (sink->finals) sink->afterFinal = true;
    if (sink->failAfter >= 0 && sink->calls++ >= sink->failAfter) return false;
    if (length && std::fwrite(data, 1, length, sink->file) != length) return false;
    sink->bytes += length;
    if (final) ++sink->finals;
    return true;
}

// Feeds in 8192-byte blocks; the last block is the one shorter than that or
// the one that ends the content.
template <class Encoder>
bool Feed(Encoder& encoder, const Bytes& content)
{
    std::size_t remaining = content.size();
    std::size_t at = 0;
    for (;;) {
        std::size_t n = remaining < 8192 ? remaining : 8192;
        remaining -= n;
        bool last = n < 8192 || remaining == 0;
        if (!encoder.Update(content.data() + at, n, last)) return false;
        at += n;
        if (last) return true;
    }
}

class CmsEncode : public InstalledSignerTest {
protected:
    void SetUp() override
    {
        FindSigner();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(key_.Acquire(certificate_.Get(), CRYPT_ACQUIRE_CACHE_FLAG)) << GetLastError();
        signer_.certificate = certificate_.Get();
        signer_.provider = key_.Provider();
        signer_.keySpec = key_.KeySpec();
    }

    // Signs the content into a file; checks the lengths and the callback's
    // sequence.
    void Sign(const Bytes& content, bool detached, const std::string& out)
    {
        std::uint64_t announced = 0;
        ASSERT_TRUE(CmsSignedEncodedLength(signer_, detached, content.size(), &announced));
        Sink sink;
        sink.file = std::fopen(out.c_str(), "wb");
        ASSERT_NE(sink.file, nullptr) << out;
        TCmsSignEncoder encoder;
        bool ok = encoder.Open(signer_, detached, content.size(), CmsOutput{SinkOutput, &sink});
        EXPECT_EQ(encoder.EncodedLength(), announced);
        ok = ok && Feed(encoder, content);
        std::fclose(sink.file);
        ASSERT_TRUE(ok) << std::hex << GetLastError();
        EXPECT_EQ(sink.bytes, announced);
        EXPECT_EQ(sink.finals, 1);
        EXPECT_FALSE(sink.afterFinal);
    }

    void Envelope(const Bytes& content, PCCERT_CONTEXT recipient, const std::string& out)
    {
        Sink sink;
        sink.file = std::fopen(out.c_str(), "wb");
        ASSERT_NE(sink.file, nullptr) << out;
        TCmsEnvelopeEncoder encoder;
        bool ok = encoder.Open(recipient, signer_.provider, content.size(), CmsOutput{SinkOutput, &sink});
        std::uint64_t announced = encoder.EncodedLength();
        ok = ok && Feed(encoder, content);
        std::fclose(sink.file);
        ASSERT_TRUE(ok) << std::hex << GetLastError();
        EXPECT_EQ(sink.bytes, announced);
        EXPECT_EQ(sink.finals, 1);
        EXPECT_FALSE(sink.afterFinal);
    }

    TCertPrivateKey key_;
    CmsSigner signer_;
};


const std::size_t kSizes[] = {0, 1, 8191, 8192, 8193, 65543};
// Block edges, and one of several MiB for the long-form lengths.
const std::size_t kSignSizes[] = {0, 1, 8191, 8192, 8193, 65543, 3 * 1024 * 1024 + 5};

TEST_F(CmsEncode, SignedMessagesVerifyWithOpenSsl)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    for (bool detached : {false, true}) {
        for (std::size_t size : kSignSizes) {
            SCOPED_TRACE(std::string(detached ? "detached " : "attached ") + std::to_string(size));
            std::string tag = (detached ? "d" : "a") + std::to_string(size);
            Bytes content = Content(size);
            ASSERT_TRUE(testsupport::WriteFile(Work(tag + ".bin"), content.data(), content.size()));
            ASSERT_NO_FATAL_FAILURE(Sign(content, detached, Work(tag + ".p7")));
            std::string verified = Work(tag + ".verified");
            const std::string data = Work(tag + ".bin");
            ASSERT_EQ(testsupport::openssl::VerifySigned(Work(tag + ".p7"), verified, detached ? &data : nullptr), 0)
                << "openssl did not verify " << tag;
            EXPECT_EQ(testsupport::ReadFile(verified), content);
        }
    }
}

// The peer does check: other content than the signed one fails.
TEST_F(CmsEncode, DetachedSignatureRefusesOtherContent)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(8193);
    ASSERT_NO_FATAL_FAILURE(Sign(content, true, Work("other.p7")));
    content[8192] ^= 1;
    ASSERT_TRUE(testsupport::WriteFile(Work("other.bin"), content.data(), content.size()));
    const std::string other = Work("other.bin");
    EXPECT_NE(testsupport::openssl::VerifySigned(Work("other.p7"), Work("other.out"), &other), 0);
}

TEST_F(CmsEncode, SignedMessageShape)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(100);
    ASSERT_NO_FATAL_FAILURE(Sign(content, false, Work("shape.p7")));
    std::string printed = Work("shape.txt");
    std::remove(printed.c_str());
    ASSERT_EQ(testsupport::openssl::Run("cms -cmsout -print -inform DER -in " + Work("shape.p7") + " -out " + printed), 0);
    Bytes raw = testsupport::ReadFile(printed);
    std::string text(raw.begin(), raw.end());
    ASSERT_FALSE(text.empty());
    auto count = [&](const std::string& needle) {
        int n = 0;
        for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("contentType: pkcs7-signedData"), 1);
    EXPECT_EQ(count("eContentType: pkcs7-data"), 1);
    EXPECT_EQ(count("algorithm: sha1 (1.3.14.3.2.26)"), 2);  // digestAlgorithms and the signer's
    EXPECT_EQ(count("d.certificate:"), 1);
    EXPECT_EQ(count("d.issuerAndSerialNumber:"), 1);  // one signer
    EXPECT_EQ(count("\n        signedAttrs:\n          <ABSENT>"), 1);
    EXPECT_EQ(count("algorithm: rsaEncryption"), 2);  // the certificate's key and the signature
    EXPECT_NE(text.find("serialNumber: 4098"), std::string::npos);  // signer 0x1002
    // The certificate is carried byte for byte.
    std::string der = Work("shape.certs.pem");
    std::remove(der.c_str());
    ASSERT_EQ(testsupport::openssl::Run("pkcs7 -inform DER -in " + Work("shape.p7") + " -print_certs -out " + der), 0);
    std::string pem = Work("shape.cert.der");
    std::remove(pem.c_str());
    ASSERT_EQ(testsupport::openssl::Run("x509 -in " + der + " -outform DER -out " + pem), 0);
    EXPECT_EQ(testsupport::ReadFile(pem), Bytes(signerDer_.begin(), signerDer_.end()));
}

TEST_F(CmsEncode, EnvelopesDecryptWithOpenSsl)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes recipientDer = testsupport::ReadFile(Pki("recipient.cert.der"));
    TCertContext recipient(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                        recipientDer.data(),
                                                        static_cast<DWORD>(recipientDer.size())));
    ASSERT_TRUE(recipient);
    for (std::size_t size : kSizes) {
        SCOPED_TRACE(size);
        std::string tag = "e" + std::to_string(size);
        Bytes content = Content(size);
        ASSERT_NO_FATAL_FAILURE(Envelope(content, recipient.Get(), Work(tag + ".p7")));
        std::string opened = Work(tag + ".opened");
        ASSERT_EQ(testsupport::openssl::DecryptEnvelope(Work(tag + ".p7"), opened), 0) << "openssl did not decrypt " << tag;
        EXPECT_EQ(testsupport::ReadFile(opened), content);
    }
}

TEST_F(CmsEncode, EnvelopeShape)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes recipientDer = testsupport::ReadFile(Pki("recipient.cert.der"));
    TCertContext recipient(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                        recipientDer.data(),
                                                        static_cast<DWORD>(recipientDer.size())));
    ASSERT_TRUE(recipient);
    ASSERT_NO_FATAL_FAILURE(Envelope(Content(100), recipient.Get(), Work("eshape.p7")));
    std::string printed = Work("eshape.txt");
    std::remove(printed.c_str());
    ASSERT_EQ(testsupport::openssl::Run("cms -cmsout -print -inform DER -in " + Work("eshape.p7") + " -out " + printed), 0);
    Bytes raw = testsupport::ReadFile(printed);
    std::string text(raw.begin(), raw.end());
    auto count = [&](const std::string& needle) {
        int n = 0;
        for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("contentType: pkcs7-envelopedData"), 1);
    EXPECT_EQ(count("d.ktri:"), 1);  // one recipient, by issuer and serial
    EXPECT_EQ(count("serialNumber: 4099"), 1);  // recipient 0x1003
    EXPECT_EQ(count("algorithm: rsaEncryption (1.2.840.113549.1.1.1)\n          parameter: NULL"), 1);
    EXPECT_EQ(count("contentType: pkcs7-data"), 1);
    EXPECT_EQ(count("algorithm: rc4 (1.2.840.113549.3.4)\n        parameter: OCTET STRING:"), 1);
}

// A serial whose top bit is set ("revoked", 8B7E0F4C) keeps its sign byte in
// the signer's and the recipient's IssuerAndSerialNumber: OpenSSL finds both.
TEST_F(CmsEncode, TopBitSerialsKeepTheirSignByte)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    std::string error;
    fixture::Bytes der, key;
    ASSERT_TRUE(fixture::ReadFile(Pki("revoked.cert.der"), der, error)) << error;
    ASSERT_TRUE(fixture::ReadFile(Pki("revoked.key.pk1.der"), key, error)) << error;
    std::string thumbprint;
    ASSERT_TRUE(fixture::Thumbprint(der, thumbprint, error)) << error;
    bool installed = fixture::InstallWithKey(der, key, fixture::DefaultContainer(thumbprint), error);
    FillBytes(key.data(), 0, key.size());
    ASSERT_TRUE(installed) << error;
    struct Uninstall {
        std::string thumbprint;
        ~Uninstall()
        {
            bool found = false;
            std::string ignored;
            fixture::Remove(thumbprint, found, ignored);
        }
    } uninstall{thumbprint};

    fixture::Bytes hash;
    ASSERT_TRUE(fixture::ParseHex(thumbprint, hash));
    TCertStore store;
    TCertContext certificate;
    ASSERT_TRUE(OpenUserStore(store, "MY"));
    ASSERT_TRUE(FindCertificateByHash(store, hash.data(), certificate));
    TCertPrivateKey revokedKey;
    ASSERT_TRUE(revokedKey.Acquire(certificate.Get(), CRYPT_ACQUIRE_CACHE_FLAG)) << GetLastError();
    signer_.certificate = certificate.Get();
    signer_.provider = revokedKey.Provider();
    signer_.keySpec = revokedKey.KeySpec();

    Bytes content = Content(300);
    ASSERT_NO_FATAL_FAILURE(Sign(content, false, Work("topbit.p7")));
    std::string verified = Work("topbit.verified"), printed = Work("topbit.txt");
    std::remove(printed.c_str());
    EXPECT_EQ(testsupport::openssl::VerifySigned(Work("topbit.p7"), verified), 0);
    EXPECT_EQ(testsupport::ReadFile(verified), content);
    ASSERT_EQ(testsupport::openssl::Run("cms -cmsout -print -inform DER -in " + Work("topbit.p7") + " -out " + printed), 0);
    Bytes raw = testsupport::ReadFile(printed);
    EXPECT_NE(std::string(raw.begin(), raw.end()).find("serialNumber: 2340294476"), std::string::npos)
        << "0x8B7E0F4C, positive";

    ASSERT_NO_FATAL_FAILURE(Envelope(content, certificate.Get(), Work("topbit.env.p7")));
    std::string opened = Work("topbit.opened");
    EXPECT_EQ(testsupport::openssl::DecryptEnvelope(Work("topbit.env.p7"), opened, "revoked"), 0);
    EXPECT_EQ(testsupport::ReadFile(opened), content);
}

// What the driver for "FE" does: a signed message enveloped, then opened and
// verified by OpenSSL.
TEST_F(CmsEncode, SignedThenEnvelopedOpensAndVerifies)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(20000);
    ASSERT_NO_FATAL_FAILURE(Sign(content, false, Work("fe.signed.p7")));
    Bytes signedMessage = testsupport::ReadFile(Work("fe.signed.p7"));
    Bytes recipientDer = testsupport::ReadFile(Pki("recipient.cert.der"));
    TCertContext recipient(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                        recipientDer.data(),
                                                        static_cast<DWORD>(recipientDer.size())));
    ASSERT_TRUE(recipient);
    ASSERT_NO_FATAL_FAILURE(Envelope(signedMessage, recipient.Get(), Work("fe.p7")));
    std::string opened = Work("fe.opened"), verified = Work("fe.verified");
    ASSERT_EQ(testsupport::openssl::DecryptEnvelope(Work("fe.p7"), opened), 0);
    ASSERT_EQ(testsupport::openssl::VerifySigned(opened, verified), 0);
    EXPECT_EQ(testsupport::ReadFile(opened), signedMessage);
    EXPECT_EQ(testsupport::ReadFile(verified), content);
}

TEST_F(CmsEncode, ContentMustMatchTheAnnouncedLength)
{
    Sink sink;
    sink.file = std::fopen(Work("misuse.p7").c_str(), "wb");
    ASSERT_NE(sink.file, nullptr);
    Bytes content = Content(10);
    struct {
        const char* what;
        std::size_t announced, fed;
        bool last;
    } cases[] = {
        {"more than announced", 5, 10, false},
        {"last block short", 20, 10, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TCmsSignEncoder sign;
        ASSERT_TRUE(sign.Open(signer_, false, c.announced, CmsOutput{SinkOutput, &sink}));
        EXPECT_FALSE(sign.Update(content.data(), c.fed, c.last));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    }
    // After the last block nothing more is taken.
    TCmsSignEncoder sign;
    ASSERT_TRUE(sign.Open(signer_, true, 10, CmsOutput{SinkOutput, &sink}));
    ASSERT_TRUE(sign.Update(content.data(), 10, true));
    EXPECT_FALSE(sign.Update(content.data(), 0, true));
    std::fclose(sink.file);
}

TEST_F(CmsEncode, ContentOf4GiBIsRefused)
{
    const std::uint64_t tooLong = 0x100000000ull;
    std::uint64_t length = 0;
    EXPECT_FALSE(CmsSignedEncodedLength(signer_, true, tooLong, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    // Content that fits but whose attached message would not.
    EXPECT_FALSE(CmsSignedEncodedLength(signer_, false, 0xFFFFFF00ull, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    EXPECT_TRUE(CmsSignedEncodedLength(signer_, true, 0xFFFFFF00ull, &length));

    Sink sink;
    TCmsSignEncoder sign;
    EXPECT_FALSE(sign.Open(signer_, true, tooLong, CmsOutput{SinkOutput, &sink}));
    TCmsEnvelopeEncoder envelope;
    EXPECT_FALSE(envelope.Open(signer_.certificate, signer_.provider, tooLong, CmsOutput{SinkOutput, &sink}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
}

TEST_F(CmsEncode, RefusedWriteEndsTheEncoding)
{
    Bytes content = Content(20000);
    for (int failAfter : {0, 1, 2}) {
        SCOPED_TRACE(failAfter);
        Sink sink;
        sink.file = std::fopen(Work("refused.p7").c_str(), "wb");
        ASSERT_NE(sink.file, nullptr);
        sink.failAfter = failAfter;
        TCmsSignEncoder sign;
        ASSERT_TRUE(sign.Open(signer_, false, content.size(), CmsOutput{SinkOutput, &sink}));
        EXPECT_FALSE(Feed(sign, content));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
        EXPECT_FALSE(sign.Update(nullptr, 0, true));  // stays failed
        sink.calls = 0;
        TCmsEnvelopeEncoder envelope;
        ASSERT_TRUE(envelope.Open(signer_.certificate, signer_.provider, content.size(),
                                  CmsOutput{SinkOutput, &sink}));
        EXPECT_FALSE(Feed(envelope, content));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
        std::fclose(sink.file);
    }
}

}  // namespace
