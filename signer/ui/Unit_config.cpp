#include "signer/ui/Unit_config.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "signer/ui/Unit_login.h"
#include "signer/certs/Unit_uploadkeys.h"
#include "signer/errors.h"
#include "signer/files/file_utils.h"
#include "signer/settings.h"

namespace {

const char* const kWarningTitle = "Aviso";
const int kClientWidth = 355, kClientHeight = 309;
const int kPagesHeight = 249;
const int kButtonWidth = 57, kButtonHeight = 49;

RECT Rect(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

// A check with the edit it enables and their two registry values.
struct TCheckedSetting {
    const char* box;
    const char* edit;
    const char* useValue;
    const char* textValue;
};
const TCheckedSetting kChecked[] = {
    {"CheckBoxAC", "txt_AC", setting::UseCA, setting::CAFile},
    {"CheckBoxCRL", "txt_CRL", setting::UseCRL, setting::CRLFile},
    {"CheckBoxOCSP", "URLocsp", setting::UseOCSP, setting::OCSPUrl},
    {"CheckBoxTSP", "URLtsp", setting::UseTSP, setting::TSPUrl},
};

// What Accept asks of a checked setting's text, in the order of kChecked.
struct TValidation {
    bool file;  // an existing file, else any text but ""
    const char* message;
};
const TValidation kValidations[] = {
    {true, "Debe de proporcionar un archivo válido para el certificado de la AC"},
    {true, "Debe de proporcionar un archivo válido para el CRL"},
    {false, "Debe de proporcionar un URL para el servidor de OCSP"},
    {false, "Debe de proporcionar un URL para el servidor de TSP"},
};

bool AllZero(const unsigned char* bytes, std::size_t count)
{
    return std::all_of(bytes, bytes + count, [](unsigned char b) { return b == 0; });
}

}  // namespace

TForm1::TForm1(void* /*owner*/) : form_("Tavomir - Configuración", 363, 343, "MS Sans Serif", -11)
{
    form_.SetClientSize(kClientWidth, kClientHeight);
    form_.SetMinimizeBox(true);

    form_.AddTabControl("PageControl1", "", Rect(0, 0, kClientWidth, kPagesHeight));
    form_.AddTabPage("TabSheet1", "PageControl1", "Autenticación");
    form_.AddTabPage("TabSheet2", "PageControl1", "OCSP");
    form_.AddTabPage("TabSheet3", "PageControl1", "TSP");
    form_.AddTabPage("TabSheet4", "PageControl1", "Firma");

    form_.AddGroupBox("GroupBox3", "TabSheet1", "Autoridad Certificadora", Rect(8, 32, 339, 96));
    form_.AddCheckBox("CheckBoxAC", "GroupBox3", "Autenticar usando el certificado de la AC", Rect(18, 52, 318, 20));
    form_.AddFileNameEdit("txt_AC", "GroupBox3", Rect(18, 82, 320, 22), ".cer", "certficados (*.cer)|*.cer", true);
    form_.AddGroupBox("GroupBox4", "TabSheet1", "Lista de certificados revocados (CRL)", Rect(8, 138, 339, 96));
    form_.AddCheckBox("CheckBoxCRL", "GroupBox4", "Autenticar usando CRL", Rect(18, 158, 318, 20));
    form_.AddFileNameEdit("txt_CRL", "GroupBox4", Rect(18, 188, 320, 22), ".crl",
                          "Lista de revocados (*.CRL)|*.CRL", true);

    form_.AddCheckBox("CheckBoxOCSP", "TabSheet2", "Revisar certificados usando OCSP", Rect(16, 44, 322, 20));
    form_.AddLabel("Label1", "TabSheet2", "URL del sevidor OCSP", Rect(16, 80, 322, 16));
    form_.AddEdit("URLocsp", "TabSheet2", Rect(16, 98, 322, 22), false);

    form_.AddCheckBox("CheckBoxTSP", "TabSheet3", "Usar servidor de estampillas de tiempo", Rect(16, 44, 322, 20));
    form_.AddLabel("Label2", "TabSheet3", "URL del servidor de estampillas de tiempo", Rect(16, 80, 322, 16));
    form_.AddEdit("URLtsp", "TabSheet3", Rect(16, 98, 322, 22), false);

    form_.AddRadioButton("CheckBoxEach", "TabSheet4", "Elegir certificado y llave privada cada vez ",
                         Rect(16, 36, 322, 20));
    form_.AddRadioButton("CheckBoxAlways", "TabSheet4", "Usar siempre el mismo certificado y llave privada",
                         Rect(16, 58, 322, 20));
    form_.AddLabel("Label3", "TabSheet4", "Certificado en uso", Rect(16, 86, 200, 16));
    form_.AddReportList("ListView1", "TabSheet4", Rect(16, 104, 323, 96),
                        {{"Num Serie", 100}, {"Nombre", 105}, {"Emisor", 100}});
    form_.AddButton("ChooseButton", "TabSheet4", "Elegir certificado", Rect(219, 208, 120, 26));

    const int buttonTop = kPagesHeight + (kClientHeight - kPagesHeight - kButtonHeight) / 2;
    form_.AddButton("RxSpeedButton3", "", "&Aceptar",
                    Rect(kClientWidth - 2 * kButtonWidth - 12, buttonTop, kButtonWidth, kButtonHeight));
    form_.AddButton("RxSpeedButton4", "", "&Cancelar",
                    Rect(kClientWidth - kButtonWidth - 6, buttonTop, kButtonWidth, kButtonHeight));
    form_.SelectPage("TabSheet4");

    form_.OnClick("CheckBoxAC", [this] { CheckBoxACClick(); });
    form_.OnClick("CheckBoxCRL", [this] { CheckBox2Click(); });
    form_.OnClick("RxSpeedButton3", [this] { RxSpeedButton3Click(); });
    form_.OnClick("RxSpeedButton4", [this] { RxSpeedButton4Click(); });
    form_.OnChange("txt_AC", [this] { txt_ACChange(); });
    form_.OnChange("txt_CRL", [this] { txt_CRLChange(); });
    form_.OnClick("CheckBoxOCSP", [this] { CheckBoxOCSPClick(); });
    form_.OnClick("CheckBoxTSP", [this] { CheckBoxTSPClick(); });
    form_.OnClick("ChooseButton", [this] { ChooseButtonClick(); });
    form_.OnClick("CheckBoxEach", [this] { CheckBoxEachClick(); });
    form_.OnClick("CheckBoxAlways", [this] { CheckBoxAlwaysClick(); });
    Load();
}

TForm1::~TForm1() = default;

void TForm1::Load()
{
    TSettingsKey key;
    for (const TCheckedSetting& s : kChecked) form_.SetChecked(s.box, key.ReadSwitch(s.useValue));
    for (const TCheckedSetting& s : kChecked) {
        // The edits start empty: an empty value is no change, so no "Archivo no válido".
        std::string text = key.ReadTextOrEmpty(s.textValue);
        if (text != form_.Text(s.edit)) form_.SetText(s.edit, text);
    }
    bool always = key.ReadSwitch(setting::UseCert);
    form_.SetChecked("CheckBoxAlways", always);
    for (const TCheckedSetting& s : kChecked) form_.SetEnabled(s.edit, form_.Checked(s.box));
    if (always) {
        form_.SetEnabled("ChooseButton", true);
        form_.SetChecked("CheckBoxEach", false);
        // Guarded like the other reads: a bad value must not keep the user out
        // of the dialog that repairs it.
        serie_ = key.ReadTextOrEmpty(setting::Serial);
        nombre_ = key.ReadTextOrEmpty(setting::Name);
        emisor_ = key.ReadTextOrEmpty(setting::Issuer);
        try {
            key.ReadBinary(setting::UserCert, hash_, sizeof hash_);
        } catch (const ERegistryReadError&) {
            std::memset(hash_, 0, sizeof hash_);
        }
        ShowCertificateRow();
        CheckBoxAlwaysClick();
    } else {
        form_.SetEnabled("ChooseButton", false);
        form_.SetChecked("CheckBoxEach", true);
        CheckBoxEachClick();
    }
}

void TForm1::ShowCertificateRow() { form_.ListAdd("ListView1", {serie_, nombre_, emisor_}, nullptr); }

void TForm1::Warn(const char* text) { form_.Message(text, kWarningTitle, MB_ICONSTOP); }

void TForm1::CheckBoxACClick() { form_.SetEnabled("txt_AC", form_.Checked("CheckBoxAC")); }
void TForm1::CheckBox2Click() { form_.SetEnabled("txt_CRL", form_.Checked("CheckBoxCRL")); }
void TForm1::CheckBoxOCSPClick() { form_.SetEnabled("URLocsp", form_.Checked("CheckBoxOCSP")); }
void TForm1::CheckBoxTSPClick() { form_.SetEnabled("URLtsp", form_.Checked("CheckBoxTSP")); }

void TForm1::CheckBoxEachClick()
{
    form_.SetChecked("CheckBoxAlways", false);
    form_.SetEnabled("ChooseButton", false);
    form_.SetEnabled("ListView1", false);
}

void TForm1::CheckBoxAlwaysClick()
{
    form_.SetChecked("CheckBoxEach", false);
    form_.SetEnabled("ChooseButton", true);
    form_.SetEnabled("ListView1", true);
}

bool TForm1::Validate()
{
    for (std::size_t i = 0; i < sizeof kChecked / sizeof kChecked[0]; ++i) {
        if (!form_.Checked(kChecked[i].box)) continue;
        std::string text = form_.Text(kChecked[i].edit);
        if (kValidations[i].file ? !FileExists(text) : text.empty()) {
            Warn(kValidations[i].message);
            return false;
        }
    }
    // A hash of zeros names no certificate: signing would always fail with it.
    if (form_.Checked("CheckBoxAlways") && AllZero(hash_, sizeof hash_)) {
        Warn("Debe seleccionar un certificado");
        return false;
    }
    return true;
}

bool TForm1::Write(const TSettingsKey& key)
{
    auto failed = [this](const char* name) {
        form_.Message(std::string("No se pudo escribir el valor '") + name + "' del registro", "Error",
                      MB_ICONSTOP);
        return false;
    };
    for (const TCheckedSetting& s : kChecked)
        if (!key.WriteSwitch(s.useValue, form_.Checked(s.box))) return failed(s.useValue);
    for (const TCheckedSetting& s : kChecked)
        if (!key.WriteText(s.textValue, form_.Text(s.edit))) return failed(s.textValue);
    bool always = form_.Checked("CheckBoxAlways");
    if (!key.WriteSwitch(setting::UseCert, always)) return failed(setting::UseCert);
    if (!always) return true;
    if (!key.WriteBinary(setting::UserCert, hash_, sizeof hash_)) return failed(setting::UserCert);
    const std::pair<const char*, const std::string*> texts[] = {
        {setting::Serial, &serie_}, {setting::Name, &nombre_}, {setting::Issuer, &emisor_}};
    for (const auto& t : texts)
        if (!key.WriteText(t.first, *t.second)) return failed(t.first);
    return true;
}

void TForm1::RxSpeedButton3Click()
{
    if (!Validate()) return;
    {
        TSettingsKey key;
        if (!Write(key)) return;
    }
    form_.SetModalResult(1);
}

// The caller does not tell accept from cancel.
void TForm1::RxSpeedButton4Click() { form_.SetModalResult(1); }

void TForm1::ChooseButtonClick()
{
    Tfrm_Login login;
    login.SetPfxAllowed(false);  // only the user's "MY" store
    if (login.ShowModal() != 1) {
        Warn("Debe seleccionar un certificado");
        return;
    }
    PCCERT_CONTEXT certificate = login.SignerRecord().Certificate;
    DWORD size = 0;
    if (!certificate || !CertGetCertificateContextProperty(certificate, CERT_HASH_PROP_ID, nullptr, &size) ||
        size < sizeof hash_) {
        Warn("Error obteniendo longitud de la digestion del certificado");
        return;
    }
    std::vector<unsigned char> hash;
    try {
        hash.resize(size);
    } catch (const std::bad_alloc&) {
        Warn("Error reservando memoria para la digestion del certificado");
        return;
    }
    if (!CertGetCertificateContextProperty(certificate, CERT_HASH_PROP_ID, hash.data(), &size) ||
        size < sizeof hash_) {
        Warn("Error obteniendo la digestion del certificado");
        return;
    }
    std::vector<std::string> subject, issuer;
    CertNameToValues(certificate, true, subject);
    CertNameToValues(certificate, false, issuer);
    serie_ = ValueOfKey(subject, "NUMSERIE");
    nombre_ = ValueOfKey(subject, "CN");
    emisor_ = ValueOfKey(issuer, "CN");
    std::memcpy(hash_, hash.data(), sizeof hash_);
    form_.ListClear("ListView1");
    ShowCertificateRow();
}

void TForm1::FileNameChange(const char* edit)
{
    std::string name = form_.Text(edit);
    if (name.empty()) {
        MessageBoxA(nullptr, "Archivo no válido", "Error", MB_OK);
        return;
    }
    if (name.find('"') == std::string::npos) return;
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    form_.SetText(edit, name);
}

void TForm1::txt_ACChange() { FileNameChange("txt_AC"); }
void TForm1::txt_CRLChange() { FileNameChange("txt_CRL"); }
