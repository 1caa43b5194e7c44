// The engine's PKCS#7 decoder on messages made by openssl: signed (MD5,
// SHA-1, with and without attributes, attached and detached, two signers),
// enveloped (DES, triple DES, RC4) for the test recipient, and the clean
// failures: foreign recipients, tampering, unsupported algorithms.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/pkcs7/pkcs7_decode.h"
#include "tests/support/pkcs7_engine_util.h"

namespace {

using namespace testsupport::pkcs7;

struct Decoded {
    Pkcs7Result result = Pkcs7Result::Done;
    int status = -1, inner = -1, outer = -1, cipher = -1;
    Bytes content;
};

Decoded Decode(Slots& slots, const Bytes& message, const Bytes* detached = nullptr, bool keyless = false)
{
    InputStream in(message);
    OutputStream out;
    Decoded d;
    if (keyless) {
        d.result = DecodePKCS7MessageNoKey(&out.stream, &in.stream, &d.status, kPkcs7TypeHintContentInfo, &d.inner,
                                           &d.outer, 0, &slots.sets);
    } else if (detached) {
        InputStream content(*detached);
        d.result = DecodePKCS7Message(&out.stream, &in.stream, &content.stream, &d.status, kPkcs7TypeHintContentInfo,
                                      &d.inner, &d.outer, 0, &slots.sets, nullptr, &d.cipher);
    } else {
        d.result = DecodePKCS7Message(&out.stream, &in.stream, nullptr, &d.status, kPkcs7TypeHintContentInfo,
                                      &d.inner, &d.outer, 0, &slots.sets, nullptr, &d.cipher);
    }
    d.content = out.Contents();
    return d;
}

const Bytes& Content()
{
    static const Bytes content = [] {
        Bytes c = Text("Tavomir PKCS#7 decoder test content\n");
        for (int i = 0; i < 300; ++i) c.push_back(static_cast<unsigned char>(i * 37 + 11));
        return c;
    }();
    return content;
}

const char* kSigner = " -signer PKI/signer.cert.pem -inkey PKI/signer.key.pem";
const char* kSigner2 = " -signer PKI/signer2.cert.pem -inkey PKI/signer2.key.pem";

TEST(Pkcs7DecodeSigned, OpensslSignaturesVerify)
{
    struct Case {
        const char* name;
        std::string arguments;
        bool detached;
    } cases[] = {
        {"md5-attr", std::string("cms -sign -nodetach -md md5") + kSigner, false},
        {"sha1-attr", std::string("cms -sign -nodetach -md sha1") + kSigner, false},
        {"sha1-noattr", std::string("cms -sign -nodetach -noattr -md sha1") + kSigner, false},
        {"md5-noattr", std::string("cms -sign -nodetach -noattr -md md5") + kSigner, false},
        {"sha1-detached", std::string("cms -sign -md sha1") + kSigner, true},
        {"md5-detached-noattr", std::string("cms -sign -noattr -md md5") + kSigner, true},
        {"smime-sha1", std::string("smime -sign -nodetach -md sha1") + kSigner, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes message = OpensslMessage(c.name, Content(), c.arguments);
        ASSERT_FALSE(message.empty());
        Slots slots;
        Decoded d = Decode(slots, message, c.detached ? &Content() : nullptr);
        EXPECT_EQ(d.result, Pkcs7Result::Done);
        EXPECT_EQ(d.status, kSignatureVerified);
        EXPECT_EQ(d.outer, kOuterSigned);
        EXPECT_EQ(d.inner, kInnerData);
        EXPECT_EQ(d.content, c.detached ? Bytes() : Content());
        EXPECT_EQ(slots.Count(kSlotSignerInfos), 1u);
        EXPECT_EQ(slots.Item(kSlotCarriedCertificates, 1), testsupport::ReadFile(testsupport::Pki("signer.cert.der")));
    }
}

TEST(Pkcs7DecodeSigned, TwoSignersWithTheirOwnDigests)
{
    // Each SignerInfo is checked with its own digest, not the set's last.
    for (const char* md : {"sha1", "md5"}) {
        SCOPED_TRACE(md);
        const std::string arguments = std::string("cms -sign -nodetach -md ") + md + kSigner + kSigner2;
        Bytes message = OpensslMessage(std::string("two-") + md, Content(), arguments);
        Slots slots;
        Decoded d = Decode(slots, message);
        EXPECT_EQ(d.result, Pkcs7Result::Done);
        EXPECT_EQ(d.status, kSignatureVerified);
        EXPECT_EQ(slots.Count(kSlotSignerInfos), 2u);
        EXPECT_EQ(slots.Count(kSlotCarriedCertificates), 2u);
    }
}

TEST(Pkcs7DecodeSigned, DetachedNeedsItsContent)
{
    Bytes message = OpensslMessage("detached", Content(), std::string("cms -sign -md sha1") + kSigner);
    Slots slots;
    InputStream in(message);
    int status = -1, inner = -1, outer = -1, cipher = -1;
    EXPECT_EQ(DecodePKCS7Message(nullptr, &in.stream, nullptr, &status, kPkcs7TypeHintContentInfo, &inner, &outer, 0,
                                 &slots.sets, nullptr, &cipher),
              Pkcs7Result::NoDetachedContent);
    EXPECT_EQ(outer, kOuterFailed);
    // Other content: the messageDigest attribute no longer matches.
    Bytes other = Content();
    other[3] ^= 1;
    Decoded d = Decode(slots, message, &other);
    EXPECT_EQ(d.result, Pkcs7Result::DigestMismatch);
    EXPECT_EQ(d.status, kSignatureUndecided);
}

// Key-less, a detached signature's content is read through and never
// digested: nothing is verified, whatever the content.
TEST(Pkcs7DecodeSigned, KeylessDetachedVerifiesNothing)
{
    Bytes message = OpensslMessage("keyless-detached", Content(), std::string("cms -sign -md sha1") + kSigner);
    Bytes other = Content();
    other[3] ^= 1;
    const Bytes empty;
    struct Case {
        const char* what;
        const Bytes* content;
        Pkcs7Result result;
        int status;
    } cases[] = {
        {"its content", &Content(), Pkcs7Result::Done, kSignatureNothingToVerify},
        {"other content", &other, Pkcs7Result::Done, kSignatureNothingToVerify},
        {"empty content", &empty, Pkcs7Result::Done, kSignatureNothingToVerify},
        {"no content stream", nullptr, Pkcs7Result::NoDetachedContent, kSignatureUndecided},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Slots slots;
        InputStream in(message);
        InputStream content(c.content ? *c.content : empty);
        OutputStream out;
        std::vector<unsigned char> chunk(kPkcs7RecordBufferSize);
        int status = -1, inner = -1, outer = -1, cipher = -1;
        EXPECT_EQ(DecodePKCS7Stream(&out.stream, &in.stream, c.content ? &content.stream : nullptr, &status,
                                    kPkcs7TypeHintContentInfo, &inner, &outer, 0, true, &slots.sets, nullptr,
                                    chunk.data(), &cipher),
                  c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(outer, kOuterSigned);
        EXPECT_TRUE(out.Contents().empty());
        if (c.result == Pkcs7Result::Done) {
            EXPECT_EQ(slots.Count(kSlotSignerInfos), 1u);
            EXPECT_EQ(slots.Item(kSlotCarriedCertificates, 1), testsupport::ReadFile(testsupport::Pki("signer.cert.der")));
        }
    }
}

// A byte of the content, of the attributes or of the signature changed.
TEST(Pkcs7DecodeSigned, TamperingIsCaught)
{
    Bytes withAttributes = OpensslMessage("tamper-attr", Content(), std::string("cms -sign -nodetach -md sha1") + kSigner);
    Bytes without = OpensslMessage("tamper-noattr", Content(), std::string("cms -sign -nodetach -noattr -md sha1") + kSigner);
    auto find = [](const Bytes& message) {
        const Bytes& c = Content();
        return static_cast<std::size_t>(std::search(message.begin(), message.end(), c.begin(), c.end()) - message.begin());
    };
    struct Case {
        const char* name;
        Bytes message;
        std::size_t at;
        Pkcs7Result result;
        int status;
    } cases[] = {
        {"content, attributes", withAttributes, find(withAttributes) + 5, Pkcs7Result::DigestMismatch, kSignatureUndecided},
        {"content, no attributes", without, find(without) + 5, Pkcs7Result::DigestMismatch, kSignatureMismatch},
        // The last byte is the signature's: the RSA block no longer opens.
        {"signature", without, without.size() - 1, Pkcs7Result::SignerNotFound, kSignatureUndecided},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.message[c.at] ^= 0x20;
        Slots slots;
        Decoded d = Decode(slots, c.message);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(d.outer, kOuterFailed);
        EXPECT_EQ(slots.Count(kSlotSignerInfos) + slots.Count(kSlotCarriedCertificates), 0u);
    }
}

TEST(Pkcs7DecodeSigned, UnsupportedFormsFailCleanly)
{
    struct Case {
        const char* name;
        std::string arguments;
        Pkcs7Result result;
    } cases[] = {
        {"sha256", std::string("cms -sign -nodetach -md sha256") + kSigner, Pkcs7Result::BadStructure},
        {"keyid", std::string("cms -sign -nodetach -keyid -md sha1") + kSigner, Pkcs7Result::BadStructure},
        {"nocerts", std::string("cms -sign -nodetach -nocerts -md sha1") + kSigner, Pkcs7Result::BadStructure},
        {"stream", std::string("cms -sign -stream -nodetach -md sha1") + kSigner, Pkcs7Result::BadStructure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Slots slots;
        Decoded d = Decode(slots, OpensslMessage(c.name, Content(), c.arguments));
        EXPECT_EQ(d.result, c.result);
        EXPECT_NE(d.status, kSignatureVerified);
        EXPECT_EQ(d.outer, kOuterFailed);
    }
}

TEST(Pkcs7DecodeSigned, NoSignerInfosIsNothingToVerify)
{
    // A certificates-only message: no content, no SignerInfos.
    const std::string out = testsupport::WorkDir() + "/p7-certs-only.der";
    ASSERT_EQ(testsupport::openssl_cli::Run("crl2pkcs7 -nocrl -outform DER -certfile " +
                                            testsupport::Pki("signer.cert.pem") + " -out " + out),
              0);
    Slots slots;
    const Bytes empty;
    Decoded d = Decode(slots, testsupport::ReadFile(out), &empty);
    EXPECT_EQ(d.result, Pkcs7Result::Done);
    EXPECT_EQ(d.status, kSignatureNothingToVerify);
    EXPECT_EQ(slots.Count(kSlotCarriedCertificates), 1u);
}

// A PEM bundle of the PKI's certificates, in order, for -certfile.
std::string CertificateBundle(const std::string& name, const std::vector<std::string>& entities)
{
    std::string pems;
    for (const std::string& entity : entities) {
        Bytes pem = testsupport::ReadFile(testsupport::Pki(entity + ".cert.pem"));
        pems.append(pem.begin(), pem.end());
    }
    const std::string bundle = testsupport::WorkDir() + "/p7-" + name + ".pem";
    EXPECT_TRUE(testsupport::WriteFile(bundle, pems.data(), pems.size()));
    return bundle;
}

// How many certificates openssl finds in a message.
std::size_t CarriedByOpenssl(const std::string& name, const Bytes& message)
{
    const std::string der = testsupport::WorkDir() + "/p7-" + name + ".carried.der";
    const std::string listing = testsupport::WorkDir() + "/p7-" + name + ".carried.txt";
    EXPECT_TRUE(testsupport::WriteFile(der, message.data(), message.size()));
    EXPECT_EQ(testsupport::openssl_cli::Run("pkcs7 -inform DER -print_certs -noout -in " + der + " -out " + listing), 0);
    const Bytes text = testsupport::ReadFile(listing);
    const std::string all(text.begin(), text.end());
    std::size_t count = 0;
    for (std::size_t at = all.find("subject="); at != std::string::npos; at = all.find("subject=", at + 1)) ++count;
    return count;
}

// A long chain opens when its signer is among the first ten certificates;
// later certificates are read through and never kept. openssl smime writes
// the -certfile certificates in order and then each signer's own.
TEST(Pkcs7DecodeSigned, OnlyTheFirstTenCertificatesAreKept)
{
    const std::vector<std::string> nine = {"ca", "recipient", "nokey", "revoked", "expired", "ocsp", "tsa", "md5", "otherca"};
    std::vector<std::string> ten = nine;
    ten.push_back("other");
    std::vector<std::string> signerFirst = {"signer"};
    signerFirst.insert(signerFirst.end(), ten.begin(), ten.end());
    std::vector<std::string> longChain = {"signer"};
    for (int i = 0; i < 150; ++i) longChain.push_back(i % 2 ? "ca" : "signer2");
    struct Case {
        const char* name;
        std::vector<std::string> bundle;
        std::string signers;
        std::size_t carried;
        Pkcs7Result result;
    } cases[] = {
        {"ten-signer-tenth", nine, kSigner, 10, Pkcs7Result::Done},
        // The signer's certificate twice: first, from the bundle, and twelfth.
        {"twelve-signer-first", signerFirst, kSigner, 12, Pkcs7Result::Done},
        {"eleven-signer-eleventh", ten, kSigner, 11, Pkcs7Result::SignerNotFound},
        {"twelve-signer-eleventh", ten, std::string(kSigner) + kSigner2, 12, Pkcs7Result::SignerNotFound},
        {"long-chain-signer-first", longChain, kSigner, 152, Pkcs7Result::Done},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bundle = CertificateBundle(c.name, c.bundle);
        Bytes message = OpensslMessage(c.name, Content(), "smime -sign -nodetach -md sha1 -certfile " + bundle + c.signers);
        ASSERT_FALSE(message.empty());
        ASSERT_EQ(CarriedByOpenssl(c.name, message), c.carried);
        std::vector<std::string> order = c.bundle;
        order.push_back("signer");

        // Through the decoder itself, whose slots stay as it leaves them.
        Slots slots;
        InputStream in(message);
        OutputStream out;
        std::vector<unsigned char> chunk(kPkcs7RecordBufferSize);
        int status = -1, inner = -1, outer = -1, cipher = -1;
        const Pkcs7Result result = DecodePKCS7Stream(&out.stream, &in.stream, nullptr, &status, kPkcs7TypeHintContentInfo,
                                                     &inner, &outer, 0, false, &slots.sets, nullptr, chunk.data(), &cipher);
        EXPECT_EQ(result, c.result);
        if (c.result == Pkcs7Result::Done) {
            EXPECT_EQ(status, kSignatureVerified);
            EXPECT_EQ(out.Contents(), Content());
            ASSERT_EQ(slots.Count(kSlotCarriedCertificates), 10u);
            for (std::uint32_t item = 1; item <= 10; ++item)
                EXPECT_EQ(slots.Item(kSlotCarriedCertificates, item),
                          testsupport::ReadFile(testsupport::Pki(order[item - 1] + ".cert.der")))
                    << item;
        } else {
            EXPECT_EQ(status, kSignatureUndecided);
        }
        // The entry point: the same answer, nothing left behind on failure.
        Slots entry;
        Decoded d = Decode(entry, message);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(entry.Count(kSlotCarriedCertificates), c.result == Pkcs7Result::Done ? 10u : 0u);
        EXPECT_EQ(d.outer, c.result == Pkcs7Result::Done ? kOuterSigned : kOuterFailed);
    }
}

const char* kLegacy = " -provider legacy -provider default";

TEST(Pkcs7DecodeEnveloped, OpensslCiphersOpenWithTheRecipientKey)
{
    struct Case {
        const char* name;
        std::string arguments;
        const char* recipients;
        int cipher;
        std::size_t keyLength;
    } cases[] = {
        {"des3", "cms -encrypt -des3", "PKI/recipient.cert.pem", kCipherTripleDes, 24},
        {"des", std::string("cms -encrypt -des") + kLegacy, "PKI/recipient.cert.pem", kCipherDes, 8},
        {"rc4", std::string("cms -encrypt -rc4") + kLegacy, "PKI/recipient.cert.pem", kCipherRc4, 8},
        {"smime-rc4", std::string("smime -encrypt -rc4") + kLegacy, "PKI/recipient.cert.pem", kCipherRc4, 8},
        {"two-recipients", "cms -encrypt -des3", "PKI/other.cert.pem PKI/recipient.cert.pem", kCipherTripleDes, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes message = OpensslMessage(c.name, Content(), c.arguments, c.recipients);
        ASSERT_FALSE(message.empty());
        Slots slots;
        slots.LoadOwn("recipient");
        Decoded d = Decode(slots, message);
        EXPECT_EQ(d.result, Pkcs7Result::Done);
        EXPECT_EQ(d.status, kSignatureNothingToVerify);
        EXPECT_EQ(d.outer, kOuterEnveloped);
        EXPECT_EQ(d.cipher, c.cipher);
        EXPECT_EQ(d.content, Content());
        // Key and IV, as the encoder takes them back.
        EXPECT_EQ(slots.Count(kSlotContentKey), 2u);
        EXPECT_EQ(slots.Item(kSlotContentKey, 1).size(), c.keyLength);
        EXPECT_EQ(slots.Item(kSlotContentKey, 2).size(), 8u);
    }
}

// No padding is stripped from RC4 content; block-cipher padding is strict.
TEST(Pkcs7DecodeEnveloped, PaddingOnlyForBlockCiphers)
{
    for (const Bytes& content : {Text("ends in 03 03 03\x03\x03\x03"), Text("ends in 03 02 03\x03\x02\x03"), Text("\x01")}) {
        for (const char* cipher : {"-des3", "-rc4"}) {
            SCOPED_TRACE(cipher);
            Bytes message =
                OpensslMessage("padding", content, std::string("cms -encrypt ") + cipher + kLegacy, "PKI/recipient.cert.pem");
            Slots slots;
            slots.LoadOwn("recipient");
            Decoded d = Decode(slots, message);
            EXPECT_EQ(d.result, Pkcs7Result::Done);
            EXPECT_EQ(d.content, content);
        }
    }
}

TEST(Pkcs7DecodeEnveloped, ForeignRecipientFailsAndOpensKeyless)
{
    Bytes message = OpensslMessage("foreign", Content(), "cms -encrypt -des3", "PKI/other.cert.pem");
    Slots slots;
    slots.LoadOwn("recipient");
    Decoded d = Decode(slots, message);
    EXPECT_EQ(d.result, Pkcs7Result::KeyUnusable);
    EXPECT_EQ(d.outer, kOuterFailed);
    EXPECT_EQ(slots.Count(kSlotContentKey), 0u);

    Decoded k = Decode(slots, message, nullptr, true);
    EXPECT_EQ(k.result, Pkcs7Result::Done);
    EXPECT_EQ(k.status, kSignatureNothingToVerify);
    EXPECT_EQ(slots.Item(kSlotContentKey, 1), Text("X"));
    EXPECT_EQ(slots.Item(kSlotContentKey, 2).size(), 8u);
    EXPECT_EQ(slots.Count(kSlotRecipientInfos), 1u);
    // The content comes out as it is stored: encrypted and padded.
    EXPECT_EQ(k.content.size(), (Content().size() / 8 + 1) * 8);
    EXPECT_NE(Bytes(k.content.begin(), k.content.begin() + 16), Bytes(Content().begin(), Content().begin() + 16));
}

TEST(Pkcs7DecodeEnveloped, WrongOwnPasswordIsKeyUnusable)
{
    Bytes message = OpensslMessage("password", Content(), "cms -encrypt -des3", "PKI/recipient.cert.pem");
    Slots slots;
    slots.Add(kSlotOwnKey, testsupport::ReadFile(testsupport::Pki("recipient.key.p8e.der")));
    slots.Add(kSlotOwnPassword, Text(std::string("wrong") + '\0'));
    EXPECT_EQ(Decode(slots, message).result, Pkcs7Result::KeyUnusable);
}

// Every cut of a small message fails: none may pass for a whole one.
TEST(Pkcs7DecodeTruncated, EveryLengthFails)
{
    const Bytes small = Text("short");
    struct Case {
        const char* name;
        std::string arguments;
        const char* recipients;
    } cases[] = {
        {"cut-signed", std::string("cms -sign -nodetach -md md5") + kSigner, ""},
        {"cut-enveloped", "cms -encrypt -des3", "PKI/recipient.cert.pem"},
        {"cut-data", "cms -data_create", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes message = OpensslMessage(c.name, small, c.arguments, c.recipients);
        ASSERT_FALSE(message.empty());
        Slots slots;
        slots.LoadOwn("recipient");
        ASSERT_EQ(Decode(slots, message).result, Pkcs7Result::Done);
        for (std::size_t length = 0; length < message.size(); ++length) {
            Decoded d = Decode(slots, Bytes(message.begin(), message.begin() + static_cast<long>(length)));
            ASSERT_NE(d.result, Pkcs7Result::Done) << length;
            EXPECT_EQ(d.outer, kOuterFailed);
            EXPECT_EQ(slots.Count(kSlotSignerInfos) + slots.Count(kSlotCarriedCertificates) +
                          slots.Count(kSlotRecipientInfos) + slots.Count(kSlotContentKey),
                      0u);
        }
    }
}

}  // namespace
