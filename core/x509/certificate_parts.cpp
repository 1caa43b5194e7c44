#include "core/x509/certificate_parts.h"

#include "core/der/der_reader.h"

using namespace der_reader;

namespace {

// The TBSCertificate read up to its issuer, which *tbs is left after.
bool ReadUpToIssuer(const unsigned char* der, std::size_t length, DERCursor* tbs, ByteBuffer* issuer,
                    ByteBuffer* serial)
{
    if (!der) return false;
    DERCursor whole = Reader(der, length);
    DERCursor certificate;
    ByteBuffer content;
    if (!Enter(&whole, kTagSequence, &certificate) || !Enter(&certificate, kTagSequence, tbs)) return false;
    bool hasVersion = false;
    return ReadOptional(tbs, kTagContextConstructed, &hasVersion, &content) &&
           ReadExpected(tbs, kTagInteger, serial) && serial->length > 0 && SkipElement(tbs) &&
           ReadExpected(tbs, kTagSequence, &content, issuer);
}

}  // namespace

bool ReadCertificateIssuerAndSerial(const unsigned char* der, std::size_t length, ByteBuffer* issuer,
                                    ByteBuffer* serial)
{
    DERCursor tbs;
    return ReadUpToIssuer(der, length, &tbs, issuer, serial);
}

bool ReadCertificateSubjectView(const unsigned char* der, std::size_t length, ByteBuffer* subject)
{
    DERCursor tbs;
    ByteBuffer issuer, serial, content;
    return ReadUpToIssuer(der, length, &tbs, &issuer, &serial) && ReadExpected(&tbs, kTagSequence, &content) &&
           ReadExpected(&tbs, kTagSequence, &content, subject);
}
