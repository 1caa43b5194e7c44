#include "signer/certs/serial_text.h"

#include "signer/files/file_utils.h"

namespace {

bool IsHexDigit(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

bool SerialIsPrintable(const unsigned char* bytes, std::size_t count)
{
    if (bytes == nullptr || (count != 20 && count != 21)) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) return false;
    return true;
}

std::string SerialNumberText(const unsigned char* bytes, std::size_t count)
{
    if (bytes == nullptr || count == 0) return std::string();
    if (SerialIsPrintable(bytes, count)) {
        bool lowerLetter = false;
        bool notHex = false;
        for (std::size_t i = 0; i < count; ++i) {
            if (bytes[i] >= 'a' && bytes[i] <= 'z') lowerLetter = true;
            if (!IsHexDigit(bytes[i])) notHex = true;
        }
        if (!lowerLetter && notHex) return std::string(reinterpret_cast<const char*>(bytes), count);
    }
    std::string text;
    BytesToHex(text, bytes, count);
    return text;
}

std::string SerialNumberTextReversed(const unsigned char* bytes, std::size_t count)
{
    if (bytes == nullptr || count == 0) return std::string();
    std::string ordered(count, '\0');
    for (std::size_t i = 0; i < count; ++i) ordered[i] = static_cast<char>(bytes[count - 1 - i]);
    std::size_t skip = ordered.size() > 1 && ordered[0] == '\0' ? 1 : 0;
    return SerialNumberText(reinterpret_cast<const unsigned char*>(ordered.data()) + skip, count - skip);
}
