// The in-process server: the module record with its object map of one
// entry, the class object, the four exports, registration and
// unregistration. COM is initialised by the client, never here: load and
// unload run under the loader lock.
#include "signer/com/TavomirCOM.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "signer/com/TavomirCOM_tlb.h"
#include "signer/com/TavomirImpl.h"
#include "platform/ansi_text.h"
#include "platform/owner.h"

namespace {

struct TObjectMapEntry {
    const CLSID* clsid;                                           // null closes the map
    HRESULT (*updateRegistry)(bool registering);
    HRESULT (*makeClassObject)(IUnknown** out);
    HRESULT (*makeInstance)(IUnknown* outer, REFIID iid, void** out);
    IUnknown* classObject;                                        // cached; null until first asked for
    void (*objectMain)(bool starting);
};

struct TComModule {
    HINSTANCE instance = nullptr;
    TObjectMapEntry* objectMap = nullptr;
    volatile LONG lockCount = 0;
    CRITICAL_SECTION section;
    bool initialised = false;
};

TComModule g_module;

// --- the class object -----------------------------------------------------

class TTavomirFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // References to the class object do not lock the module.
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock) ModuleLock();
        else ModuleUnlock();
        return S_OK;
    }

private:
    volatile LONG references_ = 0;
};

HRESULT MakeTavomir(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    TComPtr<IUnknown> inner;  // destroys the object again when the query fails
    HRESULT hr = TTavomirImpl::Create(outer, inner.Receive());
    if (FAILED(hr)) return hr;
    return inner->QueryInterface(iid, out);
}

HRESULT TTavomirFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    return MakeTavomir(outer, iid, out);
}

HRESULT MakeTavomirFactory(IUnknown** out)
{
    TTavomirFactory* factory = new (std::nothrow) TTavomirFactory;
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    *out = factory;
    return S_OK;
}

void TavomirObjectMain(bool starting)
{
    if (!starting) ReleaseTavomirTypeInfo();
}

// --- registration -----------------------------------------------------------

std::string GuidText(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return WideToAnsi(text);
}

// The DLL's path as the loader gives it.
HRESULT ModulePath(std::string& path)
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(g_module.instance, buffer, MAX_PATH);
    if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);  // cut short
    path.assign(buffer, n);
    return S_OK;
}

// The path clients load the server from: the short form when the path holds
// white space.
HRESULT ServerPath(const std::string& modulePath, std::string& path)
{
    bool blank = false;
    for (unsigned char c : modulePath) blank = blank || std::isspace(c);
    if (!blank) {
        path = modulePath;
        return S_OK;
    }
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = GetShortPathNameA(modulePath.c_str(), buffer, MAX_PATH);
    if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer, n);
    return S_OK;
}

// The type library at the path.
HRESULT LoadTypeLibAt(const std::string& path, TComPtr<ITypeLib>& library)
{
    const std::wstring wide = AnsiToWide(path.c_str());
    return LoadTypeLib(wide.c_str(), library.Receive());
}

// What registration and unregistration both learn first.
struct TServerFacts {
    std::string modulePath;
    std::string serverPath;
    std::string description;
    WORD major = 0;
    WORD minor = 0;
    TComPtr<ITypeLib> library;
};

HRESULT LearnServer(const CLSID& clsid, TServerFacts& facts)
{
    HRESULT hr = ModulePath(facts.modulePath);
    if (SUCCEEDED(hr)) hr = ServerPath(facts.modulePath, facts.serverPath);
    if (SUCCEEDED(hr)) hr = LoadTypeLibAt(facts.serverPath, facts.library);
    if (FAILED(hr)) return hr;
    TComPtr<ITypeInfo> info;
    hr = facts.library->GetTypeInfoOfGuid(clsid, info.Receive());
    if (FAILED(hr)) return hr;
    TBstr doc;
    if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, nullptr, doc.Receive(), nullptr, nullptr)) && doc)
        facts.description = WideToAnsi(doc.Get());
    TLIBATTR* attributes = nullptr;
    hr = facts.library.Get()->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    facts.major = attributes->wMajorVerNum;
    facts.minor = attributes->wMinorVerNum;
    facts.library.Get()->ReleaseTLibAttr(attributes);
    return S_OK;
}

HRESULT WriteValue(const std::string& key, const char* name, const std::string& data)
{
    TRegKey k;
    LONG r = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, k.Put(), nullptr);
    if (r == ERROR_SUCCESS)
        r = RegSetValueExA(k.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1));
    return HRESULT_FROM_WIN32(r);
}

// Deletes the key and its subkeys, deepest first; a missing key is no error.
LONG DeleteTree(HKEY parent, const char* name)
{
    TRegKey k;
    LONG r = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, k.Put());
    if (r == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (r != ERROR_SUCCESS) return r;
    char child[256];
    for (;;) {
        DWORD length = sizeof child;
        r = RegEnumKeyExA(k.Get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return r;
        r = DeleteTree(k.Get(), child);
        if (r != ERROR_SUCCESS) return r;
    }
    r = RegDeleteKeyA(parent, name);
    return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
}

// Registers the type library the module carries (or the .tlb beside it),
// with the module's folder as help directory.
HRESULT RegisterModuleTypeLib(const std::string& modulePath)
{
    TComPtr<ITypeLib> library;
    std::string path = modulePath;
    HRESULT hr = LoadTypeLibAt(path, library);
    if (FAILED(hr)) {
        const std::size_t dot = path.find_last_of('.');
        const std::size_t folderEnd = path.find_last_of("\\/:");
        if (dot == std::string::npos || (folderEnd != std::string::npos && dot < folderEnd)) path += ".tlb";
        else path = path.substr(0, dot) + ".tlb";
        hr = LoadTypeLibAt(path, library);
        if (FAILED(hr)) return hr;
    }
    const std::size_t folderEnd = path.find_last_of("\\/:");
    const std::string helpFolder = folderEnd == std::string::npos ? std::string() : path.substr(0, folderEnd + 1);
    std::wstring widePath = AnsiToWide(path.c_str());
    std::wstring wideHelp = AnsiToWide(helpFolder.c_str());
    return RegisterTypeLib(library.Get(), &widePath[0], wideHelp.empty() ? nullptr : &wideHelp[0]);
}

HRESULT RegisterTavomir(const CLSID& clsid)
{
    TServerFacts facts;
    HRESULT hr = LearnServer(clsid, facts);
    if (FAILED(hr)) return hr;

    const std::string classId = GuidText(clsid);
    const std::string classKey = "CLSID\\" + classId;
    const std::string progId = tavomir_tlb::kProgId;
    char version[16];
    std::snprintf(version, sizeof version, "%d.%d", facts.major, facts.minor);
    struct Value {
        std::string key;
        const char* name;  // null: the key's default value
        std::string data;
    };
    const Value values[] = {
        {classKey, nullptr, facts.description},
        {classKey + "\\InprocServer32", nullptr, facts.serverPath},
        {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {progId, nullptr, facts.description},
        {progId + "\\CLSID", nullptr, classId},
        {classKey + "\\ProgID", nullptr, progId},
        {classKey + "\\Version", nullptr, version},
        {classKey + "\\Typelib", nullptr, GuidText(LIBID_TavomirCOM)},
    };
    // A value that cannot be written does not stop the others, but it is
    // what registration answers.
    HRESULT first = S_OK;
    for (const Value& v : values) {
        const HRESULT written = WriteValue(v.key, v.name, v.data);
        if (FAILED(written) && SUCCEEDED(first)) first = written;
    }

    std::wstring wideServer = AnsiToWide(facts.serverPath.c_str());
    hr = RegisterTypeLib(facts.library.Get(), &wideServer[0], nullptr);
    if (FAILED(hr)) return SUCCEEDED(first) ? hr : first;

    hr = RegisterModuleTypeLib(facts.modulePath);
    return SUCCEEDED(first) ? hr : first;
}

HRESULT UnregisterTavomir(const CLSID& clsid)
{
    TServerFacts facts;
    HRESULT hr = LearnServer(clsid, facts);
    if (FAILED(hr)) return hr;
    const std::string classKey = "CLSID\\" + GuidText(clsid);
    LONG r = DeleteTree(HKEY_CLASSES_ROOT, classKey.c_str());
    const LONG progIdResult = DeleteTree(HKEY_CLASSES_ROOT, tavomir_tlb::kProgId);
    if (r == ERROR_SUCCESS) r = progIdResult;
    // The type library stays registered.
    return HRESULT_FROM_WIN32(r);
}

HRESULT UpdateTavomirRegistry(bool registering)
{
    return registering ? RegisterTavomir(CLSID_Tavomir) : UnregisterTavomir(CLSID_Tavomir);
}

TObjectMapEntry g_objectMap[] = {
    {&CLSID_Tavomir, UpdateTavomirRegistry, MakeTavomirFactory, MakeTavomir, nullptr, TavomirObjectMain},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Module termination when the DLL is unloaded, after DllMain has seen the
// detach: release the class objects, then the critical section.
struct TServerUnit {
    TServerUnit() { g_module.objectMap = g_objectMap; }
    ~TServerUnit()
    {
        if (!g_module.initialised) return;
        for (TObjectMapEntry* e = g_module.objectMap; e->clsid; ++e) {
            if (e->classObject) e->classObject->Release();
            e->classObject = nullptr;
            e->objectMain(false);
        }
        DeleteCriticalSection(&g_module.section);
        g_module.initialised = false;
    }
} g_serverUnit;

}  // namespace

// --- the module's services to the object ---------------------------------

void ModuleLock() { InterlockedIncrement(&g_module.lockCount); }
void ModuleUnlock() { InterlockedDecrement(&g_module.lockCount); }
TModuleGuard::TModuleGuard() { EnterCriticalSection(&g_module.section); }
TModuleGuard::~TModuleGuard() { LeaveCriticalSection(&g_module.section); }

// --- entry point and exports ----------------------------------------------

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && !g_module.initialised) {
        g_module.instance = instance;
        InitializeCriticalSection(&g_module.section);
        g_module.lockCount = 0;
        g_module.initialised = true;
        for (TObjectMapEntry* e = g_module.objectMap; e->clsid; ++e) e->objectMain(true);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return InterlockedCompareExchange(&g_module.lockCount, 0, 0) == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    TObjectMapEntry* entry = g_module.objectMap;
    while (entry->clsid && !IsEqualCLSID(*entry->clsid, clsid)) ++entry;
    if (!entry->clsid) return CLASS_E_CLASSNOTAVAILABLE;
    if (!entry->classObject) {
        TModuleGuard guard;
        if (!entry->classObject) {
            IUnknown* made = nullptr;
            const HRESULT hr = entry->makeClassObject(&made);
            if (FAILED(hr)) return hr;
            entry->classObject = made;
        }
    }
    const HRESULT hr = entry->classObject->QueryInterface(iid, out);
    if (SUCCEEDED(hr) && !*out) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

STDAPI DllRegisterServer()
{
    HRESULT hr = S_OK;
    for (TObjectMapEntry* e = g_module.objectMap; e->clsid && SUCCEEDED(hr); ++e) hr = e->updateRegistry(true);
    return hr;
}

STDAPI DllUnregisterServer()
{
    HRESULT hr = S_OK;
    for (TObjectMapEntry* e = g_module.objectMap; e->clsid && SUCCEEDED(hr); ++e) hr = e->updateRegistry(false);
    return hr;
}
