// The configuration dialog driven like a user from a second thread: what it
// loads from the settings key, what Accept refuses and writes, Cancel and the
// close box, the certificate chosen in the selection dialog and the
// file-name edits.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "signer/ui/Unit_config.h"
#include "tests/support/test_util.h"
#include "tests/support/form_driver.h"
#include "tests/support/installed_signer.h"
#include "tests/support/registry_fixture.h"

namespace {

using namespace testsupport::form;
using testsupport::registry::BinaryValue;
using testsupport::registry::DwordValue;
using testsupport::registry::TextValue;

const wchar_t* const kCaption = L"Tavomir - Configuraci\u00F3n";
const wchar_t* const kLoginCaption = L"Selecci\u00F3n de Certificado";
const wchar_t* const kEach = L"Elegir certificado y llave privada cada vez ";
const wchar_t* const kAlways = L"Usar siempre el mismo certificado y llave privada";
const wchar_t* const kMustChoose = L"Debe seleccionar un certificado";
const wchar_t* const kPages[] = {L"Autenticaci\u00F3n", L"OCSP", L"TSP", L"Firma"};

// The four checks with their edits, in the order of the settings.
const wchar_t* const kChecks[] = {L"Autenticar usando el certificado de la AC", L"Autenticar usando CRL",
                                  L"Revisar certificados usando OCSP", L"Usar servidor de estampillas de tiempo"};
const char* const kSwitchNames[] = {"USAR_AC", "USAR_CRL", "USAR_OCSP", "USAR_TSP"};
const char* const kTextNames[] = {"CERT_AC", "CRL", "URL_OCSP", "URL_TSP"};

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

HWND CheckBox(HWND form, int i) { return Child(form, L"Button", kChecks[i]); }
// The edits in creation order: txt_AC, txt_CRL, URLocsp, URLtsp.
HWND EditOf(HWND form, int i) { return NthChild(form, L"Edit", i); }
HWND Button(HWND form, const wchar_t* caption) { return Child(form, L"Button", caption); }
HWND Tabs(HWND form) { return Child(form, L"SysTabControl32", nullptr); }

// What the user sees, read from the windows.
struct Screen {
    bool checked[4] = {};
    bool editEnabled[4] = {};
    std::wstring text[4];
    bool each = false, always = false, chooseEnabled = false, listEnabled = false;
    std::vector<Row> rows;
    int page = -1;
};

Screen Read(HWND form)
{
    Screen s;
    for (int i = 0; i < 4; ++i) {
        s.checked[i] = IsChecked(CheckBox(form, i));
        s.editEnabled[i] = IsWindowEnabled(EditOf(form, i)) != FALSE;
        s.text[i] = WindowText(EditOf(form, i));
    }
    s.each = IsChecked(Button(form, kEach));
    s.always = IsChecked(Button(form, kAlways));
    s.chooseEnabled = IsWindowEnabled(Button(form, L"Elegir certificado")) != FALSE;
    s.listEnabled = IsWindowEnabled(ListOf(form)) != FALSE;
    s.rows = Rows(ListOf(form));
    s.page = static_cast<int>(SendMessageW(Tabs(form), TCM_GETCURSEL, 0, 0));
    return s;
}

// Sets an edit's text and waits until it is set; no box may come of it.
void Paste(HWND edit, const std::wstring& text)
{
    SetTextAsync(edit, text).join();
}

class ConfigTest : public InstalledSignerTest {
protected:
    void SetUp() override { testsupport::registry::DeleteKey(); }
    void TearDown() override { testsupport::registry::DeleteKey(); }

    // Shows the dialog on this thread while `user` acts; the modal result.
    int Run(const std::function<void(HWND form, std::atomic<bool>& done)>& user)
    {
        int result = 0;
        WithUser([&] {
            try {
                TForm1 dialog;
                result = dialog.ShowModal();
            } catch (const std::exception& e) {
                ADD_FAILURE() << "the dialog failed: " << e.what();
            }
        }, [&](std::atomic<bool>& done) {
            HWND form = WaitForWindow(kCaption);
            if (form) user(form, done);
        });
        return result;
    }

    void FillKey() { testsupport::registry::FillKey(caFile_, storedHash_); }

    const std::string caFile_ = testsupport::PkiDir() + "/ca.cert.der";
    const Bytes storedHash_ = Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10, 0x32,
                                    0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0x00, 0x11, 0x22, 0x33};
};

// --- loading -----------------------------------------------------------------

TEST_F(ConfigTest, EmptyKeyOpensOnFirmaWithDefaultsAndAcceptWritesTheNineValues)
{
    Screen s;
    bool boxWhileLoading = true, onlyFirmaShown = false, ocspShownAfterTab = false, firmaHiddenAfterTab = false;
    int result = Run([&](HWND form, std::atomic<bool>&) {
        Sleep(300);
        boxWhileLoading = MessageBoxWindow(L"Error") != nullptr || MessageBoxWindow() != nullptr;
        s = Read(form);
        onlyFirmaShown = IsWindowVisible(Button(form, kEach)) && !IsWindowVisible(CheckBox(form, 0)) &&
                         !IsWindowVisible(CheckBox(form, 2)) && !IsWindowVisible(EditOf(form, 3));
        ClickTab(Tabs(form), 1);
        WaitFor([&] { return IsWindowVisible(CheckBox(form, 2)) != FALSE; }, 3000);
        ocspShownAfterTab = IsWindowVisible(CheckBox(form, 2)) && IsWindowVisible(EditOf(form, 2));
        firmaHiddenAfterTab = !IsWindowVisible(Button(form, kEach)) && !IsWindowVisible(ListOf(form));
        Click(Button(form, L"&Aceptar"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(boxWhileLoading);
    EXPECT_EQ(s.page, 3);
    EXPECT_TRUE(onlyFirmaShown);
    EXPECT_TRUE(ocspShownAfterTab);
    EXPECT_TRUE(firmaHiddenAfterTab);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(s.checked[i]);
        EXPECT_FALSE(s.editEnabled[i]);
        EXPECT_EQ(s.text[i], L"");
    }
    EXPECT_TRUE(s.each);
    EXPECT_FALSE(s.always);
    EXPECT_FALSE(s.chooseEnabled);
    EXPECT_FALSE(s.listEnabled);
    EXPECT_TRUE(s.rows.empty());

    std::map<std::string, testsupport::registry::Value> expected;
    for (const char* name : kSwitchNames) expected[name] = DwordValue(0);
    for (const char* name : kTextNames) expected[name] = TextValue("");
    expected["USAR_CERT"] = DwordValue(0);
    EXPECT_EQ(testsupport::registry::Values(), expected);
}

TEST_F(ConfigTest, FilledKeyLoadsEveryControlAndAcceptWritesItBack)
{
    FillKey();
    Screen s;
    int result = Run([&](HWND form, std::atomic<bool>&) {
        s = Read(form);
        Click(Button(form, L"&Aceptar"));
    });
    EXPECT_EQ(result, 1);
    const bool checked[] = {true, false, true, true};
    const std::wstring texts[] = {Widen(caFile_), L"C:\\no-such-folder\\lista.crl", L"http://ocsp.example:8080/",
                                  L"http://tsa.example/tsp"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.checked[i], checked[i]);
        EXPECT_EQ(s.editEnabled[i], checked[i]);
        EXPECT_EQ(s.text[i], texts[i]);
    }
    EXPECT_FALSE(s.each);
    EXPECT_TRUE(s.always);
    EXPECT_TRUE(s.chooseEnabled);
    EXPECT_TRUE(s.listEnabled);
    ASSERT_EQ(s.rows.size(), 1u);
    EXPECT_EQ(s.rows[0].serial, L"0A1B");
    EXPECT_EQ(s.rows[0].name, L"Firmante de prueba");
    EXPECT_EQ(s.rows[0].issuer, L"AC de prueba");

    // A switch that is off is not validated: the missing CRL file is kept.
    std::map<std::string, testsupport::registry::Value> expected = {
        {"USAR_AC", DwordValue(1)},
        {"USAR_CRL", DwordValue(0)},
        {"USAR_OCSP", DwordValue(1)},
        {"USAR_TSP", DwordValue(1)},
        {"CERT_AC", TextValue(caFile_)},
        {"CRL", TextValue("C:\\no-such-folder\\lista.crl")},
        {"URL_OCSP", TextValue("http://ocsp.example:8080/")},
        {"URL_TSP", TextValue("http://tsa.example/tsp")},
        {"USAR_CERT", DwordValue(1)},
        {"USER_CERT", BinaryValue(storedHash_)},
        {"SERIE", TextValue("0A1B")},
        {"NOMBRE", TextValue("Firmante de prueba")},
        {"EMISOR", TextValue("AC de prueba")},
    };
    EXPECT_EQ(testsupport::registry::Values(), expected);
}

// Values of the wrong type fall back one by one; the display texts and the
// hash too, so the dialog that repairs them still opens. With no usable hash
// Accept refuses the configured certificate and writes nothing.
TEST_F(ConfigTest, BadValuesFallBackAndAZeroHashIsRefused)
{
    testsupport::registry::SetText("USAR_AC", "1");
    testsupport::registry::SetDword("USAR_CRL", 1);
    testsupport::registry::SetDword("CERT_AC", 7);
    testsupport::registry::SetText("CRL", caFile_);
    testsupport::registry::SetDword("USAR_CERT", 1);
    Bytes longHash(21, 0x5A);
    testsupport::registry::Set("USER_CERT", REG_BINARY, longHash.data(), static_cast<DWORD>(longHash.size()));
    testsupport::registry::SetDword("SERIE", 3);
    testsupport::registry::Set("NOMBRE", REG_BINARY, "ab", 2);
    testsupport::registry::SetText("EMISOR", "AC de prueba");
    auto before = testsupport::registry::Values();

    Screen s;
    Box refusal;
    bool openAfterRefusal = false;
    int result = Run([&](HWND form, std::atomic<bool>&) {
        s = Read(form);
        Click(Button(form, L"&Aceptar"));
        refusal = AnswerBoxOf(L"Aviso");
        Sleep(200);
        openAfterRefusal = IsWindowVisible(form) != FALSE;
        Click(Button(form, L"&Cancelar"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(s.checked[0]);
    EXPECT_TRUE(s.checked[1]);
    EXPECT_EQ(s.text[0], L"");
    EXPECT_EQ(s.text[1], Widen(caFile_));
    EXPECT_TRUE(s.always);
    ASSERT_EQ(s.rows.size(), 1u);
    EXPECT_EQ(s.rows[0].serial, L"");
    EXPECT_EQ(s.rows[0].name, L"");
    EXPECT_EQ(s.rows[0].issuer, L"AC de prueba");
    EXPECT_EQ(refusal.text, kMustChoose);
    EXPECT_TRUE(refusal.icon);
    EXPECT_TRUE(openAfterRefusal);
    EXPECT_EQ(testsupport::registry::Values(), before);
}

// --- accept ------------------------------------------------------------------

// Each refusal in turn, in order, nothing written until the last is mended.
TEST_F(ConfigTest, AcceptValidatesInOrderAndWritesNothingUntilValid)
{
    for (const char* name : kSwitchNames) testsupport::registry::SetDword(name, 1);
    testsupport::registry::SetText("CERT_AC", "C:\\no-such-folder\\ac.cer");
    testsupport::registry::SetText("CRL", testsupport::PkiDir());  // a folder is no file
    auto before = testsupport::registry::Values();

    const wchar_t* const expectedBoxes[] = {
        L"Debe de proporcionar un archivo v\u00E1lido para el certificado de la AC",
        L"Debe de proporcionar un archivo v\u00E1lido para el CRL",
        L"Debe de proporcionar un URL para el servidor de OCSP",
        L"Debe de proporcionar un URL para el servidor de TSP",
        kMustChoose,
    };
    std::vector<Box> boxes;
    std::vector<std::map<std::string, testsupport::registry::Value>> afterEach;
    std::vector<bool> openAfterEach;
    int result = Run([&](HWND form, std::atomic<bool>&) {
        auto refuse = [&] {
            Click(Button(form, L"&Aceptar"));
            boxes.push_back(AnswerBoxOf(L"Aviso"));
            Sleep(100);
            openAfterEach.push_back(IsWindowVisible(form) != FALSE);
            afterEach.push_back(testsupport::registry::Values());
        };
        refuse();
        Paste(EditOf(form, 0), Widen(caFile_));
        refuse();
        Paste(EditOf(form, 1), Widen(caFile_));  // any existing file passes
        refuse();
        Paste(EditOf(form, 2), L"http://ocsp.example/");
        refuse();
        Paste(EditOf(form, 3), L"http://tsa.example/");
        Click(Button(form, kAlways));
        refuse();
        Click(Button(form, kEach));
        Click(Button(form, L"&Aceptar"));
    });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(boxes.size(), 5u);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(boxes[i].text, expectedBoxes[i]);
        EXPECT_TRUE(boxes[i].icon);
        EXPECT_TRUE(openAfterEach[i]);
        EXPECT_EQ(afterEach[i], before);
    }
    std::map<std::string, testsupport::registry::Value> expected = {
        {"USAR_AC", DwordValue(1)},
        {"USAR_CRL", DwordValue(1)},
        {"USAR_OCSP", DwordValue(1)},
        {"USAR_TSP", DwordValue(1)},
        {"CERT_AC", TextValue(caFile_)},
        {"CRL", TextValue(caFile_)},
        {"URL_OCSP", TextValue("http://ocsp.example/")},
        {"URL_TSP", TextValue("http://tsa.example/")},
        {"USAR_CERT", DwordValue(0)},
    };
    EXPECT_EQ(testsupport::registry::Values(), expected);
}

// Picks the installed signer in the selection dialog that the choose button opens.
// pfxHidden: whether the PKCS#12 choice was hidden in it.
bool ChooseSigner(HWND form, const Bytes& signerDer, bool* pfxHidden = nullptr)
{
    Click(Button(form, L"Elegir certificado"));
    HWND login = WaitForWindow(kLoginCaption);
    if (!login) return false;
    HWND pfx = Child(login, L"Button", L"Archivo de intercambio de informaci\u00F3n personal (PFX/PKCS12)");
    if (pfxHidden) *pfxHidden = pfx && !IsWindowVisible(pfx);
    HWND list = ListOf(login);
    Select(list, RowOf(Rows(list), signerDer));
    Click(Child(login, L"Button", L"&Aceptar"));
    return WaitFor([&] { return !IsWindow(login) || !IsWindowVisible(login); }, 5000);
}

// The configured certificate goes only with "always": a certificate chosen
// and then given up for "each" leaves the stored one for later.
TEST_F(ConfigTest, SwitchingToEachWritesUseCertOffAndKeepsTheConfiguredCertificate)
{
    FillKey();
    bool chosen = false, chooseAfter = true, listAfter = true, alwaysAfter = true;
    int result = Run([&](HWND form, std::atomic<bool>&) {
        chosen = ChooseSigner(form, signerDer_);
        WaitFor([&] { return Rows(ListOf(form)).size() == 1 && Rows(ListOf(form))[0].serial == L"1002"; }, 3000);
        Click(Button(form, kEach));
        WaitFor([&] { return !IsWindowEnabled(ListOf(form)); }, 3000);
        chooseAfter = IsWindowEnabled(Button(form, L"Elegir certificado")) != FALSE;
        listAfter = IsWindowEnabled(ListOf(form)) != FALSE;
        alwaysAfter = IsChecked(Button(form, kAlways));
        Click(Button(form, L"&Aceptar"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(chosen);
    EXPECT_FALSE(chooseAfter);
    EXPECT_FALSE(listAfter);
    EXPECT_FALSE(alwaysAfter);
    auto values = testsupport::registry::Values();
    EXPECT_EQ(values["USAR_CERT"], DwordValue(0));
    EXPECT_EQ(values["USER_CERT"], BinaryValue(storedHash_));
    EXPECT_EQ(values["SERIE"], TextValue("0A1B"));
    EXPECT_EQ(values["NOMBRE"], TextValue("Firmante de prueba"));
    EXPECT_EQ(values["EMISOR"], TextValue("AC de prueba"));
}

TEST_F(ConfigTest, AlwaysWithoutACertificateIsRefused)
{
    Box box;
    bool open = false;
    int result = Run([&](HWND form, std::atomic<bool>&) {
        Click(Button(form, kAlways));
        Click(Button(form, L"&Aceptar"));
        box = AnswerBoxOf(L"Aviso");
        Sleep(100);
        open = IsWindowVisible(form) != FALSE;
        PostMessageW(form, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(box.text, kMustChoose);
    EXPECT_TRUE(box.icon);
    EXPECT_TRUE(open);
    EXPECT_TRUE(testsupport::registry::Values().empty());
}

// --- cancel ------------------------------------------------------------------

TEST_F(ConfigTest, CancelAndTheCloseBoxWriteNothing)
{
    struct Way {
        const char* name;
        int result;
        std::function<void(HWND)> close;
    };
    const Way ways[] = {
        {"cancel", 1, [](HWND form) { Click(Button(form, L"&Cancelar")); }},
        {"close box", 2, [](HWND form) { PostMessageW(form, WM_CLOSE, 0, 0); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        FillKey();
        auto before = testsupport::registry::Values();
        int result = Run([&](HWND form, std::atomic<bool>&) {
            Click(CheckBox(form, 0));
            Click(CheckBox(form, 1));
            Paste(EditOf(form, 2), L"http://changed.example/");
            Click(Button(form, kEach));
            Sleep(200);
            way.close(form);
        });
        EXPECT_EQ(result, way.result);
        EXPECT_EQ(testsupport::registry::Values(), before);
    }
}

// --- choosing the certificate --------------------------------------------------

TEST_F(ConfigTest, ChosenCertificateIsShownAndWrittenOnAccept)
{
    FindSigner();
    const std::wstring name = CommonName(certificate_.Get(), 0);
    const std::wstring issuer = CommonName(certificate_.Get(), CERT_NAME_ISSUER_FLAG);
    ASSERT_FALSE(name.empty());
    Bytes thumbprint;
    ASSERT_TRUE(fixture::ParseHex(thumbprint_, thumbprint));

    // The same choice, accepted and then cancelled.
    for (bool accept : {true, false}) {
        SCOPED_TRACE(accept ? "accept" : "cancel");
        testsupport::registry::DeleteKey();
        std::vector<Row> rows;
        bool pfxHidden = false, loginClosed = false;
        int result = Run([&](HWND form, std::atomic<bool>&) {
            Click(Button(form, kAlways));
            loginClosed = ChooseSigner(form, signerDer_, &pfxHidden);
            WaitFor([&] { return SendMessageW(ListOf(form), LVM_GETITEMCOUNT, 0, 0) == 1; }, 3000);
            rows = Rows(ListOf(form));
            Click(Button(form, accept ? L"&Aceptar" : L"&Cancelar"));
        });
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(pfxHidden);
        EXPECT_TRUE(loginClosed);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].serial, L"1002");
        EXPECT_EQ(rows[0].name, name);
        EXPECT_EQ(rows[0].issuer, issuer);
        auto values = testsupport::registry::Values();
        if (!accept) {
            EXPECT_TRUE(values.empty());
            continue;
        }
        EXPECT_EQ(values["USAR_CERT"], DwordValue(1));
        EXPECT_EQ(values["USER_CERT"], BinaryValue(thumbprint));
        EXPECT_EQ(values["SERIE"], TextValue("1002"));
        EXPECT_EQ(values["NOMBRE"], TextValue(std::string(name.begin(), name.end())));
        EXPECT_EQ(values["EMISOR"], TextValue(std::string(issuer.begin(), issuer.end())));
    }
}

TEST_F(ConfigTest, SelectionCancelledLeavesTheCertificateAsItWas)
{
    FillKey();
    Box box;
    std::vector<Row> rows;
    int result = Run([&](HWND form, std::atomic<bool>&) {
        Click(Button(form, L"Elegir certificado"));
        HWND login = WaitForWindow(kLoginCaption);
        if (!login) return;
        Click(Child(login, L"Button", L"&Cancelar"));
        box = AnswerBoxOf(L"Aviso");
        rows = Rows(ListOf(form));
        Click(Button(form, L"&Aceptar"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(box.text, kMustChoose);
    EXPECT_TRUE(box.icon);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].serial, L"0A1B");
    auto values = testsupport::registry::Values();
    EXPECT_EQ(values["USER_CERT"], BinaryValue(storedHash_));
    EXPECT_EQ(values["SERIE"], TextValue("0A1B"));
}

// --- file-name edits -----------------------------------------------------------

TEST_F(ConfigTest, FileNameEditsDropQuotesAndRefuseAnEmptyName)
{
    for (int edit : {0, 1}) {
        SCOPED_TRACE(edit);
        testsupport::registry::DeleteKey();
        testsupport::registry::SetDword(kSwitchNames[edit], 1);
        std::wstring stripped;
        Box empty, again;
        int result = Run([&](HWND form, std::atomic<bool>&) {
            ClickTab(Tabs(form), 0);
            HWND e = EditOf(form, edit);
            Paste(e, L"\"C:\\Archivos de prueba\\\"lista\".cer\"");
            stripped = WindowText(e);
            DeleteAllText(e);
            empty = AnswerBoxOf(L"Error");
            DeleteAllText(e);  // already empty: no change, no box
            again = AnswerBoxOf(L"Error", 1000);
            Click(Button(form, L"&Cancelar"));
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(stripped, L"C:\\Archivos de prueba\\lista.cer");
        EXPECT_TRUE(empty.shown);
        EXPECT_EQ(empty.text, L"Archivo no v\u00E1lido");
        EXPECT_FALSE(empty.icon);
        EXPECT_FALSE(again.shown);
    }
}

// The captions of the form, its pages and its controls.
TEST_F(ConfigTest, CaptionsAndLayout)
{
    std::vector<std::wstring> pages;
    std::vector<std::pair<std::wstring, int>> columns;
    std::vector<std::wstring> missing;
    RECT client{};
    LONG_PTR style = 0;
    Run([&](HWND form, std::atomic<bool>&) {
        GetClientRect(form, &client);
        style = GetWindowLongPtrW(form, GWL_STYLE);
        HWND tabs = Tabs(form);
        int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[64] = {};
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = 64;
            SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
            pages.push_back(text);
        }
        for (int i = 0; i < 3; ++i) {
            wchar_t text[64] = {};
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = text;
            column.cchTextMax = 64;
            SendMessageW(ListOf(form), LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
            columns.push_back({text, column.cx});
        }
        const std::pair<const wchar_t*, const wchar_t*> controls[] = {
            {L"Button", L"Autoridad Certificadora"},
            {L"Button", L"Lista de certificados revocados (CRL)"},
            {L"Static", L"URL del sevidor OCSP"},
            {L"Static", L"URL del servidor de estampillas de tiempo"},
            {L"Static", L"Certificado en uso"},
            {L"Button", L"&Cancelar"},
        };
        for (const auto& c : controls)
            if (!Child(form, c.first, c.second)) missing.push_back(c.second);
        for (int i = 0; i < 4; ++i)
            if (!CheckBox(form, i)) missing.push_back(kChecks[i]);
        Click(Button(form, L"&Cancelar"));
    });
    EXPECT_EQ(client.right - client.left, 355);
    EXPECT_EQ(client.bottom - client.top, 309);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    ASSERT_EQ(pages.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pages[i], kPages[i]);
    const std::pair<std::wstring, int> expectedColumns[] = {{L"Num Serie", 100}, {L"Nombre", 105}, {L"Emisor", 100}};
    ASSERT_EQ(columns.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(columns[i], expectedColumns[i]);
    EXPECT_TRUE(missing.empty()) << missing.size();
}

}  // namespace
