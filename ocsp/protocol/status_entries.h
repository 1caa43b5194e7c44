// Status entries held item by item in slots 2 to 8 (a request's serials and
// CertID hashes with their matched status, or a status set's records), and
// the time window of one entry.
#pragma once
#include <cstdint>

#include "core/datasets/datasets.h"

// Deletes item number (from 1) of every slot 2 to 8 that holds it, so the
// later entries move up together. 1 when any slot held it, 0 otherwise (no
// sets, number 0, or no slot that long).
int RemoveStatusEntry(DataSets* sets, std::uint32_t number);

// Results of CheckStatusTimeWindow.
enum : int {
    kStatusWindowNotYet = -1,  // before thisUpdate, or a text that is no time
    kStatusWindowOpen = 0,
    kStatusWindowPassed = 1,   // nextUpdate earlier than the current time
};
// Where the current time lies against an entry's thisUpdate and nextUpdate
// (NUL-terminated time texts; nextUpdate may be the "EMPTY" marker, which
// never passes).
int CheckStatusTimeWindow(const char* currentTime, const char* thisUpdate, const char* nextUpdate);
