// A platform certificate's subject or issuer as KEY=value lines, and bytes
// as upper-case hexadecimal.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <string>
#include <vector>

// Replaces lines with the name's parts as the platform writes them (X.500
// form), one "KEY=value" line each, quotes kept; for the subject a last line
// "NUMSERIE=" with the serial number: its characters when SerialIsPrintable
// holds, else upper-case hexadecimal. The context is not changed. True.
bool CertNameToValues(PCCERT_CONTEXT context, bool subject, std::vector<std::string>& lines);

// The value of the first line "KEY=value" whose key matches (case ignored);
// "" when there is none.
std::string ValueOfKey(const std::vector<std::string>& lines, const std::string& key);

// The serial the platform keeps least significant byte first, most
// significant first; and that as upper-case hexadecimal.
std::vector<unsigned char> SerialBigEndian(const CRYPT_INTEGER_BLOB& serial);
std::string SerialUpperHex(const CRYPT_INTEGER_BLOB& serial);

// 2 x count characters "0"-"9", "A"-"F" and a NUL into text, which holds
// 2 x count + 1 characters.
void BytesToUpperHex(std::size_t count, const unsigned char* bytes, char* text);
