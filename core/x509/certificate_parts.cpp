#include "core/x509/certificate_parts.h"

#include "core/der/der_reader.h"
#include "core/text/text.h"
#include "core/x509/certificate.h"

using namespace der_reader;

bool DecodeCertificatePublicKey(const unsigned char* der, std::size_t length, RsaPublicKey* key)
{
    CertificateFields fields;
    int ok = DecodeCertificate(der, length, &fields.wrapperVersion, &fields.serialNumber, nullptr, &fields.issuer,
                               fields.notBefore, fields.notAfter, &fields.subject, &fields.signatureAlgorithm, key,
                               nullptr, &fields.signatureStatus, &fields.extensions);
    if (ok != 1) return false;
    FreeItems(&fields.serialNumber, 1);
    FreeItems(fields.issuer.slots, kNameSlots);
    FreeItems(fields.subject.slots, kNameSlots);
    FreeItems(fields.extensions.slots, kExtensionSlots);
    return true;
}

bool ReadCertificateIssuerAndSerial(const unsigned char* der, std::size_t length, ByteBuffer* issuer,
                                    ByteBuffer* serial)
{
    if (!der) return false;
    DERCursor whole = Reader(der, length);
    DERCursor certificate, tbs;
    ByteBuffer content;
    if (!Enter(&whole, kTagSequence, &certificate) || !Enter(&certificate, kTagSequence, &tbs)) return false;
    bool hasVersion = false;
    return ReadOptional(&tbs, kTagContextConstructed, &hasVersion, &content) &&
           ReadExpected(&tbs, kTagInteger, serial) && serial->length > 0 && SkipElement(&tbs) &&
           ReadExpected(&tbs, kTagSequence, &content, issuer);
}
