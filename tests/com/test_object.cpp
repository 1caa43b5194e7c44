// The object through its vtable and through IDispatch, and the type library
// that describes it.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <cwctype>

#include "signer/Unit_ttavomir.h"
#include "platform/ansi_text.h"
#include "tests/support/com_fixture.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"

using namespace testsupport::com;

namespace {

const std::wstring kBadFormat = L"1\r\nNo se especific\u00f3 un formato correcto";

using Getter = HRESULT (STDMETHODCALLTYPE ITavomir::*)(BSTR*);
using Putter = HRESULT (STDMETHODCALLTYPE ITavomir::*)(BSTR);

struct Property {
    const wchar_t* name;
    Getter get;
    Putter put;  // null: read-only
};

const Property kProperties[] = {
    {L"Operation", &ITavomir::get_Operation, &ITavomir::put_Operation},
    {L"Format", &ITavomir::get_Format, &ITavomir::put_Format},
    {L"FileInputOne", &ITavomir::get_FileInputOne, &ITavomir::put_FileInputOne},
    {L"FileOutputOne", &ITavomir::get_FileOutputOne, &ITavomir::put_FileOutputOne},
    {L"FileInputTwo", &ITavomir::get_FileInputTwo, &ITavomir::put_FileInputTwo},
    {L"FileOutputTwo", &ITavomir::get_FileOutputTwo, &ITavomir::put_FileOutputTwo},
    {L"TypeOne", &ITavomir::get_TypeOne, &ITavomir::put_TypeOne},
    {L"TypeTwo", &ITavomir::get_TypeTwo, &ITavomir::put_TypeTwo},
    {L"FileCert", &ITavomir::get_FileCert, &ITavomir::put_FileCert},
    {L"ACFile", &ITavomir::get_ACFile, nullptr},
    {L"CRLFile", &ITavomir::get_CRLFile, nullptr},
    {L"URLOCSP", &ITavomir::get_URLOCSP, nullptr},
    {L"URLTSP", &ITavomir::get_URLTSP, nullptr},
    {L"Message", &ITavomir::get_Message, nullptr},
    {L"OCSPFileOne", &ITavomir::get_OCSPFileOne, &ITavomir::put_OCSPFileOne},
    {L"OCSPFileTwo", &ITavomir::get_OCSPFileTwo, &ITavomir::put_OCSPFileTwo},
};

class TavomirObject : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(MainServer().Register(), S_OK); }
    void SetUp() override { ASSERT_EQ(MainServer().Create(IID_ITavomir, object_.ReceiveVoid()), S_OK); }

    std::wstring Get(Getter get)
    {
        TBstr value;
        EXPECT_EQ((object_.Get()->*get)(value.Receive()), S_OK);
        EXPECT_NE(value.Get(), nullptr) << "never a null string";
        return value.Text();
    }
    void Put(Putter put, const wchar_t* text, UINT length)
    {
        TBstr value(text, length);
        EXPECT_EQ((object_.Get()->*put)(value.Get()), S_OK);
    }
    void Put(Putter put, const wchar_t* text) { Put(put, text, static_cast<UINT>(wcslen(text))); }

    TPtr<ITavomir> object_;
};

// --- properties ---------------------------------------------------------------

TEST_F(TavomirObject, EveryPropertyStartsAsAnEmptyString)
{
    testsupport::registry::SetDword("USAR_AC", 1);
    testsupport::registry::SetText("CERT_AC", "C:\\ca.cer");
    for (const Property& p : kProperties) EXPECT_EQ(Get(p.get), L"") << p.name;
    testsupport::registry::DeleteKey();
}

TEST_F(TavomirObject, WritablePropertiesRoundTripTheirOwnField)
{
    int n = 0;
    for (const Property& p : kProperties)
        if (p.put) Put(p.put, (L"value " + std::to_wstring(n++)).c_str());
    n = 0;
    for (const Property& p : kProperties) {
        if (p.put) EXPECT_EQ(Get(p.get), L"value " + std::to_wstring(n++)) << p.name;
        else EXPECT_EQ(Get(p.get), L"") << p.name;
    }
}

TEST_F(TavomirObject, PutConvertsThroughTheAnsiCodePage)
{
    // Characters of the code page come back; others become its default character.
    const wchar_t* kept = L"Configuraci\u00f3n \u00e1\u00f1\u20ac";
    Put(&ITavomir::put_FileInputOne, kept);
    char back[64] = {};
    WideCharToMultiByte(CP_ACP, 0, kept, -1, back, sizeof back, nullptr, nullptr);
    EXPECT_EQ(Get(&ITavomir::get_FileInputOne), Widen(back));
    ASSERT_EQ(GetACP(), 1252u) << "the expectations below are Windows-1252's";
    EXPECT_EQ(Get(&ITavomir::get_FileInputOne), kept);

    Put(&ITavomir::put_FileInputOne, L"a\u4e2d\u0416b");
    EXPECT_EQ(Get(&ITavomir::get_FileInputOne), L"a??b");
}

TEST_F(TavomirObject, PutStopsAtAnEmbeddedNulAndTakesNullAsEmpty)
{
    Put(&ITavomir::put_Format, L"PK\0CS", 5);
    EXPECT_EQ(Get(&ITavomir::get_Format), L"PK");
    EXPECT_EQ(object_->put_Format(nullptr), S_OK);
    EXPECT_EQ(Get(&ITavomir::get_Format), L"");
}

TEST_F(TavomirObject, NullOutPointersAreRefused)
{
    for (const Property& p : kProperties) EXPECT_EQ((object_.Get()->*p.get)(nullptr), E_POINTER) << p.name;
    EXPECT_EQ(object_->Execute(nullptr), E_POINTER);
}

TEST_F(TavomirObject, ClearKeepsTheCertificateFile)
{
    int n = 0;
    for (const Property& p : kProperties)
        if (p.put) Put(p.put, (L"value " + std::to_wstring(n++)).c_str());
    EXPECT_EQ(object_->Clear(), S_OK);
    for (const Property& p : kProperties)
        EXPECT_EQ(Get(p.get), p.get == &ITavomir::get_FileCert ? L"value 8" : L"") << p.name;
}

// --- Execute ------------------------------------------------------------------

// The caller names an input as an output, by another spelling of its path:
// every operation answers with a result text, never a COM error, and the
// input keeps its bytes.
TEST_F(TavomirObject, ExecuteRefusesAnOutputNamingAnInput)
{
    const std::string input = FullPath(testsupport::WorkDir() + "/object-same.der");
    const std::vector<unsigned char> message = testsupport::ReadFile(testsupport::Pki("messages/att.sha256.der"));
    ASSERT_TRUE(testsupport::WriteFile(input, message.data(), message.size()));
    const std::wstring wide = Widen(input);
    std::wstring upper = wide;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    const std::wstring prefixed = L"\\\\?\\" + wide;
    const std::wstring signature = Widen(testsupport::Pki("messages/det.sha256.der"));
    testsupport::registry::DeleteKey();
    testsupport::registry::SetDword("USAR_TSP", 1);
    testsupport::registry::SetText("URL_TSP", "http://127.0.0.1:1/tsa");
    struct Case {
        const wchar_t* operation;
        Putter output;
        std::wstring name;
    } cases[] = {
        {L"F", &ITavomir::put_FileOutputOne, upper},
        {L"A", &ITavomir::put_FileOutputOne, prefixed},
        {L"A", &ITavomir::put_FileOutputTwo, upper},
        {L"A", &ITavomir::put_OCSPFileOne, prefixed},
        {L"AV", &ITavomir::put_OCSPFileOne, prefixed},
        {L"T", &ITavomir::put_FileOutputOne, prefixed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation, c.operation + wcslen(c.operation)));
        ASSERT_EQ(object_->Clear(), S_OK);
        Put(&ITavomir::put_Operation, c.operation);
        Put(&ITavomir::put_Format, L"PKCSD");
        Put(&ITavomir::put_TypeOne, L"F");
        Put(&ITavomir::put_TypeTwo, L"F");
        Put(&ITavomir::put_FileInputOne, wide.c_str());
        Put(&ITavomir::put_FileInputTwo, std::wstring(c.operation) == L"AV" ? signature.c_str() : wide.c_str());
        Put(c.output, c.name.c_str());
        VARIANT_BOOL result = VARIANT_TRUE;
        EXPECT_EQ(object_->Execute(&result), S_OK);
        EXPECT_EQ(result, VARIANT_FALSE);
        EXPECT_EQ(Get(&ITavomir::get_Message), L"1\r\nEl archivo de salida no puede ser un archivo de entrada");
        EXPECT_EQ(testsupport::ReadFile(input), message);
    }
    testsupport::registry::DeleteKey();
}

// A file name with a character the ANSI code page lacks turns into another
// name ("\u03A9ut.bin" into "Out.bin", "a\u4E2D.bin" into "a?.bin"), which
// may name another file: every operation that uses the property refuses it,
// naming the property, and the other file stays as it was.
TEST_F(TavomirObject, FileNamesTheCodePageCannotHoldAreRefused)
{
    const std::string folder = FullPath(testsupport::WorkDir() + "/object-names");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string look = folder + "\\Out.bin";
    const std::wstring omega = Widen(folder) + L"\\\u03A9ut.bin";
    const std::wstring han = Widen(folder) + L"\\a\u4E2D.bin";
    const std::wstring data = Widen(testsupport::Pki("messages/content.bin"));
    const std::wstring signedMessage = Widen(testsupport::Pki("messages/att.sha256.der"));
    const std::wstring detached = Widen(testsupport::Pki("messages/det.sha256.der"));
    struct Case {
        const wchar_t* property;
        Putter put;
        const wchar_t* operation;
        const wchar_t* typeOne;
        std::wstring inputOne;
        const wchar_t* typeTwo;
        std::wstring inputTwo;
    } cases[] = {
        {L"FileInputOne", &ITavomir::put_FileInputOne, L"A", L"N", L"", L"", L""},
        {L"FileOutputOne", &ITavomir::put_FileOutputOne, L"F", L"", data, L"", L""},
        {L"FileOutputOne", &ITavomir::put_FileOutputOne, L"A", L"F", signedMessage, L"", L""},
        {L"FileInputTwo", &ITavomir::put_FileInputTwo, L"A", L"N", data, L"N", L""},
        {L"FileOutputTwo", &ITavomir::put_FileOutputTwo, L"A", L"N", data, L"F", signedMessage},
        {L"FileCert", &ITavomir::put_FileCert, L"FE", L"", data, L"", L""},
        {L"FileCert", &ITavomir::put_FileCert, L"ARSA", L"", data, L"", Widen(testsupport::Pki("messages/raw.be.sig"))},
        {L"OCSPFileOne", &ITavomir::put_OCSPFileOne, L"AV", L"", data, L"", detached},
        {L"OCSPFileTwo", &ITavomir::put_OCSPFileTwo, L"A", L"N", data, L"F", signedMessage},
        {L"FileInputOne", &ITavomir::put_FileInputOne, L"V", L"", L"", L"", detached},
        {L"FileInputOne", &ITavomir::put_FileInputOne, L"OCSP", L"", L"", L"", L""},
        {L"FileOutputOne", &ITavomir::put_FileOutputOne, L"T", L"", data, L"", L""},
    };
    for (const std::wstring& name : {omega, han}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.property, c.property + wcslen(c.property)) + " in " +
                         std::string(c.operation, c.operation + wcslen(c.operation)));
            ASSERT_TRUE(testsupport::WriteFile(look, "earlier", 7));
            ASSERT_EQ(object_->Clear(), S_OK);
            Put(&ITavomir::put_FileCert, L"");
            Put(&ITavomir::put_Operation, c.operation);
            Put(&ITavomir::put_Format, L"PKCS");
            Put(&ITavomir::put_TypeOne, c.typeOne);
            Put(&ITavomir::put_FileInputOne, c.inputOne.c_str());
            Put(&ITavomir::put_TypeTwo, c.typeTwo);
            Put(&ITavomir::put_FileInputTwo, c.inputTwo.c_str());
            Put(c.put, name.c_str());
            VARIANT_BOOL result = VARIANT_TRUE;
            EXPECT_EQ(object_->Execute(&result), S_OK);
            EXPECT_EQ(result, VARIANT_FALSE);
            EXPECT_EQ(Get(&ITavomir::get_Message), std::wstring(L"1\r\nEl nombre de archivo en ") + c.property +
                                                       L" no se puede representar en la p\u00e1gina de c\u00f3digos "
                                                       L"del sistema");
            EXPECT_EQ(testsupport::ReadFile(look), (std::vector<unsigned char>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
        }
    }
    // A name put again, exactly, is judged as any other: here a missing file.
    Put(&ITavomir::put_Operation, L"A");
    Put(&ITavomir::put_TypeOne, L"N");
    Put(&ITavomir::put_FileInputOne, omega.c_str());
    Put(&ITavomir::put_FileInputOne, (Widen(folder) + L"\\missing.bin").c_str());
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(object_->Execute(&result), S_OK);
    EXPECT_EQ(Get(&ITavomir::get_Message), L"1\r\nNo existe el archivo 1");
    // Clear keeps FileCert, and what became of its name.
    Put(&ITavomir::put_FileCert, omega.c_str());
    Put(&ITavomir::put_FileInputOne, omega.c_str());
    ASSERT_EQ(object_->Clear(), S_OK);
    Put(&ITavomir::put_Operation, L"FE");
    Put(&ITavomir::put_Format, L"PKCS");
    Put(&ITavomir::put_FileInputOne, data.c_str());
    EXPECT_EQ(object_->Execute(&result), S_OK);
    EXPECT_EQ(Get(&ITavomir::get_Message),
              L"1\r\nEl nombre de archivo en FileCert no se puede representar en la p\u00e1gina de c\u00f3digos del "
              L"sistema");
    Put(&ITavomir::put_FileCert, (Widen(folder) + L"\\missing.cer").c_str());
    EXPECT_EQ(object_->Execute(&result), S_OK);
    EXPECT_EQ(Get(&ITavomir::get_Message), L"1\r\nNo se encontro el Certificado del Destinatario");
    Put(&ITavomir::put_FileCert, L"");
}

// "T" into a folder that does not exist answers with a result text, before
// the authority is asked; no COM error.
TEST_F(TavomirObject, TimeStampIntoAMissingFolderIsNoComError)
{
    testsupport::registry::DeleteKey();
    testsupport::registry::SetDword("USAR_TSP", 1);
    testsupport::registry::SetText("URL_TSP", "http://127.0.0.1:1/tsa");
    const std::string output = FullPath(testsupport::WorkDir()) + "\\no-such-folder\\token.tsr";
    Put(&ITavomir::put_Operation, L"T");
    Put(&ITavomir::put_FileInputOne, Widen(testsupport::Pki("messages/content.bin")).c_str());
    Put(&ITavomir::put_FileOutputOne, Widen(output).c_str());
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(object_->Execute(&result), S_OK);
    EXPECT_EQ(result, VARIANT_FALSE);
    EXPECT_EQ(Get(&ITavomir::get_Message), L"1\r\nNo se puede crear el archivo " + Widen(output));
    testsupport::registry::DeleteKey();
}

TEST_F(TavomirObject, ExecuteGivesTheEngineResultAsVariantBool)
{
    Put(&ITavomir::put_Operation, L"F");
    Put(&ITavomir::put_Format, L"XYZ");
    VARIANT_BOOL result = 123;
    EXPECT_EQ(object_->Execute(&result), S_OK);
    EXPECT_EQ(result, VARIANT_FALSE);
    EXPECT_EQ(Get(&ITavomir::get_Message), kBadFormat);
}

// --- Configure ------------------------------------------------------------------

BOOL CALLBACK CloseIfVisible(HWND w, LPARAM)
{
    if (IsWindowVisible(w)) PostMessageW(w, WM_CLOSE, 0, 0);
    return TRUE;
}

TEST_F(TavomirObject, ConfigureShowsTheDialogAndAnswersSOkWhenClosed)
{
    testsupport::registry::DeleteKey();
    testsupport::registry::SetDword("USAR_AC", 1);
    testsupport::registry::SetText("CERT_AC", "C:\\ca.cer");
    auto before = Snapshot(HKEY_CURRENT_USER, testsupport::registry::Path());

    std::atomic<bool> done{false}, seen{false}, classWhileShown{false};
    const DWORD self = GetCurrentThreadId();
    const HMODULE server = GetModuleHandleA(MainServer().ModulePath().c_str());
    ASSERT_NE(server, nullptr);
    std::thread user([&] {
        HWND form = nullptr;
        WaitFor([&] {
            form = FindWindowW(nullptr, L"Tavomir - Configuraci\u00f3n");
            return done.load() || (form && IsWindowVisible(form));
        });
        if (form && !done) {
            seen = true;
            WNDCLASSEXA wc{sizeof wc};
            classWhileShown = GetClassInfoExA(server, "TavomirForm", &wc) != FALSE;
            PostMessageW(form, WM_CLOSE, 0, 0);
        }
        if (!WaitFor([&] { return done.load(); }, 5000)) EnumThreadWindows(self, CloseIfVisible, 0);
    });
    HRESULT hr = object_->Configure();
    done = true;
    user.join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(seen) << "the dialog was not shown";
    // The form's window class belongs to the DLL and goes with the last form,
    // so a client may unload the DLL between calls.
    EXPECT_TRUE(classWhileShown);
    WNDCLASSEXA wc{sizeof wc};
    EXPECT_FALSE(GetClassInfoExA(server, "TavomirForm", &wc));
    EXPECT_EQ(Snapshot(HKEY_CURRENT_USER, testsupport::registry::Path()), before) << "closing is cancelling";
    EXPECT_EQ(Get(&ITavomir::get_ACFile), L"") << "the dialog does not touch the engine";
    testsupport::registry::DeleteKey();
}

// --- IDispatch ------------------------------------------------------------------

struct Member {
    const wchar_t* name;
    DISPID id;
    INVOKEKIND kind;  // the first of the member's accessors
    bool settable;
};

// The interface's members in vtable order, with their DISPIDs.
const Member kMembers[] = {
    {L"Operation", 2, INVOKE_PROPERTYGET, true},     {L"Format", 1, INVOKE_PROPERTYGET, true},
    {L"FileInputOne", 3, INVOKE_PROPERTYGET, true},  {L"FileOutputOne", 4, INVOKE_PROPERTYGET, true},
    {L"FileInputTwo", 5, INVOKE_PROPERTYGET, true},  {L"FileOutputTwo", 6, INVOKE_PROPERTYGET, true},
    {L"TypeOne", 8, INVOKE_PROPERTYGET, true},       {L"TypeTwo", 9, INVOKE_PROPERTYGET, true},
    {L"FileCert", 10, INVOKE_PROPERTYGET, true},     {L"ACFile", 11, INVOKE_PROPERTYGET, false},
    {L"CRLFile", 12, INVOKE_PROPERTYGET, false},     {L"URLOCSP", 13, INVOKE_PROPERTYGET, false},
    {L"URLTSP", 14, INVOKE_PROPERTYGET, false},      {L"Message", 15, INVOKE_PROPERTYGET, false},
    {L"Execute", 16, INVOKE_FUNC, false},            {L"Configure", 17, INVOKE_FUNC, false},
    {L"OCSPFileOne", 18, INVOKE_PROPERTYGET, true},  {L"OCSPFileTwo", 19, INVOKE_PROPERTYGET, true},
    {L"Clear", 20, INVOKE_FUNC, false},
};

TEST_F(TavomirObject, NamesMapToTheirDispids)
{
    TPtr<IDispatch> dispatch;
    ASSERT_EQ(object_->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    for (const Member& m : kMembers) {
        LPOLESTR name = const_cast<LPOLESTR>(m.name);
        DISPID id = -99;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id), S_OK) << m.name;
        EXPECT_EQ(id, m.id) << m.name;
    }
    LPOLESTR lower = const_cast<LPOLESTR>(L"operation");
    DISPID id = -99;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &lower, 1, 0, &id), S_OK) << "names are case-blind";
    EXPECT_EQ(id, 2);
    LPOLESTR unknown = const_cast<LPOLESTR>(L"ResponseFile");
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
    const IID other = IID_ITavomir;
    EXPECT_EQ(dispatch->GetIDsOfNames(other, &lower, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

HRESULT PutByDispatch(IDispatch* dispatch, DISPID id, const wchar_t* text)
{
    TBstr value(text);
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = value.Get();
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&argument, &named, 1, 1};
    return dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

HRESULT GetByDispatch(IDispatch* dispatch, DISPID id, std::wstring& text)
{
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    HRESULT hr = dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(result.vt, VT_BSTR);
        if (result.vt == VT_BSTR) text.assign(result.bstrVal, SysStringLen(result.bstrVal));
    }
    VariantClear(&result);
    return hr;
}

TEST_F(TavomirObject, InvokeReachesTheVtableMembers)
{
    TPtr<IDispatch> dispatch;
    ASSERT_EQ(object_->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
    for (const Member& m : kMembers) {
        if (m.kind != INVOKE_PROPERTYGET) continue;
        std::wstring text = L"unset";
        if (m.settable) {
            EXPECT_EQ(PutByDispatch(dispatch.Get(), m.id, (std::wstring(L"via ") + m.name).c_str()), S_OK) << m.name;
            EXPECT_EQ(GetByDispatch(dispatch.Get(), m.id, text), S_OK);
            EXPECT_EQ(text, std::wstring(L"via ") + m.name);
        } else {
            EXPECT_TRUE(FAILED(PutByDispatch(dispatch.Get(), m.id, L"refused"))) << m.name << " is read-only";
            EXPECT_EQ(GetByDispatch(dispatch.Get(), m.id, text), S_OK);
            EXPECT_EQ(text, L"") << m.name;
        }
    }
    // The vtable sees what IDispatch wrote.
    EXPECT_EQ(Get(&ITavomir::get_Format), L"via Format");

    // Execute as a method with its result.
    EXPECT_EQ(PutByDispatch(dispatch.Get(), 2, L"F"), S_OK);
    EXPECT_EQ(PutByDispatch(dispatch.Get(), 1, L"nope"), S_OK);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);
    std::wstring message;
    EXPECT_EQ(GetByDispatch(dispatch.Get(), 15, message), S_OK);
    EXPECT_EQ(message, kBadFormat);

    EXPECT_EQ(dispatch->Invoke(20, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Get(&ITavomir::get_Message), L"") << "Clear ran";
    EXPECT_EQ(dispatch->Invoke(7, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(dispatch->Invoke(2, IID_ITavomir, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

// --- the type library -------------------------------------------------------------

struct Function {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
    const wchar_t* parameter;  // null: none
    VARTYPE type;              // of the parameter; VT_PTR+x stands for a pointer to x
};
constexpr VARTYPE kOut = 0x4000;  // marks "pointer to, out and retval"

const Function kVtable[] = {
    {L"Operation", 2, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"Operation", 2, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"Format", 1, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"Format", 1, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"FileInputOne", 3, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"FileInputOne", 3, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"FileOutputOne", 4, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"FileOutputOne", 4, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"FileInputTwo", 5, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"FileInputTwo", 5, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"FileOutputTwo", 6, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"FileOutputTwo", 6, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"TypeOne", 8, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"TypeOne", 8, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"TypeTwo", 9, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"TypeTwo", 9, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"FileCert", 10, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"FileCert", 10, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"ACFile", 11, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"CRLFile", 12, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"URLOCSP", 13, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"URLTSP", 14, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"Message", 15, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"Execute", 16, INVOKE_FUNC, L"RESULTADO", kOut | VT_BOOL},
    {L"Configure", 17, INVOKE_FUNC, nullptr, VT_EMPTY},
    {L"OCSPFileOne", 18, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"OCSPFileOne", 18, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"OCSPFileTwo", 19, INVOKE_PROPERTYGET, L"Value", kOut | VT_BSTR},
    {L"OCSPFileTwo", 19, INVOKE_PROPERTYPUT, L"Value", VT_BSTR},
    {L"Clear", 20, INVOKE_FUNC, nullptr, VT_EMPTY},
};

std::wstring Doc(ITypeLib* library, int index)
{
    TBstr doc;
    library->GetDocumentation(index, nullptr, doc.Receive(), nullptr, nullptr);
    return doc.Text();
}

TEST(TypeLibrary, IsTheDllsResourceWithTheLibraryAttributes)
{
    TPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(Widen(BuiltDll()).c_str(), REGKIND_NONE, library.Receive()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_TavomirCOM));
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->syskind, PlatformKind());
    library->ReleaseTLibAttr(attributes);
    TBstr name;
    ASSERT_EQ(library->GetDocumentation(-1, name.Receive(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.Text(), L"TavomirCOM");
    EXPECT_EQ(Doc(library.Get(), -1), L"TavomirCOM Library");
    EXPECT_EQ(library->GetTypeInfoCount(), 2u) << "ITavomir and Tavomir";
}

TEST(TypeLibrary, CoclassIsCreatableWithITavomirAsDefault)
{
    TPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(Widen(BuiltDll()).c_str(), REGKIND_NONE, library.Receive()), S_OK);
    TPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_Tavomir, coclass.Receive()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr->cImplTypes, 1);
    coclass->ReleaseTypeAttr(attr);
    TBstr name, doc;
    coclass->GetDocumentation(MEMBERID_NIL, name.Receive(), doc.Receive(), nullptr, nullptr);
    EXPECT_EQ(name.Text(), L"Tavomir");
    EXPECT_EQ(doc.Text(), L"Tavomir Object");
    INT flags = 0;
    EXPECT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
    TPtr<ITypeInfo> implemented;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, implemented.Receive()), S_OK);
    ASSERT_EQ(implemented->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_ITavomir));
    implemented->ReleaseTypeAttr(attr);
}

TEST(TypeLibrary, InterfaceIsDualWithTheMembersInVtableOrder)
{
    TPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(Widen(BuiltDll()).c_str(), REGKIND_NONE, library.Receive()), S_OK);
    TPtr<ITypeInfo> dispatchHalf;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITavomir, dispatchHalf.Receive()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(dispatchHalf->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    const WORD dual = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attr->wTypeFlags & dual, dual);
    dispatchHalf->ReleaseTypeAttr(attr);
    TBstr doc;
    dispatchHalf->GetDocumentation(MEMBERID_NIL, nullptr, doc.Receive(), nullptr, nullptr);
    EXPECT_EQ(doc.Text(), L"Dispatch interface for Tavomir Object");

    HREFTYPE ref = 0;
    ASSERT_EQ(dispatchHalf->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    TPtr<ITypeInfo> vtable;
    ASSERT_EQ(dispatchHalf->GetRefTypeInfo(ref, vtable.Receive()), S_OK);
    ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    const WORD automation = dual | TYPEFLAG_FOLEAUTOMATION;
    EXPECT_EQ(attr->wTypeFlags & automation, automation);
    EXPECT_EQ(attr->cImplTypes, 1);
    ASSERT_EQ(attr->cFuncs, static_cast<WORD>(sizeof kVtable / sizeof kVtable[0]));
    vtable->ReleaseTypeAttr(attr);

    // Its base is IDispatch.
    ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &ref), S_OK);
    TPtr<ITypeInfo> base;
    ASSERT_EQ(vtable->GetRefTypeInfo(ref, base.Receive()), S_OK);
    ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IDispatch));
    base->ReleaseTypeAttr(attr);

    for (UINT i = 0; i < sizeof kVtable / sizeof kVtable[0]; ++i) {
        const Function& f = kVtable[i];
        SCOPED_TRACE(::testing::Message() << "function " << i);
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(vtable->GetFuncDesc(i, &desc), S_OK);
        EXPECT_EQ(desc->memid, f.id);
        EXPECT_EQ(desc->invkind, f.kind);
        EXPECT_EQ(desc->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(desc->callconv, CC_STDCALL);
        EXPECT_EQ(desc->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << "after IUnknown and IDispatch";
        EXPECT_EQ(desc->elemdescFunc.tdesc.vt, VT_HRESULT);
        const WORD bindFlags = FUNCFLAG_FBINDABLE | FUNCFLAG_FDEFAULTBIND;
        EXPECT_EQ(desc->wFuncFlags, f.id == 2 ? bindFlags : 0);
        BSTR names[3] = {};
        UINT count = 0;
        vtable->GetNames(f.id, names, 3, &count);
        ASSERT_GE(count, 1u);
        EXPECT_EQ(std::wstring(names[0]), f.name);
        if (f.parameter) {
            ASSERT_EQ(desc->cParams, 1);
            const ELEMDESC& p = desc->lprgelemdescParam[0];
            if (f.type & kOut) {
                ASSERT_EQ(p.tdesc.vt, VT_PTR);
                EXPECT_EQ(p.tdesc.lptdesc->vt, f.type & ~kOut);
                EXPECT_EQ(p.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
            } else {
                EXPECT_EQ(p.tdesc.vt, f.type);
                EXPECT_EQ(p.paramdesc.wParamFlags, PARAMFLAG_FIN);
            }
            // A put accessor's parameter name is not kept by GetNames; read the get's.
            if (f.kind != INVOKE_PROPERTYPUT) {
                ASSERT_GE(count, 2u);
                EXPECT_EQ(std::wstring(names[1]), f.parameter);
            }
        } else {
            EXPECT_EQ(desc->cParams, 0);
        }
        for (BSTR& n : names) SysFreeString(n);
        vtable->ReleaseFuncDesc(desc);
    }
}

}  // namespace
