// What the signing and the verifying drivers share: failure texts from the
// last error, and files handed to the streamed message layer in blocks of
// kFileBlockSize.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "signer/files/file_block.h"



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
    std::vector<unsigned char> block(kFileBlockSize);
    std::uint64_t remaining = size;
    for (;;) {
        std::size_t n = std::fread(block.data(), 1, kFileBlockSize, file);
        if (n < kFileBlockSize && std::ferror(file)) {
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        remaining = n < remaining ? remaining - n : 0;
        bool last = n < kFileBlockSize || remaining == 0;
        if (!layer.Update(block.data(), n, last)) return false;
        if (last) return true;
    }
}
