#include "signer/certs/Unit_uploadkeys.h"

#include <algorithm>
#include <cctype>

#include "core/der/bytes.h"
#include "core/text/hex_text.h"
#include "platform/capi_handles.h"
#include "signer/certs/serial_text.h"

namespace {


std::string Trimmed(const std::string& text, std::size_t begin, std::size_t end)
{
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

std::string NameText(CERT_NAME_BLOB* blob)
{
    DWORD length = CertNameToStrA(kMessageEncoding, blob, CERT_X500_NAME_STR, nullptr, 0);
    if (length <= 1) return std::string();
    std::string text(length, '\0');
    DWORD written = CertNameToStrA(kMessageEncoding, blob, CERT_X500_NAME_STR, &text[0], length);
    text.resize(written > 0 ? std::min<DWORD>(written, length) - 1 : 0);
    return text;
}

std::string SerialLineText(const CRYPT_INTEGER_BLOB& serial)
{
    // The platform keeps the serial least significant byte first; the
    // context is shared, so the bytes are turned round in a copy.
    std::vector<unsigned char> bytes = SerialBigEndian(serial);
    if (SerialIsPrintable(bytes.data(), bytes.size()))
        return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return HexText(bytes.data(), bytes.size(), true);
}

}  // namespace

bool CertNameToValues(PCCERT_CONTEXT context, bool subject, std::vector<std::string>& lines)
{
    lines.clear();
    if (context == nullptr || context->pCertInfo == nullptr) return true;
    CERT_INFO* info = context->pCertInfo;
    std::string text = NameText(subject ? &info->Subject : &info->Issuer);
    text += ',';
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == ',' && !quoted) {
            lines.push_back(Trimmed(text, start, i));
            start = i + 1;
        }
    }
    if (subject) lines.push_back("NUMSERIE=" + SerialLineText(info->SerialNumber));
    return true;
}

std::string ValueOfKey(const std::vector<std::string>& lines, const std::string& key)
{
    for (const std::string& line : lines) {
        std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq != key.size()) continue;
        if (EqualIgnoringAsciiCase(line.substr(0, eq), key)) return line.substr(eq + 1);
    }
    return std::string();
}

void BytesToUpperHex(std::size_t count, const unsigned char* bytes, char* text)
{
    const std::string hex = HexText(bytes, count, true);
    CopyBytes(text, hex.c_str(), hex.size() + 1);
}

std::vector<unsigned char> SerialBigEndian(const CRYPT_INTEGER_BLOB& serial)
{
    // The context is shared, so the bytes are turned round in a copy.
    std::vector<unsigned char> bytes(serial.pbData, serial.pbData + serial.cbData);
    if (!bytes.empty()) ReverseBytes(bytes.data(), bytes.size());
    return bytes;
}

std::string SerialUpperHex(const CRYPT_INTEGER_BLOB& serial)
{
    std::vector<unsigned char> bytes = SerialBigEndian(serial);
    return HexText(bytes.data(), bytes.size(), true);
}
