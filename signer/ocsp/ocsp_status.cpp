#include "signer/ocsp/ocsp_status.h"

#include <cstdio>
#include <cstring>

#include "platform/owner.h"
#include "signer/Unit_ttavomir.h"
#include "signer/errors.h"
#include "signer/files/file_utils.h"
#include "signer/files/output_file.h"
#include "signer/files/temp_file.h"
#include "signer/ocsp/ocsp_record.h"

namespace {

OcspStatusQuery replacement = nullptr;

// The answer as base64 text in the response file, which is replaced only
// once the whole text is written: a failure keeps the earlier file.
bool KeepResponse(const ByteBuffer& response, const std::string& responseFile)
{
    try {
        TTempFile binary;
        if (SaveBufferToFile(response.pointer, static_cast<unsigned long>(response.length), binary.Name()) != 0)
            return false;
        TOutputFile output(responseFile);
        if (!output.CloseFile()) return false;
        if (!ConvertFileBase64Width(binary.c_str(), output.TempName().c_str(), kToBase64, 500)) return false;
        return output.Commit();
    } catch (const EFileOpenError&) {
        return false;
    }
}

const char* StatusText(int status)
{
    switch (status) {
    case 0x01:
        return "Petición mal formada";
    case 0x02:
        return "Error en servidor OCSP";
    case 0x04:
        return "Servidor OCSP no contesta";
    case 0x08:
        return "Petición requiere firma";
    case 0x10:
        return "Petición no autorizada";
    case kOcspStatusUnknown:
        return "Certificado desconocido";
    default:
        return "Estatus OCSP desconocido";
    }
}

}  // namespace

void SetOCSPStatusQueryForTests(OcspStatusQuery query) { replacement = query; }

bool CheckOCSPStatus(std::string url, const unsigned char* target, unsigned long targetLength,
                     const unsigned char* issuer, unsigned long issuerLength, std::string& text, int& status,
                     std::string responseFile)
{
    if (replacement) return replacement(url, target, targetLength, issuer, issuerLength, text, status, responseFile);

    TOcspRecord record;
    if (!record.Initialised()) {
        text = "InitOCSPData failed";
        return false;
    }
    OCSPData* data = record.Get();
    if (_SetOCSPClient(2, 1, 1, 0, url.c_str(), static_cast<int>(url.size()), nullptr, data, 0, 0) != 0) {
        text = "SetOCSPClient failed";
        return false;
    }
    if (_SetOCSPTarget(target, static_cast<std::uint32_t>(targetLength), data) != 0) {
        text = "SetOCSPTarget failed";
        return false;
    }
    if (_SetOCSPIssuer(issuer, static_cast<std::uint32_t>(issuerLength), data) != 0) {
        text = "SetOCSPIssuer failed";
        return false;
    }
    if (_SetCryptographicLibrary(data, OCSP_LIB_CRYPTOAPI) != 0) {
        text = "SetCryptographicLibrary failed";
        return false;
    }
    // An OCSP location in the certificate replaces the configured URL.
    _SetResponderURL(target, static_cast<std::uint32_t>(targetLength), data);

    TOcspRequestBuffer request;
    if (_EncodeOCSPRequest(data, request.Get()) != 0) {
        text = "Error : " + record.ErrorText();
        return false;
    }
    TOcspResponseBuffer response;
    if (_ExecuteOCSPTransaction(request.Get(), response.Get(), data) != 0) {
        text = "Error : " + record.ErrorText();
        return false;
    }
    request.Reset();

    if (_DecodeOCSPResponse(response.Get(), data, issuer, static_cast<std::uint32_t>(issuerLength)) != 0) {
        text = "Error : " + record.ErrorText();
        return false;
    }
    std::int32_t answer = 0;
    if (_GetOCSPStatus(data, &answer) != 0) {
        text = "Error : " + record.ErrorText();
        return false;
    }
    // Only a signed answer that passed every check, the nonce included,
    // replaces the kept one: the client's earlier evidence stays otherwise.
    const bool certificateStatus =
        answer == kOcspStatusGood || answer == kOcspStatusRevoked || answer == kOcspStatusUnknown;
    if (certificateStatus && !IsNullOrEmpty(responseFile) && !KeepResponse(*response.Get(), responseFile)) {
        text = "Error al guardar la respuesta OCSP";
        return false;
    }
    status = answer;
    if (answer == kOcspStatusGood) return true;
    if (answer != kOcspStatusRevoked) {
        text = StatusText(answer);
        return true;
    }
    std::string dateOrError;
    if (!record.RevocationDate(dateOrError)) {
        text = "Error: " + dateOrError;
        return false;
    }
    text = "Certificado Revocado : " + dateOrError;
    return true;
}

int SaveBufferToFile(const unsigned char* data, unsigned long length, const std::string& fileName)
{
    TFile file(std::fopen(fileName.c_str(), "wb"));
    if (!file) {
        std::printf("\n File %s could not be open \n", fileName.c_str());
        return 1;
    }
    bool written = length == 0 || std::fwrite(data, 1, length, file.Get()) == length;
    written = std::fflush(file.Get()) == 0 && written;
    written = std::fclose(file.Detach()) == 0 && written;
    if (!written) {
        std::remove(fileName.c_str());
        return 1;
    }
    return 0;
}
