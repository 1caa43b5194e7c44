#include "core/io/stream.h"

#include <cstdlib>
#include <new>

#include "core/der/bytes.h"
#include "core/io/stream_media.h"

using namespace stream_media;

namespace {

bool IsBase64Mode(const DataStream* stream)
{
    return stream->transferMode == kTransferBase64Lines || stream->transferMode == kTransferBase64;
}

bool IsWriting(const DataStream* stream)
{
    return stream->openMode == kOpenWrite || stream->openMode == kOpenAppend;
}

void InitCoder(DataStream* stream)
{
    InitBase64Stream(&stream->coder, stream->transferMode == kTransferBase64Lines, stream->lineWidth);
}

}  // namespace

int stream_media::FinishPendingGroup(DataStream* stream)
{
    if (!IsBase64Mode(stream) || !IsWriting(stream)) return kStreamSuccess;
    int code = kStreamSuccess;
    FlushBase64Stream(stream, &code);
    return code;
}

int OpenStream(DataStream* stream, unsigned char kind, std::uint32_t transferMode)
{
    stream->kind = kind;
    stream->state = nullptr;
    stream->transferMode = 0;
    stream->openMode = 0;
    stream->lineWidth = kStreamDefaultLineWidth;
    InitBase64Stream(&stream->coder, 0, 0);
    if (transferMode < kTransferRaw || transferMode > kTransferBase64) return kStreamBadTransferMode;
    stream->transferMode = transferMode;
    InitCoder(stream);
    switch (kind) {
    case kStreamMemory: stream->state = new (std::nothrow) MemoryStreamState(); break;
    case kStreamChain: stream->state = new (std::nothrow) ChainStreamState(); break;
    case kStreamFile: stream->state = new (std::nothrow) FileStreamState(); break;
    default: return kStreamBadKind;
    }
    return stream->state ? kStreamSuccess : kStreamNoMemory;
}

int ResetStream(DataStream* stream)
{
    if (stream->kind > kStreamFile) return kStreamBadKind;
    if (stream->kind == kStreamClosed) {
        stream->state = nullptr;
        return kStreamSuccess;
    }
    if (!stream->state) return kStreamSuccess;
    int code = kStreamSuccess;
    switch (stream->kind) {
    case kStreamMemory: ResetMemory(static_cast<MemoryStreamState*>(stream->state)); break;
    case kStreamChain: ResetChain(static_cast<ChainStreamState*>(stream->state)); break;
    case kStreamFile: code = ResetFile(stream); break;
    }
    // Pending bytes belong to the contents just discarded.
    InitCoder(stream);
    return code;
}

int CloseStream(DataStream* stream)
{
    if (stream->kind > kStreamFile) return kStreamBadKind;
    int code = ResetStream(stream);
    if (stream->state) {
        switch (stream->kind) {
        case kStreamMemory: delete static_cast<MemoryStreamState*>(stream->state); break;
        case kStreamChain: delete static_cast<ChainStreamState*>(stream->state); break;
        case kStreamFile: delete static_cast<FileStreamState*>(stream->state); break;
        }
    }
    stream->state = nullptr;
    stream->kind = kStreamClosed;
    // The coder may hold decoded or encoded secrets.
    FillBytes(&stream->coder, 0, sizeof stream->coder);
    return code;
}

int SetStreamFile(DataStream* stream, const char* name)
{
    if (stream->kind != kStreamFile) return kStreamWrongKind;
    if (!stream->state) return kStreamOpenFailed;
    int code = ResetStream(stream);
    FileStreamState* file = static_cast<FileStreamState*>(stream->state);
    std::size_t n = 0;
    if (!name) return kStreamOpenFailed;
    while (n < kStreamFileNameSize && name[n]) ++n;
    if (n >= kStreamFileNameSize) return kStreamOpenFailed;  // no room: refused, not cut
    CopyBytes(file->name, name, n);
    file->name[n] = 0;
    file->status = kFileNamed;
    return code;
}

int SetStreamBlockSize(DataStream* stream, std::size_t size)
{
    if (stream->kind != kStreamChain) return kStreamWrongKind;
    if (!stream->state) return kStreamOpenFailed;
    int code = ResetStream(stream);
    static_cast<ChainStreamState*>(stream->state)->blockSize = size;
    return code;
}

int SetStreamBufferSize(DataStream* stream, std::size_t size)
{
    if (stream->kind != kStreamMemory) return kStreamWrongKind;
    if (!stream->state) return kStreamOpenFailed;
    int code = ResetStream(stream);
    static_cast<MemoryStreamState*>(stream->state)->firstAllocation = size;
    return code;
}

int AttachStreamBuffer(DataStream* stream, unsigned char* buffer, std::size_t length)
{
    if (stream->kind != kStreamMemory) return kStreamWrongKind;
    if (!stream->state) return kStreamOpenFailed;
    int code = ResetStream(stream);
    MemoryStreamState* memory = static_cast<MemoryStreamState*>(stream->state);
    memory->buffer = buffer;
    memory->capacity = memory->length = buffer ? length : 0;
    memory->firstAllocation = length;
    memory->position = 0;
    return code;
}

int DetachStreamBuffer(DataStream* stream)
{
    if (stream->kind != kStreamMemory) return kStreamWrongKind;
    if (!stream->state) return kStreamOpenFailed;
    *static_cast<MemoryStreamState*>(stream->state) = MemoryStreamState();
    return kStreamSuccess;
}

int SetStreamTransferMode(DataStream* stream, std::uint32_t mode)
{
    if (mode < kTransferRaw || mode > kTransferBase64) return kStreamBadTransferMode;
    stream->transferMode = mode;
    return kStreamSuccess;
}

int SetStreamLineWidth(DataStream* stream, std::uint32_t groups)
{
    if (stream->transferMode != kTransferBase64Lines || groups == 0) return kStreamBadTransferMode;
    stream->lineWidth = groups;
    return kStreamSuccess;
}

int StartStream(DataStream* stream, std::uint32_t openMode)
{
    if (openMode != kOpenRead && openMode != kOpenWrite && openMode != kOpenAppend) return kStreamBadOpenMode;
    bool continueText = openMode == kOpenAppend && IsWriting(stream);
    if (!stream->state) {
        stream->openMode = openMode;
        return kStreamOpenFailed;
    }
    if (stream->kind == kStreamFile) {
        // A file still open is closed first; appended text keeps its pending group.
        int code = CloseFile(stream, !continueText);
        if (code != kStreamSuccess) {
            stream->openMode = openMode;
            return code;
        }
    }
    stream->openMode = openMode;
    // Appending base64 text goes on where the last writing left the coder.
    if (!continueText) InitCoder(stream);
    switch (stream->kind) {
    case kStreamMemory: StartMemory(static_cast<MemoryStreamState*>(stream->state), openMode); return kStreamSuccess;
    case kStreamChain: StartChain(static_cast<ChainStreamState*>(stream->state), openMode); return kStreamSuccess;
    case kStreamFile: return OpenFile(static_cast<FileStreamState*>(stream->state), openMode);
    default: return kStreamWrongKind;
    }
}

int ReadStreamRaw(DataStream* stream, void* buffer, std::size_t wanted, std::size_t* count)
{
    std::size_t local;
    if (!count) count = &local;
    *count = 0;
    if (!stream->state) return kStreamNothingRead;
    if (stream->kind < kStreamMemory || stream->kind > kStreamFile) return kStreamWrongKind;
    if (wanted == 0) return kStreamSuccess;
    switch (stream->kind) {
    case kStreamMemory: return ReadMemory(static_cast<MemoryStreamState*>(stream->state), buffer, wanted, count);
    case kStreamChain: return ReadChain(static_cast<ChainStreamState*>(stream->state), buffer, wanted, count);
    case kStreamFile: return ReadFile(static_cast<FileStreamState*>(stream->state), buffer, wanted, count);
    default: return kStreamWrongKind;
    }
}

int ReadStream(DataStream* stream, void* buffer, std::size_t wanted, std::size_t* count)
{
    std::size_t local;
    if (!count) count = &local;
    *count = 0;
    if (!stream->state) return kStreamNothingRead;
    if (stream->kind < kStreamMemory || stream->kind > kStreamFile) return kStreamWrongKind;
    if (stream->transferMode == kTransferRaw) return ReadStreamRaw(stream, buffer, wanted, count);
    if (!IsBase64Mode(stream)) return kStreamBadTransferMode;
    int code = kStreamSuccess;
    *count = ReadBase64Stream(&stream->coder, stream, buffer, wanted, &code);
    return code;
}

int WriteStreamRaw(DataStream* stream, const void* data, std::size_t length, std::size_t* count)
{
    std::size_t local;
    if (!count) count = &local;
    *count = 0;
    if (!stream->state) return kStreamWriteFailed;
    switch (stream->kind) {
    case kStreamMemory: return WriteMemory(static_cast<MemoryStreamState*>(stream->state), data, length, count);
    case kStreamChain: return WriteChain(static_cast<ChainStreamState*>(stream->state), data, length, count);
    case kStreamFile: return WriteFile(static_cast<FileStreamState*>(stream->state), data, length, count);
    default: return kStreamWrongKind;
    }
}

int WriteStream(DataStream* stream, const void* data, std::size_t length, std::size_t* count)
{
    std::size_t local;
    if (!count) count = &local;
    *count = 0;
    if (!stream->state) return kStreamWriteFailed;
    if (stream->kind < kStreamMemory || stream->kind > kStreamFile) return kStreamWrongKind;
    if (stream->transferMode == kTransferRaw) return WriteStreamRaw(stream, data, length, count);
    if (!IsBase64Mode(stream)) return kStreamBadTransferMode;
    // Bytes must not vanish into the pending group of a file that is not open.
    if (stream->kind == kStreamFile && static_cast<FileStreamState*>(stream->state)->status != kFileOpen)
        return kStreamWriteFailed;
    int code = kStreamSuccess;
    *count = WriteBase64Stream(&stream->coder, stream, data, length, &code);
    return code;
}

int FlushStream(DataStream* stream)
{
    if (!stream->state) return kStreamNoState;
    if (stream->kind < kStreamMemory || stream->kind > kStreamFile) return kStreamWrongKind;
    if (stream->kind == kStreamFile) return CloseFile(stream);
    return FinishPendingGroup(stream);
}

int IsStreamAtEnd(const DataStream* stream)
{
    if (!stream->state || stream->openMode == kOpenWrite) return 1;
    int mediumEnd;
    switch (stream->kind) {
    case kStreamMemory: {
        const MemoryStreamState* memory = static_cast<const MemoryStreamState*>(stream->state);
        if (!memory->buffer) return 1;
        mediumEnd = memory->length <= memory->position;
        break;
    }
    case kStreamChain: mediumEnd = !ChainHasData(static_cast<const ChainStreamState*>(stream->state)); break;
    case kStreamFile: {
        const FileStreamState* file = static_cast<const FileStreamState*>(stream->state);
        if (file->status != kFileOpen || !file->handle) return 1;
        mediumEnd = std::feof(file->handle) != 0;
        break;
    }
    default: return 1;
    }
    if (!mediumEnd) return 0;
    // A partial group left at the end of the text can give nothing more.
    if (IsBase64Mode(stream) && stream->coder.handedOut < stream->coder.available) return 0;
    return 1;
}

std::size_t GetStreamChainLength(const DataStream* stream)
{
    if (stream->kind != kStreamChain || !stream->state) return 0;
    std::size_t total = 0;
    for (const StreamChainNode* node = static_cast<const ChainStreamState*>(stream->state)->first; node; node = node->next)
        for (int i = 0; i < 4; ++i) total += node->used[i];
    return total;
}
