#include "core/x509/certificate.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/der/der_reader.h"
#include "core/der/der.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/der/oid.h"
#include "core/text/text.h"

namespace {

using namespace der_reader;

// Releases everything a failed decode may have filled.
void ReleaseDecoded(ByteBuffer* serialNumber, NameTable* issuer, NameTable* subject, ExtensionTable* extensions)
{
    FreeItems(serialNumber, 1);
    FreeItems(issuer->slots, kNameSlots);
    FreeItems(subject->slots, kNameSlots);
    FreeItems(extensions->slots, kExtensionSlots);
}

bool ReadTimeText(DERCursor* cursor, char* text)
{
    DERCursor look = *cursor;
    Element time;
    if (!ReadAny(&look, &time)) return false;
    if (time.tag != kTagUTCTime && time.tag != kTagGeneralizedTime) return false;
    if (time.content.length >= kValidityTextSize) return false;  // fractional seconds and the like
    CopyBytes(text, time.content.pointer, time.content.length);
    text[time.content.length] = 0;
    *cursor = look;
    return true;
}

// The signature BIT STRING as a view; it must fill the rest of the reader.
bool ReadSignature(DERCursor* cursor, ByteBuffer* signature)
{
    int tag = 0;
    ByteBuffer bits = {nullptr, 0};
    if (GetDERValue(cursor, &tag, &bits) == 0 || tag != kTagBitString || bits.length == 0) return false;
    std::size_t wanted = bits.length;
    if (GetDERBytes(cursor, &bits) != wanted) return false;
    *signature = bits;
    return AtEnd(*cursor);
}

int CheckSignature(const RsaPublicKey* issuerKey, int algorithm, const unsigned char* signed_, std::size_t length,
                   const ByteBuffer& signature)
{
    if (!issuerKey) return kSignatureUnchecked;
    // A work record of its own: the caller's cursor stays untouched.
    DigestInfoWork work;
    std::size_t ok = VerifyDigestInfo(&work, algorithm, signed_, length, issuerKey, signature.pointer, signature.length);
    return ok ? kSignatureValid : kSignatureInvalid;
}

// Serial number: one leading 0x00 of a two-or-more-byte content is dropped.
bool CopySerialNumber(const ByteBuffer& content, ByteBuffer* serialNumber)
{
    ByteBuffer value = content;
    if (value.length >= 2 && value.pointer[0] == 0) {
        ++value.pointer;
        --value.length;
    }
    unsigned char* copy = CopyToCString(value.pointer, value.length);
    if (!copy) return false;
    *serialNumber = ByteBuffer{copy, value.length};
    return true;
}

std::size_t DecodeTBSBody(DERCursor* tbs, ByteBuffer* serialNumber, NameTable* issuer, char* notBefore,
                          char* notAfter, NameTable* subject, int* signatureAlgorithm, RsaPublicKey* publicKey,
                          ExtensionTable* extensions)
{
    int version = 0;
    if (PeekTag(tbs) == kTagContextConstructed) {
        DERCursor explicitVersion;
        ByteBuffer value = {nullptr, 0};
        if (!Enter(tbs, kTagContextConstructed, &explicitVersion) ||
            GetDERInteger(&explicitVersion, &value) == 0 || !AtEnd(explicitVersion))
            return 0;
        version = value.pointer[value.length - 1];
    }
    ByteBuffer serial = {nullptr, 0};
    if (GetDERInteger(tbs, &serial) == 0) return 0;
    if (DecodeAlgorithmId(tbs, signatureAlgorithm) == 0) return 0;
    if (DecodeName(tbs, issuer) == 0) return 0;
    if (DecodeValidity(tbs, notBefore, notAfter) == 0) return 0;
    if (DecodeName(tbs, subject) == 0) return 0;
    int keyAlgorithm = 0;
    if (DecodeSubjectPublicKeyInfo(tbs, &keyAlgorithm, publicKey) == 0) return 0;
    if (version != 0 && PeekTag(tbs) == kTagContextConstructed + 3) {
        if (DecodeExtensions(tbs, extensions) == 0) return 0;
    }
    if (!AtEnd(*tbs)) return 0;  // unique identifiers and anything else
    if (!CopySerialNumber(serial, serialNumber)) return 0;
    return 1;
}

}  // namespace

std::size_t DecodeValidity(DERCursor* cursor, char* notBefore, char* notAfter)
{
    DERCursor validity;
    std::size_t size = 0;
    notBefore[0] = 0;
    notAfter[0] = 0;
    if (!Enter(cursor, kTagSequence, &validity, &size) || !ReadTimeText(&validity, notBefore) ||
        !ReadTimeText(&validity, notAfter) || !AtEnd(validity)) {
        notBefore[0] = 0;
        notAfter[0] = 0;
        return 0;
    }
    return size;
}

std::size_t EncodeValidity(DERCursor* cursor, const char* notBefore, const char* notAfter)
{
    std::size_t total = 0;
    for (const char* text : {notAfter, notBefore}) {
        std::size_t length = std::strlen(text);
        int tag = length == 13 ? kTagUTCTime : kTagGeneralizedTime;
        std::size_t n = PutDERValue(cursor, tag, ByteBuffer{reinterpret_cast<unsigned char*>(const_cast<char*>(text)), length});
        if (n == 0) return 0;
        total += n;
    }
    std::size_t n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

std::size_t DecodeSubjectPublicKeyInfo(DERCursor* cursor, int* algorithm, RsaPublicKey* publicKey)
{
    DERCursor info;
    std::size_t size = 0;
    if (!Enter(cursor, kTagSequence, &info, &size) || DecodeAlgorithmId(&info, algorithm) == 0 ||
        DecodeRsaPublicKey(&info, publicKey) == 0 || !AtEnd(info)) {
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    return size;
}

std::size_t DecodeTBSCertificate(DERCursor* cursor, ByteBuffer* serialNumber, NameTable* issuer, char* notBefore,
                                 char* notAfter, NameTable* subject, int* signatureAlgorithm,
                                 RsaPublicKey* publicKey, const unsigned char** tbsStart,
                                 ExtensionTable* extensions)
{
    *serialNumber = ByteBuffer{nullptr, 0};
    FreeItems(issuer->slots, kNameSlots);
    FreeItems(subject->slots, kNameSlots);
    FreeItems(extensions->slots, kExtensionSlots);
    *tbsStart = cursor->buffer + cursor->position;
    DERCursor tbs;
    std::size_t size = 0;
    // The TBS is read within its own header and length, and must fill them.
    if (!Enter(cursor, kTagSequence, &tbs, &size) ||
        !DecodeTBSBody(&tbs, serialNumber, issuer, notBefore, notAfter, subject, signatureAlgorithm, publicKey,
                       extensions)) {
        ReleaseDecoded(serialNumber, issuer, subject, extensions);
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    return size;
}

std::size_t DecodeCertificateV3(DERCursor* cursor, const unsigned char** tbsStart, ByteBuffer* serialNumber,
                                NameTable* issuer, char* notBefore, char* notAfter, NameTable* subject,
                                int* signatureAlgorithm, RsaPublicKey* publicKey, const RsaPublicKey* issuerKey,
                                int* signatureStatus, DERCursor* savedCursor, ExtensionTable* extensions)
{
    DERCursor certificate;
    std::size_t size = 0;
    *serialNumber = ByteBuffer{nullptr, 0};
    if (!Enter(cursor, kTagSequence, &certificate, &size)) return 0;
    std::size_t tbsSize = DecodeTBSCertificate(&certificate, serialNumber, issuer, notBefore, notAfter, subject,
                                               signatureAlgorithm, publicKey, tbsStart, extensions);
    if (tbsSize == 0) return 0;
    int algorithm = 0;
    ByteBuffer signature = {nullptr, 0};
    if (DecodeAlgorithmId(&certificate, &algorithm) == 0 || !ReadSignature(&certificate, &signature)) {
        ReleaseDecoded(serialNumber, issuer, subject, extensions);
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    *signatureAlgorithm = algorithm;
    *savedCursor = *cursor;
    *signatureStatus = CheckSignature(issuerKey, algorithm, *tbsStart, tbsSize, signature);
    return size;
}

std::size_t DecodeCertificateWithAttributes(DERCursor* cursor, const unsigned char** innerStart,
                                            ByteBuffer* wrapperVersion, ByteBuffer* serialNumber, NameTable* issuer,
                                            char* notBefore, char* notAfter, NameTable* subject,
                                            int* signatureAlgorithm, RsaPublicKey* publicKey,
                                            const RsaPublicKey* issuerKey, int* signatureStatus,
                                            ExtensionTable* extensions)
{
    *innerStart = cursor->buffer + cursor->position;
    *serialNumber = ByteBuffer{nullptr, 0};
    DERCursor inner;
    std::size_t size = 0;
    ByteBuffer version = {nullptr, 0};
    if (!Enter(cursor, kTagSequence, &inner, &size) || GetDERInteger(&inner, &version) == 0) return 0;
    const unsigned char* tbsStart = nullptr;
    DERCursor afterCertificate;
    if (DecodeCertificateV3(&inner, &tbsStart, serialNumber, issuer, notBefore, notAfter, subject,
                            signatureAlgorithm, publicKey, issuerKey, signatureStatus, &afterCertificate,
                            extensions) == 0)
        return 0;
    inner = afterCertificate;
    // The attribute set takes the place of the inner certificate's
    // extensions, whose copies are released first.
    if (DecodeAttributeSet(&inner, extensions) == 0 || !AtEnd(inner)) {
        ReleaseDecoded(serialNumber, issuer, subject, extensions);
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    *wrapperVersion = version;
    return size;
}

std::size_t DecodeCertificateWrapper(DERCursor* cursor, const unsigned char** innerStart, ByteBuffer* wrapperVersion,
                                     ByteBuffer* serialNumber, NameTable* issuer, char* notBefore, char* notAfter,
                                     NameTable* subject, int* signatureAlgorithm, RsaPublicKey* publicKey,
                                     const RsaPublicKey* issuerKey, int* signatureStatus,
                                     ExtensionTable* extensions)
{
    DERCursor wrapper;
    std::size_t size = 0;
    *serialNumber = ByteBuffer{nullptr, 0};
    if (!Enter(cursor, kTagSequence, &wrapper, &size)) return 0;
    ByteBuffer version = {nullptr, 0};
    std::size_t innerSize =
        DecodeCertificateWithAttributes(&wrapper, innerStart, &version, serialNumber, issuer, notBefore, notAfter,
                                        subject, signatureAlgorithm, publicKey, issuerKey, signatureStatus,
                                        extensions);
    if (innerSize == 0) return 0;
    int algorithm = 0;
    ByteBuffer signature = {nullptr, 0};
    if (DecodeAlgorithmId(&wrapper, &algorithm) == 0 || !ReadSignature(&wrapper, &signature)) {
        ReleaseDecoded(serialNumber, issuer, subject, extensions);
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    *wrapperVersion = version;
    *signatureAlgorithm = algorithm;
    *signatureStatus = CheckSignature(issuerKey, algorithm, *innerStart, innerSize, signature);
    return size;
}

int DecodeCertificate(const unsigned char* der, std::size_t derLength, ByteBuffer* wrapperVersion,
                      ByteBuffer* serialNumber, void* reserved, NameTable* issuer, char* notBefore, char* notAfter,
                      NameTable* subject, int* signatureAlgorithm, RsaPublicKey* publicKey,
                      const RsaPublicKey* issuerKey, int* signatureStatus, ExtensionTable* extensions)
{
    (void)reserved;
    *serialNumber = ByteBuffer{nullptr, 0};
    FreeItems(issuer->slots, kNameSlots);
    FreeItems(subject->slots, kNameSlots);
    FreeItems(extensions->slots, kExtensionSlots);
    if (!der || derLength == 0) return 0;
    DERCursor reader;
    InitDERReader(&reader, der, derLength);
    const unsigned char* start = nullptr;
    DERCursor saved;
    if (DecodeCertificateV3(&reader, &start, serialNumber, issuer, notBefore, notAfter, subject,
                            signatureAlgorithm, publicKey, issuerKey, signatureStatus, &saved, extensions) != 0)
        return 1;
    InitDERReader(&reader, der, derLength);
    if (DecodeCertificateWrapper(&reader, &start, wrapperVersion, serialNumber, issuer, notBefore, notAfter,
                                 subject, signatureAlgorithm, publicKey, issuerKey, signatureStatus,
                                 extensions) != 0)
        return 1;
    return 0;
}

bool DecodeCertificateKey(const unsigned char* der, std::size_t derLength, RsaPublicKey* publicKey,
                          const RsaPublicKey* issuerKey, int* signatureStatus)
{
    CertificateFields fields;
    int status = kSignatureUnchecked;
    int ok = DecodeCertificate(der, derLength, &fields.wrapperVersion, &fields.serialNumber, nullptr, &fields.issuer,
                               fields.notBefore, fields.notAfter, &fields.subject, &fields.signatureAlgorithm,
                               publicKey, issuerKey, &status, &fields.extensions);
    if (ok != 1) return false;
    FreeItems(&fields.serialNumber, 1);
    FreeItems(fields.issuer.slots, kNameSlots);
    FreeItems(fields.subject.slots, kNameSlots);
    FreeItems(fields.extensions.slots, kExtensionSlots);
    if (signatureStatus) *signatureStatus = status;
    return true;
}
