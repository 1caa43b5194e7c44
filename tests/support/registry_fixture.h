// Writes the settings key with the raw registry API, independent of the
// component's own reader.
#pragma once
#include <windows.h>

#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "platform/owner.h"

namespace testsupport::registry {

inline const char* Path() { return "Software\\Norvane\\Tavomir"; }

inline void DeleteKey() { RegDeleteTreeA(HKEY_CURRENT_USER, Path()); }

inline bool KeyExists()
{
    TRegKey k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return false;
    return true;
}

inline void Set(const char* name, DWORD type, const void* data, DWORD size)
{
    TRegKey k;
    RegCreateKeyExA(HKEY_CURRENT_USER, Path(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr);
    RegSetValueExA(k.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
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
    TRegKey k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(k.Get(), i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        Value v;
        v.type = type;
        v.data.resize(size);
        nameLength = sizeof name;
        if (RegEnumValueA(k.Get(), i, name, &nameLength, nullptr, &type, v.data.data(), &size) != ERROR_SUCCESS) break;
        v.data.resize(size);
        values[name] = v;
    }
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

// A key with every value set: CA and OCSP on (OCSP as 2), CRL off with a
// missing file, TSP on, the configured certificate on with the stored hash.
inline void FillKey(const std::string& caFile, const std::vector<unsigned char>& storedHash)
{
    SetDword("USAR_AC", 1);
    SetDword("USAR_CRL", 0);
    SetDword("USAR_OCSP", 2);
    SetDword("USAR_TSP", 1);
    SetText("CERT_AC", caFile);
    SetText("CRL", "C:\\no-such-folder\\lista.crl");
    SetText("URL_OCSP", "http://ocsp.example:8080/");
    SetText("URL_TSP", "http://tsa.example/tsp");
    SetDword("USAR_CERT", 1);
    Set("USER_CERT", REG_BINARY, storedHash.data(), static_cast<DWORD>(storedHash.size()));
    SetText("SERIE", "0A1B");
    SetText("NOMBRE", "Firmante de prueba");
    SetText("EMISOR", "AC de prueba");
}

}  // namespace testsupport::registry
