// Differential checks of the digests and DigestInfo blocks against libcrypto.
#ifdef TAVOMIR_HAVE_OPENSSL

#define OPENSSL_SUPPRESS_DEPRECATED  // MD4 is reached through its low-level API
#include <openssl/evp.h>
#include <openssl/md4.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/hash/digest.h"

namespace {

std::vector<unsigned char> Reference(std::uint32_t type, const std::vector<unsigned char>& m)
{
    std::vector<unsigned char> out(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (type == kDigestMd4) {
        MD4(m.data(), m.size(), out.data());
        length = 16;
    } else {
        const EVP_MD* md = type == kDigestMd5 ? EVP_md5() : EVP_sha1();
        EXPECT_EQ(EVP_Digest(m.data(), m.size(), out.data(), &length, md, nullptr), 1);
    }
    out.resize(length);
    return out;
}

std::vector<unsigned char> Ours(std::uint32_t type, const std::vector<unsigned char>& m,
                                const std::vector<std::size_t>& pieces)
{
    DigestContext context;
    EXPECT_EQ(InitDigest(&context, type), 0);
    std::size_t at = 0;
    for (std::size_t i = 0; at < m.size(); ++i) {
        std::size_t n = std::min(pieces[i % pieces.size()], m.size() - at);
        EXPECT_EQ(UpdateDigest(&context, m.data() + at, n), 0);
        at += n;
    }
    std::vector<unsigned char> out(kMaxDigestLength);
    std::size_t length = 0;
    EXPECT_EQ(FinalDigest(&context, out.data(), &length), 0);
    out.resize(length);
    return out;
}

const std::uint32_t kPeerTypes[] = {kDigestMd4, kDigestMd5, kDigestSha1};

}  // namespace

TEST(DigestOpenSsl, RandomMessagesAndUpdateSizes)
{
    std::mt19937 random(20240611);
    const std::size_t kUpdateSizes[] = {1, 55, 56, 63, 64, 65, 1000};
    for (int round = 0; round < 60; ++round) {
        std::size_t length = random() % 4100;
        std::vector<unsigned char> m(length);
        for (auto& b : m) b = static_cast<unsigned char>(random());
        for (std::uint32_t type : kPeerTypes) {
            std::vector<unsigned char> expected = Reference(type, m);
            for (std::size_t size : kUpdateSizes)
                EXPECT_EQ(Ours(type, m, {size}), expected) << "type " << type << ", length " << length
                                                           << ", updates of " << size;
            // A mixed sequence of update sizes, zero-length updates included.
            std::vector<std::size_t> mixed;
            for (int i = 0; i < 8; ++i) mixed.push_back(random() % 130);
            mixed.push_back(1);
            EXPECT_EQ(Ours(type, m, mixed), expected) << "type " << type << ", length " << length;
        }
    }
}

// libcrypto parses our DigestInfo and finds the algorithm and digest in it.
TEST(DigestOpenSsl, DigestInfoParsesWithTheRightAlgorithm)
{
    struct Case {
        std::uint32_t type;
        int nid;
        std::size_t digestLength;
    };
    const Case kCases[] = {{kDigestMd2, NID_md2, 16}, {kDigestMd4, NID_md4, 16}, {kDigestMd5, NID_md5, 16},
                           {kDigestSha1, NID_sha1, 20}};
    unsigned char digest[20];
    for (int i = 0; i < 20; ++i) digest[i] = static_cast<unsigned char>(7 * i + 1);
    for (const Case& c : kCases) {
        unsigned char block[kMaxDigestInfoLength];
        std::size_t length = BuildDigestInfo(block, c.type, digest);
        ASSERT_NE(length, 0u) << c.type;
        const unsigned char* p = block;
        X509_SIG* sig = d2i_X509_SIG(nullptr, &p, static_cast<long>(length));
        ASSERT_NE(sig, nullptr) << c.type;
        EXPECT_EQ(p, block + length) << "whole block consumed";
        const X509_ALGOR* algorithm = nullptr;
        const ASN1_OCTET_STRING* value = nullptr;
        X509_SIG_get0(sig, &algorithm, &value);
        const ASN1_OBJECT* oid = nullptr;
        int parameterType = 0;
        X509_ALGOR_get0(&oid, &parameterType, nullptr, algorithm);
        EXPECT_EQ(OBJ_obj2nid(oid), c.nid) << c.type;
        EXPECT_EQ(parameterType, V_ASN1_NULL) << c.type;
        ASSERT_EQ(static_cast<std::size_t>(ASN1_STRING_length(value)), c.digestLength) << c.type;
        EXPECT_TRUE(std::equal(digest, digest + c.digestLength, ASN1_STRING_get0_data(value))) << c.type;
        X509_SIG_free(sig);
    }
}

#endif  // TAVOMIR_HAVE_OPENSSL
