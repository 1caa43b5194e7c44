// Messages of RFC 3161's TCP-based transport: a 4-byte big-endian length
// (the value's length + 1), a flag byte (the message type) and the value.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

enum : std::size_t {
    kTcpFrameHeader = 5,
    kTcpFrameMaxLength = 0xFFFF,  // longer announced lengths are refused
};

// A new buffer (FreeItems) with the framed value; false when the value is
// too long for a frame.
bool WriteTcpFrame(unsigned char flag, const unsigned char* value, std::size_t valueLength, ByteBuffer* frame);

// The value (a view into the frame) and its flag; false when the frame is
// short, refuses its length, or announces more than it holds.
bool ReadTcpFrame(const unsigned char* frame, std::size_t frameLength, unsigned char* flag, ByteBuffer* value);

// The fixed value F1 F2 F3 F4 in a new buffer (FreeItems); 0 when memory runs out.
int MakeFixedMarker(ByteBuffer* marker);
