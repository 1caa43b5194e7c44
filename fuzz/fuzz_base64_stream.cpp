// Stream base64 decoder: the bytes a memory stream delivers, read in pieces
// of any size, and the text decoded a character at a time, equal the text
// decoded in one chunk; and bytes written
// through the encoder at any line width read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/io/base64.h"
#include "core/io/stream.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

void DecodeThroughStream(const std::uint8_t* text, std::size_t size, std::size_t piece)
{
    Base64Coder whole;
    InitBase64Stream(&whole, 0, 0);
    std::vector<unsigned char> expected(3 * ((size + 3) / 4));
    expected.resize(DecodeBase64Chunk(&whole, text, size, expected.data()));

    // One character at a time, the decoder never takes whole groups at once.
    Base64Coder single;
    InitBase64Stream(&single, 0, 0);
    std::vector<unsigned char> one;
    for (std::size_t i = 0; i < size; ++i) {
        unsigned char b[3];
        std::size_t n = DecodeBase64Chunk(&single, text + i, 1, b);
        one.insert(one.end(), b, b + n);
    }
    Check(one == expected && single.count == whole.count && single.armourState == whole.armourState &&
          single.paddingPosition == whole.paddingPosition);

    DataStream s;
    Check(OpenStream(&s, kStreamChain, kTransferBase64Lines) == kStreamSuccess);
    Check(SetStreamBlockSize(&s, 1 + size % 50) == kStreamSuccess);
    Check(StartStream(&s, kOpenWrite) == kStreamSuccess);
    std::size_t count = 0;
    Check(WriteStreamRaw(&s, text, size, &count) == kStreamSuccess);
    Check(StartStream(&s, kOpenRead) == kStreamSuccess);
    std::vector<unsigned char> got, block(piece);
    for (;;) {
        Check(ReadStream(&s, block.data(), piece, &count) == kStreamSuccess);
        Check(count <= piece);
        if (count == 0) break;
        got.insert(got.end(), block.begin(), block.begin() + count);
    }
    Check(got == expected);
    Check(IsStreamAtEnd(&s) == 1);
    CloseStream(&s);
}

void EncodeThroughStream(const std::uint8_t* data, std::size_t size, std::uint32_t width, std::size_t piece)
{
    DataStream s;
    Check(OpenStream(&s, kStreamMemory, width ? kTransferBase64Lines : kTransferBase64) == kStreamSuccess);
    Check(SetStreamBufferSize(&s, 4 * size + 16) == kStreamSuccess);
    if (width) Check(SetStreamLineWidth(&s, width) == kStreamSuccess);
    Check(StartStream(&s, kOpenWrite) == kStreamSuccess);
    std::size_t count = 0;
    for (std::size_t at = 0; at < size; at += piece) {
        std::size_t n = size - at < piece ? size - at : piece;
        Check(WriteStream(&s, data + at, n, &count) == kStreamSuccess);
    }
    Check(FlushStream(&s) == kStreamSuccess);
    Check(StartStream(&s, kOpenRead) == kStreamSuccess);
    std::vector<unsigned char> back(size + 1);
    std::size_t total = 0;
    do {
        Check(ReadStream(&s, back.data() + total, back.size() - total, &count) == kStreamSuccess);
        total += count;
    } while (count && total < back.size());
    Check(total == size && std::memcmp(back.data(), data, size) == 0);
    CloseStream(&s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1 << 16) return 0;
    std::size_t piece = size ? 1 + data[0] % 130 : 1;
    DecodeThroughStream(data, size, piece);
    std::uint32_t width = size ? data[size - 1] % 20 : 0;
    EncodeThroughStream(data, size, width, piece);
    return 0;
}
