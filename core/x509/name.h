// Distinguished names as a 20-slot table of attribute values, one slot per
// attribute kind, and their DER codecs (buffer and stream forms).
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

struct DERCursor;
struct DataStream;

enum : std::size_t {
    kNameSlots = 20,
    kNameAttributeKinds = 15,  // slots 15-19 have no identifier
    kReadNameValueSize = 128,  // largest value ReadName accepts
};

// Slots by attribute kind.
enum : int {
    kNameOrganization = 0,
    kNameOrganizationalUnit = 1,
    kNameCommonName = 2,
    kNameTitle = 3,
    kNameStreetAddress = 4,
    kNamePostalCode = 5,
    kNameCountry = 6,
    kNameStateOrProvince = 7,
    kNameLocality = 8,
    kNameUniqueIdentifier = 9,
    kNameSerialNumber = 10,
    kNameEmailAddress = 11,
    kNameBusinessCategory = 12,
    kNameTelephoneNumber = 13,
    kNameFacsimileTelephoneNumber = 14,
};

// Filled slots hold heap copies with a trailing NUL (the length does not
// count it); empty slots are {null, 0}. A table starts empty; the decoders
// free whatever it holds before they fill it, and FreeItems(slots, 20)
// releases it.
struct NameTable {
    ByteBuffer slots[kNameSlots] = {};
};

// Slot of an attribute identifier (content bytes), -1 for others.
int OIDToNameAttribute(const unsigned char* oid, std::size_t length);
// Writes the slot's identifier (at most 9 bytes) and returns its length;
// -1 for slots above 14.
int NameAttributeToOID(int slot, unsigned char* out);

// Name ::= SEQUENCE OF SET OF { OID, value }. Bytes consumed, 0 on failure
// (the table is then empty). Values in PrintableString, BIT STRING,
// IA5String, T61String, BMPString or UniversalString; wide strings lose
// their zero bytes and accented Latin-1 vowels and n-tilde are folded.
std::size_t DecodeName(DERCursor* cursor, NameTable* name);
// Bytes written, 0 on failure (a filled slot 15-19). DER order: slots 0-19
// without 11, then 11 (emailAddress, IA5String); slot 9 as BIT STRING, the
// rest as PrintableString.
std::size_t EncodeName(DERCursor* cursor, const NameTable* name);

// A Name read from a stream, one attribute per RDN; values longer than
// kReadNameValueSize are refused. The Name's size, 0 on failure.
std::size_t ReadName(DataStream* stream, NameTable* name);
