#include "core/x509/certificate_parts.h"

#include "core/der/der_reader.h"

using namespace der_reader;

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
