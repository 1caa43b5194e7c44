// The PKCS#7 encoder's edges, checked on its bytes: padding lengths, refused
// inputs and slots, continued operations, the unwrapped form, key-less
// re-encoding, carried records only, key generation and key transport, the
// re-encryption of carried SignerInfos and the buffer entry points.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cipher/des.h"
#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/pkcs7/pkcs7_encode_entry.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "core/pkcs7/pkcs7_key_transport.h"
#include "core/pkcs7/pkcs7_signer_info_crypt.h"
#include "core/rsa/random.h"
#include "core/x509/certificate_parts.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/pkcs7_message_reader.h"
#include "tests/support/pkcs7_test_slots.h"

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::Pki;
using namespace testsupport::pkcs7;

ByteBuffer View(Bytes& bytes) { return ByteBuffer{bytes.data(), bytes.size()}; }

Bytes ContentTypeOid(int code)
{
    unsigned char oid[kOIDMaxLength];
    std::size_t length = 0;
    EXPECT_EQ(ContentTypeToOID(code, oid, &length), 0);
    return Bytes(oid, oid + length);
}

class Pkcs7EncodeEdges : public ::testing::Test {
protected:
    Slots slots;

    static std::string Path(const std::string& name) { return testsupport::WorkDir() + "/p7edge-" + name; }

    Pkcs7Result Encode(int operation, const Bytes& content, unsigned flags = 0, int cipher = kCipherTripleDes,
                       bool wrap = true, bool continued = false, int previous = 0)
    {
        static const unsigned char none = 0;
        EXPECT_TRUE(testsupport::WriteFile(Path("in"), content.empty() ? &none : content.data(), content.size()));
        FileStream in(Path("in")), out(Path("out"));
        return EncodePKCS7Message(operation, out.get(), in.get(), continued, wrap, kInnerData,
                                  continued ? previous : operation, flags, &slots.sets, nullptr, cipher);
    }

    static Bytes Output() { return testsupport::ReadFile(Path("out")); }

    // The encrypted content of the envelopedData just written.
    static Bytes Ciphertext()
    {
        const Bytes message = Output();
        ByteBuffer oid;
        std::vector<Element> body, encrypted, wrapped;
        if (!testsupport::pkcs7::WrappedBody(message, &oid, &body) || body.size() != 3 ||
            !testsupport::pkcs7::Children(body[2].whole, &encrypted) || encrypted.size() != 3 ||
            !testsupport::pkcs7::Children(encrypted[2].whole, &wrapped) || wrapped.size() != 1)
            return {};
        return Of(wrapped[0].content);
    }
};

TEST_F(Pkcs7EncodeEdges, CbcContentIsPaddedAndRc4ContentIsNot)
{
    struct Case {
        int cipher;
        std::size_t length, encrypted;
    };
    for (const Case& c : {Case{kCipherDes, 16, 24}, Case{kCipherDes, 15, 16}, Case{kCipherTripleDes, 1, 8},
                          Case{kCipherRc4, 16, 16}, Case{kCipherRc4, 3, 3}}) {
        SCOPED_TRACE(std::to_string(c.cipher) + " " + std::to_string(c.length));
        testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
        ASSERT_EQ(Encode(kOperationEnvelope, Bytes(c.length, 0x5A), 0, c.cipher), Pkcs7Result::Done);
        EXPECT_EQ(Ciphertext().size(), c.encrypted);
    }
}

TEST_F(Pkcs7EncodeEdges, RefusesEmptyContentBadContentKeysAndOperations)
{
    testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
    EXPECT_EQ(Encode(kOperationEnvelope, Bytes()), Pkcs7Result::EmptyContent);
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    EXPECT_EQ(Encode(kOperationSign, Bytes()), Pkcs7Result::EmptyContent);

    struct Case {
        std::vector<Bytes> items;
        int cipher;
    };
    const Bytes eight(8, 1), twentyFour(24, 2);
    for (const Case& c : {Case{{eight}, kCipherDes}, Case{{eight, eight, eight}, kCipherDes},
                          Case{{eight, eight}, kCipherTripleDes}, Case{{twentyFour, eight}, kCipherDes},
                          Case{{eight, Bytes(7, 1)}, kCipherRc4}}) {
        testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
        for (const Bytes& item : c.items) AddDataItem(&slots.sets, kSlotContentKey, item.data(), item.size());
        EXPECT_EQ(Encode(kOperationEnvelope, Bytes(5, 1), 0, c.cipher, true, true, kOperationEnvelope),
                  Pkcs7Result::BadSlots)
            << c.items.size() << " " << c.cipher;
    }
    for (int operation : {0, 4})
        EXPECT_EQ(Encode(operation, Bytes(5, 1)), Pkcs7Result::BadStructure);

    // Streams that are not there, or cannot be started.
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    FileStream content(Path("in")), missing(Path("no-such-folder/in")), unwritable(Path("no-such-folder/out"));
    EXPECT_EQ(EncodePKCS7Message(kOperationSign, unwritable.get(), nullptr, false, true, kInnerData, 1, 0,
                                 &slots.sets, nullptr, kCipherDes),
              Pkcs7Result::StreamNotReadable);
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    EXPECT_EQ(EncodePKCS7Message(kOperationSign, unwritable.get(), missing.get(), false, true, kInnerData, 1, 0,
                                 &slots.sets, nullptr, kCipherDes),
              Pkcs7Result::StreamNotReadable);
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    EXPECT_EQ(EncodePKCS7Message(kOperationSign, unwritable.get(), content.get(), false, true, kInnerData, 1, 0,
                                 &slots.sets, nullptr, kCipherDes),
              Pkcs7Result::OutputNotWritable);
}

TEST_F(Pkcs7EncodeEdges, ContinuedOperationsCombineSigningAndEnveloping)
{
    struct Case {
        int previous, operation, result;
    };
    for (const Case& c : {Case{1, 1, 1}, Case{2, 2, 2}, Case{3, 3, 3}, Case{1, 2, 3}, Case{1, 3, 3}, Case{3, 1, 3},
                          Case{3, 2, 3}, Case{2, 1, 0}, Case{2, 3, 0}})
        EXPECT_EQ(ContinuedOperation(c.previous, c.operation), c.result) << c.previous << " " << c.operation;

    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
    ASSERT_EQ(Encode(kOperationEnvelope, Bytes(20, 3), 0, kCipherTripleDes, true, true, kOperationSign),
              Pkcs7Result::Done);
    const Bytes message = Output();
    ByteBuffer oid;
    std::vector<Element> body;
    ASSERT_TRUE(testsupport::pkcs7::WrappedBody(message, &oid, &body));
    EXPECT_EQ(Of(oid), ContentTypeOid(kContentSignedAndEnvelopedData));
    EXPECT_EQ(body.size(), 6u);

    EXPECT_EQ(Encode(kOperationSign, Bytes(20, 3), 0, kCipherTripleDes, true, true, kOperationEnvelope),
              Pkcs7Result::BadStructure);
}

TEST_F(Pkcs7EncodeEdges, UnwrappedFormBeginsWithTheVersion)
{
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    ASSERT_EQ(Encode(kOperationSign, Bytes(10, 1), 0, kCipherTripleDes, false), Pkcs7Result::Done);
    Bytes message = Output();
    ASSERT_GE(message.size(), 3u);
    EXPECT_EQ(Bytes(message.begin(), message.begin() + 3), (Bytes{0x02, 0x01, 0x01}));
    // Then the fields of the body, and nothing more.
    DERCursor cursor = der_reader::Inside(View(message));
    int fields = 0;
    while (!der_reader::AtEnd(cursor)) {
        ASSERT_TRUE(der_reader::SkipElement(&cursor));
        ++fields;
    }
    EXPECT_EQ(fields, 5);

    testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
    ASSERT_EQ(Encode(kOperationEnvelope, Bytes(10, 1), 0, kCipherTripleDes, false), Pkcs7Result::Done);
    message = Output();
    EXPECT_EQ(Bytes(message.begin(), message.begin() + 3), (Bytes{0x02, 0x01, 0x00}));
}

TEST_F(Pkcs7EncodeEdges, SlotsAreConsumedAndOwnCredentialsKept)
{
    slots.LoadOwn("signer");
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
    ASSERT_EQ(Encode(kOperationSignAndEnvelope, Bytes(10, 1)), Pkcs7Result::Done);
    for (std::uint32_t slot = 0; slot <= kSlotNewSignatures; ++slot) EXPECT_EQ(slots.Count(slot), 0u) << slot;
    for (std::uint32_t slot : {kSlotOwnKey, kSlotOwnPassword, kSlotOwnCertificate})
        EXPECT_EQ(slots.Count(slot), 1u) << slot;
}

TEST_F(Pkcs7EncodeEdges, WrongPasswordOfTheSecondSignerIsRefused)
{
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    testsupport::pkcs7::AddSigner(&slots.sets, "signer2", "not the password");
    EXPECT_EQ(Encode(kOperationSign, Bytes(10, 1)), Pkcs7Result::KeyUnusable);
}

TEST_F(Pkcs7EncodeEdges, KeylessReencodingCopiesTheEncryptedContent)
{
    // What a key-less opening leaves: the marker and the IV, the RecipientInfos.
    const Bytes marker{'X'}, iv(8, 0x11), recipientInfo{0x30, 0x03, 0x02, 0x01, 0x00};
    const Bytes ciphertext = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    for (int cipher : {kCipherTripleDes, kCipherRc4}) {
        AddDataItem(&slots.sets, kSlotContentKey, marker.data(), marker.size());
        if (cipher != kCipherRc4) AddDataItem(&slots.sets, kSlotContentKey, iv.data(), iv.size());
        AddDataItem(&slots.sets, kSlotRecipientInfos, recipientInfo.data(), recipientInfo.size());
        ASSERT_EQ(Encode(kOperationEnvelope, ciphertext, 0, cipher, true, true, kOperationEnvelope),
                  Pkcs7Result::Done)
            << cipher;
        EXPECT_EQ(Ciphertext(), ciphertext) << cipher;
    }
    // Without the key no new recipient can be given it.
    AddDataItem(&slots.sets, kSlotContentKey, marker.data(), marker.size());
    AddDataItem(&slots.sets, kSlotContentKey, iv.data(), iv.size());
    AddDataItem(&slots.sets, kSlotRecipientInfos, recipientInfo.data(), recipientInfo.size());
    testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
    EXPECT_EQ(Encode(kOperationEnvelope, ciphertext, 0, kCipherTripleDes, true, true, kOperationEnvelope),
              Pkcs7Result::BadSlots);
}

TEST_F(Pkcs7EncodeEdges, NoContentFlagWritesTheCarriedRecordsOnly)
{
    testsupport::pkcs7::AddFile(&slots.sets, kSlotCarriedCertificates, "ca.cert.der");
    FileStream out(Path("certs"));
    ASSERT_EQ(EncodePKCS7Message(kOperationSign, out.get(), nullptr, false, true, kInnerData, kOperationSign,
                                 kPkcs7FlagNoContent, &slots.sets, nullptr, kCipherDes),
              Pkcs7Result::Done);
    const Bytes message = testsupport::ReadFile(Path("certs"));
    ByteBuffer oid;
    std::vector<Element> body, contentInfo;
    ASSERT_TRUE(testsupport::pkcs7::WrappedBody(message, &oid, &body));
    ASSERT_EQ(body.size(), 5u);
    EXPECT_EQ(Of(body[1].whole), (Bytes{0x31, 0x00}));
    ASSERT_TRUE(testsupport::pkcs7::Children(body[2].whole, &contentInfo));
    EXPECT_EQ(contentInfo.size(), 1u);  // the type only
    EXPECT_EQ(testsupport::openssl_cli::Run("pkcs7 -inform DER -in " + Path("certs") + " -print_certs -out " +
                                            Path("certs.pem")),
              0);
}

TEST_F(Pkcs7EncodeEdges, GeneratedKeysHaveOddParityAndFailWithoutRandomBytes)
{
    unsigned char des[16], tripleDes[32];
    ASSERT_TRUE(GenerateDesKeyAndIV(des));
    ASSERT_TRUE(GenerateTripleDesKeyAndIV(tripleDes));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(__builtin_popcount(tripleDes[i]) % 2, 1) << i;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(__builtin_popcount(des[i]) % 2, 1) << i;

    // A generator that still wants seed bytes gives no key, never a fixed one.
    InitRandom(GetSharedRandom());
    EXPECT_FALSE(GenerateDesKeyAndIV(des));
    EXPECT_EQ(Bytes(des, des + 16), Bytes(16, 0));
    EXPECT_FALSE(GenerateTripleDesKeyAndIV(tripleDes));
    testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
    EXPECT_EQ(Encode(kOperationEnvelope, Bytes(5, 1)), Pkcs7Result::CipherFailed);
    SeedRandomFromClock(GetSharedRandom());
    testsupport::pkcs7::AddRecipient(&slots.sets, "recipient");
    EXPECT_EQ(Encode(kOperationEnvelope, Bytes(5, 1)), Pkcs7Result::Done);
}

TEST_F(Pkcs7EncodeEdges, RecipientInfoCopiesIssuerAndSerialAndWrapsTheKey)
{
    Bytes certificate = testsupport::ReadFile(Pki("signer2.cert.der"));  // 20-byte serial
    const Bytes key = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    unsigned char buffer[2048];
    DERCursor cursor;
    InitDERWriter(&cursor, buffer, sizeof buffer);
    const std::size_t length = EncodeRecipientInfo(certificate.data(), certificate.size(), key.data(), key.size(),
                                                   &cursor);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(cursor.position, sizeof buffer - length);
    Pkcs7RecipientInfo info;
    ASSERT_TRUE(ReadPkcs7RecipientInfo(ByteBuffer{buffer + cursor.position, length}, &info));
    ASSERT_TRUE(info.keyTransport);
    EXPECT_EQ(info.version, 0);
    ByteBuffer issuer, serial;
    ASSERT_TRUE(ReadCertificateIssuerAndSerial(certificate.data(), certificate.size(), &issuer, &serial));
    EXPECT_EQ(Of(info.recipient.issuer), Of(issuer));
    EXPECT_EQ(Of(info.recipient.serial), Of(serial));
    EXPECT_EQ(OIDToAlgorithm(info.keyAlgorithm.oid.pointer, info.keyAlgorithm.oid.length), kAlgRsaEncryption);
    EXPECT_TRUE(Pkcs7NoParameters(info.keyAlgorithm));

    const std::string wrapped = testsupport::WorkDir() + "/p7edge-wrapped", unwrapped = wrapped + ".key";
    ASSERT_TRUE(testsupport::WriteFile(wrapped, info.encryptedKey.pointer, info.encryptedKey.length));
    ASSERT_EQ(testsupport::openssl_cli::Run("pkeyutl -decrypt -inkey " + Pki("signer2.key.pem") + " -in " + wrapped +
                                            " -out " + unwrapped),
              0);
    EXPECT_EQ(testsupport::ReadFile(unwrapped), key);

    // Not a certificate, or a key too long for a 1024-bit modulus.
    Bytes damaged(certificate.begin(), certificate.begin() + 40);
    EXPECT_EQ(EncodeRecipientInfo(damaged.data(), damaged.size(), key.data(), key.size(), &cursor), 0u);
    const Bytes longKey(118, 1);
    EXPECT_EQ(EncodeRecipientInfo(certificate.data(), certificate.size(), longKey.data(), longKey.size(), &cursor),
              0u);
}

TEST_F(Pkcs7EncodeEdges, EncryptSignerInfosSealsEachDigestUnderANewKey)
{
    testsupport::pkcs7::AddSigner(&slots.sets, "signer");
    ASSERT_EQ(Encode(kOperationSign, Bytes(10, 1), kPkcs7FlagAttributes), Pkcs7Result::Done);
    const Bytes message = Output();
    ByteBuffer oid;
    std::vector<Element> body, signerInfos;
    ASSERT_TRUE(testsupport::pkcs7::WrappedBody(message, &oid, &body));
    ASSERT_TRUE(testsupport::pkcs7::Children(body[4].whole, &signerInfos));
    Bytes original = Of(signerInfos[0].whole);
    Pkcs7SignerInfo before;
    ASSERT_TRUE(ReadPkcs7SignerInfo(View(original), &before));

    EXPECT_EQ(EncryptSignerInfos(3, &slots.sets, nullptr, kCipherDes), Pkcs7Result::BadStructure);
    for (int cipher : {kCipherDes, kCipherRc4, kCipherTripleDes}) {
        SCOPED_TRACE(cipher);
        ClearDataSet(&slots.sets, kSlotSignerInfos);
        AddDataItem(&slots.sets, kSlotSignerInfos, original.data(), original.size());
        AddDataItem(&slots.sets, kSlotSignerInfos, original.data(), original.size());
        ASSERT_EQ(EncryptSignerInfos(kSignerInfosEncrypt, &slots.sets, nullptr, cipher), Pkcs7Result::Done);
        ASSERT_EQ(slots.Count(kSlotContentKey), 2u);
        const Bytes key = slots.Item(kSlotContentKey, 1), iv = slots.Item(kSlotContentKey, 2);
        ASSERT_EQ(key.size(), cipher == kCipherTripleDes ? 24u : 8u);
        ASSERT_EQ(slots.Count(kSlotSignerInfos), 2u);
        Bytes rewritten = slots.Item(kSlotSignerInfos, 2);
        Pkcs7SignerInfo after;
        ASSERT_TRUE(ReadPkcs7SignerInfo(View(rewritten), &after));
        EXPECT_EQ(Of(after.signedAttributes), Of(before.signedAttributes));
        EXPECT_EQ(Of(after.signer.issuer), Of(before.signer.issuer));

        Bytes plain(after.signatureValue.length);
        ASSERT_EQ(plain.size(), 264u);
        if (cipher == kCipherTripleDes) {
            Des3CbcContext context;
            InitDes3Cbc(&context, key.data(), iv.data(), 0);
            ASSERT_EQ(UpdateDes3Cbc(&context, plain.data(), after.signatureValue.pointer, plain.size()), 0);
        } else {
            DesCbcContext context;
            InitDesCbc(&context, key.data(), iv.data(), 0);
            ASSERT_EQ(UpdateDesCbc(&context, plain.data(), after.signatureValue.pointer, plain.size()), 0);
        }
        EXPECT_EQ(Bytes(plain.end() - 8, plain.end()), Bytes(8, 8));
        plain.resize(256);
        EXPECT_EQ(plain, Of(before.signatureValue));
    }
}

TEST_F(Pkcs7EncodeEdges, BufferEntryPointsCheckEachDerInputAgainstItsLength)
{
    Bytes certificate = testsupport::ReadFile(Pki("signer.cert.der"));
    Bytes key = testsupport::ReadFile(Pki("signer.key.p8e.der"));
    Bytes recipient = testsupport::ReadFile(Pki("recipient.cert.der"));
    const Bytes content(30, 7);
    ASSERT_TRUE(testsupport::WriteFile(Path("in"), content.data(), content.size()));
    auto encode = [&](Pkcs7DerInput c, Pkcs7DerInput k, Pkcs7DerInput r, int operation) {
        FileStream in(Path("in")), out(Path("out"));
        return EncodePKCS7FromBuffers(in.get(), out.get(), c, k, "tavomir", r, operation, &slots.sets);
    };
    const Pkcs7DerInput good{certificate.data(), certificate.size()}, goodKey{key.data(), key.size()},
        goodRecipient{recipient.data(), recipient.size()};
    const Bytes notDer{0x04, 0x01, 0x00};
    const Pkcs7DerInput bad{notDer.data(), notDer.size()};
    const Pkcs7DerInput cut{certificate.data(), certificate.size() - 1};
    EXPECT_EQ(encode(bad, goodKey, goodRecipient, kOperationSign), Pkcs7Result::CertificateUnusable);
    EXPECT_EQ(encode(cut, goodKey, goodRecipient, kOperationSign), Pkcs7Result::CertificateUnusable);
    EXPECT_EQ(encode(good, bad, goodRecipient, kOperationSign), Pkcs7Result::KeyUnusable);
    EXPECT_EQ(encode(good, goodKey, bad, kOperationSignAndEnvelope), Pkcs7Result::CAUnusable);

    // Bytes after the element are not taken for it.
    certificate.push_back(0xFF);
    ASSERT_EQ(encode(Pkcs7DerInput{certificate.data(), certificate.size()}, goodKey, goodRecipient, kOperationSign),
              Pkcs7Result::Done);
    EXPECT_EQ(testsupport::openssl_cli::Run("cms -verify -binary -inform DER -in " + Path("out") + " -CAfile " +
                                            Pki("ca.cert.pem") + " -out " + Path("verified")),
              0);
    EXPECT_EQ(encode(Pkcs7DerInput{nullptr, 0}, Pkcs7DerInput{nullptr, 0}, goodRecipient, kOperationEnvelope),
              Pkcs7Result::Done);
}

TEST_F(Pkcs7EncodeEdges, OwnCredentialsSignAStream)
{
    slots.LoadOwn("signer");
    const Bytes content(100, 9);
    ASSERT_TRUE(testsupport::WriteFile(Path("in"), content.data(), content.size()));
    {
        FileStream in(Path("in")), out(Path("own"));
        EXPECT_EQ(SignStreamWithCredentials(in.get(), out.get(), &slots.sets), 1);
    }
    EXPECT_EQ(testsupport::openssl_cli::Run("cms -verify -binary -inform DER -in " + Path("own") + " -CAfile " +
                                            Pki("ca.cert.pem") + " -out " + Path("own.out")),
              0);
    EXPECT_EQ(testsupport::ReadFile(Path("own.out")), content);
    // An empty content, or none, is no success.
    ASSERT_TRUE(testsupport::WriteFile(Path("empty"), content.data(), 0));
    FileStream empty(Path("empty")), out(Path("own")), missing(Path("missing"));
    EXPECT_EQ(SignStreamWithCredentials(empty.get(), out.get(), &slots.sets), 0);
    EXPECT_EQ(SignStreamWithCredentials(missing.get(), out.get(), &slots.sets), 0);
}

}  // namespace
