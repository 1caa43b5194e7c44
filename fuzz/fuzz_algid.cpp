// AlgorithmIdentifier decoders: the buffer decoder and the stream reader must
// agree on every identifier the buffer decoder accepts, and an accepted code
// encodes to something that decodes to the same code.
#include <cstdint>
#include <cstdlib>

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/io/stream.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DERCursor cursor;
    InitDERReader(&cursor, data, size);
    int code = -7;
    size_t decoded = DecodeAlgorithmId(&cursor, &code);
    Check(decoded <= size);

    DataStream stream{};
    if (OpenStream(&stream, kStreamMemory, kTransferRaw) != kStreamSuccess) return 0;
    SetStreamBufferSize(&stream, size + 1);
    size_t count = 0;
    StartStream(&stream, kOpenWrite);
    if (size) WriteStream(&stream, data, size, &count);
    StartStream(&stream, kOpenRead);
    int streamCode = -7;
    size_t read = ReadAlgorithmId(&stream, &streamCode);
    CloseStream(&stream);

    if (!decoded) return 0;
    Check(code >= 0 && read == decoded && streamCode == code);

    unsigned char buffer[64];
    DERCursor writer;
    InitDERWriter(&writer, buffer, sizeof buffer);
    size_t written = EncodeAlgorithmId(&writer, code);
    Check(written != 0 && written == sizeof buffer - writer.position);
    DERCursor reader;
    InitDERReader(&reader, buffer + writer.position, written);
    int again = -7;
    Check(DecodeAlgorithmId(&reader, &again) == written && again == code);
    return 0;
}
