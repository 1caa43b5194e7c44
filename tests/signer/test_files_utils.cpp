// Hex texts, file digests, temporary files, whole-file base64 conversion,
// the base64 input detection and base64 messages decoded as they are fed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "signer/driver_util.h"
#include "signer/errors.h"
#include "signer/files/file_utils.h"
#include "signer/files/temp_file.h"
#include "tests/support/test_util.h"

namespace {

std::vector<unsigned char> Pattern(std::size_t n)
{
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(i * 7 + 3);
    return v;
}

std::string DataFile(const char* name)
{
    return testsupport::SourceDir() + "/tests/data/" + name;
}

std::string Scratch(const char* name)
{
    return testsupport::WorkDir() + "/" + name;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadText(const std::string& path)
{
    auto bytes = testsupport::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string WithoutBreaks(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

TEST(HexText, SpacedAndPlain)
{
    const unsigned char bytes[] = {0x00, 0xff, 0x1a, 0xA0};
    std::string text = "old";
    BytesToHexSpaced(text, bytes, 4);
    EXPECT_EQ(text, "00 ff 1a a0 ");
    BytesToHex(text, bytes, 4);
    EXPECT_EQ(text, "00ff1aa0");
    BytesToHex(text, bytes, 0);
    EXPECT_EQ(text, "");
}

struct DigestCase {
    std::size_t size;  // bytes of the pattern; SIZE_MAX: "abc"
    const char* md5;   // from md5sum
};

class FileDigest : public ::testing::TestWithParam<DigestCase> {};

TEST_P(FileDigest, IsTheMd5OfTheWholeFile)
{
    const DigestCase& c = GetParam();
    std::vector<unsigned char> data =
        c.size == SIZE_MAX ? std::vector<unsigned char>{'a', 'b', 'c'} : Pattern(c.size);
    std::string path = Scratch("digest.bin");
    ASSERT_TRUE(testsupport::WriteFile(path, data.data(), data.size()));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 0, SEEK_END);  // the digest starts from the beginning anyway
    std::string text;
    EXPECT_TRUE(FileDigestHex(file, text));
    std::fclose(file);
    std::string expected;
    for (const char* p = c.md5; *p; p += 2) {
        if (!expected.empty()) expected += ' ';
        expected.append(p, 2);
    }
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.size(), 47u);
}

INSTANTIATE_TEST_SUITE_P(
    Known, FileDigest,
    ::testing::Values(DigestCase{0, "d41d8cd98f00b204e9800998ecf8427e"},
                      DigestCase{SIZE_MAX, "900150983cd24fb0d6963f7d28e17f72"},
                      DigestCase{20000, "6633ba8338d338dc3f3b642b440364ac"}));

TEST(FileDigest, ReadFailureEndsWithFalse)
{
    // A file open only for writing cannot be read: the digest must stop, not loop.
    std::string path = Scratch("digest-write-only.bin");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("some bytes", file);
    std::string text = "unchanged";
    EXPECT_FALSE(FileDigestHex(file, text));
    EXPECT_EQ(text, "unchanged");
    std::fclose(file);
    EXPECT_FALSE(FileDigestHex(nullptr, text));
}

std::string TempFolder()
{
    char folder[MAX_PATH];
    DWORD n = GetTempPathA(sizeof folder, folder);
    return std::string(folder, n);
}

std::string BaseName(const std::string& path)
{
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

TEST(TempFiles, NamesAreNewFilesInTheTempFolder)
{
    std::string one = MakeTempFileName();
    std::string two = MakeTempFileName();
    std::string crl = MakeTempFileNameWithPrefix("CRL");
    std::string none = MakeTempFileNameWithPrefix(nullptr);
    EXPECT_NE(one, two);
    for (const std::string& name : {one, two, crl, none}) {
        EXPECT_TRUE(Exists(name)) << name;
        EXPECT_EQ(testsupport::ReadFile(name).size(), 0u);
        EXPECT_EQ(name.compare(0, TempFolder().size(), TempFolder()), 0) << name;
        DeleteFileA(name.c_str());
    }
    EXPECT_EQ(BaseName(one).compare(0, 3, "tkw"), 0) << one;
    EXPECT_EQ(BaseName(crl).compare(0, 3, "CRL"), 0) << crl;
}

TEST(TempFiles, OwnerDeletesOnEveryPath)
{
    std::string name;
    {
        TTempFile temp;
        name = temp.Name();
        EXPECT_TRUE(Exists(name));
    }
    EXPECT_FALSE(Exists(name));

    try {
        TTempFile temp;
        name = temp.Name();
        ASSERT_TRUE(testsupport::WriteFile(name, "data", 4));
        throw std::runtime_error("through the owner");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(Exists(name));

    TTempFile early("CRL");
    name = early.Name();
    EXPECT_TRUE(early.Remove());
    EXPECT_FALSE(Exists(name));
    EXPECT_TRUE(early.Name().empty());
}

struct Converted {
    bool ok;
    std::string text;
};

Converted ToBase64(const std::vector<unsigned char>& data, unsigned width)
{
    std::string in = Scratch("convert-in.bin");
    std::string out = Scratch("convert-out.b64");
    testsupport::WriteFile(in, data.data(), data.size());
    DeleteFileA(out.c_str());
    bool ok = width ? ConvertFileBase64Width(in.c_str(), out.c_str(), kToBase64, width)
                    : ConvertFileBase64(in.c_str(), out.c_str(), kToBase64);
    return {ok, ReadText(out)};
}

std::vector<unsigned char> FromBase64File(const std::string& source, bool* ok)
{
    std::string out = Scratch("convert-back.bin");
    DeleteFileA(out.c_str());
    *ok = ConvertFileBase64(source.c_str(), out.c_str(), kFromBase64);
    return testsupport::ReadFile(out);
}

TEST(Base64Files, OneByteRoundTrip)
{
    Converted c = ToBase64({0x4D}, 0);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(WithoutBreaks(c.text), "TQ==");
    bool ok = false;
    EXPECT_EQ(FromBase64File(Scratch("convert-out.b64"), &ok), std::vector<unsigned char>{0x4D});
    EXPECT_TRUE(ok);
}

TEST(Base64Files, MatchesOpenSsl)
{
    std::vector<unsigned char> data = Pattern(1000);
    std::string expected = ReadText(DataFile("files/pattern1000.b64"));
    ASSERT_FALSE(expected.empty());
    Converted c = ToBase64(data, 0);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(WithoutBreaks(c.text), WithoutBreaks(expected));
    EXPECT_EQ(c.text.substr(64, 2), "\r\n");  // 16 groups a line by default

    bool ok = false;
    EXPECT_EQ(FromBase64File(DataFile("files/pattern1000.b64"), &ok), data);
    EXPECT_TRUE(ok);
    EXPECT_EQ(FromBase64File(DataFile("files/rich.b64"), &ok), testsupport::ReadFile(DataFile("cert/rich.der")));
    EXPECT_TRUE(ok);
}

TEST(Base64Files, WidthCountsGroupsOfFour)
{
    std::vector<unsigned char> data = Pattern(20000);
    Converted c = ToBase64(data, 500);
    ASSERT_TRUE(c.ok);
    std::size_t start = 0, lines = 0;
    for (std::size_t end; (end = c.text.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines) {
        if (end + 2 < c.text.size()) EXPECT_EQ(end - start, 2000u) << "line " << lines;
    }
    EXPECT_EQ(lines, 13u);  // 26668 characters: 13 full lines of 2000 and the rest
    bool ok = false;
    EXPECT_EQ(FromBase64File(Scratch("convert-out.b64"), &ok), data);
    EXPECT_TRUE(ok);
}

TEST(Base64Files, UnwrittenOutputIsAFailure)
{
    std::string in = Scratch("convert-in.bin");
    testsupport::WriteFile(in, "abc", 3);
    std::string missing = Scratch("no-such-input.bin");
    std::string out = Scratch("convert-out.b64");
    std::string noFolder = Scratch("no-such-folder/out.b64");
    EXPECT_FALSE(ConvertFileBase64(missing.c_str(), out.c_str(), kToBase64));
    EXPECT_FALSE(ConvertFileBase64(missing.c_str(), out.c_str(), kFromBase64));
    EXPECT_FALSE(ConvertFileBase64(in.c_str(), noFolder.c_str(), kToBase64));
    EXPECT_FALSE(ConvertFileBase64Width(in.c_str(), noFolder.c_str(), kToBase64, 500));
    EXPECT_FALSE(ConvertFileBase64(nullptr, out.c_str(), kToBase64));
}

TEST(Base64Input, FirstByteM)
{
    std::string empty = Scratch("empty.bin");
    testsupport::WriteFile(empty, "", 0);
    EXPECT_TRUE(IsBase64Input(DataFile("files/rich.b64")));
    EXPECT_FALSE(IsBase64Input(DataFile("cert/rich.der")));
    EXPECT_FALSE(IsBase64Input(empty));
    EXPECT_THROW(IsBase64Input(Scratch("no-such-input.bin")), EFileOpenError);
}

// What a feed hands to its layer: the bytes, and which update was the last.
struct FeedRecorder {
    std::vector<unsigned char> bytes;
    int updates = 0;
    int lastAt = -1;
    bool Update(const unsigned char* data, std::size_t length, bool last)
    {
        EXPECT_EQ(lastAt, -1) << "an update after the last";
        bytes.insert(bytes.end(), data, data + length);
        if (last) lastAt = updates;
        ++updates;
        return true;
    }
};

FeedRecorder FeedByName(const std::string& path, bool base64)
{
    FeedRecorder recorder;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    if (!file) return recorder;
    EXPECT_TRUE(FeedMessageFile(file, base64, recorder));
    std::fclose(file);
    EXPECT_EQ(recorder.lastAt, recorder.updates - 1) << "the last update must carry the flag";
    return recorder;
}

// Base64 text is decoded as it is fed, to exactly the bytes the whole-file
// converter writes, whatever the text holds: a decoded copy on disk and
// the feed must not differ, bad text included.
TEST(Base64Input, FedAsTheConverterDecodes)
{
    std::string longText = "M";
    while (longText.size() < kFeedBlockSize) longText += "QUJD";  // ends inside a group
    std::string exactBlock = longText.substr(0, kFeedBlockSize);  // one text block exactly
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"armoured, CRLF lines", "-----BEGIN PKCS7-----\r\nMIIBCgYJ\r\nKoZIhvcN\r\n-----END PKCS7-----\r\n"},
        {"not base64 at all", "M!!not base64, at all??\r\n\x80\xff"},
        {"padding in the middle", "MQ==QUJDRA=="},
        {"group left incomplete", "MQUJDRE"},
        {"lone M", "M"},
        {"one text block exactly", exactBlock},
        {"a text block and a bit", longText + "RA=="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = Scratch("feed.b64");
        std::string decoded = Scratch("feed.der");
        ASSERT_TRUE(testsupport::WriteFile(text, c.text.data(), c.text.size()));
        ConvertFileBase64(text.c_str(), decoded.c_str(), kFromBase64);
        EXPECT_EQ(FeedByName(text, true).bytes, testsupport::ReadFile(decoded));
    }

    // A large message in lines of 500, as the signing operations write it.
    std::string der = Scratch("feed-large.der");
    std::string text = Scratch("feed-large.b64");
    std::vector<unsigned char> data = Pattern(300001);
    ASSERT_TRUE(testsupport::WriteFile(der, data.data(), data.size()));
    ASSERT_TRUE(ConvertFileBase64Width(der.c_str(), text.c_str(), kToBase64, 500));
    EXPECT_EQ(FeedByName(text, true).bytes, data);
    EXPECT_EQ(FeedByName(DataFile("files/rich.b64"), true).bytes, testsupport::ReadFile(DataFile("cert/rich.der")));
    // DER is fed as it is stored.
    EXPECT_EQ(FeedByName(der, false).bytes, data);
}

}  // namespace
