// The decoding entry points: opening a message with or without the content
// key, taking its first certificate, checking its certificates against a CA.
#include <cstring>

#include "core/der/der_reader.h"
#include "core/pkcs7/pkcs7_decode.h"
#include "core/toolkit/wipe.h"
#include "core/x509/certificate.h"

namespace {

void ClearDecodedSlots(DataSets* sets)
{
    for (std::uint32_t slot = kSlotSignerInfos; slot <= kSlotContentKey; ++slot) ClearDataSet(sets, slot);
}

Pkcs7Result DecodeClearingOnFailure(DataStream* contentOutput, DataStream* message, DataStream* detachedContent,
                                    int* status, int typeHint, int* innerType, int* outerType, std::size_t skip,
                                    bool keyless, DataSets* sets, DERCursor* cursor, int* contentCipher)
{
    ClearDecodedSlots(sets);
    // Records may hold key material.
    WipedHeapBuffer chunk(kPkcs7RecordBufferSize);
    Pkcs7Result result = Pkcs7Result::NoMemory;
    if (chunk.bytes)
        result = DecodePKCS7Stream(contentOutput, message, detachedContent, status, typeHint, innerType, outerType,
                                   skip, keyless, sets, cursor, chunk.bytes, contentCipher);
    if (result != Pkcs7Result::Done) {
        ClearDecodedSlots(sets);
        *outerType = kOuterFailed;
    }
    return result;
}

Pkcs7Result CopyFirstCertificate(const DataSets* sets, unsigned char* certificate, std::size_t capacity,
                                 std::size_t* length)
{
    if (!certificate || !length) return Pkcs7Result::Done;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (GetDataItem(sets, kSlotCarriedCertificates, 1, &data, &size) != kDataSetsOk)
        return Pkcs7Result::CertificateUnusable;
    if (size > capacity) return Pkcs7Result::NoMemory;
    CopyBytes(certificate, data, size);
    *length = size;
    return Pkcs7Result::Done;
}

// The length of a DER SEQUENCE that fills the given bytes exactly, else 0.
std::size_t WholeSequence(const unsigned char* der, std::size_t length)
{
    if (!der || length == 0) return 0;
    DERCursor cursor = der_reader::Reader(der, length);
    ByteBuffer content, whole;
    if (!der_reader::ReadExpected(&cursor, kTagSequence, &content, &whole) || !der_reader::AtEnd(cursor)) return 0;
    return whole.length;
}

enum class CertificateCheck { AllIssued, NotAllIssued, Unreadable };

// Every carried certificate checked with the CA's key.
CertificateCheck CheckCarriedCertificates(const DataSets* sets, const RsaPublicKey* caKey)
{
    std::uint32_t count = 0;
    if (CountDataItems(sets, kSlotCarriedCertificates, &count) != kDataSetsOk) return CertificateCheck::Unreadable;
    CertificateCheck check = CertificateCheck::AllIssued;
    for (std::uint32_t item = 1; item <= count; ++item) {
        const unsigned char* der = nullptr;
        std::size_t length = 0;
        if (GetDataItem(sets, kSlotCarriedCertificates, item, &der, &length) != kDataSetsOk)
            return CertificateCheck::Unreadable;
        RsaPublicKey key;
        int signature = kSignatureUnchecked;
        if (!DecodeCertificateKey(der, length, &key, caKey, &signature) || signature != kSignatureValid)
            check = CertificateCheck::NotAllIssued;
    }
    return check;
}

Pkcs7Result OpenChecking(DataStream* message, DataStream* contentOutput, const unsigned char* caCertificate,
                         std::size_t caLength, const unsigned char* ownKey, std::size_t ownKeyLength,
                         const char* password, int* status, DataSets* sets, std::size_t skip, bool always)
{
    *status = kSignatureUndecided;
    InitDataSets(sets);
    const std::size_t keyLength = WholeSequence(ownKey, ownKeyLength);
    if (keyLength == 0 || !password) return Pkcs7Result::KeyUnusable;
    if (AddDataItem(sets, kSlotOwnKey, ownKey, keyLength) != kDataSetsOk ||
        AddDataItem(sets, kSlotOwnPassword, password, std::strlen(password) + 1) != kDataSetsOk)
        return Pkcs7Result::NoMemory;
    const std::size_t caSize = WholeSequence(caCertificate, caLength);
    if (caSize == 0) return Pkcs7Result::CAUnusable;

    int innerType = 0, outerType = 0, cipher = 0;
    Pkcs7Result result = DecodeClearingOnFailure(contentOutput, message, nullptr, status, kPkcs7TypeHintContentInfo,
                                                 &innerType, &outerType, skip, false, sets, nullptr, &cipher);
    if (result != Pkcs7Result::Done) return result;
    if (!always && *status != kSignatureVerified) return result;

    RsaPublicKey caKey;
    if (!DecodeCertificateKey(caCertificate, caSize, &caKey, nullptr, nullptr)) return Pkcs7Result::CAUnusable;
    switch (CheckCarriedCertificates(sets, &caKey)) {
    case CertificateCheck::Unreadable: return Pkcs7Result::CAUnusable;
    case CertificateCheck::NotAllIssued:
        // Never raised: a mismatch stays a mismatch.
        if (*status == kSignatureVerified || *status == kSignatureNothingToVerify) *status = kSignatureUndecided;
        break;
    case CertificateCheck::AllIssued: break;
    }
    return Pkcs7Result::Done;
}

}  // namespace

Pkcs7Result DecodePKCS7Message(DataStream* contentOutput, DataStream* message, DataStream* detachedContent,
                               int* status, int typeHint, int* innerType, int* outerType, std::size_t skip,
                               DataSets* sets, DERCursor* cursor, int* contentCipher)
{
    return DecodeClearingOnFailure(contentOutput, message, detachedContent, status, typeHint, innerType, outerType,
                                   skip, false, sets, cursor, contentCipher);
}

Pkcs7Result DecodePKCS7MessageNoKey(DataStream* contentOutput, DataStream* message, int* status, int typeHint,
                                    int* innerType, int* outerType, std::size_t skip, DataSets* sets)
{
    int cipher = kCipherNotSet;
    return DecodeClearingOnFailure(contentOutput, message, nullptr, status, typeHint, innerType, outerType, skip,
                                   true, sets, nullptr, &cipher);
}

Pkcs7Result DecodeDetachedPKCS7FirstCertificate(DataStream* contentOutput, DataStream* message,
                                                DataStream* detachedContent, int* status,
                                                unsigned char* certificate, std::size_t capacity,
                                                std::size_t* length, DataSets* sets, int* contentCipher)
{
    int innerType = 0, outerType = 0;
    Pkcs7Result result =
        DecodeClearingOnFailure(contentOutput, message, detachedContent, status, kPkcs7TypeHintContentInfo,
                                &innerType, &outerType, 0, false, sets, nullptr, contentCipher);
    if (result != Pkcs7Result::Done) return result;
    return CopyFirstCertificate(sets, certificate, capacity, length);
}

Pkcs7Result DecodePKCS7FirstCertificate(DataStream* contentOutput, DataStream* message, int* status,
                                        unsigned char* certificate, std::size_t capacity, std::size_t* length,
                                        DataSets* sets, int* contentCipher)
{
    return DecodeDetachedPKCS7FirstCertificate(contentOutput, message, nullptr, status, certificate, capacity, length,
                                               sets, contentCipher);
}

Pkcs7Result OpenPKCS7CheckCertificates(DataStream* message, DataStream* contentOutput,
                                       const unsigned char* caCertificate, std::size_t caLength,
                                       const unsigned char* ownKey, std::size_t ownKeyLength, const char* password,
                                       int* status, DataSets* sets)
{
    return OpenChecking(message, contentOutput, caCertificate, caLength, ownKey, ownKeyLength, password, status, sets,
                        0, false);
}

Pkcs7Result OpenPKCS7CheckCertificatesAt(DataStream* message, DataStream* contentOutput,
                                         const unsigned char* caCertificate, std::size_t caLength,
                                         const unsigned char* ownKey, std::size_t ownKeyLength,
                                         const char* password, int* status, DataSets* sets, std::size_t skip)
{
    return OpenChecking(message, contentOutput, caCertificate, caLength, ownKey, ownKeyLength, password, status, sets,
                        skip, true);
}
