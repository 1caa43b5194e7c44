#include "tsp/protocol/timestamping_usage.h"

#include "core/der/der_reader.h"

using namespace der_reader;

namespace {

const unsigned char kExtKeyUsage[] = {0x55, 0x1D, 0x25};
const unsigned char kTimeStampingPurpose[] = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x08};

bool SameBytes(const ByteBuffer& view, const unsigned char* bytes, std::size_t length)
{
    return view.length == length && CompareBytes(view.pointer, bytes, length) == 0;
}

// OID, then a NULL parameter when anything is left.
bool ReadAlgorithm(DERCursor* cursor)
{
    DERCursor algorithm;
    ByteBuffer oid, null;
    if (!Enter(cursor, kTagSequence, &algorithm) || !ReadView(&algorithm, kTagObjectId, &oid)) return false;
    return AtEnd(algorithm) || ReadView(&algorithm, kTagNull, &null);
}

enum { kNotKeyUsage = -1, kMalformed = -2 };

// 1 or 0 from one extension's SEQUENCE content, or kNotKeyUsage, kMalformed.
int TimeStampingOfExtension(DERCursor extension)
{
    ByteBuffer oid, critical, value;
    bool hasCritical = false;
    // RFC 3161 makes the TSA's extKeyUsage critical: the BOOLEAN is there.
    if (!ReadView(&extension, kTagObjectId, &oid) ||
        !ReadOptional(&extension, kTagBoolean, &hasCritical, &critical) ||
        !ReadView(&extension, kTagOctetString, &value))
        return kMalformed;
    if (!SameBytes(oid, kExtKeyUsage, sizeof kExtKeyUsage)) return kNotKeyUsage;
    DERCursor inner = Inside(value), purposes;
    ByteBuffer first;
    if (!Enter(&inner, kTagSequence, &purposes) || !ReadView(&purposes, kTagObjectId, &first)) return 0;
    return SameBytes(first, kTimeStampingPurpose, sizeof kTimeStampingPurpose) ? 1 : 0;
}

}  // namespace

std::size_t ScanTimeStampingUsage(const unsigned char* certificate, std::size_t length, ByteBuffer* subject,
                                  int* timeStamping)
{
    *subject = ByteBuffer{nullptr, 0};
    *timeStamping = 0;
    if (!certificate || length == 0 || length > kTimeStampingCertificateLimit) return 0;
    DERCursor outer = Reader(certificate, length), whole, tbs, validity, spki;
    ByteBuffer version, serial, name, subjectContent, subjectWhole, notBefore, notAfter, key;
    bool hasVersion = false;
    if (!Enter(&outer, kTagSequence, &whole) || !Enter(&whole, kTagSequence, &tbs) ||
        !ReadOptional(&tbs, kTagContextConstructed + 0, &hasVersion, &version) ||
        !ReadView(&tbs, kTagInteger, &serial) || !ReadAlgorithm(&tbs) ||
        !ReadExpected(&tbs, kTagSequence, &name) || !Enter(&tbs, kTagSequence, &validity) ||
        !ReadView(&validity, kTagUTCTime, &notBefore) || !ReadView(&validity, kTagUTCTime, &notAfter) ||
        !ReadExpected(&tbs, kTagSequence, &subjectContent, &subjectWhole) || !Enter(&tbs, kTagSequence, &spki) ||
        !ReadAlgorithm(&spki) || !ReadView(&spki, kTagBitString, &key))
        return 0;
    const std::size_t consumed = static_cast<std::size_t>(tbs.buffer + tbs.position - certificate);
    unsigned char* copy = CopyToCString(subjectWhole.pointer, subjectWhole.length);
    if (!copy) return 0;
    *subject = ByteBuffer{copy, subjectWhole.length};

    // Optional [1] and [2] unique identifiers may precede the extensions.
    DERCursor extensionsTag, extensions;
    while (!AtEnd(tbs) && PeekTag(&tbs) != kTagContextConstructed + 3)
        if (!SkipElement(&tbs)) return consumed;
    if (!Enter(&tbs, kTagContextConstructed + 3, &extensionsTag) || !Enter(&extensionsTag, kTagSequence, &extensions))
        return consumed;
    while (!AtEnd(extensions)) {
        DERCursor extension;
        if (!Enter(&extensions, kTagSequence, &extension)) break;
        const int found = TimeStampingOfExtension(extension);
        if (found == kMalformed) break;
        if (found != kNotKeyUsage) {
            *timeStamping = found;
            break;
        }
    }
    return consumed;
}
