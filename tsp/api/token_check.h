// The token's signature and signer, shared by the decode of a response and
// the reading of a stored token.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/der/bytes.h"
#include "core/text/text.h"
#include "tsp/protocol/tsp_codecs.h"

// A buffer of the library's heap, released on every path unless handed on.
struct OwnedItem {
    ByteBuffer item = {nullptr, 0};
    OwnedItem() = default;
    OwnedItem(const OwnedItem&) = delete;
    OwnedItem& operator=(const OwnedItem&) = delete;
    ~OwnedItem() { FreeItems(&item, 1); }
};

// Decoded TSTInfo fields, released on every path.
struct DecodedTSTInfo {
    TSTInfoFields fields = {};
    DecodedTSTInfo() = default;
    DecodedTSTInfo(const DecodedTSTInfo&) = delete;
    DecodedTSTInfo& operator=(const DecodedTSTInfo&) = delete;
    ~DecodedTSTInfo() { FreeTSTInfoFields(&fields); }
};

// 0 with the token's TSTInfo in eContent and the signer certificate in
// signer (a new buffer, FreeItems); else the error bit of the failure
// (signer then empty).
std::uint32_t VerifyTokenSignature(const unsigned char* token, std::size_t tokenLength,
                                   std::vector<unsigned char>& eContent, ByteBuffer* signer);
