#include "tests/support/com_fixture.h"

#include <cstdlib>

#include "tests/support/test_util.h"

namespace testsupport::com {

std::string FullPath(const std::string& path)
{
    char buffer[MAX_PATH * 2] = {};
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return n && n < sizeof buffer ? std::string(buffer, n) : path;
}

std::string BuiltDll()
{
    const char* dll = std::getenv("TAVOMIR_COM_DLL");
    return FullPath(dll && *dll ? dll : "TavomirCOM.dll");
}

std::string CopyDll(const std::string& folder)
{
    std::string dir = FullPath(testsupport::WorkDir() + "/" + folder);
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string target = dir + "\\TavomirCOM.dll";
    EXPECT_TRUE(CopyFileA(BuiltDll().c_str(), target.c_str(), FALSE)) << target << " " << GetLastError();
    // The client libraries the server imports ship beside it.
    const std::string built = BuiltDll();
    const std::string builtDir = built.substr(0, built.find_last_of("\\/") + 1);
    for (const char* library : {"Dunmere.dll", "Halvery.dll"}) {
        const std::string source = builtDir + library;
        if (GetFileAttributesA(source.c_str()) != INVALID_FILE_ATTRIBUTES)
            EXPECT_TRUE(CopyFileA(source.c_str(), (dir + "\\" + library).c_str(), FALSE)) << library;
    }
    return target;
}

TServer::TServer(const std::string& path) : module_(LoadLibraryA(path.c_str()))
{
    if (!module_) return;
    canUnloadNow_ = reinterpret_cast<decltype(canUnloadNow_)>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.Get(), "DllCanUnloadNow")));
    getClassObject_ = reinterpret_cast<decltype(getClassObject_)>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.Get(), "DllGetClassObject")));
    register_ = reinterpret_cast<decltype(register_)>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.Get(), "DllRegisterServer")));
    unregister_ = reinterpret_cast<decltype(unregister_)>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.Get(), "DllUnregisterServer")));
    if (!canUnloadNow_ || !getClassObject_ || !register_ || !unregister_) {
        module_.Reset();
    }
}

TServer::~TServer() = default;

std::string TServer::ModulePath() const
{
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(module_.Get(), buffer, MAX_PATH);
    return std::string(buffer, n);
}

HRESULT TServer::Create(REFIID iid, void** out) const
{
    TPtr<IClassFactory> factory;
    HRESULT hr = GetClassObject(CLSID_Tavomir, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, out);
}

TServer& MainServer()
{
    static TServer server(BuiltDll());
    return server;
}

bool KeyExists(HKEY root, const std::string& key)
{
    TRegKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return false;
    return true;
}

bool ReadValue(HKEY root, const std::string& key, const char* name, DWORD& type, std::string& data)
{
    TRegKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return false;
    char buffer[4096];
    DWORD size = sizeof buffer;
    LONG r = RegQueryValueExA(k.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (r != ERROR_SUCCESS) return false;
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && buffer[size - 1] == '\0') --size;
    data.assign(buffer, size);
    return true;
}

namespace {
void SnapshotInto(HKEY root, const std::string& key, const std::string& prefix,
                  std::map<std::string, std::string>& out)
{
    TRegKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return;
    bool anyValue = false;
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameLength = sizeof name, type = 0;
        BYTE data[4096];
        DWORD size = sizeof data;
        if (RegEnumValueA(k.Get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        std::string text(reinterpret_cast<char*>(data), size);
        if (type == REG_SZ && !text.empty() && text.back() == '\0') text.pop_back();
        out[prefix + "[" + std::string(name, nameLength) + "]"] = std::to_string(type) + ":" + text;
        anyValue = true;
    }
    if (!anyValue) out[prefix] = "";
    for (DWORD i = 0;; ++i) {
        char child[512];
        DWORD length = sizeof child;
        if (RegEnumKeyExA(k.Get(), i, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::string name(child, length);
        SnapshotInto(root, key + "\\" + name, prefix + name + "\\", out);
    }
}
}  // namespace

std::map<std::string, std::string> Snapshot(HKEY root, const std::string& key)
{
    std::map<std::string, std::string> out;
    SnapshotInto(root, key, "\\", out);
    return out;
}

void DeleteTree(HKEY root, const std::string& key) { RegDeleteTreeA(root, key.c_str()); RegDeleteKeyA(root, key.c_str()); }

std::wstring Widen(const std::string& text)
{
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::wstring SystemProgram(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

TRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs)
{
    static int run = 0;
    TRun result;
    std::string outputPath = FullPath(testsupport::WorkDir() + "/run-" + std::to_string(++run) + ".out");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create " << outputPath;
        return result;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(output);
    if (!started) {
        ADD_FAILURE() << "cannot start a program: " << GetLastError();
        return result;
    }
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &result.exitCode);
    } else {
        ADD_FAILURE() << "a program did not end in time";
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::vector<unsigned char> bytes = testsupport::ReadFile(outputPath);
    result.output.assign(bytes.begin(), bytes.end());
    DeleteFileA(outputPath.c_str());
    return result;
}

TRun RunScript(const std::string& sourcePath, const std::vector<std::string>& arguments)
{
    std::wstring line = L"\"" + SystemProgram(L"cscript.exe") + L"\" //Nologo \"" +
                        Widen(FullPath(testsupport::SourceDir() + "/" + sourcePath)) + L"\"";
    for (const std::string& a : arguments) line += L" \"" + Widen(a) + L"\"";
    return RunProgram(line);
}

}  // namespace testsupport::com
