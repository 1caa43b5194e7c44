// MD5 and SHA-1: long buffers and short messages.
#include <openssl/evp.h>

#include "bench/bench.h"
#include "core/hash/digest.h"

namespace {

const std::size_t kLong = 1 << 20;
const std::size_t kShort = 64;

std::uint32_t Core(std::uint32_t type, std::size_t size)
{
    const std::vector<unsigned char>& input = BenchInput(size);
    unsigned char digest[kMaxDigestLength];
    std::size_t length = 0;
    DigestDataBlock(digest, &length, input.data(), input.size(), type);
    return BenchFingerprint(digest, length);
}

// A context kept across runs, as a caller hashing many messages would.
std::uint32_t Peer(const char* name, std::size_t size)
{
    static EVP_MD_CTX* context = EVP_MD_CTX_new();
    static EVP_MD* md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    static EVP_MD* sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    const std::vector<unsigned char>& input = BenchInput(size);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestInit_ex(context, name[0] == 'M' ? md5 : sha1, nullptr);
    EVP_DigestUpdate(context, input.data(), input.size());
    EVP_DigestFinal_ex(context, digest, &length);
    return BenchFingerprint(digest, length);
}

BENCH_CASE({"MD5 1 MiB", kLong, [] { return Core(kDigestMd5, kLong); }, [] { return Peer("MD5", kLong); }});
BENCH_CASE({"SHA-1 1 MiB", kLong, [] { return Core(kDigestSha1, kLong); }, [] { return Peer("SHA1", kLong); }});
BENCH_CASE({"MD5 64-byte messages", kShort, [] { return Core(kDigestMd5, kShort); },
            [] { return Peer("MD5", kShort); }});
BENCH_CASE({"SHA-1 64-byte messages", kShort, [] { return Core(kDigestSha1, kShort); },
            [] { return Peer("SHA1", kShort); }});

}  // namespace
