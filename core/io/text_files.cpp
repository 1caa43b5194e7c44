#include "core/io/text_files.h"

#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "core/io/stream.h"

long GetFileLength(std::FILE* file)
{
    if (!file) return -1;
    long here = std::ftell(file);
    if (here < 0) return -1;
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0) return -1;
    return end;
}

int SkipStreamBytes(DataStream* stream, std::size_t n)
{
    if (!stream || stream->kind != kStreamFile) return -1;
    unsigned char work[128];
    while (n > 0) {
        std::size_t wanted = n < sizeof work ? n : sizeof work;
        std::size_t count = 0;
        int result = ReadStream(stream, work, wanted, &count);
        // Count what was really read: a short read at the end of the file is
        // a failure, not a skip of the whole piece.
        if (result != kStreamSuccess || count == 0 || count > wanted) return 0;
        n -= count;
    }
    FillBytes(work, 0, sizeof work);
    return 1;
}

namespace {

// A stream that can give bytes: one with a medium, and a file that is open.
bool StreamReadable(const DataStream* stream)
{
    if (!stream || !stream->state) return false;
    if (stream->kind != kStreamFile) return true;
    return static_cast<const FileStreamState*>(stream->state)->status == kFileOpen;
}

}  // namespace

int DigestStreamMd5(DataStream* stream, unsigned char digest[16])
{
    enum : std::size_t { kPiece = 6144 };
    DigestContext context;
    if (InitDigest(&context, kDigestMd5) != 0) return 1;
    unsigned char piece[kPiece];
    int status = StreamReadable(stream) ? 0 : -1;
    while (status == 0) {
        std::size_t count = 0;
        const int read = ReadStream(stream, piece, kPiece, &count);
        // Only the end of the data ends the digest: a failing read would
        // leave a digest of part of it.
        if ((read != kStreamSuccess && read != kStreamNothingRead) || count > kPiece ||
            UpdateDigest(&context, piece, count) != 0) {
            status = -1;
            break;
        }
        if (count < kPiece) break;
    }
    if (status == 0) {
        unsigned char out[kMaxDigestLength];
        std::size_t length = 0;
        if (FinalDigest(&context, out, &length) != 0) status = -1;
        else CopyBytes(digest, out, 16);
        FillBytes(out, 0, sizeof out);
    }
    FillBytes(piece, 0, kPiece);
    FillBytes(&context, 0, sizeof context);
    return status;
}
