// Backward DER building over the cursor writer: every step is skipped once
// one has failed, so a sequence of steps needs one check at its end, and an
// element closes around what was written since a mark instead of summing
// the sizes of its parts by hand.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"
#include "core/der/der.h"

// The first failure a builder met; later steps keep it.
enum DERBuildStatus : int {
    kDERBuildOk = 0,
    kDERBuildNoRoom = 1,   // the buffer ran out, or a step wrote nothing
    kDERBuildTooLong = 2,  // a length or the whole beyond the cap
};

// The largest length a header or the whole encoding may carry: 32 bits.
enum : std::uint64_t { kDERMaxEncodedLength = 0xFFFFFFFFu };

// Owned by the caller. Bytes that follow the buffer's end without being
// written here (streamed content, a tail made later) count as written for
// every element closed around them.
struct DERBuilder {
    DERCursor cursor;
    std::uint64_t following;  // bytes after the buffer's end
    int status;               // DERBuildStatus
};

void InitDERBuilder(DERBuilder* builder, unsigned char* buffer, std::size_t size);

// Everything the builder's elements cover so far: the buffer's written bytes
// and those that follow it.
std::uint64_t DERBuilderLength(const DERBuilder* builder);

// Where an element's content ends (taken before its content is written).
std::uint64_t DERBuilderMark(const DERBuilder* builder);

// Counts bytes that follow the buffer's end; only before anything is
// written, as they lie beyond all of it.
void FollowDER(DERBuilder* builder, std::uint64_t count);

// A step over the cursor: a primitive that returns the bytes it wrote, 0
// for failure.
template <class Step>
void BuildDER(DERBuilder* builder, Step step)
{
    if (builder->status != kDERBuildOk) return;
    if (step(&builder->cursor) == 0) builder->status = kDERBuildNoRoom;
}

void BuildDERBytes(DERBuilder* builder, const ByteBuffer& bytes);
// A primitive element: its content and the header in front of it.
void BuildDERPrimitive(DERBuilder* builder, int tag, const ByteBuffer& content);
// An INTEGER from big-endian magnitude bytes, with a sign byte when needed.
void BuildDERInteger(DERBuilder* builder, const ByteBuffer& magnitude);
void BuildDERSmallInteger(DERBuilder* builder, unsigned char value);
// The header of an element whose content is what was written since the mark.
void CloseDER(DERBuilder* builder, int tag, std::uint64_t mark);

// Kept by the builder's owner: the written bytes, [position, size).
inline ByteBuffer DERBuilderWritten(const DERBuilder* builder)
{
    return ByteBuffer{builder->cursor.buffer + builder->cursor.position,
                      builder->cursor.size - builder->cursor.position};
}
