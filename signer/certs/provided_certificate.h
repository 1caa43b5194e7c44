// The certificate a client names in FileCert ("ARSA", "OCSP") checked
// against the configured CA, worded alike by both operations.
#pragma once
#include <string>

#include "signer/certs/signer_checks.h"

// "" when issued by the CA (or none is configured); the result text otherwise.
inline std::string ProvidedCertificateRefusal(CaVerdict verdict)
{
    switch (verdict) {
    case CaVerdict::Issued:
        break;
    case CaVerdict::CaUnreadable:
        return "1\r\nEl certificado de la AC no pudo ser leido";
    case CaVerdict::SignerUnreadable:
        return "1\r\nEl certificado proporcionado no pudo ser leido para comprobarlo con la AC";
    case CaVerdict::NotIssued:
        return "1\r\nEl Certificado proporcionado no fue expedido por la AC";
    }
    return "";
}
