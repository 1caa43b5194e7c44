// DataSets: 51 numbered slots, each an ordered list of owned byte strings
// numbered from 1. Every item is a heap copy, wiped before it is freed.
#pragma once
#include <cstddef>
#include <cstdint>

enum : std::uint32_t {
    kDataSetSlots = 51,
    kDataItemFileLimit = 6144,  // a loaded file must be shorter
};

// Results (0 is success).
enum : int {
    kDataSetsOk = 0,
    kDataSetsBadSlot = 2,
    kDataSetsNoMemory = 4,   // also a file of kDataItemFileLimit bytes or more
    kDataSetsNoItem = 5,
    kDataSetsEmptyFile = 6,
    kDataSetsZeroLength = 7, // also null data, whatever the length
    kDataSetsCannotOpen = 8, // also a file that cannot be read whole
};

struct DataItem {
    unsigned char* data;
    std::size_t length;  // never 0
    DataItem* next;
};

struct DataSetSlot {
    std::uint32_t reserved[2];  // never read or written
    DataItem* head;
};

// Owned by the caller; InitDataSets before first use, DeleteDataSets at the end.
struct DataSets {
    DataSetSlot slots[kDataSetSlots];
};

int InitDataSets(DataSets* sets);
// Appends a copy of the bytes; on failure nothing is added. Null data is
// refused as a zero length is.
int AddDataItem(DataSets* sets, std::uint32_t slot, const void* data, std::size_t length);
int CountDataItems(const DataSets* sets, std::uint32_t slot, std::uint32_t* count);
// A view into the container's copy, valid until the item is deleted.
int GetDataItem(const DataSets* sets, std::uint32_t slot, std::uint32_t number, const unsigned char** data,
                std::size_t* length);
int DeleteDataItem(DataSets* sets, std::uint32_t slot, std::uint32_t number);
// Target slot first.
int CopyDataItem(DataSets* sets, std::uint32_t toSlot, std::uint32_t fromSlot, std::uint32_t number);
int ClearDataSet(DataSets* sets, std::uint32_t slot);
int EmptyDataSet(DataSets* sets, std::uint32_t slot);
int DeleteDataSets(DataSets* sets);
int CountFilledDataSets(const DataSets* sets, std::uint32_t* count);
int SwapDataSets(DataSets* sets, std::uint32_t a, std::uint32_t b);
// Clears slots 31 to 50.
int ClearHighDataSets(DataSets* sets);

// Reads the whole file (shorter than kDataItemFileLimit) into a new item of
// the slot: kDataSetsCannotOpen when it cannot be opened or read,
// kDataSetsEmptyFile when empty, kDataSetsNoMemory when too large.
int LoadDataItemFromFile(DataSets* sets, std::uint32_t slot, const char* fileName);

// The same bounded whole-file read for callers that keep the bytes: buffer
// holds kDataItemFileLimit bytes; the results are those above. opened
// (optional) tells a file that opened but could not be read from one that
// did not open.
int ReadSmallFile(const char* fileName, unsigned char* buffer, std::size_t* length, bool* opened);
