// Reading the data sets' items as views. Internal to ocsp_protocol.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"

namespace ocsp_items {

// Item number (from 1) of the slot as a view; false when it is missing.
bool Get(const DataSets* sets, std::uint32_t slot, std::uint32_t number, ByteBuffer* item);
// Every item of the slot into a table of kOCSPMaxCertificates entries;
// false when the slot holds more than the table.
bool GetAll(const DataSets* sets, std::uint32_t slot, ByteBuffer* items, std::size_t* count);
// The number of items, 0 for a bad slot.
std::uint32_t Count(const DataSets* sets, std::uint32_t slot);
bool Add(DataSets* sets, std::uint32_t slot, const ByteBuffer& item);
bool Equal(const ByteBuffer& a, const ByteBuffer& b);

}  // namespace ocsp_items
