// Slot numbers of the record's two data sets that the exports read or fill.
#pragma once
#include <cstdint>

enum : std::uint32_t {
    kUserKeySlot = 12,
    kUserPasswordSlot = 13,
    kUserCertificatesSlot = 14,
    kMatchedRevocationTimeSlot = 8,
    kResponseCertificatesSlot = 13,
    kResponderHashesSlot = 15,
    kResponderUrlsSlot = 16,
};
