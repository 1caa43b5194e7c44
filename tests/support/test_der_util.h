// DER made by OpenSSL for the DER, OID and stream reader tests.
#pragma once
#include <string>
#include <vector>

#include "core/io/stream.h"
#include "tests/support/test_util.h"

namespace testsupport::der {

#ifndef _WIN32
// DER that `openssl asn1parse -genconf` makes from the config text; empty
// when openssl fails. Files go to the test's work folder under name.
inline std::vector<unsigned char> GenConf(const std::string& name, const std::string& config)
{
    std::string base = testsupport::WorkDir() + "/der-" + name;
    if (!testsupport::WriteFile(base + ".cnf", config.data(), config.size())) return {};
    std::remove((base + ".der").c_str());
    int status = -1;
    testsupport::RunCommand("openssl asn1parse -noout -genconf '" + base + ".cnf' -out '" + base + ".der' 2>&1",
                         &status);
    if (status != 0) return {};
    return testsupport::ReadFile(base + ".der");
}

// The same for a committed config in tests/data/der.
inline std::vector<unsigned char> GenConfFixture(const std::string& file)
{
    std::vector<unsigned char> text = testsupport::ReadFile(testsupport::SourceDir() + "/tests/data/der/" + file);
    if (text.empty()) return {};
    return GenConf(file.substr(0, file.rfind('.')), std::string(text.begin(), text.end()));
}

// DER of one value from `openssl asn1parse -genstr`.
inline std::vector<unsigned char> GenStr(const std::string& name, const std::string& genstr)
{
    std::string out = testsupport::WorkDir() + "/der-" + name + ".der";
    std::remove(out.c_str());
    int status = -1;
    testsupport::RunCommand("openssl asn1parse -noout -genstr '" + genstr + "' -out '" + out + "' 2>&1", &status);
    if (status != 0) return {};
    return testsupport::ReadFile(out);
}
#endif

// A stream of the kind and transfer mode that holds the bytes, written
// through the stream itself and started for reading. blockSize: chain block
// size; file streams live in the work folder.
struct ReadingStream {
    DataStream stream{};
    bool ready = false;

    ReadingStream(const std::vector<unsigned char>& bytes, unsigned char kind = kStreamMemory,
                  std::uint32_t mode = kTransferRaw, std::size_t blockSize = 0, const char* fileName = "der-stream.bin")
    {
        if (OpenStream(&stream, kind, mode) != kStreamSuccess) return;
        int code = kStreamSuccess;
        std::string path = testsupport::WorkDir() + "/" + fileName;
        if (kind == kStreamMemory) code = SetStreamBufferSize(&stream, 6 * bytes.size() + 16);
        if (kind == kStreamChain) code = SetStreamBlockSize(&stream, blockSize);
        if (kind == kStreamFile) code = SetStreamFile(&stream, path.c_str());
        if (code != kStreamSuccess || StartStream(&stream, kOpenWrite) != kStreamSuccess) return;
        std::size_t count = 0;
        if (!bytes.empty() && WriteStream(&stream, bytes.data(), bytes.size(), &count) != kStreamSuccess) return;
        if (FlushStream(&stream) != kStreamSuccess || StartStream(&stream, kOpenRead) != kStreamSuccess) return;
        ready = true;
    }
    ~ReadingStream() { CloseStream(&stream); }
    ReadingStream(const ReadingStream&) = delete;
    ReadingStream& operator=(const ReadingStream&) = delete;
};

inline std::string Hex(const std::vector<unsigned char>& v) { return testsupport::ToHex(v.data(), v.size()); }

}  // namespace testsupport::der
