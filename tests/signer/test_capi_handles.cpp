// The CryptoAPI owners and services, and the last-error texts.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/hash/digest.h"
#include "platform/capi_handles.h"
#include "platform/last_error.h"
#include "tests/support/test_util.h"

namespace {

std::vector<unsigned char> RichDer()
{
    return testsupport::ReadFile(testsupport::SourceDir() + "/tests/data/cert/rich.der");
}

TEST(CapiServices, VerifyProviderHashesKnownVectors)
{
    TCryptProvider provider;
    ASSERT_TRUE(AcquireVerifyProvider(provider));
    struct {
        ALG_ID algorithm;
        const char* hex;
    } cases[] = {
        {CALG_SHA1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {CALG_MD5, "900150983cd24fb0d6963f7d28e17f72"},
    };
    for (const auto& c : cases) {
        unsigned char digest[20];
        DWORD length = sizeof digest;
        ASSERT_TRUE(HashData(provider.Get(), c.algorithm, "abc", 3, digest, &length));
        EXPECT_EQ(testsupport::ToHex(digest, length), c.hex);
    }
    unsigned char digest[20];
    DWORD length = sizeof digest;
    EXPECT_FALSE(HashData(provider.Get(), 0x7777, "abc", 3, digest, &length));
}

TEST(CapiServices, RandomBytesDiffer)
{
    TCryptProvider provider;
    ASSERT_TRUE(AcquireVerifyProvider(provider));
    unsigned char a[8] = {}, b[8] = {};
    ASSERT_TRUE(RandomBytes(provider.Get(), a, 8));
    ASSERT_TRUE(RandomBytes(provider.Get(), b, 8));
    EXPECT_NE(testsupport::ToHex(a, 8), testsupport::ToHex(b, 8));
}

// A memory store holding the fixture certificate.
void FillStore(TCertStore& store)
{
    store.Reset(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    ASSERT_TRUE(store);
    std::vector<unsigned char> der = RichDer();
    ASSERT_FALSE(der.empty());
    ASSERT_TRUE(CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING, der.data(),
                                                 static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS, nullptr));
}

TEST(CapiServices, FindsACertificateByItsHash)
{
    std::vector<unsigned char> der = RichDer();
    unsigned char expected[20];
    std::size_t expectedLength = 0;
    ASSERT_EQ(DigestDataBlock(expected, &expectedLength, der.data(), der.size(), kDigestSha1), 0);

    TCertStore store;
    FillStore(store);
    TCertContext found;
    ASSERT_TRUE(FindCertificateByHash(store, expected, found));
    unsigned char hash[20];
    ASSERT_TRUE(GetCertificateHash(found.Get(), hash));
    EXPECT_EQ(testsupport::ToHex(hash, 20), testsupport::ToHex(expected, 20));

    unsigned char other[20] = {};
    EXPECT_FALSE(FindCertificateByHash(store, other, found));
    EXPECT_FALSE(found);
}

TEST(CapiServices, OwnersReleaseWhatTheyHold)
{
    TCertStore store;
    FillStore(store);
    {
        TCertContext first(CertEnumCertificatesInStore(store.Get(), nullptr));
        ASSERT_TRUE(first);
        TCertContext moved(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_TRUE(moved);
        TCertContext duplicate(CertDuplicateCertificateContext(moved.Get()));
        // Put releases the held context before a call writes a new one.
        *moved.Put() = CertEnumCertificatesInStore(store.Get(), nullptr);
        EXPECT_TRUE(moved);
        TCertContext adopted(duplicate.Detach());
        EXPECT_FALSE(duplicate);
        moved = std::move(adopted);
    }
    // With every context freed the store closes without pending references.
    EXPECT_TRUE(CertCloseStore(store.Detach(), CERT_CLOSE_STORE_CHECK_FLAG));

    // Control: a context still held is reported as pending.
    TCertStore held;
    FillStore(held);
    TCertContext kept(CertEnumCertificatesInStore(held.Get(), nullptr));
    ASSERT_TRUE(kept);
    EXPECT_FALSE(CertCloseStore(held.Detach(), CERT_CLOSE_STORE_CHECK_FLAG));
}

TEST(CapiServices, MessageAndKeyOwners)
{
    TCryptMessage message(CryptMsgOpenToDecode(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(message);
    message.Reset();
    EXPECT_FALSE(message);

    TCryptProvider provider;
    ASSERT_TRUE(AcquireVerifyProvider(provider));
    TCertStore store;
    FillStore(store);
    TCertContext cert(CertEnumCertificatesInStore(store.Get(), nullptr));
    ASSERT_TRUE(cert);
    TCryptKey key;
    EXPECT_TRUE(CryptImportPublicKeyInfo(provider.Get(), X509_ASN_ENCODING,
                                         &cert.Get()->pCertInfo->SubjectPublicKeyInfo, key.Put()));
    EXPECT_TRUE(key);

    // A certificate without a private key gives no provider to release.
    TCertPrivateKey privateKey;
    EXPECT_FALSE(privateKey.Acquire(cert.Get(), 0));
    EXPECT_EQ(privateKey.Provider(), 0u);
    EXPECT_FALSE(privateKey.CallerFrees());
}

TEST(LastError, TextsForCodes)
{
    // Platform texts are not compared: only that they come whole, with the
    // system's own line end. Wine has no text for CryptoAPI codes (wine-notes
    // 3): there the fallback stands in.
    const std::string fileNotFound = GetErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_GT(fileNotFound.size(), 2u);
    EXPECT_EQ(fileNotFound.substr(fileNotFound.size() - 2), "\r\n");
    for (DWORD code : {DWORD(0x80092004) /* CRYPT_E_NOT_FOUND */, DWORD(0x80090016) /* NTE_BAD_KEYSET */}) {
        std::string text = GetErrorText(code);
        char fallback[32];
        std::snprintf(fallback, sizeof fallback, "Error 0x%08lX", static_cast<unsigned long>(code));
        ASSERT_GT(text.size(), 2u);
        EXPECT_TRUE(text == fallback || text.substr(text.size() - 2) == "\r\n") << text;
    }
    EXPECT_EQ(GetErrorText(0xE0001234), "Error 0xE0001234");
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetLastErrorText(), GetErrorText(ERROR_ACCESS_DENIED));
}

}  // namespace
