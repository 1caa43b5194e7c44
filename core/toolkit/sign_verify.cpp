// Block signatures: digest, DigestInfo, PKCS#1 type 1 with the private key.
#include "core/der/bytes.h"
#include "core/rsa/rsa.h"
#include "core/toolkit/toolkit.h"
#include "core/toolkit/wipe.h"

namespace {

int InitChecked(DigestContext* context, std::uint32_t digestType)
{
    if (digestType == kDigestSha0) {
        context->digestType = digestType;
        return kStatusDigestAlgorithm;
    }
    return InitDigest(context, digestType);
}

int UpdateChecked(DigestContext* context, const unsigned char* data, std::size_t length)
{
    if (context->digestType == kDigestSha0) return kStatusDigestAlgorithm;
    return UpdateDigest(context, data, length);
}

// The DigestInfo of the context's message; its length, 0 on failure.
std::size_t FinishDigestInfo(DigestContext* context, unsigned char info[kMaxDigestInfoLength], int* status)
{
    unsigned char digest[kMaxDigestLength];
    ScopedWipe wipeDigest{digest, sizeof digest};
    std::size_t digestLength = 0;
    *status = FinalDigest(context, digest, &digestLength);
    if (*status != 0) return 0;
    // SHA-1's DigestInfo is 35 bytes: the length is the builder's, not a fixed 34.
    std::size_t length = BuildDigestInfo(info, context->digestType, digest);
    if (length == 0) *status = kStatusDigestAlgorithm;
    return length;
}

// One block through init, update and final on a context of its own, stopping
// at the first failure; the context is wiped.
template <class Init, class Update, class Final>
int OnOwnContext(std::uint32_t digestType, const unsigned char* block, std::size_t blockLength, Init init,
                 Update update, Final final)
{
    DigestContext context;
    ScopedWipe wipeContext{&context, sizeof context};
    int status = init(&context, digestType);
    if (status == 0) status = update(&context, block, blockLength);
    if (status == 0) status = final(&context);
    return status;
}

}  // namespace

int InitSign(DigestContext* context, std::uint32_t digestType) { return InitChecked(context, digestType); }

int UpdateSign(DigestContext* context, const unsigned char* data, std::size_t length)
{
    return UpdateChecked(context, data, length);
}

int FinalSign(DigestContext* context, unsigned char* signature, std::size_t* signatureLength,
              const RsaPrivateKey* key)
{
    if (context->digestType == kDigestSha0) return kStatusDigestAlgorithm;
    unsigned char info[kMaxDigestInfoLength];
    ScopedWipe wipeInfo{info, sizeof info};
    int status = 0;
    std::size_t infoLength = FinishDigestInfo(context, info, &status);
    if (infoLength == 0) return status;
    if (EncryptRsaPrivate(signature, signatureLength, info, infoLength, key) != 0) return kStatusPrivateKey;
    return InitDigest(context, context->digestType);
}

int InitVerify(DigestContext* context, std::uint32_t digestType) { return InitChecked(context, digestType); }

int UpdateVerify(DigestContext* context, const unsigned char* data, std::size_t length)
{
    return UpdateChecked(context, data, length);
}

int FinalVerify(DigestContext* context, const unsigned char* signature, std::size_t signatureLength,
                const RsaPublicKey* key)
{
    if (context->digestType == kDigestSha0) return kStatusDigestAlgorithm;
    if (signatureLength > kToolkitMaxSignature) return kStatusLength;
    unsigned char expected[kMaxDigestInfoLength];
    unsigned char decrypted[kToolkitMaxSignature];
    ScopedWipe wipeExpected{expected, sizeof expected}, wipeDecrypted{decrypted, sizeof decrypted};
    int status = 0;
    std::size_t expectedLength = FinishDigestInfo(context, expected, &status);
    if (expectedLength == 0) return status;
    std::size_t decryptedLength = 0;
    if (DecryptRsaPublic(decrypted, &decryptedLength, signature, signatureLength, key) != 0) return kStatusPublicKey;
    if (decryptedLength != expectedLength || CompareDigestInfoAlgorithm(decrypted, expected) != 0 ||
        CompareBytes(decrypted, expected, expectedLength) != 0)
        return kStatusSignature;
    return InitDigest(context, context->digestType);
}

int SignDataBlock(unsigned char* signature, std::size_t* signatureLength, const unsigned char* block,
                  std::size_t blockLength, std::uint32_t digestType, const RsaPrivateKey* key)
{
    return OnOwnContext(digestType, block, blockLength, InitSign, UpdateSign, [&](DigestContext* context) {
        return FinalSign(context, signature, signatureLength, key);
    });
}

int VerifyDataBlock(const unsigned char* block, std::size_t blockLength, const unsigned char* signature,
                    std::size_t signatureLength, std::uint32_t digestType, const RsaPublicKey* key)
{
    return OnOwnContext(digestType, block, blockLength, InitVerify, UpdateVerify, [&](DigestContext* context) {
        return FinalVerify(context, signature, signatureLength, key);
    });
}
