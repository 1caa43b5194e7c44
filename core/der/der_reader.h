// Internal helpers of the name, extension and certificate decoders: bounded
// sub-readers and the step that turns collected views into heap copies.
#pragma once
#include <cstddef>
#include <cstdlib>

#include "core/der/bytes.h"
#include "core/der/der.h"

namespace cert_views {

// Reads a header that must carry the tag; the content length goes to length.
// Header size, 0 on failure (the length never exceeds what remains).
inline std::size_t ReadHeader(DERCursor* cursor, int tag, std::size_t* length)
{
    int found = 0;
    std::size_t n = GetDERTagLength(cursor, &found, length);
    if (n == 0 || found != tag) return 0;
    return n;
}

// A reader over the next length bytes of cursor, which moves past them.
inline DERCursor TakeContent(DERCursor* cursor, std::size_t length)
{
    DERCursor inner;
    InitDERReader(&inner, cursor->buffer + cursor->position, length);
    cursor->position += length;
    return inner;
}

// Reads tag + content into a reader over the content only. false when the
// header is missing, has another tag, or announces more than remains.
inline bool Enter(DERCursor* cursor, int tag, DERCursor* inner, std::size_t* size = nullptr)
{
    std::size_t length = 0;
    std::size_t header = ReadHeader(cursor, tag, &length);
    if (header == 0) return false;
    *inner = TakeContent(cursor, length);
    if (size) *size = header + length;
    return true;
}

inline bool AtEnd(const DERCursor& cursor) { return cursor.position == cursor.size; }

// A primitive value of the tag as a view (possibly empty).
inline bool ReadView(DERCursor* cursor, int tag, ByteBuffer* view)
{
    std::size_t length = 0;
    if (ReadHeader(cursor, tag, &length) == 0) return false;
    view->pointer = cursor->buffer + cursor->position;
    view->length = length;
    cursor->position += length;
    return true;
}

// Any element, skipped whole.
inline bool SkipElement(DERCursor* cursor)
{
    int tag = 0;
    std::size_t length = 0;
    if (GetDERTagLength(cursor, &tag, &length) == 0) return false;
    cursor->position += length;
    return true;
}

// Peeks at the next tag without moving; -1 at the end or on a bad header.
inline int PeekTag(const DERCursor* cursor)
{
    DERCursor look = *cursor;
    int tag = 0;
    std::size_t length = 0;
    if (GetDERTagLength(&look, &tag, &length) == 0) return -1;
    return tag;
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

}  // namespace cert_views
