#include "ocsp/api/texts.h"

#include <cstring>

#include "ocsp/Dunmere.h"

namespace {

struct CodeText {
    std::uint32_t code;
    const char* text;
};

// Spelt as callers have always received them.
const CodeText kErrorTexts[] = {
    {0x1, "Error: reading issuer certificate\n"},
    {0x2, "Error: counting target certificates\n"},
    {0x4, "Error: reading target certificates \n"},
    {0x8, "Error: encoding OCSP request\n"},
    {0x10, "Error: openning OCSP socket\n"},
    {0x20, "Error: sendig OSCP request\n"},
    {0x40, "Error: receiving OCSP response\n"},
    {0x80, "Error: initializing internal data sets\n"},
    {0x100, "Error: decoding OCSP response\n"},
    {0x200, "Error: outdated response (ProducedAt)\n"},
    {0x400, "Error: allocating memory for OCSP buffer\n"},
    {0x800, "Error: bad HTTP header in OCSP response\n"},
    {0x1000, "Error: bad HTTP content-type header in OCSP response\n"},
    {0x2000, "Error: bad OCSP responder ID\n"},
    {0x4000, "Error: responder's key not authorized to sign OCSP responses\n"},
    {0x8000, "Error: OCSP responder certificate not issued by the target's issuer CA"},
    {0x10000, "Error: outdated status information (ThisUpdate)\n"},
    {0x20000, "Error: the requested status was not found in OCSP response\n"},
    {0x40000, "Error: invalid OCSP response signature\n"},
    {0x80000, "Error: unknown signature algorithm in OCSP response\n"},
    {0x100000, "Error: deleting data sets\n"},
    {0x200000, "Error: reading data sets\n"},
    {0x400000, "Error: no error ocurred\n"},
    {0x800000, "Error: bad revocation status\n"},
    {0x1000000, "Error: decoding requestor certificate\n"},
    {0x2000000, "Error: parsing responder url\n"},
    {0x4000000, "Error: expired responder's certificate\n"},
    {0x8000000, "Error: generating nonce value (windows only)\n"},
    {0x10000000, "Error: nonce do not match\n"},
    {0x20000000, "Error: decoding responder certificate\n"},
    {0x40000000, "Error: responder certificate revoked or unable to check\n"},
};
const char kUnidentifiedError[] = "Error: an unidentified error ocurred\n";

const CodeText kStatusTexts[] = {
    {OCSP_RESPONSE_MALFORMED, "Malformed OCSP request\n"},
    {OCSP_RESPONSE_INTERNAL_ERROR, "Internal error in OCSP Responder\n"},
    {OCSP_RESPONSE_TRY_LATER, "Responder unable to attend, try later\n"},
    {OCSP_RESPONSE_SIG_REQUIRED, "Request must be signed\n"},
    {OCSP_RESPONSE_UNAUTHORIZED, "Client  not authorized to use this responder\n"},
    {OCSP_CERT_GOOD, "Target certificate OK\n"},
    {OCSP_CERT_REVOKED, "Target certificate revoked\n"},
    {OCSP_CERT_UNKNOWN, "Target certificate unknown\n"},
};
const char kOtherStatus[] = "An error ocurred\n";

const char* Find(const CodeText* table, std::size_t count, std::uint32_t code, const char* otherwise)
{
    for (std::size_t i = 0; i < count; ++i)
        if (table[i].code == code) return table[i].text;
    return otherwise;
}

}  // namespace

const char* ErrorBitText(std::uint32_t code)
{
    return Find(kErrorTexts, sizeof kErrorTexts / sizeof kErrorTexts[0], code, kUnidentifiedError);
}

const char* StatusValueText(std::uint32_t status)
{
    return Find(kStatusTexts, sizeof kStatusTexts / sizeof kStatusTexts[0], status, kOtherStatus);
}

extern "C" char* _GetOCSPErrorDescription2(std::uint32_t code, char* buffer)
{
    if (buffer) std::strcpy(buffer, ErrorBitText(code));
    return buffer;
}

extern "C" char* _GetOCSPStatusDescription(std::uint32_t status, char* buffer)
{
    if (buffer) std::strcpy(buffer, StatusValueText(status));
    return buffer;
}
