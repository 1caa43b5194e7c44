// Named file medium of DataStream, on the C standard library's files.
#include <cstdio>

#include "core/der/bytes.h"
#include "core/io/stream_media.h"

namespace stream_media {

int CloseFile(DataStream* stream, bool finishGroup)
{
    FileStreamState* file = static_cast<FileStreamState*>(stream->state);
    int code = kStreamSuccess;
    if (file->status == kFileOpen && file->handle) {
        if (finishGroup) code = FinishPendingGroup(stream);
        // Buffered bytes reach the file only here; a failure loses them. The
        // flush is asked for on its own: not every C library's fclose reports
        // a failure of its final flush.
        if (std::fflush(file->handle) != 0 && code == kStreamSuccess) code = kStreamWriteFailed;
        if (std::fclose(file->handle) != 0 && code == kStreamSuccess) code = kStreamWriteFailed;
    }
    file->handle = nullptr;
    if (file->status == kFileOpen || file->status == kFileOpenFailed) file->status = kFileNamed;
    return code;
}

int ResetFile(DataStream* stream)
{
    int code = CloseFile(stream);
    FileStreamState* file = static_cast<FileStreamState*>(stream->state);
    FillBytes(file->name, 0, sizeof file->name);
    file->status = kFileNoName;
    return code;
}

int OpenFile(FileStreamState* file, std::uint32_t openMode)
{
    const char* how = openMode == kOpenRead ? "rb" : openMode == kOpenWrite ? "wb" : "ab";
    file->handle = file->name[0] ? std::fopen(file->name, how) : nullptr;
    file->status = file->handle ? kFileOpen : kFileOpenFailed;
    return file->handle ? kStreamSuccess : kStreamOpenFailed;
}

int ReadFile(FileStreamState* file, void* buffer, std::size_t wanted, std::size_t* count)
{
    if (file->status != kFileOpen || !file->handle) return kStreamNothingRead;
    std::size_t n = std::fread(buffer, 1, wanted, file->handle);
    *count = n;
    // A failing read is not the end of the data.
    if (n < wanted && std::ferror(file->handle)) return kStreamOpenFailed;
    return n ? kStreamSuccess : kStreamNothingRead;
}

int WriteFile(FileStreamState* file, const void* data, std::size_t length, std::size_t* count)
{
    if (file->status != kFileOpen || !file->handle) return kStreamWriteFailed;
    std::size_t n = length ? std::fwrite(data, 1, length, file->handle) : 0;
    *count = n;
    return n == length ? kStreamSuccess : kStreamWriteFailed;
}

}  // namespace stream_media
