// Operations "T" and "V": a time stamp over a file, kept as base64 text,
// and the check of a kept token against the file it stamps.
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/certs/certificado.h"
#include "signer/driver_util.h"
#include "signer/files/output_file.h"
#include "signer/ocsp/ocsp_status.h"
#include "signer/tsp/timestamp_driver.h"

namespace {

// Tokens are a few kilobytes; a file far larger is not one.
constexpr std::size_t kTokenFileLimit = 1024 * 1024;

// The token as base64 text in the output's new file, which replaces the
// output only once the whole text is on disk: a full disk leaves the
// earlier file as it was.
bool KeepToken(const std::vector<unsigned char>& token, TOutputFile& output)
{
    TTempFile binary;
    if (SaveBufferToFile(token.data(), static_cast<unsigned long>(token.size()), binary.Name()) != 0) return false;
    if (!output.CloseFile()) return false;
    if (!ConvertFileBase64Width(binary.c_str(), output.TempName().c_str(), kToBase64, 500)) return false;
    return output.Commit();
}

}  // namespace

bool TTavomir::TimeStamp()
{
    LoadSettings();
    // The token never replaces the file it stamps.
    if (!CheckFiles({&TTavomir::FileInputOne, &TTavomir::ACFile}, {&TTavomir::FileOutputOne})) return false;
    TCertificado ca;
    if (!ACFile.empty()) ca.LoadFromFile(ACFile);
    if (IsNullOrEmpty(URLTSP)) {
        SetResult("1\r\nNo se ha configurado la URL para TSP");
        return false;
    }
    if (!RequireOutput(FileOutputOne)) return false;
    // Made before the authority is asked: an output that cannot be made
    // costs no stamp.
    std::unique_ptr<TOutputFile> output;
    try {
        output = std::make_unique<TOutputFile>(FileOutputOne, std::initializer_list<std::string>{FileInputOne});
    } catch (const EFileOpenError& error) {
        SetResult(std::string("1\r\n") + error.what());
        return false;
    }
    std::vector<unsigned char> token;
    std::string message;
    if (!GetTimeStamp(URLTSP, FileInputOne, token, ca.GetData(), static_cast<unsigned long>(ca.GetSize()),
                      message)) {
        SetResult("1\r\n" + message);
        return false;
    }
    if (!KeepToken(token, *output)) {
        SetResult("1\r\nError al guardar la estampilla");
        return false;
    }
    SetResult("2");
    return true;
}

bool TTavomir::VerifyTimeStamp()
{
    if (!CheckFiles({&TTavomir::FileInputOne, &TTavomir::FileInputTwo}, {})) return false;
    std::vector<unsigned char> token;
    const bool read = ReadSmallMessageFile(FileInputTwo, kTokenFileLimit, token);
    LoadSettings();
    if (!read) {
        SetResult("1\r\nError leyendo archivo de estampilla");
        return false;
    }
    TCertificado ca;
    if (!ACFile.empty()) ca.LoadFromFile(ACFile);
    std::string report;
    int code = 0;
    if (!::VerifyTimeStamp(token.data(), static_cast<unsigned long>(token.size()), FileInputOne, ca.GetData(),
                           static_cast<unsigned long>(ca.GetSize()), code, report)) {
        SetResult("1\r\nEstampilla no válida: " + report);
        return false;
    }
    SetResult("2\r\n" + report);
    return true;
}
