// CryptoAPI conveniences over the owners of platform/owner.h: a
// certificate's private key, the verify provider, user stores and digests.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <utility>

#include "platform/owner.h"

// The encodings every certificate and message here is read and written in.
const DWORD kMessageEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// A certificate's private key: the provider, the key spec, and
// whether the provider is ours to release (with the cache flag it stays
// with the certificate and is never released here).
class TCertPrivateKey {
public:
    TCertPrivateKey() = default;
    ~TCertPrivateKey() { Reset(); }
    TCertPrivateKey(const TCertPrivateKey&) = delete;
    TCertPrivateKey& operator=(const TCertPrivateKey&) = delete;

    // CryptAcquireCertificatePrivateKey with the flags; false leaves the last error.
    bool Acquire(PCCERT_CONTEXT certificate, DWORD flags);
    void Reset();

    HCRYPTPROV Provider() const { return provider_; }
    DWORD KeySpec() const { return keySpec_; }
    bool CallerFrees() const { return callerFree_; }

private:
    HCRYPTPROV provider_ = 0;
    DWORD keySpec_ = 0;
    bool callerFree_ = false;
};

// PROV_RSA_FULL without a key container, retried with a new key set when
// the first attempt fails. False leaves the last error.
bool AcquireVerifyProvider(TCryptProvider& provider);

// The current user's store of the name ("MY"); false leaves the last error.
bool OpenUserStore(TCertStore& store, const char* name);

// The certificate of the store whose SHA-1 hash property is the 20 bytes.
bool FindCertificateByHash(TCertStore& store, const unsigned char* hash, TCertContext& found);

// The certificate's SHA-1 hash property (20 bytes).
bool GetCertificateHash(PCCERT_CONTEXT certificate, unsigned char hash[20]);

// A digest (CALG_SHA1 and the others) of the data on the provider.
bool HashData(HCRYPTPROV provider, ALG_ID algorithm, const void* data, std::size_t length,
              unsigned char* digest, DWORD* digestLength);

// Random bytes from the provider.
bool RandomBytes(HCRYPTPROV provider, unsigned char* bytes, DWORD count);
