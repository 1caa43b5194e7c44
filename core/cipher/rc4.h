// RC4 as a context record: key schedule, and in-place or copying
// encryption (encrypting and decrypting are the same operation). Contexts
// are owned by their callers, hold no pointers and are wiped by them; the
// indices carry over between calls, so a stream may be processed in pieces.
#pragma once
#include <cstddef>
#include <cstdint>

struct Rc4Context {
    std::uint32_t permutation[256];
    std::uint32_t i;
    std::uint32_t j;
};

enum Rc4KeyResult : int {
    kRc4KeyReady = 0,
    kRc4KeyEmpty = 1,  // no key bytes: the context is left as a null cipher
};

// Answers kRc4KeyEmpty for a key length of 0; the context then holds the
// identity permutation with a zero keystream, so a caller that ignores the
// answer still never reads outside the key.
int InitRc4(Rc4Context* context, const unsigned char* key, std::size_t keyLength);

// XORs the next length keystream bytes into the buffer; returns length.
std::size_t CryptRc4(Rc4Context* context, unsigned char* buffer, std::size_t length);
// Copies in to out, then as CryptRc4 on out; in and out may be the same.
std::size_t CryptRc4Copy(Rc4Context* context, unsigned char* out, const unsigned char* in, std::size_t length);

// Results of EncryptFileRc4.
enum Rc4FileResult : int {
    kRc4FileDone = 0,
    kRc4FileCannotOpenInput = 2000,
    kRc4FileCannotCreateOutput = 2001,
    kRc4FileInputShorterThanPrefix = 2002,
    kRc4FileWriteFailed = 2003,
    kRc4FileNoMemory = 2004,
    kRc4FileReadFailed = 2005,   // the input failed part-way: the output is incomplete
};

enum : std::size_t { kRc4FileChunk = 4000 };

// RC4-processes the input file, after skipping its first prefixLength bytes,
// into the output file (created or replaced), with the caller's context. The
// output is written beside it first and takes its name only when complete:
// on any failure an existing output file is left as it was, and the output
// may name the input itself.
int EncryptFileRc4(const char* outputFileName, const char* inputFileName, Rc4Context* context,
                   std::size_t prefixLength);
