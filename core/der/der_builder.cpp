#include "core/der/der_builder.h"

namespace {

void CheckTotal(DERBuilder* builder)
{
    if (builder->status == kDERBuildOk && DERBuilderLength(builder) > kDERMaxEncodedLength)
        builder->status = kDERBuildTooLong;
}

}  // namespace

void InitDERBuilder(DERBuilder* builder, unsigned char* buffer, std::size_t size)
{
    InitDERWriter(&builder->cursor, buffer, size);
    builder->following = 0;
    builder->status = kDERBuildOk;
}

std::uint64_t DERBuilderLength(const DERBuilder* builder)
{
    return (builder->cursor.size - builder->cursor.position) + builder->following;
}

std::uint64_t DERBuilderMark(const DERBuilder* builder) { return DERBuilderLength(builder); }

void FollowDER(DERBuilder* builder, std::uint64_t count)
{
    if (builder->status != kDERBuildOk) return;
    // Bytes in the buffer would stand between the following ones and what
    // is written later.
    if (builder->cursor.position != builder->cursor.size || count > kDERMaxEncodedLength) {
        builder->status = builder->cursor.position != builder->cursor.size ? kDERBuildNoRoom : kDERBuildTooLong;
        return;
    }
    builder->following += count;
    CheckTotal(builder);
}

void BuildDERBytes(DERBuilder* builder, const ByteBuffer& bytes)
{
    BuildDER(builder, [&](DERCursor* cursor) { return PutDERBytes(cursor, bytes); });
}

void BuildDERPrimitive(DERBuilder* builder, int tag, const ByteBuffer& content)
{
    const std::uint64_t mark = DERBuilderMark(builder);
    if (content.length) BuildDERBytes(builder, content);
    CloseDER(builder, tag, mark);
}

void BuildDERInteger(DERBuilder* builder, const ByteBuffer& magnitude)
{
    BuildDER(builder, [&](DERCursor* cursor) { return PutDERInteger(cursor, magnitude, 0); });
}

void BuildDERSmallInteger(DERBuilder* builder, unsigned char value)
{
    BuildDERInteger(builder, ByteBuffer{&value, 1});
}

void CloseDER(DERBuilder* builder, int tag, std::uint64_t mark)
{
    if (builder->status != kDERBuildOk) return;
    const std::uint64_t length = DERBuilderLength(builder) - mark;
    if (mark > DERBuilderLength(builder) || length > kDERMaxEncodedLength) {
        builder->status = kDERBuildTooLong;
        return;
    }
    BuildDER(builder, [&](DERCursor* cursor) { return PutDERHeader(cursor, tag, static_cast<std::size_t>(length)); });
    CheckTotal(builder);
}
