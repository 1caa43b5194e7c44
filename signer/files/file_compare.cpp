#include "signer/files/file_compare.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "signer/driver_util.h"
#include "signer/files/file_utils.h"

bool FilesHaveSameBytes(const std::string& first, const std::string& second)
{
    TFile a = OpenFileOrThrow(first, "rb");
    TFile b = OpenFileOrThrow(second, "rb");
    std::uint64_t sizeA = 0;
    std::uint64_t sizeB = 0;
    if (!FileSize(a.Get(), sizeA) || !FileSize(b.Get(), sizeB) || sizeA != sizeB) return false;
    std::vector<unsigned char> blockA(kFileBlockSize);
    std::vector<unsigned char> blockB(kFileBlockSize);
    for (std::uint64_t left = sizeA; left > 0;) {
        std::size_t want = left < kFileBlockSize ? static_cast<std::size_t>(left) : kFileBlockSize;
        if (std::fread(blockA.data(), 1, want, a.Get()) != want || std::fread(blockB.data(), 1, want, b.Get()) != want)
            return false;
        if (std::memcmp(blockA.data(), blockB.data(), want) != 0) return false;
        left -= want;
    }
    return true;
}
