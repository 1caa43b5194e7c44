// Helpers the operations share: hexadecimal texts, the MD5 digest of a whole
// file, temporary file names, whole-file base64 conversion and decoding of
// base64 text held in memory.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/owner.h"  // TFile
#include "signer/files/file_block.h"

// Opens the file; throws EFileOpenError ("No se puede abrir el archivo ...")
// when it cannot, and, for reading, when it is no regular file.
TFile OpenFileOrThrow(const std::string& path, const char* mode);

// Flushes and closes a file that was written; false, with the last error set
// (ERROR_WRITE_FAULT when the C library left none), when buffered bytes did
// not reach it or the close failed. The owner is empty afterwards.
bool CloseWrittenFile(TFile& file);

// Conversion directions of ConvertFileBase64.
enum : int {
    kToBase64 = 1,    // binary to base64 text with CRLF line breaks
    kFromBase64 = 2,  // base64 text to binary (any value but 1)
};

// Every byte as "%02x " (lower case, each followed by a blank); "" for no bytes.
void BytesToHexSpaced(std::string& text, const unsigned char* bytes, std::size_t count);
// Every byte as "%02x", no separator.
void BytesToHex(std::string& text, const unsigned char* bytes, std::size_t count);

// MD5 of the whole file, from its start, as 16 spaced hex bytes without the
// trailing blank (47 characters). False, text unchanged, when a read fails.
bool FileDigestHex(std::FILE* file, std::string& text);

// True when a regular file exists at the path: no folder, device or pipe.
bool FileExists(const std::string& path);

// A new, empty file with a unique name in the system's temporary folder,
// prefix "tkw" (or the given one; null is taken as empty). Throws
// EFileOpenError when no file can be made. The caller deletes the file.
std::string MakeTempFileName();
std::string MakeTempFileNameWithPrefix(const char* prefix);

// Converts a whole file between binary and base64 text. False when the
// source cannot be read or the destination cannot be written in full.
bool ConvertFileBase64(const char* source, const char* destination, int direction);
// The same; a base64 destination gets lines of lineWidth 4-character groups.
bool ConvertFileBase64Width(const char* source, const char* destination, int direction, unsigned lineWidth);

// Decodes base64 text (line breaks and armour lines allowed) into out, which
// holds outSize bytes. Returns the bytes decoded, 0 on failure.
std::size_t Base64DecodeToBuffer(const char* text, std::size_t length, unsigned char* out, std::size_t outSize);
