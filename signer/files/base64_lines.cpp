#include "signer/files/base64_lines.h"

#include <cstring>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

enum : unsigned char {
    kInvalid = 0xFF,
    kPad = 0xFE,
};

struct ReverseTable {
    unsigned char value[256];
    ReverseTable()
    {
        std::memset(value, kInvalid, sizeof value);
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
        value[static_cast<unsigned char>('=')] = kPad;
    }
};

const ReverseTable& Reverse()
{
    static const ReverseTable table;
    return table;
}

unsigned char ValueOf(char c)
{
    unsigned char v = Reverse().value[static_cast<unsigned char>(c)];
    return v < 64 ? v : 0;
}

std::size_t BreakLength(int lineMode)
{
    return lineMode == kBase64Crlf ? 2 : lineMode == kBase64Lf ? 1 : 0;
}

bool ValidArguments(int lineMode, std::size_t lineWidth)
{
    if (lineMode != kBase64NoBreaks && lineMode != kBase64Crlf && lineMode != kBase64Lf) return false;
    if (lineWidth % 4 != 0) return false;
    return lineMode == kBase64NoBreaks || lineWidth != 0;
}

// One pass over the text. With out set, every complete group is decoded into
// it (never beyond outSize). "=" is accepted only as the padding of the last
// group: in the fourth position, or the third and fourth; nothing but
// skipped bytes may follow it.
bool WalkText(const char* text, std::size_t length, unsigned char* out, std::size_t outSize, std::size_t* decoded)
{
    const ReverseTable& table = Reverse();
    char group[4];
    std::size_t held = 0;
    std::size_t total = 0;
    bool padded = false;  // a group with "=" has been completed
    std::size_t i = 0;
    while (i < length) {
        char c = text[i];
        if (c == '-') {
            // Armour line: a run of "-", its label, and the closing run.
            while (i < length && text[i] == '-') ++i;
            while (i < length && text[i] != '-') ++i;
            while (i < length && text[i] == '-') ++i;
            continue;
        }
        ++i;
        unsigned char v = table.value[static_cast<unsigned char>(c)];
        if (v == kInvalid) continue;
        if (padded) return false;
        if (v == kPad) {
            if (held < 2) return false;
        } else if (held == 3 && group[2] == '=') {
            return false;  // "x=" then an alphabet character
        }
        group[held++] = c;
        if (held < 4) continue;
        held = 0;
        int count = 0;
        unsigned char bytes[3];
        DecodeBase64Block(group, bytes, &count);
        if (count < 3) padded = true;
        if (out) {
            if (outSize - total < static_cast<std::size_t>(count)) return false;
            std::memcpy(out + total, bytes, static_cast<std::size_t>(count));
        }
        total += static_cast<std::size_t>(count);
    }
    if (held != 0) return false;
    *decoded = total;
    return true;
}

}  // namespace

void EncodeBase64Block(const unsigned char* bytes, int count, char text[4])
{
    unsigned b0 = bytes[0];
    unsigned b1 = count > 1 ? bytes[1] : 0;
    unsigned b2 = count > 2 ? bytes[2] : 0;
    text[0] = kAlphabet[b0 >> 2];
    text[1] = kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
    text[2] = count > 1 ? kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=';
    text[3] = count > 2 ? kAlphabet[b2 & 0x3F] : '=';
}

void DecodeBase64Block(const char text[4], unsigned char bytes[3], int* count)
{
    unsigned v0 = ValueOf(text[0]), v1 = ValueOf(text[1]), v2 = ValueOf(text[2]), v3 = ValueOf(text[3]);
    bytes[0] = static_cast<unsigned char>((v0 << 2) | (v1 >> 4));
    bytes[1] = static_cast<unsigned char>(((v1 & 0x0F) << 4) | (v2 >> 2));
    bytes[2] = static_cast<unsigned char>(((v2 & 0x03) << 6) | v3);
    *count = 3 - (text[2] == '=' ? 1 : 0) - (text[3] == '=' ? 1 : 0);
}

int Base64EncodedLength(std::size_t count, int lineMode, std::size_t lineWidth, std::size_t* length)
{
    *length = 0;
    if (!ValidArguments(lineMode, lineWidth)) return 0;
    std::size_t chars = 4 * (count / 3 + (count % 3 ? 1 : 0));
    std::size_t lines = (lineMode != kBase64NoBreaks) ? (chars + lineWidth - 1) / lineWidth : 0;
    *length = chars + lines * BreakLength(lineMode);
    return 1;
}

std::size_t EncodeBase64Lines(const unsigned char* bytes, std::size_t count, char* text,
                              std::size_t textSize, int lineMode, std::size_t lineWidth)
{
    std::size_t needed = 0;
    if (!Base64EncodedLength(count, lineMode, lineWidth, &needed) || textSize < needed || count == 0) return 0;
    const std::size_t groupsPerLine = lineWidth / 4;
    const std::size_t breakLength = BreakLength(lineMode);
    const char* lineBreak = lineMode == kBase64Crlf ? "\r\n" : "\n";
    std::size_t written = 0;
    std::size_t full = count / 3;
    for (std::size_t g = 0; g < full; ++g) {
        if (breakLength && g != 0 && g % groupsPerLine == 0) {
            std::memcpy(text + written, lineBreak, breakLength);
            written += breakLength;
        }
        EncodeBase64Block(bytes + 3 * g, 3, text + written);
        written += 4;
    }
    if (count % 3) {
        EncodeBase64Block(bytes + 3 * full, static_cast<int>(count % 3), text + written);
        written += 4;
    }
    if (breakLength) {
        std::memcpy(text + written, lineBreak, breakLength);
        written += breakLength;
    }
    return written;
}

int Base64DecodedLength(const char* text, std::size_t length, std::size_t* count)
{
    *count = 0;
    std::size_t decoded = 0;
    if (!text || !WalkText(text, length, nullptr, 0, &decoded)) return 0;
    *count = decoded;
    return 1;
}

int DecodeBase64Lines(const char* text, std::size_t length, unsigned char* bytes, std::size_t bytesSize)
{
    std::size_t decoded = 0;
    if (!text || !bytes) return 0;
    return WalkText(text, length, bytes, bytesSize, &decoded) ? 1 : 0;
}
