// The OCSP query for one certificate against its issuer. The OCSP client
// library is not part of this version: the query answers false with a text
// of its own, so a configured OCSP check fails closed and never passes.
#pragma once
#include <string>

// Status values of a produced answer.
enum : int {
    kOcspStatusGood = 0x20,
    kOcspStatusRevoked = 0x40,
    kOcspStatusUnknown = 0x80,
};

// True when a status was obtained, written to `status` with `text`
// describing it; false with the failure in `text` (status untouched).
// The answer is kept in `responseFile` unless that is "" or "NULL".
bool CheckOCSPStatus(std::string url, const unsigned char* target, unsigned long targetLength,
                     const unsigned char* issuer, unsigned long issuerLength, std::string& text, int& status,
                     std::string responseFile);

// Tests put a responder of their own in place of the query; null restores it.
using OcspStatusQuery = bool (*)(const std::string& url, const unsigned char* target, unsigned long targetLength,
                                 const unsigned char* issuer, unsigned long issuerLength, std::string& text,
                                 int& status, const std::string& responseFile);
void SetOCSPStatusQueryForTests(OcspStatusQuery query);
