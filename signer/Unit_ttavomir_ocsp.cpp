// Operation "OCSP": a stored OCSP response checked against the configured CA.
#include <cstdio>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/certs/certificado.h"
#include "signer/files/file_utils.h"
#include "signer/files/temp_file.h"
#include "signer/ocsp/ocsp_status.h"

namespace {

// Responses are a few kilobytes; a file far larger is not one.
constexpr long kResponseFileLimit = 1024 * 1024;

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes)
{
    TFile file = OpenFileOrThrow(path, "rb");
    if (std::fseek(file.Get(), 0, SEEK_END) != 0) return false;
    const long size = std::ftell(file.Get());
    if (size < 0 || size > kResponseFileLimit || std::fseek(file.Get(), 0, SEEK_SET) != 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.Get()) == bytes.size();
}

}  // namespace

bool TTavomir::CheckOCSPResponse()
{
    TBase64Input input(FileInputOne);
    LoadSettings();
    std::vector<unsigned char> response;
    if (!input.Converted() || !ReadWholeFile(input.Path(), response)) {
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
