// Digest dispatcher, one-shot digest and the DER DigestInfo builder.
#include "core/hash/digest.h"

#include "core/der/bytes.h"

namespace {

bool IsDigestType(std::uint32_t digestType) { return digestType >= kDigestMd2 && digestType <= kDigestSha1; }

// DigestInfo prefixes: SEQUENCE { SEQUENCE { OID, NULL }, OCTET STRING header }.
// The MD family's OID 1.2.840.113549.2.n carries n in byte 13.
const unsigned char kMdPrefix[18] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                     0x86, 0xf7, 0x0d, 0x02, 0x00, 0x05, 0x00, 0x04, 0x10};
const std::size_t kMdTypeIndex = 13;
// id-sha1, 1.3.14.3.2.26.
const unsigned char kSha1Prefix[15] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                       0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};

}  // namespace

int InitDigest(DigestContext* context, std::uint32_t digestType)
{
    context->digestType = digestType;
    switch (digestType) {
    case kDigestMd2: InitMd2(&context->state.md2); return 0;
    case kDigestSha0: InitSha0(&context->state.sha); return 0;
    case kDigestMd4: InitMd4(&context->state.md4); return 0;
    case kDigestMd5: InitMd5(&context->state.md5); return 0;
    case kDigestSha1: InitSha1(&context->state.sha); return 0;
    default: return kStatusDigestAlgorithm;
    }
}

int UpdateDigest(DigestContext* context, const unsigned char* data, std::size_t length)
{
    switch (context->digestType) {
    case kDigestMd2: UpdateMd2(&context->state.md2, data, length); return 0;
    case kDigestSha0: UpdateSha0(&context->state.sha, data, length); return 0;
    case kDigestMd4: UpdateMd4(&context->state.md4, data, length); return 0;
    case kDigestMd5: UpdateMd5(&context->state.md5, data, length); return 0;
    case kDigestSha1: UpdateSha1(&context->state.sha, data, length); return 0;
    default: return kStatusDigestAlgorithm;
    }
}

int FinalDigest(DigestContext* context, unsigned char* digest, std::size_t* digestLength)
{
    std::uint32_t type = context->digestType;
    *digestLength = (type == kDigestSha0 || type == kDigestSha1) ? 20 : 16;
    switch (type) {
    case kDigestMd2: FinalMd2(digest, &context->state.md2); return 0;
    case kDigestSha0: FinalSha0(digest, &context->state.sha); return 0;
    case kDigestMd4: FinalMd4(digest, &context->state.md4); return 0;
    case kDigestMd5: FinalMd5(digest, &context->state.md5); return 0;
    case kDigestSha1: FinalSha1(digest, &context->state.sha); return 0;
    default: return kStatusDigestAlgorithm;
    }
}

int DigestDataBlock(unsigned char* digest, std::size_t* digestLength, const unsigned char* data,
                    std::size_t length, std::uint32_t digestType)
{
    DigestContext context;
    int status = InitDigest(&context, digestType);
    if (status == 0) status = UpdateDigest(&context, data, length);
    if (status == 0) status = FinalDigest(&context, digest, digestLength);
    FillBytes(&context, 0, sizeof context);
    return status;
}

std::size_t BuildDigestInfo(unsigned char* out, std::uint32_t digestType, const unsigned char* digest)
{
    if (digestType == kDigestSha1) {
        CopyBytes(out, kSha1Prefix, sizeof kSha1Prefix);
        CopyBytes(out + sizeof kSha1Prefix, digest, 20);
        return sizeof kSha1Prefix + 20;
    }
    if (!IsDigestType(digestType) || digestType == kDigestSha0) return 0;
    CopyBytes(out, kMdPrefix, sizeof kMdPrefix);
    out[kMdTypeIndex] = static_cast<unsigned char>(digestType);
    CopyBytes(out + sizeof kMdPrefix, digest, 16);
    return sizeof kMdPrefix + 16;
}

int CompareDigestInfoAlgorithm(const unsigned char* first, const unsigned char* second)
{
    // The leading 14 bytes tell every block apart: SHA-1's differs from the
    // MD family's at byte 1, the MD family's among themselves at byte 13.
    return CompareBytes(first, second, kMdTypeIndex + 1) == 0 ? 0 : kStatusSignature;
}
