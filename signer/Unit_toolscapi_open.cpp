// The verifying drivers over our streamed decoder.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/capi_handles.h"
#include "signer/Unit_toolscapi.h"
#include "signer/certs/certificado.h"
#include "signer/certs/signer_checks.h"
#include "signer/cms/cms_decode.h"
#include "signer/driver_util.h"
#include "signer/files/file_utils.h"
#include "signer/files/output_file.h"
#include "signer/files/temp_file.h"
#include "signer/signer_record.h"

namespace {

const char* const kNoInput = "Archivo de entrada no existe";

struct TChecks {
    std::string caFile;
    std::string crlFile;
    std::string ocspUrl;
    std::string ocspResponseFile;
};

// Signer 0's certificate from those the message carries, its signature,
// then the CA and revocation checks.
bool CheckSigner(TCmsDecoder& decoder, const TChecks& checks, std::string& message)
{
    TCertStore store;
    if (!decoder.OpenCertificateStore(store)) return Fail(message);
    const CERT_INFO* signerId = nullptr;
    if (!decoder.GetSignerCertInfo(&signerId)) return Fail(message);
    TCertContext found(CertGetSubjectCertificateFromStore(store.Get(), kMessageEncoding, const_cast<CERT_INFO*>(signerId)));
    if (!found) return Fail(message);
    if (!decoder.VerifySignature(found.Get()->pCertInfo)) return Fail(message);

    TCertificado ca;
    TCertificado signer;
    switch (CheckIssuedByCa(checks.caFile, ca, signer, found.Get()->pbCertEncoded, found.Get()->cbCertEncoded)) {
    case CaVerdict::Issued:
        break;
    case CaVerdict::CaUnreadable:
        message = "El certificado de la AC no pudo ser leido";
        return false;
    case CaVerdict::SignerUnreadable:
        message = "El certificado del firmante no pudo ser leido para comprobarlo con la AC";
        return false;
    case CaVerdict::NotIssued:
        message = "Certificado del firmante no emitido por la AC configurada";
        return false;
    }

    TRevocationCheck revocation;
    revocation.askOcsp = !checks.ocspUrl.empty() && !checks.caFile.empty();
    revocation.ocspUrl = checks.ocspUrl;
    revocation.ocspResponseFile = checks.ocspResponseFile;
    revocation.crlFile = checks.crlFile;
    revocation.caFile = checks.caFile;
    std::string text;
    switch (CheckRevocation(revocation, found.Get(), ca, text)) {
    case RevocationVerdict::Good:
    case RevocationVerdict::NotChecked:
        return true;
    case RevocationVerdict::QueryFailed:
        message = text;
        return false;
    case RevocationVerdict::Revoked:
        message = revocation.askOcsp ? "El Certificado del firmante esta Revocado: " + text
                                     : std::string("El Certificado del firmante esta Revocado");
        return false;
    case RevocationVerdict::Undetermined:
        message = "El status del certificado del firmante no se pudo determinar: " + text;
        return false;
    }
    return false;
}

// Starts the decoder and feeds it the whole message file.
bool DecodeFile(const TMessageFile& input, bool detached, CmsOutput output, HCRYPTPROV provider,
                TCmsDecoder& decoder, std::string& message)
{
    TFile file = OpenFileOrThrow(input.path, "rb");
    if (!decoder.Open(detached, output, provider)) return Fail(message);
    if (!FeedMessageFile(file.Get(), input.base64, decoder)) return Fail(message);
    return true;
}

// Decodes the attached message into `output` and checks it; nothing is
// committed here.
bool VerifyAttachedInto(const TMessageFile& input, std::FILE* output, const TChecks& checks, std::string& message)
{
    TCryptProvider provider;
    if (!AcquireVerifyProvider(provider)) return Fail(message);
    if (!FileExists(input.path)) {
        message = kNoInput;
        return false;
    }
    TCmsDecoder decoder;
    if (!DecodeFile(input, false, CmsOutput{CMsgStreamOutput, output}, provider.Get(), decoder, message)) return false;
    return CheckSigner(decoder, checks, message);
}

bool VerifyAttached(const TMessageFile& input, const std::string& outputFile, const TChecks& checks,
                    std::string& message)
{
    TOutputFile output(outputFile, {input.path});
    if (!VerifyAttachedInto(input, output.File(), checks, message)) return false;
    if (!output.Commit()) return Fail(message);
    return true;
}

// Decrypts into `output`, which stays the caller's.
bool OpenEnvelopeInto(const TMessageFile& input, std::FILE* output, const TSignerRecord& signer, std::string& message)
{
    TCmsDecoder decoder;
    if (!DecodeFile(input, false, CmsOutput{CMsgStreamOutput, output}, signer.Provider, decoder, message)) return false;
    DWORD type = 0;
    if (!decoder.GetMessageType(&type)) return Fail(message);
    if (type != kCmsEnvelopedData) {
        message = "Error: el archivo especificado no es un sobre: " + input.path;
        return false;
    }
    const CERT_INFO* recipient = nullptr;
    if (!decoder.GetRecipientInfo(&recipient)) return Fail(message);
    if (!CertCompareCertificate(kMessageEncoding, signer.Certificate->pCertInfo, const_cast<CERT_INFO*>(recipient))) {
        message = "El usuario especificado no es destinatario del sobre: " + input.path;
        return false;
    }
    if (!decoder.Decrypt(signer.Provider, signer.KeySpec)) return Fail(message);
    return true;
}

}  // namespace

bool VerifyPKCS7Attached(std::string inputFile, std::string outputFile, std::string caFile, std::string crlFile,
                         std::string ocspUrl, std::string& message, std::string ocspResponseFile)
{
    return VerifyPKCS7Attached(TMessageFile{inputFile, false}, outputFile, caFile, crlFile, ocspUrl, message,
                               ocspResponseFile);
}

bool VerifyPKCS7Attached(const TMessageFile& input, std::string outputFile, std::string caFile, std::string crlFile,
                         std::string ocspUrl, std::string& message, std::string ocspResponseFile)
{
    return VerifyAttached(input, outputFile, TChecks{caFile, crlFile, ocspUrl, ocspResponseFile}, message);
}

bool VerifyPKCS7Detached(std::string signatureFile, std::string contentFile, std::string caFile,
                         std::string crlFile, std::string ocspUrl, std::string& message,
                         std::string ocspResponseFile)
{
    return VerifyPKCS7Detached(TMessageFile{signatureFile, false}, contentFile, caFile, crlFile, ocspUrl, message,
                               ocspResponseFile);
}

bool VerifyPKCS7Detached(const TMessageFile& signature, std::string contentFile, std::string caFile,
                         std::string crlFile, std::string ocspUrl, std::string& message,
                         std::string ocspResponseFile)
{
    TCryptProvider provider;
    if (!AcquireVerifyProvider(provider)) return Fail(message);
    if (!FileExists(signature.path)) {
        message = kNoInput;
        return false;
    }
    TFile content = OpenFileOrThrow(contentFile, "rb");
    TCmsDecoder decoder;
    // The whole signature message, however long, then the content.
    if (!DecodeFile(signature, true, CmsOutput{}, provider.Get(), decoder, message)) return false;
    if (!FeedMessageFile(content.Get(), false, decoder)) return Fail(message);
    return CheckSigner(decoder, TChecks{caFile, crlFile, ocspUrl, ocspResponseFile}, message);
}

bool OpenEnvelope(std::string inputFile, std::string outputFile, const TSignerRecord& signer, std::string& message)
{
    TOutputFile output(outputFile, {inputFile});
    if (!OpenEnvelopeInto(TMessageFile{inputFile, false}, output.File(), signer, message)) return false;
    if (!output.Commit()) return Fail(message);
    return true;
}

bool OpenEnvelopeAndVerify(std::string inputFile, std::string outputFile, const TSignerRecord& signer,
                           std::string caFile, std::string crlFile, std::string ocspUrl, std::string& message,
                           std::string ocspResponseFile)
{
    return OpenEnvelopeAndVerify(TMessageFile{inputFile, false}, outputFile, signer, caFile, crlFile, ocspUrl,
                                 message, ocspResponseFile);
}

bool OpenEnvelopeAndVerify(const TMessageFile& input, std::string outputFile, const TSignerRecord& signer,
                           std::string caFile, std::string crlFile, std::string ocspUrl, std::string& message,
                           std::string ocspResponseFile)
{
    TTempFile opened;
    {
        TFile file = OpenFileOrThrow(opened.Name(), "wb");
        std::string own;
        if (!OpenEnvelopeInto(input, file.Get(), signer, own)) {
            message = own;
            return false;
        }
        if (!CloseWrittenFile(file)) return Fail(message);
    }
    std::string own;
    if (!VerifyAttached(TMessageFile{opened.Name(), false}, outputFile,
                        TChecks{caFile, crlFile, ocspUrl, ocspResponseFile}, own)) {
        message = own;
        return false;
    }
    return true;
}
