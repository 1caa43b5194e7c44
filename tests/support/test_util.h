// Shared test helpers: environment folders and peer commands.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Folder from an environment variable set by CTest, or a fallback.
inline std::string EnvDir(const char* name, const char* fallback = ".")
{
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : std::string(fallback);
}
// Where a suite writes its files: the folder CTest gives it, or, run by
// hand, a folder of its own under the system's temporary folder, never the
// current folder (which may be the checkout).
inline std::string WorkDir()
{
    const char* v = std::getenv("TAVOMIR_WORK_DIR");
    if (v && *v) return v;
    static const std::string fallback = [] {
        std::error_code error;
        std::filesystem::path folder = std::filesystem::temp_directory_path(error) / "tavomir-test-work";
        std::filesystem::create_directories(folder, error);
        return folder.string();
    }();
    return fallback;
}
inline std::string SourceDir() { return EnvDir("TAVOMIR_SOURCE_DIR", ".."); }
inline std::string PkiDir() { return EnvDir("TAVOMIR_PKI_DIR"); }
// A file of the test PKI.
inline std::string Pki(const std::string& file) { return PkiDir() + "/" + file; }

inline std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::vector<unsigned char> data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char block[8192];
        std::size_t n;
        while ((n = std::fread(block, 1, sizeof block, f)) > 0) data.insert(data.end(), block, block + n);
        std::fclose(f);
    }
    return data;
}

inline bool WriteFile(const std::string& path, const void* bytes, std::size_t count)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, count, f) == count;
    return std::fclose(f) == 0 && ok;
}

inline std::vector<unsigned char> FromHex(const std::string& hex)
{
    std::vector<unsigned char> out;
    int hi = -1;
    for (char c : hex) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0) continue;
        if (hi < 0) hi = v; else { out.push_back(static_cast<unsigned char>(hi * 16 + v)); hi = -1; }
    }
    return out;
}

inline std::string ToHex(const unsigned char* p, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) { s += digits[p[i] >> 4]; s += digits[p[i] & 15]; }
    return s;
}

#ifndef _WIN32
// Runs a shell command and returns its standard output; status in *status.
inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char block[4096];
        std::size_t n;
        while ((n = std::fread(block, 1, sizeof block, p)) > 0) out.append(block, n);
        int rc = pclose(p);
        if (status) *status = rc;
    } else if (status) {
        *status = -1;
    }
    return out;
}
#endif

}  // namespace testsupport
