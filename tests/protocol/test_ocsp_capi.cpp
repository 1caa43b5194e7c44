// The OCSP client's CryptoAPI road under Windows: nonces from a verify-only
// context, requests signed with a key of "MY" that the own code and openssl
// verify, the responder certificate's issuer and the response signature in
// either byte order.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/oid.h"
#include "ocsp/protocol/ocsp_capi.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "tests/support/installed_signer.h"
#include "tests/support/ocsp_test_util.h"

using namespace testsupport;
using namespace testsupport::ocsp;

namespace {

bool DefaultContainerExists()
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0)) return false;
    CryptReleaseContext(provider, 0);
    return true;
}

TEST(OcspCapiNonce, EightFreshBytesWithoutAKeyContainer)
{
    const bool existed = DefaultContainerExists();
    ByteBuffer a{nullptr, 0}, b{nullptr, 0};
    ASSERT_EQ(GenerateNonceWithCryptoAPI(&a), 1);
    ASSERT_EQ(GenerateNonceWithCryptoAPI(&b), 1);
    EXPECT_EQ(a.length, 8u);
    EXPECT_NE(ToHex(a.pointer, a.length), ToHex(b.pointer, b.length));
    FreeItems(&a, 1);
    FreeItems(&b, 1);
    // No lasting key container is left behind.
    if (!existed) {
        EXPECT_FALSE(DefaultContainerExists());
    }
}

// A response of openssl's delegated responder to our request for signer.
struct AnsweredRequest {
    Sets request;
    std::vector<unsigned char> response;
    explicit AnsweredRequest(const std::string& responder, const std::string& name)
    {
        if (!AddTarget(request.get(), "signer")) return;
        std::vector<unsigned char> der = BuildRequest(request.get(), {});
        const std::string file = Work(name + ".req.der");
        if (der.empty() || !WriteFile(file, der.data(), der.size())) return;
        response = OpensslResponse(file, responder, "", name);
    }
};

TEST(OcspCapiResponse, IssuerAndSignatureChecks)
{
    AnsweredRequest answered("ocsp/responder", "capi-good");
    ASSERT_EQ(CheckResponse(answered.response, answered.request.get()).step, Step::Accepted);
    std::vector<unsigned char> ca = Cert("ca"), other = Cert("otherca");
    EXPECT_EQ(CheckResponderIssuer(answered.request.get(), ca.data(), ca.size()), 1);
    EXPECT_EQ(CheckResponderIssuer(answered.request.get(), other.data(), other.size()), 31);
    EXPECT_EQ(CheckResponderIssuer(answered.request.get(), ca.data(), 20), 0);

    Sets user;
    EXPECT_EQ(VerifyResponseSignatureWithCryptoAPI(answered.request.get(), user.get(), kAlgSHA1WithRsa), 1);
    EXPECT_EQ(VerifyResponseSignatureWithCryptoAPI(answered.request.get(), user.get(), kAlgMD5WithRsa), 0);
    EXPECT_EQ(VerifyResponseSignatureWithCryptoAPI(answered.request.get(), user.get(), 100), 0);
    // The signature stored least significant byte first verifies too.
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(GetDataItem(answered.request.get(), kSlotResponseSignature, 1, &data, &length), 0);
    std::vector<unsigned char> signature(data, data + length);
    ReverseBytes(signature.data(), signature.size());
    ClearDataSet(answered.request.get(), kSlotResponseSignature);
    ASSERT_EQ(AddDataItem(answered.request.get(), kSlotResponseSignature, signature.data(), signature.size()), 0);
    EXPECT_EQ(VerifyResponseSignatureWithCryptoAPI(answered.request.get(), user.get(), kAlgSHA1WithRsa), 1);
    signature[3] ^= 0x40;
    ClearDataSet(answered.request.get(), kSlotResponseSignature);
    ASSERT_EQ(AddDataItem(answered.request.get(), kSlotResponseSignature, signature.data(), signature.size()), 0);
    EXPECT_EQ(VerifyResponseSignatureWithCryptoAPI(answered.request.get(), user.get(), kAlgSHA1WithRsa), 0);
}

class OcspCapiSigning : public InstalledSignerTest {};

TEST_F(OcspCapiSigning, SignedRequestIsBigEndianForStandardResponders)
{
    Sets request, user;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    std::vector<unsigned char> cert = Cert("signer");
    ASSERT_EQ(AddDataItem(user.get(), kSlotUserCertificates, cert.data(), cert.size()), 0);
    ByteBuffer name{nullptr, 0};
    ASSERT_GT(ReadCertificateSubject(cert.data(), cert.size(), &name), 0u);
    std::vector<unsigned char> out(6144);
    std::size_t length = 0;
    const ByteBuffer none{nullptr, 0};
    ASSERT_EQ(BuildOCSPRequest(1, 0, none, name, 6, kAlgSHA1WithRsa, user.get(), request.get(), out.data(),
                               out.size(), &length, 0, SignWithCryptoAPI),
              1);
    FreeItems(&name, 1);
    out.resize(length);

    EXPECT_TRUE(OpensslVerifiesRequestSignature(out, "signer", "capi-req"));
    // A certificate that is not in "MY" cannot sign.
    Sets stranger;
    std::vector<unsigned char> other = Cert("recipient");
    ASSERT_EQ(AddDataItem(stranger.get(), kSlotUserCertificates, other.data(), other.size()), 0);
    EXPECT_EQ(BuildOCSPRequest(1, 0, none, none, 6, kAlgSHA1WithRsa, stranger.get(), request.get(), out.data(),
                               out.size(), &length, 0, SignWithCryptoAPI),
              0);
}

}  // namespace
#endif
