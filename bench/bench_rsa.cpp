// RSA private (signature, block type 1) and public (signature opening)
// operations at 1024 and 2048 bits, beside libcrypto on the same key.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstring>
#include <map>
#include <vector>

#include "bench/bench.h"
#include "core/rsa/rsa.h"

namespace {

struct BenchKey {
    EVP_PKEY* pkey = nullptr;
    RsaPrivateKey priv;
    RsaPublicKey pub;
    std::size_t k = 0;
    std::vector<unsigned char> data;       // what is signed: a SHA-1 DigestInfo's size
    std::vector<unsigned char> signature;  // made once by libcrypto
};

void Put(EVP_PKEY* pkey, const char* name, unsigned char* field, int width)
{
    BIGNUM* bn = nullptr;
    EVP_PKEY_get_bn_param(pkey, name, &bn);
    BN_bn2binpad(bn, field, width);
    BN_free(bn);
}

// One key per size for the whole run, made by libcrypto.
BenchKey& KeyOf(int bits)
{
    static std::map<int, BenchKey> keys;
    auto it = keys.find(bits);
    if (it != keys.end()) return it->second;
    BenchKey& key = keys[bits];
    key.pkey = EVP_RSA_gen(static_cast<unsigned>(bits));
    std::memset(&key.priv, 0, sizeof key.priv);
    key.priv.bits = key.pub.bits = static_cast<std::uint16_t>(bits);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_N, key.priv.modulus, 256);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_E, key.priv.publicExponent, 256);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_D, key.priv.privateExponent, 256);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_FACTOR1, key.priv.prime1, 128);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_FACTOR2, key.priv.prime2, 128);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_EXPONENT1, key.priv.exponent1, 128);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_EXPONENT2, key.priv.exponent2, 128);
    Put(key.pkey, OSSL_PKEY_PARAM_RSA_COEFFICIENT1, key.priv.coefficient, 128);
    std::memcpy(key.pub.modulus, key.priv.modulus, 256);
    std::memcpy(key.pub.publicExponent, key.priv.publicExponent, 256);
    key.k = static_cast<std::size_t>(bits) / 8;
    key.data = BenchInput(35);
    key.signature.resize(key.k);
    std::size_t n = key.k;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.pkey, nullptr);
    EVP_PKEY_sign_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_sign(ctx, key.signature.data(), &n, key.data.data(), key.data.size());
    EVP_PKEY_CTX_free(ctx);
    return key;
}

std::uint32_t CoreSign(int bits)
{
    BenchKey& key = KeyOf(bits);
    unsigned char out[256];
    std::size_t n = 0;
    if (EncryptRsaPrivate(out, &n, key.data.data(), key.data.size(), &key.priv) != 0) return 0;
    return BenchFingerprint(out, n);
}

std::uint32_t PeerSign(int bits)
{
    BenchKey& key = KeyOf(bits);
    unsigned char out[256];
    std::size_t n = sizeof out;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.pkey, nullptr);
    EVP_PKEY_sign_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    int ok = EVP_PKEY_sign(ctx, out, &n, key.data.data(), key.data.size());
    EVP_PKEY_CTX_free(ctx);
    return ok == 1 ? BenchFingerprint(out, n) : 0;
}

std::uint32_t CoreOpen(int bits)
{
    BenchKey& key = KeyOf(bits);
    unsigned char out[256];
    std::size_t n = 0;
    if (DecryptRsaPublic(out, &n, key.signature.data(), key.signature.size(), &key.pub) != 0) return 0;
    return BenchFingerprint(out, n);
}

std::uint32_t PeerOpen(int bits)
{
    BenchKey& key = KeyOf(bits);
    unsigned char out[256];
    std::size_t n = sizeof out;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.pkey, nullptr);
    EVP_PKEY_verify_recover_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    int ok = EVP_PKEY_verify_recover(ctx, out, &n, key.signature.data(), key.signature.size());
    EVP_PKEY_CTX_free(ctx);
    return ok == 1 ? BenchFingerprint(out, n) : 0;
}

BENCH_CASE({"rsa1024 private (sign)", 0, [] { return CoreSign(1024); }, [] { return PeerSign(1024); }});
BENCH_CASE({"rsa1024 public (verify)", 0, [] { return CoreOpen(1024); }, [] { return PeerOpen(1024); }});
BENCH_CASE({"rsa2048 private (sign)", 0, [] { return CoreSign(2048); }, [] { return PeerSign(2048); }});
BENCH_CASE({"rsa2048 public (verify)", 0, [] { return CoreOpen(2048); }, [] { return PeerOpen(2048); }});

}  // namespace
