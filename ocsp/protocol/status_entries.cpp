#include "ocsp/protocol/status_entries.h"

#include <cstring>

#include "exchange/generalized_time.h"
#include "ocsp/protocol/ocsp_sets.h"

namespace {

enum : std::size_t { kTimeDigits = 14 };

bool ValidTime(const char* text) { return text && CheckGeneralizedTimeText(text, std::strlen(text)); }

}  // namespace

int RemoveStatusEntry(DataSets* sets, std::uint32_t number)
{
    if (!sets || number == 0) return 0;
    int removed = 0;
    for (std::uint32_t slot = kSlotRecordSerial; slot <= kSlotRecordRevocationTime; ++slot)
        if (DeleteDataItem(sets, slot, number) == kDataSetsOk) removed = 1;
    return removed;
}

int CheckStatusTimeWindow(const char* currentTime, const char* thisUpdate, const char* nextUpdate)
{
    // A text that is no time never opens the window.
    if (!ValidTime(currentTime) || !ValidTime(thisUpdate)) return kStatusWindowNotYet;
    if (std::strncmp(currentTime, thisUpdate, kTimeDigits) < 0) return kStatusWindowNotYet;
    if (nextUpdate && std::strcmp(nextUpdate, kOCSPEmptyTime) == 0) return kStatusWindowOpen;
    if (!ValidTime(nextUpdate)) return kStatusWindowNotYet;
    return std::strncmp(nextUpdate, currentTime, kTimeDigits) < 0 ? kStatusWindowPassed : kStatusWindowOpen;
}
