// The certificate selection form driven like a user from a second thread:
// the list of "MY", refusals in message boxes, accept and cancel, and the
// login with the configured certificate.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/capi_handles.h"
#include "signer/ui/Unit_login.h"
#include "signer/errors.h"
#include "tests/support/test_util.h"
#include "tests/support/form_driver.h"
#include "tests/support/registry_fixture.h"

namespace {

using namespace testsupport::form;

const wchar_t* const kFormCaption = L"Selecci\u00F3n de Certificado";

Bytes Pki(const std::string& file) { return testsupport::ReadFile(testsupport::PkiDir() + "/" + file); }

Bytes Thumbprint(const Bytes& der)
{
    Bytes hash(20);
    DWORD n = 20;
    if (!CryptHashCertificate(0, CALG_SHA1, 0, der.data(), static_cast<DWORD>(der.size()), hash.data(), &n))
        return Bytes();
    return hash;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void RemoveFromMy(const Bytes& der)
{
    TCertStore store(CertOpenSystemStoreA(0, "MY"));
    if (!store) return;
    Bytes hash = Thumbprint(der);
    CRYPT_HASH_BLOB blob{20, hash.data()};
    while (PCCERT_CONTEXT c =
               CertFindCertificateInStore(store.Get(), kMessageEncoding, 0, CERT_FIND_SHA1_HASH, &blob, nullptr))
        CertDeleteCertificateFromStore(c);  // frees c
}

// As a user's import leaves it: the PKCS#1 key in a named container as
// AT_KEYEXCHANGE, the certificate in MY pointing at it.
bool InstallWithKey(const Bytes& der, const Bytes& pkcs1)
{
    BYTE* blob = nullptr;
    DWORD blobLength = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, PKCS_RSA_PRIVATE_KEY, pkcs1.data(), static_cast<DWORD>(pkcs1.size()),
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &blob, &blobLength))
        return false;
    TLocalMemory blobOwner(blob);
    std::string hex = testsupport::ToHex(Thumbprint(der).data(), 20);
    for (char& ch : hex) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    std::string container = "tavomir-" + hex;  // the fixture tool's name for it
    TCryptProvider prov;
    bool ok = CryptAcquireContextA(prov.Put(), container.c_str(), MS_ENHANCED_PROV_A, PROV_RSA_FULL, 0) ||
              CryptAcquireContextA(prov.Put(), container.c_str(), MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET);
    TCryptKey key;
    ok = ok && CryptImportKey(prov.Get(), blob, blobLength, 0, 0, key.Put());
    SecureZeroMemory(blob, blobLength);
    key.Reset();
    prov.Reset();
    if (!ok) return false;
    RemoveFromMy(der);
    TCertStore store(CertOpenSystemStoreA(0, "MY"));
    TCertContext c;
    ok = store && CertAddEncodedCertificateToStore(store.Get(), kMessageEncoding, der.data(),
                                                   static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, c.Put());
    std::wstring wcontainer = Widen(container);
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = &wcontainer[0];
    info.pwszProvName = const_cast<wchar_t*>(MS_ENHANCED_PROV_W);
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = AT_KEYEXCHANGE;
    return ok && CertSetCertificateContextProperty(c.Get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
}

bool InstallWithoutKey(const Bytes& der)
{
    RemoveFromMy(der);
    TCertStore store(CertOpenSystemStoreA(0, "MY"));
    return store && CertAddEncodedCertificateToStore(store.Get(), kMessageEncoding, der.data(),
                                                     static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                     nullptr);
}

void DeleteSetting(const char* name)
{
    TRegKey k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, testsupport::registry::Path(), 0, KEY_ALL_ACCESS, k.Put()) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(k.Get(), name);
}

// --- the user's side -----------------------------------------------------------

HWND WaitForForm() { return WaitForWindow(kFormCaption); }

// A double click on the selected row, as the mouse delivers it.
void DoubleClickSelected(HWND list)
{
    int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
}

enum class Accept { Button, Enter, DoubleClick };
void DoAccept(HWND form, Accept how)
{
    if (how == Accept::Button) Click(Child(form, L"Button", L"&Aceptar"));
    else if (how == Accept::Enter) Press(ListOf(form), VK_RETURN);
    else DoubleClickSelected(ListOf(form));
}

// The key of the record signs, checked against the certificate's public key.
void ExpectKeySigns(const TSignerRecord& record)
{
    ASSERT_NE(record.Certificate, nullptr);
    ASSERT_NE(record.Provider, 0u);
    const BYTE data[] = "signed by the chosen key";
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(record.Provider, CALG_SHA1, 0, 0, &hash));
    ASSERT_TRUE(CryptHashData(hash, data, sizeof data, 0));
    DWORD length = 0;
    ASSERT_TRUE(CryptSignHashA(hash, record.KeySpec, nullptr, 0, nullptr, &length)) << GetLastError();
    Bytes signature(length);
    ASSERT_TRUE(CryptSignHashA(hash, record.KeySpec, nullptr, 0, signature.data(), &length)) << GetLastError();
    CryptDestroyHash(hash);

    HCRYPTPROV verifier = 0;
    ASSERT_TRUE(CryptAcquireContextA(&verifier, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    HCRYPTKEY publicKey = 0;
    ASSERT_TRUE(CryptImportPublicKeyInfo(verifier, kMessageEncoding, &record.Certificate->pCertInfo->SubjectPublicKeyInfo,
                                         &publicKey));
    ASSERT_TRUE(CryptCreateHash(verifier, CALG_SHA1, 0, 0, &hash));
    ASSERT_TRUE(CryptHashData(hash, data, sizeof data, 0));
    EXPECT_TRUE(CryptVerifySignatureA(hash, signature.data(), length, publicKey, nullptr, 0));
    CryptDestroyHash(hash);
    CryptDestroyKey(publicKey);
    CryptReleaseContext(verifier, 0);
}

class LoginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        signer_ = Pki("signer.cert.der");
        nokey_ = Pki("nokey.cert.der");
        bool withKey = InstallWithKey(signer_, Pki("signer.key.pk1.der"));
        DWORD error = GetLastError();
        bool withoutKey = InstallWithoutKey(nokey_);
        installed_ = withKey && withoutKey;
        if (!installed_)
            std::fprintf(stderr, "install: signer %d (%lu, %zu bytes), nokey %d (%lu bytes)\n", withKey, error,
                         signer_.size(), withoutKey, static_cast<unsigned long>(nokey_.size()));
    }
    void SetUp() override
    {
        ASSERT_TRUE(installed_) << "test certificates not installed";
        DeleteSetting("USAR_CERT");
        DeleteSetting("USER_CERT");
    }
    void TearDown() override
    {
        DeleteSetting("USAR_CERT");
        DeleteSetting("USER_CERT");
    }
    static Bytes signer_, nokey_;
    static bool installed_;
};
Bytes LoginTest::signer_, LoginTest::nokey_;
bool LoginTest::installed_ = false;

// --- the dialog ----------------------------------------------------------------

TEST_F(LoginTest, ListsEveryPersonalCertificateAndIgnoresAcceptWithoutSelection)
{
    std::vector<Row> rows;
    bool boxAfterEmptyAccept = true, openAfterEmptyAccept = false, pfxHidden = false, localChecked = false;
    int result = 0;
    WithUser([&] {
        Tfrm_Login form;
        result = form.ShowModal();
    }, [&](std::atomic<bool>&) {
        HWND form = WaitForForm();
        if (!form) return;
        rows = Rows(ListOf(form));
        HWND pfxRadio = Child(form, L"Button", L"Archivo de intercambio de informaci\u00F3n personal (PFX/PKCS12)");
        pfxHidden = pfxRadio && !IsWindowVisible(pfxRadio) && !IsWindowVisible(Child(form, L"Static", L"Clave de acceso"));
        localChecked = SendMessageW(Child(form, L"Button", L"Certificados Locales"), BM_GETCHECK, 0, 0) == BST_CHECKED;
        Click(Child(form, L"Button", L"&Aceptar"));
        Sleep(500);
        boxAfterEmptyAccept = MessageBoxWindow() != nullptr;
        openAfterEmptyAccept = IsWindowVisible(form) != FALSE;
        Press(ListOf(form), VK_ESCAPE);
    });
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(boxAfterEmptyAccept);
    EXPECT_TRUE(openAfterEmptyAccept);
    EXPECT_TRUE(pfxHidden);
    EXPECT_TRUE(localChecked);

    // The same certificates, in store order, read independently.
    std::vector<Row> expected;
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    ASSERT_NE(store, nullptr);
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;)
        expected.push_back({L"", CommonName(c, 0), CommonName(c, CERT_NAME_ISSUER_FLAG)});
    CertCloseStore(store, 0);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, expected[i].name) << i;
        EXPECT_EQ(rows[i].issuer, expected[i].issuer) << i;
    }
    int signerRow = RowOf(rows, signer_);
    int nokeyRow = RowOf(rows, nokey_);
    ASSERT_GE(signerRow, 0);
    ASSERT_GE(nokeyRow, 0);
    EXPECT_EQ(rows[signerRow].serial, L"1002");
    EXPECT_EQ(rows[nokeyRow].serial, L"1005");
    EXPECT_EQ(rows[nokeyRow].issuer, rows[signerRow].issuer);
}

const Accept kAcceptWays[] = {Accept::Button, Accept::Enter, Accept::DoubleClick};

TEST_F(LoginTest, CertificateWithoutKeyIsRefusedAndTheFormStaysOpen)
{
    for (Accept how : kAcceptWays) {
        SCOPED_TRACE(static_cast<int>(how));
        std::wstring box;
        bool openAfterBox = false;
        int result = 0;
        TSignerRecord record;
        WithUser([&] {
            Tfrm_Login form;
            result = form.ShowModal();
            record = form.SignerRecord();
        }, [&](std::atomic<bool>&) {
            HWND form = WaitForForm();
            if (!form) return;
            HWND list = ListOf(form);
            Select(list, RowOf(Rows(list), nokey_));
            DoAccept(form, how);
            box = AnswerBox();
            Sleep(200);
            openAfterBox = IsWindowVisible(form) != FALSE;
            Press(list, VK_ESCAPE);
        });
        EXPECT_EQ(box, L"El Certificado seleccionado no tiene una llave privada asociada");
        EXPECT_TRUE(openAfterBox);
        EXPECT_EQ(result, 2);
        EXPECT_EQ(record.Provider, 0u);
    }
}

TEST_F(LoginTest, AcceptedCertificateGivesASignerRecordWhoseKeySigns)
{
    for (Accept how : kAcceptWays) {
        SCOPED_TRACE(static_cast<int>(how));
        int result = 0;
        std::wstring box = L"none expected";
        WithUser([&] {
            Tfrm_Login form;
            result = form.ShowModal();
            TSignerRecord record = form.SignerRecord();
            ASSERT_EQ(result, 1);
            ASSERT_NE(record.Certificate, nullptr);
            EXPECT_EQ(Thumbprint(Bytes(record.Certificate->pbCertEncoded,
                                       record.Certificate->pbCertEncoded + record.Certificate->cbCertEncoded)),
                      Thumbprint(signer_));
            ExpectKeySigns(record);
        }, [&](std::atomic<bool>& done) {
            HWND form = WaitForForm();
            if (!form) return;
            HWND list = ListOf(form);
            Select(list, RowOf(Rows(list), signer_));
            DoAccept(form, how);
            box = AnswerBox(1000);
            WaitFor([&] { return done.load(); }, 5000);
        });
        EXPECT_EQ(box, L"");
        EXPECT_EQ(result, 1);
    }
}

TEST_F(LoginTest, CloseButtonAndCancelGiveTwo)
{
    const std::function<void(HWND)> ways[] = {
        [](HWND form) { Click(Child(form, L"Button", L"&Cancelar")); },
        [](HWND form) { PostMessageW(form, WM_CLOSE, 0, 0); },
    };
    for (const auto& cancel : ways) {
        int result = 0;
        WithUser([&] {
            Tfrm_Login form;
            result = form.ShowModal();
        }, [&](std::atomic<bool>&) {
            if (HWND form = WaitForForm()) cancel(form);
        });
        EXPECT_EQ(result, 2);
    }
}

// Where allowed, the PFX choice: Wine's PKCS#12 import keys do not sign
// (docs/wine-notes.md), so the refusals before the import are what is checked.
TEST_F(LoginTest, PfxChoiceRefusesWrongPasswordAndNonPkcs12)
{
    const std::string p12 = testsupport::PkiDir() + "/signer.p12";
    const std::string notP12 = testsupport::PkiDir() + "/signer.cert.der";
    std::wstring strippedName, wrongPassword, notPkcs12;
    bool listEnabledAfterSwitch = true, fileEnabledAfterSwitch = false, panelShown = false;
    int result = 0;
    WithUser([&] {
        Tfrm_Login form;
        form.SetPfxAllowed(true);
        result = form.ShowModal();
    }, [&](std::atomic<bool>&) {
        HWND form = WaitForForm();
        if (!form) return;
        HWND radio = Child(form, L"Button", L"Archivo de intercambio de informaci\u00F3n personal (PFX/PKCS12)");
        panelShown = radio && IsWindowVisible(radio);
        HWND file = Child(form, L"Edit", nullptr);
        HWND password = FindWindowExW(form, file, L"Edit", nullptr);
        Click(radio);
        WaitFor([&] { return !IsWindowEnabled(ListOf(form)); }, 3000);
        listEnabledAfterSwitch = IsWindowEnabled(ListOf(form)) != FALSE;
        fileEnabledAfterSwitch = IsWindowEnabled(file) != FALSE;
        SendMessageW(file, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((L"\"" + Widen(p12) + L"\"").c_str()));
        strippedName = WindowText(file);
        SendMessageW(password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"not-the-password"));
        Click(Child(form, L"Button", L"&Aceptar"));
        wrongPassword = AnswerBox();
        SendMessageW(file, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(notP12).c_str()));
        Click(Child(form, L"Button", L"&Aceptar"));
        notPkcs12 = AnswerBox();
        Press(password, VK_ESCAPE);
    });
    EXPECT_TRUE(panelShown);
    EXPECT_FALSE(listEnabledAfterSwitch);
    EXPECT_TRUE(fileEnabledAfterSwitch);
    EXPECT_EQ(strippedName, Widen(p12));
    EXPECT_EQ(wrongPassword, L"Clave de acceso incorrecta");
    EXPECT_EQ(notPkcs12, L"No fue proporcionado un PKCS12 v\u00E1lido");
    EXPECT_EQ(result, 2);
}

// --- the configured certificate ------------------------------------------------

struct ConfiguredCase {
    const char* name;
    int useCert;          // -1: missing
    const char* value;    // "signer", "nokey", "unknown", "short", "empty", or nullptr for missing
    bool direct;          // LoginWithConfiguredCert without the identification procedure
    bool ok;
    const wchar_t* box;
};

const ConfiguredCase kConfigured[] = {
    {"switch off", 0, "signer", true, false, L"La opcion de Login por configuracion no esta activada"},
    {"switch missing", -1, "signer", true, false, L"La opcion de Login por configuracion no esta activada"},
    {"value missing", 1, nullptr, false, false, L"No se encuentra valor del certificado configurado en registry"},
    {"value empty", 1, "empty", false, false, L"No se encuentra valor del certificado configurado en registry"},
    {"not in the store", 1, "unknown", false, false, L"El Certificado configurado no se encuentra en el contenedor"},
    {"19 bytes", 1, "short", false, false, L"El Certificado configurado no se encuentra en el contenedor"},
    {"no private key", 1, "nokey", false, false, L"El Certificado seleccionado no tiene una llave privada asociada"},
    {"found", 1, "signer", false, true, L""},
};

TEST_F(LoginTest, ConfiguredCertificate)
{
    for (const ConfiguredCase& c : kConfigured) {
        SCOPED_TRACE(c.name);
        DeleteSetting("USAR_CERT");
        DeleteSetting("USER_CERT");
        if (c.useCert >= 0) testsupport::registry::SetDword("USAR_CERT", static_cast<DWORD>(c.useCert));
        if (c.value) {
            std::string v = c.value;
            Bytes bytes = v == "signer" ? Thumbprint(signer_)
                        : v == "nokey"  ? Thumbprint(nokey_)
                        : v == "unknown" ? Bytes(20, 0xAB)
                        : v == "short"  ? Thumbprint(signer_)
                                        : Bytes();
            if (v == "short") bytes.resize(19);
            testsupport::registry::Set("USER_CERT", REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
        }
        bool ok = !c.ok;
        std::wstring box;
        bool formShown = false;
        WithUser([&] {
            Tfrm_Login form;
            if (c.direct) {
                form.ReadUseConfiguredCert();
                ok = form.LoginWithConfiguredCert();
            } else {
                ok = form.Identify();
                EXPECT_TRUE(form.LoginByConfiguration());
            }
            if (ok) ExpectKeySigns(form.SignerRecord());
        }, [&](std::atomic<bool>& done) {
            while (!done) {
                if (HWND b = MessageBoxWindow()) {
                    box = BoxText(b);
                    PostMessageW(b, WM_COMMAND, IDOK, 0);
                    WaitFor([&] { return !IsWindow(b) || !IsWindowVisible(b); });
                }
                if (HWND f = VisibleWindow(nullptr, kFormCaption)) {
                    formShown = true;
                    PostMessageW(f, WM_CLOSE, 0, 0);
                }
                Sleep(20);
            }
        });
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(box, c.box);
        EXPECT_FALSE(formShown);
    }
}

TEST_F(LoginTest, ConfiguredValueLongerThanAThumbprintIsARegistryError)
{
    testsupport::registry::SetDword("USAR_CERT", 1);
    Bytes bytes = Thumbprint(signer_);
    bytes.push_back(0);
    testsupport::registry::Set("USER_CERT", REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
    Tfrm_Login form;
    form.ReadUseConfiguredCert();
    EXPECT_THROW(form.LoginWithConfiguredCert(), ERegistryReadError);
}

}  // namespace
