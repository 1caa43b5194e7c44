#include "core/x509/crl_window.h"

#include <cstring>
#include <new>

#include "core/der/der.h"
#include "core/x509/crl_file.h"

namespace {

// The room the window keeps: the largest element and one block after it.
const std::size_t kWindowCapacity = kCRLMaxElementSize + 8 + kCRLWindowBlock;

// At least `wanted` unread bytes, reading blocks as needed; false when the
// stream ends first.
bool Need(CRLWindow* w, std::size_t wanted)
{
    while (w->end - w->start < wanted) {
        if (w->streamEnded) return false;
        if (w->start > 0 && w->buffer.size() - w->end < kCRLWindowBlock) {
            std::memmove(w->buffer.data(), w->buffer.data() + w->start, w->end - w->start);
            w->end -= w->start;
            w->start = 0;
        }
        std::size_t count = 0;
        int result = ReadStream(w->stream, w->buffer.data() + w->end, w->buffer.size() - w->end, &count);
        if (result != kStreamSuccess || count == 0) {
            w->streamEnded = true;
            return false;
        }
        w->end += count;
    }
    return true;
}

void Digest(CRLWindow* w, const unsigned char* data, std::size_t length)
{
    if (w->digestFailed) return;
    if (!w->digestStarted) {
        w->pending.insert(w->pending.end(), data, data + length);
        return;
    }
    if (UpdateDigest(&w->digest, data, length) != 0) w->digestFailed = true;
}

// The next count bytes (all buffered) are taken.
void Consume(CRLWindow* w, std::size_t count)
{
    const unsigned char* data = w->buffer.data() + w->start;
    if (w->signedTo > w->offset) {
        std::uint64_t signedLeft = w->signedTo - w->offset;
        Digest(w, data, signedLeft < count ? static_cast<std::size_t>(signedLeft) : count);
    }
    if (w->copying && !w->copyFailed) {
        std::size_t written = 0;
        if (WriteStream(w->copy, data, count, &written) != kStreamSuccess || written != count) w->copyFailed = true;
    }
    w->start += count;
    w->offset += count;
}

}  // namespace

bool InitCRLWindow(CRLWindow* window, DataStream* stream)
{
    try {
        window->buffer.assign(kWindowCapacity, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    window->stream = stream;
    RestartCRLWindow(window);
    return true;
}

void RestartCRLWindow(CRLWindow* window)
{
    window->start = window->end = 0;
    window->offset = 0;
    window->streamEnded = false;
    window->signedTo = 0;
    window->digestStarted = window->digestFailed = false;
    window->pending.clear();
    window->copying = window->copyFailed = false;
}

bool CRLWindowAtEnd(CRLWindow* window) { return !Need(window, 1); }

int PeekCRLHeader(CRLWindow* window, CRLHeader* header)
{
    if (!Need(window, 2)) return kCRLHeaderFailed;
    const unsigned char* bytes = window->buffer.data() + window->start;
    if ((bytes[0] & 0x1F) == 0x1F) return kCRLStructure;
    if (bytes[1] & 0x80) {
        const std::size_t k = bytes[1] & 0x7F;
        if (k == 0 || k > kDERMaxLengthBytes) return kCRLStructure;
        if (!Need(window, 2 + k)) return kCRLHeaderFailed;
        bytes = window->buffer.data() + window->start;
    }
    std::size_t next = 2;
    auto nextByte = [&](unsigned char* b) {
        *b = bytes[next++];
        return true;
    };
    std::size_t lengthBytes = ReadDERLengthBytes(bytes[1], nextByte, &header->length);
    if (lengthBytes == 0) return kCRLStructure;
    header->identifier = bytes[0];
    header->headerSize = 1 + lengthBytes;
    return kCRLSuccess;
}

int TakeCRLElement(CRLWindow* window, const CRLHeader& header, std::size_t maxSize, ByteBuffer* whole)
{
    if (header.length > maxSize || header.headerSize + header.length > maxSize) return kCRLArgument;
    const std::size_t size = header.headerSize + header.length;
    if (!Need(window, size)) return kCRLHeaderFailed;
    whole->pointer = window->buffer.data() + window->start;
    whole->length = size;
    Consume(window, size);
    return kCRLSuccess;
}

void TakeCRLHeader(CRLWindow* window, const CRLHeader& header) { Consume(window, header.headerSize); }

int PassCRLBytes(CRLWindow* window, std::uint64_t count)
{
    while (count > 0) {
        if (!Need(window, 1)) return kCRLHeaderFailed;
        std::size_t buffered = window->end - window->start;
        std::size_t piece = count < buffered ? static_cast<std::size_t>(count) : buffered;
        Consume(window, piece);
        count -= piece;
    }
    return kCRLSuccess;
}

void BeginCRLSignedRegion(CRLWindow* window, std::uint64_t to)
{
    window->signedTo = to;
    window->digestStarted = window->digestFailed = false;
    window->pending.clear();
}

void StartCRLDigest(CRLWindow* window, std::uint32_t digestType)
{
    if (digestType == 0 || InitDigest(&window->digest, digestType) != 0) {
        window->digestFailed = true;
    } else {
        window->digestStarted = true;
        if (UpdateDigest(&window->digest, window->pending.data(), window->pending.size()) != 0)
            window->digestFailed = true;
    }
    FillBytes(window->pending.data(), 0, window->pending.size());
    window->pending.clear();
}

bool FinishCRLDigest(CRLWindow* window, unsigned char* digest, std::size_t* digestLength)
{
    if (!window->digestStarted || window->digestFailed || window->offset < window->signedTo) return false;
    return FinalDigest(&window->digest, digest, digestLength) == 0;
}
