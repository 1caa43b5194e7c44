// The bounded DER reader: the one way our code reads DER held in memory.
// A reader is a DERCursor over a view; each read takes one element and
// moves past it, or fails and leaves the position where it was.
//
// Every read relies on GetDERTagLength's check of the announced length
// against what remains of the cursor: an element never reaches past its
// reader, so the views it yields are inside the buffer and a sub-reader over
// an element's content is bounded by it. Code that walks DER by adding
// lengths to positions itself would lose that guarantee; use these instead.
//
// Tags are the numbers of der.h (universal types by number, [n] as 128 + n,
// constructed [n] as 160 + n). An expected read also wants the identifier's
// form DER gives the tag: SEQUENCE and SET constructed, other universal
// types primitive.
#pragma once
#include <cstddef>
#include <cstdlib>

#include "core/der/bytes.h"
#include "core/der/der.h"

namespace der_reader {

// A reader over the bytes.
inline DERCursor Reader(const unsigned char* bytes, std::size_t length)
{
    DERCursor cursor;
    InitDERReader(&cursor, bytes, length);
    return cursor;
}

// A reader over a view, typically an element's content.
inline DERCursor Inside(const ByteBuffer& view) { return Reader(view.pointer, view.length); }

inline bool AtEnd(const DERCursor& cursor) { return cursor.position == cursor.size; }

// The identifier byte DER gives the tag.
inline unsigned char Identifier(int tag)
{
    if (tag >= kTagContextConstructed) return static_cast<unsigned char>(0xA0 | (tag - kTagContextConstructed));
    if (tag >= kTagContext) return static_cast<unsigned char>(0x80 | (tag - kTagContext));
    const bool constructed = tag == kTagSequence || tag == kTagSet;
    return static_cast<unsigned char>((constructed ? 0x20 : 0) | tag);
}

// One element: its tag, its content and its whole encoding.
struct Element {
    int tag = 0;
    ByteBuffer content{nullptr, 0};
    ByteBuffer whole{nullptr, 0};
};

// Any element; false at the end or on a bad header.
inline bool ReadAny(DERCursor* cursor, Element* element)
{
    DERCursor look = *cursor;
    std::size_t length = 0;
    const std::size_t header = GetDERTagLength(&look, &element->tag, &length);
    if (header == 0) return false;
    element->content = ByteBuffer{look.buffer + look.position, length};
    element->whole = ByteBuffer{cursor->buffer + cursor->position, header + length};
    cursor->position = look.position + length;
    return true;
}

// The next element when it carries the tag: its content, and its whole
// encoding when asked for.
inline bool ReadExpected(DERCursor* cursor, int tag, ByteBuffer* content, ByteBuffer* whole = nullptr)
{
    if (AtEnd(*cursor) || cursor->buffer[cursor->position] != Identifier(tag)) return false;
    Element element;
    if (!ReadAny(cursor, &element)) return false;
    *content = element.content;
    if (whole) *whole = element.whole;
    return true;
}

// ReadExpected for an element that may be absent: true when it is absent
// (present false, the position kept) or read whole; false only for a
// present element with a bad header.
inline bool ReadOptional(DERCursor* cursor, int tag, bool* present, ByteBuffer* content, ByteBuffer* whole = nullptr)
{
    *present = !AtEnd(*cursor) && cursor->buffer[cursor->position] == Identifier(tag);
    return !*present || ReadExpected(cursor, tag, content, whole);
}

// Reads tag + content into a reader over the content only; the element's
// size goes to size when given.
inline bool Enter(DERCursor* cursor, int tag, DERCursor* inner, std::size_t* size = nullptr)
{
    ByteBuffer content, whole;
    if (!ReadExpected(cursor, tag, &content, &whole)) return false;
    *inner = Inside(content);
    if (size) *size = whole.length;
    return true;
}

// A primitive value of the tag as a view (possibly empty).
inline bool ReadView(DERCursor* cursor, int tag, ByteBuffer* view) { return ReadExpected(cursor, tag, view); }

// Any element, skipped whole.
inline bool SkipElement(DERCursor* cursor)
{
    Element element;
    return ReadAny(cursor, &element);
}

// The rest of the reader as a view, which it moves past.
inline ByteBuffer TakeRest(DERCursor* cursor)
{
    ByteBuffer rest{cursor->buffer + cursor->position, cursor->size - cursor->position};
    cursor->position = cursor->size;
    return rest;
}

// Peeks at the next tag without moving; -1 at the end or on a bad header.
inline int PeekTag(const DERCursor* cursor)
{
    DERCursor look = *cursor;
    Element element;
    return ReadAny(&look, &element) ? element.tag : -1;
}

// Replaces each non-empty view by a heap copy with a NUL; empty views become
// {null, 0}. On an allocation failure every slot ends {null, 0}, the copies
// already made are freed, and false is returned.
inline bool MakeHeapCopies(ByteBuffer* slots, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (!slots[i].pointer || slots[i].length == 0) {
            slots[i] = ByteBuffer{nullptr, 0};
            continue;
        }
        unsigned char* copy = CopyToCString(slots[i].pointer, slots[i].length);
        if (!copy) {
            for (std::size_t j = 0; j < i; ++j) {
                std::free(slots[j].pointer);
                slots[j] = ByteBuffer{nullptr, 0};
            }
            for (std::size_t j = i; j < count; ++j) slots[j] = ByteBuffer{nullptr, 0};
            return false;
        }
        slots[i].pointer = copy;
    }
    return true;
}

}  // namespace der_reader
