// Base64 for certificate-style text: the decoder takes text broken into
// lines and framed by "-----LABEL-----" armour lines; the encoder breaks its
// output into lines of a chosen width.
#pragma once
#include <cstddef>

// Line modes of the encoder.
enum : int {
    kBase64NoBreaks = 0,
    kBase64Crlf = 1,
    kBase64Lf = 2,
};

// One group of count (1-3) bytes as 4 characters, padded with "=".
void EncodeBase64Block(const unsigned char* bytes, int count, char text[4]);

// 4 characters as up to 3 bytes; count gets 3, less one for each "=" in the
// third and fourth positions.
void DecodeBase64Block(const char text[4], unsigned char bytes[3], int* count);

// Characters EncodeBase64Lines needs: 1, or 0 with length 0 when the width
// is not a multiple of 4 or a line mode comes with width 0.
int Base64EncodedLength(std::size_t count, int lineMode, std::size_t lineWidth, std::size_t* length);

// Encodes count bytes into text, which holds textSize characters (at least
// what Base64EncodedLength gives; no NUL is written). With a line mode a
// break follows every lineWidth characters of full groups and ends the text.
// Returns the characters written; 0 for the argument errors above, a text
// too small, or no input.
std::size_t EncodeBase64Lines(const unsigned char* bytes, std::size_t count, char* text,
                              std::size_t textSize, int lineMode, std::size_t lineWidth);

// Bytes the text decodes to: 1, or 0 with count 0 when the text is not
// base64 (a group left incomplete, "=" other than as final padding).
// Line breaks, blanks and armour lines are skipped.
int Base64DecodedLength(const char* text, std::size_t length, std::size_t* count);

// Decodes the text into bytes, which holds bytesSize bytes: 1, or 0 for
// text that Base64DecodedLength refuses or that does not fit.
int DecodeBase64Lines(const char* text, std::size_t length, unsigned char* bytes, std::size_t bytesSize);
