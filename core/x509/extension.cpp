#include "core/x509/extension.h"

#include "core/der/der_reader.h"
#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/text/text.h"

namespace {

using namespace der_reader;

bool IsFilled(const ByteBuffer& slot) { return slot.pointer && slot.length; }

// Kinds whose slot keeps the Extension's DER after the identifier.
bool KeepsExtensionDer(int kind)
{
    return kind == kExtNetscapeCertType || (kind >= kExtKeyUsage && kind <= kExtOcspNoCheck);
}

// One string, OCTET STRING or BIT STRING value filling the reader exactly.
bool ReadSingleValue(DERCursor reader, ByteBuffer* value)
{
    Element element;
    if (!ReadAny(&reader, &element)) return false;
    const int tag = element.tag;
    if (tag != kTagPrintableString && tag != kTagIA5String && tag != kTagOctetString && tag != kTagBitString)
        return false;
    ByteBuffer content = element.content;
    if (tag == kTagBitString) {
        if (content.length == 0 || content.pointer[0] != 0) return false;
        ++content.pointer;
        --content.length;
    }
    if (!AtEnd(reader)) return false;
    *value = content;
    return true;
}

bool DecodeExtensionViews(DERCursor* cursor, ByteBuffer* views, std::size_t* size)
{
    DERCursor outer, list;
    if (!Enter(cursor, kTagContextConstructed + 3, &outer, size)) return false;
    if (!Enter(&outer, kTagSequence, &list) || !AtEnd(outer)) return false;
    while (!AtEnd(list)) {
        DERCursor extension;
        if (!Enter(&list, kTagSequence, &extension)) return false;
        ByteBuffer oid = {nullptr, 0};
        if (!ReadView(&extension, kTagObjectId, &oid)) return false;
        int kind = OIDToExtensionKind(oid.pointer, oid.length);
        if (kind < 0 || kind >= static_cast<int>(kExtensionSlots)) continue;  // unknown: skipped
        if (KeepsExtensionDer(kind)) {
            views[kind] = TakeRest(&extension);
            continue;
        }
        DERCursor value;
        if (!Enter(&extension, kTagOctetString, &value) || !AtEnd(extension)) return false;
        ByteBuffer single = {nullptr, 0};
        if (ReadSingleValue(value, &single))
            views[kind] = single;
        else
            views[kind] = ByteBuffer{value.buffer, value.size};  // the raw extnValue
    }
    return true;
}

// One Extension in the form its kind keeps in the table.
std::size_t EncodeOneExtension(DERCursor* cursor, int kind, const ByteBuffer& slot)
{
    std::size_t total = 0;
    std::size_t n = 0;
    if (kind == kExtOwn1 || kind == kExtOwn2 || (kind < kExtensionKinds && !KeepsExtensionDer(kind) &&
                                                 kind != kExtSubjectAltName)) {
        // OCTET STRING { OCTET STRING } for kinds 3 and 4, { IA5String } for 0-2 and 6-14.
        int tag = (kind == kExtOwn1 || kind == kExtOwn2) ? kTagOctetString : kTagIA5String;
        n = PutDERValue(cursor, tag, slot);
        if (n == 0) return 0;
        total += n;
        n = PutDERHeader(cursor, kTagOctetString, total);
    } else if (kind == kExtSubjectAltName) {
        n = PutDERValue(cursor, kTagOctetString, slot);  // the slot holds the GeneralNames
    } else if (KeepsExtensionDer(kind)) {
        n = PutDERBytes(cursor, slot);  // critical flag and extnValue as they are
    } else {
        return 0;  // slot 24 has no identifier
    }
    if (n == 0) return 0;
    total += n;
    unsigned char oid[kOIDMaxLength];
    int oidLength = ExtensionKindToOID(kind, oid);
    if (oidLength <= 0) return 0;
    n = PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, static_cast<std::size_t>(oidLength)});
    if (n == 0) return 0;
    total += n;
    n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

bool IsAttributeValueTag(int tag)
{
    return tag == kTagPrintableString || tag == kTagIA5String || tag == kTagOctetString;
}

bool ReadAttributeValue(DERCursor* reader, ByteBuffer* value)
{
    DERCursor look = *reader;
    Element element;
    if (!ReadAny(&look, &element) || !IsAttributeValueTag(element.tag)) return false;
    *value = element.content;
    *reader = look;
    return true;
}

bool DecodeAttributeViews(DERCursor* cursor, ByteBuffer* views, std::size_t* size)
{
    int tag = PeekTag(cursor);
    if (tag != kTagSet && tag != kTagContextConstructed) return false;
    DERCursor set;
    if (!Enter(cursor, tag, &set, size)) return false;
    while (!AtEnd(set)) {
        DERCursor attribute, values;
        ByteBuffer oid = {nullptr, 0};
        if (!Enter(&set, kTagSequence, &attribute) || !ReadView(&attribute, kTagObjectId, &oid)) return false;
        int kind = OIDToExtensionKind(oid.pointer, oid.length);
        if (kind < 0 || kind >= static_cast<int>(kExtensionSlots)) continue;  // skipped whole
        if (!Enter(&attribute, kTagSet, &values) || !AtEnd(attribute)) return false;
        if (kind == kExtSubjectAltName) {
            // extensionRequest: only a leading subjectAltName is taken.
            DERCursor extensions, extension;
            ByteBuffer inner = {nullptr, 0};
            if (!Enter(&values, kTagSequence, &extensions) || !Enter(&extensions, kTagSequence, &extension) ||
                !ReadView(&extension, kTagObjectId, &inner))
                return false;
            if (OIDToExtensionKind(inner.pointer, inner.length) != kExtSubjectAltName) continue;
            ByteBuffer value = {nullptr, 0};
            if (!ReadAttributeValue(&extension, &value)) return false;
            views[kind] = value;
            continue;
        }
        while (!AtEnd(values)) {
            ByteBuffer value = {nullptr, 0};
            if (!ReadAttributeValue(&values, &value)) return false;
            views[kind] = value;  // the last value counts
        }
    }
    return true;
}

}  // namespace

std::size_t EncodeExtensions(DERCursor* cursor, const ExtensionTable* table)
{
    std::size_t total = 0;
    // Written backwards from kind 0, so the DER runs from the highest kind down.
    for (int kind = 0; kind < static_cast<int>(kExtensionSlots); ++kind) {
        if (!IsFilled(table->slots[kind])) continue;
        std::size_t n = EncodeOneExtension(cursor, kind, table->slots[kind]);
        if (n == 0) return 0;
        total += n;
    }
    std::size_t n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    total += n;
    n = PutDERHeader(cursor, kTagContextConstructed + 3, total);
    if (n == 0) return 0;
    return total + n;
}

std::size_t DecodeExtensions(DERCursor* cursor, ExtensionTable* table)
{
    FreeItems(table->slots, kExtensionSlots);
    ByteBuffer views[kExtensionSlots] = {};
    std::size_t size = 0;
    if (!DecodeExtensionViews(cursor, views, &size)) return 0;
    for (std::size_t i = 0; i < kExtensionSlots; ++i) table->slots[i] = views[i];
    if (!MakeHeapCopies(table->slots, kExtensionSlots)) return 0;
    return size;
}

std::size_t EncodeAttributeSet(DERCursor* cursor, const ExtensionTable* table, int includeChallengePassword,
                               int asContextTag)
{
    std::size_t total = 0;
    bool wrote = false;
    for (int kind = 0; kind < static_cast<int>(kExtensionSlots); ++kind) {
        const ByteBuffer& slot = table->slots[kind];
        if (!slot.pointer) continue;
        if (kind == kExtChallengePassword && includeChallengePassword != 1) continue;
        unsigned char oid[kOIDMaxLength];
        int oidLength = ExtensionKindToOID(kind, oid);
        if (oidLength <= 0) return 0;
        int tag = kind == kExtEmailAddress ? kTagIA5String : kTagPrintableString;
        std::size_t attribute = PutDERValue(cursor, tag, slot);
        if (attribute == 0) return 0;
        std::size_t n = PutDERValue(cursor, kTagSet, ByteBuffer{nullptr, attribute});
        if (n == 0) return 0;
        attribute += n;
        n = PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, static_cast<std::size_t>(oidLength)});
        if (n == 0) return 0;
        attribute += n;
        n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, attribute});
        if (n == 0) return 0;
        total += attribute + n;
        wrote = true;
    }
    if (!wrote) return 0;
    std::size_t n = asContextTag == 1 ? PutDERHeader(cursor, kTagContextConstructed, total)
                                      : PutDERValue(cursor, kTagSet, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

std::size_t DecodeAttributeSet(DERCursor* cursor, ExtensionTable* table)
{
    FreeItems(table->slots, kExtensionSlots);
    ByteBuffer views[kExtensionSlots] = {};
    std::size_t size = 0;
    if (!DecodeAttributeViews(cursor, views, &size)) return 0;
    for (std::size_t i = 0; i < kExtensionSlots; ++i) table->slots[i] = views[i];
    if (!MakeHeapCopies(table->slots, kExtensionSlots)) return 0;
    return size;
}
