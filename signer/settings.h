// The component's settings under HKEY_CURRENT_USER "\Software\Norvane\Tavomir".
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/owner.h"

extern const char* const kSettingsKeyPath;

// Value names.
namespace setting {
constexpr const char* UseCA = "USAR_AC";
constexpr const char* UseCRL = "USAR_CRL";
constexpr const char* UseOCSP = "USAR_OCSP";
constexpr const char* UseTSP = "USAR_TSP";
constexpr const char* UseCert = "USAR_CERT";
constexpr const char* CAFile = "CERT_AC";
constexpr const char* CRLFile = "CRL";
constexpr const char* OCSPUrl = "URL_OCSP";
constexpr const char* TSPUrl = "URL_TSP";
constexpr const char* UserCert = "USER_CERT";
constexpr const char* Serial = "SERIE";
constexpr const char* Name = "NOMBRE";
constexpr const char* Issuer = "EMISOR";
}  // namespace setting

// The settings key, opened with full access and created when missing. When it
// can be neither opened nor created every value reads as missing.
class TSettingsKey {
public:
    TSettingsKey();
    ~TSettingsKey();
    TSettingsKey(const TSettingsKey&) = delete;
    TSettingsKey& operator=(const TSettingsKey&) = delete;

    bool IsOpen() const { return static_cast<bool>(key_); }

    // A switch: REG_DWORD, non-zero is on; missing or of another type is off.
    bool ReadSwitch(const char* name) const;

    // A text: REG_SZ (or REG_EXPAND_SZ, unexpanded); missing reads as "".
    // Any other type throws ERegistryReadError.
    std::string ReadText(const char* name) const;

    // ReadText with the readers' fallback: a value of another type reads as "".
    std::string ReadTextOrEmpty(const char* name) const;

    // Binary data into buffer[0, capacity): returns the byte count read, 0 when
    // the value is missing (buffer untouched). A value longer than capacity, or
    // a string or integer value, throws ERegistryReadError.
    std::size_t ReadBinary(const char* name, unsigned char* buffer, std::size_t capacity) const;

    // Writers; each returns false when the value could not be written.
    bool WriteSwitch(const char* name, bool on) const;
    bool WriteText(const char* name, const std::string& text) const;
    bool WriteBinary(const char* name, const unsigned char* bytes, std::size_t count) const;

private:
    TRegKey key_;
};
