// The CRL list and the revocation check of a platform certificate, against
// CRLs made by `openssl ca -gencrl` from the test PKI.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "platform/capi_handles.h"
#include "signer/certs/crl_check.h"
#include "signer/certs/crl_list.h"
#include "signer/certs/serial_text.h"
#include "tests/support/test_util.h"

namespace {

using testsupport::Pki;

std::string Work(const std::string& file) { return testsupport::WorkDir() + "/crllist-" + file; }

TCertContext PlatformCertificate(const std::string& name)
{
    std::vector<unsigned char> der = testsupport::ReadFile(Pki(name + ".cert.der"));
    return TCertContext(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                     static_cast<DWORD>(der.size())));
}

// Files named CRL*.tmp in the temporary folder: the scratch files of Load.
std::vector<std::string> ScratchFiles()
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(folder) + "CRL*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

TEST(CRLCheck, StatusOfPlatformCertificates)
{
    std::vector<unsigned char> good = testsupport::ReadFile(Pki("crl.top-bit.der"));
    std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    ASSERT_TRUE(testsupport::WriteFile(Work("cut.der"), cut.data(), cut.size()));
    const char junk[] = "not a certificate";
    ASSERT_TRUE(testsupport::WriteFile(Work("junk-ca.der"), junk, sizeof junk));

    struct Case {
        const char* crl;
        std::string caFile;
        const char* certificate;
        TCRLStatus status;
        const char* reason;
    };
    const std::string ca = Pki("ca.cert.der"), otherca = Pki("otherca.cert.der");
    const TCRLStatus good_ = TCRLStatus::Good, revoked = TCRLStatus::Revoked, undetermined = TCRLStatus::Undetermined;
    const char* const otherIssuer = "El CRL no fue emitido por el emisor del certificado";
    const char* const notTheCAs = "El CRL no fue emitido por la AC configurada";
    const char* const forged = "La firma del CRL no es valida";
    const char* const partial = "El CRL contiene una extension critica no soportada";
    const Case cases[] = {
        {"crl.top-bit.der", "", "revoked", revoked, ""},  // top-bit serial, 00 sign byte in the platform's copy
        {"crl.top-bit.der", ca, "signer", revoked, ""},
        {"crl.top-bit.der", ca, "signer2", good_, ""},
        {"crl.20-byte.der", ca, "signer2", revoked, ""},
        {"crl.20-byte.der", "", "signer", good_, ""},
        {"crl.empty.der", ca, "signer", good_, ""},
        {"crl.5000.der", ca, "signer", revoked, ""},
        {"crl.5000.der", "", "recipient", good_, ""},
        {"crl.100k.der", ca, "signer", revoked, ""},
        {"crl.100k.der", "", "recipient", good_, ""},
        {"crl.stale.der", "", "signer", revoked, ""},  // nextUpdate is the administrator's business
        // The same serial from another CA.
        {"crl.other-ca.der", "", "signer", undetermined, otherIssuer},
        {"crl.other-ca.der", otherca, "other", revoked, ""},
        {"crl.other-ca.der", ca, "signer", undetermined, notTheCAs},
        {"crl.top-bit.der", otherca, "signer", undetermined, notTheCAs},
        // ca's Name but for one attribute, compared as encoded.
        {"crl.extra-attribute.der", "", "signer", undetermined, otherIssuer},
        {"crl.repeated-attribute.der", "", "signer", undetermined, otherIssuer},
        // ca's Name byte for byte, another key: only the CA's key tells.
        {"crl.impostor.der", ca, "signer", undetermined, forged},
        {"crl.impostor.der", "", "signer", good_, ""},
        // Lists that are not the whole truth omit the revoked signer.
        {"crl.delta.der", "", "signer", undetermined, partial},
        {"crl.idp.der", ca, "signer", undetermined, partial},
        {"crl.unknown-critical.der", ca, "signer", undetermined, partial},
        {"crl.sha256.der", ca, "signer", undetermined, "El algoritmo de firma del CRL no es soportado"},
        {"crl.sha256.der", "", "signer", revoked, ""},
        {"no-such.crl.der", "", "signer", undetermined, "No existe el archivo del CRL"},
        {"crl.big-ca.der", "", "signer", undetermined, "Error al decodificar el CRL"},
        {"crl.number-120.der", "", "signer", undetermined, "Error al decodificar el CRL"},
        {"crl.serial-60.der", "", "signer", undetermined, "Error al Decodificar el CRL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.crl) + " " + c.certificate);
        TCertContext certificate = PlatformCertificate(c.certificate);
        ASSERT_TRUE(certificate);
        std::string reason;
        EXPECT_EQ(CheckCertificateCRL(Pki(c.crl), c.caFile, certificate.Get(), reason), c.status);
        EXPECT_EQ(reason, c.reason);
    }
    TCertContext signer = PlatformCertificate("signer");
    std::string reason;
    EXPECT_EQ(CheckCertificateCRL(Work("cut.der"), "", signer.Get(), reason), TCRLStatus::Undetermined);
    EXPECT_EQ(reason, "Error al decodificar el CRL");
    EXPECT_EQ(CheckCertificateCRL(Pki("crl.top-bit.der"), Work("junk-ca.der"), signer.Get(), reason),
              TCRLStatus::Undetermined);
    EXPECT_EQ(reason, "El certificado de la AC no pudo ser leido");
}

TEST(CRLList, LoadKeepsDatesAndFindsSerialsInAnyCase)
{
    TCRL crl;
    crl.caFile = Pki("ca.cert.der");
    ASSERT_TRUE(crl.Load(Pki("crl.top-bit.der"))) << crl.errorText;
    EXPECT_EQ(crl.signatureVerified, 1);
    EXPECT_EQ(crl.thisUpdate, "240701000000Z");
    EXPECT_EQ(crl.nextUpdate, "491231235959Z");
    EXPECT_EQ(crl.revokedSerials.size(), 2u);
    EXPECT_TRUE(crl.FindSerial("8B7E0F4C"));
    EXPECT_TRUE(crl.FindSerial("8b7e0f4c"));
    EXPECT_TRUE(crl.FindSerial("1002"));
    EXPECT_FALSE(crl.FindSerial("008b7e0f4c"));
    EXPECT_FALSE(crl.FindSerial(""));
    EXPECT_EQ(crl.revokedSerials["1002"], "240601120000Z");
    ASSERT_NE(crl.crlNumber.length, 0u);
    EXPECT_EQ(crl.crlNumber.pointer[crl.crlNumber.length - 1], 1);

    // A failed load leaves nothing of the earlier list.
    EXPECT_FALSE(crl.Load(Pki("crl.big-ca.der")));
    EXPECT_TRUE(crl.revokedSerials.empty());
    EXPECT_FALSE(crl.FindSerial("1002"));
    EXPECT_EQ(crl.caFile, Pki("ca.cert.der"));
}

// A CRL of the CA with one byte of its list changed.
TEST(CRLCheck, ATamperedListIsForged)
{
    std::vector<unsigned char> bytes = testsupport::ReadFile(Pki("crl.top-bit.der"));
    const unsigned char signer[] = {0x02, 0x02, 0x10, 0x02};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(signer), std::end(signer));
    ASSERT_NE(at, bytes.end());
    at[3] = 0x03;  // 1002 -> 1003: the signer is no longer listed
    ASSERT_TRUE(testsupport::WriteFile(Work("tampered.der"), bytes.data(), bytes.size()));
    TCertContext certificate = PlatformCertificate("signer");
    std::string reason;
    EXPECT_EQ(CheckCertificateCRL(Work("tampered.der"), Pki("ca.cert.der"), certificate.Get(), reason),
              TCRLStatus::Undetermined);
    EXPECT_EQ(reason, "La firma del CRL no es valida");
    EXPECT_EQ(CheckCertificateCRL(Work("tampered.der"), "", certificate.Get(), reason), TCRLStatus::Good);
}

// For a revocation check only the serial's entry is kept, whatever the
// size of the list; the checks are those of Load.
TEST(CRLList, LoadEntryOfKeepsOnlyThatSerial)
{
    TCRL crl;
    crl.caFile = Pki("ca.cert.der");
    ASSERT_TRUE(crl.LoadEntryOf(Pki("crl.100k.der"), "1002")) << crl.errorText;
    EXPECT_EQ(crl.revokedSerials.size(), 1u);
    EXPECT_TRUE(crl.FindSerial("1002"));
    EXPECT_EQ(crl.thisUpdate, "240701000000Z");
    ASSERT_TRUE(crl.LoadEntryOf(Pki("crl.100k.der"), "7E000001"));  // any case
    EXPECT_TRUE(crl.FindSerial("7e000001"));
    EXPECT_FALSE(crl.FindSerial("1002"));
    ASSERT_TRUE(crl.LoadEntryOf(Pki("crl.100k.der"), "1003"));
    EXPECT_TRUE(crl.revokedSerials.empty());
    EXPECT_FALSE(crl.LoadEntryOf(Pki("crl.delta.der"), "1002"));
    EXPECT_EQ(crl.errorText, "El CRL contiene una extension critica no soportada");
    ASSERT_TRUE(crl.Load(Pki("crl.100k.der")));
    EXPECT_EQ(crl.revokedSerials.size(), 100000u);
}

TEST(CRLList, ScratchFilesGoOnEveryPath)
{
    const std::vector<std::string> before = ScratchFiles();
    for (const char* file : {"crl.top-bit.der", "crl.empty.der", "crl.serial-60.der", "crl.big-ca.der", "none.der",
                             "crl.delta.der"}) {
        TCRL crl;
        crl.Load(Pki(file));
        crl.LoadEntryOf(Pki(file), "1002");
    }
    TCRL withCA;
    withCA.caFile = Pki("otherca.cert.der");
    EXPECT_FALSE(withCA.Load(Pki("crl.top-bit.der")));
    EXPECT_EQ(ScratchFiles(), before);
}

TEST(CRLList, PlatformSerialTextMatchesTheCertificateDecoder)
{
    const unsigned char reversed[] = {0x4C, 0x0F, 0x7E, 0x8B, 0x00};
    EXPECT_EQ(SerialNumberTextReversed(reversed, sizeof reversed), "8b7e0f4c");
    const unsigned char small[] = {0x02, 0x10};
    EXPECT_EQ(SerialNumberTextReversed(small, sizeof small), "1002");
}

}  // namespace
