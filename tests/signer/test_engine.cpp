// The operation engine and the registry settings, against the real registry.
#include <gtest/gtest.h>

#include "signer/Unit_ttavomir.h"
#include "signer/errors.h"
#include "signer/settings.h"
#include "tests/support/registry_fixture.h"

namespace {

// Windows-1252 bytes, written as escapes so the test does not share the
// component's source encoding.
const std::string kBadFormat = "1\r\nNo se especific\xF3 un formato correcto";
const std::string kNoInput = "1\r\nEl archivo de entrada no existe";

struct DispatchCase {
    const char* operation;
    const char* format;
    bool result;
    const char* message;  // nullptr: Message unchanged
};

class EngineDispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(EngineDispatch, ComparesCodesInOrder)
{
    const DispatchCase& c = GetParam();
    TTavomir engine;
    engine.SetResult("previous");
    engine.Operation = c.operation;
    engine.Format = c.format;
    EXPECT_EQ(engine.Execute(), c.result);
    EXPECT_EQ(engine.Message, c.message ? std::string(c.message) : std::string("previous"));
}

const std::string kBadOperation = "1\r\nNo se especific\xF3 una operaci\xF3n correcta";

INSTANTIATE_TEST_SUITE_P(
    Codes, EngineDispatch,
    ::testing::Values(
        // Codes are case-sensitive: "f" is no operation, and must not pass for success.
        DispatchCase{"f", "PKCS", false, kBadOperation.c_str()},
        DispatchCase{"F ", "PKCS", false, kBadOperation.c_str()},
        DispatchCase{"", "", false, kBadOperation.c_str()},
        DispatchCase{"F", "", false, kBadFormat.c_str()},
        DispatchCase{"F", "XYZ", false, kBadFormat.c_str()},
        DispatchCase{"FE", "PKCSD", false, kBadFormat.c_str()},
        DispatchCase{"FE", "RSA", false, kBadFormat.c_str()},
        // Format is upper-cased; these reach their handlers, which find no input.
        DispatchCase{"F", "pkcsd", false, kNoInput.c_str()},
        DispatchCase{"F", "rsa", false, kNoInput.c_str()},
        DispatchCase{"FE", "pkcs", false, kNoInput.c_str()},
        DispatchCase{"A", "", false, "1\r\nNo existe el archivo 1"},
        DispatchCase{"ARSA", "", false, "1\r\nNo existe el archivo Original"},
        DispatchCase{"AV", "", false, "1\r\nNo existe el archivo 1"}));

TEST(EngineFields, ClearKeepsCertificateFileAndUrls)
{
    TTavomir engine;
    std::string TTavomir::*all[] = {
        &TTavomir::Operation, &TTavomir::Format, &TTavomir::FileInputOne, &TTavomir::FileOutputOne,
        &TTavomir::FileInputTwo, &TTavomir::FileOutputTwo, &TTavomir::ResponseFile, &TTavomir::TypeOne,
        &TTavomir::TypeTwo, &TTavomir::FileCert, &TTavomir::ACFile, &TTavomir::CRLFile,
        &TTavomir::URLOCSP, &TTavomir::URLTSP, &TTavomir::Message, &TTavomir::OCSPFileOne,
        &TTavomir::OCSPFileTwo};
    for (auto field : all) EXPECT_EQ(engine.*field, "");
    int n = 0;
    for (auto field : all) engine.*field = "value" + std::to_string(n++);
    engine.Clear();
    for (auto field : all) {
        bool kept = field == &TTavomir::FileCert || field == &TTavomir::URLOCSP || field == &TTavomir::URLTSP;
        EXPECT_EQ(engine.*field == "", !kept);
    }
    EXPECT_EQ(engine.FileCert, "value9");
    EXPECT_EQ(engine.URLOCSP, "value12");
    EXPECT_EQ(engine.URLTSP, "value13");
}

TEST(EngineFields, NullMarker)
{
    EXPECT_TRUE(IsNullOrEmpty(""));
    EXPECT_TRUE(IsNullOrEmpty("NULL"));
    EXPECT_FALSE(IsNullOrEmpty("null"));
    EXPECT_FALSE(IsNullOrEmpty("NULL "));
}

// LoadSettings: each case writes the key from scratch and reads the four fields.
struct SettingsCase {
    const char* name;
    void (*write)();
    const char* ac;
    const char* crl;
    const char* ocsp;
    const char* tsp;
};

class LoadSettingsTable : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(LoadSettingsTable, ReadsSwitchesThenTexts)
{
    const SettingsCase& c = GetParam();
    testsupport::registry::DeleteKey();
    if (c.write) c.write();
    TTavomir engine;
    engine.ACFile = engine.CRLFile = engine.URLOCSP = engine.URLTSP = "stale";
    engine.LoadSettings();
    EXPECT_EQ(engine.ACFile, c.ac);
    EXPECT_EQ(engine.CRLFile, c.crl);
    EXPECT_EQ(engine.URLOCSP, c.ocsp);
    EXPECT_EQ(engine.URLTSP, c.tsp);
    EXPECT_TRUE(testsupport::registry::KeyExists());  // the open creates it
}

void AllOn()
{
    for (const char* s : {"USAR_AC", "USAR_CRL", "USAR_OCSP", "USAR_TSP"}) testsupport::registry::SetDword(s, 1);
    testsupport::registry::SetText("CERT_AC", "C:\\pki\\ca.cer");
    testsupport::registry::SetText("CRL", "C:\\pki\\ca.crl");
    testsupport::registry::SetText("URL_OCSP", "http://127.0.0.1:8888/");
    testsupport::registry::SetText("URL_TSP", "http://127.0.0.1:8889/tsa");
}
void SwitchesOffTextsSet()
{
    AllOn();
    testsupport::registry::SetDword("USAR_AC", 0);
    testsupport::registry::SetDword("USAR_CRL", 0);
    // USAR_OCSP missing, USAR_TSP stored as text: both read as off.
    HKEY k;
    RegOpenKeyExA(HKEY_CURRENT_USER, testsupport::registry::Path(), 0, KEY_ALL_ACCESS, &k);
    RegDeleteValueA(k, "USAR_OCSP");
    RegCloseKey(k);
    testsupport::registry::SetText("USAR_TSP", "1");
}
void SwitchTwoTextsMissing()
{
    for (const char* s : {"USAR_AC", "USAR_CRL", "USAR_OCSP", "USAR_TSP"}) testsupport::registry::SetDword(s, 2);
}
void WrongTypes()
{
    AllOn();
    testsupport::registry::SetDword("CERT_AC", 7);
    unsigned char bytes[3] = {'a', 'b', 'c'};
    testsupport::registry::Set("CRL", REG_BINARY, bytes, sizeof bytes);
}
void TextWithoutTerminator()
{
    testsupport::registry::SetDword("USAR_OCSP", 1);
    // Stored without its NUL: the text ends at the byte count.
    testsupport::registry::Set("URL_OCSP", REG_SZ, "http://h/", 9);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, LoadSettingsTable,
    ::testing::Values(
        SettingsCase{"MissingKey", nullptr, "", "", "", ""},
        SettingsCase{"AllOn", AllOn, "C:\\pki\\ca.cer", "C:\\pki\\ca.crl", "http://127.0.0.1:8888/",
                     "http://127.0.0.1:8889/tsa"},
        SettingsCase{"SwitchesOffTextsSet", SwitchesOffTextsSet, "", "", "", ""},
        SettingsCase{"SwitchTwoTextsMissing", SwitchTwoTextsMissing, "", "", "", ""},
        SettingsCase{"WrongTypes", WrongTypes, "", "", "http://127.0.0.1:8888/", "http://127.0.0.1:8889/tsa"},
        SettingsCase{"TextWithoutTerminator", TextWithoutTerminator, "", "", "http://h/", ""}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

TEST(SettingsKey, TypedReadsAndWrites)
{
    testsupport::registry::DeleteKey();
    TSettingsKey key;
    ASSERT_TRUE(key.IsOpen());
    EXPECT_TRUE(key.WriteSwitch("USAR_CERT", true));
    EXPECT_TRUE(key.WriteText("SERIE", "0A1B"));
    unsigned char hash[20];
    for (int i = 0; i < 20; ++i) hash[i] = static_cast<unsigned char>(i * 13);
    EXPECT_TRUE(key.WriteBinary("USER_CERT", hash, sizeof hash));

    EXPECT_TRUE(key.ReadSwitch("USAR_CERT"));
    EXPECT_EQ(key.ReadText("SERIE"), "0A1B");
    unsigned char back[20] = {0};
    EXPECT_EQ(key.ReadBinary("USER_CERT", back, sizeof back), 20u);
    EXPECT_EQ(memcmp(hash, back, 20), 0);

    // A text of another type is a read error for the plain reader.
    testsupport::registry::SetDword("NOMBRE", 5);
    EXPECT_THROW(key.ReadText("NOMBRE"), ERegistryReadError);
    EXPECT_EQ(key.ReadTextOrEmpty("NOMBRE"), "");
    // Binary: missing leaves the buffer; too long or a string is an error.
    unsigned char keep[20];
    memset(keep, 0x5A, sizeof keep);
    EXPECT_EQ(key.ReadBinary("MISSING", keep, sizeof keep), 0u);
    EXPECT_EQ(keep[0], 0x5A);
    unsigned char big[21] = {0};
    testsupport::registry::Set("USER_CERT", REG_BINARY, big, sizeof big);
    EXPECT_THROW(key.ReadBinary("USER_CERT", keep, sizeof keep), ERegistryReadError);
    // Every string and integer type is refused, even when short enough.
    const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_EXPAND_SZ), DWORD(REG_MULTI_SZ), DWORD(REG_DWORD),
                       DWORD(REG_DWORD_BIG_ENDIAN), DWORD(REG_QWORD)}) {
        SCOPED_TRACE(type);
        testsupport::registry::Set("USER_CERT", type, eight, type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN ? 4 : 8);
        EXPECT_THROW(key.ReadBinary("USER_CERT", keep, sizeof keep), ERegistryReadError);
    }
    EXPECT_EQ(keep[0], 0x5A);
    testsupport::registry::Set("USER_CERT", REG_NONE, eight, sizeof eight);
    EXPECT_EQ(key.ReadBinary("USER_CERT", keep, sizeof keep), 8u);
    testsupport::registry::DeleteKey();
}

}  // namespace
