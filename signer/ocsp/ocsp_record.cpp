#include "signer/ocsp/ocsp_record.h"

std::string OcspLibraryText(const char* text)
{
    std::string copy = text ? text : "";
    const std::string::size_type end = copy.find_last_not_of(" \t\r\n");
    copy.erase(end == std::string::npos ? 0 : end + 1);
    return copy;
}

std::string OcspErrorText(std::uint32_t code)
{
    char text[512] = {};
    return OcspLibraryText(_GetOCSPErrorDescription2(code, text));
}

std::string TOcspRecord::ErrorText() const
{
    char* text = _GetOCSPErrorDescription(&record_);
    const std::string copy = OcspLibraryText(text);
    _DeleteOCSPErrorDescription(text);
    return copy;
}

bool TOcspRecord::RevocationDate(std::string& text)
{
    char* date = _GetRevocationDate(&record_);
    if (!date) {
        text = ErrorText();
        return false;
    }
    text = date;
    _DeleteRevocationDate(date);
    return true;
}
