#include "core/datasets/datasets.h"

#include <cstdlib>
#include <new>

#include "core/der/bytes.h"

namespace {

void FreeItem(DataItem* item)
{
    FillBytes(item->data, 0, item->length);
    std::free(item->data);
    // The whole record, pointers included, whatever their width.
    FillBytes(item, 0, sizeof *item);
    std::free(item);
}

void FreeList(DataItem* item)
{
    while (item) {
        DataItem* next = item->next;
        FreeItem(item);
        item = next;
    }
}

}  // namespace

int InitDataSets(DataSets* sets)
{
    for (DataSetSlot& slot : sets->slots) slot.head = nullptr;
    return kDataSetsOk;
}

int AddDataItem(DataSets* sets, std::uint32_t slot, const void* data, std::size_t length)
{
    if (slot >= kDataSetSlots) return kDataSetsBadSlot;
    // Null data has no bytes to copy, whatever length comes with it.
    if (length == 0 || !data) return kDataSetsZeroLength;
    DataItem* item = static_cast<DataItem*>(std::malloc(sizeof(DataItem)));
    unsigned char* copy = static_cast<unsigned char*>(std::malloc(length));
    if (!item || !copy) {
        std::free(item);
        std::free(copy);
        return kDataSetsNoMemory;
    }
    CopyBytes(copy, data, length);
    item->data = copy;
    item->length = length;
    item->next = nullptr;
    DataItem** tail = &sets->slots[slot].head;
    while (*tail) tail = &(*tail)->next;
    *tail = item;
    return kDataSetsOk;
}

int CountDataItems(const DataSets* sets, std::uint32_t slot, std::uint32_t* count)
{
    *count = 0;
    if (slot >= kDataSetSlots) return kDataSetsBadSlot;
    for (const DataItem* item = sets->slots[slot].head; item; item = item->next) ++*count;
    return kDataSetsOk;
}

int GetDataItem(const DataSets* sets, std::uint32_t slot, std::uint32_t number, const unsigned char** data,
                std::size_t* length)
{
    *data = nullptr;
    *length = 0;
    if (slot >= kDataSetSlots) return kDataSetsBadSlot;
    if (number == 0) return kDataSetsNoItem;
    const DataItem* item = sets->slots[slot].head;
    for (std::uint32_t i = 1; item && i < number; ++i) item = item->next;
    if (!item) return kDataSetsNoItem;
    *data = item->data;
    *length = item->length;
    return kDataSetsOk;
}

int DeleteDataItem(DataSets* sets, std::uint32_t slot, std::uint32_t number)
{
    if (slot >= kDataSetSlots) return kDataSetsBadSlot;
    if (number == 0) return kDataSetsNoItem;
    DataItem** link = &sets->slots[slot].head;
    for (std::uint32_t i = 1; *link && i < number; ++i) link = &(*link)->next;
    DataItem* item = *link;
    if (!item) return kDataSetsNoItem;
    *link = item->next;
    FreeItem(item);
    return kDataSetsOk;
}

int CopyDataItem(DataSets* sets, std::uint32_t toSlot, std::uint32_t fromSlot, std::uint32_t number)
{
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    int result = GetDataItem(sets, fromSlot, number, &data, &length);
    if (result != kDataSetsOk) return result;
    return AddDataItem(sets, toSlot, data, length);
}

int ClearDataSet(DataSets* sets, std::uint32_t slot)
{
    if (slot >= kDataSetSlots) return kDataSetsBadSlot;
    DataItem* list = sets->slots[slot].head;
    sets->slots[slot].head = nullptr;
    FreeList(list);
    return kDataSetsOk;
}

int EmptyDataSet(DataSets* sets, std::uint32_t slot) { return ClearDataSet(sets, slot); }

int DeleteDataSets(DataSets* sets)
{
    for (std::uint32_t slot = 0; slot < kDataSetSlots; ++slot) ClearDataSet(sets, slot);
    return kDataSetsOk;
}

int CountFilledDataSets(const DataSets* sets, std::uint32_t* count)
{
    *count = 0;
    for (const DataSetSlot& slot : sets->slots)
        if (slot.head) ++*count;
    return kDataSetsOk;
}

int SwapDataSets(DataSets* sets, std::uint32_t a, std::uint32_t b)
{
    if (a >= kDataSetSlots || b >= kDataSetSlots) return kDataSetsBadSlot;
    DataItem* head = sets->slots[a].head;
    sets->slots[a].head = sets->slots[b].head;
    sets->slots[b].head = head;
    return kDataSetsOk;
}

int ClearHighDataSets(DataSets* sets)
{
    for (std::uint32_t slot = 31; slot < kDataSetSlots; ++slot) ClearDataSet(sets, slot);
    return kDataSetsOk;
}
