#include "signer/certs/certificado.h"

#include "core/x509/certificate.h"
#include "core/text/text.h"
#include "signer/certs/serial_text.h"

TCertificado::TCertificado() = default;

TCertificado::~TCertificado() { ReleaseSerial(); }

void TCertificado::ReleaseSerial()
{
    FreeItems(&serialNumber, 1);
    wrapperVersion = {nullptr, 0};
}

bool TCertificado::Decode()
{
    // A reload must not leak the previous serial nor keep a view into old bytes.
    ReleaseSerial();
    decoded = false;
    signatureStatus = kSignatureUnchecked;
    PemToDer(data);  // a failed conversion leaves text that then fails to decode
    if (data.empty()) return false;
    int ok = DecodeCertificate(data.data(), data.size(), &wrapperVersion, &serialNumber, reserved, &issuer,
                               notBefore, notAfter, &subject, &signatureAlgorithm, &publicKey, caKey,
                               &signatureStatus, &extensions);
    decoded = ok == 1;
    return decoded;
}

std::string TCertificado::GetSerialNumber() const
{
    if (!decoded) return std::string();
    return SerialNumberText(serialNumber.pointer, serialNumber.length);
}

bool TCertificado::IsValid()
{
    if (!decoded) return false;
    return signatureStatus == kSignatureValid || signatureStatus == kSignatureUnchecked;
}
