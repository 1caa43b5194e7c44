// The token's signature and signer, shared by the decode of a response and
// the reading of a stored token.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/der/bytes.h"

// 0 with the token's TSTInfo in eContent and the signer certificate in
// signer (a new buffer, FreeItems); else the error bit of the failure
// (signer then empty).
std::uint32_t VerifyTokenSignature(const unsigned char* token, std::size_t tokenLength,
                                   std::vector<unsigned char>& eContent, ByteBuffer* signer);
