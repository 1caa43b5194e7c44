// The time-stamp client's CryptoAPI road under Windows against tokens of
// `openssl ts -reply` with the test TSA: verified tokens with their TSTInfo
// and signer, a broken signature, a rewritten TSTInfo under an intact
// signature, a signer without the time-stamping purpose, id-data content,
// and the digest and nonce helpers.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text/text.h"
#include "platform/capi_handles.h"
#include "tests/support/tsa_tokens.h"
#include "tests/support/tsp_verify.h"
#include "tsp/protocol/server_certificate.h"
#include "tsp/protocol/tsp_capi.h"

using namespace testsupport;

namespace {

using tsa::Verified;
using tsa::VerifyToken;

TEST(TspCapiVerify, OpensslTokensVerifyWithTheirTSTInfoAndSigner)
{
    for (const char* digest : {"sha1", "sha256"}) {
        SCOPED_TRACE(digest);
        const std::string name = std::string("capi-good-") + digest;
        std::vector<unsigned char> token = tsa::Token(name, "stamped data\n", digest);
        ASSERT_FALSE(token.empty());
        std::vector<unsigned char> tstInfo = tsa::TSTInfoOf(name, token);
        Verified v = VerifyToken(token);
        EXPECT_EQ(v.ok, 1);
        EXPECT_EQ(v.result, kTokenVerified);
        EXPECT_EQ(v.eContent, tstInfo);
        EXPECT_EQ(v.signer, ReadFile(Pki("tsa.cert.der")));

        // The signer is the CA's TSA, not another CA's.
        std::vector<unsigned char> ca = ReadFile(Pki("ca.cert.der")), other = ReadFile(Pki("otherca.cert.der"));
        ByteBuffer signer{v.signer.data(), v.signer.size()};
        EXPECT_EQ(CheckServerCertificate(ca.data(), ca.size(), signer), 1);
        EXPECT_EQ(CheckServerCertificate(other.data(), other.size(), signer), 0);
    }
}

TEST(TspCapiVerify, BrokenTokensFailWithTheirResult)
{
    std::vector<unsigned char> token = tsa::Token("capi-bad", "data\n");
    ASSERT_FALSE(token.empty());
    std::vector<unsigned char> tstInfo = tsa::TSTInfoOf("capi-bad", token);
    ASSERT_FALSE(tstInfo.empty());

    std::vector<unsigned char> badSignature = token;
    badSignature.back() ^= 0x01;  // the signature is the token's last field

    // The TSTInfo's last byte changed, the signed attributes kept: the
    // signature still verifies, the messageDigest does not.
    std::vector<unsigned char> rewritten = token;
    const std::size_t at = tsa::Find(token, tstInfo);
    ASSERT_NE(at, std::string::npos);
    rewritten[at + tstInfo.size() - 1] ^= 0x01;

    struct Case {
        const char* name;
        std::vector<unsigned char> token;
        int result;
    };
    const Case cases[] = {
        {"signature", badSignature, kTokenBadSignature},
        {"rewritten TSTInfo", rewritten, kTokenBadSignature},
        {"non-TSA signer", tsa::SignedTSTInfo("capi-nontsa", tstInfo, "signer", true), kTokenBadSigner},
        {"id-data content", tsa::SignedTSTInfo("capi-iddata", tstInfo, "tsa", false), kTokenNotTSTInfo},
        {"truncated", std::vector<unsigned char>(token.begin(), token.end() - 10), kTokenVerified},
        {"garbage", std::vector<unsigned char>{0x30, 0x03, 0x02, 0x01, 0x00}, kTokenVerified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.token.empty());
        Verified v = VerifyToken(c.token);
        EXPECT_EQ(v.ok, 0);
        EXPECT_EQ(v.result, c.result);
        EXPECT_TRUE(v.signer.empty());
    }
}

TEST(TspCapiDigest, KnownAnswers)
{
    struct Case {
        unsigned int algorithm;
        const char* hex;
    };
    const Case cases[] = {
        {CALG_SHA1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {CALG_SHA_256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    };
    const unsigned char abc[] = {'a', 'b', 'c'};
    for (const Case& c : cases) {
        ByteBuffer digest{nullptr, 0};
        ASSERT_EQ(DigestBuffer(abc, sizeof abc, c.algorithm, &digest), 1);
        EXPECT_EQ(ToHex(digest.pointer, digest.length), c.hex);
        FreeItems(&digest, 1);
    }
    ByteBuffer digest{nullptr, 0};
    EXPECT_EQ(DigestBuffer(abc, sizeof abc, 0x1234, &digest), 0);
    EXPECT_EQ(digest.pointer, nullptr);
}

TEST(TspCapiNonce, PositiveMinimalAndFresh)
{
    std::string previous;
    for (int i = 0; i < 64; ++i) {
        ByteBuffer nonce{nullptr, 0};
        ASSERT_EQ(GenerateTSPNonce(&nonce), 1);
        ASSERT_EQ(nonce.length, kTSPNonceLength);
        // A DER INTEGER of these bytes as they are: positive, no leading zero.
        EXPECT_GE(nonce.pointer[0], 0x40);
        EXPECT_LE(nonce.pointer[0], 0x7F);
        const std::string hex = ToHex(nonce.pointer, nonce.length);
        EXPECT_NE(hex, previous);
        previous = hex;
        FreeItems(&nonce, 1);
    }
}

}  // namespace
#endif
