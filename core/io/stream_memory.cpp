// Memory buffer and block chain media of DataStream.
#include <cstdlib>
#include <new>

#include "core/der/bytes.h"
#include "core/io/stream_media.h"

namespace {

void FreeWiped(unsigned char* block, std::size_t size)
{
    if (!block) return;
    FillBytes(block, 0, size);
    std::free(block);
}

std::size_t Effective(std::size_t size) { return size ? size : kStreamDefaultBlockSize; }

}  // namespace

namespace stream_media {

void ResetMemory(MemoryStreamState* memory)
{
    FreeWiped(memory->buffer, memory->capacity);
    std::size_t first = memory->firstAllocation;
    *memory = MemoryStreamState();
    memory->firstAllocation = first;
}

void StartMemory(MemoryStreamState* memory, std::uint32_t openMode)
{
    if (openMode == kOpenAppend) return;
    memory->position = 0;
    if (openMode == kOpenWrite) memory->length = 0;
}

int ReadMemory(MemoryStreamState* memory, void* buffer, std::size_t wanted, std::size_t* count)
{
    if (!memory->buffer) return kStreamNothingRead;
    std::size_t left = memory->length > memory->position ? memory->length - memory->position : 0;
    std::size_t n = wanted < left ? wanted : left;
    if (n == 0) return kStreamNothingRead;
    CopyBytes(buffer, memory->buffer + memory->position, n);
    memory->position += n;
    *count = n;
    return kStreamSuccess;
}

int WriteMemory(MemoryStreamState* memory, const void* data, std::size_t length, std::size_t* count)
{
    if (length == 0) return kStreamSuccess;
    if (!memory->buffer) {
        std::size_t size = Effective(memory->firstAllocation);
        memory->buffer = static_cast<unsigned char*>(std::malloc(size));
        if (!memory->buffer) return kStreamNoMemory;
        memory->capacity = size;
        memory->length = memory->position = 0;
    }
    if (memory->position >= memory->capacity) return kStreamBufferFull;
    std::size_t room = memory->capacity - memory->position;
    std::size_t n = length < room ? length : room;
    CopyBytes(memory->buffer + memory->position, data, n);
    memory->position += n;
    // Writing inside the data (after a read) must not push the length past it.
    if (memory->length < memory->position) memory->length = memory->position;
    *count = n;
    return n < length ? kStreamBufferFull : kStreamSuccess;
}

void ResetChain(ChainStreamState* chain)
{
    StreamChainNode* node = chain->first;
    while (node) {
        for (int i = 0; i < 4; ++i) FreeWiped(node->buffers[i], node->allocated[i]);
        StreamChainNode* next = node->next;
        FillBytes(node, 0, sizeof *node);
        delete node;
        node = next;
    }
    std::size_t blockSize = chain->blockSize;
    *chain = ChainStreamState();
    chain->blockSize = blockSize;
}

void StartChain(ChainStreamState* chain, std::uint32_t openMode)
{
    if (openMode == kOpenAppend) return;
    chain->current = chain->first;
    chain->index = 0;
    chain->offset = 0;
    if (openMode == kOpenWrite) {
        for (StreamChainNode* node = chain->first; node; node = node->next)
            for (int i = 0; i < 4; ++i) node->used[i] = 0;
        chain->totalWritten = 0;
    }
}

namespace {

// Moves the position over buffers holding nothing beyond it, and over the
// end of each node; current becomes null at the end of the chain.
void SkipReadBuffers(ChainStreamState* chain)
{
    while (chain->current) {
        if (chain->index >= 4) {
            chain->current = chain->current->next;
            chain->index = 0;
            chain->offset = 0;
        } else if (chain->current->used[chain->index] <= chain->offset) {
            ++chain->index;
            chain->offset = 0;
        } else {
            return;
        }
    }
}

}  // namespace

int ReadChain(ChainStreamState* chain, void* buffer, std::size_t wanted, std::size_t* count)
{
    if (!chain->current) return kStreamNothingRead;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    std::size_t n = 0;
    while (n < wanted) {
        SkipReadBuffers(chain);
        if (!chain->current) break;
        StreamChainNode* node = chain->current;
        std::size_t left = node->used[chain->index] - chain->offset;
        std::size_t take = wanted - n < left ? wanted - n : left;
        CopyBytes(out + n, node->buffers[chain->index] + chain->offset, take);
        chain->offset += take;
        n += take;
        if (chain->offset >= node->used[chain->index]) {
            ++chain->index;
            chain->offset = 0;
        }
    }
    *count = n;
    return n ? kStreamSuccess : kStreamNothingRead;
}

bool ChainHasData(const ChainStreamState* chain)
{
    const StreamChainNode* node = chain->current;
    std::size_t index = chain->index, offset = chain->offset;
    for (; node; node = node->next, index = 0, offset = 0)
        for (; index < 4; ++index, offset = 0)
            if (node->used[index] > offset) return true;
    return false;
}

int WriteChain(ChainStreamState* chain, const void* data, std::size_t length, std::size_t* count)
{
    const unsigned char* in = static_cast<const unsigned char*>(data);
    std::size_t taken = 0;
    int code = kStreamSuccess;
    while (taken < length) {
        if (!chain->first || !chain->current || (chain->index >= 4 && !chain->current->next)) {
            StreamChainNode* node = new (std::nothrow) StreamChainNode();
            if (!node) {
                code = kStreamNoMemory;
                break;
            }
            if (!chain->first) {
                chain->first = node;
                if (chain->blockSize == 0) chain->blockSize = kStreamDefaultBlockSize;
            } else {
                StreamChainNode* last = chain->current ? chain->current : chain->first;
                while (last->next) last = last->next;
                last->next = node;
            }
            chain->current = node;
            chain->index = 0;
            chain->offset = 0;
        } else if (chain->index >= 4) {
            chain->current = chain->current->next;
            chain->index = 0;
            chain->offset = 0;
        }
        StreamChainNode* node = chain->current;
        std::size_t i = chain->index;
        if (!node->buffers[i]) {
            std::size_t size = Effective(chain->blockSize);
            node->buffers[i] = static_cast<unsigned char*>(std::malloc(size));
            if (!node->buffers[i]) {
                code = kStreamNoMemory;
                break;
            }
            node->allocated[i] = size;
            node->used[i] = 0;
            chain->offset = 0;
            chain->totalAllocated += size;
        }
        std::size_t room = node->allocated[i] > chain->offset ? node->allocated[i] - chain->offset : 0;
        std::size_t n = length - taken < room ? length - taken : room;
        CopyBytes(node->buffers[i] + chain->offset, in + taken, n);
        chain->offset += n;
        if (node->used[i] < chain->offset) node->used[i] = chain->offset;
        chain->totalWritten += n;
        taken += n;
        if (chain->offset >= node->allocated[i]) {
            ++chain->index;
            chain->offset = 0;
        }
    }
    *count = taken;
    return code;
}

}  // namespace stream_media
