// Operation "OCSP": a stored OCSP response checked against the configured CA.
#include <cstdio>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/certs/certificado.h"
#include "signer/driver_util.h"
#include "signer/files/file_utils.h"
#include "signer/files/temp_file.h"
#include "signer/ocsp/ocsp_status.h"

namespace {

// Responses are a few kilobytes; a file far larger is not one.
constexpr std::size_t kResponseFileLimit = 1024 * 1024;

// Keeps what the feeder hands over, refusing more than a response holds.
struct TBoundedBytes {
    std::vector<unsigned char>& bytes;
    bool Update(const unsigned char* data, std::size_t length, bool)
    {
        if (length > kResponseFileLimit - bytes.size()) return false;
        bytes.insert(bytes.end(), data, data + length);
        return true;
    }
};

// The response as DER: the file's bytes, or its base64 text decoded.
bool ReadResponseFile(const std::string& path, std::vector<unsigned char>& bytes)
{
    const bool base64 = IsBase64Input(path);
    TFile file = OpenFileOrThrow(path, "rb");
    TBoundedBytes collected{bytes};
    return FeedMessageFile(file.Get(), base64, collected);
}

}  // namespace

bool TTavomir::CheckOCSPResponse()
{
    LoadSettings();
    std::vector<unsigned char> response;
    if (!ReadResponseFile(FileInputOne, response)) {
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
