// The PKCS#7 encoder judged by OpenSSL: what it signs verifies with
// `openssl cms -verify` and `openssl smime -verify`, what it envelopes opens
// with `openssl cms -decrypt`, and its signed-and-enveloped messages, which
// OpenSSL no longer opens, check out piece by piece.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/hash/digest.h"
#include "core/pkcs7/pkcs7_encode_entry.h"
#include "core/der/der_reader.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/pkcs7_message_reader.h"
#include "tests/support/pkcs7_test_slots.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;
using namespace testsupport::pkcs7;

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

namespace {


std::string Hex(const Bytes& bytes) { return testsupport::ToHex(bytes.data(), bytes.size()); }

// OpenSSL 3 no longer opens signedAndEnvelopedData: each piece is opened
// with its own command (the content key with pkeyutl, the content and the
// encrypted digest with enc, the signature with pkeyutl -verifyrecover).
TEST_F(Pkcs7EncodeOpenssl, SignedAndEnvelopedDataOpensPieceByPiece)
{
    struct Case {
        int cipher;
        const char* content;  // enc's name of the content cipher
        std::size_t keyLength;
    };
    for (const Case& c : {Case{kCipherDes, "des-cbc", 8}, Case{kCipherRc4, "rc4", 16},
                          Case{kCipherTripleDes, "des-ede3-cbc", 24}}) {
        SCOPED_TRACE(c.content);
        testsupport::pkcs7::AddSigner(&slots.sets, "signer");
        testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
        const Bytes content = SampleContent(1000);
        ASSERT_EQ(Encode(kOperationSignAndEnvelope, content, "se", 0, c.cipher), Pkcs7Result::Done);
        const Bytes message = Read("se.der");
        ByteBuffer oid;
        std::vector<Element> body, recipients, encrypted, signerInfos, wrapped;
        ASSERT_TRUE(testsupport::pkcs7::WrappedBody(message, &oid, &body));
        ASSERT_EQ(body.size(), 6u);
        ASSERT_TRUE(testsupport::pkcs7::Children(body[1].whole, &recipients));
        ASSERT_TRUE(testsupport::pkcs7::Children(body[3].whole, &encrypted));
        ASSERT_TRUE(testsupport::pkcs7::Children(body[5].whole, &signerInfos));
        ASSERT_EQ(recipients.size(), 1u);
        ASSERT_EQ(encrypted.size(), 3u);
        ASSERT_EQ(signerInfos.size(), 1u);

        Pkcs7RecipientInfo recipient;
        ASSERT_TRUE(ReadPkcs7RecipientInfo(recipients[0].whole, &recipient));
        const Bytes wrappedKey = Of(recipient.encryptedKey);
        ASSERT_TRUE(testsupport::WriteFile(Path("se.key.enc"), wrappedKey.data(), wrappedKey.size()));
        ASSERT_EQ(Openssl("pkeyutl -decrypt -inkey " + Pki("recipient.key.pem") + " -in " + Path("se.key.enc") +
                          " -out " + Path("se.key")),
                  0);
        const Bytes key = Read("se.key");
        ASSERT_EQ(key.size(), c.keyLength);

        // The IV: the OCTET STRING parameter of DES and triple DES; RC4's
        // 16-byte key is the DES key and IV of its encrypted digests.
        Pkcs7Algorithm cipher;
        DERCursor cursor = der_reader::Inside(encrypted[1].whole);
        ASSERT_TRUE(ReadPkcs7Algorithm(&cursor, &cipher));
        Bytes iv;
        if (c.cipher == kCipherRc4) {
            EXPECT_EQ(Of(cipher.parameters), (Bytes{0x04, 0x00}));
            iv.assign(key.begin() + 8, key.end());
        } else {
            ASSERT_EQ(cipher.parameters.length, 10u);
            iv.assign(cipher.parameters.pointer + 2, cipher.parameters.pointer + 10);
        }
        ASSERT_TRUE(testsupport::pkcs7::Children(encrypted[2].whole, &wrapped));
        ASSERT_EQ(wrapped.size(), 1u);
        const Bytes ciphertext = Of(wrapped[0].content);
        EXPECT_EQ(ciphertext.size(), c.cipher == kCipherRc4 ? 1000u : 1008u);
        ASSERT_TRUE(testsupport::WriteFile(Path("se.content.enc"), ciphertext.data(), ciphertext.size()));
        const std::string ivOption = c.cipher == kCipherRc4 ? "" : " -iv " + Hex(iv);
        ASSERT_EQ(Openssl(std::string("enc -d -") + c.content + kLegacy + " -K " + Hex(key) + ivOption + " -in " +
                          Path("se.content.enc") + " -out " + Path("se.content")),
                  0);
        EXPECT_EQ(Read("se.content"), content);

        Pkcs7SignerInfo signer;
        ASSERT_TRUE(ReadPkcs7SignerInfo(signerInfos[0].whole, &signer));
        const Bytes sealed = Of(signer.signatureValue);
        EXPECT_EQ(sealed.size(), 264u);  // 256 and a whole block of padding
        ASSERT_TRUE(testsupport::WriteFile(Path("se.sig.enc"), sealed.data(), sealed.size()));
        const bool tripleDes = c.cipher == kCipherTripleDes;
        ASSERT_EQ(Openssl(std::string("enc -d ") + (tripleDes ? "-des-ede3-cbc" : "-des-cbc") + kLegacy + " -K " +
                          Hex(Bytes(key.begin(), key.begin() + (tripleDes ? 24 : 8))) + " -iv " + Hex(iv) + " -in " +
                          Path("se.sig.enc") + " -out " + Path("se.sig")),
                  0);
        ASSERT_EQ(Openssl("pkeyutl -verifyrecover -certin -inkey " + Pki("signer.cert.pem") + " -in " +
                          Path("se.sig") + " -out " + Path("se.digestinfo")),
                  0);
        unsigned char digest[kMaxDigestLength], digestInfo[kMaxDigestInfoLength];
        std::size_t digestLength = 0;
        ASSERT_EQ(DigestDataBlock(digest, &digestLength, content.data(), content.size(), kDigestMd5), 0);
        const std::size_t infoLength = BuildDigestInfo(digestInfo, kDigestMd5, digest);
        EXPECT_EQ(Read("se.digestinfo"), Bytes(digestInfo, digestInfo + infoLength));
    }
}

}  // namespace

namespace {

// A CA whose Name lists its parts in an unusual order (CN, O, C): a Name
// rebuilt from decoded fields would not match it, the copied one does.
TEST_F(Pkcs7EncodeOpenssl, IssuerNameIsCopiedAsTheCertificateEncodesIt)
{
    const std::string config = Path("order.cnf");
    const std::string text =
        "[req]\ndistinguished_name = dn\nstring_mask = default\nutf8 = no\nprompt = no\n[dn]\nCN = x\n"
        "[v3_ca]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign\n";
    ASSERT_TRUE(testsupport::WriteFile(config, text.data(), text.size()));
    const std::string ca = Path("order-ca"), leaf = Path("order-leaf");
    for (const std::string& command :
         {"genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out " + ca + ".key",
          "req -config " + config + " -new -x509 -extensions v3_ca -key " + ca +
              ".key -subj '/CN=Zeta CA/O=Alpha Org/C=ES' -days 3650 -sha1 -set_serial 7 -out " + ca + ".pem",
          "genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out " + leaf + ".key",
          "req -config " + config + " -new -key " + leaf + ".key -subj '/CN=Leaf/C=ES' -out " + leaf + ".csr",
          "x509 -req -in " + leaf + ".csr -CA " + ca + ".pem -CAkey " + ca + ".key -set_serial 0x0100 -days 3650 " +
              "-sha1 -out " + leaf + ".pem",
          "x509 -in " + leaf + ".pem -outform DER -out " + leaf + ".der",
          std::string("pkcs8 -topk8 -v1 PBE-MD5-DES -iter 100") + kLegacy + " -in " + leaf +
              ".key -passout pass:order -outform DER -out " + leaf + ".p8e.der"})
        ASSERT_EQ(Openssl(command), 0) << command;
    const Bytes certificate = testsupport::ReadFile(leaf + ".der");
    const Bytes key = testsupport::ReadFile(leaf + ".p8e.der");
    const char password[] = "order";
    const Bytes content = SampleContent(300);

    ASSERT_EQ(AddDataItem(&slots.sets, kSlotSignerCertificates, certificate.data(), certificate.size()), kDataSetsOk);
    ASSERT_EQ(AddDataItem(&slots.sets, kSlotSignerKeys, key.data(), key.size()), kDataSetsOk);
    ASSERT_EQ(AddDataItem(&slots.sets, kSlotSignerPasswords, password, sizeof password), kDataSetsOk);
    ASSERT_EQ(Encode(kOperationSign, content, "order-signed"), Pkcs7Result::Done);
    EXPECT_EQ(Openssl("cms -verify -binary -inform DER -in " + Path("order-signed.der") + " -CAfile " + ca +
                      ".pem -out " + Path("order-signed.out")),
              0);
    EXPECT_EQ(Read("order-signed.out"), content);

    ASSERT_EQ(AddDataItem(&slots.sets, kSlotRecipientCertificates, certificate.data(), certificate.size()),
              kDataSetsOk);
    ASSERT_EQ(Encode(kOperationEnvelope, content, "order-env", 0, kCipherTripleDes), Pkcs7Result::Done);
    EXPECT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Path("order-env.der") + " -recip " + leaf +
                      ".pem -inkey " + leaf + ".key -out " + Path("order-env.out")),
              0);
    EXPECT_EQ(Read("order-env.out"), content);
}

}  // namespace
