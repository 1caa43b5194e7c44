// DER headers and values read from a DataStream one byte or one value at a
// time, for data that arrives piece by piece (files, streamed CRLs, PKCS#7).
// Results are byte counts, 0 on failure; bytes taken before a failure stay
// taken.
//
// Tag numbers differ from the buffer reader's: the identifier's low 5 bits,
// or the whole byte when those are 0, so only [0] keeps its class
// (0xA0 -> 160, 0x80 -> 128, 0xA3 -> 3, 0x30 -> 16).
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

struct DataStream;

// Caller-owned buffer that ReadDERValue reads a value's content into.
struct DERReadWork {
    unsigned char* buffer;
    std::size_t capacity;
};

// Identifier and definite length (short form, or 1 to 4 length bytes), one
// byte per read. Refused: the high-tag-number form, the indefinite form
// 0x80, more than four length bytes. Result: header size.
std::size_t ReadDERTagLength(DataStream* stream, int* tag, std::size_t* length);
// The same header with the identifier byte as it stands, for readers that
// must tell the class and form apart ([1] from BOOLEAN, a constructed
// OCTET STRING from a primitive one).
std::size_t ReadDERHeader(DataStream* stream, unsigned char* identifier, std::size_t* length);

// Header, then for tags other than 16 and 17 the content into the work
// buffer (refused when longer than its capacity). item points into the
// work buffer with the value's length. Result: header + length, or the
// header alone for 16 and 17, whose content stays in the stream.
std::size_t ReadDERValue(DERReadWork* work, DataStream* stream, int* tag, ByteBuffer* item);
