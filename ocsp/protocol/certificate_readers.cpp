#include "ocsp/protocol/certificate_readers.h"

#include "core/der/der_reader.h"
#include "core/hash/digest.h"
#include "ocsp/protocol/ocsp_sets.h"

using namespace der_reader;

namespace {

// id-ce-extKeyUsage and id-kp-OCSPSigning, content bytes.
const unsigned char kOidExtKeyUsage[3] = {0x55, 0x1D, 0x25};
const unsigned char kOidOcspSigning[8] = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x09};

enum class TimeForms { UTCOnly, Either };

struct CertificateViews {
    ByteBuffer serial{nullptr, 0};
    ByteBuffer issuer{nullptr, 0};   // whole Name element
    ByteBuffer subject{nullptr, 0};  // whole Name element
    ByteBuffer keyBits{nullptr, 0};
    ByteBuffer extensions{nullptr, 0};  // content of [3]
};

bool Equals(const ByteBuffer& value, const unsigned char* bytes, std::size_t length)
{
    return value.length == length && CompareBytes(value.pointer, bytes, length) == 0;
}

bool ReadTime(DERCursor* validity, TimeForms forms)
{
    ByteBuffer time;
    if (ReadView(validity, kTagUTCTime, &time)) return true;
    return forms == TimeForms::Either && ReadView(validity, kTagGeneralizedTime, &time);
}

// The certificate's size, 0 when it is not a certificate we can read.
std::size_t ReadViews(const unsigned char* der, std::size_t length, TimeForms forms, CertificateViews* views)
{
    if (!der || length == 0) return 0;
    DERCursor whole = Reader(der, length), certificate, tbs, validity, keyInfo;
    std::size_t size = 0;
    bool present = false;
    ByteBuffer content;
    if (!Enter(&whole, kTagSequence, &certificate, &size) || !Enter(&certificate, kTagSequence, &tbs) ||
        !ReadOptional(&tbs, kTagContextConstructed + 0, &present, &content) ||
        !ReadView(&tbs, kTagInteger, &views->serial) || views->serial.length == 0 ||
        !ReadView(&tbs, kTagSequence, &content) ||
        !ReadExpected(&tbs, kTagSequence, &content, &views->issuer) || !Enter(&tbs, kTagSequence, &validity) ||
        !ReadTime(&validity, forms) || !ReadTime(&validity, forms) || !AtEnd(validity) ||
        !ReadExpected(&tbs, kTagSequence, &content, &views->subject) || !Enter(&tbs, kTagSequence, &keyInfo) ||
        !ReadView(&keyInfo, kTagSequence, &content) || !ReadView(&keyInfo, kTagBitString, &content) ||
        !AtEnd(keyInfo) || content.length < 2 || content.pointer[0] != 0)
        return 0;
    views->keyBits = ByteBuffer{content.pointer + 1, content.length - 1};
    // Unique identifiers may stand before the extensions.
    if (!ReadOptional(&tbs, kTagContext + 1, &present, &content) ||
        !ReadOptional(&tbs, kTagContext + 2, &present, &content) ||
        !ReadOptional(&tbs, kTagContextConstructed + 3, &present, &views->extensions) || !AtEnd(tbs))
        return 0;
    return size;
}

// 1 when extendedKeyUsage is present, not critical and names OCSP signing
// first; -1 for malformed extensions.
int OcspSigningFirst(const ByteBuffer& extensionsContent)
{
    if (!extensionsContent.pointer) return 0;
    DERCursor wrapper = Inside(extensionsContent), list;
    if (!Enter(&wrapper, kTagSequence, &list) || !AtEnd(wrapper)) return -1;
    int authorised = 0;
    while (!AtEnd(list)) {
        DERCursor extension;
        ByteBuffer oid, critical, value;
        bool isCritical = false;
        if (!Enter(&list, kTagSequence, &extension) || !ReadView(&extension, kTagObjectId, &oid) ||
            !ReadOptional(&extension, kTagBoolean, &isCritical, &critical) ||
            !ReadView(&extension, kTagOctetString, &value) || !AtEnd(extension))
            return -1;
        if (!Equals(oid, kOidExtKeyUsage, sizeof kOidExtKeyUsage) || isCritical) continue;
        DERCursor inside = Inside(value), purposes;
        ByteBuffer first;
        if (!Enter(&inside, kTagSequence, &purposes) || !ReadView(&purposes, kTagObjectId, &first)) return -1;
        authorised = Equals(first, kOidOcspSigning, sizeof kOidOcspSigning) ? 1 : 0;
    }
    return authorised;
}

}  // namespace

std::size_t ReadTargetCertificate(const unsigned char* der, std::size_t length, DataSets* requestSets)
{
    CertificateViews views;
    const std::size_t size = ReadViews(der, length, TimeForms::UTCOnly, &views);
    if (!size) return 0;
    if (AddDataItem(requestSets, kSlotTargetIssuerName, views.issuer.pointer, views.issuer.length) != 0)
        return 0;
    if (AddDataItem(requestSets, kSlotTargetSerial, views.serial.pointer, views.serial.length) != 0) {
        std::uint32_t count = 0;
        // Keep the slots paired: take back the name just added.
        if (CountDataItems(requestSets, kSlotTargetIssuerName, &count) == 0 && count)
            DeleteDataItem(requestSets, kSlotTargetIssuerName, count);
        return 0;
    }
    return size;
}

std::size_t ReadIssuerCertificate(const unsigned char* der, std::size_t length, DataSets* requestSets)
{
    CertificateViews views;
    const std::size_t size = ReadViews(der, length, TimeForms::UTCOnly, &views);
    if (!size || AddDataItem(requestSets, kSlotIssuerKey, views.keyBits.pointer, views.keyBits.length) != 0)
        return 0;
    return size;
}

std::size_t ReadCertificateSubject(const unsigned char* der, std::size_t length, ByteBuffer* subject)
{
    *subject = ByteBuffer{nullptr, 0};
    CertificateViews views;
    const std::size_t size = ReadViews(der, length, TimeForms::Either, &views);
    if (!size) return 0;
    ByteBuffer copy = views.subject;
    if (!MakeHeapCopies(&copy, 1) || !copy.pointer) return 0;
    *subject = copy;
    return size;
}

std::size_t HasOCSPSigningPurpose(const unsigned char* der, std::size_t length, ByteBuffer* keyHash,
                                  std::uint32_t digestType, ByteBuffer* subject, int* authorised)
{
    *keyHash = *subject = ByteBuffer{nullptr, 0};
    CertificateViews views;
    const std::size_t size = ReadViews(der, length, TimeForms::UTCOnly, &views);
    if (!size) return 0;
    const int purpose = OcspSigningFirst(views.extensions);
    unsigned char digest[kMaxDigestLength];
    std::size_t digestLength = 0;
    if (purpose < 0 ||
        DigestDataBlock(digest, &digestLength, views.keyBits.pointer, views.keyBits.length, digestType) != 0)
        return 0;
    ByteBuffer copies[2] = {ByteBuffer{digest, digestLength}, views.subject};
    if (!MakeHeapCopies(copies, 2)) return 0;
    *keyHash = copies[0];
    *subject = copies[1];
    *authorised = purpose;
    return size;
}

std::size_t ReadSubjectAndKeyBits(const unsigned char* der, std::size_t length, ByteBuffer* subject,
                                  ByteBuffer* keyBits)
{
    CertificateViews views;
    const std::size_t size = ReadViews(der, length, TimeForms::Either, &views);
    if (!size) return 0;
    *subject = views.subject;
    *keyBits = views.keyBits;
    return size;
}
