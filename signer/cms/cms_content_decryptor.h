// Decrypts enveloped content as it passes. Ciphertext that passes before
// the content key is known waits in memory while it is small, then in a
// temporary file, which the decryptor owns and deletes; the content key and the plaintext it holds back are
// released and wiped when decryption ends or the decryptor goes.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/der/bytes.h"
#include "platform/capi_handles.h"
#include "signer/cms/cms_stream.h"
#include "signer/files/temp_file.h"

class TCmsContentDecryptor {
public:
    // The output must outlive the decryptor.
    explicit TCmsContentDecryptor(const CmsOutput& output) : output_(output) {}
    ~TCmsContentDecryptor();
    TCmsContentDecryptor(const TCmsContentDecryptor&) = delete;
    TCmsContentDecryptor& operator=(const TCmsContentDecryptor&) = delete;

    // Ciphertext as it passes: decrypted once decryption has started, else kept.
    bool Take(const unsigned char* data, std::size_t length);
    // The last ciphertext has passed.
    bool End();

    // Unwraps the content key (big-endian wrappedKey) with the provider's
    // exchange key of that spec: RC4 or 3DES in CBC mode with the IV. A key
    // that does not unwrap leaves the decryptor as it was.
    bool ImportKey(HCRYPTPROV provider, DWORD keySpec, ALG_ID algorithm, const std::vector<unsigned char>& iv,
                   const ByteBuffer& wrappedKey);
    // Decrypts what was kept, then what passes from now on.
    bool Start();

    bool Started() const { return decrypting_ || decrypted_; }

private:
    bool Spill(const unsigned char* data, std::size_t length);
    bool Decrypt(const unsigned char* data, std::size_t length);
    bool DecryptPending();
    bool Finish();

    CmsOutput output_;
    ALG_ID algorithm_ = 0;
    bool cipherDone_ = false;
    std::vector<unsigned char> held_;        // ciphertext kept before any went to the file
    std::unique_ptr<TTempFile> spillName_;  // before the stream: deleted after it is closed
    TFile spill_;
    bool decrypting_ = false;
    bool decrypted_ = false;
    TCryptKey contentKey_;
    std::vector<unsigned char> work_;
    std::size_t pending_ = 0;
};
