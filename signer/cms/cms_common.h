// Helpers the streamed PKCS#7 encoder and decoder share.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <vector>

#include "signer/cms/cms_stream.h"
#include "signer/files/file_block.h"

namespace cmscommon {


// Sets the thread's last error; always false.
bool Fail(DWORD code);

// The bytes in reverse order: the platform keeps numbers little-endian,
// DER big-endian.
std::vector<unsigned char> Reversed(const unsigned char* bytes, std::size_t count);

void Wipe(std::vector<unsigned char>& bytes);

// Bytes of an RSA key on the provider: the key of a key pair, or a public key.
bool KeyBytes(HCRYPTKEY key, std::size_t* bytes);

// Hands the piece to the output; false with its last error, or
// ERROR_WRITE_FAULT when it left none.
bool CallOutput(const CmsOutput& output, const unsigned char* data, std::size_t length, bool final);
// CallOutput when the output has a function and there is something to say:
// bytes, or the end.
bool Emit(const CmsOutput& output, const unsigned char* data, std::size_t length, bool final);

}  // namespace cmscommon
