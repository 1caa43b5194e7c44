#include "core/x509/decoded_certificate.h"

#include "core/text/text.h"

DecodedCertificate::DecodedCertificate(const ByteBuffer& der, const RsaPublicKey* issuerKey)
{
    if (!der.pointer || der.length == 0) return;
    decoded = DecodeCertificate(der.pointer, der.length, &fields.wrapperVersion, &fields.serialNumber, nullptr,
                                &fields.issuer, fields.notBefore, fields.notAfter, &fields.subject,
                                &fields.signatureAlgorithm, &fields.publicKey, issuerKey, &fields.signatureStatus,
                                &fields.extensions) == 1;
}

DecodedCertificate::~DecodedCertificate()
{
    FreeItems(&fields.serialNumber, 1);
    FreeItems(fields.issuer.slots, kNameSlots);
    FreeItems(fields.subject.slots, kNameSlots);
    FreeItems(fields.extensions.slots, kExtensionSlots);
}
