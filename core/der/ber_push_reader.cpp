#include "core/der/ber_push_reader.h"

namespace {

const std::uint64_t kNoEnd = UINT64_MAX;

BerStatus Descend(BerPushReader* reader, int label, int route, bool indefinite, std::uint64_t length, bool skipping)
{
    if (reader->stack.size() >= kBerMaxDepth) return BerStatus::TooLarge;
    const std::uint64_t end = reader->offset + length;
    const std::uint64_t limit = indefinite ? reader->stack.back().limit : end;
    reader->stack.push_back(BerFrame{label, 0, route, 0, indefinite, skipping, end, limit});
    return BerStatus::Ok;
}

BerStatus Close(BerPushReader* reader, BerPushHandler* handler)
{
    const BerFrame frame = reader->stack.back();
    reader->stack.pop_back();
    if (frame.skipping) return BerStatus::Ok;
    return handler->OnClose(frame) ? BerStatus::Ok : BerStatus::Handler;
}

// Closes the definite elements that end at the offset.
BerStatus CloseEnded(BerPushReader* reader, BerPushHandler* handler)
{
    while (reader->mode == BerPushReader::Mode::Header && reader->headerLength == 0 && reader->stack.size() > 1) {
        const BerFrame& top = reader->stack.back();
        if (top.indefinite || reader->offset != top.end) return BerStatus::Ok;
        const BerStatus status = Close(reader, handler);
        if (status != BerStatus::Ok) return status;
    }
    return BerStatus::Ok;
}

BerStatus OnHeader(BerPushReader* reader, BerPushHandler* handler, const BerHeader& header)
{
    BerFrame& parent = reader->stack.back();
    ++parent.children;
    if (parent.skipping) {
        if (header.indefinite) return Descend(reader, 0, 0, true, 0, true);
        reader->remaining = header.length;
        if (header.length) reader->mode = BerPushReader::Mode::Skip;
        return BerStatus::Ok;
    }
    BerDecision decision{BerDecision::Skip, 0, 0};
    if (!handler->OnHeader(parent, header, &decision)) return BerStatus::Handler;
    switch (decision.kind) {
    case BerDecision::Descend:
        return Descend(reader, decision.label, decision.route, header.indefinite, header.length, false);
    case BerDecision::Take:
        if (header.indefinite) return BerStatus::Corrupt;
        reader->remaining = header.length;
        if (header.length) {
            reader->mode = BerPushReader::Mode::Take;
            return BerStatus::Ok;
        }
        return handler->OnTaken() ? BerStatus::Ok : BerStatus::Handler;
    case BerDecision::Skip:
        if (header.indefinite) return Descend(reader, 0, 0, true, 0, true);
        reader->remaining = header.length;
        if (header.length) reader->mode = BerPushReader::Mode::Skip;
        return BerStatus::Ok;
    }
    return BerStatus::Handler;
}

// A header byte was added; acts once the header is whole.
BerStatus HeaderByte(BerPushReader* reader, BerPushHandler* handler)
{
    const unsigned char id = reader->header[0];
    // High tag numbers are beyond what the reader holds.
    if ((id & 0x1F) == 0x1F) return BerStatus::BadTag;
    if (reader->headerLength < 2) return BerStatus::Ok;
    const unsigned char first = reader->header[1];
    if (id == 0) {  // end of contents
        reader->headerLength = 0;
        if (first != 0 || !reader->stack.back().indefinite) return BerStatus::Corrupt;
        return Close(reader, handler);
    }
    const bool indefinite = first == 0x80;
    std::size_t length = 0;
    if (indefinite) {
        if (!(id & 0x20)) return BerStatus::Corrupt;
    } else if (first & 0x80) {
        const std::size_t count = first & 0x7F;
        if (count > kDERMaxLengthBytes) return BerStatus::TooLarge;
        if (reader->headerLength < 2 + count) return BerStatus::Ok;
        std::size_t next = 2;
        ReadDERLengthBytes(
            first,
            [reader, &next](unsigned char* b) {
                *b = reader->header[next++];
                return true;
            },
            &length);
    } else {
        length = first;
    }
    const BerHeader header{id, indefinite, length, reader->header, reader->headerLength};
    reader->headerLength = 0;
    if (!indefinite && length > reader->stack.back().limit - reader->offset) return BerStatus::Corrupt;
    return OnHeader(reader, handler, header);
}

}  // namespace

void InitBerPushReader(BerPushReader* reader)
{
    reader->stack.clear();
    // Reserved whole: the handler holds the parent frame while one is pushed.
    reader->stack.reserve(kBerMaxDepth);
    reader->stack.push_back(BerFrame{0, 0, 0, 0, false, false, kNoEnd, kNoEnd});
    reader->mode = BerPushReader::Mode::Header;
    reader->headerLength = 0;
    reader->offset = 0;
    reader->remaining = 0;
}

bool BerComplete(const BerPushReader& reader)
{
    return reader.stack.size() == 1 && reader.stack[0].children == 1 && reader.mode == BerPushReader::Mode::Header &&
           reader.headerLength == 0;
}

BerStatus PushBer(BerPushReader* reader, BerPushHandler* handler, const unsigned char* data, std::size_t length)
{
    std::size_t at = 0;
    for (;;) {
        BerStatus status = CloseEnded(reader, handler);
        if (status != BerStatus::Ok) return status;
        if (at == length) return BerStatus::Ok;
        if (reader->mode == BerPushReader::Mode::Header) {
            if (BerComplete(*reader)) return BerStatus::Trailing;
            if (reader->offset >= reader->stack.back().limit) return BerStatus::Corrupt;
            reader->header[reader->headerLength++] = data[at++];
            ++reader->offset;
            status = HeaderByte(reader, handler);
            if (status != BerStatus::Ok) return status;
            continue;
        }
        std::size_t n = length - at;
        if (reader->remaining < n) n = static_cast<std::size_t>(reader->remaining);
        const unsigned char* piece = data + at;
        at += n;
        reader->offset += n;
        reader->remaining -= n;
        const bool taking = reader->mode == BerPushReader::Mode::Take;
        if (!reader->remaining) reader->mode = BerPushReader::Mode::Header;
        if (taking && !handler->OnContent(piece, n)) return BerStatus::Handler;
        if (taking && !reader->remaining && !handler->OnTaken()) return BerStatus::Handler;
    }
}
