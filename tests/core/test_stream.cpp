#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/io/stream.h"
#include "tests/support/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes RandomBytes(unsigned seed, std::size_t n)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<unsigned char>(rng());
    return b;
}

std::string WorkPath(const std::string& name) { return testsupport::WorkDir() + "/stream_" + name; }

// Closes the record when a test leaves early.
struct StreamGuard {
    DataStream* stream;
    ~StreamGuard() { CloseStream(stream); }
};

FileStreamState* FileState(DataStream* s) { return static_cast<FileStreamState*>(s->state); }
MemoryStreamState* MemoryState(DataStream* s) { return static_cast<MemoryStreamState*>(s->state); }
ChainStreamState* ChainState(DataStream* s) { return static_cast<ChainStreamState*>(s->state); }

// Sets the stream up as its kind needs (file name, sizes).
void Configure(DataStream* s, unsigned char kind, const std::string& tag)
{
    int code = kind == kStreamFile     ? SetStreamFile(s, WorkPath(tag).c_str())
               : kind == kStreamMemory ? SetStreamBufferSize(s, 100000)
                                       : SetStreamBlockSize(s, 100);
    ASSERT_EQ(code, kStreamSuccess);
}

void WriteAll(DataStream* s, const Bytes& data, std::size_t piece)
{
    for (std::size_t at = 0; at < data.size(); at += piece) {
        std::size_t n = std::min(piece, data.size() - at), count = 0;
        ASSERT_EQ(WriteStream(s, data.data() + at, n, &count), kStreamSuccess);
    }
}

// Reads until a read delivers nothing; the last result in *last.
Bytes ReadAll(DataStream* s, std::size_t piece, int* last = nullptr)
{
    Bytes out;
    Bytes block(piece);
    for (int guard = 0; guard < 1000000; ++guard) {
        std::size_t count = 0;
        int code = ReadStream(s, block.data(), piece, &count);
        out.insert(out.end(), block.begin(), block.begin() + count);
        if (code != kStreamSuccess || count == 0) {
            if (last) *last = code;
            break;
        }
    }
    return out;
}

std::string FileText(const std::string& path)
{
    Bytes b = testsupport::ReadFile(path);
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(StreamSetup, OpenAndClose)
{
    struct Case {
        unsigned char kind;
        std::uint32_t mode;
        int open, close;
    } cases[] = {
        {kStreamMemory, 4, kStreamBadTransferMode, kStreamSuccess},
        {kStreamChain, 0, kStreamBadTransferMode, kStreamSuccess},
        {0, kTransferRaw, kStreamBadKind, kStreamSuccess},
        {4, kTransferRaw, kStreamBadKind, kStreamBadKind},
        {kStreamMemory, kTransferRaw, kStreamSuccess, kStreamSuccess},
        {kStreamChain, kTransferBase64Lines, kStreamSuccess, kStreamSuccess},
        {kStreamFile, kTransferBase64, kStreamSuccess, kStreamSuccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.kind) << " " << c.mode);
        DataStream s;
        EXPECT_EQ(OpenStream(&s, c.kind, c.mode), c.open);
        EXPECT_EQ(s.kind, c.kind);
        EXPECT_EQ(s.state != nullptr, c.open == kStreamSuccess);
        if (c.open == kStreamSuccess) {
            EXPECT_EQ(s.lineWidth, 16u);
        }
        EXPECT_EQ(CloseStream(&s), c.close);
        if (c.close == kStreamSuccess) {
            EXPECT_EQ(s.kind, kStreamClosed);
            EXPECT_EQ(CloseStream(&s), kStreamSuccess);  // closing twice is harmless
        }
        // Use without state.
        std::size_t count = 5;
        unsigned char b[4] = {1, 2, 3, 4};
        EXPECT_EQ(ReadStream(&s, b, 4, &count), kStreamNothingRead);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(WriteStream(&s, b, 4, &count), kStreamWriteFailed);
        EXPECT_EQ(FlushStream(&s), kStreamNoState);
        EXPECT_EQ(StartStream(&s, kOpenRead), kStreamOpenFailed);
        EXPECT_EQ(StartStream(&s, 1999), kStreamBadOpenMode);
        EXPECT_EQ(IsStreamAtEnd(&s), 1);
    }
}

TEST(StreamSetup, SettersCheckKindAndMode)
{
    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamMemory, kTransferRaw), kStreamSuccess);
    StreamGuard guard{&s};
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    std::size_t count = 0;
    ASSERT_EQ(WriteStream(&s, "abc", 3, &count), kStreamSuccess);

    // Setters for another kind leave the memory stream untouched.
    EXPECT_EQ(SetStreamFile(&s, "x"), kStreamWrongKind);
    EXPECT_EQ(SetStreamBlockSize(&s, 10), kStreamWrongKind);
    EXPECT_EQ(MemoryState(&s)->length, 3u);

    EXPECT_EQ(SetStreamLineWidth(&s, 4), kStreamBadTransferMode);  // raw
    EXPECT_EQ(SetStreamTransferMode(&s, 0), kStreamBadTransferMode);
    EXPECT_EQ(SetStreamTransferMode(&s, 4), kStreamBadTransferMode);
    EXPECT_EQ(SetStreamTransferMode(&s, kTransferBase64), kStreamSuccess);
    EXPECT_EQ(SetStreamLineWidth(&s, 4), kStreamBadTransferMode);  // no line breaks
    EXPECT_EQ(SetStreamTransferMode(&s, kTransferBase64Lines), kStreamSuccess);
    EXPECT_EQ(SetStreamLineWidth(&s, 0), kStreamBadTransferMode);
    EXPECT_EQ(SetStreamLineWidth(&s, 4), kStreamSuccess);
    EXPECT_EQ(s.lineWidth, 4u);

    // Its own setter discards the contents.
    EXPECT_EQ(SetStreamBufferSize(&s, 64), kStreamSuccess);
    EXPECT_EQ(MemoryState(&s)->buffer, nullptr);
    EXPECT_EQ(MemoryState(&s)->firstAllocation, 64u);
}

TEST(StreamMemory, FixedCapacity)
{
    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamMemory, kTransferRaw), kStreamSuccess);
    StreamGuard guard{&s};
    Bytes data = RandomBytes(1, 1500);
    std::size_t count = 0;
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    EXPECT_EQ(WriteStream(&s, data.data(), 1500, &count), kStreamBufferFull);
    EXPECT_EQ(count, 1024u);
    EXPECT_EQ(WriteStream(&s, data.data(), 10, &count), kStreamBufferFull);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    EXPECT_EQ(ReadAll(&s, 300), Bytes(data.begin(), data.begin() + 1024));

    // Base64 text cut by the full buffer is a failure, not a short success.
    ASSERT_EQ(SetStreamBufferSize(&s, 10), kStreamSuccess);
    ASSERT_EQ(SetStreamTransferMode(&s, kTransferBase64), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    EXPECT_EQ(WriteStream(&s, data.data(), 30, &count), kStreamBufferFull);
    EXPECT_EQ(count, 10u);
}

TEST(StreamMemory, ReadsToTheEnd)
{
    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamMemory, kTransferRaw), kStreamSuccess);
    StreamGuard guard{&s};
    unsigned char b[100];
    std::size_t count = 9;
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    EXPECT_EQ(ReadStream(&s, b, 100, &count), kStreamNothingRead);  // no buffer yet
    EXPECT_EQ(IsStreamAtEnd(&s), 1);

    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    ASSERT_EQ(WriteStream(&s, "0123456789", 10, &count), kStreamSuccess);
    EXPECT_EQ(IsStreamAtEnd(&s), 1);  // writing
    ASSERT_EQ(FlushStream(&s), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    EXPECT_EQ(IsStreamAtEnd(&s), 0);
    EXPECT_EQ(ReadStream(&s, b, 0, &count), kStreamSuccess);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ReadStream(&s, b, 100, &count), kStreamSuccess);
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 10), "0123456789");
    EXPECT_EQ(IsStreamAtEnd(&s), 1);
    EXPECT_EQ(ReadStream(&s, b, 100, &count), kStreamNothingRead);
    EXPECT_EQ(count, 0u);
}

TEST(StreamMemory, AppendAttachDetach)
{
    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamMemory, kTransferRaw), kStreamSuccess);
    StreamGuard guard{&s};
    std::size_t count = 0;
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    ASSERT_EQ(WriteStream(&s, "hello", 5, &count), kStreamSuccess);
    ASSERT_EQ(FlushStream(&s), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenAppend), kStreamSuccess);
    ASSERT_EQ(WriteStream(&s, " world", 6, &count), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    Bytes back = ReadAll(&s, 4);
    EXPECT_EQ(std::string(back.begin(), back.end()), "hello world");

    // Writing over read data does not stretch the length past the data.
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenAppend), kStreamSuccess);
    ASSERT_EQ(WriteStream(&s, "J", 1, &count), kStreamSuccess);
    EXPECT_EQ(MemoryState(&s)->length, 11u);

    // An attached block becomes the stream's data and is freed by it.
    unsigned char* block = static_cast<unsigned char*>(std::malloc(6));
    std::memcpy(block, "abcdef", 6);
    ASSERT_EQ(AttachStreamBuffer(&s, block, 6), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    back = ReadAll(&s, 100);
    EXPECT_EQ(std::string(back.begin(), back.end()), "abcdef");
    ASSERT_EQ(StartStream(&s, kOpenAppend), kStreamSuccess);
    EXPECT_EQ(WriteStream(&s, "g", 1, &count), kStreamBufferFull);  // full at its length

    // Detached, it is the caller's again (the sanitizer sees a double free otherwise).
    ASSERT_EQ(DetachStreamBuffer(&s), kStreamSuccess);
    EXPECT_EQ(MemoryState(&s)->buffer, nullptr);
    EXPECT_EQ(MemoryState(&s)->capacity, 0u);
    std::free(block);
}

TEST(StreamChain, NodesAndBuffersGrowByBlock)
{
    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamChain, kTransferRaw), kStreamSuccess);
    StreamGuard guard{&s};
    ASSERT_EQ(SetStreamBlockSize(&s, 16), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    Bytes data = RandomBytes(2, 100);
    std::size_t count = 0;
    ASSERT_EQ(WriteStream(&s, data.data(), 100, &count), kStreamSuccess);
    EXPECT_EQ(count, 100u);
    ChainStreamState* chain = ChainState(&s);
    ASSERT_NE(chain->first, nullptr);
    ASSERT_NE(chain->first->next, nullptr);
    EXPECT_EQ(chain->first->next->next, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(chain->first->used[i], 16u);
    const StreamChainNode* second = chain->first->next;
    EXPECT_EQ(second->used[0], 16u);
    EXPECT_EQ(second->used[1], 16u);
    EXPECT_EQ(second->used[2], 4u);
    EXPECT_EQ(second->buffers[3], nullptr);
    EXPECT_EQ(chain->totalAllocated, 7u * 16);
    EXPECT_EQ(GetStreamChainLength(&s), 100u);

    // Writing afresh keeps the buffers and empties them.
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    EXPECT_EQ(GetStreamChainLength(&s), 0u);
    EXPECT_EQ(chain->totalAllocated, 7u * 16);
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    unsigned char b[8];
    EXPECT_EQ(ReadStream(&s, b, 8, &count), kStreamNothingRead);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(IsStreamAtEnd(&s), 1);

    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    ASSERT_EQ(WriteStream(&s, data.data(), 50, &count), kStreamSuccess);
    EXPECT_EQ(chain->totalAllocated, 7u * 16);  // reused, nothing new
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    EXPECT_EQ(ReadAll(&s, 7), Bytes(data.begin(), data.begin() + 50));
}

TEST(StreamChain, ReadsBackAcrossBlockSizes)
{
    const std::size_t blockSizes[] = {1, 3, 16, 64, 1000, 0};
    const std::size_t lengths[] = {0, 1, 15, 16, 17, 64, 65, 4097, 10000};
    const std::size_t reads[] = {1, 5, 16, 64, 100000};
    for (std::size_t block : blockSizes)
        for (std::size_t length : lengths) {
            SCOPED_TRACE(testing::Message() << "block " << block << " length " << length);
            DataStream s;
            ASSERT_EQ(OpenStream(&s, kStreamChain, kTransferRaw), kStreamSuccess);
            StreamGuard guard{&s};
            ASSERT_EQ(SetStreamBlockSize(&s, block), kStreamSuccess);
            ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
            Bytes data = RandomBytes(unsigned(length + block), length);
            WriteAll(&s, data, 1 + length / 3);
            EXPECT_EQ(GetStreamChainLength(&s), length);
            std::size_t size = block ? block : 1024;
            EXPECT_EQ(ChainState(&s)->totalAllocated, (length + size - 1) / size * size);
            for (std::size_t r : reads) {
                ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
                int last = 0;
                EXPECT_EQ(ReadAll(&s, r, &last), data);
                EXPECT_EQ(last, kStreamNothingRead);
            }
        }
}

TEST(StreamRoundTrip, EveryKindAndMode)
{
    const unsigned char kinds[] = {kStreamMemory, kStreamChain, kStreamFile};
    const std::uint32_t modes[] = {kTransferRaw, kTransferBase64Lines, kTransferBase64};
    const std::size_t lengths[] = {0, 1, 2, 3, 89, 90, 91, 1000, 20000};
    for (unsigned char kind : kinds)
        for (std::uint32_t mode : modes)
            for (std::size_t length : lengths) {
                SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " mode " << mode << " length " << length);
                DataStream s;
                ASSERT_EQ(OpenStream(&s, kind, mode), kStreamSuccess);
                StreamGuard guard{&s};
                Configure(&s, kind, "roundtrip");
                if (mode == kTransferBase64Lines) {
                    ASSERT_EQ(SetStreamLineWidth(&s, 1 + length % 19), kStreamSuccess);
                }
                ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
                Bytes data = RandomBytes(unsigned(length * 7 + mode), length);
                WriteAll(&s, data, 1 + length % 97);
                ASSERT_EQ(FlushStream(&s), kStreamSuccess);
                ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
                int last = 0;
                EXPECT_EQ(ReadAll(&s, 1 + length % 61, &last), data);
                // Base64 ends with a count of 0 and success; raw with "nothing read".
                EXPECT_EQ(last, mode == kTransferRaw ? kStreamNothingRead : kStreamSuccess);
                EXPECT_EQ(IsStreamAtEnd(&s), 1);
                EXPECT_EQ(FlushStream(&s), kStreamSuccess);
                if (kind == kStreamFile) {
                    EXPECT_EQ(FileState(&s)->status, kFileNamed);
                }
            }
}

TEST(StreamFile, Base64LineLayout)
{
    // count: characters handed to the file by the write (pending bytes wait).
    struct Case {
        std::size_t length, count;
        const char* text;  // the file's layout: L a full line, G a group, P a padded group
    } cases[] = {
        {48, 66, "L"}, {49, 66, "LP"}, {50, 66, "LP"}, {51, 70, "LG"}, {96, 132, "LL"}, {0, 0, ""}, {2, 0, "P"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        DataStream s;
        ASSERT_EQ(OpenStream(&s, kStreamFile, kTransferBase64Lines), kStreamSuccess);
        StreamGuard guard{&s};
        std::string path = WorkPath("layout.txt");
        ASSERT_EQ(SetStreamFile(&s, path.c_str()), kStreamSuccess);
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        Bytes data = RandomBytes(3, c.length);
        std::size_t count = 0;
        ASSERT_EQ(WriteStream(&s, data.data(), data.size(), &count), kStreamSuccess);
        EXPECT_EQ(count, c.count);
        ASSERT_EQ(FlushStream(&s), kStreamSuccess);
        std::string text = FileText(path), layout;
        for (std::size_t at = 0; at < text.size();) {
            if (text.compare(at, 2, "\r\n") == 0) {
                layout.back() = 'L';
                at += 2;
            } else if (text.size() - at >= 4 && text.compare(at + 2, 2, "==") != 0 && text[at + 3] != '=') {
                if (layout.empty() || layout.back() != 'G') layout += 'G';
                at += 4;
            } else {
                layout += 'P';
                at += 4;
            }
        }
        EXPECT_EQ(layout, c.text);
        EXPECT_EQ(text.size(), (c.length + 2) / 3 * 4 + 2 * (c.length / 48));
    }
}

TEST(StreamFile, ReadsArmouredFixtureAndWritesItsBody)
{
    std::string pemPath = testsupport::SourceDir() + "/tests/data/base64/bytes-0-255.pem";
    std::string pem = FileText(pemPath);
    ASSERT_FALSE(pem.empty());
    Bytes expected(256);
    for (int i = 0; i < 256; ++i) expected[i] = static_cast<unsigned char>(i);

    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamFile, kTransferBase64Lines), kStreamSuccess);
    StreamGuard guard{&s};
    ASSERT_EQ(SetStreamFile(&s, pemPath.c_str()), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    EXPECT_EQ(ReadAll(&s, 13), expected);

    // Written with CRLF breaks, the text is OpenSSL's body line for line.
    std::string path = WorkPath("bytes.txt");
    ASSERT_EQ(SetStreamFile(&s, path.c_str()), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    WriteAll(&s, expected, 100);
    ASSERT_EQ(FlushStream(&s), kStreamSuccess);
    std::string ours = FileText(path), body;
    for (char c : ours)
        if (c != '\r') body += c;
    std::size_t start = pem.find('\n') + 1, end = pem.find("-----END");
    EXPECT_EQ(body + "\n", pem.substr(start, end - start));
}

TEST(StreamFile, NameLength)
{
    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamFile, kTransferRaw), kStreamSuccess);
    StreamGuard guard{&s};
    std::string name(254, 'n');
    EXPECT_EQ(SetStreamFile(&s, name.c_str()), kStreamSuccess);
    EXPECT_EQ(FileState(&s)->status, kFileNamed);
    EXPECT_EQ(std::string(FileState(&s)->name), name);
    name += 'n';  // 255: no room for it; refused rather than cut
    EXPECT_EQ(SetStreamFile(&s, name.c_str()), kStreamOpenFailed);
    EXPECT_EQ(FileState(&s)->status, kFileNoName);
    EXPECT_EQ(StartStream(&s, kOpenRead), kStreamOpenFailed);
    EXPECT_EQ(SetStreamFile(&s, nullptr), kStreamOpenFailed);
}

TEST(StreamFile, CannotBeOpened)
{
    testsupport::WriteFile(WorkPath("plain"), "x", 1);
    const std::string paths[] = {WorkPath("no-such-folder/out.bin"), WorkPath("plain/out.bin")};
    for (const std::string& path : paths)
        for (std::uint32_t mode : {kTransferRaw, kTransferBase64Lines}) {
            SCOPED_TRACE(path);
            DataStream s;
            ASSERT_EQ(OpenStream(&s, kStreamFile, mode), kStreamSuccess);
            StreamGuard guard{&s};
            ASSERT_EQ(SetStreamFile(&s, path.c_str()), kStreamSuccess);
            EXPECT_EQ(StartStream(&s, kOpenWrite), kStreamOpenFailed);
            EXPECT_EQ(FileState(&s)->status, kFileOpenFailed);
            std::size_t count = 7;
            EXPECT_EQ(WriteStream(&s, "ab", 2, &count), kStreamWriteFailed);
            EXPECT_EQ(count, 0u);
            unsigned char b[4];
            EXPECT_EQ(ReadStream(&s, b, 4, &count), mode == kTransferRaw ? kStreamNothingRead : kStreamSuccess);
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(FlushStream(&s), kStreamSuccess);
            EXPECT_EQ(FileState(&s)->status, kFileNamed);
            EXPECT_EQ(StartStream(&s, kOpenRead), kStreamOpenFailed);
        }
}

TEST(StreamFile, StartingAgainClosesTheOpenFile)
{
    for (std::uint32_t mode : {kTransferRaw, kTransferBase64Lines, kTransferBase64}) {
        SCOPED_TRACE(mode);
        DataStream s;
        ASSERT_EQ(OpenStream(&s, kStreamFile, mode), kStreamSuccess);
        StreamGuard guard{&s};
        std::string path = WorkPath("restart.bin");
        ASSERT_EQ(SetStreamFile(&s, path.c_str()), kStreamSuccess);
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        Bytes data = RandomBytes(4, 1001);  // leaves base64 bytes pending
        WriteAll(&s, data, 333);
        ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);  // no flush first
        EXPECT_EQ(ReadAll(&s, 100), data);

        // Naming another file closes this one.
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        WriteAll(&s, data, 1001);
        ASSERT_EQ(SetStreamFile(&s, WorkPath("other.bin").c_str()), kStreamSuccess);
        ASSERT_EQ(SetStreamFile(&s, path.c_str()), kStreamSuccess);
        ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
        EXPECT_EQ(ReadAll(&s, 100), data);
    }
}

TEST(StreamBase64, AppendingContinuesTheText)
{
    for (unsigned char kind : {kStreamMemory, kStreamChain, kStreamFile}) {
        SCOPED_TRACE(int(kind));
        DataStream s;
        ASSERT_EQ(OpenStream(&s, kind, kTransferBase64), kStreamSuccess);
        StreamGuard guard{&s};
        Configure(&s, kind, "append.txt");
        std::size_t count = 0;
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        ASSERT_EQ(WriteStream(&s, "A", 1, &count), kStreamSuccess);
        ASSERT_EQ(StartStream(&s, kOpenAppend), kStreamSuccess);
        ASSERT_EQ(WriteStream(&s, "BC", 2, &count), kStreamSuccess);
        EXPECT_EQ(count, 4u);
        ASSERT_EQ(WriteStream(&s, "D", 1, &count), kStreamSuccess);
        ASSERT_EQ(FlushStream(&s), kStreamSuccess);  // appending also ends with the padded group
        ASSERT_EQ(SetStreamTransferMode(&s, kTransferRaw), kStreamSuccess);
        ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
        Bytes text = ReadAll(&s, 100);
        EXPECT_EQ(std::string(text.begin(), text.end()), "QUJDRA==");
    }
}

TEST(StreamBase64, AtEndWithAPartialGroup)
{
    DataStream s;
    ASSERT_EQ(OpenStream(&s, kStreamMemory, kTransferBase64), kStreamSuccess);
    StreamGuard guard{&s};
    std::size_t count = 0;
    ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
    ASSERT_EQ(WriteStreamRaw(&s, "TWFuQQ", 6, &count), kStreamSuccess);
    ASSERT_EQ(StartStream(&s, kOpenRead), kStreamSuccess);
    unsigned char b[2];
    ASSERT_EQ(ReadStream(&s, b, 2, &count), kStreamSuccess);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(IsStreamAtEnd(&s), 0);  // "n" waits in the coder
    ASSERT_EQ(ReadStream(&s, b, 2, &count), kStreamSuccess);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(IsStreamAtEnd(&s), 1);  // "QQ" can give nothing more
    ASSERT_EQ(ReadStream(&s, b, 2, &count), kStreamSuccess);
    EXPECT_EQ(count, 0u);
}

TEST(StreamFile, FailingWritesAreReported)
{
    // /dev/full takes writes into the C library's buffer and fails when
    // they reach it (under Wine too; Windows has none).
    std::FILE* probe = std::fopen("/dev/full", "wb");
    if (!probe) GTEST_SKIP() << "no /dev/full";
    std::fclose(probe);
    for (std::uint32_t mode : {kTransferRaw, kTransferBase64Lines}) {
        SCOPED_TRACE(mode);
        DataStream s;
        ASSERT_EQ(OpenStream(&s, kStreamFile, mode), kStreamSuccess);
        StreamGuard guard{&s};
        ASSERT_EQ(SetStreamFile(&s, "/dev/full"), kStreamSuccess);
        std::size_t count = 0;

        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        ASSERT_EQ(WriteStream(&s, "abcd", 4, &count), kStreamSuccess);
        EXPECT_EQ(FlushStream(&s), kStreamWriteFailed);
        EXPECT_EQ(FileState(&s)->status, kFileNamed);

        // A large write fails while it is made.
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        Bytes big = RandomBytes(5, 200000);
        EXPECT_EQ(WriteStream(&s, big.data(), big.size(), &count), kStreamWriteFailed);
        FlushStream(&s);

        // Starting again, resetting and closing report it too.
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        ASSERT_EQ(WriteStream(&s, "ab", 2, &count), kStreamSuccess);
        EXPECT_EQ(StartStream(&s, kOpenWrite), kStreamWriteFailed);
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        ASSERT_EQ(WriteStream(&s, "ab", 2, &count), kStreamSuccess);
        EXPECT_EQ(ResetStream(&s), kStreamWriteFailed);
        EXPECT_EQ(FileState(&s)->status, kFileNoName);
        ASSERT_EQ(SetStreamFile(&s, "/dev/full"), kStreamSuccess);
        ASSERT_EQ(StartStream(&s, kOpenWrite), kStreamSuccess);
        ASSERT_EQ(WriteStream(&s, "ab", 2, &count), kStreamSuccess);
        EXPECT_EQ(CloseStream(&s), kStreamWriteFailed);
        EXPECT_EQ(s.state, nullptr);
    }
}

#ifndef _WIN32
TEST(StreamFile, ReadErrorIsNotTheEnd)
{
    // A folder opens for reading on this platform, and every read fails.
    for (std::uint32_t mode : {kTransferRaw, kTransferBase64}) {
        SCOPED_TRACE(mode);
        DataStream s;
        ASSERT_EQ(OpenStream(&s, kStreamFile, mode), kStreamSuccess);
        StreamGuard guard{&s};
        ASSERT_EQ(SetStreamFile(&s, testsupport::WorkDir().c_str()), kStreamSuccess);
        if (StartStream(&s, kOpenRead) != kStreamSuccess) GTEST_SKIP() << "folder does not open";
        unsigned char b[16];
        std::size_t count = 9;
        EXPECT_EQ(ReadStream(&s, b, 16, &count), kStreamOpenFailed);
        EXPECT_EQ(count, 0u);
    }
}
#endif
