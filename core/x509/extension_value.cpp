#include "core/der/der_reader.h"
#include "core/der/der.h"
#include "core/x509/extension.h"
#include "core/der/oid.h"
#include "core/text/text.h"

namespace {

using namespace der_reader;

struct ValueResult {
    int status;
    std::uint16_t flags;
};

ValueResult Malformed() { return {kExtensionValueMalformed, 0}; }

// Certificate type and keyUsage: a BIT STRING of at most 3 content bytes.
ValueResult DecodeBitFlags(DERCursor* value)
{
    ByteBuffer content = {nullptr, 0};
    if (!ReadExpected(value, kTagBitString, &content) || content.length == 0) return Malformed();
    const std::size_t length = content.length;
    if (length > 3) return {kExtensionValueKeyUsageTooLong, 0};
    const unsigned char* bits = content.pointer + 1;  // after the unused-bits byte
    std::uint16_t flags = 0;
    if (length >= 2) flags = static_cast<std::uint16_t>(bits[0] << 8);
    if (length == 3) flags |= bits[1];
    return {kExtensionValueDecoded, flags};
}

ValueResult DecodeBasicConstraints(DERCursor* value, ByteBuffer* views)
{
    DERCursor sequence;
    if (!Enter(value, kTagSequence, &sequence)) return Malformed();
    std::uint16_t flags = 0;
    if (PeekTag(&sequence) == kTagBoolean) {
        ByteBuffer ca = {nullptr, 0};
        if (!ReadView(&sequence, kTagBoolean, &ca) || ca.length != 1) return Malformed();
        if (ca.pointer[0] != 0) flags = kBasicConstraintsCA;  // only cA TRUE makes a CA
    }
    if (!AtEnd(sequence)) {
        if (!ReadView(&sequence, kTagInteger, &views[0]) || views[0].length == 0) return Malformed();
    }
    if (!AtEnd(sequence)) return Malformed();
    return {kExtensionValueDecoded, flags};
}

bool IsKeyPurposeFlag(int code)
{
    return code == kKeyPurposeServerAuth || code == kKeyPurposeClientAuth || code == kKeyPurposeCodeSigning ||
           code == kKeyPurposeEmailProtection || code == kKeyPurposeTimeStamping ||
           code == kKeyPurposeOcspSigning || code == kKeyPurposeServerGatedCrypto;
}

ValueResult DecodeExtKeyUsage(DERCursor* value, bool critical)
{
    DERCursor sequence;
    if (!Enter(value, kTagSequence, &sequence)) return Malformed();
    std::uint16_t flags = 0;
    while (!AtEnd(sequence)) {
        ByteBuffer oid = {nullptr, 0};
        if (!ReadView(&sequence, kTagObjectId, &oid)) return Malformed();
        int code = OIDToBagType(oid.pointer, oid.length);
        if (IsKeyPurposeFlag(code))
            flags = static_cast<std::uint16_t>(flags | code);
        else if (critical)
            return {kExtensionValueRefusedCritical, 0};
    }
    return {kExtensionValueDecoded, flags};
}

// DisplayText as IA5String or VisibleString.
bool ReadDisplayText(DERCursor* cursor, ByteBuffer* view)
{
    int tag = PeekTag(cursor);
    if (tag != kTagIA5String && tag != kTagVisibleString) return false;
    return ReadView(cursor, tag, view);
}

// SEQUENCE { SEQUENCE { OID, SEQUENCE { CPS qualifier [, user notice] } } }.
ValueResult DecodeCertificatePolicies(DERCursor* value, ByteBuffer* views)
{
    DERCursor policies, policy, qualifiers, cps;
    ByteBuffer oid = {nullptr, 0};
    if (!Enter(value, kTagSequence, &policies) || !Enter(&policies, kTagSequence, &policy) ||
        !AtEnd(policies) || !ReadView(&policy, kTagObjectId, &oid) ||
        !Enter(&policy, kTagSequence, &qualifiers) || !AtEnd(policy))
        return Malformed();
    if (!Enter(&qualifiers, kTagSequence, &cps) || !ReadView(&cps, kTagObjectId, &oid) ||
        !ReadView(&cps, kTagIA5String, &views[0]) || !AtEnd(cps))
        return Malformed();
    if (!AtEnd(qualifiers)) {
        DERCursor unotice, notice, reference, numbers;
        if (!Enter(&qualifiers, kTagSequence, &unotice) || !ReadView(&unotice, kTagObjectId, &oid) ||
            !Enter(&unotice, kTagSequence, &notice) || !AtEnd(unotice) ||
            !Enter(&notice, kTagSequence, &reference) || !ReadDisplayText(&reference, &views[1]) ||
            !Enter(&reference, kTagSequence, &numbers) || !AtEnd(reference) ||
            !ReadView(&numbers, kTagInteger, &views[2]) || !AtEnd(numbers) ||
            !ReadDisplayText(&notice, &views[3]) || !AtEnd(notice) || !AtEnd(qualifiers))
            return Malformed();
    }
    return {kExtensionValueDecoded, 0};
}

// SEQUENCE OF DistributionPoint { [0] { [0] { [6] URI } } }, nine at most.
ValueResult DecodeCrlDistributionPoints(DERCursor* value, ByteBuffer* views)
{
    DERCursor points;
    if (!Enter(value, kTagSequence, &points)) return Malformed();
    std::size_t count = 0;
    while (!AtEnd(points)) {
        if (count == kExtensionValueSlots) return Malformed();  // no slot for a tenth
        DERCursor point, name, full;
        if (!Enter(&points, kTagSequence, &point) || !Enter(&point, kTagContextConstructed, &name) ||
            !AtEnd(point) || !Enter(&name, kTagContextConstructed, &full) || !AtEnd(name) ||
            !ReadView(&full, kTagContext + 6, &views[count]) || !AtEnd(full))
            return Malformed();
        ++count;
    }
    return {kExtensionValueDecoded, 0};
}

// GeneralNames: a primitive [n] goes to values[n]; constructed names
// (otherName, directoryName, ediPartyName) have no value slot and are passed over.
ValueResult DecodeGeneralNames(DERCursor* value, ByteBuffer* views)
{
    DERCursor names;
    if (!Enter(value, kTagSequence, &names)) return Malformed();
    while (!AtEnd(names)) {
        Element name;
        if (!ReadAny(&names, &name)) return Malformed();
        const int tag = name.tag;
        const ByteBuffer content = name.content;
        if (tag >= kTagContextConstructed && tag < kTagContextConstructed + 32) continue;
        if (tag < kTagContext || tag >= kTagContext + static_cast<int>(kExtensionValueSlots)) return Malformed();
        views[tag - kTagContext] = content;
    }
    return {kExtensionValueDecoded, 0};
}

// The first AccessDescription, which must name the OCSP method.
ValueResult DecodeAuthorityInfoAccess(DERCursor* value, ByteBuffer* views)
{
    DERCursor list, description;
    ByteBuffer oid = {nullptr, 0};
    if (!Enter(value, kTagSequence, &list) || !Enter(&list, kTagSequence, &description) ||
        !ReadView(&description, kTagObjectId, &oid))
        return Malformed();
    if (OIDToBagType(oid.pointer, oid.length) != kObjPkixOcsp) return Malformed();
    if (!ReadView(&description, kTagContext + 6, &views[0]) || !AtEnd(description)) return Malformed();
    return {kExtensionValueDecoded, 0};
}

ValueResult DecodeOcspNoCheck(DERCursor* value)
{
    ByteBuffer null = {nullptr, 0};
    if (!ReadView(value, kTagNull, &null) || null.length != 0) return Malformed();
    return {kExtensionValueDecoded, 0};
}

}  // namespace

int DecodeExtensionValue(const ByteBuffer& slot, int kind, std::uint16_t* flags, ExtensionValues* values,
                         std::uint32_t* critical)
{
    FreeItems(values->slots, kExtensionValueSlots);
    *flags = 0;
    *critical = 0;
    if (kind != kExtNetscapeCertType && (kind < kExtKeyUsage || kind > kExtOcspNoCheck))
        return kExtensionValueNotHandled;
    if (!slot.pointer || slot.length == 0 || slot.length > kExtensionValueWorkSize)
        return kExtensionValueMalformed;

    unsigned char work[kExtensionValueWorkSize];
    CopyBytes(work, slot.pointer, slot.length);
    DERCursor reader;
    InitDERReader(&reader, work, slot.length);

    bool isCritical = false;
    if (PeekTag(&reader) == kTagBoolean) {
        ByteBuffer flag = {nullptr, 0};
        if (!ReadView(&reader, kTagBoolean, &flag) || flag.length != 1 || flag.pointer[0] != 0xFF)
            return kExtensionValueMalformed;
        isCritical = true;
        *critical = 1;
    }
    DERCursor value;
    if (!Enter(&reader, kTagOctetString, &value)) return kExtensionValueMalformed;
    if (!AtEnd(reader)) return kExtensionValueNotHandled;

    ByteBuffer views[kExtensionValueSlots] = {};
    ValueResult result = Malformed();
    switch (kind) {
    case kExtNetscapeCertType:
    case kExtKeyUsage: result = DecodeBitFlags(&value); break;
    case kExtBasicConstraints: result = DecodeBasicConstraints(&value, views); break;
    case kExtExtKeyUsage: result = DecodeExtKeyUsage(&value, isCritical); break;
    case kExtCertificatePolicies:
        result = isCritical ? ValueResult{kExtensionValueRefusedCritical, 0}
                            : DecodeCertificatePolicies(&value, views);
        break;
    case kExtCrlDistributionPoints: result = DecodeCrlDistributionPoints(&value, views); break;
    case kExtSubjectAltName:
    case kExtIssuerAltName: result = DecodeGeneralNames(&value, views); break;
    case kExtAuthorityInfoAccess: result = DecodeAuthorityInfoAccess(&value, views); break;
    case kExtOcspNoCheck: result = DecodeOcspNoCheck(&value); break;
    default: break;
    }
    int status = result.status;
    if (status == kExtensionValueDecoded && !AtEnd(value)) status = kExtensionValueNotHandled;
    if (status == kExtensionValueDecoded) {
        for (std::size_t i = 0; i < kExtensionValueSlots; ++i) values->slots[i] = views[i];
        if (!MakeHeapCopies(values->slots, kExtensionValueSlots)) status = kExtensionValueMalformed;
        else *flags = result.flags;
    }
    FillBytes(work, 0, slot.length);
    return status;
}
