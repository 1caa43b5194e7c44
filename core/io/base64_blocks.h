// Base64 sixteen characters at a time on SSSE3, where the processor has it:
// the bulk of a text's groups, between its line breaks and armour. The
// portable group-by-group code does the rest, and everything elsewhere.
// Internal to base64.cpp and its tests.
#pragma once
#include <cstddef>

// Encodes whole groups, four at a time, while at least four more of the
// at most `groups` remain: 3 bytes each to 4 characters, as the portable
// encoder writes them. Reads up to 4 bytes beyond the groups' bytes but
// never beyond `available`. Returns the groups encoded (0 without SSSE3).
std::size_t EncodeBase64Blocks(const unsigned char* bytes, std::size_t available, std::size_t groups, char* text);

// Decodes runs of 16 alphabet characters to 12 bytes, stopping before the
// first 16 that hold anything else ("=", a line break, armour). Writes up
// to 4 bytes beyond those it returns, into room the caller has. Returns the
// characters taken, a multiple of 16 (0 without SSSE3).
std::size_t DecodeBase64Blocks(const unsigned char* text, std::size_t length, unsigned char* bytes);
