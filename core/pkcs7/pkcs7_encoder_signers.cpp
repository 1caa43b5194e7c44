#include "core/pkcs7/pkcs7_encoder_signers.h"

#include "core/der/der.h"
#include "core/der/der_builder.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/pkcs8/encrypted_key.h"
#include "core/rsa/rsa.h"
#include "core/text/datetime.h"
#include "core/toolkit/wipe.h"
#include "core/x509/certificate_parts.h"

namespace {

enum : std::size_t {
    kSignatureRoom = kRsaMaxModulusBytes + kDesBlockSize,
    kUtcTimeTextSize = 14,  // YYMMDDhhmmssZ and a NUL
};

int ContentTypeOf(int innerType)
{
    switch (innerType) {
    case kInnerSigned: return kContentSignedData;
    case kInnerEnveloped: return kContentEnvelopedData;
    case kInnerSignedAndEnveloped: return kContentSignedAndEnvelopedData;
    default: return kContentData;
    }
}

// OBJECT IDENTIFIER of a code from one of the oid.h tables.
template <class Lookup>
void BuildObjectId(DERBuilder* builder, Lookup lookup, int code)
{
    BuildDER(builder, [&](DERCursor* cursor) -> std::size_t {
        unsigned char oid[kOIDMaxLength];
        std::size_t length = 0;
        if (lookup(code, oid, &length) != 0) return 0;
        return PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, length});
    });
}

void BuildAlgorithm(DERBuilder* builder, int code)
{
    BuildDER(builder, [&](DERCursor* cursor) { return EncodeAlgorithmId(cursor, code); });
}

// Attribute SEQUENCE { OID, SET { what was written since the mark } }.
void CloseAttribute(DERBuilder* builder, int objectCode, std::uint64_t mark)
{
    CloseDER(builder, kTagSet, mark);
    BuildObjectId(builder, ObjectCodeToOID, objectCode);
    CloseDER(builder, kTagSequence, mark);
}

// The stored password without its NUL (an item stored without one as it is).
std::size_t PasswordLength(const unsigned char* password, std::size_t length)
{
    return length && password[length - 1] == 0 ? length - 1 : length;
}

// The signature of the digest by signer k, added to slot 8.
Pkcs7Result SignOne(DataSets* sets, std::uint32_t signer, const unsigned char* digest,
                    const Pkcs7ContentKey* envelopeKey)
{
    const unsigned char *keyDer = nullptr, *password = nullptr;
    std::size_t keyLength = 0, passwordLength = 0;
    if (GetDataItem(sets, kSlotSignerKeys, signer, &keyDer, &keyLength) != kDataSetsOk ||
        GetDataItem(sets, kSlotSignerPasswords, signer, &password, &passwordLength) != kDataSetsOk)
        return Pkcs7Result::KeyUnusable;
    RsaPrivateKey key;
    ScopedWipe wipeKey{&key, sizeof key};
    if (DecryptPrivateKeyInfo(keyDer, keyLength, password, PasswordLength(password, passwordLength), &key) != 0)
        return Pkcs7Result::KeyUnusable;

    unsigned char digestInfo[kMaxDigestInfoLength];
    unsigned char signature[kSignatureRoom];
    unsigned char sealed[kSignatureRoom];
    std::size_t signatureLength = 0;
    const std::size_t infoLength = BuildDigestInfo(digestInfo, kPkcs7SigningDigestType, digest);
    if (infoLength == 0 || EncryptRsaPrivate(signature, &signatureLength, digestInfo, infoLength, &key) != 0)
        return Pkcs7Result::CipherFailed;
    const unsigned char* stored = signature;
    if (envelopeKey) {
        if (!EncryptSignerDigest(*envelopeKey, signature, signatureLength, sealed, &signatureLength))
            return Pkcs7Result::CipherFailed;
        stored = sealed;
    }
    if (AddDataItem(sets, kSlotNewSignatures, stored, signatureLength) != kDataSetsOk) return Pkcs7Result::BadSlots;
    return Pkcs7Result::Done;
}

}  // namespace

bool BuildSignedAttributes(int innerType, const unsigned char* contentDigest, std::size_t digestLength,
                           unsigned char* buffer, ByteBuffer* attributes)
{
    char now[kUtcTimeTextSize], later[kUtcTimeTextSize];
    FormatTimePair(now, later, 0, "Z");
    DERBuilder b;
    InitDERBuilder(&b, buffer, kPkcs7AttributesSize);
    std::uint64_t mark = DERBuilderMark(&b);
    BuildDERPrimitive(&b, kTagOctetString, ByteBuffer{const_cast<unsigned char*>(contentDigest), digestLength});
    CloseAttribute(&b, kObjMessageDigest, mark);
    mark = DERBuilderMark(&b);
    BuildObjectId(&b, AlgorithmToOID, kAlgDesEde3Cbc);
    CloseDER(&b, kTagSequence, mark);
    CloseDER(&b, kTagSequence, mark);
    CloseAttribute(&b, kObjSmimeCapabilities, mark);
    mark = DERBuilderMark(&b);
    BuildDERPrimitive(&b, kTagUTCTime, ByteBuffer{reinterpret_cast<unsigned char*>(now), 13});
    CloseAttribute(&b, kObjSigningTime, mark);
    mark = DERBuilderMark(&b);
    BuildObjectId(&b, ContentTypeToOID, ContentTypeOf(innerType));
    CloseAttribute(&b, kObjContentType, mark);
    CloseDER(&b, kTagContextConstructed + 0, 0);
    if (b.status != kDERBuildOk) return false;
    *attributes = DERBuilderWritten(&b);
    return true;
}

Pkcs7Result MakeSignatures(DataSets* sets, const unsigned char* contentDigest, std::size_t digestLength,
                           const ByteBuffer& attributes, const Pkcs7ContentKey* envelopeKey)
{
    std::uint32_t signers = 0;
    if (CountDataItems(sets, kSlotSignerCertificates, &signers) != kDataSetsOk) return Pkcs7Result::BadSlots;
    unsigned char digest[kMaxDigestLength];
    ScopedWipe wipe{digest, sizeof digest};
    if (attributes.length) {
        // The signature covers the attributes tagged as the SET they are.
        SecretBytes tagged(attributes.length);
        CopyBytes(tagged.data(), attributes.pointer, attributes.length);
        tagged.data()[0] = 0x31;
        std::size_t length = 0;
        if (DigestDataBlock(digest, &length, tagged.data(), attributes.length, kPkcs7SigningDigestType) != 0)
            return Pkcs7Result::CipherFailed;
    } else {
        if (digestLength > sizeof digest) return Pkcs7Result::CipherFailed;
        CopyBytes(digest, contentDigest, digestLength);
    }
    for (std::uint32_t k = 1; k <= signers; ++k) {
        const Pkcs7Result result = SignOne(sets, k, digest, envelopeKey);
        if (result != Pkcs7Result::Done) return result;
    }
    return Pkcs7Result::Done;
}

Pkcs7Result BuildSignerInfos(const DataSets* sets, const ByteBuffer& attributes, unsigned char* buffer,
                             std::size_t size, ByteBuffer* signerInfos)
{
    std::uint32_t signers = 0;
    if (CountDataItems(sets, kSlotSignerCertificates, &signers) != kDataSetsOk) return Pkcs7Result::BadSlots;
    DERBuilder b;
    InitDERBuilder(&b, buffer, size);
    for (std::uint32_t k = signers; k >= 1; --k) {
        const unsigned char *certificate = nullptr, *signature = nullptr;
        std::size_t certificateLength = 0, signatureLength = 0;
        ByteBuffer issuer, serial;
        if (GetDataItem(sets, kSlotSignerCertificates, k, &certificate, &certificateLength) != kDataSetsOk ||
            !ReadCertificateIssuerAndSerial(certificate, certificateLength, &issuer, &serial))
            return Pkcs7Result::CAUnusable;
        if (GetDataItem(sets, kSlotNewSignatures, k, &signature, &signatureLength) != kDataSetsOk)
            return Pkcs7Result::BadSlots;
        const std::uint64_t signerInfo = DERBuilderMark(&b);
        BuildDERPrimitive(&b, kTagOctetString, ByteBuffer{const_cast<unsigned char*>(signature), signatureLength});
        BuildAlgorithm(&b, kAlgRsaEncryption);
        if (attributes.length) BuildDERBytes(&b, attributes);
        BuildAlgorithm(&b, kPkcs7SigningDigestType);
        const std::uint64_t identifier = DERBuilderMark(&b);
        BuildDERPrimitive(&b, kTagInteger, serial);
        BuildDERBytes(&b, issuer);
        CloseDER(&b, kTagSequence, identifier);
        BuildDERSmallInteger(&b, 1);
        CloseDER(&b, kTagSequence, signerInfo);
    }
    if (b.status != kDERBuildOk) return Pkcs7Result::BadSlots;
    *signerInfos = DERBuilderWritten(&b);
    return Pkcs7Result::Done;
}
