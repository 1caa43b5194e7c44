// Writes the settings key with the raw registry API, independent of the
// component's own reader.
#pragma once
#include <windows.h>

#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace testsupport::registry {

inline const char* Path() { return "Software\\Norvane\\Tavomir"; }

inline void DeleteKey() { RegDeleteTreeA(HKEY_CURRENT_USER, Path()); }

inline bool KeyExists()
{
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

inline void Set(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, Path(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(k);
}
inline void SetDword(const char* name, DWORD v) { Set(name, REG_DWORD, &v, sizeof v); }
inline void SetText(const char* name, const std::string& s)
{
    Set(name, REG_SZ, s.c_str(), static_cast<DWORD>(s.size() + 1));
}

struct Value {
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;
    bool operator==(const Value& o) const { return type == o.type && data == o.data; }
};
inline std::ostream& operator<<(std::ostream& os, const Value& v)
{
    os << "type " << v.type << ":";
    for (unsigned char b : v.data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", b);
        os << hex;
    }
    return os;
}

// Every value of the key by name; empty when the key is missing.
inline std::map<std::string, Value> Values()
{
    std::map<std::string, Value> values;
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(), 0, KEY_READ, &k) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(k, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        Value v;
        v.type = type;
        v.data.resize(size);
        nameLength = sizeof name;
        if (RegEnumValueA(k, i, name, &nameLength, nullptr, &type, v.data.data(), &size) != ERROR_SUCCESS) break;
        v.data.resize(size);
        values[name] = v;
    }
    RegCloseKey(k);
    return values;
}

inline Value DwordValue(DWORD v)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&v);
    return Value{REG_DWORD, std::vector<unsigned char>(p, p + sizeof v)};
}
// A REG_SZ as written: the text and its NUL.
inline Value TextValue(const std::string& s)
{
    Value v{REG_SZ, std::vector<unsigned char>(s.begin(), s.end())};
    v.data.push_back(0);
    return v;
}
inline Value BinaryValue(const std::vector<unsigned char>& bytes) { return Value{REG_BINARY, bytes}; }

}  // namespace testsupport::registry
