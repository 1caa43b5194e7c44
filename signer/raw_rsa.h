// Raw RSA signatures: a file holding nothing but the PKCS#1 v1.5 signature
// value over the SHA-1 digest of a data file, most significant byte first.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdio>

#include "core/der/bytes.h"  // ReverseBytes for the signature's byte order

// Largest signature file the verifier reads (keys far beyond 2048 bits).
enum : long { kMaxRawSignatureFile = 4096 };

// Hashes the whole input (from its start) with SHA-1 on the provider, signs
// the digest with the key, writes the big-endian signature to the output
// from position 0. False on any failure; the streams stay the caller's.
bool SignDigestRaw(std::FILE* input, std::FILE* output, HCRYPTPROV provider, DWORD keySpec);

// True when the signature file holds a valid signature over the data file
// by the certificate's key, in either byte order. Throws EFileOpenError when
// a file cannot be opened.
bool VerifyDigestRaw(const char* dataFile, const char* signatureFile, const unsigned char* certificate,
                     DWORD certificateLength);
