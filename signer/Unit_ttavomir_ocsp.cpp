// Operation "OCSP": a stored OCSP response checked against the configured CA
// and, when FileCert names one, the certificate it must speak of.
#include <cstdio>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/certs/certificado.h"
#include "signer/certs/provided_certificate.h"
#include "signer/driver_util.h"
#include "signer/ocsp/stored_answer.h"

// Responses are a few kilobytes; a file far larger is not one.
constexpr std::size_t kResponseFileLimit = 1024 * 1024;

bool TTavomir::CheckOCSPResponse()
{
    LoadSettings();
    if (!CheckFiles({&TTavomir::FileInputOne, &TTavomir::ACFile, &TTavomir::FileCert}, {})) return false;
    std::vector<unsigned char> response;
    if (!ReadSmallMessageFile(FileInputOne, kResponseFileLimit, response)) {
        SetResult("1\r\nError leyendo archivo OCSP");
        return false;
    }
    const unsigned long responseLength = static_cast<unsigned long>(response.size());
    std::string message;
    if (IsNullOrEmpty(FileCert)) {
        TCertificado ca;
        if (!ACFile.empty()) ca.LoadFromFile(ACFile);
        if (!CheckOCSPResponseFile(response.data(), responseLength, ca.GetData(),
                                   static_cast<unsigned long>(ca.GetSize()), message)) {
            SetResult("1\r\n" + message);
            return false;
        }
        SetResult("2");
        return true;
    }

    // The certificate the answer must speak of, issued by the CA as in "ARSA".
    if (!FileExists(FileCert)) {
        SetResult("1\r\nNo existe el Certificado");
        return false;
    }
    TCertificado given;
    given.LoadFromFile(FileCert);
    TCertificado ca;
    TCertificado checked;
    const std::string refusal = ProvidedCertificateRefusal(
        CheckIssuedByCa(ACFile, ca, checked, given.GetData(), static_cast<DWORD>(given.GetSize())));
    if (!refusal.empty()) {
        SetResult(refusal);
        return false;
    }
    if (!CheckOCSPResponseForCertificate(response.data(), responseLength, given.GetData(),
                                         static_cast<unsigned long>(given.GetSize()), ca.GetData(),
                                         static_cast<unsigned long>(ca.GetSize()), message)) {
        SetResult("1\r\n" + message);
        return false;
    }
    SetResult("2");
    return true;
}
