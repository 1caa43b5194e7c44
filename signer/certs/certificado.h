// A decoded certificate, its signature optionally checked with a CA's key,
// with its serial number as text and a validity verdict.
#pragma once
#include <string>

#include "core/der/bytes.h"
#include "core/rsa/rsa_key.h"
#include "signer/certs/Unit_treqcert.h"

class TCertificado : public TReqCert {
public:
    TCertificado();
    // False when not decoded or when the signature failed the CA key's check.
    bool IsValid() override;
    // Base64 text to DER, then the core's decoder with caKey.
    bool Decode() override;
    ~TCertificado() override;

    // SerialNumberText of the serial; "" when not decoded.
    std::string GetSerialNumber() const;

    ByteBuffer wrapperVersion = {nullptr, 0};  // a view into data (wrapper form only)
    ByteBuffer serialNumber = {nullptr, 0};    // heap copy with a NUL
    const RsaPublicKey* caKey = nullptr;       // set before loading; null = no check
    char notBefore[40] = {};
    char notAfter[40] = {};

private:
    void ReleaseSerial();
};
