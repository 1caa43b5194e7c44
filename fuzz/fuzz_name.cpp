// Name decoders: the buffer decoder and the stream reader refuse or hand out
// well-formed tables; a decoded table without zero bytes encodes and decodes
// back to the same table.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/der/der.h"
#include "core/x509/name.h"
#include "core/io/stream.h"
#include "core/text/text.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

void CheckTable(const NameTable& table, bool ok)
{
    for (std::size_t i = 0; i < kNameSlots; ++i) {
        const ByteBuffer& b = table.slots[i];
        Check((b.pointer == nullptr) == (b.length == 0));
        if (b.pointer) Check(ok && i < kNameAttributeKinds && b.pointer[b.length] == 0);
    }
}

bool HasZeroByte(const NameTable& table)
{
    for (const ByteBuffer& b : table.slots)
        if (b.pointer && std::memchr(b.pointer, 0, b.length)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NameTable name;
    DERCursor reader;
    InitDERReader(&reader, data, size);
    std::size_t decoded = DecodeName(&reader, &name);
    Check(decoded <= size);
    CheckTable(name, decoded != 0);

    if (decoded && !HasZeroByte(name)) {
        static unsigned char buffer[16384];
        DERCursor writer;
        InitDERWriter(&writer, buffer, sizeof buffer);
        std::size_t written = EncodeName(&writer, &name);
        if (written) {
            NameTable again;
            DERCursor back;
            InitDERReader(&back, buffer + writer.position, written);
            Check(DecodeName(&back, &again) == written);
            for (std::size_t i = 0; i < kNameSlots; ++i) {
                Check(again.slots[i].length == name.slots[i].length);
                Check(name.slots[i].length == 0 ||
                      std::memcmp(again.slots[i].pointer, name.slots[i].pointer, name.slots[i].length) == 0);
            }
            FreeItems(again.slots, kNameSlots);
        }
    }
    FreeItems(name.slots, kNameSlots);

    DataStream stream{};
    if (OpenStream(&stream, kStreamMemory, kTransferRaw) != kStreamSuccess) return 0;
    SetStreamBufferSize(&stream, size + 1);
    std::size_t count = 0;
    StartStream(&stream, kOpenWrite);
    if (size) WriteStream(&stream, data, size, &count);
    StartStream(&stream, kOpenRead);
    NameTable streamed;
    std::size_t read = ReadName(&stream, &streamed);
    CloseStream(&stream);
    Check(read <= size);
    CheckTable(streamed, read != 0);
    for (const ByteBuffer& b : streamed.slots) Check(b.length <= kReadNameValueSize);
    FreeItems(streamed.slots, kNameSlots);
    return 0;
}
