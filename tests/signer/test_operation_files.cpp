// What every operation makes of the files it names before it reads or writes
// any: an output that names one of its inputs, or another output, by any
// other path is refused with a result text and the input keeps its bytes;
// an input that is a device or a pipe is refused at once; "NULL" names no
// output; and the comparison of "A" tells a read error from a difference.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "tests/support/folder_files.h"
#include "tests/support/host_openssl.h"
#include "tests/support/installed_signer.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kOutputIsInput = "1\r\nEl archivo de salida no puede ser un archivo de entrada";
const std::string kNotRegular = "1\r\nEl archivo de entrada no es un archivo regular: ";

std::string Pki(const std::string& name) { return testsupport::PkiDir() + "/" + name; }

std::string FullPath(const std::string& path)
{
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full, n) : path;
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string Folder(const std::string& full) { return full.substr(0, full.find_last_of('\\')); }
std::string Leaf(const std::string& full) { return full.substr(full.find_last_of('\\') + 1); }

bool HostShell() { return testsupport::openssl::Available() && testsupport::WorkDir()[0] == '/'; }

int Leftovers(const std::string& folder) { return testsupport::CountFiles(folder, "tkw*"); }

// One way to name a file by another path. `make` gets the file's full path
// and its Unix path ("" without a host shell) and gives the alias, "" when
// it cannot be made here.
struct Alias {
    const char* what;
    std::function<std::string(const std::string& full, const std::string& unix)> make;
    bool platformMayLack;  // Wine cannot make it (docs/wine-notes.md, 22)
};

// A link made by the host's ln in the folder "links" beside the file.
std::string HostLink(const std::string& full, const std::string& unix, const char* option, const char* suffix)
{
    if (unix.empty()) return "";
    const std::string folderUnix = unix.substr(0, unix.find_last_of('/')) + "/links";
    const std::string leaf = unix.substr(unix.find_last_of('/') + 1) + suffix;
    testsupport::openssl::RunShell("mkdir -p '" + folderUnix + "' && ln -f " + option + " '" + unix + "' '" +
                                   folderUnix + "/" + leaf + "'");
    return Folder(full) + "\\links\\" + Leaf(full) + suffix;
}

const Alias kAliases[] = {
    {"same name", [](const std::string& f, const std::string&) { return f; }, false},
    {"upper case", [](const std::string& f, const std::string&) { return Upper(f); }, false},
    {"slashes",
     [](const std::string& f, const std::string&) {
         std::string s = f;
         std::replace(s.begin(), s.end(), '\\', '/');
         return s;
     },
     false},
    {"dot segments",
     [](const std::string& f, const std::string&) { return Folder(f) + "\\.\\sub\\..\\" + Leaf(f); }, false},
    {"trailing dot", [](const std::string& f, const std::string&) { return f + "."; }, false},
    {"trailing blank", [](const std::string& f, const std::string&) { return f + " "; }, false},
    {"\\\\?\\ prefix", [](const std::string& f, const std::string&) { return "\\\\?\\" + f; }, false},
    {"\\\\.\\ prefix", [](const std::string& f, const std::string&) { return "\\\\.\\" + f; }, false},
    {"8.3 short name",
     [](const std::string& f, const std::string&) {
         char shortName[MAX_PATH];
         DWORD n = GetShortPathNameA(f.c_str(), shortName, sizeof shortName);
         return n && n < sizeof shortName ? std::string(shortName, n) : std::string();
     },
     false},
    {"UNC, this machine",
     [](const std::string& f, const std::string&) { return "\\\\localhost\\" + f.substr(0, 1) + "$" + f.substr(2); },
     true},
    {"UNC, its address",
     [](const std::string& f, const std::string&) { return "\\\\127.0.0.1\\" + f.substr(0, 1) + "$" + f.substr(2); },
     true},
    {"hard link, CreateHardLinkA",
     [](const std::string& f, const std::string&) {
         const std::string links = Folder(f) + "\\links";
         CreateDirectoryA(links.c_str(), nullptr);
         const std::string link = links + "\\" + Leaf(f) + ".hard";
         DeleteFileA(link.c_str());
         return CreateHardLinkA(link.c_str(), f.c_str(), nullptr) ? link : std::string();
     },
     false},
    {"hard link, ln", [](const std::string& f, const std::string& u) { return HostLink(f, u, "", ".ln"); }, false},
    {"symbolic link, ln -s",
     [](const std::string& f, const std::string& u) { return HostLink(f, u, "-s", ".symlink"); }, false},
    {"linked folder, ln -s",
     [](const std::string& f, const std::string& u) {
         if (u.empty()) return std::string();
         const std::string folderUnix = u.substr(0, u.find_last_of('/'));
         testsupport::openssl::RunShell("ln -sfn '" + folderUnix + "' '" + folderUnix + ".link'");
         return Folder(f) + ".link\\" + Leaf(f);
     },
     false},
};

// One operation whose output is pointed at one of its own files: its
// fields name files of the suite by key, the output names the target by an
// alias; a setting may name the target too.
using FileFields = std::vector<std::pair<TTavomir::Field, const char*>>;

const FileFields kData = {{&TTavomir::FileInputOne, "data"}};
const FileFields kEnveloping = {{&TTavomir::FileInputOne, "data"}, {&TTavomir::FileCert, "recipient"}};
const FileFields kSigned = {{&TTavomir::FileInputOne, "signed"}};
const FileFields kDetached = {{&TTavomir::FileInputOne, "data"}, {&TTavomir::FileInputTwo, "detached"}};
const FileFields kRaw = {{&TTavomir::FileInputOne, "data"}, {&TTavomir::FileInputTwo, "raw"},
                         {&TTavomir::FileCert, "signer"}};

struct Row {
    const char* what;
    FileFields files;
    TTavomir::Field output;
    const char* target;
    const char* operation;
    const char* format;
    const char* kinds[2];    // TypeOne, TypeTwo
    const char* setting[2];  // switch and text value naming the target, or null
};

const Row kRows[] = {
    {"F RSA, output over the data", kData, &TTavomir::FileOutputOne, "data", "F", "RSA"},
    {"F PKCS, output over the data", kData, &TTavomir::FileOutputOne, "data", "F", "PKCS"},
    {"F PKCSD, output over the data", kData, &TTavomir::FileOutputOne, "data", "F", "PKCSD"},
    {"FE, output over the data", kEnveloping, &TTavomir::FileOutputOne, "data", "FE", "PKCS"},
    {"FE, output over the recipient", kEnveloping, &TTavomir::FileOutputOne, "recipient", "FE", "PKCS"},
    {"A F, first output over the first input", kSigned, &TTavomir::FileOutputOne, "signed", "A", "", {"F"}},
    {"A F, second output over the first input",
     {{&TTavomir::FileInputOne, "signed"}, {&TTavomir::FileInputTwo, "second"}}, &TTavomir::FileOutputTwo, "signed",
     "A", "", {"F", "F"}},
    {"A F, first output over the second input",
     {{&TTavomir::FileInputOne, "signed"}, {&TTavomir::FileInputTwo, "data"}}, &TTavomir::FileOutputOne, "data", "A",
     "", {"F", "N"}},
    {"A F, kept answer over the first input", kSigned, &TTavomir::OCSPFileOne, "signed", "A", "", {"F"}},
    {"A F, output over the configured CA", kSigned, &TTavomir::FileOutputOne, "ca", "A", "", {"F"},
     {"USAR_AC", "CERT_AC"}},
    {"A E, output over the envelope", {{&TTavomir::FileInputOne, "envelope"}}, &TTavomir::FileOutputOne, "envelope",
     "A", "", {"E"}},
    {"AV, kept answer over the signature", kDetached, &TTavomir::OCSPFileOne, "detached", "AV", ""},
    {"AV, kept answer over the content", kDetached, &TTavomir::OCSPFileOne, "data", "AV", ""},
    {"ARSA, kept answer over the signature", kRaw, &TTavomir::OCSPFileOne, "raw", "ARSA", ""},
    {"ARSA, kept answer over the certificate", kRaw, &TTavomir::OCSPFileOne, "signer", "ARSA", ""},
    {"ARSA, kept answer over the CRL", kRaw, &TTavomir::OCSPFileOne, "crl", "ARSA", "", {}, {"USAR_CRL", "CRL"}},
    {"T, token over the data", kData, &TTavomir::FileOutputOne, "data", "T", ""},
};

using Files = std::map<std::string, std::string>;

class OperationFiles : public InstalledSignerTest {
protected:
    void SetUp() override
    {
        Settings();
        folder_ = testsupport::WorkDir() + "/opfiles";
        CreateDirectoryA(folder_.c_str(), nullptr);
        const struct {
            const char* key;
            const char* name;
            std::string from;
        } copies[] = {
            {"data", "Data to sign.bin", Pki("messages/content.bin")},
            {"signed", "Signed message.der", Pki("messages/att.sha256.der")},
            {"second", "Second message.der", Pki("messages/att.stream.der")},
            {"envelope", "Enveloped message.der", Pki("messages/env.rc4.der")},
            {"detached", "Detached signature.der", Pki("messages/det.sha256.der")},
            {"raw", "Raw signature.sig", Pki("messages/raw.be.sig")},
            {"signer", "Signer certificate.der", Pki("signer.cert.der")},
            {"recipient", "Recipient certificate.der", Pki("recipient.cert.der")},
            {"ca", "Authority certificate.der", Pki("ca.cert.der")},
            {"crl", "Revocation list.crl", Pki("ca.crl.der")},
        };
        for (const auto& copy : copies) {
            const std::string path = folder_ + "/" + copy.name;
            const Bytes bytes = testsupport::ReadFile(copy.from);
            ASSERT_FALSE(bytes.empty()) << copy.from;
            ASSERT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
            files_[copy.key] = FullPath(path);
            unix_[copy.key] = HostShell() ? path : "";
            bytes_[copy.key] = bytes;
        }
        fullFolder_ = Folder(files_["data"]);
    }
    void TearDown() override { testsupport::registry::DeleteKey(); }

    // The configured signer, and a time-stamp URL nobody answers on: a
    // refusal must come before any of them is used.
    void Settings()
    {
        testsupport::registry::DeleteKey();
        ConfigureInstalledSigner();
        testsupport::registry::SetDword("USAR_TSP", 1);
        testsupport::registry::SetText("URL_TSP", "http://127.0.0.1:1/tsa");
    }

    void ExpectUntouched()
    {
        for (const auto& entry : bytes_) EXPECT_EQ(testsupport::ReadFile(files_[entry.first]), entry.second) << entry.first;
        EXPECT_EQ(Leftovers(fullFolder_), 0);
    }

    std::string folder_;
    std::string fullFolder_;
    Files files_;
    std::map<std::string, std::string> unix_;
    std::map<std::string, Bytes> bytes_;
};

// Each alias of each operation's own file, as its output: refused with the
// result text, before anything is asked or written; every file keeps its bytes.
TEST_F(OperationFiles, OutputNamingAnInputByAnyPathIsRefused)
{
    std::vector<std::string> notMade;
    for (const Alias& alias : kAliases) {
        std::map<std::string, std::string> aliasOf;
        for (const auto& file : files_) {
            const std::string made = alias.make(file.second, unix_[file.first]);
            if (made.empty() && !HostShell() && std::string(alias.what).find("ln") != std::string::npos) continue;
            // The alias must reach the file itself, or the case shows nothing.
            const Bytes read = made.empty() ? Bytes() : testsupport::ReadFile(made);
            if (read != bytes_[file.first] || read.empty()) {
                if (alias.platformMayLack) {
                    notMade.push_back(alias.what);
                    break;
                }
                ADD_FAILURE() << alias.what << " of " << file.second << " reads nothing: " << made;
                continue;
            }
            if (made == file.second && std::string(alias.what) != "same name")
                ADD_FAILURE() << alias.what << " is no other name of " << made;
            aliasOf[file.first] = made;
        }
        for (const Row& row : kRows) {
            auto found = aliasOf.find(row.target);
            if (found == aliasOf.end()) continue;
            SCOPED_TRACE(std::string(row.what) + " as " + alias.what + ": " + found->second);
            Settings();
            if (row.setting[0]) {
                testsupport::registry::SetDword(row.setting[0], 1);
                testsupport::registry::SetText(row.setting[1], files_[row.target]);
            }
            TTavomir engine;
            engine.Operation = row.operation;
            engine.Format = row.format;
            engine.TypeOne = row.kinds[0] ? row.kinds[0] : "";
            engine.TypeTwo = row.kinds[1] ? row.kinds[1] : "";
            engine.Message = "stale";
            for (const auto& file : row.files) engine.*file.first = files_[file.second];
            engine.*row.output = found->second;
            EXPECT_FALSE(engine.Execute());
            EXPECT_EQ(engine.Message, kOutputIsInput);
            ExpectUntouched();
        }
    }
    if (!notMade.empty()) {
        std::string list;
        for (const std::string& what : notMade) list += " [" + what + "]";
        std::printf("aliases this platform cannot make:%s\n", list.c_str());
    }
}

// Two outputs of "A" (and the kept answers) that name one new file by two
// spellings: the second would replace the first and the comparison would
// read one file twice. Refused, and neither is made.
TEST_F(OperationFiles, OutputsNamingOneNewFileAreRefused)
{
    const std::string folder = fullFolder_ + "\\Output folder";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string output = folder + "\\New content.bin";
    DeleteFileA(output.c_str());
    char shortFolder[MAX_PATH];
    ASSERT_NE(GetShortPathNameA(folder.c_str(), shortFolder, sizeof shortFolder), 0u);
    ASSERT_NE(Upper(shortFolder), Upper(folder));
    std::string linkedFolder;
    if (HostShell()) {
        const std::string unix = folder_ + "/Output folder";
        testsupport::openssl::RunShell("ln -sfn '" + unix + "' '" + unix + " link'");
        linkedFolder = folder + " link\\New content.bin";
    }
    const std::string spellings[] = {
        output, Upper(output), "\\\\?\\" + output, "\\\\.\\" + output, output + ".",
        std::string(shortFolder) + "\\New content.bin", linkedFolder,
    };
    for (const std::string& other : spellings) {
        if (other.empty()) continue;
        for (TTavomir::Field second : {&TTavomir::FileOutputTwo, &TTavomir::OCSPFileOne, &TTavomir::OCSPFileTwo}) {
            SCOPED_TRACE(other);
            Settings();
            TTavomir engine;
            engine.Operation = "A";
            engine.TypeOne = "F";
            engine.FileInputOne = files_["signed"];
            engine.FileOutputOne = output;
            engine.TypeTwo = "F";
            engine.FileInputTwo = files_["second"];
            engine.*second = other;
            EXPECT_FALSE(engine.Execute());
            EXPECT_EQ(engine.Message, kOutputIsInput);
            EXPECT_EQ(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);
            EXPECT_EQ(Leftovers(folder), 0);
        }
    }
    ExpectUntouched();
}

// Files that only look alike are not one file: distinct outputs beside the
// inputs, and inputs read through their aliases, work as before.
TEST_F(OperationFiles, DistinctFilesAndAliasedInputsWork)
{
    const std::string first = fullFolder_ + "\\Data to sign.bin.first";
    const std::string second = fullFolder_ + "\\Data to sign.bin.second";
    DeleteFileA(first.c_str());
    DeleteFileA(second.c_str());
    TTavomir engine;
    engine.Operation = "A";
    engine.TypeOne = "F";
    engine.FileInputOne = "\\\\?\\" + files_["signed"];
    engine.FileOutputOne = first;
    engine.TypeTwo = "F";
    engine.FileInputTwo = Upper(files_["second"]);
    engine.FileOutputTwo = second;
    EXPECT_TRUE(engine.Execute()) << engine.Message;
    EXPECT_EQ(engine.Message, "2");
    EXPECT_EQ(testsupport::ReadFile(first), bytes_["data"]);
    EXPECT_EQ(testsupport::ReadFile(second), bytes_["data"]);

    engine.Clear();
    engine.Operation = "F";
    engine.Format = "RSA";
    engine.FileInputOne = files_["data"];
    engine.FileOutputOne = first;
    EXPECT_TRUE(engine.Execute()) << engine.Message;
    EXPECT_EQ(testsupport::ReadFile(first).size(), bytes_["raw"].size());
    ExpectUntouched();
}

// The stored answer of "OCSP" read through each alias gives what its own
// name gives, and stays as it was.
TEST_F(OperationFiles, OcspReadsItsInputThroughEveryAlias)
{
    const std::string kept = fullFolder_ + "\\Kept answer with a long name.ocsp";
    ASSERT_TRUE(testsupport::WriteFile(kept, "\x30\x03\x0A\x01\x06", 5));
    TTavomir plain;
    plain.Operation = "OCSP";
    plain.FileInputOne = kept;
    EXPECT_FALSE(plain.Execute());
    ASSERT_EQ(plain.Message.rfind("1\r\n", 0), 0u);
    const std::string unix = HostShell() ? folder_ + "/Kept answer with a long name.ocsp" : "";
    for (const Alias& alias : kAliases) {
        const std::string name = alias.make(kept, unix);
        if (name.empty() || testsupport::ReadFile(name).size() != 5) continue;
        SCOPED_TRACE(std::string(alias.what) + ": " + name);
        TTavomir engine;
        engine.Operation = "OCSP";
        engine.FileInputOne = name;
        EXPECT_FALSE(engine.Execute());
        EXPECT_EQ(engine.Message, plain.Message);
        EXPECT_EQ(testsupport::ReadFile(kept), Bytes({0x30, 0x03, 0x0A, 0x01, 0x06}));
    }
}

// --- inputs that are not files ------------------------------------------------

// A device or a pipe as an input would never end the read: every operation
// refuses it at once. Folders keep their "missing file" texts.
TEST_F(OperationFiles, DeviceInputsAreRefusedAtOnce)
{
    std::vector<std::string> devices = {"COM1", "AUX", "NUL", "\\\\.\\COM1"};
    if (HostShell()) {
        devices.push_back("/dev/zero");
        testsupport::openssl::RunShell("rm -f '" + folder_ + "/pipe' && mkfifo '" + folder_ + "/pipe'");
        devices.push_back(fullFolder_ + "\\pipe");
    }
    struct Case {
        const char* operation;
        const char* format;
        TTavomir::Field device;
    } cases[] = {
        {"F", "RSA", &TTavomir::FileInputOne},      {"F", "PKCS", &TTavomir::FileInputOne},
        {"FE", "PKCS", &TTavomir::FileCert},        {"A", "", &TTavomir::FileInputOne},
        {"A", "", &TTavomir::FileInputTwo},         {"AV", "", &TTavomir::FileInputOne},
        {"AV", "", &TTavomir::FileInputTwo},        {"ARSA", "", &TTavomir::FileInputTwo},
        {"ARSA", "", &TTavomir::FileCert},          {"T", "", &TTavomir::FileInputOne},
        {"V", "", &TTavomir::FileInputOne},         {"V", "", &TTavomir::FileInputTwo},
        {"OCSP", "", &TTavomir::FileInputOne},      {"OCSP", "", &TTavomir::FileCert},
    };
    const std::string output = fullFolder_ + "\\device output.bin";
    for (const std::string& device : devices) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.operation) + " " + device);
            Settings();
            TTavomir engine;
            engine.Operation = c.operation;
            engine.Format = c.format;
            engine.TypeOne = "N";
            engine.TypeTwo = "N";
            engine.FileInputOne = files_["data"];
            engine.FileInputTwo = std::string(c.operation) == "ARSA" ? files_["raw"] : files_["detached"];
            engine.FileCert = std::string(c.operation) == "FE" ? files_["recipient"] : files_["signer"];
            engine.FileOutputOne = output;
            engine.*c.device = device;
            const auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(engine.Execute());
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
            EXPECT_EQ(engine.Message, kNotRegular + device);
            EXPECT_EQ(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);
        }
    }
    ExpectUntouched();
}

// --- outputs that name no file ------------------------------------------------

// "NULL" (and "") is the marker of no file: an operation that must write its
// output refuses it before anything is asked, and no file "NULL" is made.
TEST_F(OperationFiles, OutputMarkedNullIsRefused)
{
    const char* const kinds[][2] = {{"F", "RSA"}, {"F", "PKCS"}, {"F", "PKCSD"}, {"FE", "PKCS"}, {"T", ""}};
    for (const auto& kind : kinds) {
        for (const char* output : {"NULL", ""}) {
            SCOPED_TRACE(std::string(kind[0]) + "/" + kind[1] + " [" + output + "]");
            TTavomir engine;
            engine.Operation = kind[0];
            engine.Format = kind[1];
            engine.FileInputOne = files_["data"];
            engine.FileCert = files_["recipient"];
            engine.FileOutputOne = output;
            EXPECT_FALSE(engine.Execute());
            EXPECT_EQ(engine.Message, "1\r\nNo se especificó el archivo de salida");
            EXPECT_EQ(GetFileAttributesA("NULL"), INVALID_FILE_ATTRIBUTES);
            EXPECT_EQ(Leftovers("."), 0);
        }
    }
}

// "T" into a folder that does not exist: a result text before the
// authority is asked, no COM error.
TEST_F(OperationFiles, TimeStampIntoAMissingFolderAnswersWithAText)
{
    const std::string output = fullFolder_ + "\\no such folder\\token.tsr";
    TTavomir engine;
    engine.Operation = "T";
    engine.FileInputOne = files_["data"];
    engine.FileOutputOne = output;
    EXPECT_FALSE(engine.Execute());
    EXPECT_EQ(engine.Message, "1\r\nNo se puede crear el archivo " + output);
}

// --- the comparison of "A" ------------------------------------------------------

// A file that fails its read (under Wine /proc/self/mem opens, tells size 0
// and refuses every read; docs/wine-notes.md, 21) is a read error, never a
// verdict on the contents.
TEST_F(OperationFiles, ComparisonReadErrorIsNoVerdict)
{
    if (!HostShell()) GTEST_SKIP() << "needs a file that opens but cannot be read";
    const std::string empty = fullFolder_ + "\\Empty file.bin";
    ASSERT_TRUE(testsupport::WriteFile(empty, "", 0));
    for (bool unreadableFirst : {false, true}) {
        SCOPED_TRACE(unreadableFirst ? "unreadable first" : "unreadable second");
        TTavomir engine;
        engine.Operation = "A";
        engine.TypeOne = "N";
        engine.TypeTwo = "N";
        engine.FileInputOne = unreadableFirst ? "/proc/self/mem" : empty;
        engine.FileInputTwo = unreadableFirst ? empty : "/proc/self/mem";
        EXPECT_FALSE(engine.Execute());
        EXPECT_EQ(engine.Message, "1\r\nError leyendo los archivos a comparar");
    }
    // Readable files keep their verdicts.
    TTavomir engine;
    engine.Operation = "A";
    engine.TypeOne = "N";
    engine.TypeTwo = "N";
    engine.FileInputOne = files_["data"];
    engine.FileInputTwo = empty;
    EXPECT_FALSE(engine.Execute());
    EXPECT_EQ(engine.Message, "1\r\nLos Archivos son Diferentes");
    engine.FileInputTwo = "\\\\?\\" + files_["data"];
    EXPECT_TRUE(engine.Execute());
    EXPECT_EQ(engine.Message, "2");
}

}  // namespace
