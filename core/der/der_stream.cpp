#include "core/der/der_stream.h"

#include "core/der/der.h"
#include "core/io/stream.h"

namespace {

bool ReadOneByte(DataStream* stream, unsigned char* byte)
{
    std::size_t count = 0;
    return ReadStream(stream, byte, 1, &count) == kStreamSuccess && count == 1;
}

// Exactly wanted bytes, however the medium splits them.
bool ReadExactly(DataStream* stream, unsigned char* buffer, std::size_t wanted)
{
    std::size_t done = 0;
    while (done < wanted) {
        std::size_t count = 0;
        if (ReadStream(stream, buffer + done, wanted - done, &count) != kStreamSuccess || count == 0) return false;
        done += count;
    }
    return true;
}

}  // namespace

std::size_t ReadDERHeader(DataStream* stream, unsigned char* identifier, std::size_t* length)
{
    unsigned char id;
    if (!ReadOneByte(stream, &id)) return 0;
    if ((id & 0x1F) == 0x1F) return 0;

    unsigned char first;
    if (!ReadOneByte(stream, &first)) return 0;
    std::size_t value = 0;
    std::size_t lengthBytes =
        ReadDERLengthBytes(first, [stream](unsigned char* b) { return ReadOneByte(stream, b); }, &value);
    if (!lengthBytes) return 0;
    *identifier = id;
    *length = value;
    return 1 + lengthBytes;
}

std::size_t ReadDERTagLength(DataStream* stream, int* tag, std::size_t* length)
{
    unsigned char id;
    std::size_t header = ReadDERHeader(stream, &id, length);
    if (!header) return 0;
    int number = id & 0x1F;
    *tag = number == 0 ? id : number;
    return header;
}

std::size_t ReadDERValue(DERReadWork* work, DataStream* stream, int* tag, ByteBuffer* item)
{
    std::size_t length;
    std::size_t header = ReadDERTagLength(stream, tag, &length);
    if (!header) return 0;
    item->pointer = work->buffer;
    item->length = length;
    if (*tag == kTagSequence || *tag == kTagSet) return header;
    if (length > work->capacity) return 0;
    if (length != 0 && !ReadExactly(stream, work->buffer, length)) return 0;
    return header + length;
}
