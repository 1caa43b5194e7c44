// The server-side token signer under Windows: the test TSA's certificate and
// key sit in the local machine's "MY" store for the suite; the tokens it
// signs over openssl's TSTInfo must pass `openssl ts -verify` and our own
// verifiers, and a signer it cannot find or content it cannot take fail.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/der/der_reader.h"
#include "core/text/text.h"
#include "platform/capi_handles.h"
#include "tests/support/der_build_util.h"
#include "tests/support/ocsp_test_util.h"
#include "tests/support/tsa_tokens.h"
#include "tests/support/tsp_verify.h"
#include "tools/fixture/fixture.h"
#include "tsp/protocol/token_signed_parts.h"
#include "tsp/protocol/token_signer_capi.h"
#include "tsp/protocol/tsp_capi.h"

using namespace testsupport;
using namespace der_reader;

namespace {

const std::uint32_t kSlotSignerCertificates = 14;

// The machine's "MY" through its registry store: a deletion through the
// system store does not last under Wine (wine-notes 8).
bool OpenMachineStore(TCertStore& store)
{
    store.Reset(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "MY"));
    return static_cast<bool>(store);
}

// Every copy of the certificate in the machine's "MY"; Wine shows them in
// the user's "MY" as well.
void RemoveFromMachineStore(const fixture::Bytes& hash)
{
    TCertStore machine;
    if (!OpenMachineStore(machine)) return;
    TCertContext copy;
    for (int copies = 0; copies < 8 && FindCertificateByHash(machine, hash.data(), copy); ++copies)
        if (!CertDeleteCertificateFromStore(copy.Detach())) break;
    CertCloseStore(machine.Detach(), 0);
}

class TokenSigner : public ::testing::Test {
protected:
    // The TSA installed with its key in the user's "MY" (the fixture's way),
    // then copied with its key properties into the machine's "MY".
    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(fixture::ReadFile(Pki("tsa.cert.der"), tsaDer_, error)) << error;
        fixture::Bytes key;
        ASSERT_TRUE(fixture::ReadFile(Pki("tsa.key.pk1.der"), key, error)) << error;
        ASSERT_TRUE(fixture::Thumbprint(tsaDer_, thumbprint_, error)) << error;
        fixture::Bytes hash;
        ASSERT_TRUE(fixture::ParseHex(thumbprint_, hash));
        RemoveFromMachineStore(hash);
        const bool installed = fixture::InstallWithKey(tsaDer_, key, fixture::DefaultContainer(thumbprint_), error);
        FillBytes(key.data(), 0, key.size());
        ASSERT_TRUE(installed) << error;

        TCertStore user, machine;
        TCertContext tsa;
        ASSERT_TRUE(OpenUserStore(user, "MY"));
        ASSERT_TRUE(FindCertificateByHash(user, hash.data(), tsa));
        ASSERT_TRUE(OpenMachineStore(machine));
        ASSERT_TRUE(CertAddCertificateContextToStore(machine.Get(), tsa.Get(), CERT_STORE_ADD_NEW, nullptr));
        // The store is written when it is closed (wine-notes 10).
        ASSERT_TRUE(CertCloseStore(machine.Detach(), 0));
    }

    static void TearDownTestSuite()
    {
        fixture::Bytes hash;
        if (fixture::ParseHex(thumbprint_, hash)) RemoveFromMachineStore(hash);
        bool found = false;
        std::string error;
        fixture::Remove(thumbprint_, found, error);
    }

    static inline fixture::Bytes tsaDer_;
    static inline std::string thumbprint_;
};

std::vector<unsigned char> Bytes(const ByteBuffer& view)
{
    return std::vector<unsigned char>(view.pointer, view.pointer + view.length);
}

// Told CMSG_CMS_ENCAPSULATED_CONTENT_FLAG, Windows writes the token as CMS
// (version 3, the TSTInfo inside an OCTET STRING); Wine writes PKCS#7
// (version 1, the TSTInfo bare) with the same signed attributes
// (wine-notes 19). The CMS form Windows gives, made here from Wine's; a
// token already in it is kept; empty when the token is not SignedData.
std::vector<unsigned char> AsWindowsWritesIt(const std::vector<unsigned char>& token)
{
    DERCursor outer = Reader(token.data(), token.size()), contentInfo, explicitContent, signedData, encapsulated,
              content;
    ByteBuffer type, version, algorithms, algorithmsWhole, contentType;
    if (!Enter(&outer, kTagSequence, &contentInfo) || !ReadView(&contentInfo, kTagObjectId, &type) ||
        !Enter(&contentInfo, kTagContextConstructed + 0, &explicitContent) ||
        !Enter(&explicitContent, kTagSequence, &signedData) || !ReadView(&signedData, kTagInteger, &version) ||
        !ReadExpected(&signedData, kTagSet, &algorithms, &algorithmsWhole) ||
        !Enter(&signedData, kTagSequence, &encapsulated) || !ReadView(&encapsulated, kTagObjectId, &contentType) ||
        !Enter(&encapsulated, kTagContextConstructed + 0, &content))
        return {};
    if (PeekTag(&content) == kTagOctetString) return token;
    const std::vector<unsigned char> tstInfo = Bytes(TakeRest(&content)), rest = Bytes(TakeRest(&signedData));
    const std::vector<unsigned char> encapsulatedCms =
        Tlv(0x30, Cat({Tlv(0x06, Bytes(contentType)), Tlv(0xA0, Tlv(0x04, tstInfo))}));
    const std::vector<unsigned char> signedCms =
        Tlv(0x30, Cat({Tlv(0x02, {0x03}), Bytes(algorithmsWhole), encapsulatedCms, rest}));
    return Tlv(0x30, Cat({Tlv(0x06, Bytes(type)), Tlv(0xA0, signedCms)}));
}

std::vector<unsigned char> Sign(DataSets* sets, const std::vector<unsigned char>& tstInfo)
{
    ByteBuffer token{nullptr, 0};
    const int ok = SignTimeStampToken(sets, tstInfo.data(), tstInfo.size(), &token);
    std::vector<unsigned char> out;
    if (token.pointer) out.assign(token.pointer, token.pointer + token.length);
    FreeItems(&token, 1);
    if (ok != 1) out.clear();
    return out;
}

// Both verifiers over the token; they must agree.
tsa::Verified VerifyBoth(const std::vector<unsigned char>& token)
{
    const tsa::Verified out = tsa::VerifyToken(token), only = tsa::VerifyTokenOnly(token);
    EXPECT_EQ(only.ok, out.ok);
    EXPECT_EQ(only.result, out.result);
    EXPECT_EQ(only.eContent, out.eContent);
    return out;
}

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

TEST_F(TokenSigner, TokensPassOpensslAndOurVerifiers)
{
    const std::string name = "signer-good", data = "data the server stamps\n";
    const std::vector<unsigned char> openssl = tsa::Token(name, data);
    ASSERT_FALSE(openssl.empty());
    const std::vector<unsigned char> tstInfo = tsa::TSTInfoOf(name, openssl);
    ASSERT_FALSE(tstInfo.empty());

    // The last certificate of the slot signs.
    ocsp::Sets sets;
    const std::vector<unsigned char> other = ReadFile(Pki("signer.cert.der"));
    ASSERT_EQ(AddDataItem(sets.get(), kSlotSignerCertificates, other.data(), other.size()), kDataSetsOk);
    ASSERT_EQ(AddDataItem(sets.get(), kSlotSignerCertificates, tsaDer_.data(), tsaDer_.size()), kDataSetsOk);
    const std::vector<unsigned char> signedToken = Sign(sets.get(), tstInfo);
    ASSERT_FALSE(signedToken.empty());
    const std::vector<unsigned char> token = AsWindowsWritesIt(signedToken);
    ASSERT_FALSE(token.empty());

    const std::string tokenFile = tsa::Work(name + ".ours.tok");
    WriteFile(tokenFile, token.data(), token.size());
    const std::string verify = "ts -verify -in " + tokenFile + " -token_in -CAfile " + Pki("ca.cert.pem");
    EXPECT_EQ(openssl_cli::Run(verify + " -data " + tsa::Work(name + ".txt")), 0);
    EXPECT_EQ(openssl_cli::Run(verify + " -queryfile " + tsa::Work(name + ".tsq")), 0);
    const std::string otherData = tsa::Work(name + ".other.txt");
    WriteFile(otherData, "other data\n", 11);
    EXPECT_NE(openssl_cli::Run(verify + " -data " + otherData), 0);

    // SHA-1 over the TSTInfo in the messageDigest attribute.
    TokenSignedParts parts;
    ASSERT_TRUE(ReadTokenSignedParts(token.data(), token.size(), &parts));
    EXPECT_EQ(Bytes(parts.eContent), tstInfo);
    EXPECT_EQ(TokenDigestOf(parts), kTokenDigestSha1);
    ByteBuffer digest{nullptr, 0};
    ASSERT_EQ(DigestBuffer(tstInfo.data(), tstInfo.size(), CALG_SHA1, &digest), 1);
    EXPECT_TRUE(TokenDigestMatches(parts, digest.pointer, digest.length));
    FreeItems(&digest, 1);

    const tsa::Verified ours = VerifyBoth(token);
    if (UnderWine()) {
        // Wine signs a contentType attribute of id-data (wine-notes 19).
        EXPECT_FALSE(TokenContentIsTSTInfo(parts));
        EXPECT_EQ(ours.ok, 0);
        EXPECT_EQ(ours.result, kTokenNotTSTInfo);
    } else {
        EXPECT_TRUE(TokenContentIsTSTInfo(parts));
        EXPECT_EQ(ours.ok, 1);
        EXPECT_EQ(ours.result, kTokenVerified);
        EXPECT_EQ(ours.eContent, tstInfo);
        EXPECT_EQ(ours.signer, tsaDer_);
    }

    // A rewritten TSTInfo fails both peers.
    std::vector<unsigned char> rewritten = token;
    const std::size_t at = tsa::Find(token, tstInfo);
    ASSERT_NE(at, std::string::npos);
    rewritten[at + tstInfo.size() - 1] ^= 0x01;
    const tsa::Verified broken = VerifyBoth(rewritten);
    EXPECT_EQ(broken.ok, 0);
    EXPECT_NE(broken.result, kTokenVerified);
    WriteFile(tokenFile, rewritten.data(), rewritten.size());
    EXPECT_NE(openssl_cli::Run(verify + " -data " + tsa::Work(name + ".txt")), 0);
}

TEST(SecondVerifier, AgreesWithTheFirstOnOpensslTokens)
{
    const std::vector<unsigned char> token = tsa::Token("second-verifier", "data\n", "sha256");
    ASSERT_FALSE(token.empty());
    std::vector<unsigned char> badSignature = token;
    badSignature.back() ^= 0x01;
    const tsa::Verified good = VerifyBoth(token), bad = VerifyBoth(badSignature);
    EXPECT_EQ(good.ok, 1);
    EXPECT_EQ(good.eContent, tsa::TSTInfoOf("second-verifier", token));
    EXPECT_EQ(bad.ok, 0);
    EXPECT_EQ(bad.result, kTokenBadSignature);
}

TEST_F(TokenSigner, RefusesWhatItCannotSign)
{
    const std::vector<unsigned char> tstInfo = {0x30, 0x03, 0x02, 0x01, 0x01};
    // The PKI's signer is in no "MY" of the machine.
    const std::vector<unsigned char> notInstalled = ReadFile(Pki("recipient.cert.der"));
    const std::vector<unsigned char> garbage = {0x30, 0x03, 0x02, 0x01, 0x00};
    struct Case {
        const char* name;
        std::vector<unsigned char> certificate;  // empty: nothing in the slot
        std::vector<unsigned char> content;
    };
    const Case cases[] = {
        {"no signer certificate", {}, tstInfo},
        {"signer not in the store", notInstalled, tstInfo},
        {"garbage certificate", garbage, tstInfo},
        {"no content", tsaDer_, {}},
        {"content over the verifier's capacity", tsaDer_, std::vector<unsigned char>(kTSPEContentCapacity + 1, 0x30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ocsp::Sets sets;
        if (!c.certificate.empty()) {
            ASSERT_EQ(AddDataItem(sets.get(), kSlotSignerCertificates, c.certificate.data(), c.certificate.size()),
                      kDataSetsOk);
        }
        ByteBuffer token{reinterpret_cast<unsigned char*>(1), 1};
        EXPECT_EQ(SignTimeStampToken(sets.get(), c.content.data(), c.content.size(), &token), 0);
        EXPECT_EQ(token.pointer, nullptr);
        EXPECT_EQ(token.length, 0u);
    }
}

}  // namespace
#endif
