// Base64 on the standard alphabet ("A"-"Z", "a"-"z", "0"-"9", "+", "/", "="
// padding): the stream coder that lives inside every DataStream, and the
// one-shot coder for whole buffers.
#pragma once
#include <cstddef>
#include <cstdint>

struct DataStream;

// Toolkit status of the one-shot decoder (0 is success).
enum : int {
    kStatusEncoding = 1027,  // base64 text cannot be decoded
};

enum : std::size_t {
    kBase64SliceBytes = 90,   // input bytes encoded per slice
    kBase64PieceChars = 120,  // characters read from the medium per piece
    // One slice's text at the narrowest line width: 30 groups, each
    // followed by CRLF. Also holds one piece of text read for decoding.
    kBase64TextSize = 180,
    // Bytes one piece can decode to: up to 3 sextets held from the last
    // piece, then 120 characters whose "=" may close a short group.
    kBase64PieceBytes = 3 * ((3 + kBase64PieceChars + 3) / 4),
};

// Stream coder state, embedded in DataStream.
struct Base64Coder {
    unsigned char group[4];        // encoding: waiting input bytes; decoding: sextets
    unsigned char output[4];       // last encoded characters or decoded bytes
    std::uint32_t count;           // encoding: bytes waiting (0-2); decoding: sextets held (0-3)
    std::uint32_t groupsOnLine;    // groups written since the last line break
    std::uint32_t paddingPosition; // 4 until a "=" is read, then the sextets before it
    unsigned char armourState;     // 0 text, 1 opening dashes, 2 label, 3 closing dashes
    unsigned char lineBreaks;      // 1: CRLF after every lineWidth groups
    char text[kBase64TextSize];
    unsigned char bytes[kBase64PieceBytes];
    std::uint32_t handedOut;       // decoded bytes already delivered from bytes[]
    std::uint32_t available;       // decoded bytes in bytes[]
    std::uint32_t lineWidth;       // groups per line
};

// Clears the coder, padding position 4. With line breaks the width is the
// given one (0 = 16); without, the flag is 0 and the width 16.
void InitBase64Stream(Base64Coder* coder, int lineBreaks, std::uint32_t lineWidth);

// Encodes length bytes after those waiting in the coder; 1 or 2 bytes left
// over wait for the next call. Returns the characters written to text,
// which must hold 6 * ((length + 2) / 3) characters (4 per group plus a
// CRLF per group at width 1).
std::size_t EncodeBase64Chunk(Base64Coder* coder, const void* bytes, std::size_t length, char* text);

// Writes the 1 or 2 waiting bytes to the stream's medium as the padded last
// group (no line break after it). Returns 4 when it wrote that group, else
// 0. result (optional) gets the medium's code: 1000, or its failure.
int FlushBase64Stream(DataStream* stream, int* result = nullptr);

// Encodes the bytes in 90-byte slices and writes each slice's text raw to the
// stream's medium; stops at the first write that fails. Returns the number
// of characters the medium took; result (optional) gets 1000 or the code of
// the failing write.
std::size_t WriteBase64Stream(Base64Coder* coder, DataStream* stream, const void* bytes,
                              std::size_t length, int* result = nullptr);

// Decodes text after the sextets held in the coder, skipping line breaks,
// blanks, other characters and armour lines ("-----LABEL-----"). Nothing is
// decoded after a padded group. bytes must hold 3 * ((held + length + 3) / 4),
// held being the sextets left from the last call (at most 3).
std::size_t DecodeBase64Chunk(Base64Coder* coder, const void* text, std::size_t length,
                              unsigned char* bytes);

// Delivers up to wanted decoded bytes, reading the medium in 120-character
// pieces until the request is filled or the medium ends; decoded bytes that
// were not wanted wait for the next call. result (optional) gets 1000 at the
// end of the data or when filled, or the medium's code when a read fails.
std::size_t ReadBase64Stream(Base64Coder* coder, DataStream* stream, void* buffer,
                             std::size_t wanted, int* result = nullptr);

// Bytes of a group left incomplete at the end of the text, missing sextets
// taken as zero (at most 3 bytes).
std::size_t FinishBase64Decode(Base64Coder* coder, unsigned char* bytes);

// One-shot coder: no line breaks, no NUL. text holds 4 * ceil(length / 3)
// characters; textLength gets that number. Returns 0.
int EncodeBase64(char* text, std::size_t* textLength, const void* bytes, std::size_t length);

// One group of count (1-3) bytes as 4 characters, padded with "=".
void EncodeBase64Group(char* text, const unsigned char* bytes, int count);

// Exact base64 only: 0, or kStatusEncoding for a length that is not a
// multiple of 4, a character outside the alphabet, a misplaced "=" or
// padding before the last group (bytesLength then unchanged). bytes holds
// 3 bytes per 4 characters; bytesLength gets the decoded count.
int DecodeBase64(unsigned char* bytes, std::size_t* bytesLength, const void* text, std::size_t length);
