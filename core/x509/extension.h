// Certificate extensions and PKCS#9 attribute sets as 25-slot tables by
// extension kind (core/oid.h; slot 24 is never filled), and the decoder of
// single extension values.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"

struct DERCursor;

enum : std::size_t {
    kExtensionSlots = 25,
    kExtensionValueSlots = 9,
    kExtensionValueWorkSize = 1024,
};

// What a slot holds after DecodeExtensions:
// - kinds 5 and 15-23: the Extension after its identifier, as DER (the
//   optional critical BOOLEAN and the extnValue OCTET STRING), the form
//   DecodeExtensionValue reads;
// - kinds 0-4 and 6-14: the content of the one value inside extnValue, or
//   the raw content of extnValue when it does not hold one readable value.
// Filled slots are heap copies with a NUL; empty ones {null, 0}. A table
// starts empty; the decoders free what it holds before they fill it.
// The attribute table of an attribute set has the same layout.
struct ExtensionTable {
    ByteBuffer slots[kExtensionSlots] = {};
};

// Values handed out by DecodeExtensionValue, released with FreeItems(slots, 9).
struct ExtensionValues {
    ByteBuffer slots[kExtensionValueSlots] = {};
};

// [3] { SEQUENCE OF Extension } from the slots that have data, DER order
// from the highest kind down. Bytes written, 0 on failure.
std::size_t EncodeExtensions(DERCursor* cursor, const ExtensionTable* table);
// Bytes consumed (the [3] element's size), 0 on failure (table empty).
std::size_t DecodeExtensions(DERCursor* cursor, ExtensionTable* table);

// SET (or [0] when asContextTag is 1) OF { OID, SET { value } } from the
// slots whose pointer is set; challengePassword only when
// includeChallengePassword is 1. 0 when nothing was written.
std::size_t EncodeAttributeSet(DERCursor* cursor, const ExtensionTable* table, int includeChallengePassword,
                               int asContextTag);
// SET or [0] of attributes; each slot gets the content of the attribute's
// last value; from an extensionRequest only the subjectAltName. Bytes
// consumed, 0 on failure (table empty).
std::size_t DecodeAttributeSet(DERCursor* cursor, ExtensionTable* table);

// Results of DecodeExtensionValue.
enum : int {
    kExtensionValueDecoded = 2000,
    kExtensionValueMalformed = 0,      // also out of memory
    kExtensionValueNotHandled = -1,    // kind other than 5 and 15-23, or bytes left over
    kExtensionValueRefusedCritical = -2,
    kExtensionValueKeyUsageTooLong = -3,
};

// Flags of basicConstraints.
enum : std::uint16_t { kBasicConstraintsCA = 1 };

// Decodes a slot of kind 5 or 15-23 (the DecodeExtensions form). flags: the
// key-usage bits (first byte x 256 | second byte), 1 for a CA, or the ORed
// key-purpose flags 1-64; values: the URIs, names or numbers of the kind;
// critical: 1 when the critical BOOLEAN is present.
int DecodeExtensionValue(const ByteBuffer& slot, int kind, std::uint16_t* flags, ExtensionValues* values,
                         std::uint32_t* critical);
