// Password-protected private keys: openssl pkcs8 -v1 PBE-MD5-DES both ways,
// the PBE padding check, the decoder's refusals, and credential loading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/pkcs8/credentials.h"
#include "core/pkcs8/encrypted_key.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_cert_util.h"
#include "tests/support/test_pki_keys.h"

namespace {

using Bytes = std::vector<unsigned char>;
using namespace testsupport::cert;
using testsupport::Pki;
using testsupport::pki_keys::Password;

const unsigned char* Pw(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

bool SameKey(const RsaPrivateKey& a, const RsaPrivateKey& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Bytes Encrypt(int algorithm, std::uint32_t count, const char* password, const RsaPrivateKey& key)
{
    Bytes out(kEncryptedKeyMaxLength);
    std::size_t length = 0;
    EXPECT_EQ(EncryptPrivateKeyInfo(out.data(), &length, algorithm, count, Pw(password), std::strlen(password), &key), 0);
    out.resize(length);
    return out;
}

int Decrypt(const Bytes& der, const char* password, RsaPrivateKey* key)
{
    return DecryptPrivateKeyInfo(der.data(), der.size(), Pw(password), std::strlen(password), key);
}

TEST(EncryptedKeyOpenssl, ReadsWhatOpensslWrites)
{
    for (const char* name : {"signer", "recipient"}) {
        RsaPrivateKey key;
        ASSERT_EQ(Decrypt(ReadPki(std::string(name) + ".key.p8e.der"), Password(), &key), 0) << name;
        EXPECT_TRUE(SameKey(key, testsupport::pki_keys::PrivateKey(name))) << name;
        EXPECT_EQ(Decrypt(ReadPki(std::string(name) + ".key.p8e.der"), "Tavomir", &key), 1) << name;
    }
}

TEST(EncryptedKeyOpenssl, OpensslReadsWhatWeWrite)
{
    RsaPrivateKey key = testsupport::pki_keys::PrivateKey("signer");
    Bytes der = Encrypt(kAlgPbeMD5DesCbc, 100, "our password", key);
    const std::string dir = testsupport::WorkDir();
    const std::string in = dir + "/pkcs8-ours.p8e.der", out = dir + "/pkcs8-ours.pk8.der";
    ASSERT_TRUE(testsupport::WriteFile(in, der.data(), der.size()));
    std::remove(out.c_str());
    ASSERT_EQ(testsupport::openssl_cli::Run("pkcs8 -provider legacy -provider default -inform DER -in " + in +
                                            " -passin pass:our\\ password -outform DER -out " + out),
              0);
    // openssl writes the key it decrypted as PKCS#1.
    EXPECT_EQ(testsupport::ReadFile(out), ReadPki("signer.key.pk1.der"));
}

TEST(EncryptedKey, RoundTripsAndIsDeterministic)
{
    RsaPrivateKey key = testsupport::pki_keys::PrivateKey("recipient");
    for (int algorithm : {kAlgPbeMD2DesCbc, kAlgPbeMD5DesCbc}) {
        Bytes der = Encrypt(algorithm, 1, "pw", key);
        EXPECT_EQ(Encrypt(algorithm, 1, "pw", key), der);  // the salt is derived, not drawn
        RsaPrivateKey back;
        EXPECT_EQ(Decrypt(der, "pw", &back), 0) << algorithm;
        EXPECT_TRUE(SameKey(back, key));
        EXPECT_EQ(Decrypt(der, "pW", &back), 1) << algorithm;
    }
    // MD2 and MD5 derive different keys from the same password.
    EXPECT_NE(Encrypt(kAlgPbeMD2DesCbc, 1, "pw", key), Encrypt(kAlgPbeMD5DesCbc, 1, "pw", key));
}

TEST(EncryptedKey, CountAbove127IsOneContentByte)
{
    RsaPrivateKey key = testsupport::pki_keys::PrivateKey("recipient");
    Bytes der = Encrypt(kAlgPbeMD5DesCbc, 200, "pw", key);
    DERCursor reader;
    InitDERReader(&reader, der.data(), der.size());
    EncryptedKeyInfo info;
    ASSERT_NE(DecodeEncryptedPrivateKeyInfo(&reader, &info), 0u);
    EXPECT_EQ(info.count, 200u);
    const Bytes integer = {0x02, 0x01, 0xC8};
    EXPECT_NE(std::search(der.begin(), der.begin() + 40, integer.begin(), integer.end()), der.begin() + 40);
    RsaPrivateKey back;
    EXPECT_EQ(Decrypt(der, "pw", &back), 0);
}

TEST(EncryptedKey, RefusesUnknownAlgorithmCodes)
{
    RsaPrivateKey key = testsupport::pki_keys::PrivateKey("recipient");
    Bytes out(kEncryptedKeyMaxLength);
    std::size_t length = 0;
    for (int algorithm : {kAlgRsaEncryption, kAlgDesCbc, kAlgPbeSha3DesCbc})
        EXPECT_EQ(EncryptPrivateKeyInfo(out.data(), &length, algorithm, 1, Pw("pw"), 2, &key), 1) << algorithm;
    unsigned char salt[8], buffer[24] = {};
    ByteBuffer plain = {buffer, 8}, cipher = {buffer + 8, 0};
    EXPECT_EQ(PbeEncrypt(plain, &cipher, kAlgRsaEncryption, 1, salt, Pw("pw"), 2), 0u);
    EXPECT_EQ(PbeDecrypt(&cipher, ByteBuffer{buffer, 8}, kAlgRsaEncryption, 1, salt, Pw("pw"), 2), 0u);
}

// The decrypted padding must be 1 to 8 bytes all equal to their count; a
// failure leaves no plaintext behind.
TEST(Pbe, PaddingIsChecked)
{
    struct Case {
        const char* block;
        std::size_t plainLength;  // 0: refused
    } cases[] = {
        {"4142434445030303", 5}, {"4142434445464708", 0}, {"4142434445464703", 0},
        {"4142434445464709", 0}, {"4142434445464700", 0}, {"0807080808080808", 0},
    };
    for (const Case& c : cases) {
        Bytes block = Hex(c.block);
        unsigned char salt[8];
        Bytes cipher(16);
        ByteBuffer encrypted = {cipher.data(), 0};
        ASSERT_EQ(PbeEncrypt(ByteBuffer{block.data(), 8}, &encrypted, kAlgPbeMD5DesCbc, 5, salt, Pw("pw"), 2), 16u);
        // The first block alone is a CBC message whose last byte is the block's.
        Bytes plain(8, 0xEE);
        ByteBuffer decrypted = {plain.data(), 0};
        std::size_t result = PbeDecrypt(&decrypted, ByteBuffer{cipher.data(), 8}, kAlgPbeMD5DesCbc, 5, salt, Pw("pw"), 2);
        if (c.plainLength) {
            EXPECT_EQ(result, 8u) << c.block;
            EXPECT_EQ(decrypted.length, c.plainLength) << c.block;
        } else {
            EXPECT_EQ(result, 0u) << c.block;
            EXPECT_EQ(plain, Bytes(8, 0)) << c.block;
        }
    }
}

// Hand-made structures around a real ciphertext.
TEST(EncryptedKey, DecoderRefusesMalformedFields)
{
    const Bytes oid = Tlv(0x06, Hex("2a864886f70d010503"));
    const Bytes salt8 = Tlv(0x04, Bytes(8, 1)), count = Tlv(0x02, {100}), data = Tlv(0x04, Bytes(16, 2));
    auto make = [&](const Bytes& o, const Bytes& s, const Bytes& c, const Bytes& d) {
        return Seq({Seq({o, Seq({s, c})}), d});
    };
    struct Case {
        const char* what;
        Bytes der;
        bool accepted;
    } cases[] = {
        {"well formed", make(oid, salt8, count, data), true},
        {"salt of 7", make(oid, Tlv(0x04, Bytes(7, 1)), count, data), false},
        {"salt of 9", make(oid, Tlv(0x04, Bytes(9, 1)), count, data), false},
        {"two-byte count", make(oid, salt8, Tlv(0x02, {0x00, 0xC8}), data), false},
        {"partial block", make(oid, salt8, count, Tlv(0x04, Bytes(15, 2))), false},
        {"empty ciphertext", make(oid, salt8, count, Tlv(0x04, {})), false},
        {"unknown algorithm", make(Tlv(0x06, Hex("2a864886f70d010599")), salt8, count, data), false},
        {"count as octets", make(oid, salt8, Tlv(0x04, {100}), data), false},
    };
    for (const Case& c : cases) {
        DERCursor reader;
        InitDERReader(&reader, c.der.data(), c.der.size());
        EncryptedKeyInfo info;
        EXPECT_EQ(DecodeEncryptedPrivateKeyInfo(&reader, &info) != 0, c.accepted) << c.what;
    }
    // Truncated files fail, never read past their end.
    Bytes good = ReadPki("signer.key.p8e.der");
    RsaPrivateKey key;
    for (std::size_t cut : {std::size_t{1}, std::size_t{30}, good.size() / 2, good.size() - 8, good.size() - 1}) {
        Bytes shortened(good.begin(), good.begin() + static_cast<long>(cut));
        EXPECT_EQ(Decrypt(shortened, Password(), &key), 1) << cut;
    }
}

struct Credentials {
    DataSets sets;
    Credentials() { InitDataSets(&sets); }
    ~Credentials() { DeleteDataSets(&sets); }
    std::uint32_t Count(std::uint32_t slot)
    {
        std::uint32_t n = 0;
        CountDataItems(&sets, slot, &n);
        return n;
    }
};

TEST(LoadCredentials, MatchingAndMismatchedPairs)
{
    {
        Credentials c;
        EXPECT_EQ(LoadCredentials(Password(), Pki("signer.key.p8e.der").c_str(), Pki("signer.cert.der").c_str(), &c.sets),
                  kCredentialsOk);
        const unsigned char* data = nullptr;
        std::size_t length = 0;
        ASSERT_EQ(GetDataItem(&c.sets, kSlotOwnPassword, 1, &data, &length), 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), length), std::string("tavomir", 8));
        EXPECT_EQ(GetDataItem(&c.sets, kSlotOwnKey, 1, &data, &length), 0);
        EXPECT_EQ(Bytes(data, data + length), ReadPki("signer.key.p8e.der"));
        EXPECT_EQ(GetDataItem(&c.sets, kSlotOwnCertificate, 1, &data, &length), 0);
        EXPECT_EQ(Bytes(data, data + length), ReadPki("signer.cert.der"));
    }
    Credentials c;
    EXPECT_EQ(LoadCredentials(Password(), Pki("signer.key.p8e.der").c_str(), Pki("recipient.cert.der").c_str(), &c.sets),
              kCredentialsMismatch);
    EXPECT_EQ(c.Count(12), 1u);
    EXPECT_EQ(c.Count(13), 1u);
    EXPECT_EQ(c.Count(14), 1u);
}

TEST(LoadCredentials, ReportsTheFirstFailingStep)
{
    const std::string dir = testsupport::WorkDir();
    const std::string empty = dir + "/credentials-empty.bin", big = dir + "/credentials-big.bin";
    ASSERT_TRUE(testsupport::WriteFile(empty, "", 0));
    Bytes large(5000, 0x30);
    ASSERT_TRUE(testsupport::WriteFile(big, large.data(), large.size()));
    const std::string key = Pki("signer.key.p8e.der"), certificate = Pki("signer.cert.der");
    struct Case {
        const char* what;
        const char* password;
        std::string key, cert;
        int result;
        std::uint32_t keys;
    } cases[] = {
        {"no key file", Password(), dir + "/no-such.der", certificate, kCredentialsCannotOpen, 0},
        {"empty key file", Password(), empty, certificate, kCredentialsUnreadable, 0},
        {"wrong password", "wrong", key, certificate, kCredentialsKey, 0},
        {"key over 4000 bytes", Password(), big, certificate, kCredentialsKey, 0},
        {"no certificate", Password(), key, dir + "/no-such.der", kCredentialsCannotOpen, 1},
        {"empty certificate", Password(), key, empty, kCredentialsUnreadable, 1},
        {"not a certificate", Password(), key, key, kCredentialsCertificate, 1},
    };
    for (const Case& c : cases) {
        Credentials creds;
        EXPECT_EQ(LoadCredentials(c.password, c.key.c_str(), c.cert.c_str(), &creds.sets), c.result) << c.what;
        EXPECT_EQ(creds.Count(kSlotOwnPassword), 1u) << c.what;
        EXPECT_EQ(creds.Count(kSlotOwnKey), c.keys) << c.what;
        EXPECT_EQ(creds.Count(kSlotOwnCertificate), 0u) << c.what;
    }
}

// A file is read whole or refused: one of the bound's size or more is never
// decoded from its first part. The real key and certificate, padded with
// zeros to each size, are the fixtures.
TEST(LoadCredentials, FilesAtTheBoundAreRefused)
{
    const std::string dir = testsupport::WorkDir();
    const auto padded = [&dir](const std::string& entityFile, std::size_t size) {
        Bytes bytes = ReadPki(entityFile);
        EXPECT_LT(bytes.size(), size);
        bytes.resize(size, 0);
        const std::string path = dir + "/credentials-" + std::to_string(size) + "-" + entityFile;
        EXPECT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
        return path;
    };
    const std::string key = Pki("signer.key.p8e.der"), certificate = Pki("signer.cert.der");
    struct Case {
        const char* what;
        std::string key, cert;
        int result;
        std::uint32_t keys, certificates;
    } cases[] = {
        {"key of 6143 bytes", padded("signer.key.p8e.der", 6143), certificate, kCredentialsKey, 0, 0},
        {"key of 6144 bytes", padded("signer.key.p8e.der", 6144), certificate, kCredentialsKey, 0, 0},
        {"key of 6145 bytes", padded("signer.key.p8e.der", 6145), certificate, kCredentialsKey, 0, 0},
        {"certificate of 6143 bytes", key, padded("signer.cert.der", 6143), kCredentialsOk, 1, 1},
        {"certificate of 6144 bytes", key, padded("signer.cert.der", 6144), kCredentialsCertificate, 1, 0},
        {"certificate of 9000 bytes", key, padded("signer.cert.der", 9000), kCredentialsCertificate, 1, 0},
    };
    for (const Case& c : cases) {
        Credentials creds;
        EXPECT_EQ(LoadCredentials(Password(), c.key.c_str(), c.cert.c_str(), &creds.sets), c.result) << c.what;
        EXPECT_EQ(creds.Count(kSlotOwnKey), c.keys) << c.what;
        EXPECT_EQ(creds.Count(kSlotOwnCertificate), c.certificates) << c.what;
    }
}

// Slot 13 holds the password with its NUL; one stored without is taken as is.
TEST(LoadCredentials, PasswordInEitherForm)
{
    for (std::size_t stored : {std::size_t{8}, std::size_t{7}}) {
        Credentials c;
        ASSERT_EQ(AddDataItem(&c.sets, kSlotOwnPassword, "tavomir", stored), 0);
        const unsigned char* password = nullptr;
        std::size_t length = 0;
        ASSERT_EQ(GetCredentialPassword(&c.sets, &password, &length), 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(password), length), "tavomir");
        RsaPrivateKey key;
        Bytes der = ReadPki("signer.key.p8e.der");
        EXPECT_EQ(DecryptPrivateKeyInfo(der.data(), der.size(), password, length, &key), 0);
    }
}

TEST(CheckKeyPair, TellsPairsApart)
{
    RsaPrivateKey signer = testsupport::pki_keys::PrivateKey("signer");
    RsaPrivateKey recipient = testsupport::pki_keys::PrivateKey("recipient");
    RsaPublicKey own = testsupport::pki_keys::PublicKey(signer);
    EXPECT_EQ(CheckKeyPair(&own, &signer), 0);
    RsaPublicKey other = testsupport::pki_keys::PublicKey(recipient);
    EXPECT_EQ(CheckKeyPair(&other, &signer), 1);
}

}  // namespace
