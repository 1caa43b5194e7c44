// The time-stamp driver's file digest against the openssl command line, for
// sizes around the block bounds and a file of a few MiB.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "signer/errors.h"
#include "signer/tsp/file_digest.h"
#include "tests/support/host_openssl.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Work(const std::string& name) { return testsupport::WorkDir() + "/tsp-digest-" + name; }

// Bytes that differ from block to block, so a lost or repeated block shows.
Bytes Pattern(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 131 + i / 8192) & 0xFF);
    return bytes;
}

Bytes OpensslDigest(const std::string& file, const char* name)
{
    const std::string out = file + "." + name;
    std::remove(out.c_str());
    if (testsupport::openssl::Run(std::string("dgst -") + name + " -binary -out " + out + " " + file) != 0) return {};
    return testsupport::ReadFile(out);
}

TEST(TimeStampFileDigest, MatchesOpensslAroundBlockBounds)
{
    const std::size_t sizes[] = {0, 1, 8191, 8192, 8193, 65536, 3 * 1024 * 1024 + 17};
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        const std::string file = Work(std::to_string(size) + ".bin");
        const Bytes data = Pattern(size);
        ASSERT_TRUE(testsupport::WriteFile(file, data.data(), data.size()));
        Bytes digest;
        std::string error = "unchanged";
        ASSERT_TRUE(DigestBlockStreaming(file, CALG_SHA1, digest, error)) << error;
        EXPECT_EQ(error, "unchanged");
        EXPECT_EQ(digest, OpensslDigest(file, "sha1"));
        ASSERT_EQ(digest.size(), 20u);
    }
}

// The algorithm is the caller's, not a fixed SHA-1.
TEST(TimeStampFileDigest, OtherAlgorithm)
{
    const std::string file = Work("md5.bin");
    const Bytes data = Pattern(10000);
    ASSERT_TRUE(testsupport::WriteFile(file, data.data(), data.size()));
    Bytes digest;
    std::string error;
    ASSERT_TRUE(DigestBlockStreaming(file, CALG_MD5, digest, error)) << error;
    EXPECT_EQ(digest, OpensslDigest(file, "md5"));
}

TEST(TimeStampFileDigest, Failures)
{
    Bytes digest = {1, 2, 3};
    std::string error;
    EXPECT_THROW(DigestBlockStreaming(Work("missing.bin"), CALG_SHA1, digest, error), EFileOpenError);
    const std::string file = Work("any.bin");
    ASSERT_TRUE(testsupport::WriteFile(file, "x", 1));
    // An algorithm the provider does not know: the platform's text follows
    // the fixed one. (Wine's provider takes a cipher such as CALG_RC4.)
    const ALG_ID unknownHash = ALG_CLASS_HASH | ALG_TYPE_ANY | 0xFF;
    EXPECT_FALSE(DigestBlockStreaming(file, unknownHash, digest, error));
    EXPECT_EQ(error.rfind("Error creando objeto de digestion", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("Error creando objeto de digestion").size());
    EXPECT_EQ(digest, (Bytes{1, 2, 3}));
}

// A file that opens but cannot be read ends the digest with the fixed text
// and the platform's, never with a digest of what was read. Wine reads a
// region another handle has locked, so the unreadable file is the host's
// view of the process's own memory, whose first page is never mapped.
TEST(TimeStampFileDigest, ReadFailureIsAFailure)
{
    Bytes digest = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(DigestBlockStreaming("/proc/self/mem", CALG_SHA1, digest, error));
    EXPECT_EQ(error.rfind("Error generando digestion", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("Error generando digestion").size());
    EXPECT_EQ(digest, (Bytes{1, 2, 3}));
}

}  // namespace
