#include "core/io/base64.h"

#include "core/der/bytes.h"
#include "core/io/base64_blocks.h"
#include "core/io/stream.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Sextet value of each byte, -1 outside the alphabet (bytes of 128 or more too).
struct SextetTable {
    signed char value[256];
    SextetTable()
    {
        for (int i = 0; i < 256; ++i) value[i] = -1;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
};
const SextetTable kSextets;

// A slice's text at width 1: 4 characters and CRLF per group of 3 bytes.
static_assert(sizeof(Base64Coder{}.text) >= kBase64SliceBytes / 3 * 6, "text buffer too small");
static_assert(sizeof(Base64Coder{}.text) >= kBase64PieceChars, "text buffer too small");
static_assert(sizeof(Base64Coder{}.bytes) >= (3 + kBase64PieceChars + 3) / 4 * 3, "byte buffer too small");

inline int Sextet(unsigned char c) { return kSextets.value[c]; }

void EncodeFullGroup(char* text, const unsigned char* b)
{
    text[0] = kAlphabet[b[0] >> 2];
    text[1] = kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)];
    text[2] = kAlphabet[((b[1] & 15) << 2) | (b[2] >> 6)];
    text[3] = kAlphabet[b[2] & 63];
}

void DecodeGroup(unsigned char* out, const unsigned char* s)
{
    out[0] = static_cast<unsigned char>((s[0] << 2) | (s[1] >> 4));
    out[1] = static_cast<unsigned char>(((s[1] & 15) << 4) | (s[2] >> 2));
    out[2] = static_cast<unsigned char>(((s[2] & 3) << 6) | s[3]);
}

// Writes one full group to text at n and counts it on the line. The caller
// keeps the last group's characters in the coder.
std::size_t EmitGroup(Base64Coder* coder, const unsigned char* b, char* text, std::size_t n)
{
    EncodeFullGroup(text + n, b);
    n += 4;
    if (coder->lineBreaks) {
        if (++coder->groupsOnLine >= coder->lineWidth) {
            text[n++] = '\r';
            text[n++] = '\n';
            coder->groupsOnLine = 0;
        }
    }
    return n;
}

}  // namespace

void InitBase64Stream(Base64Coder* coder, int lineBreaks, std::uint32_t lineWidth)
{
    FillBytes(coder, 0, sizeof *coder);
    coder->paddingPosition = 4;
    if (lineBreaks) {
        coder->lineBreaks = 1;
        coder->lineWidth = lineWidth ? lineWidth : 16;
    } else {
        coder->lineWidth = 16;
    }
}

std::size_t EncodeBase64Chunk(Base64Coder* coder, const void* bytes, std::size_t length, char* text)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::size_t n = 0;
    std::size_t lastGroup = 0;
    bool emitted = false;
    if (coder->count > 2) coder->count = 0;  // only 0-2 bytes can wait
    if (coder->count > 0) {
        std::size_t take = 3 - coder->count;
        if (take > length) take = length;
        CopyBytes(coder->group + coder->count, p, take);
        coder->count += static_cast<std::uint32_t>(take);
        p += take;
        length -= take;
        if (coder->count < 3) return 0;
        n = EmitGroup(coder, coder->group, text, n);
        emitted = true;
        coder->count = 0;
    }
    while (length >= 3) {
        // Four groups at a time while the line has room for them.
        const std::size_t room = coder->lineBreaks ? coder->lineWidth - coder->groupsOnLine : length / 3;
        if (room >= 4 && length >= 16) {
            const std::size_t groups = EncodeBase64Blocks(p, length, room, text + n);
            if (groups != 0) {
                lastGroup = n + 4 * groups - 4;
                n += 4 * groups;
                p += 3 * groups;
                length -= 3 * groups;
                emitted = true;
                if (coder->lineBreaks) {
                    coder->groupsOnLine += static_cast<std::uint32_t>(groups);
                    if (coder->groupsOnLine >= coder->lineWidth) {
                        text[n++] = '\r';
                        text[n++] = '\n';
                        coder->groupsOnLine = 0;
                    }
                }
                continue;
            }
        }
        lastGroup = n;
        n = EmitGroup(coder, p, text, n);
        emitted = true;
        p += 3;
        length -= 3;
    }
    if (emitted) CopyBytes(coder->output, text + lastGroup, 4);
    CopyBytes(coder->group, p, length);
    coder->count = static_cast<std::uint32_t>(length);
    return n;
}

int FlushBase64Stream(DataStream* stream, int* result)
{
    Base64Coder* coder = &stream->coder;
    int code = kStreamSuccess;
    int written = 0;
    if (coder->count == 1 || coder->count == 2) {
        char group[4];
        EncodeBase64Group(group, coder->group, static_cast<int>(coder->count));
        CopyBytes(coder->output, group, 4);
        coder->count = 0;
        std::size_t taken = 0;
        code = WriteStreamRaw(stream, group, 4, &taken);
        if (code == kStreamSuccess) written = 4;
    }
    if (result) *result = code;
    return written;
}

std::size_t WriteBase64Stream(Base64Coder* coder, DataStream* stream, const void* bytes,
                              std::size_t length, int* result)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::size_t total = 0;
    int code = kStreamSuccess;
    while (length > 0) {
        std::size_t slice = length < kBase64SliceBytes ? length : kBase64SliceBytes;
        std::size_t chars = EncodeBase64Chunk(coder, p, slice, coder->text);
        p += slice;
        length -= slice;
        if (chars == 0) break;
        std::size_t taken = 0;
        code = WriteStreamRaw(stream, coder->text, chars, &taken);
        total += taken;
        if (code != kStreamSuccess) break;
    }
    if (result) *result = code;
    return total;
}

std::size_t DecodeBase64Chunk(Base64Coder* coder, const void* text, std::size_t length,
                              unsigned char* bytes)
{
    const unsigned char* t = static_cast<const unsigned char*>(text);
    std::size_t out = 0;
    if (coder->count > 3) coder->count = 0;
    std::size_t i = 0;
    while (i < length && coder->paddingPosition == 4) {
        // Between groups and outside armour, whole groups of four alphabet
        // characters (nearly all of a text) decode at once, as one by one.
        if (coder->count == 0 && coder->armourState == 0) {
            const std::size_t runStart = out;
            // Sixteen at a time, leaving the room its wide stores need.
            if (length - i >= 24) {
                const std::size_t taken = DecodeBase64Blocks(t + i, length - i - 8, bytes + out);
                out += taken / 4 * 3;
                i += taken;
            }
            while (length - i >= 4) {
                const int s0 = Sextet(t[i]), s1 = Sextet(t[i + 1]), s2 = Sextet(t[i + 2]), s3 = Sextet(t[i + 3]);
                if ((s0 | s1 | s2 | s3) < 0) break;
                bytes[out] = static_cast<unsigned char>((s0 << 2) | (s1 >> 4));
                bytes[out + 1] = static_cast<unsigned char>(((s1 & 15) << 4) | (s2 >> 2));
                bytes[out + 2] = static_cast<unsigned char>(((s2 & 3) << 6) | s3);
                out += 3;
                i += 4;
            }
            if (out != runStart) CopyBytes(coder->output, bytes + out - 3, 3);
            if (i >= length) break;
        }
        unsigned char c = t[i++];
        if (coder->armourState == 3 && c != '-') coder->armourState = 0;
        if (coder->armourState == 1) {
            if (c != '-') coder->armourState = 2;
            continue;
        }
        if (coder->armourState == 2) {
            if (c == '-') coder->armourState = 3;
            continue;
        }
        if (coder->armourState == 3) continue;  // more of the closing dashes

        int v = Sextet(c);
        if (v >= 0) {
            coder->group[coder->count++] = static_cast<unsigned char>(v);
        } else if (c == '=') {
            coder->paddingPosition = coder->count;
            while (coder->count < 4) coder->group[coder->count++] = 0;
        } else {
            if (c == '-') coder->armourState = 1;
            continue;
        }
        if (coder->count == 4) {
            DecodeGroup(coder->output, coder->group);
            std::size_t n = 3;
            // A "=" leaves pad - 1 whole bytes; one opening the group, none.
            if (coder->paddingPosition != 4)
                n = coder->paddingPosition > 1 ? coder->paddingPosition - 1 : 0;
            CopyBytes(bytes + out, coder->output, n);
            out += n;
            coder->count = 0;
        }
    }
    return out;
}

std::size_t ReadBase64Stream(Base64Coder* coder, DataStream* stream, void* buffer,
                             std::size_t wanted, int* result)
{
    unsigned char* out = static_cast<unsigned char*>(buffer);
    std::size_t delivered = 0;
    int code = kStreamSuccess;
    for (;;) {
        if (coder->handedOut < coder->available) {
            std::size_t n = coder->available - coder->handedOut;
            if (n > wanted - delivered) n = wanted - delivered;
            CopyBytes(out + delivered, coder->bytes + coder->handedOut, n);
            coder->handedOut += static_cast<std::uint32_t>(n);
            delivered += n;
        }
        if (delivered >= wanted) break;
        std::size_t got = 0;
        int raw = ReadStreamRaw(stream, coder->text, kBase64PieceChars, &got);
        if (raw != kStreamSuccess) {
            if (raw != kStreamNothingRead) code = raw;  // a failing medium, not the end
            break;
        }
        if (got == 0) break;
        coder->available = static_cast<std::uint32_t>(DecodeBase64Chunk(coder, coder->text, got, coder->bytes));
        coder->handedOut = 0;
    }
    if (result) *result = code;
    return delivered;
}

std::size_t FinishBase64Decode(Base64Coder* coder, unsigned char* bytes)
{
    if (coder->count == 0 || coder->count > 3) {
        coder->count = 0;
        return 0;
    }
    // Only the bytes whose 8 bits all came from held sextets.
    std::size_t n = coder->count * 6 / 8;
    while (coder->count < 4) coder->group[coder->count++] = 0;
    DecodeGroup(coder->output, coder->group);
    CopyBytes(bytes, coder->output, n);
    coder->count = 0;
    return n;
}

void EncodeBase64Group(char* text, const unsigned char* bytes, int count)
{
    unsigned char b[3] = {0, 0, 0};
    if (count < 1) count = 1;
    if (count > 3) count = 3;
    CopyBytes(b, bytes, static_cast<std::size_t>(count));
    EncodeFullGroup(text, b);
    if (count < 3) text[3] = '=';
    if (count < 2) text[2] = '=';
}

int EncodeBase64(char* text, std::size_t* textLength, const void* bytes, std::size_t length)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::size_t n = 0;
    while (length >= 3) {
        EncodeFullGroup(text + n, p);
        n += 4;
        p += 3;
        length -= 3;
    }
    if (length > 0) {
        EncodeBase64Group(text + n, p, static_cast<int>(length));
        n += 4;
    }
    *textLength = n;
    return 0;
}

int DecodeBase64(unsigned char* bytes, std::size_t* bytesLength, const void* text, std::size_t length)
{
    const unsigned char* t = static_cast<const unsigned char*>(text);
    if (length % 4 != 0) return kStatusEncoding;
    std::size_t n = 0;
    for (std::size_t i = 0; i < length; i += 4) {
        const unsigned char* g = t + i;
        bool last = i + 4 == length;
        int s0 = Sextet(g[0]), s1 = Sextet(g[1]), s2 = Sextet(g[2]), s3 = Sextet(g[3]);
        if (s0 < 0 || s1 < 0) return kStatusEncoding;
        std::size_t given = 3;
        if (s2 < 0) {
            // "xx==" only, and only as the last group.
            if (g[2] != '=' || g[3] != '=' || !last) return kStatusEncoding;
            s2 = s3 = 0;
            given = 1;
        } else if (s3 < 0) {
            if (g[3] != '=' || !last) return kStatusEncoding;
            s3 = 0;
            given = 2;
        }
        unsigned char s[4] = {static_cast<unsigned char>(s0), static_cast<unsigned char>(s1),
                              static_cast<unsigned char>(s2), static_cast<unsigned char>(s3)};
        unsigned char group[3];
        DecodeGroup(group, s);
        CopyBytes(bytes + n, group, given);
        n += given;
    }
    *bytesLength = n;
    return 0;
}
