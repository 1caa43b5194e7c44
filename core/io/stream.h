// DataStream: the crypto core's sequential I/O object over a fixed memory
// buffer, a growing chain of memory blocks or a named file, moving raw bytes
// or base64 text (encoded on writing, decoded on reading).
//
// Usual order: OpenStream, one kind-specific setting, StartStream(write),
// WriteStream..., FlushStream, StartStream(read), ReadStream until the count
// is 0 or the result is not kStreamSuccess, FlushStream, CloseStream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/io/base64.h"

// Stream result codes.
enum : int {
    kStreamSuccess = 1000,
    kStreamBadKind = 1001,          // kind not 1-3 (open), above 3 (close, reset)
    kStreamNoMemory = 1002,
    kStreamWrongKind = 1003,        // setter for another kind; use of an unknown kind
    kStreamBadTransferMode = 1004,  // mode not 1-3, or a line width that cannot be set
    kStreamBadOpenMode = 1005,      // not 2000, 2001 or 2002
    kStreamOpenFailed = 1006,       // no state; the file cannot be opened, named or read
    kStreamNothingRead = 1007,      // no state, end of data, no buffer yet, file not open
    kStreamNoState = 1008,          // FlushStream without state
    kStreamWriteFailed = 1009,      // no state, file not open, short write, failed close
    kStreamBufferFull = 1010,       // memory buffer full: the write was cut at its capacity
};

// Stream kinds.
enum : unsigned char {
    kStreamClosed = 0,
    kStreamMemory = 1,
    kStreamChain = 2,
    kStreamFile = 3,
};

// Transfer modes.
enum : std::uint32_t {
    kTransferRaw = 1,
    kTransferBase64Lines = 2,  // CRLF after every lineWidth groups
    kTransferBase64 = 3,       // no line breaks
};

// Open modes.
enum : std::uint32_t {
    kOpenRead = 2000,
    kOpenWrite = 2001,
    kOpenAppend = 2002,
};

// File stream status.
enum : unsigned char {
    kFileNoName = 0,
    kFileNamed = 1,       // named, not open
    kFileOpen = 2,
    kFileOpenFailed = 3,  // the last attempt to open failed
};

enum : std::size_t {
    kStreamFileNameSize = 255,  // at most 254 characters and a NUL
    kStreamDefaultBlockSize = 1024,
    kStreamDefaultLineWidth = 16,  // groups of 4 characters: 64 a line
};

// Kind 1. The buffer is allocated once, at the first write, and never grows.
struct MemoryStreamState {
    std::size_t capacity;         // bytes allocated
    std::size_t length;           // bytes of data
    unsigned char* buffer;        // null until the first write
    std::size_t position;         // shared by reading and writing
    std::size_t firstAllocation;  // 0 means 1024
};

// One node of a block chain: four buffers, allocated as writing reaches them.
struct StreamChainNode {
    std::size_t allocated[4];
    std::size_t used[4];
    unsigned char* buffers[4];
    StreamChainNode* next;
};

// Kind 2.
struct ChainStreamState {
    std::size_t totalAllocated;
    std::size_t totalWritten;
    StreamChainNode* first;
    StreamChainNode* current;
    std::size_t index;      // buffer within the current node, 0-3; 4 past its last
    std::size_t offset;     // within the current buffer
    std::size_t blockSize;  // 0 means 1024
};

// Kind 3. While status is kFileOpen, handle is the open file.
struct FileStreamState {
    std::FILE* handle;
    char name[kStreamFileNameSize];
    unsigned char status;
};

// Owned by the caller, usually a local variable.
struct DataStream {
    unsigned char kind;           // kStreamClosed .. kStreamFile
    void* state;                  // the kind's state record, or null
    std::uint32_t transferMode;   // kTransferRaw .. kTransferBase64
    std::uint32_t openMode;       // last mode given to StartStream
    Base64Coder coder;
    std::uint32_t lineWidth;      // groups per line in kTransferBase64Lines
};

// Sets up a stream of the kind (1-3) in the transfer mode (1-3), line width
// 16. A record is opened once and closed before it is opened again.
int OpenStream(DataStream* stream, unsigned char kind, std::uint32_t transferMode);

// Resets the stream, frees its state, kind 0. Harmless on a closed record.
// Reports a failed final write or close, but releases everything anyway.
int CloseStream(DataStream* stream);

// Empties the stream without freeing its state: memory is wiped and freed;
// a file stream writes its pending base64 group, closes its file and forgets
// its name. Reports a failed write or close.
int ResetStream(DataStream* stream);

// Kind-specific settings: kStreamWrongKind for another kind; otherwise each
// resets the stream first.
int SetStreamFile(DataStream* stream, const char* name);  // over 254 characters: refused
int SetStreamBlockSize(DataStream* stream, std::size_t size);   // chain; 0 = 1024
int SetStreamBufferSize(DataStream* stream, std::size_t size);  // memory; 0 = 1024
// The memory stream takes a std::malloc block holding length bytes of data
// as its own (capacity = length); it wipes and frees it on reset or close.
int AttachStreamBuffer(DataStream* stream, unsigned char* buffer, std::size_t length);
// Forgets the memory stream's buffer without freeing it.
int DetachStreamBuffer(DataStream* stream);

// Settings for every kind, without reset.
int SetStreamTransferMode(DataStream* stream, std::uint32_t mode);
// Only in kTransferBase64Lines and for a non-zero width; takes effect at the
// next StartStream.
int SetStreamLineWidth(DataStream* stream, std::uint32_t groups);

// Starts reading (2000), writing (2001, which empties the medium) or
// appending (2002). A file stream opens its file, closing one still open.
int StartStream(DataStream* stream, std::uint32_t openMode);

// Reads up to wanted bytes (decoded in the base64 modes). Raw: a count of 0
// at the end gives kStreamNothingRead. Base64: kStreamSuccess even with a
// count of 0 at the end. A medium that fails to read gives its failure code.
int ReadStream(DataStream* stream, void* buffer, std::size_t wanted, std::size_t* count);
// The medium's bytes, never decoded.
int ReadStreamRaw(DataStream* stream, void* buffer, std::size_t wanted, std::size_t* count);

// Writes length bytes (encoded in the base64 modes, where count is the
// number of characters the medium took during this call). A medium that
// fails gives its failure code with the count it took.
int WriteStream(DataStream* stream, const void* data, std::size_t length, std::size_t* count);
// The bytes to the medium, never encoded.
int WriteStreamRaw(DataStream* stream, const void* data, std::size_t length, std::size_t* count);

// Ends a writing pass: in the base64 modes the pending group is written with
// its padding; a file stream closes its file (status named, not open).
// Memory and chain streams keep their contents.
int FlushStream(DataStream* stream);

// 1 when nothing more can be read, else 0.
int IsStreamAtEnd(const DataStream* stream);

// Bytes held by a block chain; 0 for another kind.
std::size_t GetStreamChainLength(const DataStream* stream);
