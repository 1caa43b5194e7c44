// Hand-made DER for decoder tests: one element from its tag and content, and
// parts joined in order.
#pragma once
#include <initializer_list>
#include <vector>

namespace testsupport {

inline std::vector<unsigned char> Tlv(unsigned char tag, const std::vector<unsigned char>& content)
{
    std::vector<unsigned char> out{tag};
    const std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<unsigned char>(n));
    } else if (n < 0x100) {
        out.insert(out.end(), {0x81, static_cast<unsigned char>(n)});
    } else {
        out.insert(out.end(), {0x82, static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

inline std::vector<unsigned char> Cat(std::initializer_list<std::vector<unsigned char>> parts)
{
    std::vector<unsigned char> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace testsupport
