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
    if (!FileSize(a.get(), sizeA) || !FileSize(b.get(), sizeB) || sizeA != sizeB) return false;
    std::vector<unsigned char> blockA(kFeedBlock);
    std::vector<unsigned char> blockB(kFeedBlock);
    for (std::uint64_t left = sizeA; left > 0;) {
        std::size_t want = left < kFeedBlock ? static_cast<std::size_t>(left) : kFeedBlock;
        if (std::fread(blockA.data(), 1, want, a.get()) != want || std::fread(blockB.data(), 1, want, b.get()) != want)
            return false;
        if (std::memcmp(blockA.data(), blockB.data(), want) != 0) return false;
        left -= want;
    }
    return true;
}
