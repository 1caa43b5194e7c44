#include "ocsp/protocol/ocsp_set_items.h"

#include "ocsp/protocol/ocsp_sets.h"

const char kOCSPEmptyTime[6] = {'E', 'M', 'P', 'T', 'Y', '\0'};

namespace ocsp_items {

bool Get(const DataSets* sets, std::uint32_t slot, std::uint32_t number, ByteBuffer* item)
{
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    if (GetDataItem(sets, slot, number, &data, &length) != kDataSetsOk || !data || length == 0) return false;
    *item = ByteBuffer{const_cast<unsigned char*>(data), length};
    return true;
}

bool GetAll(const DataSets* sets, std::uint32_t slot, ByteBuffer* items, std::size_t* count)
{
    *count = 0;
    const std::uint32_t total = Count(sets, slot);
    if (total > kOCSPMaxCertificates) return false;
    for (std::uint32_t number = 1; number <= total; ++number)
        if (!Get(sets, slot, number, &items[number - 1])) return false;
    *count = total;
    return true;
}

std::uint32_t Count(const DataSets* sets, std::uint32_t slot)
{
    std::uint32_t count = 0;
    return CountDataItems(sets, slot, &count) == kDataSetsOk ? count : 0;
}

bool Add(DataSets* sets, std::uint32_t slot, const ByteBuffer& item)
{
    return item.pointer && item.length && AddDataItem(sets, slot, item.pointer, item.length) == kDataSetsOk;
}

bool Equal(const ByteBuffer& a, const ByteBuffer& b)
{
    return a.length == b.length && (a.length == 0 || CompareBytes(a.pointer, b.pointer, a.length) == 0);
}

}  // namespace ocsp_items
