// DER cursor primitives. Encoding writes backwards from the end of a fixed
// buffer (content first, then the header in front of it); decoding reads
// forwards. Every primitive returns the number of bytes it wrote or
// consumed; 0 means failure. No primitive undoes a partial step.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"

// Owned by the caller. A writer's encoding occupies [position, size); a
// reader never reads at or beyond size.
struct DERCursor {
    unsigned char* buffer;  // not owned
    std::size_t size;
    std::size_t position;
};

// Tag numbers travel as small integers, not as identifier bytes:
// universal types by number, [n] as 128 + n, constructed [n] as 160 + n.
enum : int {
    kTagBoolean = 1,
    kTagInteger = 2,
    kTagBitString = 3,
    kTagOctetString = 4,
    kTagNull = 5,
    kTagObjectId = 6,
    kTagSequence = 16,
    kTagSet = 17,
    kTagPrintableString = 19,
    kTagT61String = 20,
    kTagIA5String = 22,
    kTagUTCTime = 23,
    kTagGeneralizedTime = 24,
    kTagVisibleString = 26,
    kTagUniversalString = 28,
    kTagBMPString = 30,
    kTagContext = 128,             // + n: [n] primitive
    kTagContextConstructed = 160,  // + n: [n] constructed
};

// Longest definite length accepted: four length bytes.
enum : std::size_t { kDERMaxLengthBytes = 4 };

// Reads a length in short or long form after its first byte, taking further
// bytes from nextByte(&b). Returns the length's byte count (1 + k), 0 when the
// form is refused (0x80 indefinite, over kDERMaxLengthBytes) or bytes run out.
template <class NextByte>
std::size_t ReadDERLengthBytes(unsigned char first, NextByte nextByte, std::size_t* length)
{
    if (!(first & 0x80)) {
        *length = first;
        return 1;
    }
    std::size_t k = first & 0x7F;
    if (k == 0 || k > kDERMaxLengthBytes) return 0;
    std::size_t value = 0;
    for (std::size_t i = 0; i < k; ++i) {
        unsigned char b;
        if (!nextByte(&b)) return 0;
        value = (value << 8) | b;
    }
    *length = value;
    return 1 + k;
}

void InitDERWriter(DERCursor* cursor, unsigned char* buffer, std::size_t size);
// The reader never writes through the buffer.
void InitDERReader(DERCursor* cursor, const unsigned char* buffer, std::size_t size);
// Look-ahead at an optional element and rewind when it is absent.
void SaveDERCursor(const DERCursor* cursor, DERCursor* saved);
void RestoreDERCursor(DERCursor* cursor, const DERCursor* saved);

// Writing. The item's bytes must not overlap the cursor's buffer range
// being written.

// Writes the item's bytes in front of the position, in their own order.
// 0 for an empty item; 0 when the room runs out (the bytes that fitted stay,
// the position stays at 0).
std::size_t PutDERBytes(DERCursor* cursor, const ByteBuffer& item);
std::size_t PutDERByte(DERCursor* cursor, unsigned char byte);
// Length bytes, then the identifier in front of them. Result: header size.
std::size_t PutDERHeader(DERCursor* cursor, int tag, std::size_t length);
std::size_t PutDERHeaderAlt(DERCursor* cursor, int tag, std::size_t length);
// Tag 16/17 and 2: header only, over item.length bytes written before.
// Tag 3: the unused-bits byte 0 and a header over item.length + 1 (content
// written before); result header + 1. Other tags: the item's bytes and the
// header; result item.length + header.
std::size_t PutDERValue(DERCursor* cursor, int tag, const ByteBuffer& item);
// INTEGER from big-endian magnitude bytes: leading zero bytes skipped (one
// kept when all are zero); with noSignByte 0 a 0x00 is put in front of a
// first byte with its top bit set. The item is left as it is; the content
// count goes to contentCount when given. Result: content + header; 0 for an
// empty item.
std::size_t PutDERInteger(DERCursor* cursor, const ByteBuffer& item, int noSignByte,
                          std::size_t* contentCount = nullptr);

// Reading.

std::size_t GetDERByte(DERCursor* cursor, unsigned char* byte);
// In: item->length = count wanted. Grants min(wanted, what remains) as a
// view into the buffer and advances; 0 at the end of the buffer.
std::size_t GetDERBytes(DERCursor* cursor, ByteBuffer* item);
// As GetDERBytes without moving the position.
std::size_t PeekDERBytes(const DERCursor* cursor, ByteBuffer* item);
// Identifier and definite length (short form, or 1 to 4 length bytes).
// Refused: the high-tag-number form, the indefinite form 0x80, more than
// four length bytes, and a length beyond the bytes that remain. Result:
// header size.
std::size_t GetDERTagLength(DERCursor* cursor, int* tag, std::size_t* length);
// Header, then by tag: 3 reads the unused-bits byte (must be 0; a BIT
// STRING needs it) and leaves the bits for GetDERBytes, item->length =
// length - 1, result header + 1; 16/17 consume nothing more and leave
// item->pointer as it was, result header; other tags take the content as a
// view, result header + length.
std::size_t GetDERValue(DERCursor* cursor, int* tag, ByteBuffer* item);
// GetDERValue with tag 2 and at least one content byte; content as stored.
std::size_t GetDERInteger(DERCursor* cursor, ByteBuffer* item);

// 1 for PrintableString, T61String and IA5String.
int IsStringTag(int tag);
// 0 for SEQUENCE and SET (written with the constructed bit), else 1.
int IsPrimitiveTag(int tag);
