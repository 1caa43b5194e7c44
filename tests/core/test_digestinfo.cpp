#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#ifdef TAVOMIR_HAVE_GMP
#include <gmp.h>
#endif

#include "core/der/der.h"
#include "core/hash/digest.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/der/oid.h"
#include "core/rsa/rsa.h"
#include "core/rsa/rsa_key.h"
#include "tests/support/test_cert_util.h"

using testsupport::cert::Bytes;
using testsupport::cert::Cat;
using testsupport::cert::Hex;
using testsupport::cert::Seq;
using testsupport::cert::Tlv;

namespace {

struct PkiKey {
    RsaPrivateKey privateKey = {};
    RsaPublicKey publicKey = {};
    bool loaded = false;

    explicit PkiKey(const std::string& name)
    {
        Bytes der = testsupport::cert::ReadPki(name + ".key.pk1.der");
        if (der.empty()) return;
        DERCursor reader;
        InitDERReader(&reader, der.data(), der.size());
        if (DecodeRsaPrivateKey(&reader, &privateKey) != der.size()) return;
        publicKey.bits = privateKey.bits;
        std::memcpy(publicKey.modulus, privateKey.modulus, sizeof publicKey.modulus);
        std::memcpy(publicKey.publicExponent, privateKey.publicExponent, sizeof publicKey.publicExponent);
        loaded = true;
    }
    ~PkiKey() { FillBytes(&privateKey, 0, sizeof privateKey); }
};

Bytes Sign(const PkiKey& key, int algorithm, const Bytes& data)
{
    DigestInfoWork work;
    unsigned char signature[256];
    std::size_t length = 0;
    std::size_t n = SignDigestInfo(&work, algorithm, data.data(), data.size(), &key.privateKey, signature, &length);
    if (n == 0 || n != length) return {};
    return Bytes(signature, signature + length);
}

std::size_t Verify(const PkiKey& key, int algorithm, const Bytes& data, const Bytes& signature)
{
    DigestInfoWork work;
    return VerifyDigestInfo(&work, algorithm, data.data(), data.size(), &key.publicKey, signature.data(),
                            signature.size());
}

// A signature whose RSA block carries the given bytes after the padding.
Bytes SignRawBlock(const PkiKey& key, const Bytes& payload)
{
    unsigned char signature[256];
    std::size_t length = 0;
    if (EncryptRsaPrivate(signature, &length, payload.data(), payload.size(), &key.privateKey) != 0) return {};
    return Bytes(signature, signature + length);
}

Bytes Sha1(const Bytes& data)
{
    unsigned char digest[20];
    std::size_t length = 0;
    DigestDataBlock(digest, &length, data.data(), data.size(), kDigestSha1);
    return Bytes(digest, digest + length);
}

const Bytes kSha1Oid = Tlv(0x06, Hex("2B0E03021A"));

}  // namespace

// The signature of OpenSSL (openssl dgst -sha1 -sign) is reproduced exactly.
TEST(DigestInfoSignatures, MatchesOpenSslSha1Signature)
{
    PkiKey key("signer");
    if (!key.loaded) GTEST_SKIP() << "no test PKI";
    Bytes message = testsupport::cert::ReadPki("message.txt");
    Bytes expected = testsupport::cert::ReadPki("signer.message.sha1.sig");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Sign(key, kAlgSHA1WithRsa, message), expected);
    EXPECT_EQ(Verify(key, kAlgSHA1WithRsa, message, expected), 35u);
    EXPECT_EQ(Verify(key, kAlgMD5WithRsa, message, expected), 0u);  // names SHA-1, not MD5
    EXPECT_EQ(Verify(key, kAlgPbeMD2DesCbc, message, expected), 0u);
    Bytes other = message;
    other[0] ^= 1;
    EXPECT_EQ(Verify(key, kAlgSHA1WithRsa, other, expected), 0u);
}

#ifndef _WIN32
TEST(DigestInfoSignatures, MatchesOpenSslForEachDigest)
{
    PkiKey key("recipient");
    if (!key.loaded) GTEST_SKIP() << "no test PKI";
    struct Case {
        int algorithm;
        const char* openssl;
    } cases[] = {{kAlgMD5WithRsa, "-md5"}, {kAlgSHA1WithRsa, "-sha1"}};
    // Not MD4: OpenSSL 3.0 writes its DigestInfo with the identifier 1.2.840.113549.2.3.
    Bytes message = testsupport::cert::ReadPki("message.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.openssl);
        std::string out = testsupport::WorkDir() + "/digestinfo.sig";
        std::remove(out.c_str());
        int status = -1;
        testsupport::RunCommand(std::string("openssl dgst ") + c.openssl + " -sign '" +
                                 testsupport::Pki("recipient.key.pem") + "' -out '" + out + "' '" +
                                 testsupport::Pki("message.txt") + "' 2>/dev/null",
                             &status);
        ASSERT_EQ(status, 0);
        Bytes expected = testsupport::ReadFile(out);
        EXPECT_EQ(Sign(key, c.algorithm, message), expected);
        EXPECT_GT(Verify(key, c.algorithm, message, expected), 0u);
    }
}
#endif

TEST(DigestInfoSignatures, RoundTripAndAlgorithmMismatch)
{
    PkiKey key("recipient");
    if (!key.loaded) GTEST_SKIP() << "no test PKI";
    Bytes data = testsupport::cert::Text("to be signed");
    const int algorithms[] = {kAlgMD2WithRsa, kAlgMD4WithRsa, kAlgMD5WithRsa, kAlgSHA1WithRsa};
    for (int algorithm : algorithms) {
        SCOPED_TRACE(algorithm);
        Bytes signature = Sign(key, algorithm, data);
        ASSERT_EQ(signature.size(), 128u);
        EXPECT_EQ(Verify(key, algorithm, data, signature), algorithm == kAlgSHA1WithRsa ? 35u : 34u);
        for (int other : algorithms)
            if (other != algorithm) {
                EXPECT_EQ(Verify(key, other, data, signature), 0u) << other;
            }
    }
    DigestInfoWork work;
    unsigned char signature[256];
    std::size_t length = 0;
    EXPECT_EQ(SignDigestInfo(&work, kAlgRsaEncryption, data.data(), data.size(), &key.privateKey, signature, &length),
              0u);
}

// Only the exact DER DigestInfo is accepted: nothing after it, a NULL of
// length 0 or none, minimal lengths.
TEST(DigestInfoSignatures, BlocksOtherThanTheExactDigestInfoFail)
{
    PkiKey key("recipient");
    if (!key.loaded) GTEST_SKIP() << "no test PKI";
    Bytes data = testsupport::cert::Text("payload");
    Bytes digest = Sha1(data);
    Bytes octets = Tlv(0x04, digest);
    struct Case {
        const char* name;
        Bytes block;
        bool valid;
    } cases[] = {
        {"exact", Seq({Seq({kSha1Oid, Hex("0500")}), octets}), true},
        {"without NULL", Seq({Seq({kSha1Oid}), octets}), true},
        {"trailing byte", Cat({Seq({Seq({kSha1Oid, Hex("0500")}), octets}), {0x00}}), false},
        {"trailing byte inside", Tlv(0x30, Cat({Seq({kSha1Oid, Hex("0500")}), octets, {0x00}})), false},
        {"NULL with content", Seq({Seq({kSha1Oid, Hex("050100")}), octets}), false},
        {"long-form length", Cat({Hex("3081"), {0x21}, Seq({kSha1Oid, Hex("0500")}), octets}), false},
        {"MD5 identifier", Seq({Seq({Tlv(0x06, Hex("2A864886F70D0205")), Hex("0500")}), octets}), false},
        {"bare digest", digest, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes signature = SignRawBlock(key, c.block);
        ASSERT_EQ(signature.size(), 128u);
        EXPECT_EQ(Verify(key, kAlgSHA1WithRsa, data, signature), c.valid ? c.block.size() : 0u);
    }
}

#ifdef TAVOMIR_HAVE_GMP
// The e = 3 forgery: a cube root of 00 01 FF.. 00 DigestInfo followed by
// garbage is a valid signature for a verifier that parses the DigestInfo
// and ignores what follows.
TEST(DigestInfoSignatures, CubeRootForgeryWithExponentThreeFails)
{
    PkiKey key("signer");  // 2048 bits; only its modulus is used
    if (!key.loaded) GTEST_SKIP() << "no test PKI";
    RsaPublicKey e3 = key.publicKey;
    std::memset(e3.publicExponent, 0, sizeof e3.publicExponent);
    e3.publicExponent[255] = 3;

    Bytes data = testsupport::cert::Text("forged");
    Bytes info = Seq({Seq({kSha1Oid, Hex("0500")}), Tlv(0x04, Sha1(data))});
    Bytes block = Cat({{0x00, 0x01}, Bytes(8, 0xFF), {0x00}, info});
    block.resize(256, 0xFF);  // garbage at the end, all ones for the bound

    mpz_t target, root, cube;
    mpz_inits(target, root, cube, nullptr);
    mpz_import(target, block.size(), 1, 1, 1, 0, block.data());
    mpz_root(root, target, 3);
    mpz_pow_ui(cube, root, 3);
    Bytes forged(256, 0);
    std::size_t count = 0;
    mpz_export(forged.data() + 256 - (mpz_sizeinbase(root, 256)), &count, 1, 1, 1, 0, root);
    Bytes cubed(256, 0);
    mpz_export(cubed.data() + 256 - mpz_sizeinbase(cube, 256), &count, 1, 1, 1, 0, cube);
    mpz_clears(target, root, cube, nullptr);

    // The cube carries the padding and the DigestInfo, then garbage.
    std::size_t prefix = 11 + info.size();
    ASSERT_EQ(Bytes(cubed.begin() + 1, cubed.begin() + prefix), Bytes(block.begin() + 1, block.begin() + prefix));

    // The RSA block opens and starts with the right DigestInfo...
    unsigned char opened[256];
    std::size_t openedLength = 0;
    ASSERT_EQ(DecryptRsaPublic(opened, &openedLength, forged.data(), forged.size(), &e3), 0);
    ASSERT_GT(openedLength, info.size());
    ASSERT_EQ(Bytes(opened, opened + info.size()), info);
    // ...but it is not exactly the DigestInfo, so it is no signature.
    DigestInfoWork work;
    EXPECT_EQ(VerifyDigestInfo(&work, kAlgSHA1WithRsa, data.data(), data.size(), &e3, forged.data(), forged.size()),
              0u);
}
#endif
