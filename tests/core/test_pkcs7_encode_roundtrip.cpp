// What the PKCS#7 encoder writes, opened by the engine's own decoder: the
// signed-and-enveloped messages OpenSSL no longer opens (RC4 among them), a
// key-less re-encoding, and the entry points that open a message and make
// it again with one more signature or for one more recipient.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/pkcs7/pkcs7_decode.h"
#include "core/pkcs7/pkcs7_encode_entry.h"
#include "core/pkcs7/pkcs7_reencode_entry.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/pkcs7_engine_util.h"
#include "tests/support/pkcs7_test_slots.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

using Bytes = std::vector<unsigned char>;
using namespace testsupport::pkcs7;

Bytes Content(std::size_t length)
{
    Bytes content(length);
    for (std::size_t i = 0; i < length; ++i) content[i] = static_cast<unsigned char>(i * 13 + 5);
    return content;
}

struct Opened {
    Pkcs7Result result = Pkcs7Result::BadStructure;
    int status = -1, inner = -1, outer = -1, cipher = -1;
    Bytes content;
};

class Pkcs7EncodeRoundTrip : public ::testing::Test {
protected:
    Slots slots;

    Bytes Encode(int operation, const Bytes& content, unsigned flags = 0, int cipher = kCipherTripleDes,
                 bool continued = false, int previous = 0, int innerType = kInnerData)
    {
        InputStream in(content);
        OutputStream out;
        EXPECT_EQ(EncodePKCS7Message(operation, &out.stream, &in.stream, continued, true, innerType,
                                     continued ? previous : operation, flags, &slots.sets, nullptr, cipher),
                  Pkcs7Result::Done);
        return out.Contents();
    }

    Opened Open(const Bytes& message)
    {
        Opened opened;
        InputStream in(message);
        OutputStream out;
        opened.result = DecodePKCS7Message(&out.stream, &in.stream, nullptr, &opened.status,
                                           kPkcs7TypeHintContentInfo, &opened.inner, &opened.outer, 0, &slots.sets,
                                           nullptr, &opened.cipher);
        opened.content = out.Contents();
        return opened;
    }

    void UseOwn(const std::string& entity)
    {
        for (std::uint32_t slot : {kSlotOwnKey, kSlotOwnPassword, kSlotOwnCertificate}) ClearDataSet(&slots.sets, slot);
        slots.LoadOwn(entity);
    }
};

TEST_F(Pkcs7EncodeRoundTrip, SignedAndEnvelopedDataOpensAndVerifiesUnderEachCipher)
{
    UseOwn("recipient");
    for (int cipher : {kCipherDes, kCipherRc4, kCipherTripleDes}) {
        for (unsigned flags : {0u, unsigned{kPkcs7FlagAttributes}}) {
            SCOPED_TRACE(std::to_string(cipher) + " " + std::to_string(flags));
            AddSigner(&slots.sets, "signer");
            AddSigner(&slots.sets, "signer2");
            AddRecipient(&slots.sets, "recipient");
            const Bytes content = Content(33000);
            const Opened opened = Open(Encode(kOperationSignAndEnvelope, content, flags, cipher));
            EXPECT_EQ(opened.result, Pkcs7Result::Done);
            EXPECT_EQ(opened.status, kSignatureVerified);
            EXPECT_EQ(opened.outer, kOuterSignedAndEnveloped);
            EXPECT_EQ(opened.cipher, cipher);
            EXPECT_EQ(opened.content, content);
            EXPECT_EQ(slots.Count(kSlotSignerInfos), 2u);
        }
    }
}

TEST_F(Pkcs7EncodeRoundTrip, SignedAndEnvelopedDatasSignaturesDependOnTheKey)
{
    // A wrong encrypted digest is a failure, not a verified signature.
    UseOwn("recipient");
    AddSigner(&slots.sets, "signer");
    AddRecipient(&slots.sets, "recipient");
    Bytes message = Encode(kOperationSignAndEnvelope, Content(100), 0, kCipherRc4);
    message[message.size() - 20] ^= 0x01;  // inside the last SignerInfo's encryptedDigest
    const Opened opened = Open(message);
    EXPECT_NE(opened.result, Pkcs7Result::Done);
    EXPECT_NE(opened.status, kSignatureVerified);
}

TEST_F(Pkcs7EncodeRoundTrip, KeylessOpeningReencodesToTheSameContent)
{
    UseOwn("recipient");
    AddRecipient(&slots.sets, "recipient");
    const Bytes content = Content(1000);
    const Bytes message = Encode(kOperationEnvelope, content, 0, kCipherTripleDes);

    // Opened without the key: the encrypted content, the marker and IV, the RecipientInfos.
    InputStream in(message);
    OutputStream encrypted;
    int status = 0, inner = 0, outer = 0;
    ASSERT_EQ(DecodePKCS7MessageNoKey(&encrypted.stream, &in.stream, &status, kPkcs7TypeHintContentInfo, &inner,
                                      &outer, 0, &slots.sets),
              Pkcs7Result::Done);
    const Bytes ciphertext = encrypted.Contents();
    const Bytes again = Encode(kOperationEnvelope, ciphertext, 0, kCipherTripleDes, true, kOperationEnvelope);
    const Opened opened = Open(again);
    EXPECT_EQ(opened.result, Pkcs7Result::Done);
    EXPECT_EQ(opened.content, content);
}

TEST_F(Pkcs7EncodeRoundTrip, AddedSignatureKeepsTheOldSigners)
{
    AddSigner(&slots.sets, "signer");
    const Bytes content = Content(500);
    const Bytes signedData = Encode(kOperationSign, content, kPkcs7FlagAttributes);
    UseOwn("signer2");
    InputStream in(signedData);
    OutputStream out;
    ASSERT_EQ(AddPKCS7Signature(&out.stream, &in.stream, &slots.sets), Pkcs7Result::Done);
    const Bytes twice = out.Contents();
    const Opened opened = Open(twice);
    EXPECT_EQ(opened.result, Pkcs7Result::Done);
    EXPECT_EQ(opened.status, kSignatureVerified);
    EXPECT_EQ(opened.content, content);
    EXPECT_EQ(slots.Count(kSlotSignerInfos), 2u);
    EXPECT_EQ(slots.Count(kSlotCarriedCertificates), 2u);

    const std::string path = testsupport::WorkDir() + "/p7round-twice.der";
    ASSERT_TRUE(testsupport::WriteFile(path, twice.data(), twice.size()));
    EXPECT_EQ(testsupport::openssl_cli::Run("cms -verify -binary -inform DER -in " + path + " -CAfile " +
                                            testsupport::Pki("ca.cert.pem") + " -out " + path + ".out"),
              0);

    // Signed and enveloped for the own credentials, who open it and sign it too.
    UseOwn("recipient");
    AddSigner(&slots.sets, "signer");
    AddRecipient(&slots.sets, "recipient");
    InputStream sealed(Encode(kOperationSignAndEnvelope, content, 0, kCipherRc4));
    OutputStream resealed;
    ASSERT_EQ(AddPKCS7Signature(&resealed.stream, &sealed.stream, &slots.sets), Pkcs7Result::Done);
    const Opened both = Open(resealed.Contents());
    EXPECT_EQ(both.result, Pkcs7Result::Done);
    EXPECT_EQ(both.status, kSignatureVerified);
    EXPECT_EQ(both.content, content);
    EXPECT_EQ(slots.Count(kSlotSignerInfos), 2u);

    // Only signed messages take a signature.
    AddRecipient(&slots.sets, "recipient");
    InputStream enveloped(Encode(kOperationEnvelope, content));
    OutputStream refused;
    EXPECT_EQ(AddPKCS7Signature(&refused.stream, &enveloped.stream, &slots.sets), Pkcs7Result::BadStructure);
}

TEST_F(Pkcs7EncodeRoundTrip, EnvelopingAnOpenedMessageKeepsItsSignatures)
{
    const Bytes content = Content(700);
    const Bytes recipient = testsupport::ReadFile(testsupport::Pki("recipient.cert.der"));
    const Bytes signer2 = testsupport::ReadFile(testsupport::Pki("signer2.cert.der"));
    for (int cipher : {kCipherDes, kCipherRc4, kCipherTripleDes}) {
        SCOPED_TRACE(cipher);
        AddSigner(&slots.sets, "signer");
        InputStream signedData(Encode(kOperationSign, content));
        OutputStream sealed;
        ASSERT_EQ(EnvelopePKCS7Message(&sealed.stream, &signedData.stream, recipient.data(), recipient.size(),
                                       &slots.sets, cipher),
                  Pkcs7Result::Done);
        const Bytes message = sealed.Contents();
        UseOwn("recipient");
        Opened opened = Open(message);
        EXPECT_EQ(opened.result, Pkcs7Result::Done);
        EXPECT_EQ(opened.status, kSignatureVerified);
        EXPECT_EQ(opened.outer, kOuterSignedAndEnveloped);
        EXPECT_EQ(opened.cipher, cipher);
        EXPECT_EQ(opened.content, content);

        // Once more for a second recipient, under the cipher the message has.
        InputStream again(message);
        OutputStream twice;
        ASSERT_EQ(EnvelopePKCS7Message(&twice.stream, &again.stream, signer2.data(), signer2.size(), &slots.sets,
                                       kCipherTripleDes),
                  Pkcs7Result::Done);
        const Bytes both = twice.Contents();
        for (const char* entity : {"recipient", "signer2"}) {
            UseOwn(entity);
            opened = Open(both);
            EXPECT_EQ(opened.result, Pkcs7Result::Done) << entity;
            EXPECT_EQ(opened.status, kSignatureVerified) << entity;
            EXPECT_EQ(opened.cipher, cipher) << entity;
            EXPECT_EQ(opened.content, content) << entity;
        }
        EXPECT_EQ(slots.Count(kSlotRecipientInfos), 2u);
        for (std::uint32_t slot : {kSlotOwnKey, kSlotOwnPassword, kSlotOwnCertificate}) ClearDataSet(&slots.sets, slot);
    }
    // Not a SEQUENCE within its length.
    AddSigner(&slots.sets, "signer");
    InputStream signedData(Encode(kOperationSign, content));
    OutputStream refused;
    EXPECT_EQ(EnvelopePKCS7Message(&refused.stream, &signedData.stream, recipient.data(), 10, &slots.sets,
                                   kCipherDes),
              Pkcs7Result::CAUnusable);
}

// A signed-and-enveloped message sealed again for a second party, which
// opens the outer message with its key and the inner one with the first's.
TEST_F(Pkcs7EncodeRoundTrip, NestedSignedAndEnvelopedMessagesOpenInTurn)
{
    const Bytes content = Content(300);
    AddSigner(&slots.sets, "signer");
    AddRecipient(&slots.sets, "recipient");
    const Bytes inner = Encode(kOperationSignAndEnvelope, content);
    AddSigner(&slots.sets, "signer2");
    AddRecipient(&slots.sets, "signer2");
    const Bytes outer = Encode(kOperationSignAndEnvelope, inner, kPkcs7FlagAttributes, kCipherRc4, false, 0,
                               kInnerSignedAndEnveloped);
    UseOwn("signer2");
    Opened opened = Open(outer);
    ASSERT_EQ(opened.result, Pkcs7Result::Done);
    EXPECT_EQ(opened.status, kSignatureVerified);
    EXPECT_EQ(opened.inner, kInnerSignedAndEnveloped);
    EXPECT_EQ(opened.content, inner);
    UseOwn("recipient");
    opened = Open(inner);
    EXPECT_EQ(opened.result, Pkcs7Result::Done);
    EXPECT_EQ(opened.status, kSignatureVerified);
    EXPECT_EQ(opened.content, content);
}

#ifndef _WIN32
// The opened content passes through a file of our own, gone afterwards;
// nothing is left in the working folder.
TEST_F(Pkcs7EncodeRoundTrip, ScratchFilesAreOurOwnAndRemoved)
{
    const std::string folder = testsupport::WorkDir() + "/p7round-tmp";
    mkdir(folder.c_str(), 0700);
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    setenv("TMPDIR", folder.c_str(), 1);
    AddSigner(&slots.sets, "signer");
    InputStream signedData(Encode(kOperationSign, Content(50)));
    UseOwn("signer2");
    OutputStream out;
    EXPECT_EQ(AddPKCS7Signature(&out.stream, &signedData.stream, &slots.sets), Pkcs7Result::Done);
    InputStream damaged(Bytes{0x30, 0x03, 0x02, 0x01, 0x01});
    EXPECT_NE(AddPKCS7Signature(&out.stream, &damaged.stream, &slots.sets), Pkcs7Result::Done);
    if (previous)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    int entries = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++entries;
        closedir(dir);
    }
    EXPECT_EQ(entries, 0);
    FILE* fixed = std::fopen("paso.txt", "rb");
    EXPECT_EQ(fixed, nullptr);
    if (fixed) std::fclose(fixed);
}
#endif

}  // namespace
