#include "tsp/protocol/server_certificate.h"

#include "core/text/text.h"
#include "core/x509/decoded_certificate.h"

int CheckServerCertificate(const unsigned char* caCertificate, std::size_t caLength, const ByteBuffer& signer)
{
    if (!caCertificate || caLength == 0) return 0;
    DecodedCertificate ca(ByteBuffer{const_cast<unsigned char*>(caCertificate), caLength}, nullptr);
    if (!ca.decoded) return 0;
    DecodedCertificate server(signer, &ca.fields.publicKey);
    return server.decoded && server.fields.signatureStatus == kSignatureValid ? 1 : 0;
}

int GetSignerCertificateNames(const ByteBuffer& signer, ByteBuffer* subjectName, ByteBuffer* issuerName)
{
    *subjectName = ByteBuffer{nullptr, 0};
    *issuerName = ByteBuffer{nullptr, 0};
    DecodedCertificate decoded(signer, nullptr);
    if (!decoded.decoded) return 1;
    const ByteBuffer& subject = decoded.fields.subject.slots[kNameCommonName];
    const ByteBuffer& issuer = decoded.fields.issuer.slots[kNameCommonName];
    ByteBuffer copies[2] = {{CopyToCString(subject.pointer, subject.length), subject.length},
                            {CopyToCString(issuer.pointer, issuer.length), issuer.length}};
    if (!copies[0].pointer || !copies[1].pointer) {
        FreeItems(copies, 2);
        return 1;
    }
    *subjectName = copies[0];
    *issuerName = copies[1];
    return 0;
}
