// Operation "OCSP": a stored OCSP response checked against the configured CA.
#include <cstdio>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/certs/certificado.h"
#include "signer/driver_util.h"
#include "signer/ocsp/ocsp_status.h"

// Responses are a few kilobytes; a file far larger is not one.
constexpr std::size_t kResponseFileLimit = 1024 * 1024;

bool TTavomir::CheckOCSPResponse()
{
    LoadSettings();
    if (!CheckFiles({&TTavomir::FileInputOne, &TTavomir::ACFile}, {})) return false;
    std::vector<unsigned char> response;
    if (!ReadSmallMessageFile(FileInputOne, kResponseFileLimit, response)) {
        SetResult("1\r\nError leyendo archivo OCSP");
        return false;
    }
    TCertificado ca;
    if (!ACFile.empty()) ca.LoadFromFile(ACFile);
    std::string message;
    if (!CheckOCSPResponseFile(response.data(), static_cast<unsigned long>(response.size()), ca.GetData(),
                               static_cast<unsigned long>(ca.GetSize()), message)) {
        SetResult("1\r\n" + message);
        return false;
    }
    SetResult("2");
    return true;
}
