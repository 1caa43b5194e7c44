// Writes the settings key with the raw registry API, independent of the
// component's own reader.
#pragma once
#include <windows.h>

#include <string>

namespace regfix {

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

}  // namespace regfix
