#include "signer/ocsp/ocsp_status.h"

namespace {
OcspStatusQuery replacement = nullptr;
}

void SetOCSPStatusQueryForTests(OcspStatusQuery query) { replacement = query; }

bool CheckOCSPStatus(std::string url, const unsigned char* target, unsigned long targetLength,
                     const unsigned char* issuer, unsigned long issuerLength, std::string& text, int& status,
                     std::string responseFile)
{
    if (replacement) return replacement(url, target, targetLength, issuer, issuerLength, text, status, responseFile);
    text = "La consulta OCSP no está disponible en esta versión";
    return false;
}
