// The PKCS#7 encoder judged by OpenSSL: what it signs verifies with
// `openssl cms -verify` and `openssl smime -verify`, what it envelopes opens
// with `openssl cms -decrypt`, and its signed-and-enveloped messages, which
// OpenSSL no longer opens, check out piece by piece.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/hash/digest.h"
#include "core/pkcs7/pkcs7_encode_entry.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/pkcs7_message_reader.h"
#include "tests/support/pkcs7_test_slots.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;
using testsupport::pkcs7::Element;
using testsupport::pkcs7::FileStream;
using testsupport::pkcs7::Slots;

const char* kLegacy = " -provider legacy -provider default";

int Openssl(const std::string& arguments) { return testsupport::openssl_cli::Run(arguments); }

Bytes SampleContent(std::size_t length)
{
    Bytes content(length);
    for (std::size_t i = 0; i < length; ++i) content[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return content;
}

class Pkcs7EncodeOpenssl : public ::testing::Test {
protected:
    Slots slots;

    static std::string Path(const std::string& name) { return testsupport::WorkDir() + "/p7enc-" + name; }

    // Encodes content (written to NAME.in) into NAME.der.
    Pkcs7Result Encode(int operation, const Bytes& content, const std::string& name, unsigned flags = 0,
                       int cipher = kCipherTripleDes)
    {
        EXPECT_TRUE(testsupport::WriteFile(Path(name + ".in"), content.data(), content.size()));
        FileStream in(Path(name + ".in")), out(Path(name + ".der"));
        return EncodePKCS7Message(operation, out.get(), in.get(), false, true, kInnerData, operation, flags,
                                  &slots.sets, nullptr, cipher);
    }

    static Bytes Read(const std::string& name) { return testsupport::ReadFile(Path(name)); }
};

TEST_F(Pkcs7EncodeOpenssl, SignedDataVerifiesAttachedAndDetachedWithAndWithoutAttributes)
{
    const Bytes content = SampleContent(70000);  // more than two chunks
    for (unsigned flags : {0u, unsigned{kPkcs7FlagAttributes}, unsigned{kPkcs7FlagDetached},
                           unsigned{kPkcs7FlagDetached | kPkcs7FlagAttributes}}) {
        SCOPED_TRACE(flags);
        testsupport::pkcs7::AddSigner(&slots.sets, "signer");
        ASSERT_EQ(Encode(kOperationSign, content, "signed", flags), Pkcs7Result::Done);
        const std::string in = Path("signed.der"), data = Path("signed.in"), out = Path("signed.out");
        const std::string detached = (flags & kPkcs7FlagDetached) ? " -content " + data : "";
        for (const char* command : {"cms", "smime"}) {
            std::remove(out.c_str());
            EXPECT_EQ(Openssl(std::string(command) + " -verify -binary -inform DER -in " + in + detached + " -CAfile " +
                          Pki("ca.cert.pem") + " -out " + out),
                      0)
                << command;
            EXPECT_EQ(Read("signed.out"), content) << command;
        }
        // Tampered content fails.
        if (flags & kPkcs7FlagDetached) {
            Bytes other = content;
            other[5] ^= 1;
            ASSERT_TRUE(testsupport::WriteFile(Path("signed.other"), other.data(), other.size()));
            EXPECT_NE(Openssl("cms -verify -binary -inform DER -in " + in + " -content " + Path("signed.other") +
                          " -CAfile " + Pki("ca.cert.pem") + " -out " + out),
                      0);
        }
    }
}

TEST_F(Pkcs7EncodeOpenssl, TwoSignersInSignerOrderAfterCarriedCertificates)
{
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    testsupport::pkcs7::AddSigner(&slots.sets, "signer2");
    const Bytes content = SampleContent(100);
    ASSERT_EQ(Encode(kOperationSign, content, "two", kPkcs7FlagAttributes), Pkcs7Result::Done);
    EXPECT_EQ(Openssl("cms -verify -binary -inform DER -in " + Path("two.der") + " -CAfile " + Pki("ca.cert.pem") +
                  " -out " + Path("two.out")),
              0);

    const Bytes message = Read("two.der");
    ByteBuffer oid;
    std::vector<Element> body, certificates, signerInfos;
    ASSERT_TRUE(testsupport::pkcs7::WrappedBody(message, &oid, &body));
    ASSERT_EQ(body.size(), 5u);  // version, digestAlgorithms, contentInfo, certificates, signerInfos
    ASSERT_TRUE(testsupport::pkcs7::Children(body[3].whole, &certificates));
    ASSERT_TRUE(testsupport::pkcs7::Children(body[4].whole, &signerInfos));
    ASSERT_EQ(certificates.size(), 2u);
    EXPECT_EQ(Bytes(certificates[0].whole.pointer, certificates[0].whole.pointer + certificates[0].whole.length),
              testsupport::ReadFile(Pki("signer.cert.der")));
    ASSERT_EQ(signerInfos.size(), 2u);
    Pkcs7SignerInfo first, second;
    ASSERT_TRUE(ReadPkcs7SignerInfo(signerInfos[0].whole, &first));
    ASSERT_TRUE(ReadPkcs7SignerInfo(signerInfos[1].whole, &second));
    EXPECT_EQ(first.signatureValue.length, 256u);   // signer: 2048 bits
    EXPECT_EQ(second.signatureValue.length, 128u);  // signer2: 1024 bits
}

TEST_F(Pkcs7EncodeOpenssl, EnvelopedDataDecryptsUnderEachCipher)
{
    struct Case {
        int cipher;
        const char* name;
    };
    for (const Case& c : {Case{kCipherDes, "des"}, Case{kCipherRc4, "rc4"}, Case{kCipherTripleDes, "3des"}}) {
        for (std::size_t length : {1u, 16u, 40000u}) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(length));
            testsupport::pkcs7::AddRecipient(&slots.sets, "signer2");
            testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
            const Bytes content = SampleContent(length);
            ASSERT_EQ(Encode(kOperationEnvelope, content, "env", 0, c.cipher), Pkcs7Result::Done);
            const std::string out = Path("env.out");
            std::remove(out.c_str());
            EXPECT_EQ(Openssl(std::string("cms -decrypt -binary") + kLegacy + " -inform DER -in " + Path("env.der") +
                          " -recip " + Pki("recipient.cert.pem") + " -inkey " + Pki("recipient.key.pem") +
                          " -out " + out),
                      0);
            EXPECT_EQ(Read("env.out"), content);
        }
    }
}

}  // namespace
