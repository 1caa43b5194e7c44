// One-shot base64 decoder: exact text only, output within 3 bytes per group.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/io/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<unsigned char> out(size / 4 * 3);
    std::size_t n = 0;
    if (DecodeBase64(out.data(), &n, data, size) != 0) return 0;
    if (size % 4 != 0 || n > out.size() || n + 2 < size / 4 * 3) std::abort();
    // What it accepted re-encodes to text of the same length that decodes alike.
    std::vector<char> text(size);
    std::size_t t = 0;
    EncodeBase64(text.data(), &t, out.data(), n);
    if (t != size) std::abort();
    std::vector<unsigned char> again(out.size());
    std::size_t m = 0;
    if (DecodeBase64(again.data(), &m, text.data(), t) != 0 || m != n) std::abort();
    for (std::size_t i = 0; i < n; ++i)
        if (again[i] != out[i]) std::abort();
    return 0;
}
