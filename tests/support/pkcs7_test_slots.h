// The PKCS#7 encoder's parameters from the test PKI: signers (slots 4-6) and
// recipients (slot 7), each an entity's certificate and password-protected
// key (the own credentials: Slots::LoadOwn); and file streams over test files.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/datasets/datasets.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_engine_params.h"
#include "tests/support/pkcs7_engine_util.h"
#include "tests/support/test_pki_keys.h"
#include "tests/support/test_util.h"

namespace testsupport::pkcs7 {

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
