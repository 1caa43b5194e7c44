// Shared pieces of the COM server tests: a loaded copy of the DLL with its
// four exports, the registry read back with
// the raw API, and child processes (regsvr32, cscript).
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <oaidl.h>

#include <map>
#include <string>
#include <vector>

#include "platform/owner.h"
#include "signer/com/TavomirCOM_tlb.h"

namespace testsupport::com {

// Registry forms of the identifiers, written out independently of the server.
inline const char* ClassKey() { return "CLSID\\{25500E24-5009-423C-A853-7654C4379E8C}"; }
inline const char* ClassIdText() { return "{25500E24-5009-423C-A853-7654C4379E8C}"; }
inline const char* LibraryIdText() { return "{8BC5FD3D-78BA-4D34-AA0F-2FE25845B754}"; }
inline const char* ProgId() { return "TavomirCOM.Tavomir"; }
inline const char* PlatformKey() { return sizeof(void*) == 8 ? "win64" : "win32"; }
inline SYSKIND PlatformKind() { return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32; }

// The built DLL, as CTest names it; a Windows full path.
std::string BuiltDll();
// A full Windows path for a path the environment gives.
std::string FullPath(const std::string& path);
// The built DLL copied into WORK\folder (created); its full path.
std::string CopyDll(const std::string& folder);

// One loaded copy of the server.
class TServer {
public:
    explicit TServer(const std::string& path);
    ~TServer();
    TServer(const TServer&) = delete;
    TServer& operator=(const TServer&) = delete;

    bool Loaded() const { return static_cast<bool>(module_); }
    std::string ModulePath() const;
    HRESULT CanUnloadNow() const { return canUnloadNow_(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const { return getClassObject_(clsid, iid, out); }
    HRESULT Register() const { return register_(); }
    HRESULT Unregister() const { return unregister_(); }
    // A new object through the server's class object.
    HRESULT Create(REFIID iid, void** out) const;

private:
    TModule module_;
    HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* register_)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregister_)() = nullptr;
};

// The built DLL, loaded once for the whole run.
TServer& MainServer();

// COM pointer and string owners, as the server itself uses them.
template <class T>
using TPtr = TComPtr<T>;
using ::TBstr;

// Registry, read with the raw API.
bool KeyExists(HKEY root, const std::string& key);
// A value's type and data (REG_SZ data without its NUL); false when missing.
bool ReadValue(HKEY root, const std::string& key, const char* name, DWORD& type, std::string& data);
// Every value below the key, as "subkey\\[name]" = "type:data"; keys
// without values appear as "subkey\\" = "".
std::map<std::string, std::string> Snapshot(HKEY root, const std::string& key);
// Deletes a subtree (missing is fine).
void DeleteTree(HKEY root, const std::string& key);

// A Windows program run to its end: exit code (or ~0u) and standard output.
struct TRun {
    DWORD exitCode = ~0u;
    std::string output;
};
TRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 120000);
std::wstring SystemProgram(const wchar_t* name);
// A script of the source tree (JScript or VBScript) run by Wine's cscript
// with the arguments, each quoted.
TRun RunScript(const std::string& sourcePath, const std::vector<std::string>& arguments);
std::wstring Widen(const std::string& text);

// Waits up to the time for the condition, polling.
template <class Condition>
bool WaitFor(Condition condition, int milliseconds = 15000)
{
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

}  // namespace testsupport::com
