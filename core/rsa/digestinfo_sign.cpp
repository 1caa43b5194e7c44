#include "core/rsa/digestinfo_sign.h"

#include <initializer_list>

#include "core/hash/digest.h"
#include "core/der/oid.h"
#include "core/rsa/rsa.h"

namespace {

// DigestInfo { AlgorithmIdentifier { OID [, NULL] }, OCTET STRING digest },
// written into the work buffer; a view of it goes to info.
bool BuildExpectedDigestInfo(DigestInfoWork* work, std::uint32_t digestType, const unsigned char* digest,
                             std::size_t digestLength, bool withNull, ByteBuffer* info)
{
    DERCursor* cursor = &work->cursor;
    InitDERWriter(cursor, work->buffer, sizeof work->buffer);
    std::size_t total = PutDERValue(cursor, kTagOctetString, ByteBuffer{const_cast<unsigned char*>(digest), digestLength});
    if (total == 0) return false;
    std::size_t n;
    if (withNull) {
        n = EncodeAlgorithmId(cursor, static_cast<int>(digestType));
    } else {
        unsigned char oid[kOIDMaxLength];
        std::size_t oidLength = 0;
        if (AlgorithmToOID(static_cast<int>(digestType), oid, &oidLength) != 0) return false;
        n = PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, oidLength});
        if (n != 0) {
            std::size_t header = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, n});
            n = header ? n + header : 0;
        }
    }
    if (n == 0) return false;
    total += n;
    n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return false;
    info->length = sizeof work->buffer;
    return GetDERBytes(cursor, info) == total + n;
}

}  // namespace

std::uint32_t SignatureDigestType(int algorithm)
{
    switch (algorithm) {
    case kAlgMD2WithRsa: return kDigestMd2;
    case kAlgMD4WithRsa: return kDigestMd4;
    case kAlgMD5WithRsa: return kDigestMd5;
    case kAlgSHA1WithRsa: return kDigestSha1;
    default: return 0;
    }
}

std::size_t SignDigestInfo(DigestInfoWork* work, int algorithm, const unsigned char* data, std::size_t dataLength,
                           const RsaPrivateKey* key, unsigned char* signature, std::size_t* signatureLength)
{
    std::uint32_t digestType = SignatureDigestType(algorithm);
    if (digestType == 0) return 0;
    unsigned char digest[kMaxDigestLength];
    std::size_t digestLength = 0;
    std::size_t result = 0;
    if (DigestDataBlock(digest, &digestLength, data, dataLength, digestType) == 0)
        result = SignDigestInfoOfDigest(work, algorithm, digest, digestLength, key, signature, signatureLength);
    FillBytes(digest, 0, sizeof digest);
    return result;
}

std::size_t SignDigestInfoOfDigest(DigestInfoWork* work, int algorithm, const unsigned char* digest,
                                   std::size_t digestLength, const RsaPrivateKey* key, unsigned char* signature,
                                   std::size_t* signatureLength)
{
    std::uint32_t digestType = SignatureDigestType(algorithm);
    if (digestType == 0) return 0;
    std::size_t result = 0;
    ByteBuffer info = {nullptr, 0};
    if (BuildExpectedDigestInfo(work, digestType, digest, digestLength, true, &info)) {
        std::size_t length = 0;
        if (EncryptRsaPrivate(signature, &length, info.pointer, info.length, key) == 0) {
            *signatureLength = length;
            result = length;
        }
    }
    FillBytes(work->buffer, 0, sizeof work->buffer);
    return result;
}

std::size_t VerifyDigestInfo(DigestInfoWork* work, int algorithm, const unsigned char* data, std::size_t dataLength,
                             const RsaPublicKey* key, const unsigned char* signature, std::size_t signatureLength)
{
    std::uint32_t digestType = SignatureDigestType(algorithm);
    if (digestType == 0) return 0;
    unsigned char digest[kMaxDigestLength];
    std::size_t digestLength = 0;
    std::size_t result = 0;
    if (DigestDataBlock(digest, &digestLength, data, dataLength, digestType) == 0)
        result = VerifyDigestInfoOfDigest(work, algorithm, digest, digestLength, key, signature, signatureLength);
    FillBytes(digest, 0, sizeof digest);
    return result;
}

std::size_t VerifyDigestInfoOfDigest(DigestInfoWork* work, int algorithm, const unsigned char* digest,
                                     std::size_t digestLength, const RsaPublicKey* key,
                                     const unsigned char* signature, std::size_t signatureLength)
{
    std::uint32_t digestType = SignatureDigestType(algorithm);
    if (digestType == 0) return 0;
    unsigned char decrypted[kDigestInfoWorkSize];
    std::size_t decryptedLength = 0;
    std::size_t result = 0;
    if (signatureLength <= sizeof decrypted &&
        DecryptRsaPublic(decrypted, &decryptedLength, signature, signatureLength, key) == 0 &&
        decryptedLength <= sizeof decrypted) {
        // Compare with the encodings we would make, byte for byte: a parsing
        // check would leave room for forged blocks under small exponents.
        for (bool withNull : {true, false}) {
            ByteBuffer expected = {nullptr, 0};
            if (BuildExpectedDigestInfo(work, digestType, digest, digestLength, withNull, &expected) &&
                expected.length == decryptedLength &&
                CompareBytes(expected.pointer, decrypted, decryptedLength) == 0) {
                result = decryptedLength;
                break;
            }
        }
    }
    FillBytes(decrypted, 0, sizeof decrypted);
    FillBytes(work->buffer, 0, sizeof work->buffer);
    return result;
}
