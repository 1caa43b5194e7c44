#include "signer/ui/Unit_login.h"

#include <cryptuiapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/der/bytes.h"
#include "platform/capi_handles.h"
#include "signer/certs/Unit_uploadkeys.h"
#include "signer/errors.h"
#include "signer/settings.h"

namespace {

const char* const kWarningTitle = "Aviso";
const int kWidth = 338, kHeight = 305;
const int kClientWidth = 330, kClientHeight = 276;
const int kTopPanel = 63, kRadioPanel = 19, kPfxPanel = 88;

using ViewCertificateFn = BOOL(WINAPI*)(PCCRYPTUI_VIEWCERTIFICATE_STRUCTA, BOOL*);

// The certificate viewer, process-wide: every form loads it anew.
std::unique_ptr<TSystemLibrary> gCryptUi;
ViewCertificateFn gViewCertificate = nullptr;

RECT Rect(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

std::vector<BYTE> ReadWholeFile(const std::string& path)
{
    TFile file(std::fopen(path.c_str(), "rb"));
    if (!file) throw EFileOpenError("No se puede abrir el archivo " + path);
    std::vector<BYTE> data;
    BYTE chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.Get())) > 0) data.insert(data.end(), chunk, chunk + n);
    if (std::ferror(file.Get())) throw EFileOpenError("No se puede leer el archivo " + path);
    return data;
}

}  // namespace

Tfrm_Login::Tfrm_Login(void* /*owner*/) : form_("Selección de Certificado", kWidth, kHeight, "Arial")
{
    form_.AddPanel("Panel5", "");
    form_.AddButton("btn_ok", "Panel5", "&Aceptar", Rect(kClientWidth - 176, 16, 80, 30));
    form_.AddButton("btn_cancel", "Panel5", "&Cancelar", Rect(kClientWidth - 88, 16, 80, 30));
    form_.AddPanel("Panel1", "");
    form_.AddPanel("Panel3", "Panel1");
    form_.AddPanel("Panel4", "Panel3");
    form_.AddRadioButton("RadioButton1", "Panel4", "Certificados Locales", Rect(4, kTopPanel, 300, kRadioPanel));
    form_.AddReportList("ListView1", "Panel3",
                        Rect(0, kTopPanel + kRadioPanel, kClientWidth, kClientHeight - kTopPanel - kRadioPanel),
                        {{"Num Serie", 100}, {"Nombre", 110}, {"Emisor", 110}});
    form_.AddPopupItem("ListView1", "V1", "Ver Certificado");
    form_.AddPanel("Panel_PKCS12", "Panel1");
    const int pfxTop = kClientHeight - kPfxPanel;
    form_.AddRadioButton("RadioButton2", "Panel_PKCS12",
                         "Archivo de intercambio de información personal (PFX/PKCS12)",
                         Rect(4, pfxTop + 2, kClientWidth - 8, 18));
    form_.AddFileNameEdit("txt_P12", "Panel_PKCS12", Rect(4, pfxTop + 24, kClientWidth - 8, 22), ".pfx",
                          "PFX (*.pfx, *.p12)|*.pfx;*.p12");
    form_.AddLabel("Label1", "Panel_PKCS12", "Clave de acceso", Rect(4, pfxTop + 54, 100, 16));
    form_.AddEdit("txt_Pwd_P12", "Panel_PKCS12", Rect(108, pfxTop + 52, kClientWidth - 112, 22), true);
    form_.SetChecked("RadioButton1", true);

    form_.OnShow([this] { FormShow(); });
    form_.OnKeyDown([this](WORD key) { return FormKeyDown(key); });
    form_.OnClick("RadioButton1", [this] { RadioButton1Click(); });
    form_.OnClick("RadioButton2", [this] { RadioButton2Click(); });
    form_.OnClick("btn_ok", [this] { btn_okClick(); });
    form_.OnClick("btn_cancel", [this] { btn_cancelClick(); });
    form_.OnDblClick("ListView1", [this] { ListView1DblClick(); });
    form_.OnChange("txt_P12", [this] { txt_P12Change(); });
    form_.OnAfterDialog("txt_P12", [this] { txt_P12AfterDialog(); });
    form_.OnClick("V1", [this] { V1Click(); });
    FormCreate();
}

Tfrm_Login::~Tfrm_Login() { FormDestroy(); }

void Tfrm_Login::FormCreate()
{
    pfxBuffer_.clear();
    store_.Reset(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, kMessageEncoding, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
    gCryptUi = std::make_unique<TSystemLibrary>("cryptui.dll");
    gViewCertificate = gCryptUi->ProcAs<ViewCertificateFn>("CryptUIDlgViewCertificateA");
}

void Tfrm_Login::FreeListContexts()
{
    form_.ListClear("ListView1");
    listContexts_.clear();
}

void Tfrm_Login::FormDestroy()
{
    if (!pfxBuffer_.empty()) FillBytes(pfxBuffer_.data(), 0, pfxBuffer_.size());
    pfxBuffer_.clear();
    pfxBlob_ = CRYPT_DATA_BLOB{};
    certificate_ = nullptr;
    form_.ListClear("ListView1");
    // The key, the contexts and the store go with the form, in the order
    // of their declaration.
    gCryptUi.reset();
    gViewCertificate = nullptr;
}

void Tfrm_Login::FormShow()
{
    form_.SetVisible("Panel_PKCS12", pfxAllowed_);
    const int listTop = kTopPanel + kRadioPanel;
    const int listBottom = pfxAllowed_ ? kClientHeight - kPfxPanel : kClientHeight;
    form_.SetBounds("ListView1", RECT{0, listTop, kClientWidth, listBottom});
    certificate_ = nullptr;
    FreeListContexts();
    if (store_) {
        PCCERT_CONTEXT cursor = nullptr;
        while ((cursor = CertEnumCertificatesInStore(store_.Get(), cursor)) != nullptr) {
            std::vector<std::string> subject, issuer;
            CertNameToValues(cursor, true, subject);
            CertNameToValues(cursor, false, issuer);
            listContexts_.emplace_back(CertDuplicateCertificateContext(cursor));
            PCCERT_CONTEXT duplicate = listContexts_.back().Get();
            form_.ListAdd("ListView1",
                          {ValueOfKey(subject, "NUMSERIE"), ValueOfKey(subject, "CN"), ValueOfKey(issuer, "CN")},
                          const_cast<CERT_CONTEXT*>(duplicate));
        }
    }
    UpdateControls();
}

void Tfrm_Login::UpdateControls()
{
    bool store = form_.Checked("RadioButton1");
    bool pfx = form_.Checked("RadioButton2");
    form_.SetEnabled("ListView1", store);
    form_.SetEnabled("txt_P12", pfx);
    form_.SetEnabled("txt_Pwd_P12", pfx);
}

bool Tfrm_Login::FormKeyDown(WORD key)
{
    if (key == VK_RETURN) {
        btn_okClick();
        return true;
    }
    if (key == VK_ESCAPE) {
        btn_cancelClick();
        return true;
    }
    return false;
}

void Tfrm_Login::RadioButton1Click()
{
    form_.SetChecked("RadioButton2", !form_.Checked("RadioButton1"));
    UpdateControls();
}

void Tfrm_Login::RadioButton2Click()
{
    form_.SetChecked("RadioButton1", !form_.Checked("RadioButton2"));
    UpdateControls();
}

void Tfrm_Login::Warn(const char* text) { form_.Message(text, kWarningTitle, MB_ICONERROR); }

void Tfrm_Login::btn_okClick()
{
    if (form_.Checked("RadioButton2")) {
        try {
            AcceptFromPfx();
        } catch (const ETavomirError& e) {
            Warn(e.what());
        }
    } else {
        AcceptFromStore();
    }
}

void Tfrm_Login::AcceptFromStore()
{
    int index = form_.ListSelected("ListView1");
    if (index < 0) return;
    PCCERT_CONTEXT chosen = static_cast<PCCERT_CONTEXT>(form_.ListData("ListView1", index));
    if (!chosen) return;
    certificate_ = chosen;
    if (!key_.Acquire(certificate_, 0)) {
        Warn("El Certificado seleccionado no tiene una llave privada asociada");
        return;
    }
    form_.SetModalResult(1);
}

void Tfrm_Login::AcceptFromPfx()
{
    std::string text = form_.Text("txt_Pwd_P12");
    std::wstring password;
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n > 0) {
        password.assign(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &password[0], n);
    }
    struct Wipe {
        std::string& a;
        std::wstring& b;
        ~Wipe()
        {
            if (!a.empty()) FillBytes(&a[0], 0, a.size());
            if (!b.empty()) FillBytes(&b[0], 0, b.size() * sizeof(wchar_t));
        }
    } wipe{text, password};

    std::vector<BYTE> bytes = ReadWholeFile(form_.Text("txt_P12"));
    if (!pfxBuffer_.empty()) FillBytes(pfxBuffer_.data(), 0, pfxBuffer_.size());
    pfxBuffer_.swap(bytes);
    pfxBlob_.cbData = static_cast<DWORD>(pfxBuffer_.size());
    pfxBlob_.pbData = pfxBuffer_.data();
    if (!PFXIsPFXBlob(&pfxBlob_)) {
        Warn("No fue proporcionado un PKCS12 válido");
        return;
    }
    if (!PFXVerifyPassword(&pfxBlob_, password.c_str(), 0)) {
        Warn("Clave de acceso incorrecta");
        return;
    }
    TCertStoreForceClose imported(PFXImportCertStore(&pfxBlob_, password.c_str(), CRYPT_EXPORTABLE));
    if (!imported) {
        Warn("Error al abrir el PKCS12");
        return;
    }
    TCertContext found;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(imported.Get(), c)) != nullptr;) {
        if (key_.Acquire(c, CRYPT_ACQUIRE_SILENT_FLAG)) {
            found.Reset(c);
            break;
        }
    }
    if (!found) {
        Warn("No se encontró ningún certificado con llave privada asociada");
        return;
    }
    // The list's duplicates and any owned context go before the forced close of "MY".
    certificate_ = nullptr;
    FreeListContexts();
    owned_ = std::move(found);
    store_ = std::move(imported);
    certificate_ = owned_.Get();
    form_.SetModalResult(1);
}

void Tfrm_Login::btn_cancelClick() { form_.SetModalResult(2); }

void Tfrm_Login::ListView1DblClick() { btn_okClick(); }

void Tfrm_Login::txt_P12Change()
{
    std::string name = form_.Text("txt_P12");
    if (name.find('"') == std::string::npos) return;
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    form_.SetText("txt_P12", name);
}

void Tfrm_Login::txt_P12AfterDialog() { form_.Focus("txt_Pwd_P12"); }

void Tfrm_Login::V1Click()
{
    int index = form_.ListSelected("ListView1");
    if (index < 0 || !gViewCertificate) return;
    CRYPTUI_VIEWCERTIFICATE_STRUCTA view{};
    view.dwSize = sizeof view;
    view.hwndParent = form_.Handle();
    view.szTitle = "Certificado";
    view.pCertContext = static_cast<PCCERT_CONTEXT>(form_.ListData("ListView1", index));
    BOOL changed = FALSE;
    gViewCertificate(&view, &changed);
}

void Tfrm_Login::ReadUseConfiguredCert()
{
    TSettingsKey key;
    loginByConfiguration_ = key.ReadSwitch(setting::UseCert);
}

bool Tfrm_Login::LoginWithConfiguredCert()
{
    if (!loginByConfiguration_) {
        Warn("La opcion de Login por configuracion no esta activada");
        return false;
    }
    unsigned char thumbprint[20] = {};
    std::size_t read = 0;
    {
        TSettingsKey key;
        read = key.ReadBinary(setting::UserCert, thumbprint, sizeof thumbprint);
    }
    if (read == 0) {
        Warn("No se encuentra valor del certificado configurado en registry");
        return false;
    }
    // A shorter value is no thumbprint: no certificate can match it.
    if (read != sizeof thumbprint || !store_) {
        Warn("El Certificado configurado no se encuentra en el contenedor");
        return false;
    }
    CRYPT_HASH_BLOB blob{sizeof thumbprint, thumbprint};
    owned_.Reset(CertFindCertificateInStore(store_.Get(), kMessageEncoding, 0, CERT_FIND_SHA1_HASH, &blob, nullptr));
    if (!owned_) {
        Warn("El Certificado configurado no se encuentra en el contenedor");
        return false;
    }
    certificate_ = owned_.Get();
    if (!key_.Acquire(certificate_, 0)) {
        Warn("El Certificado seleccionado no tiene una llave privada asociada");
        return false;
    }
    return true;
}

bool Tfrm_Login::Identify()
{
    ReadUseConfiguredCert();
    if (loginByConfiguration_) return LoginWithConfiguredCert();
    return ShowModal() == 1;
}

TSignerRecord Tfrm_Login::SignerRecord() const
{
    TSignerRecord record;
    record.Certificate = certificate_;
    record.Provider = key_.Provider();
    record.KeySpec = key_.KeySpec();
    record.CallerMustFree = key_.CallerFrees();
    return record;
}
