// Helpers of the streamed PKCS#7 decoder's tests: what the output receives,
// feeding in blocks, the verifying driver's steps, OpenSSL's messages, and
// a suite that installs the recipient's key beside the signer's.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "platform/capi_handles.h"
#include "signer/cms/cms_decode.h"
#include "tests/support/test_util.h"
#include "tests/support/host_openssl.h"
#include "tests/support/installed_signer.h"
#include "tools/fixture/fixture.h"

namespace testsupport::cms {

using Bytes = std::vector<unsigned char>;


inline std::string Work(const std::string& name) { return testsupport::WorkDir() + "/cmsd-" + name; }

inline Bytes Content(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>((i * 113 + i / 253 + 7) & 0xFF);
    return data;
}

// What the output received.
struct Collected {
    Bytes content;
    int finals = 0;
    bool afterFinal = false;
    int refuseAfter = -1;          // calls answered true before refusing; -1 never
    int calls = 0;
    std::function<void()> during;  // run inside each call
};

inline bool Collect(void* argument, const unsigned char* data, std::size_t length, bool final)
{
    Collected* out = static_cast<Collected*>(argument);
    if (out->during) out->during();
    if (out->refuseAfter >= 0 && out->calls++ >= out->refuseAfter) return false;
    if (out->finals) out->afterFinal = true;
    out->content.insert(out->content.end(), data, data + length);
    if (final) ++out->finals;
    return true;
}

inline CmsOutput To(Collected& out) { return CmsOutput{Collect, &out}; }

// Feeds the bytes in blocks of `block`, `last` on the final one (an empty
// input is one empty last block).
inline bool Feed(TCmsDecoder& decoder, const Bytes& bytes, std::size_t block)
{
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(block, bytes.size() - at);
        if (!decoder.Update(bytes.data() + at, n, at + n == bytes.size())) return false;
        at += n;
    } while (at < bytes.size());
    return true;
}

// The verifying driver's steps after the updates: the message's store,
// signer 0's certificate found in it, the signature checked with that
// certificate. 0 when all passed, else the last error; the certificate
// found goes to `signer`.
inline DWORD VerifyAsDriver(TCmsDecoder& decoder, Bytes* signer = nullptr)
{
    TCertStore store;
    if (!decoder.OpenCertificateStore(store)) return GetLastError();
    const CERT_INFO* id = nullptr;
    if (!decoder.GetSignerCertInfo(&id)) return GetLastError();
    TCertContext found(CertGetSubjectCertificateFromStore(store.Get(), kMessageEncoding, const_cast<CERT_INFO*>(id)));
    if (!found) return GetLastError();
    if (signer) signer->assign(found.Get()->pbCertEncoded, found.Get()->pbCertEncoded + found.Get()->cbCertEncoded);
    if (!decoder.VerifySignature(found.Get()->pCertInfo)) return GetLastError();
    return 0;
}

inline TCertContext Certificate(const Bytes& der)
{
    return TCertContext(CertCreateCertificateContext(kMessageEncoding, der.data(), static_cast<DWORD>(der.size())));
}

// Temporary files of the decoder's (prefix "tcd") in the temporary folder.
inline int SpillFiles()
{
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return -1;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((std::string(folder) + "tcd*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileA(find, &found));
    FindClose(find);
    return count;
}

// The PKI's entity NAME as an OpenSSL signer.
inline std::string SignerArgs(const std::string& name)
{
    return " -signer " + Pki(name + ".cert.pem") + " -inkey " + Pki(name + ".key.pem");
}

// `openssl cms -sign` of the file to DER with the options (signers included).
inline Bytes OpenSslSigned(const std::string& contentFile, const std::string& options, const std::string& tag)
{
    std::string out = Work(tag + ".p7");
    std::remove(out.c_str());
    int status = testsupport::openssl::Run("cms -sign -binary -outform DER -in " + contentFile + " " + options + " -out " + out);
    EXPECT_EQ(status, 0) << "openssl cms -sign " << options;
    return testsupport::ReadFile(out);
}

// `openssl cms -encrypt` of the file to DER for the PKI's entity.
inline Bytes OpenSslEnveloped(const std::string& contentFile, const std::string& options, const std::string& recipient,
                              const std::string& tag)
{
    std::string out = Work(tag + ".p7");
    std::remove(out.c_str());
    int status = testsupport::openssl::Run("cms -encrypt -binary -outform DER -in " + contentFile + " " + options + " -out " + out +
                              " " + Pki(recipient + ".cert.pem"));
    EXPECT_EQ(status, 0) << "openssl cms -encrypt " << options;
    return testsupport::ReadFile(out);
}

// Where the needle first stands in the bytes; npos when nowhere.
inline std::size_t Find(const Bytes& bytes, const Bytes& needle)
{
    auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    return at == bytes.end() || needle.empty() ? std::string::npos : static_cast<std::size_t>(at - bytes.begin());
}

// The signer's key (installed by the base) and the recipient's, both in "MY".
class DecoderTest : public InstalledSignerTest {
protected:
    static void SetUpTestSuite()
    {
        InstalledSignerTest::SetUpTestSuite();
        std::string error;
        ASSERT_TRUE(fixture::ReadFile(Pki("recipient.cert.der"), recipientDer_, error)) << error;
        fixture::Bytes key;
        ASSERT_TRUE(fixture::ReadFile(Pki("recipient.key.pk1.der"), key, error)) << error;
        ASSERT_TRUE(fixture::Thumbprint(recipientDer_, recipientThumbprint_, error)) << error;
        bool installed =
            fixture::InstallWithKey(recipientDer_, key, fixture::DefaultContainer(recipientThumbprint_), error);
        FillBytes(key.data(), 0, key.size());
        ASSERT_TRUE(installed) << error;
    }
    static void TearDownTestSuite()
    {
        bool found = false;
        std::string error;
        fixture::Remove(recipientThumbprint_, found, error);
        InstalledSignerTest::TearDownTestSuite();
    }

    void SetUp() override
    {
        FindSigner();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(signerKey_.Acquire(certificate_.Get(), CRYPT_ACQUIRE_CACHE_FLAG)) << std::hex << GetLastError();
        fixture::Bytes hash;
        ASSERT_TRUE(fixture::ParseHex(recipientThumbprint_, hash));
        ASSERT_TRUE(FindCertificateByHash(store_, hash.data(), recipient_));
        ASSERT_TRUE(recipientKey_.Acquire(recipient_.Get(), CRYPT_ACQUIRE_CACHE_FLAG)) << std::hex << GetLastError();
    }

    Bytes SignerDer() const { return Bytes(signerDer_.begin(), signerDer_.end()); }
    Bytes RecipientDer() const { return Bytes(recipientDer_.begin(), recipientDer_.end()); }
    // The certificate and key of the PKI's entity "signer" or "recipient".
    PCCERT_CONTEXT CertOf(const std::string& name) const
    {
        return name == "signer" ? certificate_.Get() : recipient_.Get();
    }
    const TCertPrivateKey& KeyOf(const std::string& name) const
    {
        return name == "signer" ? signerKey_ : recipientKey_;
    }

    static inline fixture::Bytes recipientDer_;
    static inline std::string recipientThumbprint_;
    TCertPrivateKey signerKey_;
    TCertContext recipient_;
    TCertPrivateKey recipientKey_;
};

}  // namespace testsupport::cms
