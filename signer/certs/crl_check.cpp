#include "signer/certs/crl_check.h"

#include "core/der/der.h"
#include "core/text/text.h"
#include "signer/certs/serial_text.h"

namespace {

const char* const kIssuerNotRead = "No se pudo leer el emisor del certificado";

// The issuer table, released on every path.
struct TIssuerName {
    NameTable name;
    ~TIssuerName() { FreeItems(name.slots, kNameSlots); }
};

}  // namespace

TCRLStatus CheckCertificateCRL(const std::string& crlFile, const std::string& caFile, PCCERT_CONTEXT certificate,
                               std::string& reason)
{
    TIssuerName issuer;
    DERCursor cursor;
    const CERT_NAME_BLOB& blob = certificate->pCertInfo->Issuer;
    InitDERReader(&cursor, blob.pbData, blob.cbData);
    if (blob.cbData == 0 || DecodeName(&cursor, &issuer.name) == 0) {
        reason = kIssuerNotRead;
        return TCRLStatus::Undetermined;
    }
    const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
    return CheckCRLStatus(crlFile, caFile, blob.pbData, blob.cbData,
                          SerialNumberTextReversed(serial.pbData, serial.cbData), reason);
}
