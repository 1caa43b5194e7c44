#include "signer/files/file_utils.h"

#include <windows.h>

#include <cstring>

#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "core/io/stream.h"
#include "core/text/hex_text.h"
#include "signer/files/base64_lines.h"
#include "signer/files/file_identity.h"
#include "signer/errors.h"

namespace {

// Closes the stream on every path; a failed close is a failure of the copy.
class StreamCloser {
public:
    explicit StreamCloser(DataStream* stream) : stream_(stream) {}
    ~StreamCloser() { if (stream_) CloseStream(stream_); }
    int Close()
    {
        DataStream* s = stream_;
        stream_ = nullptr;
        return CloseStream(s);
    }
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;

private:
    DataStream* stream_;
};

bool OpenFileStream(DataStream* stream, std::uint32_t transferMode, const char* path)
{
    if (OpenStream(stream, kStreamFile, transferMode) != kStreamSuccess) return false;
    return SetStreamFile(stream, path ? path : "") == kStreamSuccess;
}

bool Convert(const char* source, const char* destination, int direction, unsigned lineWidth)
{
    const bool toBase64 = direction == kToBase64;
    DataStream in{};
    DataStream out{};
    StreamCloser closeIn(&in);
    StreamCloser closeOut(&out);
    if (!OpenFileStream(&in, toBase64 ? kTransferRaw : kTransferBase64Lines, source)) return false;
    if (!OpenFileStream(&out, toBase64 ? kTransferBase64Lines : kTransferRaw, destination)) return false;
    if (toBase64 && lineWidth != 0 && SetStreamLineWidth(&out, lineWidth) != kStreamSuccess) return false;
    if (StartStream(&in, kOpenRead) != kStreamSuccess) return false;
    if (StartStream(&out, kOpenWrite) != kStreamSuccess) return false;

    unsigned char piece[kFileBlockSize];
    for (;;) {
        std::size_t got = 0;
        int code = ReadStream(&in, piece, sizeof piece, &got);
        if (code == kStreamNothingRead && got == 0) break;  // raw source at its end
        if (code != kStreamSuccess) return false;
        if (got == 0) break;  // base64 source at its end
        std::size_t put = 0;
        if (WriteStream(&out, piece, got, &put) != kStreamSuccess) return false;
    }
    bool ok = FlushStream(&out) == kStreamSuccess;
    ok = closeOut.Close() == kStreamSuccess && ok;
    closeIn.Close();
    return ok;
}

}  // namespace

void BytesToHexSpaced(std::string& text, const unsigned char* bytes, std::size_t count)
{
    text = HexText(bytes, count, false, ' ');
}

void BytesToHex(std::string& text, const unsigned char* bytes, std::size_t count)
{
    text = HexText(bytes, count, false);
}

bool FileDigestHex(std::FILE* file, std::string& text)
{
    if (!file || std::fseek(file, 0, SEEK_SET) != 0) return false;
    DigestContext context;
    if (InitDigest(&context, kDigestMd5) != 0) return false;
    unsigned char piece[4000];
    for (;;) {
        std::size_t got = std::fread(piece, 1, sizeof piece, file);
        if (got && UpdateDigest(&context, piece, got) != 0) {
            FillBytes(&context, 0, sizeof context);
            return false;
        }
        // A short read ends the data; it is a failure unless it is the end of the file.
        if (got < sizeof piece) {
            if (std::ferror(file) || !std::feof(file)) {
                FillBytes(&context, 0, sizeof context);
                return false;
            }
            break;
        }
    }
    unsigned char digest[kMaxDigestLength];
    std::size_t digestLength = 0;
    if (FinalDigest(&context, digest, &digestLength) != 0) return false;
    std::string hex;
    BytesToHexSpaced(hex, digest, digestLength);
    FillBytes(digest, 0, sizeof digest);
    if (!hex.empty()) hex.pop_back();
    text.swap(hex);
    return true;
}

std::string MakeTempFileNameWithPrefix(const char* prefix)
{
    char folder[255];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        throw EFileOpenError("No se pudo obtener la carpeta temporal");
    char name[MAX_PATH];
    if (GetTempFileNameA(folder, prefix ? prefix : "", 0, name) == 0)
        throw EFileOpenError(std::string("No se pudo crear un archivo temporal en ") + folder);
    return name;
}

TFile OpenFileOrThrow(const std::string& path, const char* mode)
{
    // A device or a pipe read as a file may never answer.
    if (mode[0] == 'r' && !IsRegularFile(path)) throw EFileOpenError("No se puede abrir el archivo " + path);
    TFile file(std::fopen(path.c_str(), mode));
    if (!file) throw EFileOpenError("No se puede abrir el archivo " + path);
    return file;
}

bool CloseWrittenFile(TFile& file)
{
    if (!file) return true;
    std::FILE* handle = file.Detach();  // closed here, for the close's answer
    SetLastError(ERROR_SUCCESS);
    // The flush on its own: Wine's fclose does not report a failed final flush.
    const bool flushed = std::fflush(handle) == 0;
    if (std::fclose(handle) != 0 || !flushed) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

bool FileExists(const std::string& path)
{
    return IsRegularFile(path);
}

std::string MakeTempFileName()
{
    return MakeTempFileNameWithPrefix("tkw");
}

bool ConvertFileBase64(const char* source, const char* destination, int direction)
{
    return Convert(source, destination, direction, 0);
}

bool ConvertFileBase64Width(const char* source, const char* destination, int direction, unsigned lineWidth)
{
    // The width applies only to a base64 destination; 0 keeps the stream's default.
    return Convert(source, destination, direction, lineWidth);
}

std::size_t Base64DecodeToBuffer(const char* text, std::size_t length, unsigned char* out, std::size_t outSize)
{
    std::size_t count = 0;
    if (!Base64DecodedLength(text, length, &count) || count == 0) return 0;
    if (count > outSize) return 0;
    if (!DecodeBase64Lines(text, length, out, outSize)) return 0;
    return count;
}
