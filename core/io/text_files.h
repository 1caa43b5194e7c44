// File and stream helpers: file length, skipping stream bytes, MD5 of a stream.
#pragma once
#include <cstddef>
#include <cstdio>

struct DataStream;

// Length of an open file, found by seeking to its end and back; -1 on failure.
long GetFileLength(std::FILE* file);

// Reads and drops n bytes of a file stream. 1 done (also for n = 0);
// 0 when a read fails or the stream ends first; -1 for another kind.
int SkipStreamBytes(DataStream* stream, std::size_t n);

// MD5 of the rest of a stream, read in 6144-byte pieces. 0 done; 1 the
// digest could not be started; -1 an update or a read failed, or the stream
// cannot be read (no medium, a file not open): no digest is written then.
int DigestStreamMd5(DataStream* stream, unsigned char digest[16]);
