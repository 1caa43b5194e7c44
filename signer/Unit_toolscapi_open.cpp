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

// Starts the decoder and feeds it the whole message file, through `layer`
// (the decoder itself, or a layer over it).
template <class Layer>
bool DecodeFile(const TMessageFile& input, bool detached, CmsOutput output, HCRYPTPROV provider,
                TCmsDecoder& decoder, Layer& layer, std::string& message)
{
    TFile file = OpenFileOrThrow(input.path, "rb");
    if (!decoder.Open(detached, output, provider)) return Fail(message);
    if (!FeedMessageFile(file.Get(), input.base64, layer)) return Fail(message);
    return true;
}

bool DecodeFile(const TMessageFile& input, bool detached, CmsOutput output, HCRYPTPROV provider,
                TCmsDecoder& decoder, std::string& message)
{
    return DecodeFile(input, detached, output, provider, decoder, decoder, message);
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

// The envelope's checks after its recipient information, made as soon as
// the decoder knows what they need, so that decryption starts before the
// ciphertext passes and none of it waits on disk. A check that fails on the
// way is kept, to be told once the whole envelope has been read, as when
// the checks followed the reading.
class TEnvelopeFeed {
public:
    TEnvelopeFeed(TCmsDecoder& decoder, const TSignerRecord& signer, const std::string& name)
        : decoder_(decoder), signer_(signer), name_(name)
    {
    }

    bool Update(const unsigned char* data, std::size_t length, bool last)
    {
        // Small pieces until decryption starts: the key is known early in a block.
        while (step_ == Step::Waiting && length > kProbe) {
            if (!decoder_.Update(data, kProbe, false)) return false;
            data += kProbe;
            length -= kProbe;
            TryChecks(false);
        }
        if (!decoder_.Update(data, length, last)) return false;
        if (step_ == Step::Waiting) TryChecks(false);
        return true;
    }

    // After the whole envelope: the checks not made yet, then the one that failed.
    bool Finish(std::string& message)
    {
        if (step_ == Step::Waiting) TryChecks(true);
        if (step_ == Step::Decrypting) return true;
        message = failure_;
        return false;
    }

private:
    enum class Step { Waiting, Decrypting, Failed };
    static const std::size_t kProbe = 4096;

    // Each check in order; one the decoder cannot answer yet is tried again later.
    void TryChecks(bool complete)
    {
        DWORD type = 0;
        if (!decoder_.GetMessageType(&type)) {
            if (complete) Failed(GetLastErrorText());
            return;
        }
        if (type != kCmsEnvelopedData) return Failed("Error: el archivo especificado no es un sobre: " + name_);
        const CERT_INFO* recipient = nullptr;
        if (!decoder_.GetRecipientInfo(&recipient)) return Refused(complete);
        if (!CertCompareCertificate(kMessageEncoding, signer_.Certificate->pCertInfo,
                                    const_cast<CERT_INFO*>(recipient)))
            return Failed("El usuario especificado no es destinatario del sobre: " + name_);
        if (!decoder_.Decrypt(signer_.Provider, signer_.KeySpec)) return Refused(complete);
        step_ = Step::Decrypting;
    }
    void Refused(bool complete)
    {
        if (complete || GetLastError() != static_cast<DWORD>(CRYPT_E_STREAM_MSG_NOT_READY)) Failed(GetLastErrorText());
    }
    void Failed(const std::string& text)
    {
        step_ = Step::Failed;
        failure_ = text;
    }

    TCmsDecoder& decoder_;
    const TSignerRecord& signer_;
    const std::string& name_;
    Step step_ = Step::Waiting;
    std::string failure_;
};

// Decrypts the envelope to `output` as it is read.
bool OpenEnvelopeInto(const TMessageFile& input, CmsOutput output, const TSignerRecord& signer, std::string& message)
{
    TCmsDecoder decoder;
    TEnvelopeFeed feed(decoder, signer, input.path);
    if (!DecodeFile(input, false, output, signer.Provider, decoder, feed, message)) return false;
    return feed.Finish(message);
}

// The signed message an envelope holds, decoded as it is decrypted. Its
// first failure is kept with its text and told after the envelope's own,
// as when the envelope was opened first and its content verified after.
struct TInnerMessage {
    TCmsDecoder decoder;
    bool failed = false;
    std::string failure;
};

bool InnerMessageOutput(void* argument, const unsigned char* data, std::size_t length, bool final)
{
    TInnerMessage* inner = static_cast<TInnerMessage*>(argument);
    if (!inner->failed && !inner->decoder.Update(data, length, final)) {
        inner->failed = true;
        inner->failure = GetLastErrorText();
    }
    return true;  // the envelope is read to its end either way
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
    if (!OpenEnvelopeInto(TMessageFile{inputFile, false}, CmsOutput{CMsgStreamOutput, output.File()}, signer, message))
        return false;
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

// One pass: the envelope is decrypted into the signed message's decoder,
// whose content goes to the output's new file; no decrypted copy on disk.
bool OpenEnvelopeAndVerify(const TMessageFile& input, std::string outputFile, const TSignerRecord& signer,
                           std::string caFile, std::string crlFile, std::string ocspUrl, std::string& message,
                           std::string ocspResponseFile)
{
    TOutputFile output(outputFile, {input.path});
    TCryptProvider provider;
    std::string noProvider;
    if (!AcquireVerifyProvider(provider)) noProvider = GetLastErrorText();
    TInnerMessage inner;
    if (!inner.decoder.Open(false, CmsOutput{CMsgStreamOutput, output.File()}, provider.Get())) return Fail(message);
    std::string own;
    if (!OpenEnvelopeInto(input, CmsOutput{InnerMessageOutput, &inner}, signer, own)) {
        message = own;
        return false;
    }
    if (!provider) {
        message = noProvider;
        return false;
    }
    if (inner.failed) {
        message = inner.failure;
        return false;
    }
    if (!CheckSigner(inner.decoder, TChecks{caFile, crlFile, ocspUrl, ocspResponseFile}, own)) {
        message = own;
        return false;
    }
    if (!output.Commit()) return Fail(message);
    return true;
}
