// Key records of the test PKI's entities, read from their PKCS#8 files.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/der/der.h"
#include "core/rsa/rsa_key.h"
#include "tests/support/test_util.h"

namespace testsupport::pki_keys {

inline RsaPrivateKey PrivateKey(const std::string& name)
{
    auto der = testsupport::ReadFile(testsupport::Pki(name + ".key.pk8.der"));
    RsaPrivateKey key = {};
    DERCursor reader;
    InitDERReader(&reader, der.data(), der.size());
    int algorithm = 0;
    EXPECT_NE(DecodePrivateKeyInfo(&reader, &algorithm, &key), 0u) << name;
    return key;
}

inline RsaPublicKey PublicKey(const RsaPrivateKey& key)
{
    RsaPublicKey pub = {};
    pub.bits = key.bits;
    CopyBytes(pub.modulus, key.modulus, sizeof pub.modulus);
    CopyBytes(pub.publicExponent, key.publicExponent, sizeof pub.publicExponent);
    return pub;
}

// The test PKI's password of its encrypted files.
inline const char* Password() { return "tavomir"; }

}  // namespace testsupport::pki_keys
