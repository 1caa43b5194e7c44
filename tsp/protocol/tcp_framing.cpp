#include "tsp/protocol/tcp_framing.h"

#include <cstdlib>

bool WriteTcpFrame(unsigned char flag, const unsigned char* value, std::size_t valueLength, ByteBuffer* frame)
{
    *frame = ByteBuffer{nullptr, 0};
    if (valueLength + 1 > kTcpFrameMaxLength || (valueLength != 0 && !value)) return false;
    const std::size_t length = valueLength + 1;
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(kTcpFrameHeader + valueLength));
    if (!bytes) return false;
    bytes[0] = 0;
    bytes[1] = 0;
    bytes[2] = static_cast<unsigned char>(length >> 8);
    bytes[3] = static_cast<unsigned char>(length);
    bytes[4] = flag;
    if (valueLength) CopyBytes(bytes + kTcpFrameHeader, value, valueLength);
    *frame = ByteBuffer{bytes, kTcpFrameHeader + valueLength};
    return true;
}

bool ReadTcpFrame(const unsigned char* frame, std::size_t frameLength, unsigned char* flag, ByteBuffer* value)
{
    *value = ByteBuffer{nullptr, 0};
    if (!frame || frameLength < kTcpFrameHeader || frame[0] != 0 || frame[1] != 0) return false;
    const std::size_t length = (static_cast<std::size_t>(frame[2]) << 8) | frame[3];
    if (length == 0 || length - 1 > frameLength - kTcpFrameHeader) return false;
    *flag = frame[4];
    *value = ByteBuffer{const_cast<unsigned char*>(frame) + kTcpFrameHeader, length - 1};
    return true;
}

int MakeFixedMarker(ByteBuffer* marker)
{
    static const unsigned char kMarker[] = {0xF1, 0xF2, 0xF3, 0xF4};
    unsigned char* bytes = CopyToCString(kMarker, sizeof kMarker);
    *marker = ByteBuffer{bytes, bytes ? sizeof kMarker : 0};
    return bytes ? 1 : 0;
}
