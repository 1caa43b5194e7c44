#include "signer/raw_rsa.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/capi_handles.h"
#include "signer/errors.h"
#include "signer/files/file_utils.h"

namespace {


// Feeds the whole stream, from its start, to the hash in 8192-byte blocks;
// an empty stream is one empty block.
bool HashStream(HCRYPTHASH hash, std::FILE* stream)
{
    if (std::fseek(stream, 0, SEEK_SET) != 0) return false;
    std::vector<unsigned char> block(kFileBlockSize);
    for (;;) {
        std::size_t n = std::fread(block.data(), 1, kFileBlockSize, stream);
        if (n < kFileBlockSize && std::ferror(stream)) return false;
        if (!CryptHashData(hash, block.data(), static_cast<DWORD>(n), 0)) return false;
        if (n < kFileBlockSize) return true;
    }
}

}  // namespace


bool SignDigestRaw(std::FILE* input, std::FILE* output, HCRYPTPROV provider, DWORD keySpec)
{
    TCryptHash hash;
    if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, hash.Put())) return false;
    if (!HashStream(hash.Get(), input)) return false;
    DWORD length = 0;
    if (!CryptSignHashA(hash.Get(), keySpec, nullptr, 0, nullptr, &length)) return false;
    if (length == 0 || length > 256) return false;
    std::vector<unsigned char> signature(length);
    if (!CryptSignHashA(hash.Get(), keySpec, nullptr, 0, signature.data(), &length)) return false;
    if (length == 0 || length > signature.size()) return false;
    ReverseBytes(signature.data(), length);
    if (std::fseek(output, 0, SEEK_SET) != 0) return false;
    if (std::fwrite(signature.data(), 1, length, output) != length) return false;
    return std::fflush(output) == 0;
}

bool VerifyDigestRaw(const char* dataFile, const char* signatureFile, const unsigned char* certificate,
                     DWORD certificateLength)
{
    // A verification-only context: no key container is opened or made.
    TCryptProvider provider;
    if (!CryptAcquireContextA(provider.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return false;
    TCryptHash hash;
    if (!CryptCreateHash(provider.Get(), CALG_SHA1, 0, 0, hash.Put())) return false;
    {
        TFile data = OpenFileOrThrow(dataFile, "rb");
        if (!HashStream(hash.Get(), data.Get())) return false;
    }
    TCertContext context(CertCreateCertificateContext(kMessageEncoding, certificate, certificateLength));
    if (!context) return false;
    TCryptKey key;
    if (!CryptImportPublicKeyInfoEx(provider.Get(), kMessageEncoding, &context.Get()->pCertInfo->SubjectPublicKeyInfo,
                                    CALG_RSA_SIGN, 0, nullptr, key.Put()))
        return false;

    TFile file = OpenFileOrThrow(signatureFile, "rb");
    // Read at most one byte beyond the cap, to tell an oversized file.
    std::vector<unsigned char> signature(kMaxRawSignatureFile + 1);
    std::size_t length = std::fread(signature.data(), 1, signature.size(), file.Get());
    if (std::ferror(file.Get()) || length == 0 || length > static_cast<std::size_t>(kMaxRawSignatureFile))
        return false;
    DWORD size = static_cast<DWORD>(length);
    if (CryptVerifySignatureA(hash.Get(), signature.data(), size, key.Get(), nullptr, 0)) return true;
    ReverseBytes(signature.data(), length);
    return CryptVerifySignatureA(hash.Get(), signature.data(), size, key.Get(), nullptr, 0) != FALSE;
}
