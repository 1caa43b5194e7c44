// A whole file digested through the platform's hash, block by block, so
// files of any size are never held in memory.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

// The digest of the file with the CryptoAPI algorithm (CALG_SHA1 for time
// stamps), read from its start to its end. False with the reason in
// errorText (digest untouched). A file that cannot be opened throws
// EFileOpenError.
bool DigestBlockStreaming(std::string fileName, ALG_ID algorithm, std::vector<unsigned char>& digest,
                          std::string& errorText);
