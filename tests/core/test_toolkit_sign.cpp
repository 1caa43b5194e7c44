// Toolkit block signatures: byte-equal to openssl's PKCS#1 v1.5 signatures,
// and the verify failures told apart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/rsa/rsa.h"
#include "core/toolkit/toolkit.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;

Bytes Sign(const Bytes& message, std::uint32_t type, const RsaPrivateKey& key, int* status = nullptr)
{
    Bytes signature(kToolkitMaxSignature);
    std::size_t length = 0;
    int result = SignDataBlock(signature.data(), &length, message.data(), message.size(), type, &key);
    if (status) *status = result;
    else EXPECT_EQ(result, 0);
    signature.resize(length);
    return signature;
}

// SHA-1's DigestInfo is 35 bytes: a fixed 34 would sign a truncated block.
TEST(ToolkitSign, MatchesOpensslSignatures)
{
    RsaPrivateKey key = testsupport::pki_keys::PrivateKey("signer");
    RsaPublicKey pub = testsupport::pki_keys::PublicKey(key);
    Bytes message = testsupport::ReadFile(Pki("message.txt"));
    ASSERT_FALSE(message.empty());
    struct Case {
        std::uint32_t type;
        const char* name;
    } cases[] = {{kDigestSha1, "sha1"}, {kDigestMd5, "md5"}};
    for (const Case& c : cases) {
        const std::string out = testsupport::WorkDir() + "/toolkit-" + c.name + ".sig";
        std::remove(out.c_str());
        ASSERT_EQ(testsupport::openssl_cli::Run(std::string("dgst -") + c.name + " -sign " + Pki("signer.key.pem") +
                                                " -out " + out + " " + Pki("message.txt")),
                  0);
        Bytes expected = testsupport::ReadFile(out);
        EXPECT_EQ(Sign(message, c.type, key), expected) << c.name;
        EXPECT_EQ(VerifyDataBlock(message.data(), message.size(), expected.data(), expected.size(), c.type, &pub), 0)
            << c.name;
    }
}

TEST(ToolkitSign, StepwiseEqualsOneCallAndRestarts)
{
    RsaPrivateKey key = testsupport::pki_keys::PrivateKey("recipient");
    Bytes message(1000, 'a');
    DigestContext context;
    ASSERT_EQ(InitSign(&context, kDigestMd2), 0);
    Bytes signature(kToolkitMaxSignature);
    std::size_t length = 0;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(UpdateSign(&context, message.data(), 300), 0);
        ASSERT_EQ(UpdateSign(&context, message.data() + 300, 700), 0);
        ASSERT_EQ(FinalSign(&context, signature.data(), &length, &key), 0);
        EXPECT_EQ(Bytes(signature.begin(), signature.begin() + static_cast<long>(length)), Sign(message, kDigestMd2, key));
    }
}

TEST(ToolkitVerify, TellsFailuresApart)
{
    RsaPrivateKey key = testsupport::pki_keys::PrivateKey("recipient");
    RsaPublicKey pub = testsupport::pki_keys::PublicKey(key);
    RsaPublicKey otherKey = testsupport::pki_keys::PublicKey(testsupport::pki_keys::PrivateKey("signer2"));
    Bytes message = {'d', 'a', 't', 'a'};
    Bytes md5 = Sign(message, kDigestMd5, key);
    Bytes tooLong(257, 1);
    struct Case {
        const char* what;
        Bytes signature;
        std::uint32_t type;
        const RsaPublicKey* key;
        int status;
    } cases[] = {
        {"good", md5, kDigestMd5, &pub, 0},
        {"257 bytes", tooLong, kDigestMd5, &pub, kStatusLength},
        {"257 bytes and SHA-0", tooLong, kDigestSha0, &pub, kStatusDigestAlgorithm},
        {"other digest", md5, kDigestMd4, &pub, kStatusSignature},
        {"other key", md5, kDigestMd5, &otherKey, kStatusPublicKey},
        {"SHA-0", md5, kDigestSha0, &pub, kStatusDigestAlgorithm},
        {"type 0", md5, 0, &pub, kStatusDigestAlgorithm},
        {"type 7", md5, 7, &pub, kStatusDigestAlgorithm},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VerifyDataBlock(message.data(), message.size(), c.signature.data(), c.signature.size(), c.type, c.key),
                  c.status)
            << c.what;
    // A changed message fails on the digest bytes.
    message[0] ^= 1;
    EXPECT_EQ(VerifyDataBlock(message.data(), message.size(), md5.data(), md5.size(), kDigestMd5, &pub), kStatusSignature);
    int status = 0;
    for (std::uint32_t type : {0u, 3u, 7u}) {
        Sign(message, type, key, &status);
        EXPECT_EQ(status, kStatusDigestAlgorithm) << type;
    }
}

}  // namespace
