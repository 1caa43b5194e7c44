// DES-CBC and three-key triple-DES CBC over 1 MiB, one context each run.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include "bench/bench.h"
#include "core/cipher/des.h"

namespace {

const std::size_t kLong = 1 << 20;
const unsigned char kKey[24] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xf1, 0xe0, 0xd3, 0xc2,
                                0xb5, 0xa4, 0x97, 0x86, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
const unsigned char kIv[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xab, 0xcd, 0xef};

std::vector<unsigned char>& Output()
{
    static std::vector<unsigned char> out(kLong);
    return out;
}

std::uint32_t Core(bool triple)
{
    const std::vector<unsigned char>& input = BenchInput(kLong);
    std::vector<unsigned char>& out = Output();
    if (triple) {
        Des3CbcContext context;
        InitDes3Cbc(&context, kKey, kIv, 1);
        UpdateDes3Cbc(&context, out.data(), input.data(), input.size());
    } else {
        DesCbcContext context;
        InitDesCbc(&context, kKey, kIv, 1);
        UpdateDesCbc(&context, out.data(), input.data(), input.size());
    }
    return BenchFingerprint(out.data(), out.size());
}

std::uint32_t Peer(bool triple)
{
    // Single DES lives in the legacy provider.
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
    static EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    (void)legacy;
    (void)standard;
    const std::vector<unsigned char>& input = BenchInput(kLong);
    std::vector<unsigned char>& out = Output();
    int length = 0;
    EVP_EncryptInit_ex(context, triple ? EVP_des_ede3_cbc() : EVP_des_cbc(), nullptr, kKey, kIv);
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_EncryptUpdate(context, out.data(), &length, input.data(), static_cast<int>(input.size()));
    return BenchFingerprint(out.data(), out.size());
}

BENCH_CASE({"DES-CBC 1 MiB", kLong, [] { return Core(false); }, [] { return Peer(false); }});
BENCH_CASE({"3DES-CBC 1 MiB", kLong, [] { return Core(true); }, [] { return Peer(true); }});

}  // namespace
