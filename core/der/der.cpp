#include "core/der/der.h"

namespace {

// Number of big-endian bytes the long form needs for length (1 to 4).
std::size_t LengthByteCount(std::size_t length)
{
    std::size_t k = 1;
    while (k < kDERMaxLengthBytes && (length >> (8 * k)) != 0) ++k;
    return k;
}

unsigned char IdentifierByte(int tag)
{
    unsigned char id = static_cast<unsigned char>(tag & 0xFF);
    if (!IsPrimitiveTag(tag)) id |= 0x20;
    return id;
}

}  // namespace

void InitDERWriter(DERCursor* cursor, unsigned char* buffer, std::size_t size)
{
    cursor->buffer = buffer;
    cursor->size = size;
    cursor->position = size;
}

void InitDERReader(DERCursor* cursor, const unsigned char* buffer, std::size_t size)
{
    cursor->buffer = const_cast<unsigned char*>(buffer);
    cursor->size = size;
    cursor->position = 0;
}

void SaveDERCursor(const DERCursor* cursor, DERCursor* saved) { *saved = *cursor; }

void RestoreDERCursor(DERCursor* cursor, const DERCursor* saved) { *cursor = *saved; }

std::size_t PutDERBytes(DERCursor* cursor, const ByteBuffer& item)
{
    if (item.length == 0 || !item.pointer) return 0;
    // What fits is written (the item's tail), as if byte by byte from the end.
    std::size_t n = item.length < cursor->position ? item.length : cursor->position;
    cursor->position -= n;
    CopyBytes(cursor->buffer + cursor->position, item.pointer + (item.length - n), n);
    return n == item.length ? n : 0;
}

std::size_t PutDERByte(DERCursor* cursor, unsigned char byte)
{
    if (cursor->position == 0) return 0;
    cursor->buffer[--cursor->position] = byte;
    return 1;
}

std::size_t PutDERHeader(DERCursor* cursor, int tag, std::size_t length)
{
    if ((static_cast<std::uint64_t>(length) >> 32) != 0) return 0;
    std::size_t written = 0;
    if (length < 0x80) {
        if (!PutDERByte(cursor, static_cast<unsigned char>(length))) return 0;
        written = 1;
    } else {
        std::size_t k = LengthByteCount(length);
        for (std::size_t i = 0; i < k; ++i)
            if (!PutDERByte(cursor, static_cast<unsigned char>(length >> (8 * i)))) return 0;
        if (!PutDERByte(cursor, static_cast<unsigned char>(0x80 | k))) return 0;
        written = k + 1;
    }
    if (!PutDERByte(cursor, IdentifierByte(tag))) return 0;
    return written + 1;
}

std::size_t PutDERHeaderAlt(DERCursor* cursor, int tag, std::size_t length)
{
    return PutDERHeader(cursor, tag, length);
}

std::size_t PutDERValue(DERCursor* cursor, int tag, const ByteBuffer& item)
{
    switch (tag) {
    case kTagSequence:
    case kTagSet:
    case kTagInteger:
        return PutDERHeader(cursor, tag, item.length);
    case kTagBitString: {
        if (static_cast<std::uint64_t>(item.length) >= 0xFFFFFFFFu) return 0;
        if (!PutDERByte(cursor, 0)) return 0;
        std::size_t header = PutDERHeader(cursor, tag, item.length + 1);
        return header ? header + 1 : 0;
    }
    default: {
        if (item.length != 0 && !PutDERBytes(cursor, item)) return 0;
        std::size_t header = PutDERHeader(cursor, tag, item.length);
        return header ? header + item.length : 0;
    }
    }
}

std::size_t PutDERInteger(DERCursor* cursor, const ByteBuffer& item, int noSignByte, std::size_t* contentCount)
{
    if (item.length == 0 || !item.pointer) return 0;
    std::size_t skip = 0;
    while (skip + 1 < item.length && item.pointer[skip] == 0) ++skip;
    ByteBuffer kept = {item.pointer + skip, item.length - skip};
    if (!PutDERBytes(cursor, kept)) return 0;
    std::size_t content = kept.length;
    if (noSignByte == 0 && (kept.pointer[0] & 0x80)) {
        if (!PutDERByte(cursor, 0)) return 0;
        ++content;
    }
    std::size_t header = PutDERValue(cursor, kTagInteger, ByteBuffer{nullptr, content});
    if (!header) return 0;
    if (contentCount) *contentCount = content;
    return content + header;
}

std::size_t GetDERByte(DERCursor* cursor, unsigned char* byte)
{
    if (cursor->position >= cursor->size) return 0;
    *byte = cursor->buffer[cursor->position++];
    return 1;
}

std::size_t PeekDERBytes(const DERCursor* cursor, ByteBuffer* item)
{
    if (cursor->position >= cursor->size) return 0;
    std::size_t remaining = cursor->size - cursor->position;
    std::size_t granted = item->length < remaining ? item->length : remaining;
    item->pointer = cursor->buffer + cursor->position;
    item->length = granted;
    return granted;
}

std::size_t GetDERBytes(DERCursor* cursor, ByteBuffer* item)
{
    std::size_t granted = PeekDERBytes(cursor, item);
    cursor->position += granted;
    return granted;
}

std::size_t GetDERTagLength(DERCursor* cursor, int* tag, std::size_t* length)
{
    unsigned char id;
    if (!GetDERByte(cursor, &id)) return 0;
    int number = id & 0x1F;
    if (number == 0x1F) return 0;
    if ((id & 0xA0) == 0xA0) number += kTagContextConstructed;
    else if (id & 0x80) number += kTagContext;

    unsigned char first;
    if (!GetDERByte(cursor, &first)) return 0;
    // 0x80 (indefinite) and lengths beyond 32 bits are not DER we hold.
    std::size_t value = 0;
    std::size_t lengthBytes =
        ReadDERLengthBytes(first, [cursor](unsigned char* b) { return GetDERByte(cursor, b) == 1; }, &value);
    if (!lengthBytes) return 0;
    std::size_t header = 1 + lengthBytes;
    if (value > cursor->size - cursor->position) return 0;
    *tag = number;
    *length = value;
    return header;
}

std::size_t GetDERValue(DERCursor* cursor, int* tag, ByteBuffer* item)
{
    std::size_t length;
    std::size_t header = GetDERTagLength(cursor, tag, &length);
    if (!header) return 0;
    switch (*tag) {
    case kTagBitString: {
        unsigned char unused;
        if (length == 0 || !GetDERByte(cursor, &unused) || unused != 0) return 0;
        item->pointer = cursor->buffer + cursor->position;
        item->length = length - 1;
        return header + 1;
    }
    case kTagSequence:
    case kTagSet:
        item->length = length;
        return header;
    default:
        item->length = length;
        if (length == 0) {
            item->pointer = cursor->buffer + cursor->position;
            return header;
        }
        if (GetDERBytes(cursor, item) != length) return 0;
        return header + length;
    }
}

std::size_t GetDERInteger(DERCursor* cursor, ByteBuffer* item)
{
    int tag;
    std::size_t n = GetDERValue(cursor, &tag, item);
    if (!n || tag != kTagInteger || item->length == 0) return 0;
    return n;
}

int IsStringTag(int tag)
{
    return tag == kTagPrintableString || tag == kTagT61String || tag == kTagIA5String;
}

int IsPrimitiveTag(int tag) { return tag == kTagSequence || tag == kTagSet ? 0 : 1; }
