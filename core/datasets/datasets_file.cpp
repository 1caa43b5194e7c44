#include <cstdio>
#include <cstdlib>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"

int ReadSmallFile(const char* fileName, unsigned char* buffer, std::size_t* length, bool* opened)
{
    *length = 0;
    if (opened) *opened = false;
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) return kDataSetsCannotOpen;
    if (opened) *opened = true;
    std::size_t count = std::fread(buffer, 1, kDataItemFileLimit, file);
    // A read error must not pass as a short file.
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        FillBytes(buffer, 0, count);
        return kDataSetsCannotOpen;
    }
    if (count == 0) return kDataSetsEmptyFile;
    if (count == kDataItemFileLimit) {
        FillBytes(buffer, 0, count);
        return kDataSetsNoMemory;
    }
    *length = count;
    return kDataSetsOk;
}

int LoadDataItemFromFile(DataSets* sets, std::uint32_t slot, const char* fileName)
{
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kDataItemFileLimit));
    if (!buffer) return kDataSetsNoMemory;
    std::size_t length = 0;
    int result = ReadSmallFile(fileName, buffer, &length, nullptr);
    if (result == kDataSetsOk) result = AddDataItem(sets, slot, buffer, length);
    FillBytes(buffer, 0, kDataItemFileLimit);
    std::free(buffer);
    return result;
}
