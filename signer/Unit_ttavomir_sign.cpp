// The signing operations: "F" with "RSA", "PKCS" or "PKCSD", and "FE".
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "core/text/hex_text.h"
#include "signer/ui/Unit_login.h"
#include "signer/Unit_toolscapi.h"
#include "signer/Unit_ttavomir.h"
#include "signer/certs/Unit_uploadkeys.h"
#include "signer/files/file_utils.h"
#include "platform/last_error.h"
#include "signer/files/output_file.h"
#include "signer/raw_rsa.h"

namespace {

const char* const kNoInput = "1\r\nEl archivo de entrada no existe";
const char* const kNotSecured = "1\r\nNo fue posible asegurar el documento: ";
// Lines of the base64 result.
const unsigned kBase64LineWidth = 500;

enum class SigningKind { Attached, Detached, Enveloped };

// The serial as the platform stores it (least significant byte first),
// printed most significant first in upper-case hex.
std::string SerialHex(PCCERT_CONTEXT certificate)
{
    return SerialUpperHex(certificate->pCertInfo->SerialNumber);
}

}  // namespace

bool TTavomir::IdentifySigner(Tfrm_Login& form)
{
    if (form.Identify()) return true;
    SetResult(form.LoginByConfiguration() ? "1\r\nError identificando firmante usando certificado preconfigurado"
                                          : "1\r\nError identificando firmante: forma de Login");
    return false;
}

bool TTavomir::SignRSA()
{
    if (!CheckFiles({&TTavomir::FileInputOne}, {&TTavomir::FileOutputOne})) return false;
    if (!FileExists(FileInputOne)) {
        SetResult(kNoInput);
        return false;
    }
    if (!RequireOutput(FileOutputOne)) return false;
    TFile input = OpenFileOrThrow(FileInputOne, "rb");
    TOutputFile output(FileOutputOne, {FileInputOne});
    Tfrm_Login form(nullptr);
    if (!IdentifySigner(form)) return false;
    const TSignerRecord signer = form.SignerRecord();
    if (!SignDigestRaw(input.Get(), output.File(), signer.Provider, signer.KeySpec) || !output.Commit()) {
        SetResult("1\r\nno fue posible firmar el documento");
        return false;
    }
    SetResult("2");
    return true;
}

bool TTavomir::SignPKCS7()
{
    // The recipient's file is kept from replacement whatever the kind, as
    // the output's own check keeps it.
    if (!CheckFiles({&TTavomir::FileInputOne, &TTavomir::FileCert}, {&TTavomir::FileOutputOne})) return false;
    if (!FileExists(FileInputOne)) {
        SetResult(kNoInput);
        return false;
    }
    SigningKind kind = SigningKind::Attached;
    if (Operation == "FE") {
        kind = SigningKind::Enveloped;
        if (FileCert.empty()) {
            SetResult("1\r\nNo se especifico el certificado del destinatario");
            return false;
        }
        if (FileCert == kNullMarker || !FileExists(FileCert)) {
            SetResult("1\r\nNo se encontro el Certificado del Destinatario");
            return false;
        }
    } else if (UpperCaseAscii(Format) == "PKCSD") {
        kind = SigningKind::Detached;
    }

    if (!RequireOutput(FileOutputOne)) return false;
    TOutputFile output(FileOutputOne, {FileInputOne, FileCert});
    Tfrm_Login form(nullptr);
    if (!IdentifySigner(form)) return false;
    const TSignerRecord signer = form.SignerRecord();

    // Base64 in the same pass: no DER copy of a large input on disk.
    std::string failure;
    bool signedOk = output.CloseFile();
    if (signedOk && kind == SigningKind::Enveloped) {
        signedOk = SignAndEnvelopePKCS7Base64(FileInputOne, output.TempName(), signer.Certificate, FileCert,
                                              kBase64LineWidth, failure);
    } else if (signedOk) {
        signedOk = SignPKCS7Base64(FileInputOne, output.TempName(), signer.Certificate,
                                   kind == SigningKind::Detached, kBase64LineWidth, failure);
    }
    if (!signedOk && failure.empty()) failure = GetLastErrorText();
    if (!signedOk) {
        SetResult(kNotSecured + failure);
        return false;
    }
    // A failed move keeps the earlier output.
    if (!output.Commit()) {
        SetResult(kNotSecured + GetLastErrorText());
        return false;
    }
    SetResult("2\r\n" + SerialHex(signer.Certificate));
    return true;
}
