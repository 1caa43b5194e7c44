#include "signer/Unit_toolscapi.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/capi_handles.h"
#include "signer/certs/certificado.h"
#include "signer/cms/cms_stream.h"
#include "signer/errors.h"
#include "signer/driver_util.h"
#include "signer/files/base64_file_writer.h"
#include "signer/files/file_utils.h"
#include "signer/files/output_file.h"

namespace {


// One driver at a time per thread: the pending window messages a driver
// lets run could otherwise call into the component again mid-message.
thread_local bool driverRunning = false;

class TDriverCall {
public:
    TDriverCall() : entered_(!driverRunning) { driverRunning = true; }
    ~TDriverCall()
    {
        if (entered_) driverRunning = false;
    }
    TDriverCall(const TDriverCall&) = delete;
    TDriverCall& operator=(const TDriverCall&) = delete;
    explicit operator bool() const { return entered_; }

private:
    bool entered_;
};

// Lets the thread's pending window messages run once, until none is left.
void HandlePendingMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Left for the thread's own message loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool SignFile(std::FILE* input, std::uint64_t size, const CmsSigner& signer, bool detached, CmsOutput output,
              std::string& message)
{
    std::uint64_t encodedLength = 0;
    if (!CmsSignedEncodedLength(signer, detached, size, &encodedLength)) return Fail(message);
    HandlePendingMessages();
    TCmsSignEncoder encoder;
    if (!encoder.Open(signer, detached, size, output)) return Fail(message);
    if (!FeedFile(input, size, encoder)) return Fail(message);
    return true;
}

bool InputSize(std::FILE* input, std::uint64_t& size, std::string& message)
{
    if (!FileSize(input, size)) return Fail(message, ERROR_READ_FAULT);
    if (size > kCmsMaxEncodedLength) return Fail(message, ERROR_FILE_TOO_LARGE);
    return true;
}

// The certificate with its private key, which the key owner keeps for the
// signer's lifetime. False leaves the last error.
bool SignerOf(PCCERT_CONTEXT certificate, TCertPrivateKey& key, CmsSigner& signer)
{
    if (!key.Acquire(certificate, CRYPT_ACQUIRE_CACHE_FLAG)) return false;
    signer.certificate = certificate;
    signer.provider = key.Provider();
    signer.keySpec = key.KeySpec();
    return true;
}

// The signed message written to the output's new file as base64 text in the
// same pass, so a large input never has a DER copy on disk.
bool SignFileBase64(std::FILE* input, std::uint64_t size, const CmsSigner& signer, bool detached,
                    TOutputFile& output, unsigned lineWidth, std::string& message)
{
    TBase64FileWriter text(output.File(), lineWidth);
    return SignFile(input, size, signer, detached, CmsOutput{Base64FileWriterOutput, &text}, message);
}

// lineWidth 0: DER; else base64 text, lineWidth groups to a line.
bool SignPKCS7(const std::string& inputFile, const std::string& outputFile, PCCERT_CONTEXT certificate,
               bool detached, unsigned lineWidth, std::string& message)
{
    TDriverCall call;
    if (!call) return Fail(message, ERROR_BUSY);
    TFile input = OpenFileOrThrow(inputFile, "rb");
    TOutputFile output(outputFile, {inputFile});
    std::uint64_t size = 0;
    if (!InputSize(input.Get(), size, message)) return false;
    TCertPrivateKey key;
    CmsSigner signer;
    if (!SignerOf(certificate, key, signer)) return Fail(message);
    bool ok = lineWidth == 0
                  ? SignFile(input.Get(), size, signer, detached, CmsOutput{CMsgStreamOutput, output.File()}, message)
                  : SignFileBase64(input.Get(), size, signer, detached, output, lineWidth, message);
    if (!ok) return false;
    input.Reset();
    if (!output.Commit()) return Fail(message);
    return true;
}

// The signed message goes straight into the envelope encoder.
bool EnvelopeInput(void* argument, const unsigned char* data, std::size_t length, bool final)
{
    return static_cast<TCmsEnvelopeEncoder*>(argument)->Update(data, length, final);
}

// Signs and envelopes in one pass: the signed message's length is known
// before its first byte, so the envelope takes it as it is made, and no
// copy of it is written. lineWidth 0: DER; else base64 text.
bool SignAndEnvelope(const std::string& inputFile, const std::string& outputFile, PCCERT_CONTEXT certificate,
                     const std::string& recipientFile, unsigned lineWidth, std::string& message)
{
    TDriverCall call;
    if (!call) return Fail(message, ERROR_BUSY);
    TFile input = OpenFileOrThrow(inputFile, "rb");
    TOutputFile output(outputFile, {inputFile, recipientFile});
    std::uint64_t size = 0;
    if (!InputSize(input.Get(), size, message)) return false;
    TCertPrivateKey key;
    CmsSigner signer;
    if (!SignerOf(certificate, key, signer)) return Fail(message);
    std::uint64_t signedLength = 0;
    if (!CmsSignedEncodedLength(signer, false, size, &signedLength)) return Fail(message);

    // Read with the certificate files' bound: never a cut or empty certificate.
    TCertificado recipientCert;
    if (!recipientCert.LoadFromFile(recipientFile)) {
        message = "El certificado del destinatario no pudo ser leido";
        return false;
    }
    std::size_t certSize = recipientCert.GetSize();
    TCertContext recipient(CertCreateCertificateContext(kMessageEncoding, recipientCert.GetData(),
                                                        certSize > MAXDWORD ? 0 : static_cast<DWORD>(certSize)));
    if (!recipient) return Fail(message);

    std::unique_ptr<TBase64FileWriter> text;
    CmsOutput envelopeOutput{CMsgStreamOutput, output.File()};
    if (lineWidth != 0) {
        text.reset(new TBase64FileWriter(output.File(), lineWidth));
        envelopeOutput = CmsOutput{Base64FileWriterOutput, text.get()};
    }
    TCmsEnvelopeEncoder envelope;
    if (!envelope.Open(recipient.Get(), key.Provider(), signedLength, envelopeOutput)) return Fail(message);
    if (!SignFile(input.Get(), size, signer, false, CmsOutput{EnvelopeInput, &envelope}, message)) return false;
    text.reset();
    input.Reset();
    if (!output.Commit()) return Fail(message);
    return true;
}

}  // namespace

bool CMsgStreamOutput(void* argument, const unsigned char* data, std::size_t length, bool final)
{
    std::FILE* file = static_cast<std::FILE*>(argument);
    SetLastError(ERROR_SUCCESS);
    bool ok = (length == 0 || std::fwrite(data, 1, length, file) == length) && (!final || std::fflush(file) == 0);
    if (!ok && GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    return ok;
}

bool SignPKCS7Attached(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                       std::string& message)
{
    return SignPKCS7(inputFile, outputFile, certificate, false, 0, message);
}

bool SignPKCS7Detached(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                       std::string& message)
{
    return SignPKCS7(inputFile, outputFile, certificate, true, 0, message);
}

bool SignPKCS7Base64(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate, bool detached,
                     unsigned lineWidth, std::string& message)
{
    if (lineWidth == 0) return Fail(message, ERROR_INVALID_PARAMETER);
    return SignPKCS7(inputFile, outputFile, certificate, detached, lineWidth, message);
}

bool SignAndEnvelopePKCS7(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                          std::string recipientFile, std::string& message)
{
    return SignAndEnvelope(inputFile, outputFile, certificate, recipientFile, 0, message);
}

bool SignAndEnvelopePKCS7Base64(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                                std::string recipientFile, unsigned lineWidth, std::string& message)
{
    if (lineWidth == 0) return Fail(message, ERROR_INVALID_PARAMETER);
    return SignAndEnvelope(inputFile, outputFile, certificate, recipientFile, lineWidth, message);
}
