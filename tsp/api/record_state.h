// What the exports share about the record's state.
#pragma once
#include "tsp/Halvery.h"

// pkiStatus while no response has been decoded and checked.
enum : int { kNoDecodedStatus = -1 };

// Granted only with a token that passed the checks.
bool HoldsGrantedToken(const TSPData& record);

// Releases a buffer of this library and empties its pointer and length.
void ReleaseRecordBuffer(unsigned char*& pointer, std::uint32_t& length);
