// Extension and attribute tables and single extension values: refused or
// well formed, nothing written outside the tables, nothing left allocated.
#include <cstdint>
#include <cstdlib>

#include "core/der/der.h"
#include "core/x509/extension.h"
#include "core/der/oid.h"
#include "core/text/text.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

void CheckSlots(const ByteBuffer* slots, std::size_t count, bool ok)
{
    for (std::size_t i = 0; i < count; ++i) {
        Check((slots[i].pointer == nullptr) == (slots[i].length == 0));
        if (slots[i].pointer) Check(ok && slots[i].pointer[slots[i].length] == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ExtensionTable table;
    DERCursor reader;
    InitDERReader(&reader, data, size);
    std::size_t n = DecodeExtensions(&reader, &table);
    Check(n <= size);
    CheckSlots(table.slots, kExtensionSlots, n != 0);
    Check(table.slots[24].pointer == nullptr);
    if (n) {
        // What was decoded encodes again.
        static unsigned char buffer[65536];
        DERCursor writer;
        InitDERWriter(&writer, buffer, sizeof buffer);
        EncodeExtensions(&writer, &table);
    }
    FreeItems(table.slots, kExtensionSlots);

    InitDERReader(&reader, data, size);
    n = DecodeAttributeSet(&reader, &table);
    Check(n <= size);
    CheckSlots(table.slots, kExtensionSlots, n != 0);
    FreeItems(table.slots, kExtensionSlots);

    // The input as the slot of every kind.
    ByteBuffer slot = {const_cast<unsigned char*>(data), size};
    for (int kind = -1; kind <= 25; ++kind) {
        ExtensionValues values;
        std::uint16_t flags = 0;
        std::uint32_t critical = 0;
        int status = DecodeExtensionValue(slot, kind, &flags, &values, &critical);
        Check(status == kExtensionValueDecoded || (status <= 0 && status >= -3));
        CheckSlots(values.slots, kExtensionValueSlots, status == kExtensionValueDecoded);
        if (kind == kExtBasicConstraints && status == kExtensionValueDecoded) Check(flags <= 1);
        if (kind == kExtExtKeyUsage && status == kExtensionValueDecoded) Check(flags <= 127);
        FreeItems(values.slots, kExtensionValueSlots);
    }
    return 0;
}
