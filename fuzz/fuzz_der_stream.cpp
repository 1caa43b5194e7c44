// Stream DER reader: reads values one after another from a memory, chain or
// base64 stream holding the input, into a small work buffer.
#include <cstdint>
#include <cstdlib>

#include "core/der/der.h"
#include "core/der/der_stream.h"
#include "core/der/oid.h"
#include "core/io/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // First byte: medium and transfer mode.
    unsigned char select = data[0];
    ++data;
    --size;
    DataStream stream{};
    unsigned char kind = (select & 1) ? kStreamChain : kStreamMemory;
    std::uint32_t mode = (select & 2) ? kTransferBase64 : kTransferRaw;
    if (OpenStream(&stream, kind, mode) != kStreamSuccess) return 0;
    if (kind == kStreamChain) SetStreamBlockSize(&stream, 1 + (select >> 4));
    else SetStreamBufferSize(&stream, 2 * size + 16);
    size_t count = 0;
    StartStream(&stream, kOpenWrite);
    if (size) WriteStream(&stream, data, size, &count);
    FlushStream(&stream);
    StartStream(&stream, kOpenRead);

    unsigned char buffer[64];
    DERReadWork work = {buffer, sizeof buffer};
    if (select & 4) {
        int code = 0;
        ReadAlgorithmId(&stream, &code);
    }
    for (int i = 0; i < 10000; ++i) {
        int tag = -1;
        ByteBuffer item = {nullptr, 0};
        size_t n = ReadDERValue(&work, &stream, &tag, &item);
        if (!n) break;
        if (item.pointer != buffer) std::abort();
        if (tag != kTagSequence && tag != kTagSet && item.length > sizeof buffer) std::abort();
    }
    CloseStream(&stream);
    return 0;
}
