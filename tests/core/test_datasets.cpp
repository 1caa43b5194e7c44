// DataSets: slot and item numbering, ownership and wiping, the file loader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/datasets/datasets.h"
#include "tests/support/test_util.h"

namespace {

struct Sets {
    DataSets sets;
    Sets() { InitDataSets(&sets); }
    ~Sets() { DeleteDataSets(&sets); }
};

std::string Item(const DataSets& sets, std::uint32_t slot, std::uint32_t number)
{
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    if (GetDataItem(&sets, slot, number, &data, &length) != kDataSetsOk) return "<none>";
    return std::string(reinterpret_cast<const char*>(data), length);
}

TEST(DataSets, DeletingRenumbersTheFollowingItems)
{
    Sets s;
    for (const char* text : {"one", "two", "three"}) ASSERT_EQ(AddDataItem(&s.sets, 7, text, std::strlen(text)), 0);
    EXPECT_EQ(DeleteDataItem(&s.sets, 7, 2), 0);
    std::uint32_t count = 99;
    EXPECT_EQ(CountDataItems(&s.sets, 7, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Item(s.sets, 7, 1), "one");
    EXPECT_EQ(Item(s.sets, 7, 2), "three");
    EXPECT_EQ(DeleteDataItem(&s.sets, 7, 3), kDataSetsNoItem);
    EXPECT_EQ(Item(s.sets, 7, 3), "<none>");
}

TEST(DataSets, RefusesBadSlotsNumbersAndLengths)
{
    Sets s;
    const unsigned char* data = reinterpret_cast<const unsigned char*>("x");
    std::size_t length = 5;
    std::uint32_t count = 5;
    EXPECT_EQ(AddDataItem(&s.sets, 51, "x", 1), kDataSetsBadSlot);
    EXPECT_EQ(AddDataItem(&s.sets, 3, "x", 0), kDataSetsZeroLength);
    // Null data is never read, whatever length comes with it.
    for (std::size_t nullLength : {std::size_t{0}, std::size_t{1}, std::size_t{6144}, ~std::size_t{0}})
        EXPECT_EQ(AddDataItem(&s.sets, 3, nullptr, nullLength), kDataSetsZeroLength) << nullLength;
    EXPECT_EQ(CountDataItems(&s.sets, 3, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(CountDataItems(&s.sets, 51, &count), kDataSetsBadSlot);
    ASSERT_EQ(AddDataItem(&s.sets, 3, "x", 1), 0);
    EXPECT_EQ(GetDataItem(&s.sets, 3, 0, &data, &length), kDataSetsNoItem);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(GetDataItem(&s.sets, 60, 1, &data, &length), kDataSetsBadSlot);
    EXPECT_EQ(ClearDataSet(&s.sets, 51), kDataSetsBadSlot);
    EXPECT_EQ(SwapDataSets(&s.sets, 3, 51), kDataSetsBadSlot);
    EXPECT_EQ(Item(s.sets, 3, 1), "x");
}

TEST(DataSets, CopySwapClearAndCount)
{
    Sets s;
    EXPECT_EQ(CopyDataItem(&s.sets, 2, 1, 1), kDataSetsNoItem);
    std::uint32_t count = 9;
    CountDataItems(&s.sets, 2, &count);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(AddDataItem(&s.sets, 1, "abc", 3), 0);
    ASSERT_EQ(AddDataItem(&s.sets, 40, "high", 4), 0);
    EXPECT_EQ(CopyDataItem(&s.sets, 2, 1, 1), 0);
    EXPECT_EQ(Item(s.sets, 2, 1), "abc");
    EXPECT_EQ(SwapDataSets(&s.sets, 2, 5), 0);
    EXPECT_EQ(Item(s.sets, 5, 1), "abc");
    EXPECT_EQ(Item(s.sets, 2, 1), "<none>");
    EXPECT_EQ(CountFilledDataSets(&s.sets, &count), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(ClearHighDataSets(&s.sets), 0);
    EXPECT_EQ(Item(s.sets, 40, 1), "<none>");
    EXPECT_EQ(EmptyDataSet(&s.sets, 1), 0);
    CountFilledDataSets(&s.sets, &count);
    EXPECT_EQ(count, 1u);
    // Cleared, the record is reusable without a new start.
    DeleteDataSets(&s.sets);
    CountFilledDataSets(&s.sets, &count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(AddDataItem(&s.sets, 0, "again", 5), 0);
}

TEST(DataSets, ItemsAreCopies)
{
    Sets s;
    char text[] = "secret";
    ASSERT_EQ(AddDataItem(&s.sets, 13, text, sizeof text), 0);
    text[0] = 'X';
    EXPECT_EQ(Item(s.sets, 13, 1), std::string("secret", 7));
}

// The loader's limits and its failure codes.
TEST(DataSetsFile, LoadsOnlyWholeSmallFiles)
{
    const std::string dir = testsupport::WorkDir();
    struct Case {
        std::size_t size;
        int result;
    } cases[] = {{6143, kDataSetsOk}, {6144, kDataSetsNoMemory}, {9000, kDataSetsNoMemory}, {0, kDataSetsEmptyFile}, {1, kDataSetsOk}};
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes(c.size);
        for (std::size_t i = 0; i < c.size; ++i) bytes[i] = static_cast<unsigned char>(i);
        const std::string path = dir + "/datasets-" + std::to_string(c.size) + ".bin";
        bytes.reserve(1);  // a real pointer also for the empty file
        ASSERT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
        Sets s;
        EXPECT_EQ(LoadDataItemFromFile(&s.sets, 4, path.c_str()), c.result) << c.size;
        std::uint32_t count = 0;
        CountDataItems(&s.sets, 4, &count);
        EXPECT_EQ(count, c.result == kDataSetsOk ? 1u : 0u) << c.size;
        if (c.result == kDataSetsOk) {
            EXPECT_EQ(Item(s.sets, 4, 1), std::string(bytes.begin(), bytes.end()));
        }
    }
    Sets s;
    EXPECT_EQ(LoadDataItemFromFile(&s.sets, 4, (dir + "/no-such-file.bin").c_str()), kDataSetsCannotOpen);
    EXPECT_EQ(LoadDataItemFromFile(&s.sets, 51, (dir + "/datasets-1.bin").c_str()), kDataSetsBadSlot);
}

#ifndef _WIN32
// A folder opens for reading on POSIX but cannot be read: a failure, not an
// item of the bytes read so far.
TEST(DataSetsFile, UnreadableFileIsNotAShortItem)
{
    Sets s;
    EXPECT_EQ(LoadDataItemFromFile(&s.sets, 4, testsupport::WorkDir().c_str()), kDataSetsCannotOpen);
    std::uint32_t count = 9;
    CountDataItems(&s.sets, 4, &count);
    EXPECT_EQ(count, 0u);
}
#endif

}  // namespace
