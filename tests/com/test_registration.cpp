// Registration and unregistration read back from the registry, from the
// built DLL and from copies in other folders; regsvr32 as the user runs it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/com_fixture.h"

using namespace testsupport::com;

namespace {

std::string ShortPath(const std::string& path)
{
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return std::string(buffer, n);
}

std::string TypeLibKey() { return std::string("TypeLib\\") + LibraryIdText() + "\\1.0"; }

// What registration leaves below the class and ProgID keys, nothing more.
std::map<std::string, std::string> ExpectedClassTree(const std::string& serverPath)
{
    const std::string sz = std::to_string(REG_SZ) + ":";
    return {
        {"\\[]", sz + "Tavomir Object"},
        {"\\InprocServer32\\[]", sz + serverPath},
        {"\\InprocServer32\\[ThreadingModel]", sz + "Apartment"},
        {"\\ProgID\\[]", sz + ProgId()},
        {"\\Version\\[]", sz + "1.0"},
        {"\\Typelib\\[]", sz + LibraryIdText()},
    };
}
std::map<std::string, std::string> ExpectedProgIdTree()
{
    const std::string sz = std::to_string(REG_SZ) + ":";
    return {{"\\[]", sz + "Tavomir Object"}, {"\\CLSID\\[]", sz + ClassIdText()}};
}

void ExpectRegisteredFrom(const std::string& serverPath, const std::string& typeLibPath)
{
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, ClassKey()), ExpectedClassTree(serverPath));
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, ProgId()), ExpectedProgIdTree());
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(ReadValue(HKEY_CLASSES_ROOT, TypeLibKey() + "\\409\\" + PlatformKey(), nullptr, type, data));
    EXPECT_EQ(data, typeLibPath) << "the type library's own registration holds the long path";
    ASSERT_TRUE(ReadValue(HKEY_CLASSES_ROOT, TypeLibKey(), nullptr, type, data));
    EXPECT_EQ(data, "TavomirCOM Library");
    ASSERT_TRUE(ReadValue(HKEY_CLASSES_ROOT, TypeLibKey() + "\\HELPDIR", nullptr, type, data));
    EXPECT_EQ(data, typeLibPath.substr(0, typeLibPath.find_last_of('\\') + 1)) << "the folder with its \\";
}

bool TypeLibLoadsFromRegistry()
{
    TPtr<ITypeLib> library;
    return SUCCEEDED(LoadRegTypeLib(LIBID_TavomirCOM, 1, 0, 0x0409, library.Receive()));
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MainServer().Loaded()) << BuiltDll(); }
    // Every test leaves the built DLL registered, as the other suites expect.
    void TearDown() override { EXPECT_EQ(MainServer().Register(), S_OK); }
};

TEST_F(Registration, WritesEveryKeyAndValue)
{
    DeleteTree(HKEY_CLASSES_ROOT, ClassKey());
    DeleteTree(HKEY_CLASSES_ROOT, ProgId());
    ASSERT_EQ(MainServer().Register(), S_OK);
    const std::string path = MainServer().ModulePath();
    ASSERT_EQ(path.find(' '), std::string::npos) << "the build folder must hold no blank for this test";
    ExpectRegisteredFrom(path, path);
}

TEST_F(Registration, TwiceLeavesTheSameKeys)
{
    ASSERT_EQ(MainServer().Register(), S_OK);
    auto classTree = Snapshot(HKEY_CLASSES_ROOT, ClassKey());
    auto progIdTree = Snapshot(HKEY_CLASSES_ROOT, ProgId());
    auto typeLibTree = Snapshot(HKEY_CLASSES_ROOT, TypeLibKey());
    ASSERT_EQ(MainServer().Register(), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, ClassKey()), classTree);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, ProgId()), progIdTree);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, TypeLibKey()), typeLibTree);
}

TEST_F(Registration, FolderWithABlankGivesTheShortPath)
{
    const std::string copy = CopyDll("com blank folder");
    TServer server(copy);
    ASSERT_TRUE(server.Loaded());
    ASSERT_EQ(server.Register(), S_OK);
    const std::string longPath = server.ModulePath();
    const std::string shortPath = ShortPath(longPath);
    ASSERT_FALSE(shortPath.empty());
    EXPECT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
    ExpectRegisteredFrom(shortPath, longPath);
}

TEST_F(Registration, UnregisterRemovesBothSubtreesAndKeepsTheTypeLibrary)
{
    ASSERT_EQ(MainServer().Register(), S_OK);
    auto typeLibTree = Snapshot(HKEY_CLASSES_ROOT, TypeLibKey());
    // Extra keys below: the whole subtree goes, deepest first.
    HKEY extra;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(ClassKey()) + "\\Extra\\Deeper").c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &extra, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(extra);

    EXPECT_EQ(MainServer().Unregister(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ProgId()));
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, TypeLibKey()), typeLibTree);
    EXPECT_TRUE(TypeLibLoadsFromRegistry());

    // Type information still loads for an object, from the registered library.
    TPtr<IDispatch> dispatch;
    ASSERT_EQ(MainServer().Create(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
    TPtr<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, info.Receive()), S_OK);

    // Missing keys are no error.
    EXPECT_EQ(MainServer().Unregister(), S_OK);
}

TEST_F(Registration, TypeInformationNeedsTheRegisteredLibrary)
{
    // A copy in its own folder is a module of its own, with nothing cached yet.
    const std::string copy = CopyDll("com fresh");
    ASSERT_EQ(UnRegisterTypeLib(LIBID_TavomirCOM, 1, 0, 0x0409, PlatformKind()), S_OK);
    // The other build's registration in the same prefix would serve as well.
    UnRegisterTypeLib(LIBID_TavomirCOM, 1, 0, 0x0409, PlatformKind() == SYS_WIN64 ? SYS_WIN32 : SYS_WIN64);
    ASSERT_FALSE(TypeLibLoadsFromRegistry());
    {
        TServer server(copy);
        ASSERT_TRUE(server.Loaded());
        TPtr<IDispatch> dispatch;
        ASSERT_EQ(server.Create(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
        TPtr<ITypeInfo> info;
        EXPECT_TRUE(FAILED(dispatch->GetTypeInfo(0, 0, info.Receive())));
        EXPECT_EQ(info.Get(), nullptr);
        LPOLESTR name = const_cast<LPOLESTR>(L"Operation");
        DISPID id = 0;
        EXPECT_TRUE(FAILED(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)));

        ASSERT_EQ(server.Register(), S_OK);
        EXPECT_EQ(dispatch->GetTypeInfo(0, 0, info.Receive()), S_OK);
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
        EXPECT_EQ(id, 2);
        info.Reset();
        dispatch.Reset();
        EXPECT_EQ(server.CanUnloadNow(), S_OK);
    }
}

TEST_F(Registration, AFailingValueIsReportedAndTheOthersAreWritten)
{
    // A volatile ProgID key: its non-volatile CLSID subkey cannot be made.
    DeleteTree(HKEY_CLASSES_ROOT, ClassKey());
    DeleteTree(HKEY_CLASSES_ROOT, ProgId());
    HKEY blocked;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ProgId(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &blocked, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(blocked);

    EXPECT_EQ(MainServer().Register(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
    const std::string path = MainServer().ModulePath();
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, ClassKey()), ExpectedClassTree(path)) << "later values still written";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(ProgId()) + "\\CLSID"));
    EXPECT_TRUE(TypeLibLoadsFromRegistry());

    DeleteTree(HKEY_CLASSES_ROOT, ProgId());
}

TEST_F(Registration, Regsvr32RegistersAndUnregisters)
{
    const std::string path = MainServer().ModulePath();
    const std::wstring regsvr32 = L"\"" + SystemProgram(L"regsvr32.exe") + L"\"";
    TRun run = RunProgram(regsvr32 + L" /u /s \"" + Widen(path) + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ProgId()));

    run = RunProgram(regsvr32 + L" /s \"" + Widen(path) + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    ExpectRegisteredFrom(path, path);

    // The class is now creatable by ProgID through the system.
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"TavomirCOM.Tavomir", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Tavomir));
    TPtr<ITavomir> tavomir;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITavomir, tavomir.ReceiveVoid()), S_OK);
}

}  // namespace
