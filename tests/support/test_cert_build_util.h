// Helpers of the certificate building tests: name and attribute tables over
// test strings, the test PKI's keys, and files handed to the openssl
// command line (native and under Wine alike).
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/rsa/rsa_key.h"
#include "core/x509/extension.h"
#include "core/x509/name.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace testsupport::cert_build {

using Bytes = std::vector<unsigned char>;

// A view of a string that outlives the table holding it (the encoders only
// read the slots).
inline ByteBuffer View(const std::string& text)
{
    return ByteBuffer{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())), text.size()};
}
inline ByteBuffer View(const Bytes& bytes)
{
    return ByteBuffer{const_cast<unsigned char*>(bytes.data()), bytes.size()};
}

// A name or extension table whose slots view values kept beside it.
template <class TableType, class Value>
struct Slots {
    TableType table;
    std::vector<Value> values;
    Slots(std::initializer_list<std::pair<int, Value>> slots)
    {
        values.reserve(slots.size());
        for (const auto& slot : slots) {
            values.push_back(slot.second);
            table.slots[slot.first] = View(values.back());
        }
    }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
};
using Names = Slots<NameTable, std::string>;
using Table = Slots<ExtensionTable, Bytes>;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A key of the test PKI, wiped when the test is done.
struct PkiKey {
    RsaPrivateKey privateKey;
    RsaPublicKey publicKey;
    explicit PkiKey(const std::string& name)
        : privateKey(testsupport::pki_keys::PrivateKey(name)), publicKey(testsupport::pki_keys::PublicKey(privateKey))
    {
    }
    ~PkiKey() { FillBytes(&privateKey, 0, sizeof privateKey); }
    PkiKey(const PkiKey&) = delete;
    PkiKey& operator=(const PkiKey&) = delete;
};

// Work files named so far: each test's are removed when the test ends.
inline std::vector<std::string>& NamedWorkFiles()
{
    static std::vector<std::string> paths;
    return paths;
}

inline std::string WorkFile(const std::string& name)
{
    std::string path = testsupport::WorkDir() + "/certbuild-" + name;
    NamedWorkFiles().push_back(path);
    return path;
}

// Base of the suites that hand files to openssl.
class WorkFilesTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const std::string& path : NamedWorkFiles()) std::remove(path.c_str());
        NamedWorkFiles().clear();
    }
};

// Writes the bytes to a work file (a stale one removed first) and names it.
inline std::string Save(const std::string& name, const Bytes& bytes)
{
    const std::string path = WorkFile(name);
    std::remove(path.c_str());
    EXPECT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size())) << path;
    return path;
}

inline int Openssl(const std::string& arguments) { return testsupport::openssl_cli::Run(arguments); }

// A DER certificate as PEM, the form -CAfile takes.
inline std::string SavePem(const std::string& name, const Bytes& der)
{
    const std::string pem = WorkFile(name + ".pem");
    std::remove(pem.c_str());
    EXPECT_EQ(Openssl("x509 -inform DER -in " + Save(name + ".der", der) + " -out " + pem), 0) << name;
    return pem;
}

// What openssl writes into a file (text outputs such as -text).
inline std::string ReadText(const std::string& path)
{
    Bytes bytes = testsupport::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace testsupport::cert_build
