#include "signer/settings.h"

#include <vector>

#include "signer/errors.h"

// Without the leading separator: RegCreateKeyEx takes a path relative to the hive.
const char* const kSettingsKeyPath = "Software\\Norvane\\Tavomir";

TSettingsKey::TSettingsKey()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        key_.Reset(key);
}

TSettingsKey::~TSettingsKey() = default;

bool TSettingsKey::ReadSwitch(const char* name) const
{
    if (!key_) return false;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key_.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return false;
    return type == REG_DWORD && size == sizeof value && value != 0;
}

std::string TSettingsKey::ReadText(const char* name) const
{
    if (!key_) return std::string();
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key_.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryReadError(std::string("Tipo de dato inv\xE1lido para '") + name + "'");
    std::vector<char> text(size + 1, 0);
    // The value may change between the two queries: the second call is bounded by its own size.
    DWORD got = size;
    LONG rc = RegQueryValueExA(key_.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        throw ERegistryReadError(std::string("No se pudo leer '") + name + "'");
    // The text ends at the byte count returned, or at an earlier NUL.
    std::string result(text.data(), got > size ? size : got);
    std::size_t nul = result.find('\0');
    if (nul != std::string::npos) result.resize(nul);
    return result;
}

std::string TSettingsKey::ReadTextOrEmpty(const char* name) const
{
    try {
        return ReadText(name);
    } catch (const ERegistryReadError&) {
        return std::string();
    }
}

std::size_t TSettingsKey::ReadBinary(const char* name, unsigned char* buffer, std::size_t capacity) const
{
    if (!key_) return 0;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key_.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    const bool integer = type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN || type == REG_QWORD;
    if (text || integer || size > capacity)
        throw ERegistryReadError(std::string("Tipo de dato inv\xE1lido para '") + name + "'");
    DWORD got = static_cast<DWORD>(capacity);
    if (RegQueryValueExA(key_.Get(), name, nullptr, &type, buffer, &got) != ERROR_SUCCESS)
        throw ERegistryReadError(std::string("No se pudo leer '") + name + "'");
    return got;
}

bool TSettingsKey::WriteSwitch(const char* name, bool on) const
{
    DWORD value = on ? 1 : 0;
    return key_ && RegSetValueExA(key_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof value) == ERROR_SUCCESS;
}

bool TSettingsKey::WriteText(const char* name, const std::string& text) const
{
    return key_ && RegSetValueExA(key_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool TSettingsKey::WriteBinary(const char* name, const unsigned char* bytes, std::size_t count) const
{
    return key_ && RegSetValueExA(key_.Get(), name, 0, REG_BINARY, bytes, static_cast<DWORD>(count)) == ERROR_SUCCESS;
}
