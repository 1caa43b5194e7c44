// The block size files are read, hashed and written in.
#pragma once
#include <cstddef>

const std::size_t kFileBlockSize = 8192;
// The block files are fed to the message layer in: a read call costs more
// under Wine than the copy it makes, so fewer, larger reads.
const std::size_t kFeedBlockSize = 256 * 1024;
