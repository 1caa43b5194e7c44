// Makes the documentation's pictures of the two dialogs: the configuration
// dialog's four pages (config-<page>.png) and the certificate selection with
// its list filled (login.png), into the folder named by the first argument.
// Run by scripts/screenshots.sh under Wine in a virtual display.
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "core/der/bytes.h"
#include "platform/owner.h"
#include "signer/ui/Unit_config.h"
#include "signer/ui/Unit_login.h"
#include "tests/support/form_driver.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"
#include "tools/fixture/fixture.h"

namespace {

using namespace testsupport::form;

const char* const kPageFiles[] = {"autenticacion", "ocsp", "tsp", "firma"};

struct TInstalled {
    fixture::Bytes signer, nokey;
    std::string signerThumbprint, nokeyThumbprint;
};

bool Install(TInstalled& installed, std::string& error)
{
    const std::string pki = testsupport::PkiDir() + "/";
    fixture::Bytes key;
    bool ok = fixture::ReadFile(pki + "signer.cert.der", installed.signer, error) &&
              fixture::ReadFile(pki + "nokey.cert.der", installed.nokey, error) &&
              fixture::ReadFile(pki + "signer.key.pk1.der", key, error) &&
              fixture::Thumbprint(installed.signer, installed.signerThumbprint, error) &&
              fixture::Thumbprint(installed.nokey, installed.nokeyThumbprint, error) &&
              fixture::InstallWithKey(installed.signer, key, fixture::DefaultContainer(installed.signerThumbprint),
                                      error) &&
              fixture::InstallWithoutKey(installed.nokey, error);
    if (!key.empty()) FillBytes(key.data(), 0, key.size());
    return ok;
}

void Uninstall(const TInstalled& installed)
{
    bool found = false;
    std::string error;
    if (!installed.signerThumbprint.empty()) fixture::Remove(installed.signerThumbprint, found, error);
    if (!installed.nokeyThumbprint.empty()) fixture::Remove(installed.nokeyThumbprint, found, error);
}

// The settings the pictures show: every value set, with the signer's names.
void FillSettings(const fixture::Bytes& signer)
{
    namespace registry = testsupport::registry;
    registry::DeleteKey();
    registry::FillKey("C:\\Tavomir\\ca.cer", {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10, 0x32,
                                            0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0x00, 0x11, 0x22, 0x33});
    registry::SetText("CRL", "C:\\Tavomir\\lista.crl");
    registry::SetText("SERIE", "1002");
    TCertContext certificate(
        CertCreateCertificateContext(kMessageEncoding, signer.data(), static_cast<DWORD>(signer.size())));
    if (!certificate) return;
    const std::wstring name = CommonName(certificate.Get(), 0);
    const std::wstring issuer = CommonName(certificate.Get(), CERT_NAME_ISSUER_FLAG);
    registry::SetText("NOMBRE", std::string(name.begin(), name.end()));
    registry::SetText("EMISOR", std::string(issuer.begin(), issuer.end()));
}

bool ConfigurationPages(const std::string& folder)
{
    const wchar_t* const caption = L"Tavomir - Configuraci\u00F3n";
    int saved = 0;
    WithUser([] {
        TForm1 dialog;
        dialog.ShowModal();
    }, [&](std::atomic<bool>&) {
        HWND form = WaitForWindow(caption);
        if (!form) return;
        HWND tabs = Child(form, L"SysTabControl32", nullptr);
        SetForegroundWindow(form);
        for (int page = 0; page < 4; ++page) {
            ClickTab(tabs, page);
            WaitFor([&] { return SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == page; }, 3000);
            Sleep(800);
            const std::string path = folder + "/config-" + kPageFiles[page] + ".png";
            if (SaveWindowImage(form, path)) ++saved;
            else std::fprintf(stderr, "screenshots: %s not saved\n", path.c_str());
        }
        Click(Child(form, L"Button", L"&Cancelar"));
    });
    return saved == 4;
}

bool CertificateSelection(const std::string& folder, const fixture::Bytes& signer)
{
    bool saved = false;
    WithUser([] {
        Tfrm_Login form;
        form.ShowModal();
    }, [&](std::atomic<bool>&) {
        HWND form = WaitForWindow(L"Selecci\u00F3n de Certificado");
        if (!form) return;
        HWND list = ListOf(form);
        Select(list, RowOf(Rows(list), signer));
        SetForegroundWindow(form);
        Sleep(1000);
        saved = SaveWindowImage(form, folder + "/login.png");
        Press(list, VK_ESCAPE);
    });
    if (!saved) std::fprintf(stderr, "screenshots: login.png not saved\n");
    return saved;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: doc_screenshots FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    TInstalled installed;
    std::string error;
    bool ok = Install(installed, error);
    if (!ok) std::fprintf(stderr, "screenshots: install failed: %s\n", error.c_str());
    if (ok) {
        FillSettings(installed.signer);
        ok = ConfigurationPages(folder);
        testsupport::registry::DeleteKey();
        ok = CertificateSelection(folder, installed.signer) && ok;
    }
    Uninstall(installed);
    return ok ? 0 : 1;
}
