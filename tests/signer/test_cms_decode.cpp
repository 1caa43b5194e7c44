// The streamed PKCS#7 decoder: messages made by the host's OpenSSL (signed
// with and without attributes, SHA-1, SHA-256 and MD5, attached and
// detached, definite and indefinite lengths; enveloped with RC4 and triple
// DES) and by our own encoders, fed in blocks of any size; tampered,
// truncated and hostile input.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "signer/cms/cms_decode.h"
#include "signer/cms/cms_stream.h"
#include "tests/support/test_cert_util.h"
#include "tests/support/cms_decode_util.h"

namespace {

using namespace testsupport;
using namespace testsupport::cms;

const char* const kIdData = "1.2.840.113549.1.7.1";
const std::size_t kSizes[] = {0, 1, 8191, 8192, 8193, 65543};
const std::size_t kBlocks[] = {1, 7, 8192};

Bytes BigEndian(const CRYPT_INTEGER_BLOB& blob)
{
    Bytes out(blob.pbData, blob.pbData + blob.cbData);
    std::reverse(out.begin(), out.end());
    return out;
}

std::size_t FindLast(const Bytes& bytes, const Bytes& needle)
{
    auto at = std::find_end(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    return at == bytes.end() ? std::string::npos : static_cast<std::size_t>(at - bytes.begin());
}

// OpenSSL 3.0 streams no empty content but through triple DES ("Error
// writing CMS output"); the forms without -stream cover empty content.
bool OpenSslWrites(const char* options, std::size_t size)
{
    return size > 0 || !std::strstr(options, "-stream") || std::strstr(options, "-des3");
}

// Decodes a signed message in blocks; detached, the content follows in the
// same blocks. Checks what every signed message must give.
void DecodeSigned(const Bytes& message, bool detached, const Bytes& content, std::size_t block, const Bytes& signer)
{
    SCOPED_TRACE("block " + std::to_string(block));
    Collected out;
    TCmsDecoder decoder;
    ASSERT_TRUE(decoder.Open(detached, To(out)));
    ASSERT_TRUE(Feed(decoder, message, block)) << std::hex << GetLastError();
    if (detached) {
        ASSERT_TRUE(Feed(decoder, content, block)) << std::hex << GetLastError();
        EXPECT_TRUE(out.content.empty());
        EXPECT_EQ(out.finals, 0);
    } else {
        EXPECT_TRUE(out.content == content) << "delivered " << out.content.size() << " of " << content.size();
        EXPECT_EQ(out.finals, 1);
        EXPECT_FALSE(out.afterFinal);
    }
    DWORD type = 0;
    ASSERT_TRUE(decoder.GetMessageType(&type));
    EXPECT_EQ(type, static_cast<DWORD>(kCmsSignedData));
    std::string inner;
    ASSERT_TRUE(decoder.GetInnerContentType(inner));
    EXPECT_EQ(inner, kIdData);
    Bytes found;
    EXPECT_EQ(VerifyAsDriver(decoder, &found), 0u);
    EXPECT_EQ(found, signer);
}

struct SignedCase {
    const char* name;
    const char* options;
    bool detached;
};

class CmsDecode : public DecoderTest {};

TEST_F(CmsDecode, SignedByOpenSslInBlocksOfAnySize)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    const SignedCase cases[] = {
        {"attributes, SHA-256 (the default)", "-nodetach", false},
        {"no attributes, SHA-1", "-nodetach -noattr -md sha1", false},
        {"attributes, SHA-1, indefinite lengths", "-nodetach -md sha1 -stream", false},
        {"no attributes, indefinite lengths", "-nodetach -noattr -stream", false},
        {"attributes, MD5", "-nodetach -md md5", false},
        {"detached, attributes", "", true},
        {"detached, no attributes, SHA-1", "-noattr -md sha1", true},
        {"detached, SHA-1, indefinite lengths", "-md sha1 -stream", true},
        {"detached, no attributes, indefinite lengths", "-noattr -stream", true},
    };
    int row = 0;
    for (const SignedCase& c : cases) {
        SCOPED_TRACE(c.name);
        ++row;
        for (std::size_t size : kSizes) {
            SCOPED_TRACE("content " + std::to_string(size));
            if (!OpenSslWrites(c.options, size)) continue;
            std::string tag = "s" + std::to_string(row) + "-" + std::to_string(size);
            Bytes content = Content(size);
            ASSERT_TRUE(testsupport::WriteFile(Work(tag + ".bin"), content.data(), content.size()));
            Bytes message = OpenSslSigned(Work(tag + ".bin"), std::string(c.options) + SignerArgs("signer"), tag);
            ASSERT_FALSE(message.empty());
            for (std::size_t block : kBlocks)
                ASSERT_NO_FATAL_FAILURE(DecodeSigned(message, c.detached, content, block, SignerDer()));
        }
    }
}

// Another certificate's key does not verify the signature; hashing on the
// caller's provider (the verifying driver's PROV_RSA_FULL context) or on
// the decoder's own gives the same answers.
TEST_F(CmsDecode, OtherCertificateDoesNotVerify)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(300);
    ASSERT_TRUE(testsupport::WriteFile(Work("other.bin"), content.data(), content.size()));
    TCryptProvider full;
    ASSERT_TRUE(CryptAcquireContextA(full.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    for (const char* options : {"-nodetach", "-nodetach -noattr -md sha1"}) {
        SCOPED_TRACE(options);
        Bytes message = OpenSslSigned(Work("other.bin"), std::string(options) + SignerArgs("signer"), "other");
        for (HCRYPTPROV provider : {HCRYPTPROV{0}, full.Get()}) {
            TCmsDecoder decoder;
            ASSERT_TRUE(decoder.Open(false, CmsOutput{}, provider));
            ASSERT_TRUE(Feed(decoder, message, 8192));
            EXPECT_FALSE(decoder.VerifySignature(recipient_.Get()->pCertInfo));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_SIGNATURE));
            EXPECT_TRUE(decoder.VerifySignature(certificate_.Get()->pCertInfo)) << std::hex << GetLastError();
        }
    }
}

// Two signers, with serial numbers of 20 bytes and with the top bit set,
// and a further certificate: signer 0 is the one identified and verified.
TEST_F(CmsDecode, SignerZeroOfTwoCounts)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(5000);
    ASSERT_TRUE(testsupport::WriteFile(Work("two.bin"), content.data(), content.size()));
    Bytes signer2 = testsupport::ReadFile(Pki("signer2.cert.der"));
    Bytes revoked = testsupport::ReadFile(Pki("revoked.cert.der"));
    Bytes ca = testsupport::ReadFile(Pki("ca.cert.der"));
    for (const char* options : {"-nodetach", "-nodetach -noattr -md sha1 -stream"}) {
        SCOPED_TRACE(options);
        Bytes message = OpenSslSigned(Work("two.bin"),
                                      std::string(options) + SignerArgs("signer2") + SignerArgs("revoked") +
                                          " -certfile " + Pki("ca.cert.pem"),
                                      "two");
        Collected out;
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, To(out)));
        ASSERT_TRUE(Feed(decoder, message, 7)) << std::hex << GetLastError();
        EXPECT_EQ(out.content, content);

        std::vector<Bytes> carried = decoder.Certificates();
        std::sort(carried.begin(), carried.end());
        std::vector<Bytes> expected = {signer2, revoked, ca};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(carried, expected);
        TCertStore store;
        ASSERT_TRUE(decoder.OpenCertificateStore(store));
        int inStore = 0;
        for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store.Get(), c)) != nullptr;) ++inStore;
        EXPECT_EQ(inStore, 3);

        Bytes found;
        ASSERT_EQ(VerifyAsDriver(decoder, &found), 0u);
        ASSERT_TRUE(found == signer2 || found == revoked);
        TCertContext other = Certificate(found == signer2 ? revoked : signer2);
        ASSERT_TRUE(other);
        EXPECT_FALSE(decoder.VerifySignature(other.Get()->pCertInfo));
        // Signer 0 is the first of the set: each serial number stands last in
        // its signer's identifier, after the certificates.
        const CERT_INFO* id = nullptr;
        ASSERT_TRUE(decoder.GetSignerCertInfo(&id));
        TCertContext zero = Certificate(found);
        EXPECT_TRUE(CertCompareCertificate(kMessageEncoding, zero.Get()->pCertInfo, const_cast<CERT_INFO*>(id)));
        const CRYPT_INTEGER_BLOB& otherSerial = other.Get()->pCertInfo->SerialNumber;
        EXPECT_LT(FindLast(message, BigEndian(id->SerialNumber)), FindLast(message, BigEndian(otherSerial)));
    }
}

struct EnvelopeCase {
    const char* name;
    const char* options;
    const char* recipient;
};

TEST_F(CmsDecode, EnvelopedByOpenSslDecryptAfterFeeding)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    const EnvelopeCase cases[] = {
        {"RC4 for the recipient", "-rc4 -provider legacy -provider default", "recipient"},
        {"RC4 for the signer, indefinite lengths", "-rc4 -provider legacy -provider default -stream", "signer"},
        {"triple DES for the recipient, indefinite lengths", "-des3 -stream", "recipient"},
        {"triple DES for the signer", "-des3", "signer"},
    };
    int row = 0;
    for (const EnvelopeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ++row;
        PCCERT_CONTEXT mine = CertOf(c.recipient);
        PCCERT_CONTEXT theirs = CertOf(std::string(c.recipient) == "signer" ? "recipient" : "signer");
        const TCertPrivateKey& key = KeyOf(c.recipient);
        for (std::size_t size : kSizes) {
            SCOPED_TRACE("content " + std::to_string(size));
            if (!OpenSslWrites(c.options, size)) continue;
            std::string tag = "e" + std::to_string(row) + "-" + std::to_string(size);
            Bytes content = Content(size);
            ASSERT_TRUE(testsupport::WriteFile(Work(tag + ".bin"), content.data(), content.size()));
            Bytes message = OpenSslEnveloped(Work(tag + ".bin"), c.options, c.recipient, tag);
            ASSERT_FALSE(message.empty());
            for (std::size_t block : kBlocks) {
                SCOPED_TRACE("block " + std::to_string(block));
                Collected out;
                TCmsDecoder decoder;
                ASSERT_TRUE(decoder.Open(false, To(out), key.Provider()));
                ASSERT_TRUE(Feed(decoder, message, block)) << std::hex << GetLastError();
                EXPECT_TRUE(out.content.empty());
                DWORD type = 0;
                ASSERT_TRUE(decoder.GetMessageType(&type));
                EXPECT_EQ(type, static_cast<DWORD>(kCmsEnvelopedData));
                std::string inner;
                ASSERT_TRUE(decoder.GetInnerContentType(inner));
                EXPECT_EQ(inner, kIdData);
                const CERT_INFO* id = nullptr;
                ASSERT_TRUE(decoder.GetRecipientInfo(&id));
                EXPECT_TRUE(CertCompareCertificate(kMessageEncoding, mine->pCertInfo, const_cast<CERT_INFO*>(id)));
                EXPECT_FALSE(CertCompareCertificate(kMessageEncoding, theirs->pCertInfo, const_cast<CERT_INFO*>(id)));
                EXPECT_TRUE(decoder.Certificates().empty());
                // Ciphertext waits in memory up to 64 KiB, beyond that in a
                // file. Triple DES pads even empty content to a block.
                const std::size_t cipher = std::strstr(c.options, "des3") ? (size / 8 + 1) * 8 : size;
                EXPECT_EQ(SpillFiles(), cipher > 64 * 1024 ? 1 : 0);
                ASSERT_TRUE(decoder.Decrypt(key.Provider(), key.KeySpec())) << std::hex << GetLastError();
                EXPECT_TRUE(out.content == content) << "delivered " << out.content.size() << " of " << size;
                EXPECT_EQ(out.finals, 1);
                EXPECT_FALSE(out.afterFinal);
                EXPECT_EQ(SpillFiles(), 0);
            }
        }
    }
}

// Decryption asked for as soon as the header has passed: the content comes
// out while the ciphertext is fed, and nothing waits on disk.
TEST_F(CmsDecode, DecryptRequestedWhileFeedingStreams)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(65543);
    ASSERT_TRUE(testsupport::WriteFile(Work("early.bin"), content.data(), content.size()));
    for (const char* options : {"-des3 -stream", "-rc4 -provider legacy -provider default"}) {
        SCOPED_TRACE(options);
        Bytes message = OpenSslEnveloped(Work("early.bin"), options, "recipient", "early");
        ASSERT_FALSE(message.empty());
        Collected out;
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, To(out)));
        EXPECT_FALSE(decoder.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_STREAM_MSG_NOT_READY));
        const std::size_t block = 7;
        std::size_t at = 0;
        std::size_t decryptedAt = 0;
        bool halfway = false;
        while (at < message.size()) {
            std::size_t n = std::min(block, message.size() - at);
            ASSERT_TRUE(decoder.Update(message.data() + at, n, at + n == message.size())) << std::hex << GetLastError();
            at += n;
            if (!decryptedAt) {
                if (decoder.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec())) {
                    decryptedAt = at;
                    EXPECT_EQ(SpillFiles(), 0);
                } else {
                    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_STREAM_MSG_NOT_READY));
                }
            }
            if (!halfway && at >= message.size() / 2) {
                halfway = true;
                EXPECT_GT(out.content.size(), 20000u);
            }
        }
        ASSERT_GT(decryptedAt, 0u);
        EXPECT_LT(decryptedAt, 400u);  // right after the recipient and the algorithm
        EXPECT_EQ(out.content, content);
        EXPECT_EQ(out.finals, 1);
        EXPECT_EQ(SpillFiles(), 0);
        EXPECT_FALSE(decoder.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_ALREADY_DECRYPTED));
    }
}

// The ciphertext that waits for decryption is on disk only as long as it
// waits, whatever becomes of the decoder.
TEST_F(CmsDecode, WaitingCiphertextFileIsDeletedOnEveryPath)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(200000);  // more than waits in memory, even half of it
    ASSERT_TRUE(testsupport::WriteFile(Work("spill.bin"), content.data(), content.size()));
    Bytes message = OpenSslEnveloped(Work("spill.bin"), "-des3", "recipient", "spill");
    ASSERT_EQ(SpillFiles(), 0);
    {
        TCmsDecoder decoder;  // never decrypted
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, message, 8192));
        EXPECT_EQ(SpillFiles(), 1);
    }
    EXPECT_EQ(SpillFiles(), 0);
    {
        TCmsDecoder decoder;  // a key that does not unwrap
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, message, 8192));
        EXPECT_FALSE(decoder.Decrypt(signerKey_.Provider(), signerKey_.KeySpec()));
        EXPECT_EQ(SpillFiles(), 1);
    }
    EXPECT_EQ(SpillFiles(), 0);
    {
        TCmsDecoder decoder;  // fed in part, then forgotten by a new Open
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(decoder.Update(message.data(), message.size() / 2, false));
        EXPECT_EQ(SpillFiles(), 1);
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        EXPECT_EQ(SpillFiles(), 0);
    }
    {
        Collected out;  // the output refuses part-way
        out.refuseAfter = 1;
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, To(out)));
        ASSERT_TRUE(Feed(decoder, message, 8192));
        EXPECT_FALSE(decoder.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
        EXPECT_FALSE(decoder.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec()));  // stays failed
    }
    EXPECT_EQ(SpillFiles(), 0);
}

// A key that does not unwrap fails and leaves the decoder to the right one.
TEST_F(CmsDecode, WrongKeyFailsThenTheRightOneDecrypts)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(1000);
    ASSERT_TRUE(testsupport::WriteFile(Work("wrong.bin"), content.data(), content.size()));
    for (const char* options : {"-des3", "-rc4 -provider legacy -provider default -stream"}) {
        SCOPED_TRACE(options);
        Bytes message = OpenSslEnveloped(Work("wrong.bin"), options, "recipient", "wrong");
        Collected out;
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, To(out)));
        ASSERT_TRUE(Feed(decoder, message, 8192));
        EXPECT_FALSE(decoder.Decrypt(signerKey_.Provider(), signerKey_.KeySpec()));
        EXPECT_NE(GetLastError(), 0u);
        EXPECT_TRUE(out.content.empty());
        ASSERT_TRUE(decoder.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec())) << std::hex << GetLastError();
        EXPECT_EQ(out.content, content);
    }
}

// A flipped bit anywhere outside the carried certificate fails the decoding,
// the signer's lookup or the signature.
TEST_F(CmsDecode, AnyFlippedBitFailsVerification)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(40);
    ASSERT_TRUE(testsupport::WriteFile(Work("flip.bin"), content.data(), content.size()));
    const Bytes signer = SignerDer();
    for (const char* options : {"-nodetach", "-nodetach -noattr -md sha1 -stream"}) {
        SCOPED_TRACE(options);
        Bytes message = OpenSslSigned(Work("flip.bin"), std::string(options) + SignerArgs("signer"), "flip");
        std::size_t certificate = Find(message, signer);
        ASSERT_NE(certificate, std::string::npos);
        {
            TCmsDecoder decoder;
            ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
            ASSERT_TRUE(Feed(decoder, message, message.size()));
            ASSERT_EQ(VerifyAsDriver(decoder), 0u);
        }
        for (std::size_t at = 0; at < message.size(); ++at) {
            if (at >= certificate && at < certificate + signer.size()) continue;
            Bytes flipped = message;
            flipped[at] ^= 0x01;
            TCmsDecoder decoder;
            ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
            bool fed = Feed(decoder, flipped, flipped.size());
            EXPECT_TRUE(!fed || VerifyAsDriver(decoder) != 0) << "flipped byte " << at << " of " << message.size();
        }
    }
}

// Tampered content, signature and attributes, with the failure each gives.
TEST_F(CmsDecode, TamperedPartsFailWithTheirReason)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(3000);
    ASSERT_TRUE(testsupport::WriteFile(Work("tamper.bin"), content.data(), content.size()));
    Bytes withAttributes = OpenSslSigned(Work("tamper.bin"), "-nodetach" + SignerArgs("signer"), "tamper-a");
    Bytes without = OpenSslSigned(Work("tamper.bin"), "-nodetach -noattr" + SignerArgs("signer"), "tamper-n");
    Bytes detached = OpenSslSigned(Work("tamper.bin"), SignerArgs("signer"), "tamper-d");
    const Bytes signingTime = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};
    const Bytes messageDigest = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
    Bytes middle(content.begin() + 1000, content.begin() + 1016);
    struct Case {
        const char* name;
        const Bytes* message;
        std::size_t at;
        DWORD expected;
    } cases[] = {
        {"content, attributes", &withAttributes, Find(withAttributes, middle), static_cast<DWORD>(CRYPT_E_HASH_VALUE)},
        {"content, no attributes", &without, Find(without, middle), static_cast<DWORD>(NTE_BAD_SIGNATURE)},
        {"signature, attributes", &withAttributes, withAttributes.size() - 1, static_cast<DWORD>(NTE_BAD_SIGNATURE)},
        {"signature, no attributes", &without, without.size() - 1, static_cast<DWORD>(NTE_BAD_SIGNATURE)},
        // The last digit of the UTCTime after the identifier and the SET header.
        {"signing time", &withAttributes, Find(withAttributes, signingTime) + signingTime.size() + 2 + 13,
         static_cast<DWORD>(NTE_BAD_SIGNATURE)},
        // The digest's last byte: SET and OCTET STRING headers, 32 bytes.
        {"message digest", &withAttributes, Find(withAttributes, messageDigest) + messageDigest.size() + 4 + 31,
         static_cast<DWORD>(CRYPT_E_HASH_VALUE)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.at, c.message->size());
        Bytes tampered = *c.message;
        tampered[c.at] ^= 0x01;
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, tampered, 8192)) << std::hex << GetLastError();
        EXPECT_EQ(VerifyAsDriver(decoder), c.expected);
    }
    // Detached: other content than the signed one.
    Bytes other = content;
    other[2999] ^= 0x80;
    TCmsDecoder decoder;
    ASSERT_TRUE(decoder.Open(true, CmsOutput{}));
    ASSERT_TRUE(Feed(decoder, detached, detached.size()));
    ASSERT_TRUE(Feed(decoder, other, 8192));
    EXPECT_EQ(VerifyAsDriver(decoder), static_cast<DWORD>(CRYPT_E_HASH_VALUE));
}

// Every prefix of a message, fed as the whole message, fails as truncated.
TEST_F(CmsDecode, TruncatedMessagesFail)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(200);
    ASSERT_TRUE(testsupport::WriteFile(Work("cut.bin"), content.data(), content.size()));
    struct Case {
        const char* name;
        Bytes message;
        bool detached;
    } cases[] = {
        {"signed, definite", OpenSslSigned(Work("cut.bin"), "-nodetach" + SignerArgs("signer"), "cut-a"), false},
        {"signed, indefinite", OpenSslSigned(Work("cut.bin"), "-nodetach -stream" + SignerArgs("signer"), "cut-s"),
         false},
        {"detached", OpenSslSigned(Work("cut.bin"), "-noattr" + SignerArgs("signer"), "cut-d"), true},
        {"enveloped, indefinite", OpenSslEnveloped(Work("cut.bin"), "-des3 -stream", "recipient", "cut-e"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.message.empty());
        for (std::size_t length = 0; length < c.message.size(); ++length) {
            Bytes prefix(c.message.begin(), c.message.begin() + static_cast<std::ptrdiff_t>(length));
            for (std::size_t block : {prefix.size() + 1, std::size_t{7}}) {
                TCmsDecoder decoder;
                ASSERT_TRUE(decoder.Open(c.detached, CmsOutput{}));
                EXPECT_FALSE(Feed(decoder, prefix, block)) << length;
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_ASN1_EOD)) << length;
                EXPECT_FALSE(decoder.VerifySignature(certificate_.Get()->pCertInfo));
            }
        }
    }
}

// What our own encoders write decodes, verifies and decrypts.
TEST_F(CmsDecode, OwnEncodersMessagesDecode)
{
    CmsSigner signer;
    signer.certificate = certificate_.Get();
    signer.provider = signerKey_.Provider();
    signer.keySpec = signerKey_.KeySpec();
    for (std::size_t size : kSizes) {
        SCOPED_TRACE("content " + std::to_string(size));
        Bytes content = Content(size);
        for (bool detached : {false, true}) {
            SCOPED_TRACE(detached ? "detached" : "attached");
            Collected encoded;
            TCmsSignEncoder encoder;
            ASSERT_TRUE(encoder.Open(signer, detached, size, To(encoded)));
            ASSERT_TRUE(encoder.Update(content.data(), content.size(), true));
            for (std::size_t block : kBlocks) {
                ASSERT_NO_FATAL_FAILURE(DecodeSigned(encoded.content, detached, content, block, SignerDer()));
            }
        }
        Collected enveloped;
        TCmsEnvelopeEncoder envelope;
        ASSERT_TRUE(envelope.Open(certificate_.Get(), signerKey_.Provider(), size, To(enveloped)));
        ASSERT_TRUE(envelope.Update(content.data(), content.size(), true));
        for (std::size_t block : kBlocks) {
            SCOPED_TRACE("block " + std::to_string(block));
            Collected out;
            TCmsDecoder decoder;
            ASSERT_TRUE(decoder.Open(false, To(out)));
            ASSERT_TRUE(Feed(decoder, enveloped.content, block)) << std::hex << GetLastError();
            const CERT_INFO* id = nullptr;
            ASSERT_TRUE(decoder.GetRecipientInfo(&id));
            EXPECT_TRUE(CertCompareCertificate(kMessageEncoding, certificate_.Get()->pCertInfo, const_cast<CERT_INFO*>(id)));
            ASSERT_TRUE(decoder.Decrypt(signerKey_.Provider(), signerKey_.KeySpec())) << std::hex << GetLastError();
            EXPECT_TRUE(out.content == content);
        }
    }
}

// Removes `count` bytes at `at`, shortening every definite length that
// encloses them (each keeps its length form); false when one cannot.
bool CutInside(Bytes& der, std::size_t at, std::size_t count)
{
    std::size_t pos = 0, end = der.size();
    while (pos < end) {
        if (end - pos < 2) return false;
        const unsigned char tag = der[pos++];
        const std::size_t lengthAt = pos;
        std::size_t length = der[pos++], lengthBytes = 0;
        if (length & 0x80) {
            lengthBytes = length & 0x7F;
            if (lengthBytes == 0 || lengthBytes > 4 || end - pos < lengthBytes) return false;
            length = 0;
            for (std::size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | der[pos++];
        }
        if (end - pos < length) return false;
        const std::size_t contentEnd = pos + length;
        if (at >= pos && at < contentEnd) {
            if (!(tag & 0x20) || length < count) return false;
            std::size_t shorter = length - count;
            if (lengthBytes == 0) {
                der[lengthAt] = static_cast<unsigned char>(shorter);
            } else {
                for (std::size_t i = lengthBytes; i > 0; --i, shorter >>= 8)
                    der[lengthAt + i] = static_cast<unsigned char>(shorter & 0xFF);
            }
            end = contentEnd;  // and look inside
            continue;
        }
        pos = contentEnd;
    }
    der.erase(der.begin() + static_cast<std::ptrdiff_t>(at), der.begin() + static_cast<std::ptrdiff_t>(at + count));
    return true;
}

// RC4 parameters as our encoder writes them (an empty OCTET STRING), NULL
// (as Windows writes them) or absent all decrypt.
TEST_F(CmsDecode, Rc4ParametersOfEveryFormDecrypt)
{
    Bytes content = Content(1000);
    Collected enveloped;
    TCmsEnvelopeEncoder envelope;
    ASSERT_TRUE(envelope.Open(certificate_.Get(), signerKey_.Provider(), content.size(), To(enveloped)));
    ASSERT_TRUE(envelope.Update(content.data(), content.size(), true));
    const Bytes rc4 = {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x04};
    const std::size_t oid = FindLast(enveloped.content, rc4);
    ASSERT_NE(oid, std::string::npos);
    const std::size_t parameters = oid + rc4.size();
    ASSERT_EQ(Bytes(enveloped.content.begin() + parameters, enveloped.content.begin() + parameters + 2),
              (Bytes{0x04, 0x00}));

    Bytes asNull = enveloped.content;
    asNull[parameters] = 0x05;
    Bytes absent = enveloped.content;
    ASSERT_TRUE(CutInside(absent, parameters, 2));
    const struct {
        const char* form;
        const Bytes& message;
    } cases[] = {{"empty OCTET STRING", enveloped.content}, {"NULL", asNull}, {"absent", absent}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        Collected out;
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, To(out)));
        ASSERT_TRUE(Feed(decoder, c.message, 7)) << std::hex << GetLastError();
        ASSERT_TRUE(decoder.Decrypt(signerKey_.Provider(), signerKey_.KeySpec())) << std::hex << GetLastError();
        EXPECT_TRUE(out.content == content);
    }
}

// The "FE" road back: the envelope opened, then the signed message in it
// verified, each decoder fed from the other's output.
TEST_F(CmsDecode, EnvelopedSignedMessageOpensAndVerifies)
{
    CmsSigner signer;
    signer.certificate = certificate_.Get();
    signer.provider = signerKey_.Provider();
    signer.keySpec = signerKey_.KeySpec();
    Bytes content = Content(30000);
    Collected signedMessage;
    TCmsSignEncoder sign;
    ASSERT_TRUE(sign.Open(signer, false, content.size(), To(signedMessage)));
    ASSERT_TRUE(sign.Update(content.data(), content.size(), true));
    Collected enveloped;
    TCmsEnvelopeEncoder envelope;
    ASSERT_TRUE(envelope.Open(recipient_.Get(), signerKey_.Provider(), signedMessage.content.size(), To(enveloped)));
    ASSERT_TRUE(envelope.Update(signedMessage.content.data(), signedMessage.content.size(), true));

    struct Chain {
        TCmsDecoder inner;
        Collected content;
        bool ok = true;
    } chain;
    ASSERT_TRUE(chain.inner.Open(false, To(chain.content)));
    auto toInner = [](void* argument, const unsigned char* data, std::size_t length, bool final) {
        Chain* c = static_cast<Chain*>(argument);
        c->ok = c->ok && c->inner.Update(data, length, final);
        return c->ok;
    };
    TCmsDecoder outer;
    ASSERT_TRUE(outer.Open(false, CmsOutput{toInner, &chain}));
    ASSERT_TRUE(Feed(outer, enveloped.content, 8192));
    ASSERT_TRUE(outer.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec())) << std::hex << GetLastError();
    EXPECT_TRUE(chain.ok);
    EXPECT_EQ(chain.content.content, content);
    EXPECT_EQ(VerifyAsDriver(chain.inner), 0u);
}

// DER pieces for hand-made messages.
using testsupport::cert::Cat;
using testsupport::cert::Tlv;

const Bytes kSignedOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const Bytes kEnvelopedOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x03};
const Bytes kDataOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const Bytes kVersion1 = {0x02, 0x01, 0x01};

Bytes ContentInfo(const Bytes& type, const Bytes& body) { return Tlv(0x30, Cat({type, Tlv(0xA0, body)})); }

// Signed data with no digest algorithms and (by default) no content;
// `middle` goes between the content information and the signer infos.
Bytes Signed(const Bytes& middle, const Bytes& signerInfos = Tlv(0x31, {}), const Bytes& version = kVersion1,
             const Bytes& encapsulated = Tlv(0x30, kDataOid))
{
    return ContentInfo(kSignedOid, Tlv(0x30, Cat({version, Tlv(0x31, {}), encapsulated, middle, signerInfos})));
}

Bytes Enveloped(const Bytes& version, const Bytes& recipientInfos, const Bytes& encrypted)
{
    return ContentInfo(kEnvelopedOid, Tlv(0x30, Cat({version, recipientInfos, encrypted})));
}

// The same with indefinite lengths around it, cut after `middle` and
// `signerInfos`: what an element announces is then checked against the cap,
// not against what encloses it.
Bytes SignedOpen(const Bytes& middle, const Bytes& signerInfos = {})
{
    return Cat({{0x30, 0x80}, kSignedOid, {0xA0, 0x80, 0x30, 0x80}, kVersion1, Tlv(0x31, {}), Tlv(0x30, kDataOid),
                middle, signerInfos});
}

Bytes Repeat(const Bytes& piece, int times)
{
    Bytes out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

TEST(CmsDecodeInput, MalformedAndHostileInputFailsCleanly)
{
    const Bytes open = {0x30, 0x80};
    const Bytes end = {0x00, 0x00};
    Bytes deep = Cat({{0xA1, 0x80}, Repeat(open, 40), Repeat(end, 41)});
    Bytes bigCertificate = {0xA0, 0x80, 0x30, 0x83, 0x01, 0x00, 0x00};  // 65536 bytes announced
    Bytes tooMany = Tlv(0xA0, Repeat({0x30, 0x00}, 1025));
    // 65 certificates of 65004 bytes: each within its cap, their sum past 4 MiB.
    Bytes tooLarge = Tlv(0xA0, Repeat(Tlv(0x30, Bytes(65000, 0)), 65));
    Bytes threeDes = {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x07};
    Bytes shortIv = Tlv(0x30, Cat({threeDes, Tlv(0x04, Bytes(7, 0x11))}));
    Bytes recipientInfos = Tlv(0x31, Tlv(0xA1, {}));  // a recipient of another kind
    struct Case {
        const char* name;
        Bytes input;
        HRESULT expected;
    } cases[] = {
        {"nothing", {}, CRYPT_E_ASN1_EOD},
        {"not a SEQUENCE", {0x31, 0x00}, CRYPT_E_ASN1_BADTAG},
        {"high tag number", {0x3F, 0x81, 0x01, 0x00}, CRYPT_E_ASN1_BADTAG},
        {"five length bytes", {0x30, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00}, CRYPT_E_ASN1_LARGE},
        {"data, not signed or enveloped", Tlv(0x30, kDataOid), CRYPT_E_INVALID_MSG_TYPE},
        {"indefinite primitive", {0x30, 0x80, 0x06, 0x80}, CRYPT_E_ASN1_CORRUPT},
        {"child beyond its parent", {0x30, 0x03, 0x06, 0x09, 0x2A}, CRYPT_E_ASN1_CORRUPT},
        {"indefinite element running past its definite parent", Cat({Signed({0xA1, 0x80}), {0x00, 0x00}}),
         CRYPT_E_ASN1_CORRUPT},
        {"end of contents in a definite element", {0x30, 0x02, 0x00, 0x00}, CRYPT_E_ASN1_CORRUPT},
        {"end of contents at the top", {0x00, 0x00}, CRYPT_E_ASN1_CORRUPT},
        {"bytes after the message", Cat({Signed({}), {0x00}}), CRYPT_E_MSG_ERROR},
        {"no signer infos", Signed({}, {}), CRYPT_E_ASN1_CORRUPT},
        {"version 2", Signed({}, Tlv(0x31, {}), {0x02, 0x01, 0x02}), CRYPT_E_ASN1_CORRUPT},
        {"empty encapsulated content information", Signed({}, Tlv(0x31, {}), kVersion1, Tlv(0x30, {})),
         CRYPT_E_ASN1_CORRUPT},
        {"encrypted content information without algorithm",
         Enveloped({0x02, 0x01, 0x00}, recipientInfos, Tlv(0x30, kDataOid)), CRYPT_E_ASN1_CORRUPT},
        {"content not an OCTET STRING",
         Signed({}, Tlv(0x31, {}), kVersion1, Tlv(0x30, Cat({kDataOid, Tlv(0xA0, Tlv(0x30, {}))}))),
         CRYPT_E_ASN1_BADTAG},
        {"nesting too deep", SignedOpen(deep), CRYPT_E_ASN1_LARGE},
        {"certificate beyond the cap", SignedOpen(bigCertificate), CRYPT_E_ASN1_LARGE},
        {"too many certificates", Signed(tooMany), CRYPT_E_ASN1_LARGE},
        {"certificates past their sum", Signed(tooLarge), CRYPT_E_ASN1_LARGE},
        {"signer info beyond the cap", SignedOpen({}, {0x31, 0x80, 0x30, 0x83, 0x01, 0x00, 0x01}), CRYPT_E_ASN1_LARGE},
        {"indefinite signer info", Signed({}, {0x31, 0x80, 0x30, 0x80, 0x00, 0x00, 0x00, 0x00}), CRYPT_E_ASN1_CORRUPT},
        {"malformed signer info", Signed({}, Tlv(0x31, Tlv(0x30, kVersion1))), CRYPT_E_ASN1_CORRUPT},
        {"triple DES with a short IV",
         Enveloped({0x02, 0x01, 0x00}, recipientInfos, Tlv(0x30, Cat({kDataOid, shortIv}))), CRYPT_E_ASN1_CORRUPT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t block : {c.input.size() + 1, std::size_t{1}}) {
            TCmsDecoder decoder;
            ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
            EXPECT_FALSE(Feed(decoder, c.input, block));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.expected)) << "block " << block;
            // Failed, it takes nothing more.
            EXPECT_FALSE(decoder.Update(nullptr, 0, true));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_MSG_ERROR));
        }
    }
}

// Hand-made messages that decode: what is asked of them then answers.
TEST(CmsDecodeInput, WellFormedOddMessagesAnswer)
{
    {
        SCOPED_TRACE("no signer, no content");
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, Signed({}), 3)) << std::hex << GetLastError();
        const CERT_INFO* id = nullptr;
        EXPECT_FALSE(decoder.GetSignerCertInfo(&id));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_INDEX));
        CERT_INFO none = {};
        EXPECT_FALSE(decoder.VerifySignature(&none));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_INDEX));
        EXPECT_FALSE(decoder.GetRecipientInfo(&id));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_MSG_TYPE));
    }
    {
        SCOPED_TRACE("CRLs and certificates of other formats are passed over");
        Bytes middle = Cat({Tlv(0xA0, Cat({Tlv(0xA1, {0x01}), {0xA2, 0x80, 0x30, 0x80, 0x00, 0x00, 0x00, 0x00}})),
                            {0xA1, 0x80, 0x30, 0x80, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}});
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, Signed(middle), 1)) << std::hex << GetLastError();
        EXPECT_TRUE(decoder.Certificates().empty());
    }
    {
        SCOPED_TRACE("a recipient of another kind");
        Bytes rc4 = Tlv(0x30, Bytes{0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x04});
        Bytes message = Enveloped({0x02, 0x01, 0x02}, Tlv(0x31, Tlv(0xA1, {})), Tlv(0x30, Cat({kDataOid, rc4})));
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, message, 8192)) << std::hex << GetLastError();
        const CERT_INFO* id = nullptr;
        EXPECT_FALSE(decoder.GetRecipientInfo(&id));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_RECIPIENT_NOT_FOUND));
        HCRYPTPROV provider = 0;
        ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
        EXPECT_FALSE(decoder.Decrypt(provider, AT_KEYEXCHANGE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_UNKNOWN_ALGO));
        CryptReleaseContext(provider, 0);
    }
}

TEST_F(CmsDecode, MisuseIsRefused)
{
    if (!testsupport::openssl::Available()) GTEST_SKIP() << "no " << testsupport::openssl::Path();
    Bytes content = Content(20000);
    ASSERT_TRUE(testsupport::WriteFile(Work("misuse.bin"), content.data(), content.size()));
    Bytes attached = OpenSslSigned(Work("misuse.bin"), "-nodetach" + SignerArgs("signer"), "misuse-a");
    Bytes detached = OpenSslSigned(Work("misuse.bin"), SignerArgs("signer"), "misuse-d");
    Bytes enveloped = OpenSslEnveloped(Work("misuse.bin"), "-des3", "recipient", "misuse-e");
    const CERT_INFO* signer = certificate_.Get()->pCertInfo;
    {
        TCmsDecoder decoder;
        EXPECT_FALSE(decoder.Update(attached.data(), attached.size(), true));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_MSG_ERROR));
        DWORD type = 0;
        EXPECT_FALSE(decoder.GetMessageType(&type));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_STREAM_MSG_NOT_READY));
    }
    {
        SCOPED_TRACE("signed data, attached");
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(decoder.Update(attached.data(), attached.size() - 1, false));
        EXPECT_FALSE(decoder.VerifySignature(signer));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_STREAM_MSG_NOT_READY));
        ASSERT_TRUE(decoder.Update(&attached.back(), 1, true));
        EXPECT_FALSE(decoder.Decrypt(recipientKey_.Provider(), recipientKey_.KeySpec()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_MSG_TYPE));
        EXPECT_FALSE(decoder.Update(attached.data(), 1, true));  // after the end
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_MSG_ERROR));
        EXPECT_TRUE(decoder.VerifySignature(signer)) << std::hex << GetLastError();
        EXPECT_TRUE(decoder.VerifySignature(signer)) << "twice";
    }
    {
        SCOPED_TRACE("detached");
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(true, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, detached, 100));
        EXPECT_FALSE(decoder.VerifySignature(signer));  // the content has not come yet
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_STREAM_MSG_NOT_READY));
        ASSERT_TRUE(Feed(decoder, content, 8192));
        EXPECT_TRUE(decoder.VerifySignature(signer)) << std::hex << GetLastError();

        TCmsDecoder envelope;
        ASSERT_TRUE(envelope.Open(true, CmsOutput{}));
        EXPECT_FALSE(Feed(envelope, enveloped, 8192));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_MSG_TYPE));
    }
    {
        SCOPED_TRACE("a detached signature opened as attached");
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, detached, 8192));
        EXPECT_FALSE(decoder.VerifySignature(signer));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    }
    {
        SCOPED_TRACE("enveloped data");
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, CmsOutput{}));
        ASSERT_TRUE(Feed(decoder, enveloped, 8192));
        EXPECT_FALSE(decoder.VerifySignature(signer));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_MSG_TYPE));
        const CERT_INFO* id = nullptr;
        EXPECT_FALSE(decoder.GetSignerCertInfo(&id));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_MSG_TYPE));
    }
    {
        SCOPED_TRACE("an output that refuses, and one that calls back in");
        Collected refusing;
        refusing.refuseAfter = 0;
        TCmsDecoder decoder;
        ASSERT_TRUE(decoder.Open(false, To(refusing)));
        EXPECT_FALSE(Feed(decoder, attached, 8192));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));

        Collected reentering;
        TCmsDecoder inner;
        int calls = 0, refused = 0;
        reentering.during = [&]() {
            ++calls;
            refused += !inner.Update(attached.data(), 1, false) && GetLastError() == ERROR_BUSY;
            refused += !inner.Open(false, CmsOutput{}) && GetLastError() == ERROR_BUSY;
            refused += !inner.VerifySignature(signer) && GetLastError() == ERROR_BUSY;
        };
        ASSERT_TRUE(inner.Open(false, To(reentering)));
        ASSERT_TRUE(Feed(inner, attached, 8192));
        EXPECT_GT(calls, 1);
        EXPECT_EQ(refused, 3 * calls);
        EXPECT_EQ(reentering.content, content);
        EXPECT_TRUE(inner.VerifySignature(signer)) << std::hex << GetLastError();
    }
}

}  // namespace
