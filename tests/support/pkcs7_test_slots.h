// The PKCS#7 engine's parameters from the test PKI: signers (slots 4-6),
// recipients (slot 7) and the own credentials (slots 12-14), each an entity's
// certificate and password-protected key; and file streams over test files.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/datasets/datasets.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_engine_params.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace testsupport::pkcs7 {

// A DataSets record released at the end of the scope.
struct Slots {
    DataSets sets;
    Slots() { InitDataSets(&sets); }
    ~Slots() { DeleteDataSets(&sets); }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
    DataSets* operator->() { return &sets; }
    std::uint32_t Count(std::uint32_t slot) const
    {
        std::uint32_t count = 0;
        CountDataItems(&sets, slot, &count);
        return count;
    }
    std::vector<unsigned char> Item(std::uint32_t slot, std::uint32_t number) const
    {
        const unsigned char* data = nullptr;
        std::size_t length = 0;
        if (GetDataItem(&sets, slot, number, &data, &length) != kDataSetsOk) return {};
        return std::vector<unsigned char>(data, data + length);
    }
};

inline void AddFile(DataSets* sets, std::uint32_t slot, const std::string& file)
{
    auto bytes = ReadFile(Pki(file));
    ASSERT_FALSE(bytes.empty()) << file;
    ASSERT_EQ(AddDataItem(sets, slot, bytes.data(), bytes.size()), kDataSetsOk);
}

inline void AddPassword(DataSets* sets, std::uint32_t slot, const char* password)
{
    ASSERT_EQ(AddDataItem(sets, slot, password, std::strlen(password) + 1), kDataSetsOk);
}

// The entity of the test PKI as the next signer.
inline void AddSigner(DataSets* sets, const std::string& name, const char* password = pki_keys::Password())
{
    AddFile(sets, kSlotSignerCertificates, name + ".cert.der");
    AddFile(sets, kSlotSignerKeys, name + ".key.p8e.der");
    AddPassword(sets, kSlotSignerPasswords, password);
}

inline void AddRecipient(DataSets* sets, const std::string& name)
{
    AddFile(sets, kSlotRecipientCertificates, name + ".cert.der");
}

// The entity as the own credentials, which open enveloped messages.
inline void SetOwnCredentials(DataSets* sets, const std::string& name)
{
    for (std::uint32_t slot : {kSlotOwnKey, kSlotOwnPassword, kSlotOwnCertificate}) ClearDataSet(sets, slot);
    AddFile(sets, kSlotOwnKey, name + ".key.p8e.der");
    AddPassword(sets, kSlotOwnPassword, pki_keys::Password());
    AddFile(sets, kSlotOwnCertificate, name + ".cert.der");
}

// A raw file stream over a path, closed at the end of the scope.
struct FileStream {
    DataStream stream{};
    explicit FileStream(const std::string& path)
    {
        OpenStream(&stream, kStreamFile, kTransferRaw);
        SetStreamFile(&stream, path.c_str());
    }
    ~FileStream() { CloseStream(&stream); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    DataStream* get() { return &stream; }
};

}  // namespace testsupport::pkcs7
