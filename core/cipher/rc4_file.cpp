#include <cstdio>
#include <memory>

#include "core/cipher/rc4.h"
#include "core/toolkit/wipe.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileOwner = std::unique_ptr<std::FILE, FileCloser>;

int SkipPrefix(std::FILE* input, unsigned char* chunk, std::size_t prefixLength)
{
    while (prefixLength > 0) {
        std::size_t want = prefixLength < kRc4FileChunk ? prefixLength : kRc4FileChunk;
        if (std::fread(chunk, 1, want, input) != want) return kRc4FileInputShorterThanPrefix;
        prefixLength -= want;
    }
    return kRc4FileDone;
}

int CryptChunks(std::FILE* output, std::FILE* input, unsigned char* chunk, Rc4Context* context)
{
    std::size_t count;
    do {
        count = std::fread(chunk, 1, kRc4FileChunk, input);
        if (count > 0) {
            CryptRc4(context, chunk, count);
            if (std::fwrite(chunk, 1, count, output) != count) return kRc4FileWriteFailed;
        }
    } while (count == kRc4FileChunk);
    // A short read ends the file only when it is the end; an error must not
    // pass for a complete output.
    return std::ferror(input) ? kRc4FileReadFailed : kRc4FileDone;
}

}  // namespace

int EncryptFileRc4(const char* outputFileName, const char* inputFileName, Rc4Context* context,
                   std::size_t prefixLength)
{
    // The chunk holds plaintext.
    WipedHeapBuffer chunk(kRc4FileChunk);
    if (!chunk.bytes) return kRc4FileNoMemory;
    FileOwner input(std::fopen(inputFileName, "rb"));
    if (!input) return kRc4FileCannotOpenInput;
    int result = SkipPrefix(input.get(), chunk.bytes, prefixLength);
    if (result != kRc4FileDone) return result;
    std::FILE* output = std::fopen(outputFileName, "wb");
    if (!output) return kRc4FileCannotCreateOutput;
    result = CryptChunks(output, input.get(), chunk.bytes, context);
    // Buffered pieces reach the disk at close: a failed close is a failed write.
    if (std::fclose(output) != 0 && result == kRc4FileDone) result = kRc4FileWriteFailed;
    return result;
}
