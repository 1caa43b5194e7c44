#include <cstdio>
#include <memory>
#include <string>

#include "core/cipher/rc4.h"
#include "core/toolkit/wipe.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileOwner = std::unique_ptr<std::FILE, FileCloser>;

// A name beside the output, with the suffix and a number, that no file holds yet.
bool FreeNameBeside(const char* outputFileName, const char* suffix, std::string* name)
{
    for (int n = 0; n < 100; ++n) {
        *name = std::string(outputFileName) + suffix + std::to_string(n);
        if (!FileOwner{std::fopen(name->c_str(), "rb")}) return true;
    }
    name->clear();
    return false;
}

// Opens for update, so not a folder, nor read-only, nor locked; closed again at once.
bool Writable(const char* fileName) { return FileOwner{std::fopen(fileName, "r+b")} != nullptr; }

// A file beside the output that does not exist yet: the output is written
// there and renamed into place only when complete, so an output that names
// the input (under any spelling) never truncates it, and a failure leaves
// what was there before.
struct PartFile {
    std::string name;
    std::FILE* file = nullptr;
    bool Create(const char* outputFileName)
    {
        if (FreeNameBeside(outputFileName, ".part", &name)) file = std::fopen(name.c_str(), "wb");
        if (!file) name.clear();
        return file != nullptr;
    }
    // Closes it; false when the last buffered pieces could not be written.
    // The flush is asked for on its own: not every C library's fclose
    // reports a failure of its final flush.
    bool Close()
    {
        const bool flushed = std::fflush(file) == 0;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return flushed && closed;
    }
    ~PartFile()
    {
        if (file) std::fclose(file);
        if (!name.empty()) std::remove(name.c_str());
    }
    // Where renaming replaces its target, one step. Where it does not (the
    // Windows C library), the earlier output steps aside and comes back when
    // the move fails: it is never removed before the new one has its name.
    bool MoveTo(const char* outputFileName)
    {
        if (std::rename(name.c_str(), outputFileName) == 0) return Moved();
        // Only a file we could write over steps aside: never a folder, nor a
        // read-only or locked output.
        if (!Writable(outputFileName)) return false;
        std::string aside;
        if (!FreeNameBeside(outputFileName, ".old", &aside) || std::rename(outputFileName, aside.c_str()) != 0)
            return false;
        if (std::rename(name.c_str(), outputFileName) != 0) {
            // Should even this fail, the earlier output stays under the other name.
            std::rename(aside.c_str(), outputFileName);
            return false;
        }
        std::remove(aside.c_str());
        return Moved();
    }
    bool Moved()
    {
        name.clear();
        return true;
    }
};

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
    PartFile output;
    if (!output.Create(outputFileName)) return kRc4FileCannotCreateOutput;
    result = CryptChunks(output.file, input.get(), chunk.bytes, context);
    // Buffered pieces reach the disk at close: a failed close is a failed write.
    if (!output.Close() && result == kRc4FileDone) result = kRc4FileWriteFailed;
    if (result != kRc4FileDone) return result;
    input.reset();
    return output.MoveTo(outputFileName) ? kRc4FileDone : kRc4FileCannotCreateOutput;
}
