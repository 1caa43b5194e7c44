// What the signing and the verifying drivers share: failure texts from the
// last error, and files handed to the streamed message layer in blocks of
// kFeedBlockSize, as they are stored or decoded from base64 text.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/io/base64.h"
#include "platform/last_error.h"
#include "signer/files/file_block.h"
#include "signer/files/file_utils.h"
#include "signer/files/temp_file.h"

// The message := the last error's text; false.
inline bool Fail(std::string& message)
{
    message = GetLastErrorText();
    return false;
}

inline bool Fail(std::string& message, DWORD code)
{
    SetLastError(code);
    return Fail(message);
}

// The file's size, the position left at its start.
inline bool FileSize(std::FILE* file, std::uint64_t& size)
{
    if (_fseeki64(file, 0, SEEK_END) != 0) return false;
    long long end = _ftelli64(file);
    if (end < 0 || _fseeki64(file, 0, SEEK_SET) != 0) return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

// Feeds the file from its start; the last block is the one shorter than a
// block or the one that ends the announced size. A failed read sets
// ERROR_READ_FAULT; a refused update leaves the layer's last error.
template <class Layer>
bool FeedFile(std::FILE* file, std::uint64_t size, Layer& layer)
{
    if (_fseeki64(file, 0, SEEK_SET) != 0) {
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    std::vector<unsigned char> block(kFeedBlockSize);
    std::uint64_t remaining = size;
    for (;;) {
        std::size_t n = std::fread(block.data(), 1, kFeedBlockSize, file);
        if (n < kFeedBlockSize && std::ferror(file)) {
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        remaining = n < remaining ? remaining - n : 0;
        bool last = n < kFeedBlockSize || remaining == 0;
        if (!layer.Update(block.data(), n, last)) return false;
        if (last) return true;
    }
}

// Feeds base64 text from the file's start, decoded as it is read, so no
// decoded copy is ever written. It decodes as ConvertFileBase64 does (line
// breaks, blanks, other characters and armour lines skipped, nothing after a
// padded group, an incomplete last group dropped), so text that is not
// base64 gives the same bytes either way. The last block is the one read at
// the end of the file. A failed read sets ERROR_READ_FAULT; a refused update
// leaves the layer's last error.
template <class Layer>
bool FeedBase64File(std::FILE* file, Layer& layer)
{
    if (_fseeki64(file, 0, SEEK_SET) != 0) {
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    const std::size_t textBlock = kFeedBlockSize;
    std::vector<char> text(textBlock);
    // Up to 3 sextets held from the block before, then the block's own.
    std::vector<unsigned char> block(3 * ((3 + textBlock + 3) / 4));
    Base64Coder coder;
    InitBase64Stream(&coder, 0, 0);
    for (;;) {
        std::size_t n = std::fread(text.data(), 1, textBlock, file);
        if (n < textBlock && std::ferror(file)) {
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        const bool last = n < textBlock;
        const std::size_t decoded = DecodeBase64Chunk(&coder, text.data(), n, block.data());
        if (!layer.Update(block.data(), decoded, last)) return false;
        if (last) return true;
    }
}

// The whole file as DER: its bytes, or its base64 text decoded.
template <class Layer>
bool FeedMessageFile(std::FILE* file, bool base64, Layer& layer)
{
    if (base64) return FeedBase64File(file, layer);
    std::uint64_t size = 0;
    if (!FileSize(file, size)) {
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    return FeedFile(file, size, layer);
}

// Collects what a feeder hands over, refusing more than limit bytes.
struct TBoundedBytes {
    std::vector<unsigned char>& bytes;
    std::size_t limit;
    bool Update(const unsigned char* data, std::size_t length, bool)
    {
        if (length > limit - bytes.size()) return false;
        bytes.insert(bytes.end(), data, data + length);
        return true;
    }
};

// A small message file (an OCSP response, a time-stamp token) read whole as
// DER: its bytes, or its base64 text decoded. False when a read fails or it
// holds more than limit bytes. Throws EFileOpenError when it cannot be opened.
inline bool ReadSmallMessageFile(const std::string& path, std::size_t limit, std::vector<unsigned char>& bytes)
{
    const bool base64 = IsBase64Input(path);
    TFile file = OpenFileOrThrow(path, "rb");
    TBoundedBytes collected{bytes, limit};
    return FeedMessageFile(file.Get(), base64, collected);
}
