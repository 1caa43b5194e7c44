#include "platform/capi_handles.h"

void TCertPrivateKey::Reset()
{
    if (provider_ && callerFree_) CryptReleaseContext(provider_, 0);
    provider_ = 0;
    keySpec_ = 0;
    callerFree_ = false;
}

bool TCertPrivateKey::Acquire(PCCERT_CONTEXT certificate, DWORD flags)
{
    Reset();
    HCRYPTPROV provider = 0;
    DWORD keySpec = 0;
    BOOL callerFree = FALSE;
    if (!CryptAcquireCertificatePrivateKey(certificate, flags, nullptr, &provider, &keySpec, &callerFree))
        return false;
    provider_ = provider;
    keySpec_ = keySpec;
    callerFree_ = callerFree != FALSE;
    return true;
}

bool AcquireVerifyProvider(TCryptProvider& provider)
{
    if (CryptAcquireContextA(provider.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return true;
    return CryptAcquireContextA(provider.Put(), nullptr, nullptr, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET) != FALSE;
}

bool OpenUserStore(TCertStore& store, const char* name)
{
    store.Reset(CertOpenSystemStoreA(0, name));
    return static_cast<bool>(store);
}

bool FindCertificateByHash(TCertStore& store, const unsigned char* hash, TCertContext& found)
{
    CRYPT_HASH_BLOB blob;
    blob.cbData = 20;
    blob.pbData = const_cast<BYTE*>(hash);
    found.Reset(CertFindCertificateInStore(store.Get(), kMessageEncoding, 0, CERT_FIND_SHA1_HASH, &blob, nullptr));
    return static_cast<bool>(found);
}

bool GetCertificateHash(PCCERT_CONTEXT certificate, unsigned char hash[20])
{
    DWORD size = 20;
    if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &size)) return false;
    return size == 20;
}

bool HashData(HCRYPTPROV provider, ALG_ID algorithm, const void* data, std::size_t length,
              unsigned char* digest, DWORD* digestLength)
{
    TCryptHash hash;
    if (!CryptCreateHash(provider, algorithm, 0, 0, hash.Put())) return false;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (length) {
        DWORD piece = length > 0x10000 ? 0x10000 : static_cast<DWORD>(length);
        if (!CryptHashData(hash.Get(), bytes, piece, 0)) return false;
        bytes += piece;
        length -= piece;
    }
    return CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, digestLength, 0) != FALSE;
}

bool RandomBytes(HCRYPTPROV provider, unsigned char* bytes, DWORD count)
{
    return CryptGenRandom(provider, count, bytes) != FALSE;
}
