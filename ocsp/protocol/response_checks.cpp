#include "ocsp/protocol/response_checks.h"

#include <cstring>
#include <vector>

#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/text/text.h"
#include "core/toolkit/wipe.h"
#include "core/x509/extension.h"
#include "exchange/generalized_time.h"
#include "ocsp/protocol/certificate_readers.h"
#include "core/x509/decoded_certificate.h"
#include "ocsp/protocol/ocsp_set_items.h"

namespace {

enum : std::size_t { kTimeDigits = 14 };

// A time item as a NUL-terminated text; false when it is too long to be one.
bool TimeText(const ByteBuffer& item, char (&text)[kGeneralizedTimeTextSize + 8])
{
    if (item.length >= sizeof text) return false;
    CopyBytes(text, item.pointer, item.length);
    text[item.length] = '\0';
    return true;
}

bool IsEmptyMarker(const ByteBuffer& item)
{
    return item.length == sizeof kOCSPEmptyTime && CompareBytes(item.pointer, kOCSPEmptyTime, item.length) == 0;
}

bool IsValidTimeItem(const ByteBuffer& item)
{
    return item.length > 0 && CheckGeneralizedTimeText(reinterpret_cast<const char*>(item.pointer), item.length);
}

// A certificate's validity time as 14 digits YYYYMMDDHHMMSS: UTCTime
// (pivot 97) or GeneralizedTime, both in Z form.
bool ValidityDigits(const char* text, char (&digits)[kTimeDigits + 1])
{
    const std::size_t length = std::strlen(text);
    if (length == 13 && text[12] == 'Z') {
        const int century = (text[0] - '0') * 10 + (text[1] - '0') >= 97 ? 19 : 20;
        digits[0] = static_cast<char>('0' + century / 10);
        digits[1] = static_cast<char>('0' + century % 10);
        std::memcpy(digits + 2, text, 12);
    } else if (length == 15 && text[14] == 'Z') {
        std::memcpy(digits, text, kTimeDigits);
    } else {
        return false;
    }
    digits[kTimeDigits] = '\0';
    for (std::size_t i = 0; i < kTimeDigits; ++i)
        if (digits[i] < '0' || digits[i] > '9') return false;
    return true;
}

int FindMatchingRecord(const DataSets* statusSets, const ByteBuffer& serial, const ByteBuffer& nameHash,
                       const ByteBuffer& keyHash, std::uint32_t* record)
{
    const std::uint32_t count = ocsp_items::Count(statusSets, kSlotRecordSerial);
    for (std::uint32_t n = 1; n <= count; ++n) {
        ByteBuffer recordSerial, recordName, recordKey;
        if (!ocsp_items::Get(statusSets, kSlotRecordSerial, n, &recordSerial) ||
            !ocsp_items::Get(statusSets, kSlotRecordNameHash, n, &recordName) ||
            !ocsp_items::Get(statusSets, kSlotRecordKeyHash, n, &recordKey))
            return 0;
        if (ocsp_items::Equal(recordSerial, serial) && ocsp_items::Equal(recordKey, keyHash) &&
            ocsp_items::Equal(recordName, nameHash)) {
            *record = n;
            return 1;
        }
    }
    return -1;
}

}  // namespace

int CheckResponderID(int responderIdKind, const ByteBuffer& byName, const ByteBuffer& byKey,
                     const DataSets* requestSets, std::uint32_t digestType, int* authorised)
{
    // The key hash of a responderID is SHA-1 whatever the CertIDs use.
    (void)digestType;
    ByteBuffer certificate, keyHash, subject;
    int purpose = 0;
    if (!FindResponderCertificate(requestSets, responderIdKind, byName, byKey, &certificate, nullptr) ||
        !HasOCSPSigningPurpose(certificate.pointer, certificate.length, &keyHash, kDigestSha1, &subject, &purpose))
        return 0;
    const bool named = responderIdKind == kResponderByName ? ocsp_items::Equal(subject, byName)
                                                           : ocsp_items::Equal(keyHash, byKey);
    ByteBuffer copies[2] = {keyHash, subject};
    FreeItems(copies, 2);
    if (!named) return 0;
    *authorised = purpose;
    return 1;
}

int CheckResponderCertificate(const DataSets* requestSets, const unsigned char* issuer, std::size_t issuerLength,
                              const char* currentTime)
{
    ByteBuffer responder;
    if (!ResponderCertificate(requestSets, &responder)) return kResponderCertUnreadable;
    DecodedCertificate issuerCertificate(ByteBuffer{const_cast<unsigned char*>(issuer), issuerLength}, nullptr);
    if (!issuerCertificate.decoded) return kResponderCertUnreadable;
    DecodedCertificate responderCertificate(responder, &issuerCertificate.fields.publicKey);
    if (!responderCertificate.decoded) return kResponderCertUnreadable;
    if (responderCertificate.fields.signatureStatus != kSignatureValid) return kResponderCertNotIssued;
    char notBefore[kTimeDigits + 1], notAfter[kTimeDigits + 1];
    if (!currentTime || std::strlen(currentTime) < kTimeDigits ||
        !ValidityDigits(responderCertificate.fields.notBefore, notBefore) ||
        !ValidityDigits(responderCertificate.fields.notAfter, notAfter))
        return kResponderCertUnreadable;
    if (std::strncmp(currentTime, notBefore, kTimeDigits) < 0 || std::strncmp(currentTime, notAfter, kTimeDigits) > 0)
        return kResponderCertExpired;
    return kResponderCertOk;
}

int MatchStatusRecords(DataSets* requestSets, const DataSets* statusSets, const char* tolerance,
                       const char* currentTime)
{
    for (std::uint32_t slot = kSlotStatus; slot <= kSlotRevocationTime; ++slot) ClearDataSet(requestSets, slot);
    const std::uint32_t count = ocsp_items::Count(requestSets, kSlotTargetSerial);
    if (count == 0) return kMatchFailed;
    for (std::uint32_t position = 1; position <= count; ++position) {
        ByteBuffer serial, nameHash, keyHash;
        if (!ocsp_items::Get(requestSets, kSlotTargetSerial, position, &serial) ||
            !ocsp_items::Get(requestSets, kSlotNameHash, position, &nameHash) ||
            !ocsp_items::Get(requestSets, kSlotKeyHash, position, &keyHash))
            return kMatchFailed;
        std::uint32_t record = 0;
        const int found = FindMatchingRecord(statusSets, serial, nameHash, keyHash, &record);
        if (found == 0) return kMatchFailed;
        if (found < 0) return kMatchNotFound;

        ByteBuffer status, thisUpdate, nextUpdate, revocationTime;
        if (!ocsp_items::Get(statusSets, kSlotRecordStatus, record, &status) ||
            !ocsp_items::Get(statusSets, kSlotRecordThisUpdate, record, &thisUpdate) ||
            !ocsp_items::Get(statusSets, kSlotRecordNextUpdate, record, &nextUpdate) ||
            !ocsp_items::Get(statusSets, kSlotRecordRevocationTime, record, &revocationTime))
            return kMatchFailed;
        const bool hasNext = !IsEmptyMarker(nextUpdate);
        if (!IsValidTimeItem(thisUpdate) || (hasNext && !IsValidTimeItem(nextUpdate))) return kMatchFailed;
        if (status.length == 1 && status.pointer[0] == '0' + kOCSPCertRevoked && IsEmptyMarker(revocationTime))
            return kMatchFailed;

        if (tolerance) {
            char thisText[kGeneralizedTimeTextSize + 8];
            if (!currentTime || !TimeText(thisUpdate, thisText)) return kMatchFailed;
            if (!CompareTimesWithTolerance(thisText, currentTime, tolerance)) return kMatchOutdated;
            if (hasNext && std::strncmp(reinterpret_cast<const char*>(nextUpdate.pointer), currentTime, kTimeDigits) < 0)
                return kMatchOutdated;
        }
        if (!ocsp_items::Add(requestSets, kSlotStatus, status) ||
            !ocsp_items::Add(requestSets, kSlotThisUpdate, thisUpdate) ||
            !ocsp_items::Add(requestSets, kSlotNextUpdate, nextUpdate) ||
            !ocsp_items::Add(requestSets, kSlotRevocationTime, revocationTime))
            return kMatchFailed;
    }
    return kMatchOk;
}

int VerifyResponseSignature(const DataSets* requestSets, int signatureAlgorithm)
{
    ByteBuffer responder, signed_, signature;
    if (!ResponderCertificate(requestSets, &responder) ||
        !ocsp_items::Get(requestSets, kSlotSignedResponse, 1, &signed_) ||
        !ResponseSignature(requestSets, &signature))
        return 0;
    DecodedCertificate certificate(responder, nullptr);
    if (!certificate.decoded) return 0;
    DigestInfoWork work;
    ScopedWipe wipe{&work, sizeof work};
    if (VerifyDigestInfo(&work, signatureAlgorithm, signed_.pointer, signed_.length, &certificate.fields.publicKey,
                         signature.pointer, signature.length))
        return 1;
    // CryptoAPI writes signatures least significant byte first.
    unsigned char reversed[kOCSPMaxSignatureLength];
    CopyBytes(reversed, signature.pointer, signature.length);
    ReverseBytes(reversed, signature.length);
    return VerifyDigestInfo(&work, signatureAlgorithm, signed_.pointer, signed_.length, &certificate.fields.publicKey,
                            reversed, signature.length) ? 1 : 0;
}

int ReadResponderExtensions(const DataSets* requestSets, int* cA, int* ocspSigning, int* noCheck, int* crlPoints,
                            ByteBuffer* urls)
{
    *cA = *ocspSigning = *noCheck = *crlPoints = 0;
    for (std::size_t i = 0; i < kOCSPMaxCrlPoints; ++i) urls[i] = ByteBuffer{nullptr, 0};
    ByteBuffer responder;
    if (!ResponderCertificate(requestSets, &responder)) return 1;
    DecodedCertificate certificate(responder, nullptr);
    if (!certificate.decoded) return 1;
    const ExtensionTable& table = certificate.fields.extensions;
    auto decode = [&](int kind, std::uint16_t* flags, ExtensionValues* values) {
        std::uint32_t critical = 0;
        return table.slots[kind].pointer &&
               DecodeExtensionValue(table.slots[kind], kind, flags, values, &critical) == kExtensionValueDecoded;
    };
    std::uint16_t flags = 0;
    ExtensionValues values;
    if (decode(kExtBasicConstraints, &flags, &values) && (flags & kBasicConstraintsCA)) *cA = 1;
    FreeItems(values.slots, kExtensionValueSlots);
    flags = 0;
    if (decode(kExtExtKeyUsage, &flags, &values) && (flags & kKeyPurposeOcspSigning)) *ocspSigning = 1;
    FreeItems(values.slots, kExtensionValueSlots);
    flags = 0;
    if (decode(kExtOcspNoCheck, &flags, &values)) *noCheck = 1;
    FreeItems(values.slots, kExtensionValueSlots);
    flags = 0;
    if (decode(kExtCrlDistributionPoints, &flags, &values)) {
        *crlPoints = 1;
        // The copies pass to the caller.
        for (std::size_t i = 0; i < kOCSPMaxCrlPoints; ++i) urls[i] = values.slots[i];
        for (ByteBuffer& slot : values.slots) slot = ByteBuffer{nullptr, 0};
    }
    FreeItems(values.slots, kExtensionValueSlots);
    return 0;
}

int CheckResponseNonce(const ByteBuffer& received, const unsigned char* sent, std::size_t sentLength)
{
    return received.pointer && received.length == sentLength && sentLength > 0 &&
                   CompareBytes(received.pointer, sent, sentLength) == 0
               ? 1
               : 0;
}
