// Owners for the CryptoAPI handles the component takes, so that every path
// releases them: providers, hashes, keys, certificate contexts, stores and
// messages.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <utility>

// The encodings every certificate and message here is read and written in.
const DWORD kMessageEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

template <class Handle, class Traits>
class TCapiHandle {
public:
    TCapiHandle() = default;
    explicit TCapiHandle(Handle handle) : handle_(handle) {}
    ~TCapiHandle() { Reset(); }

    TCapiHandle(const TCapiHandle&) = delete;
    TCapiHandle& operator=(const TCapiHandle&) = delete;
    TCapiHandle(TCapiHandle&& other) noexcept : handle_(other.Detach()) {}
    TCapiHandle& operator=(TCapiHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Detach());
        return *this;
    }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle(); }

    // Releases the held handle and takes the new one.
    void Reset(Handle handle = Handle())
    {
        if (handle_ != Handle()) Traits::Release(handle_);
        handle_ = handle;
    }
    // Gives the handle up without releasing it.
    Handle Detach()
    {
        Handle handle = handle_;
        handle_ = Handle();
        return handle;
    }
    // For a call that writes a new handle: releases the held one first.
    Handle* Put()
    {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Handle();
};

namespace capi_traits {
struct Provider {
    static void Release(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
struct Hash {
    static void Release(HCRYPTHASH h) { CryptDestroyHash(h); }
};
struct Key {
    static void Release(HCRYPTKEY h) { CryptDestroyKey(h); }
};
struct CertContext {
    static void Release(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};
struct Store {
    static void Release(HCERTSTORE h) { CertCloseStore(h, 0); }
};
struct Message {
    static void Release(HCRYPTMSG h) { CryptMsgClose(h); }
};
}  // namespace capi_traits

using TCryptProvider = TCapiHandle<HCRYPTPROV, capi_traits::Provider>;
using TCryptHash = TCapiHandle<HCRYPTHASH, capi_traits::Hash>;
using TCryptKey = TCapiHandle<HCRYPTKEY, capi_traits::Key>;
using TCertContext = TCapiHandle<PCCERT_CONTEXT, capi_traits::CertContext>;
using TCertStore = TCapiHandle<HCERTSTORE, capi_traits::Store>;
using TCryptMessage = TCapiHandle<HCRYPTMSG, capi_traits::Message>;

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
