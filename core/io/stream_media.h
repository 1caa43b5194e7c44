// The three media behind DataStream. Internal to the stream sources.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/io/stream.h"

namespace stream_media {

// Writes the pending base64 group when the stream was being written.
int FinishPendingGroup(DataStream* stream);

// Memory buffer (kind 1).
void ResetMemory(MemoryStreamState* memory);
void StartMemory(MemoryStreamState* memory, std::uint32_t openMode);
int ReadMemory(MemoryStreamState* memory, void* buffer, std::size_t wanted, std::size_t* count);
int WriteMemory(MemoryStreamState* memory, const void* data, std::size_t length, std::size_t* count);

// Block chain (kind 2).
void ResetChain(ChainStreamState* chain);
void StartChain(ChainStreamState* chain, std::uint32_t openMode);
int ReadChain(ChainStreamState* chain, void* buffer, std::size_t wanted, std::size_t* count);
int WriteChain(ChainStreamState* chain, const void* data, std::size_t length, std::size_t* count);
bool ChainHasData(const ChainStreamState* chain);

// Named file (kind 3).
int ResetFile(DataStream* stream);  // finishes and closes, forgets the name
// Closes an open file, first writing the pending base64 group when asked;
// status named.
int CloseFile(DataStream* stream, bool finishGroup = true);
int OpenFile(FileStreamState* file, std::uint32_t openMode);
int ReadFile(FileStreamState* file, void* buffer, std::size_t wanted, std::size_t* count);
int WriteFile(FileStreamState* file, const void* data, std::size_t length, std::size_t* count);

}  // namespace stream_media
