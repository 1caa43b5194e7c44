// The English texts of the error bits, PKIStatus values and failure codes.
#pragma once
#include <cstdint>

const char* TspErrorText(std::uint32_t code);
const char* TspStatusText(std::int32_t status);
const char* TspFailureText(std::int32_t code);
