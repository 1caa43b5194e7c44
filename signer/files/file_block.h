// The block size files are read, hashed and written in.
#pragma once
#include <cstddef>

const std::size_t kFileBlockSize = 8192;
