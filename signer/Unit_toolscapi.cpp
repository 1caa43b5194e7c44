#include "signer/Unit_toolscapi.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "signer/capi_handles.h"
#include "signer/certificado.h"
#include "signer/cms_stream.h"
#include "signer/errors.h"
#include "signer/temp_file.h"

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const std::size_t kBlock = 8192;
// Content lengths are 32-bit counts.
const std::uint64_t kMaxContent = 0xFFFFFFFFu;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, FileCloser>;

TFile OpenFile(const std::string& path, const char* mode)
{
    TFile file(std::fopen(path.c_str(), mode));
    if (!file) throw EFileOpenError("No se puede abrir el archivo " + path);
    return file;
}

bool Fail(std::string& message)
{
    message = GetLastErrorText();
    return false;
}

bool Fail(std::string& message, DWORD code)
{
    SetLastError(code);
    return Fail(message);
}

bool FileSize(std::FILE* file, std::uint64_t& size)
{
    if (_fseeki64(file, 0, SEEK_END) != 0) return false;
    long long end = _ftelli64(file);
    if (end < 0 || _fseeki64(file, 0, SEEK_SET) != 0) return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

// The message goes to a new file in the output's folder, which replaces the
// output only when the message is complete; otherwise it is deleted.
class TOutputFile {
public:
    explicit TOutputFile(const std::string& output) : output_(output)
    {
        std::string::size_type slash = output.find_last_of("\\/");
        std::string folder = slash == std::string::npos ? std::string(".") : output.substr(0, slash + 1);
        char name[MAX_PATH + 1] = {};
        if (folder.size() > MAX_PATH - 14 || !GetTempFileNameA(folder.c_str(), "tkw", 0, name))
            throw EFileOpenError("No se puede crear el archivo " + output);
        temp_ = name;
        file_ = std::fopen(temp_.c_str(), "wb");
        if (!file_) {
            DeleteFileA(temp_.c_str());
            throw EFileOpenError("No se puede crear el archivo " + output);
        }
    }
    ~TOutputFile()
    {
        if (file_) std::fclose(file_);
        if (!committed_) DeleteFileA(temp_.c_str());
    }
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    std::FILE* File() const { return file_; }

    // Closes the new file and moves it over the output; false leaves the
    // last error and the output as it was.
    bool Commit()
    {
        std::FILE* file = file_;
        file_ = nullptr;
        if (std::fclose(file) != 0) {
            if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        if (!MoveFileExA(temp_.c_str(), output_.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
        committed_ = true;
        return true;
    }

private:
    std::string output_;
    std::string temp_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

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

// Feeds the file from its start in 8192-byte blocks; the last block is the
// one shorter than that or the one that ends the announced size.
template <class Encoder>
bool FeedFile(std::FILE* file, std::uint64_t size, Encoder& encoder)
{
    if (_fseeki64(file, 0, SEEK_SET) != 0) return false;
    std::vector<unsigned char> block(kBlock);
    std::uint64_t remaining = size;
    for (;;) {
        std::size_t n = std::fread(block.data(), 1, kBlock, file);
        if (n < kBlock && std::ferror(file)) {
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        remaining = n < remaining ? remaining - n : 0;
        bool last = n < kBlock || remaining == 0;
        if (!encoder.Update(block.data(), n, last)) return false;
        if (last) return true;
    }
}

bool SignFile(std::FILE* input, std::uint64_t size, const CmsSigner& signer, bool detached, std::FILE* output,
              std::string& message)
{
    std::uint64_t encodedLength = 0;
    if (!CmsSignedEncodedLength(signer, detached, size, &encodedLength)) return Fail(message);
    HandlePendingMessages();
    TCmsSignEncoder encoder;
    if (!encoder.Open(signer, detached, size, CmsOutput{CMsgStreamOutput, output})) return Fail(message);
    if (!FeedFile(input, size, encoder)) return Fail(message);
    return true;
}

bool InputSize(std::FILE* input, std::uint64_t& size, std::string& message)
{
    if (!FileSize(input, size)) return Fail(message, ERROR_READ_FAULT);
    if (size > kMaxContent) return Fail(message, ERROR_FILE_TOO_LARGE);
    return true;
}

bool SignPKCS7(const std::string& inputFile, const std::string& outputFile, PCCERT_CONTEXT certificate,
               bool detached, std::string& message)
{
    TDriverCall call;
    if (!call) return Fail(message, ERROR_BUSY);
    TFile input = OpenFile(inputFile, "rb");
    TOutputFile output(outputFile);
    std::uint64_t size = 0;
    if (!InputSize(input.get(), size, message)) return false;
    TCertPrivateKey key;
    if (!key.Acquire(certificate, CRYPT_ACQUIRE_CACHE_FLAG)) return Fail(message);
    CmsSigner signer;
    signer.certificate = certificate;
    signer.provider = key.Provider();
    signer.keySpec = key.KeySpec();
    if (!SignFile(input.get(), size, signer, detached, output.File(), message)) return false;
    input.reset();
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
    return SignPKCS7(inputFile, outputFile, certificate, false, message);
}

bool SignPKCS7Detached(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                       std::string& message)
{
    return SignPKCS7(inputFile, outputFile, certificate, true, message);
}

bool SignAndEnvelopePKCS7(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                          std::string recipientFile, std::string& message)
{
    TDriverCall call;
    if (!call) return Fail(message, ERROR_BUSY);
    TFile input = OpenFile(inputFile, "rb");
    TOutputFile output(outputFile);
    // The signed message, deleted on every path.
    TTempFile signedTemp;
    TFile signedFile = OpenFile(signedTemp.Name(), "w+b");

    std::uint64_t size = 0;
    if (!InputSize(input.get(), size, message)) return false;
    TCertPrivateKey key;
    if (!key.Acquire(certificate, CRYPT_ACQUIRE_CACHE_FLAG)) return Fail(message);
    CmsSigner signer;
    signer.certificate = certificate;
    signer.provider = key.Provider();
    signer.keySpec = key.KeySpec();
    if (!SignFile(input.get(), size, signer, false, signedFile.get(), message)) return false;
    input.reset();

    // Missing or undecodable: no bytes, which the platform refuses.
    TCertificado recipientCert;
    recipientCert.LoadFromFile(recipientFile);
    std::size_t certSize = recipientCert.GetSize();
    TCertContext recipient(CertCreateCertificateContext(kEncoding, recipientCert.GetData(),
                                                        certSize > MAXDWORD ? 0 : static_cast<DWORD>(certSize)));
    if (!recipient) return Fail(message);

    std::uint64_t signedSize = 0;
    if (!FileSize(signedFile.get(), signedSize)) return Fail(message, ERROR_READ_FAULT);
    if (signedSize > kMaxContent) return Fail(message, ERROR_FILE_TOO_LARGE);
    TCmsEnvelopeEncoder encoder;
    if (!encoder.Open(recipient.Get(), key.Provider(), signedSize, CmsOutput{CMsgStreamOutput, output.File()}))
        return Fail(message);
    if (!FeedFile(signedFile.get(), signedSize, encoder)) return Fail(message);
    signedFile.reset();
    if (!output.Commit()) return Fail(message);
    return true;
}
