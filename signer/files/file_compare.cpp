#include "signer/files/file_compare.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "signer/driver_util.h"
#include "signer/files/file_utils.h"

namespace {

bool ReadWhole(std::FILE* file, unsigned char* block, std::size_t want)
{
    return std::fread(block, 1, want, file) == want;
}

bool EndsHere(std::FILE* file)
{
    return std::fgetc(file) == EOF && !std::ferror(file);
}

}  // namespace

FileComparison CompareFiles(const std::string& first, const std::string& second)
{
    TFile a = OpenFileOrThrow(first, "rb");
    TFile b = OpenFileOrThrow(second, "rb");
    std::uint64_t sizeA = 0;
    std::uint64_t sizeB = 0;
    if (!FileSize(a.Get(), sizeA) || !FileSize(b.Get(), sizeB)) return FileComparison::ReadFailed;
    if (sizeA != sizeB) return FileComparison::Different;
    std::vector<unsigned char> blockA(kFileBlockSize);
    std::vector<unsigned char> blockB(kFileBlockSize);
    for (std::uint64_t left = sizeA; left > 0;) {
        std::size_t want = left < kFileBlockSize ? static_cast<std::size_t>(left) : kFileBlockSize;
        if (!ReadWhole(a.Get(), blockA.data(), want) || !ReadWhole(b.Get(), blockB.data(), want))
            return FileComparison::ReadFailed;
        if (std::memcmp(blockA.data(), blockB.data(), want) != 0) return FileComparison::Different;
        left -= want;
    }
    if (!EndsHere(a.Get()) || !EndsHere(b.Get())) return FileComparison::ReadFailed;
    return FileComparison::Same;
}
