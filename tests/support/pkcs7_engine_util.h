// Helpers of the PKCS#7 engine's tests: memory streams in and out, the own
// credentials of the test PKI's recipient, and messages made by openssl.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_engine_params.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace testsupport::pkcs7 {

using Bytes = std::vector<unsigned char>;

// A raw memory stream holding the bytes, to be read.
struct InputStream {
    DataStream stream{};
    explicit InputStream(const Bytes& bytes)
    {
        EXPECT_EQ(OpenStream(&stream, kStreamMemory, kTransferRaw), kStreamSuccess);
        if (bytes.empty()) return;
        unsigned char* copy = static_cast<unsigned char*>(std::malloc(bytes.size()));
        CopyBytes(copy, bytes.data(), bytes.size());
        EXPECT_EQ(AttachStreamBuffer(&stream, copy, bytes.size()), kStreamSuccess);
    }
    ~InputStream() { CloseStream(&stream); }
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
};

// A block-chain stream that collects what is written.
struct OutputStream {
    DataStream stream{};
    OutputStream() { EXPECT_EQ(OpenStream(&stream, kStreamChain, kTransferRaw), kStreamSuccess); }
    ~OutputStream() { CloseStream(&stream); }
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;
    Bytes Contents()
    {
        Bytes out;
        if (StartStream(&stream, kOpenRead) != kStreamSuccess) return out;
        unsigned char block[4096];
        std::size_t count = 0;
        while (ReadStream(&stream, block, sizeof block, &count) == kStreamSuccess && count > 0)
            out.insert(out.end(), block, block + count);
        return out;
    }
};

// A DataSets record released at the end of the test.
struct Slots {
    DataSets sets;
    Slots() { InitDataSets(&sets); }
    ~Slots() { DeleteDataSets(&sets); }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
    std::uint32_t Count(std::uint32_t slot) const
    {
        std::uint32_t count = 0;
        CountDataItems(&sets, slot, &count);
        return count;
    }
    Bytes Item(std::uint32_t slot, std::uint32_t number) const
    {
        const unsigned char* data = nullptr;
        std::size_t length = 0;
        if (GetDataItem(&sets, slot, number, &data, &length) != kDataSetsOk) return {};
        return Bytes(data, data + length);
    }
    void Add(std::uint32_t slot, const Bytes& bytes) { EXPECT_EQ(AddDataItem(&sets, slot, bytes.data(), bytes.size()), kDataSetsOk); }
    // The own key (PKCS#8, PBE-MD5-DES), password with its NUL and certificate of an entity.
    void LoadOwn(const std::string& entity)
    {
        Add(kSlotOwnKey, testsupport::ReadFile(testsupport::Pki(entity + ".key.p8e.der")));
        const std::string password = testsupport::pki_keys::Password();
        Add(kSlotOwnPassword, Bytes(password.begin(), password.end() + 1));
        Add(kSlotOwnCertificate, testsupport::ReadFile(testsupport::Pki(entity + ".cert.der")));
    }
};

}  // namespace testsupport::pkcs7

inline void PrintTo(Pkcs7Result result, std::ostream* out) { *out << static_cast<int>(result); }

namespace testsupport::pkcs7 {

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Writes the content to a file and runs `openssl <arguments> -in it -out DER
// <recipients>`, the PKI's folder as PKI/; the message's bytes, empty on failure.
inline Bytes OpensslMessage(const std::string& name, const Bytes& content, std::string arguments,
                            const std::string& recipients = "")
{
    const std::string in = testsupport::WorkDir() + "/p7-" + name + ".in";
    const std::string out = testsupport::WorkDir() + "/p7-" + name + ".der";
    const unsigned char none = 0;
    EXPECT_TRUE(testsupport::WriteFile(in, content.empty() ? &none : content.data(), content.size()));
    std::remove(out.c_str());
    arguments += " -binary -outform DER -in " + in + " -out " + out + " " + recipients;
    for (std::size_t at; (at = arguments.find("PKI/")) != std::string::npos;)
        arguments.replace(at, 4, testsupport::PkiDir() + "/");
    const int status = testsupport::openssl_cli::Run(arguments);
    EXPECT_EQ(status, 0) << arguments;
    return testsupport::ReadFile(out);
}

}  // namespace testsupport::pkcs7
