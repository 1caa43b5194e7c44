#include "core/x509/name.h"

#include <cstdlib>

#include "core/der/der_reader.h"
#include "core/der/der.h"
#include "core/der/der_stream.h"
#include "core/der/oid.h"
#include "core/io/stream.h"
#include "core/text/text.h"

namespace {

using namespace der_reader;

const unsigned char kAttributePrefix[2] = {0x55, 0x04};  // 2.5.4
const unsigned char kEmailOID[9] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01};

// Last arc under 2.5.4 for slots 0-14 (slot 11 is emailAddress).
const unsigned char kSlotArcs[kNameAttributeKinds] = {10, 11, 3, 12, 9, 17, 6, 8, 7, 45, 5, 0, 15, 20, 23};

bool IsNameValueTag(int tag)
{
    return tag == kTagPrintableString || tag == kTagBitString || tag == kTagIA5String ||
           tag == kTagT61String || tag == kTagBMPString || tag == kTagUniversalString;
}

unsigned char FoldLatin1(unsigned char c)
{
    switch (c) {
    case 0xC1: return 'A';
    case 0xC9: return 'E';
    case 0xCD: return 'I';
    case 0xD1: return 'N';
    case 0xD3: return 'O';
    case 0xDA: return 'U';
    case 0xE1: return 'a';
    case 0xE9: return 'e';
    case 0xED: return 'i';
    case 0xF1: return 'n';
    case 0xF3: return 'o';
    case 0xFA: return 'u';
    default: return c;
    }
}

// Heap copy of a value; a wide string (first or second byte zero) loses its
// zero bytes and has its accented letters folded. Empty results are {null, 0}.
bool CopyNameValue(const ByteBuffer& view, ByteBuffer* slot)
{
    *slot = ByteBuffer{nullptr, 0};
    if (!view.pointer || view.length == 0) return true;
    bool wide = view.pointer[0] == 0 || (view.length >= 2 && view.pointer[1] == 0);
    unsigned char* copy = static_cast<unsigned char*>(std::malloc(view.length + 1));
    if (!copy) return false;
    std::size_t n = 0;
    for (std::size_t i = 0; i < view.length; ++i) {
        unsigned char c = view.pointer[i];
        if (wide) {
            if (c == 0) continue;
            c = FoldLatin1(c);
        }
        copy[n++] = c;
    }
    copy[n] = 0;
    if (n == 0) {
        std::free(copy);
        return true;
    }
    *slot = ByteBuffer{copy, n};
    return true;
}

// One AttributeTypeAndValue inside a SET; known values go to their slot view.
bool DecodeAttribute(DERCursor* set, ByteBuffer* views)
{
    DERCursor attribute;
    if (!Enter(set, kTagSequence, &attribute)) return false;
    ByteBuffer oid = {nullptr, 0};
    if (!ReadView(&attribute, kTagObjectId, &oid)) return false;
    int slot = OIDToNameAttribute(oid.pointer, oid.length);
    if (slot < 0) {
        if (!SkipElement(&attribute)) return false;
        return AtEnd(attribute);
    }
    Element element;
    if (!ReadAny(&attribute, &element) || !IsNameValueTag(element.tag)) return false;
    ByteBuffer value = element.content;
    if (element.tag == kTagBitString) {
        if (value.length == 0 || value.pointer[0] != 0) return false;  // unused bits must be 0
        ++value.pointer;
        --value.length;
    }
    views[slot] = value;  // a later value replaces an earlier one
    return AtEnd(attribute);
}

bool DecodeNameViews(DERCursor* cursor, ByteBuffer* views, std::size_t* size)
{
    DERCursor name;
    if (!Enter(cursor, kTagSequence, &name, size)) return false;
    while (!AtEnd(name)) {
        DERCursor set;
        if (!Enter(&name, kTagSet, &set)) return false;
        if (AtEnd(set)) return false;
        while (!AtEnd(set))
            if (!DecodeAttribute(&set, views)) return false;
    }
    return true;
}

// Writes one RDN: SET { SEQUENCE { OID, value } }.
std::size_t EncodeAttribute(DERCursor* cursor, int slot, const ByteBuffer& value)
{
    std::size_t total = 0;
    std::size_t n;
    if (slot == kNameUniqueIdentifier) {
        n = PutDERBytes(cursor, value);
        if (n == 0) return 0;
        total += n;
        n = PutDERValue(cursor, kTagBitString, ByteBuffer{nullptr, value.length});
    } else {
        int tag = slot == kNameEmailAddress ? kTagIA5String : kTagPrintableString;
        n = PutDERValue(cursor, tag, value);
    }
    if (n == 0) return 0;
    total += n;
    unsigned char oid[kOIDMaxLength];
    int oidLength = NameAttributeToOID(slot, oid);
    if (oidLength < 0) return 0;
    n = PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, static_cast<std::size_t>(oidLength)});
    if (n == 0) return 0;
    total += n;
    n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    total += n;
    n = PutDERValue(cursor, kTagSet, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

bool IsFilled(const ByteBuffer& slot) { return slot.pointer && slot.length; }

}  // namespace

int OIDToNameAttribute(const unsigned char* oid, std::size_t length)
{
    if (!oid) return -1;
    if (length == sizeof kEmailOID && CompareBytes(oid, kEmailOID, length) == 0) return kNameEmailAddress;
    if (length != 3 || CompareBytes(oid, kAttributePrefix, 2) != 0) return -1;
    for (int slot = 0; slot < static_cast<int>(kNameAttributeKinds); ++slot)
        if (slot != kNameEmailAddress && kSlotArcs[slot] == oid[2]) return slot;
    return -1;
}

int NameAttributeToOID(int slot, unsigned char* out)
{
    if (slot < 0 || slot >= static_cast<int>(kNameAttributeKinds)) return -1;
    if (slot == kNameEmailAddress) {
        CopyBytes(out, kEmailOID, sizeof kEmailOID);
        return static_cast<int>(sizeof kEmailOID);
    }
    out[0] = kAttributePrefix[0];
    out[1] = kAttributePrefix[1];
    out[2] = kSlotArcs[slot];
    return 3;
}

std::size_t DecodeName(DERCursor* cursor, NameTable* name)
{
    FreeItems(name->slots, kNameSlots);
    ByteBuffer views[kNameSlots] = {};
    std::size_t size = 0;
    if (!DecodeNameViews(cursor, views, &size)) return 0;
    for (std::size_t i = 0; i < kNameSlots; ++i) {
        if (!CopyNameValue(views[i], &name->slots[i])) {
            FreeItems(name->slots, kNameSlots);
            return 0;
        }
    }
    return size;
}

std::size_t EncodeName(DERCursor* cursor, const NameTable* name)
{
    for (std::size_t i = kNameAttributeKinds; i < kNameSlots; ++i)
        if (IsFilled(name->slots[i])) return 0;
    std::size_t total = 0;
    // Written backwards: emailAddress first so that it ends up last.
    if (IsFilled(name->slots[kNameEmailAddress])) {
        std::size_t n = EncodeAttribute(cursor, kNameEmailAddress, name->slots[kNameEmailAddress]);
        if (n == 0) return 0;
        total += n;
    }
    for (int slot = static_cast<int>(kNameAttributeKinds) - 1; slot >= 0; --slot) {
        if (slot == kNameEmailAddress || !IsFilled(name->slots[slot])) continue;
        std::size_t n = EncodeAttribute(cursor, slot, name->slots[slot]);
        if (n == 0) return 0;
        total += n;
    }
    std::size_t n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

namespace {

// Stream tag numbers: the identifier's low 5 bits.
enum : int {
    kStreamTagBitString = 3,
    kStreamTagObjectId = 6,
    kStreamTagSequence = 16,
    kStreamTagSet = 17,
    kStreamTagPrintable = 19,
    kStreamTagT61 = 20,
    kStreamTagIA5 = 22,
};

bool ReadStreamHeader(DataStream* stream, int tag, std::size_t* length, std::size_t* size)
{
    int found = 0;
    std::size_t n = ReadDERTagLength(stream, &found, length);
    if (n == 0 || found != tag) return false;
    *size = n;
    return true;
}

struct StreamNameValues {
    unsigned char bytes[kNameSlots][kReadNameValueSize];
    ByteBuffer views[kNameSlots];
};

// Reads the Name's RDNs into values; the Name's size goes to size.
bool ReadNameValues(DataStream* stream, StreamNameValues* values, std::size_t* size)
{
    std::size_t length = 0, header = 0;
    if (!ReadStreamHeader(stream, kStreamTagSequence, &length, &header)) return false;
    *size = header + length;
    std::size_t remainder = length;
    unsigned char work[kReadNameValueSize];
    DERReadWork readWork = {work, sizeof work};
    while (remainder > 0) {
        std::size_t setLength = 0, setHeader = 0;
        if (!ReadStreamHeader(stream, kStreamTagSet, &setLength, &setHeader)) return false;
        if (setHeader + setLength > remainder) return false;
        remainder -= setHeader + setLength;
        std::size_t sequenceLength = 0, sequenceHeader = 0;
        if (!ReadStreamHeader(stream, kStreamTagSequence, &sequenceLength, &sequenceHeader)) return false;
        if (sequenceHeader + sequenceLength != setLength) return false;  // one attribute per RDN
        int tag = 0;
        ByteBuffer oid = {nullptr, 0};
        std::size_t oidSize = ReadDERValue(&readWork, stream, &tag, &oid);
        if (oidSize == 0 || tag != kStreamTagObjectId || oidSize > sequenceLength) return false;
        int slot = OIDToNameAttribute(oid.pointer, oid.length);
        ByteBuffer value = {nullptr, 0};
        // Values over the work area are refused rather than read.
        std::size_t valueSize = ReadDERValue(&readWork, stream, &tag, &value);
        if (valueSize == 0 || oidSize + valueSize != sequenceLength) return false;
        if (tag == kStreamTagSequence || tag == kStreamTagSet) return false;  // not a value
        if (slot < 0) continue;  // unknown attribute: dropped
        if (tag != kStreamTagPrintable && tag != kStreamTagBitString && tag != kStreamTagIA5 &&
            tag != kStreamTagT61)
            return false;
        if (tag == kStreamTagBitString) {
            if (value.length == 0 || value.pointer[0] != 0) return false;
            ++value.pointer;
            --value.length;
        }
        CopyBytes(values->bytes[slot], value.pointer, value.length);
        values->views[slot] = ByteBuffer{values->bytes[slot], value.length};
    }
    return true;
}

}  // namespace

std::size_t ReadName(DataStream* stream, NameTable* name)
{
    FreeItems(name->slots, kNameSlots);
    StreamNameValues* values = static_cast<StreamNameValues*>(std::calloc(1, sizeof(StreamNameValues)));
    if (!values) return 0;
    std::size_t size = 0;
    bool ok = ReadNameValues(stream, values, &size);
    if (ok) {
        for (std::size_t i = 0; i < kNameSlots; ++i) name->slots[i] = values->views[i];
        ok = MakeHeapCopies(name->slots, kNameSlots);
    }
    std::free(values);
    return ok ? size : 0;
}
