// DER buffer reader: walks any input element by element, entering
// constructed values, and checks that each value it hands out lies in the
// input and reads back the same after being written again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/der/der.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

bool Inside(const ByteBuffer& item, const uint8_t* data, size_t size)
{
    return item.length == 0 || (item.pointer >= data && item.length <= size && item.pointer <= data + size - item.length);
}

void RoundTrip(int tag, const ByteBuffer& item)
{
    std::vector<unsigned char> buffer(item.length + 16);
    DERCursor writer;
    InitDERWriter(&writer, buffer.data(), buffer.size());
    size_t written;
    if (tag == kTagInteger || tag == kTagBitString) {
        Check(item.length == 0 || PutDERBytes(&writer, item) == item.length);
        written = item.length + PutDERValue(&writer, tag, item);
    } else {
        written = PutDERValue(&writer, tag, item);
    }
    Check(written == buffer.size() - writer.position);
    DERCursor reader;
    InitDERReader(&reader, buffer.data() + writer.position, written);
    int again = -1;
    ByteBuffer value = {nullptr, 0};
    size_t read = GetDERValue(&reader, &again, &value);
    if (tag == kTagBitString) {
        Check(GetDERBytes(&reader, &value) == value.length);
        read += value.length;
    }
    Check(read == written && again == tag && value.length == item.length);
    Check(item.length == 0 || std::memcmp(value.pointer, item.pointer, item.length) == 0);
}

void Walk(DERCursor* cursor, const uint8_t* data, size_t size, int depth)
{
    while (cursor->position < cursor->size) {
        DERCursor saved;
        SaveDERCursor(cursor, &saved);
        int tag;
        size_t length;
        size_t header = GetDERTagLength(cursor, &tag, &length);
        if (!header) return;
        Check(length <= cursor->size - cursor->position);
        if (tag == kTagSequence || tag == kTagSet || tag >= kTagContextConstructed) {
            if (depth < 40) {
                DERCursor inner = {cursor->buffer, cursor->position + length, cursor->position};
                Walk(&inner, data, size, depth + 1);
            }
            cursor->position += length;
            continue;
        }
        RestoreDERCursor(cursor, &saved);
        ByteBuffer item = {nullptr, 0};
        size_t n = GetDERValue(cursor, &tag, &item);
        if (!n) return;
        Check(cursor->position <= cursor->size);
        if (tag == kTagBitString) {
            ByteBuffer bits = {nullptr, item.length};
            Check(item.length == 0 || GetDERBytes(cursor, &bits) == item.length);
            item = bits;
            Check(item.length == length - 1);
        }
        Check(Inside(item, data, size));
        RoundTrip(tag, item);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DERCursor cursor;
    InitDERReader(&cursor, data, size);
    Walk(&cursor, data, size, 0);

    // The input as INTEGER magnitude: written and read back as the same number.
    if (size > 0 && size < 4096) {
        std::vector<unsigned char> buffer(size + 8);
        DERCursor writer;
        InitDERWriter(&writer, buffer.data(), buffer.size());
        ByteBuffer magnitude = {const_cast<uint8_t*>(data), size};
        size_t content = 0;
        size_t n = PutDERInteger(&writer, magnitude, 0, &content);
        Check(n != 0 && n == buffer.size() - writer.position);
        DERCursor reader;
        InitDERReader(&reader, buffer.data() + writer.position, n);
        ByteBuffer value;
        Check(GetDERInteger(&reader, &value) == n && value.length == content);
        size_t skip = 0;
        while (skip + 1 < size && data[skip] == 0) ++skip;
        size_t sign = content - (size - skip);
        Check(sign <= 1 && (sign == 0 || value.pointer[0] == 0));
        Check(std::memcmp(value.pointer + sign, data + skip, size - skip) == 0);
    }
    return 0;
}
