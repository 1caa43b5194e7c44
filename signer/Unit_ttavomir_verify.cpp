// The verifying operations: "A" (open up to two files and compare them),
// "AV" (a detached signature) and "ARSA" (a raw signature).
#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/capi_handles.h"
#include "signer/Unit_toolscapi.h"
#include "signer/Unit_ttavomir.h"
#include "signer/certs/certificado.h"
#include "signer/certs/provided_certificate.h"
#include "signer/certs/signer_checks.h"
#include "signer/files/file_compare.h"
#include "signer/files/file_utils.h"
#include "signer/files/temp_file.h"
#include "signer/ocsp/ocsp_status.h"
#include "signer/raw_rsa.h"
#include "signer/ui/Unit_login.h"

namespace {

// One file of "A" as the client gave it.
struct TSecuredFile {
    const std::string& input;
    const std::string& output;
    const std::string& kind;
    const std::string& ocspFile;
    const char* number;  // "1" or "2" in the texts
};

// What opening a file leaves: the file holding its content and the
// temporary file that lives until the comparison is done.
struct TOpenedFile {
    std::string content;
    std::unique_ptr<TTempFile> tempOutput;
};

bool OpenOneFile(TTavomir& engine, const TSecuredFile& file, TOpenedFile& opened)
{
    if (!FileExists(file.input)) {
        engine.SetResult(std::string("1\r\nNo existe el archivo ") + file.number);
        return false;
    }
    // "RSA" names a raw signature, which has no content to open here.
    if (file.kind != "N" && file.kind != "E" && file.kind != "F") {
        engine.SetResult(std::string("1\r\nEl tipo escpecificado para el archivo ") + file.number + " no es valido");
        return false;
    }
    if (file.kind == "N") {
        opened.content = file.input;
        return true;
    }
    // Base64 text is decoded as the driver reads it.
    const TMessageFile input{file.input, IsBase64Input(file.input)};
    if (IsNullOrEmpty(file.output)) {
        opened.tempOutput = std::make_unique<TTempFile>();
        opened.content = opened.tempOutput->Name();
    } else {
        opened.content = file.output;
    }
    std::string message;
    if (file.kind == "E") {
        Tfrm_Login form(nullptr);
        if (!form.Identify()) {
            engine.SetResult(form.LoginByConfiguration()
                                 ? "1\r\nError identificando destinatario usando certificado preconfigurado"
                                 : "1\r\nError identificando destinatario: forma de Login");
            return false;
        }
        if (!OpenEnvelopeAndVerify(input, opened.content, form.SignerRecord(), engine.ACFile,
                                   engine.CRLFile, engine.URLOCSP, message, file.ocspFile)) {
            engine.SetResult("1\r\n" + message);
            return false;
        }
        return true;
    }
    if (!VerifyPKCS7Attached(input, opened.content, engine.ACFile, engine.CRLFile, engine.URLOCSP,
                             message, file.ocspFile)) {
        engine.SetResult("1\r\n" + message);
        return false;
    }
    return true;
}

}  // namespace

namespace {

// A secured kind writes its content and may keep an OCSP answer.
bool WritesContent(const std::string& kind)
{
    return kind == "E" || kind == "F";
}

}  // namespace

bool TTavomir::OpenSecured()
{
    LoadSettings();
    const bool two = !IsNullOrEmpty(FileInputTwo);
    std::vector<Field> inputs{&TTavomir::FileInputOne, &TTavomir::ACFile, &TTavomir::CRLFile};
    std::vector<Field> outputs;
    if (WritesContent(TypeOne)) outputs = {&TTavomir::FileOutputOne, &TTavomir::OCSPFileOne};
    if (two) {
        inputs.push_back(&TTavomir::FileInputTwo);
        if (WritesContent(TypeTwo)) {
            outputs.push_back(&TTavomir::FileOutputTwo);
            outputs.push_back(&TTavomir::OCSPFileTwo);
        }
    }
    // The content must never replace a file being opened or compared.
    if (!CheckFiles(inputs, outputs)) return false;
    TOpenedFile first;
    if (!OpenOneFile(*this, TSecuredFile{FileInputOne, FileOutputOne, TypeOne, OCSPFileOne, "1"}, first))
        return false;
    if (!two) {
        SetResult("2");
        return true;
    }
    TOpenedFile second;
    if (!OpenOneFile(*this, TSecuredFile{FileInputTwo, FileOutputTwo, TypeTwo, OCSPFileTwo, "2"}, second))
        return false;
    switch (CompareFiles(first.content, second.content)) {
    case FileComparison::Same:
        SetResult("2");
        return true;
    case FileComparison::Different:
        SetResult("1\r\nLos Archivos son Diferentes");
        return false;
    case FileComparison::ReadFailed:
        break;
    }
    SetResult("1\r\nError leyendo los archivos a comparar");
    return false;
}

bool TTavomir::VerifyDetached()
{
    LoadSettings();
    if (!CheckFiles({&TTavomir::FileInputOne, &TTavomir::FileInputTwo, &TTavomir::ACFile, &TTavomir::CRLFile},
                    {&TTavomir::OCSPFileOne}))
        return false;
    if (!FileExists(FileInputOne)) {
        SetResult("1\r\nNo existe el archivo 1");
        return false;
    }
    const TMessageFile signature{FileInputTwo, IsBase64Input(FileInputTwo)};
    std::string message;
    if (!VerifyPKCS7Detached(signature, FileInputOne, ACFile, CRLFile, URLOCSP, message, OCSPFileOne)) {
        SetResult("1\r\n" + message);
        return false;
    }
    SetResult("2");
    return true;
}

bool TTavomir::VerifyRSA()
{
    LoadSettings();
    if (!CheckFiles({&TTavomir::FileInputOne, &TTavomir::FileInputTwo, &TTavomir::FileCert, &TTavomir::ACFile,
                     &TTavomir::CRLFile},
                    {&TTavomir::OCSPFileOne}))
        return false;
    if (!FileExists(FileInputOne)) {
        SetResult("1\r\nNo existe el archivo Original");
        return false;
    }
    if (!FileExists(FileInputTwo)) {
        SetResult("1\r\nNo existe el archivo de la Firma");
        return false;
    }
    // The signer's DER: from FileCert, or the certificate chosen in the form.
    TCertificado loaded;
    std::string der;
    if (FileCert != kNullMarker) {
        if (!FileExists(FileCert)) {
            SetResult("1\r\nNo existe el Certificado");
            return false;
        }
        loaded.LoadFromFile(FileCert);
        der.assign(reinterpret_cast<const char*>(loaded.GetData()), loaded.GetSize());
    } else {
        Tfrm_Login form(nullptr);
        if (!IdentifySigner(form)) return false;
        PCCERT_CONTEXT chosen = form.SignerRecord().Certificate;
        der.assign(reinterpret_cast<const char*>(chosen->pbCertEncoded), chosen->cbCertEncoded);
    }
    const unsigned char* derBytes = reinterpret_cast<const unsigned char*>(der.data());
    TCertContext context(
        der.empty() ? nullptr : CertCreateCertificateContext(kMessageEncoding, derBytes, static_cast<DWORD>(der.size())));
    if (!context) {
        SetResult("1\r\nNo se encontro certificado para verificar firma RSA");
        return false;
    }
    if (!VerifyDigestRaw(FileInputOne.c_str(), FileInputTwo.c_str(), derBytes, static_cast<DWORD>(der.size()))) {
        SetResult("1\r\nEl archivo no es autentico");
        return false;
    }
    TCertificado ca;
    TCertificado signer;
    const std::string refusal =
        ProvidedCertificateRefusal(CheckIssuedByCa(ACFile, ca, signer, derBytes, static_cast<DWORD>(der.size())));
    if (!refusal.empty()) {
        SetResult(refusal);
        return false;
    }
    TRevocationCheck revocation;
    revocation.askOcsp = !URLOCSP.empty();
    revocation.ocspUrl = URLOCSP;
    revocation.ocspResponseFile = OCSPFileOne;
    revocation.crlFile = CRLFile;
    revocation.caFile = ACFile;
    std::string text;
    switch (CheckRevocation(revocation, context.Get(), ca, text)) {
    case RevocationVerdict::Good:
        SetResult("2");
        return true;
    case RevocationVerdict::Revoked:
        SetResult("1\r\nEl Certificado proporcionado esta Revocado");
        return false;
    case RevocationVerdict::QueryFailed:
        SetResult("1\r\n" + text);
        return false;
    case RevocationVerdict::Undetermined:
        SetResult(revocation.askOcsp ? "1\r\nOCSP:" + text
                                     : "1\r\nEl estatus de revocación del Certificado no se pudo determinar: " + text);
        return false;
    case RevocationVerdict::NotChecked:
        break;
    }
    SetResult("1\r\nEl estatus de revocación del Certificado no se pudo determinar");
    return false;
}
