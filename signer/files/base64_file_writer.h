// Base64 text written to a file as bytes come, in large pieces: the text a
// file DataStream in kTransferBase64Lines writes (CRLF after every lineWidth
// groups, the padded last group without one), without a write call for each
// line, the text going to disk on a thread of its own while the next is
// encoded. The file stays the caller's.
#pragma once
#include <cstddef>
#include <cstdio>
#include <vector>

#include "core/io/base64.h"
#include "signer/files/write_behind.h"

class TBase64FileWriter {
public:
    TBase64FileWriter(std::FILE* file, unsigned lineWidth);
    TBase64FileWriter(const TBase64FileWriter&) = delete;
    TBase64FileWriter& operator=(const TBase64FileWriter&) = delete;

    // False, with the last error set, when the file took less than it was given.
    bool Write(const unsigned char* data, std::size_t length);
    // Writes the padded last group and what waits, then flushes the file.
    bool Finish();

private:
    bool Drain();

    std::FILE* file_;
    Base64Coder coder_;
    // One filling while the other is written; declared before the writer,
    // which waits for its last write when it goes.
    std::vector<char> text_[2];
    int filling_ = 0;
    std::size_t held_ = 0;
    TWriteBehind writer_;
};

// Output of the message layer over a TBase64FileWriter given as argument;
// the final piece finishes the text.
bool Base64FileWriterOutput(void* argument, const unsigned char* data, std::size_t length, bool final);
