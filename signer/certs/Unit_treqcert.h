// The component's own view of an X.509 certificate, independent of the
// platform's stores: the certificate's bytes and the fields the crypto
// core's decoder extracts from them.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "core/x509/extension.h"
#include "core/x509/name.h"
#include "core/rsa/rsa_key.h"

class TReqCert {
public:
    // The largest certificate file read (DER, PEM or base64 text).
    enum : std::size_t { kMaxFileSize = 65536 };

    TReqCert();
    virtual bool IsValid();
    virtual bool Decode();
    virtual ~TReqCert();

    TReqCert(const TReqCert&) = delete;
    TReqCert& operator=(const TReqCert&) = delete;

    // Not decoded, bytes dropped, the three tables released.
    void Clear();
    // The certificate's bytes and their count when decoded, else null / 0.
    const unsigned char* GetData() const;
    std::size_t GetSize() const;
    // The subject's key when decoded, else null.
    const RsaPublicKey* GetPublicKey() const;

    // The whole file, then Decode. False for a missing file and for one
    // larger than kMaxFileSize (nothing of it is kept); throws
    // EFileOpenError for a file that exists but cannot be read.
    bool LoadFromFile(const std::string& path);
    // The bytes, then Decode; false for no bytes.
    bool LoadFromBuffer(std::size_t length, const unsigned char* bytes);

    // Base64 text (armoured, or bare: first character 'M') is replaced by
    // the bytes it decodes to; anything else is left as DER. False when the
    // text decodes to nothing (the bytes are then unchanged).
    static bool PemToDer(std::vector<unsigned char>& stream);

    NameTable subject;
    ExtensionTable extensions;
    NameTable issuer;
    void* reserved = nullptr;
    int signatureAlgorithm = 0;
    int signatureStatus = 0;  // +1 verified with the CA key, -1 not, 0 not checked
    RsaPublicKey publicKey = {};
    bool decoded = false;
    std::vector<unsigned char> data;

private:
    void ReleaseTables();
};
