// The OCSP request as standard responders read it: the exact DER of a known
// request, our requests beside openssl's own and read back by `openssl ocsp
// -req_text`, signed requests, and the limits of the builder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/oid.h"
#include "core/text/text.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/request_builder.h"
#include "tests/support/ocsp_test_util.h"

using namespace testsupport;
using namespace testsupport::ocsp;

namespace {

TEST(OcspRequestBytes, KnownRequestHasExactDer)
{
    Sets request;
    const unsigned char name[] = {0x30, 0x00}, key[] = {0x00, 0xFF}, serial[] = {0x01, 0x02};
    ASSERT_EQ(AddDataItem(request.get(), kSlotTargetIssuerName, name, sizeof name), 0);
    ASSERT_EQ(AddDataItem(request.get(), kSlotIssuerKey, key, sizeof key), 0);
    ASSERT_EQ(AddDataItem(request.get(), kSlotTargetSerial, serial, sizeof serial), 0);
    std::vector<unsigned char> der = BuildRequest(request.get(), FromHex("0102030405060708"));
    EXPECT_EQ(ToHex(der.data(), der.size()),
              "3060305e303f303d303b300906052b0e03021a0500"
              "0414f944dcd635f9801f7ac90a407fbc479964dec024"
              "0414aa3e5dcdd77b153f2e59bd0d8794fde33cb4e486"
              "02020102"
              "a21b3019301706092b0601050507300102"
              "040a04080102030405060708");
}

TEST(OcspRequestBytes, SameAsOpensslRequestForTwoTargets)
{
    Sets request;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    ASSERT_TRUE(AddTarget(request.get(), "revoked"));
    std::vector<unsigned char> ours = BuildRequest(request.get(), {});
    ASSERT_FALSE(ours.empty());
    const std::string theirs = Work("openssl-request.der");
    ASSERT_EQ(openssl_cli::Run("ocsp -issuer " + Pki("ca.cert.pem") + " -cert " + Pki("signer.cert.pem") +
                               " -cert " + Pki("revoked.cert.pem") + " -no_nonce -reqout " + theirs),
              0);
    EXPECT_EQ(ToHex(ours.data(), ours.size()), ToHex(ReadFile(theirs).data(), ReadFile(theirs).size()));
}

TEST(OcspRequestBytes, OpensslReadsTargetsInOrderAndTheNonce)
{
    Sets request;
    ASSERT_TRUE(AddTarget(request.get(), "revoked"));
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    std::vector<unsigned char> der = BuildRequest(request.get(), FromHex("a1b2c3d4e5f60718"));
    const std::string text = RequestText(der, "read-back");
    ASSERT_FALSE(text.empty());
    const std::size_t revoked = text.find("Serial Number: 8B7E0F4C"), signer = text.find("Serial Number: 1002");
    ASSERT_NE(revoked, std::string::npos) << text;
    ASSERT_NE(signer, std::string::npos) << text;
    EXPECT_LT(revoked, signer);
    EXPECT_NE(text.find("Hash Algorithm: sha1"), std::string::npos);
    EXPECT_NE(text.find("0408A1B2C3D4E5F60718"), std::string::npos) << text;
}

TEST(OcspRequestBytes, EncodingTwiceKeepsOneHashPerTarget)
{
    Sets request;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    std::vector<unsigned char> first = BuildRequest(request.get(), {});
    ASSERT_TRUE(AddTarget(request.get(), "revoked"));
    std::vector<unsigned char> second = BuildRequest(request.get(), {});
    std::uint32_t count = 0;
    CountDataItems(request.get(), kSlotNameHash, &count);
    EXPECT_EQ(count, 2u);
    const std::string text = RequestText(second, "twice");
    EXPECT_NE(text.find("Serial Number: 8B7E0F4C"), std::string::npos) << text;
}

TEST(OcspRequestLimits, RefusesWhatCannotBeARequest)
{
    std::vector<unsigned char> out(6144);
    std::size_t length = 0;
    const ByteBuffer none{nullptr, 0};
    {
        Sets empty;  // no target at all
        EXPECT_EQ(BuildOCSPRequest(0, 0, none, none, 6, kAlgSHA1WithRsa, nullptr, empty.get(), out.data(),
                                   out.size(), &length, 0, nullptr),
                  0);
    }
    Sets request;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    // CertIDs are SHA-1 only.
    EXPECT_EQ(BuildOCSPRequest(0, 0, none, none, 5, kAlgSHA1WithRsa, nullptr, request.get(), out.data(),
                               out.size(), &length, 0, nullptr),
              0);
    // An output buffer too small for the request.
    EXPECT_EQ(BuildOCSPRequest(0, 0, none, none, 6, kAlgSHA1WithRsa, nullptr, request.get(), out.data(), 20,
                               &length, 0, nullptr),
              0);
    // A target without its issuer's key cannot be hashed.
    std::vector<unsigned char> target = Cert("recipient");
    ASSERT_TRUE(ReadTargetCertificate(target.data(), target.size(), request.get()));
    EXPECT_EQ(BuildOCSPRequest(0, 0, none, none, 6, kAlgSHA1WithRsa, nullptr, request.get(), out.data(),
                               out.size(), &length, 0, nullptr),
              0);
}

TEST(OcspRequestLimits, TargetReadersWantUtcTimeAndWholeCertificates)
{
    Sets request;
    std::vector<unsigned char> signer = Cert("signer");
    EXPECT_EQ(ReadTargetCertificate(signer.data(), signer.size() - 1, request.get()), 0u);
    EXPECT_EQ(ReadIssuerCertificate(signer.data(), 10, request.get()), 0u);
    std::uint32_t names = 0, serials = 0;
    CountDataItems(request.get(), kSlotTargetIssuerName, &names);
    CountDataItems(request.get(), kSlotTargetSerial, &serials);
    EXPECT_EQ(names + serials, 0u);

    // GeneralizedTime validity: not a target, still a requestor's subject.
    const std::string key = Work("gt.key.pem"), cert = Work("gt.cert.der");
    ASSERT_EQ(openssl_cli::Run("req -x509 -newkey rsa:1024 -nodes -keyout " + key +
                               " -subj /CN=Late -days 20000 -sha1 -outform DER -out " + cert),
              0);
    std::vector<unsigned char> late = ReadFile(cert);
    EXPECT_EQ(ReadTargetCertificate(late.data(), late.size(), request.get()), 0u);
    EXPECT_EQ(ReadIssuerCertificate(late.data(), late.size(), request.get()), 0u);
    ByteBuffer subject{nullptr, 0};
    EXPECT_EQ(ReadCertificateSubject(late.data(), late.size(), &subject), late.size());
    EXPECT_GT(subject.length, 0u);
    FreeItems(&subject, 1);
}

TEST(OcspRequestSigning, SignedRequestVerifiesWithTheRequestorKey)
{
    Sets request, user;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    std::vector<unsigned char> key = ReadFile(Pki("signer.key.p8e.der")), cert = Cert("signer");
    const std::string password = "tavomir";
    ASSERT_EQ(AddDataItem(user.get(), kSlotUserPrivateKey, key.data(), key.size()), 0);
    ASSERT_EQ(AddDataItem(user.get(), kSlotUserPassword, password.data(), password.size()), 0);
    ASSERT_EQ(AddDataItem(user.get(), kSlotUserCertificates, cert.data(), cert.size()), 0);
    ByteBuffer name{nullptr, 0};
    ASSERT_GT(ReadCertificateSubject(cert.data(), cert.size(), &name), 0u);
    std::vector<unsigned char> out(6144), nonce = FromHex("0011223344556677");
    std::size_t length = 0;
    ASSERT_EQ(BuildOCSPRequest(1, 1, ByteBuffer{nonce.data(), nonce.size()}, name, 6, kAlgSHA1WithRsa, user.get(),
                               request.get(), out.data(), out.size(), &length, 0, SignWithStoredKey),
              1);
    FreeItems(&name, 1);
    out.resize(length);
    const std::string text = RequestText(out, "signed");
    EXPECT_NE(text.find("Requestor Name: DirName:C = ES, O = Norvane Test, OU = Tavomir, CN = Tavomir Test Signer"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Signature Algorithm: sha1WithRSAEncryption"), std::string::npos) << text;

    // The signature over the TBSRequest, big-endian, checked by openssl
    // with the signer's public key; the nonce read back by our responder side.
    std::string nonceHex;
    EXPECT_TRUE(OpensslVerifiesRequestSignature(out, "signer", "signed-req", &nonceHex));
    EXPECT_EQ(nonceHex, "0011223344556677");
}

TEST(OcspRequestSigning, MissingCredentialsOrTooManyCertificatesFail)
{
    Sets request, user;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    std::vector<unsigned char> out(6144), cert = Cert("signer");
    std::size_t length = 0;
    const ByteBuffer none{nullptr, 0};
    // No requestor certificate.
    EXPECT_EQ(BuildOCSPRequest(1, 0, none, none, 6, kAlgSHA1WithRsa, user.get(), request.get(), out.data(),
                               out.size(), &length, 0, SignWithStoredKey),
              0);
    // A certificate but no key.
    ASSERT_EQ(AddDataItem(user.get(), kSlotUserCertificates, cert.data(), cert.size()), 0);
    EXPECT_EQ(BuildOCSPRequest(1, 0, none, none, 6, kAlgSHA1WithRsa, user.get(), request.get(), out.data(),
                               out.size(), &length, 0, SignWithStoredKey),
              0);
    // A wrong password.
    std::vector<unsigned char> key = ReadFile(Pki("signer.key.p8e.der"));
    ASSERT_EQ(AddDataItem(user.get(), kSlotUserPrivateKey, key.data(), key.size()), 0);
    ASSERT_EQ(AddDataItem(user.get(), kSlotUserPassword, "wrong", 5), 0);
    EXPECT_EQ(BuildOCSPRequest(1, 0, none, none, 6, kAlgSHA1WithRsa, user.get(), request.get(), out.data(),
                               out.size(), &length, 0, SignWithStoredKey),
              0);
    // Eleven requestor certificates do not fit the table; ten do (small
    // stand-ins before the signer keep the request within its buffer).
    Sets many;
    ASSERT_EQ(AddDataItem(many.get(), kSlotUserPrivateKey, key.data(), key.size()), 0);
    ASSERT_EQ(AddDataItem(many.get(), kSlotUserPassword, "tavomir", 7), 0);
    const unsigned char standIn[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    for (int i = 0; i < 10; ++i) ASSERT_EQ(AddDataItem(many.get(), kSlotUserCertificates, standIn, sizeof standIn), 0);
    ASSERT_EQ(AddDataItem(many.get(), kSlotUserCertificates, cert.data(), cert.size()), 0);
    EXPECT_EQ(BuildOCSPRequest(1, 0, none, none, 6, kAlgSHA1WithRsa, many.get(), request.get(), out.data(),
                               out.size(), &length, 0, SignWithStoredKey),
              0);
    DeleteDataItem(many.get(), kSlotUserCertificates, 1);
    EXPECT_EQ(BuildOCSPRequest(1, 0, none, none, 6, kAlgSHA1WithRsa, many.get(), request.get(), out.data(),
                               out.size(), &length, 0, SignWithStoredKey),
              1);
}

TEST(OcspNonce, EightFreshBytesEachTime)
{
    ByteBuffer a{nullptr, 0}, b{nullptr, 0};
    ASSERT_EQ(GenerateNonce(&a), 1);
    ASSERT_EQ(GenerateNonce(&b), 1);
    EXPECT_EQ(a.length, 8u);
    EXPECT_EQ(b.length, 8u);
    EXPECT_NE(ToHex(a.pointer, a.length), ToHex(b.pointer, b.length));
    FreeItems(&a, 1);
    FreeItems(&b, 1);
}

}  // namespace
