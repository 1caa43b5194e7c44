#include "signer/cms/cms_algorithms.h"

#include <cstddef>

#include "core/der/oid.h"
#include "core/hash/digest.h"

namespace {

struct OidRow {
    std::size_t length;
    unsigned char bytes[9];
    ALG_ID algorithm;
};

// The SHA-2 family, which the core's table does not hold:
// 2.16.840.1.101.3.4.2.1 to 3 and sha*WithRSAEncryption 1.2.840.113549.1.1.11 to 13.
const OidRow kSha2Digests[] = {
    {9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}, CALG_SHA_256},
    {9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02}, CALG_SHA_384},
    {9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03}, CALG_SHA_512},
};
const OidRow kSha2Signatures[] = {
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}, CALG_SHA_256},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0C}, CALG_SHA_384},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0D}, CALG_SHA_512},
};

bool SameBytes(const ByteBuffer& a, const unsigned char* b, std::size_t length)
{
    return a.length == length && CompareBytes(a.pointer, b, length) == 0;
}

template <std::size_t N>
ALG_ID FindRow(const OidRow (&rows)[N], const ByteBuffer& oid)
{
    for (const OidRow& row : rows)
        if (SameBytes(oid, row.bytes, row.length)) return row.algorithm;
    return 0;
}

}  // namespace

namespace cmsalgorithm {

ALG_ID DigestAlgorithm(const ByteBuffer& oid)
{
    switch (OIDToAlgorithm(oid.pointer, oid.length)) {
    case kDigestMd5:
        return CALG_MD5;
    case kDigestSha1:
        return CALG_SHA1;
    default:
        return FindRow(kSha2Digests, oid);
    }
}

bool SignatureDigest(const ByteBuffer& oid, ALG_ID* digest)
{
    switch (OIDToAlgorithm(oid.pointer, oid.length)) {
    case kAlgRsaEncryption:
        *digest = 0;
        return true;
    case kAlgMD5WithRsa:
        *digest = CALG_MD5;
        return true;
    case kAlgSHA1WithRsa:
        *digest = CALG_SHA1;
        return true;
    default:
        *digest = FindRow(kSha2Signatures, oid);
        return *digest != 0;
    }
}

}  // namespace cmsalgorithm
