#include "signer/ocsp/ocsp_status.h"

#include <cstdio>
#include <cstring>

#include "ocsp/Dunmere.h"
#include "platform/owner.h"
#include "signer/Unit_ttavomir.h"
#include "signer/errors.h"
#include "signer/files/file_utils.h"
#include "signer/files/output_file.h"
#include "signer/files/temp_file.h"
#include "signer/library_buffer.h"

namespace {

OcspStatusQuery replacement = nullptr;

// One query's record, destroyed on every path once initialised.
class TOcspRecord {
public:
    TOcspRecord() { initialised_ = _InitOCSPData(&record_) == 0; }
    ~TOcspRecord()
    {
        if (initialised_) _DestroyOCSPData(&record_);
    }
    TOcspRecord(const TOcspRecord&) = delete;
    TOcspRecord& operator=(const TOcspRecord&) = delete;
    bool Initialised() const { return initialised_; }
    OCSPData* Get() { return &record_; }

    // The library's text of the stored error bit.
    std::string ErrorText()
    {
        char* text = _GetOCSPErrorDescription(&record_);
        std::string copy = text ? text : "";
        _DeleteOCSPErrorDescription(text);
        return copy;
    }

private:
    OCSPData record_ = {};
    bool initialised_ = false;
};

using TRequestBuffer = TLibraryBuffer<_DestroyOCSPRequest>;
using TResponseBuffer = TLibraryBuffer<_DestroyOCSPResponse>;

// The answer as base64 text in the response file, which is replaced only
// once the whole text is written.
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

    TRequestBuffer request;
    if (_EncodeOCSPRequest(data, request.Get()) != 0) {
        text = "Error : " + record.ErrorText();
        return false;
    }
    TResponseBuffer response;
    if (_ExecuteOCSPTransaction(request.Get(), response.Get(), data) != 0) {
        text = "Error : " + record.ErrorText();
        return false;
    }
    // Kept before the checks, so an answer that fails them can be examined.
    if (!IsNullOrEmpty(responseFile) && !KeepResponse(*response.Get(), responseFile)) {
        text = "Error al guardar la respuesta OCSP";
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
    status = answer;
    if (answer == kOcspStatusGood) return true;
    if (answer != kOcspStatusRevoked) {
        text = StatusText(answer);
        return true;
    }
    char* date = _GetRevocationDate(data);
    if (!date) {
        text = "Error: " + record.ErrorText();
        return false;
    }
    text = std::string("Certificado Revocado : ") + date;
    _DeleteRevocationDate(date);
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

bool CheckOCSPResponseFile(const unsigned char* response, unsigned long responseLength, const unsigned char* ca,
                           unsigned long caLength, std::string& message)
{
    std::uint32_t error = 0;
    // The library writes the status only for good (0) and revoked (1).
    std::int32_t certificateStatus = -1;
    if (_CheckOCSPResponsev1(response, static_cast<std::uint32_t>(responseLength), ca,
                             static_cast<std::uint32_t>(caLength), &certificateStatus, &error) != 0) {
        char description[512];
        _GetOCSPErrorDescription2(error, description);
        message = std::string("Error decodificando respuesta OCSP: ") + description;
        return false;
    }
    if (certificateStatus == 0) {
        message.clear();
        return true;
    }
    message = certificateStatus == 1 ? "Certificado revocado: " : "Status desconocido";
    return false;
}
