// A test suite base that installs the PKI's signer with its key into "MY"
// for the suite's life and finds it again for each test.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/der/bytes.h"
#include "platform/capi_handles.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"
#include "tools/fixture/fixture.h"

class InstalledSignerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(fixture::ReadFile(testsupport::PkiDir() + "/signer.cert.der", signerDer_, error)) << error;
        fixture::Bytes key;
        ASSERT_TRUE(fixture::ReadFile(testsupport::PkiDir() + "/signer.key.pk1.der", key, error)) << error;
        ASSERT_TRUE(fixture::Thumbprint(signerDer_, thumbprint_, error)) << error;
        bool installed = fixture::InstallWithKey(signerDer_, key, fixture::DefaultContainer(thumbprint_), error);
        FillBytes(key.data(), 0, key.size());
        ASSERT_TRUE(installed) << error;
    }
    static void TearDownTestSuite()
    {
        bool found = false;
        std::string error;
        fixture::Remove(thumbprint_, found, error);
    }

    // The installed signer as the configured certificate: USAR_CERT 1 and
    // USER_CERT its thumbprint.
    static void ConfigureInstalledSigner()
    {
        fixture::Bytes hash;
        ASSERT_TRUE(fixture::ParseHex(thumbprint_, hash));
        testsupport::registry::SetDword("USAR_CERT", 1);
        testsupport::registry::Set("USER_CERT", REG_BINARY, hash.data(), static_cast<DWORD>(hash.size()));
    }

    // Opens "MY" and finds the installed signer's certificate.
    void FindSigner()
    {
        fixture::Bytes hash;
        ASSERT_TRUE(fixture::ParseHex(thumbprint_, hash));
        ASSERT_TRUE(OpenUserStore(store_, "MY"));
        ASSERT_TRUE(FindCertificateByHash(store_, hash.data(), certificate_));
    }

    static inline fixture::Bytes signerDer_;
    static inline std::string thumbprint_;
    TCertStore store_;
    TCertContext certificate_;
};
