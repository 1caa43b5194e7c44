// RC4: RFC 6229 known answers, the openssl command line as a peer, pieces
// and lengths, and the chunked file routine with its result codes.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/cipher/rc4.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/test_util.h"

#ifdef _WIN32
#include "tests/support/host_openssl.h"
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

#ifndef _WIN32
// The C library's rename for this program, made to fail on demand: as the
// Windows C library's does over an existing file, and for the last move of
// a new output into place, which no real file system here refuses on cue.
namespace rename_fault {
struct Mode {
    bool noReplace;       // an existing target is refused
    bool refuseNew;       // the new output cannot take the output's name
    bool refuseAside;     // the earlier output cannot be moved
};
Mode mode{};
std::string output;  // the output's name
}  // namespace rename_fault

extern "C" int rename(const char* from, const char* to)
{
    using namespace rename_fault;
    bool refuse = (mode.refuseNew && to == output && std::strstr(from, ".part")) ||
                  (mode.refuseAside && from == output);
    if (mode.noReplace) {
        if (std::FILE* existing = std::fopen(to, "rb")) {
            std::fclose(existing);
            refuse = true;
        }
    }
    if (refuse) {
        errno = EACCES;
        return -1;
    }
    return renameat(AT_FDCWD, from, AT_FDCWD, to);
}
#endif

namespace {

using Bytes = std::vector<unsigned char>;
using testsupport::FromHex;

Bytes Keystream(const Bytes& key, std::size_t length)
{
    Rc4Context c;
    EXPECT_EQ(InitRc4(&c, key.data(), key.size()), kRc4KeyReady);
    Bytes out(length, 0);
    EXPECT_EQ(CryptRc4(&c, out.data(), out.size()), length);
    return out;
}

Bytes Pattern(std::size_t length, unsigned seed = 3)
{
    Bytes b(length);
    for (std::size_t i = 0; i < length; ++i) b[i] = static_cast<unsigned char>(i * 31 + seed + (i >> 8));
    return b;
}

// RFC 6229, 40-bit and 128-bit keys, keystream at offsets 0, 16, 240, 256, 4096.
TEST(Rc4KnownAnswers, Rfc6229)
{
    struct Case {
        const char* key;
        std::size_t offset;
        const char* stream;
    } cases[] = {
        {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
        {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
        {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
        {"0102030405", 256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
        {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
        {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
        {"0102030405060708090a0b0c0d0e0f10", 16, "5248c4959014126a6e8a84f11d1a9e1c"},
        {"0102030405060708090a0b0c0d0e0f10", 240, "065902e4b620f6cc36c8589f66432f2b"},
        {"0102030405060708090a0b0c0d0e0f10", 4096, "a36a4c301ae8ac13610ccbc12256cacc"},
    };
    for (const Case& c : cases) {
        Bytes stream = Keystream(FromHex(c.key), c.offset + 16);
        EXPECT_EQ(Bytes(stream.begin() + c.offset, stream.end()), FromHex(c.stream)) << c.key << " @" << c.offset;
    }
}

// Against `openssl enc` (legacy provider): the 40-bit and the 128-bit forms.
TEST(Rc4Openssl, FortyAndHundredTwentyEightBitKeys)
{
    const std::string dir = testsupport::WorkDir();
    const Bytes plain = Pattern(5000);
    const std::string in = dir + "/rc4-plain.bin";
    ASSERT_TRUE(testsupport::WriteFile(in, plain.data(), plain.size()));
    struct Case {
        const char *cipher, *key;
    } cases[] = {{"rc4-40", "0102030405"}, {"rc4", "00112233445566778899aabbccddeeff"}, {"rc4", "8f3e0b72a1d4c65e9b07f2183ca5d64e"}};
    for (const Case& c : cases) {
        const char* key = c.key;
        const std::string out = dir + "/rc4-openssl.bin";
        std::remove(out.c_str());
        // -provider default: the default provider must be named when legacy is.
        ASSERT_EQ(testsupport::openssl_cli::Run(std::string("enc -") + c.cipher + " -provider legacy -provider default -K " + key +
                                                " -in " + in + " -out " + out),
                  0)
            << key;
        const Bytes expected = testsupport::ReadFile(out);
        Rc4Context context;
        const Bytes k = FromHex(key);
        InitRc4(&context, k.data(), k.size());
        Bytes ours(plain.size());
        CryptRc4Copy(&context, ours.data(), plain.data(), plain.size());
        EXPECT_EQ(ours, expected) << key;
    }
}

TEST(Rc4Context, RoundTripPiecesAndEmptyLength)
{
    const Bytes key = FromHex("4b6579");  // "Key"
    const Bytes plain = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't', '!'};
    Rc4Context whole;
    InitRc4(&whole, key.data(), key.size());
    Bytes once = plain;
    CryptRc4(&whole, once.data(), once.size());
    EXPECT_EQ(Bytes(once.begin(), once.begin() + 9), FromHex("bbf316e8d940af0ad3"));  // the classic answer

    // 3 + 7 with a zero-length call between gives the same as 10 at once.
    Rc4Context pieces;
    InitRc4(&pieces, key.data(), key.size());
    Bytes split(plain.size());
    EXPECT_EQ(CryptRc4Copy(&pieces, split.data(), plain.data(), 3), 3u);
    const Rc4Context before = pieces;
    EXPECT_EQ(CryptRc4(&pieces, split.data() + 3, 0), 0u);
    EXPECT_EQ(pieces.i, before.i);
    EXPECT_EQ(pieces.j, before.j);
    EXPECT_EQ(CryptRc4Copy(&pieces, split.data() + 3, plain.data() + 3, 7), 7u);
    EXPECT_EQ(split, once);

    // A fresh context with the same key undoes it, in place.
    Rc4Context again;
    InitRc4(&again, key.data(), key.size());
    CryptRc4(&again, once.data(), once.size());
    EXPECT_EQ(once, plain);
}

TEST(Rc4Context, EmptyKeyIsReportedAndReadsNothing)
{
    Rc4Context c;
    EXPECT_EQ(InitRc4(&c, nullptr, 0), kRc4KeyEmpty);
    const unsigned char one = 7;
    EXPECT_EQ(InitRc4(&c, &one, 0), kRc4KeyEmpty);
    Bytes data = Pattern(300);
    const Bytes copy = data;
    CryptRc4(&c, data.data(), data.size());
    EXPECT_EQ(data, copy);
}

class Rc4File : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return testsupport::WorkDir() + "/rc4file-" + name; }
    void SetUp() override { std::remove(Path("out").c_str()); }
    void TearDown() override
    {
        std::remove(Path("in").c_str());
        std::remove(Path("out").c_str());
    }
    int Run(const Bytes& input, std::size_t prefix, Rc4Context* context)
    {
        const unsigned char none = 0;
        EXPECT_TRUE(testsupport::WriteFile(Path("in"), input.empty() ? &none : input.data(), input.size()));
        return EncryptFileRc4(Path("out").c_str(), Path("in").c_str(), context, prefix);
    }
    const Bytes key = FromHex("00112233445566778899aabbccddeeff");
};

TEST_F(Rc4File, SkipsThePrefixAndEncryptsTheRestAcrossChunks)
{
    struct Case {
        std::size_t size, prefix;
    } cases[] = {{4000, 0}, {8001, 0}, {9000, 4500}, {50, 50}, {0, 0}, {12345, 8000}};
    for (const Case& c : cases) {
        const Bytes input = Pattern(c.size, static_cast<unsigned>(c.size));
        Rc4Context context;
        InitRc4(&context, key.data(), key.size());
        ASSERT_EQ(Run(input, c.prefix, &context), kRc4FileDone) << c.size << "/" << c.prefix;
        Bytes expected(input.begin() + static_cast<long>(c.prefix), input.end());
        Rc4Context reference;
        InitRc4(&reference, key.data(), key.size());
        CryptRc4(&reference, expected.data(), expected.size());
        EXPECT_EQ(testsupport::ReadFile(Path("out")), expected) << c.size << "/" << c.prefix;
        // The context has advanced over the whole output.
        EXPECT_EQ(context.i, reference.i);
        EXPECT_EQ(context.j, reference.j);
    }
}

// The output may be the input itself: it is read whole before it is replaced.
TEST_F(Rc4File, OutputMayBeTheInput)
{
    const Bytes input = Pattern(9000, 5);
    ASSERT_TRUE(testsupport::WriteFile(Path("in"), input.data(), input.size()));
    Rc4Context context;
    InitRc4(&context, key.data(), key.size());
    ASSERT_EQ(EncryptFileRc4(Path("in").c_str(), Path("in").c_str(), &context, 100), kRc4FileDone);
    Bytes expected(input.begin() + 100, input.end());
    Rc4Context reference;
    InitRc4(&reference, key.data(), key.size());
    CryptRc4(&reference, expected.data(), expected.size());
    EXPECT_EQ(testsupport::ReadFile(Path("in")), expected);
}

TEST_F(Rc4File, PrefixEqualToTheSizeCreatesAnEmptyOutput)
{
    Rc4Context context;
    InitRc4(&context, key.data(), key.size());
    ASSERT_EQ(Run(Pattern(50), 50, &context), kRc4FileDone);
    std::FILE* f = std::fopen(Path("out").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(testsupport::ReadFile(Path("out")).empty());
}

TEST_F(Rc4File, FailuresAnswerTheirCodes)
{
    Rc4Context context;
    InitRc4(&context, key.data(), key.size());
    // A prefix longer than the file: no output file at all.
    EXPECT_EQ(Run(Pattern(50), 100, &context), kRc4FileInputShorterThanPrefix);
    EXPECT_EQ(std::fopen(Path("out").c_str(), "rb"), nullptr);
    EXPECT_EQ(Run(Pattern(5000), 4001 + 1000, &context), kRc4FileInputShorterThanPrefix);

    EXPECT_EQ(EncryptFileRc4(Path("out").c_str(), Path("missing").c_str(), &context, 0), kRc4FileCannotOpenInput);
    ASSERT_TRUE(testsupport::WriteFile(Path("in"), Pattern(10).data(), 10));
    const std::string noFolder = testsupport::WorkDir() + "/no-such-folder/out";
    EXPECT_EQ(EncryptFileRc4(noFolder.c_str(), Path("in").c_str(), &context, 0), kRc4FileCannotCreateOutput);
}

// A host shell line (no double quotes); its exit status.
int HostShell(const std::string& line)
{
#ifdef _WIN32
    return testsupport::openssl::RunShell(line);
#else
    const int status = std::system(line.c_str());
    return status == -1 ? -1 : WEXITSTATUS(status);
#endif
}

// The output's disk full (a small file system of its own, which needs the
// host's mount), with an output small enough to stay buffered until the
// file is closed: a failed write, the earlier file as it was, nothing beside it.
TEST_F(Rc4File, FullDiskIsAFailedWriteAndKeepsTheEarlierOutput)
{
    const std::string folder = testsupport::WorkDir() + "/rc4-fulldisk";
    HostShell("umount " + folder + " 2>/dev/null; mkdir -p " + folder);
    if (HostShell("mount -t tmpfs -o size=64k tmpfs " + folder + " 2>/dev/null") != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    struct Unmount {
        std::string folder;
        ~Unmount() { HostShell("umount " + folder); }
    } unmount{folder};
    const std::string output = folder + "/out.bin";
    ASSERT_TRUE(testsupport::WriteFile(output, "earlier", 7));
    HostShell("dd if=/dev/zero of=" + folder + "/filler bs=1024 2>/dev/null");
    ASSERT_EQ(HostShell("test $(df --output=avail " + folder + " | tail -1) -eq 0"), 0) << "not full";
    ASSERT_TRUE(testsupport::WriteFile(Path("in"), Pattern(100).data(), 100));
    Rc4Context context;
    InitRc4(&context, key.data(), key.size());
    EXPECT_EQ(EncryptFileRc4(output.c_str(), Path("in").c_str(), &context, 0), kRc4FileWriteFailed);
    EXPECT_EQ(testsupport::ReadFile(output), (Bytes{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    EXPECT_EQ(std::fopen((output + ".part0").c_str(), "rb"), nullptr);
    EXPECT_EQ(std::fopen((output + ".old0").c_str(), "rb"), nullptr);
}

#ifndef _WIN32
// Over the file-size limit every further write fails (SIGXFSZ ignored): the
// failure is reported and the output file keeps what it held before.
TEST_F(Rc4File, WriteFailureIsReportedAndKeepsTheOldOutput)
{
    ASSERT_TRUE(testsupport::WriteFile(Path("in"), Pattern(20000).data(), 20000));
    ASSERT_TRUE(testsupport::WriteFile(Path("out"), "old", 3));
    Rc4Context context;
    InitRc4(&context, key.data(), key.size());
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 9000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = EncryptFileRc4(Path("out").c_str(), Path("in").c_str(), &context, 0);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, kRc4FileWriteFailed);
    EXPECT_EQ(testsupport::ReadFile(Path("out")), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::fopen((Path("out") + ".part0").c_str(), "rb"), nullptr);
}

// However the final rename fails, the earlier output keeps its bytes and no
// file of ours is left beside it; where rename does not replace (Windows),
// the output still takes its new bytes.
TEST_F(Rc4File, FailingRenameKeepsTheEarlierOutput)
{
    using namespace rename_fault;
    const Bytes input = Pattern(9000, 3);
    const Bytes earlier = Pattern(100, 9);
    Bytes encrypted(input.begin(), input.end());
    Rc4Context reference;
    InitRc4(&reference, key.data(), key.size());
    CryptRc4(&reference, encrypted.data(), encrypted.size());
    struct Case {
        const char* what;
        Mode mode;
        int result;
    } cases[] = {
        {"rename replaces", {false, false, false}, kRc4FileDone},
        {"rename does not replace", {true, false, false}, kRc4FileDone},
        {"the new output cannot take the name", {false, true, false}, kRc4FileCannotCreateOutput},
        {"no replacing, the new output cannot take the name", {true, true, false}, kRc4FileCannotCreateOutput},
        {"no replacing, the earlier output cannot move", {true, false, true}, kRc4FileCannotCreateOutput},
    };
    const auto ours = [] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(testsupport::WorkDir())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("rc4file-out.", 0) == 0) names.push_back(name);
        }
        return names;
    };
    for (const std::string& name : ours()) std::remove((testsupport::WorkDir() + "/" + name).c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testsupport::WriteFile(Path("out"), earlier.data(), earlier.size()));
        Rc4Context context;
        InitRc4(&context, key.data(), key.size());
        output = Path("out");
        mode = c.mode;
        const int result = Run(input, 0, &context);
        mode = Mode{};
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(testsupport::ReadFile(Path("out")), c.result == kRc4FileDone ? encrypted : earlier);
        EXPECT_EQ(ours(), std::vector<std::string>{});
    }
}

// A folder opens for reading on Linux but every read fails: not a complete output.
TEST_F(Rc4File, ReadFailureIsNotSuccess)
{
    Rc4Context context;
    InitRc4(&context, key.data(), key.size());
    std::FILE* probe = std::fopen(testsupport::WorkDir().c_str(), "rb");
    if (!probe) GTEST_SKIP() << "folders do not open as files here";
    std::fclose(probe);
    EXPECT_EQ(EncryptFileRc4(Path("out").c_str(), testsupport::WorkDir().c_str(), &context, 0), kRc4FileReadFailed);
}
#endif

#ifdef _WIN32
// An output another handle holds open without sharing its deletion cannot
// be renamed, nor replaced: the rename fails and the output keeps its bytes.
TEST_F(Rc4File, HeldOutputKeepsItsBytes)
{
    const Bytes earlier = Pattern(100, 9);
    ASSERT_TRUE(testsupport::WriteFile(Path("out"), earlier.data(), earlier.size()));
    std::FILE* held = std::fopen(Path("out").c_str(), "rb");
    ASSERT_NE(held, nullptr);
    Rc4Context context;
    InitRc4(&context, key.data(), key.size());
    const int result = Run(Pattern(9000, 3), 0, &context);
    std::fclose(held);
    EXPECT_EQ(result, kRc4FileCannotCreateOutput);
    EXPECT_EQ(testsupport::ReadFile(Path("out")), earlier);
    EXPECT_EQ(std::fopen((Path("out") + ".part0").c_str(), "rb"), nullptr);
    EXPECT_EQ(std::fopen((Path("out") + ".old0").c_str(), "rb"), nullptr);
}
#endif

}  // namespace
