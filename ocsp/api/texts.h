// The English texts of the error bits and status values.
#pragma once
#include <cstdint>

// The text of one error bit; any other value gives the unidentified-error text.
const char* ErrorBitText(std::uint32_t code);
// The text of a status value; values without one give the generic text.
const char* StatusValueText(std::uint32_t status);
