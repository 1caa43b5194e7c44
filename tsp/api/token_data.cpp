// What a stored token says: its time, serial, imprint and signer. Nothing
// is compared here; the caller checks the signer against its CA.
#include <cstdint>
#include <vector>

#include "core/text/text.h"
#include "tsp/Halvery.h"
#include "tsp/api/token_check.h"
#include "tsp/protocol/server_certificate.h"
#include "tsp/protocol/tsp_codecs.h"

namespace {

// Takes a decoded field over to the caller: the heap copy is the caller's now.
void HandOver(ByteBuffer& field, ByteBuffer* output)
{
    *output = field;
    field = ByteBuffer{nullptr, 0};
}

}  // namespace

extern "C" int _GetTimeStampData(const ByteBuffer* token, ByteBuffer* genTime, ByteBuffer* serialNumber,
                                 ByteBuffer* hashedMessage, ByteBuffer* signerCertificate, ByteBuffer* subjectName,
                                 ByteBuffer* issuerName, std::uint32_t* error)
{
    std::uint32_t ignored = 0;
    if (!error) error = &ignored;
    *error = 0;
    ByteBuffer* outputs[] = {genTime, serialNumber, hashedMessage, signerCertificate, subjectName, issuerName};
    for (ByteBuffer* output : outputs) {
        if (!output) {
            *error = TSP_ERR_MEMORY;
            return 1;
        }
        *output = ByteBuffer{nullptr, 0};
    }
    if (!token || !token->pointer || token->length == 0) {
        *error = TSP_ERR_DECODING_TOKEN;
        return 1;
    }

    std::vector<unsigned char> eContent;
    OwnedItem signer, subject, issuer;
    if (const std::uint32_t bit = VerifyTokenSignature(token->pointer, token->length, eContent, &signer.item)) {
        *error = bit;
        return 1;
    }
    DecodedTSTInfo info;
    TSTInfoFields& fields = info.fields;
    const bool decoded = DecodeTSTInfo(&fields, eContent.data(), eContent.size()) == 1 && fields.genTime.pointer &&
                         fields.serialNumber.pointer && fields.hashedMessage.pointer;
    if (!decoded || GetSignerCertificateNames(signer.item, &subject.item, &issuer.item) != 0) {
        *error = TSP_ERR_DECODING_ECONTENT;
        return 1;
    }
    HandOver(fields.genTime, genTime);
    HandOver(fields.serialNumber, serialNumber);
    HandOver(fields.hashedMessage, hashedMessage);
    HandOver(signer.item, signerCertificate);
    HandOver(subject.item, subjectName);
    HandOver(issuer.item, issuerName);
    return 0;
}
