// Messages assembled from the parts of openssl's. signedAndEnvelopedData,
// which openssl no longer makes: the recipients and encrypted content of an
// openssl envelopedData with the digests, certificates and SignerInfo of an
// openssl signedData of the same content, its encryptedDigest encrypted under
// the content key by `openssl enc`. An envelopedData without its IV.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/der_reader.h"
#include "core/pkcs7/pkcs7_decode.h"
#include "tests/support/pkcs7_engine_util.h"

namespace {

using namespace testsupport::pkcs7;

const Bytes& Content()
{
    static const Bytes content = Text("signed and enveloped content, in more than one DES block");
    return content;
}

Bytes Tlv(unsigned char identifier, const Bytes& content)
{
    Bytes out{identifier};
    const std::size_t n = content.size();
    if (n < 128) {
        out.push_back(static_cast<unsigned char>(n));
    } else if (n < 256) {
        out.insert(out.end(), {0x81, static_cast<unsigned char>(n)});
    } else {
        out.insert(out.end(), {0x82, static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// The whole elements of a ContentInfo's body, in order.
std::vector<Bytes> BodyElements(const Bytes& message)
{
    using namespace der_reader;
    DERCursor outer = Reader(message.data(), message.size()), info, wrapper, body;
    ByteBuffer oid;
    std::vector<Bytes> parts;
    if (!Enter(&outer, kTagSequence, &info) || !ReadView(&info, kTagObjectId, &oid) ||
        !Enter(&info, kTagContextConstructed, &wrapper) || !Enter(&wrapper, kTagSequence, &body))
        return parts;
    Element element;
    while (ReadAny(&body, &element))
        parts.emplace_back(element.whole.pointer, element.whole.pointer + element.whole.length);
    return parts;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Triple DES content: the digest under the content key. RC4 content (a
// 16-byte key): the digest under DES-CBC with the key's halves as key and IV.
struct Sealing {
    const char* name;
    const char* contentCipher;
    const char* digestCipher;
    int cipher;
};
const Sealing kSealings[] = {
    {"des3", "-des3", "des-ede3-cbc", kCipherTripleDes},
    {"rc4", "-rc4 -provider legacy -provider default", "des-cbc -provider legacy -provider default", kCipherRc4},
};

class Pkcs7DecodeSealed : public ::testing::TestWithParam<Sealing> {
protected:
    void SetUp() override
    {
        const Bytes enveloped = OpensslMessage(std::string("sealed-env-") + GetParam().name, Content(),
                                               std::string("cms -encrypt ") + GetParam().contentCipher,
                                               "PKI/recipient.cert.pem");
        const Bytes signedMessage = OpensslMessage(
            "sealed-sig", Content(), "cms -sign -nodetach -noattr -md sha1 -signer PKI/signer.cert.pem -inkey PKI/signer.key.pem");
        // The content key, as the decoder leaves it.
        Slots keys;
        keys.LoadOwn("recipient");
        InputStream in(enveloped);
        int status, inner, outer, cipher;
        ASSERT_EQ(DecodePKCS7Message(nullptr, &in.stream, nullptr, &status, kPkcs7TypeHintContentInfo, &inner, &outer,
                                     0, &keys.sets, nullptr, &cipher),
                  Pkcs7Result::Done);
        key = keys.Item(kSlotContentKey, 1);
        iv = keys.Item(kSlotContentKey, 2);

        const std::vector<Bytes> env = BodyElements(enveloped);     // version, recipients, content
        const std::vector<Bytes> sig = BodyElements(signedMessage);  // version, digests, content, certs, signers
        ASSERT_EQ(env.size(), 3u);
        ASSERT_EQ(sig.size(), 5u);
        // The one SignerInfo; its last 260 bytes are the 256-byte signature.
        using namespace der_reader;
        DERCursor set = Reader(sig[4].data(), sig[4].size()), signers;
        ASSERT_TRUE(Enter(&set, kTagSet, &signers));
        plainSignerInfo = Bytes(signers.buffer, signers.buffer + signers.size);
        const Bytes head(plainSignerInfo.begin(), plainSignerInfo.end() - 260);
        const Bytes signature(plainSignerInfo.end() - 256, plainSignerInfo.end());
        const std::string dir = testsupport::WorkDir();
        ASSERT_TRUE(testsupport::WriteFile(dir + "/p7-sealed.sig", signature.data(), signature.size()));
        ASSERT_EQ(testsupport::openssl_cli::Run(std::string("enc -") + GetParam().digestCipher + " -K " + testsupport::ToHex(key.data(), key.size()) +
                                                " -iv " + testsupport::ToHex(iv.data(), iv.size()) + " -in " + dir +
                                                "/p7-sealed.sig -out " + dir + "/p7-sealed.enc"),
                  0);
        const Bytes encrypted = testsupport::ReadFile(dir + "/p7-sealed.enc");
        // The SignerInfo's fields before the signature, then the encrypted one.
        const std::size_t headerSize = 4;
        const Bytes before(head.begin() + headerSize, head.end());
        sealedSignerInfo = Tlv(0x30, Concat({before, Tlv(0x04, encrypted)}));

        const Bytes oid = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x04};
        const Bytes body = Tlv(0x30, Concat({Bytes{0x02, 0x01, 0x01}, env[1], sig[1], env[2], sig[3],
                                             Tlv(0x31, sealedSignerInfo)}));
        message = Tlv(0x30, Concat({oid, Tlv(0xA0, body)}));
    }
    Bytes key, iv, plainSignerInfo, sealedSignerInfo, message;
};

TEST_P(Pkcs7DecodeSealed, OpensVerifiesAndGivesBackPlainSignerInfos)
{
    Slots slots;
    slots.LoadOwn("recipient");
    InputStream in(message);
    OutputStream out;
    int status = -1, inner = -1, outer = -1, cipher = -1;
    ASSERT_EQ(DecodePKCS7Message(&out.stream, &in.stream, nullptr, &status, kPkcs7TypeHintContentInfo, &inner, &outer,
                                 0, &slots.sets, nullptr, &cipher),
              Pkcs7Result::Done);
    EXPECT_EQ(status, kSignatureVerified);
    EXPECT_EQ(outer, kOuterSignedAndEnveloped);
    EXPECT_EQ(cipher, GetParam().cipher);
    EXPECT_EQ(out.Contents(), Content());
    EXPECT_EQ(slots.Item(kSlotSignerInfos, 1), sealedSignerInfo);
    // Made into a signedData's SignerInfo for re-encoding.
    ASSERT_EQ(DecryptSignerInfos(3, &slots.sets, nullptr, cipher), Pkcs7Result::Done);
    EXPECT_EQ(slots.Item(kSlotSignerInfos, 1), plainSignerInfo);
}

TEST_P(Pkcs7DecodeSealed, KeylessOpensWithoutVerifying)
{
    Slots slots;
    InputStream in(message);
    OutputStream out;
    int status = -1, inner = -1, outer = -1;
    ASSERT_EQ(DecodePKCS7MessageNoKey(&out.stream, &in.stream, &status, kPkcs7TypeHintContentInfo, &inner, &outer, 0,
                                      &slots.sets),
              Pkcs7Result::Done);
    EXPECT_EQ(status, kSignatureNothingToVerify);
    EXPECT_EQ(slots.Item(kSlotContentKey, 1), Text("X"));
    EXPECT_NE(out.Contents(), Content());
}

TEST_P(Pkcs7DecodeSealed, DamagedEncryptedDigestFails)
{
    // The encrypted digest's last byte changed: its padding no longer holds
    // (or, once in a while, holds and the signature does not open).
    Bytes altered = message;
    altered[altered.size() - 1] ^= 0x55;
    Slots slots;
    slots.LoadOwn("recipient");
    InputStream in(altered);
    int status = -1, inner = -1, outer = -1, cipher = -1;
    const Pkcs7Result result = DecodePKCS7Message(nullptr, &in.stream, nullptr, &status, kPkcs7TypeHintContentInfo,
                                                  &inner, &outer, 0, &slots.sets, nullptr, &cipher);
    EXPECT_TRUE(result == Pkcs7Result::CipherFailed || result == Pkcs7Result::SignerNotFound) << static_cast<int>(result);
    EXPECT_NE(status, kSignatureVerified);
}

// An envelopedData whose triple-DES identifier carries NULL for its IV:
// the key is there, the IV is not, and the content cannot be opened.
TEST(Pkcs7DecodeAssembled, MissingIvIsRefused)
{
    const Bytes enveloped = OpensslMessage("no-iv", Content(), "cms -encrypt -des3", "PKI/recipient.cert.pem");
    const std::vector<Bytes> env = BodyElements(enveloped);
    ASSERT_EQ(env.size(), 3u);
    using namespace der_reader;
    DERCursor outer = Reader(env[2].data(), env[2].size()), info;
    ASSERT_TRUE(Enter(&outer, kTagSequence, &info));
    std::vector<Bytes> parts;  // content type, algorithm, content
    Element element;
    while (ReadAny(&info, &element)) parts.emplace_back(element.whole.pointer, element.whole.pointer + element.whole.length);
    ASSERT_EQ(parts.size(), 3u);
    const Bytes des3 = {0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x03, 0x07};
    struct Case {
        const char* name;
        Bytes algorithm;
        Pkcs7Result result;
    } cases[] = {
        {"as sent", parts[1], Pkcs7Result::Done},
        {"NULL", Tlv(0x30, Concat({des3, Bytes{0x05, 0x00}})), Pkcs7Result::BadStructure},
        {"absent", Tlv(0x30, des3), Pkcs7Result::BadStructure},
        {"IV of 7 bytes", Tlv(0x30, Concat({des3, Tlv(0x04, Bytes(7, 1))})), Pkcs7Result::BadStructure},
    };
    const Bytes oid = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x03};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes body = Tlv(0x30, Concat({env[0], env[1], Tlv(0x30, Concat({parts[0], c.algorithm, parts[2]}))}));
        Slots slots;
        slots.LoadOwn("recipient");
        InputStream in(Tlv(0x30, Concat({oid, Tlv(0xA0, body)})));
        OutputStream out;
        int status = -1, inner = -1, outer = -1, cipher = -1;
        EXPECT_EQ(DecodePKCS7Message(&out.stream, &in.stream, nullptr, &status, kPkcs7TypeHintContentInfo, &inner,
                                     &outer, 0, &slots.sets, nullptr, &cipher),
                  c.result);
        EXPECT_EQ(out.Contents(), c.result == Pkcs7Result::Done ? Content() : Bytes());
    }
}

INSTANTIATE_TEST_SUITE_P(Ciphers, Pkcs7DecodeSealed, ::testing::ValuesIn(kSealings),
                         [](const ::testing::TestParamInfo<Sealing>& info) { return std::string(info.param.name); });

}  // namespace
