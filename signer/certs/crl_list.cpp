#include "signer/certs/crl_list.h"

#include <windows.h>

#include "core/text/text.h"
#include "core/x509/crl_file.h"
#include "signer/certs/certificado.h"
#include "signer/certs/serial_text.h"
#include "signer/errors.h"
#include "signer/files/temp_file.h"

namespace {

const char* const kCANotRead = "El certificado de la AC no pudo ser leido";
const char* const kNotDecoded = "Error al decodificar el CRL";
const char* const kNoDates = "Error al obtener las fechas del CRL";
const char* const kEntryFailed = "Error al Decodificar el CRL";
const char* const kOtherIssuer = "El CRL no fue emitido por el emisor del certificado";

}  // namespace

bool TCaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const
{
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
}

TCRL::TCRL() : authoritySerial{authoritySerialBuffer_, 0}, crlNumber{crlNumberBuffer_, 0} {}

TCRL::~TCRL() { Clear(); }

void TCRL::Clear()
{
    revokedSerials.clear();
    thisUpdate.clear();
    nextUpdate.clear();
    errorText.clear();
    FreeItems(crlIssuer.slots, kNameSlots);
    FreeItems(authorityIssuer.slots, kNameSlots);
    authoritySerial.length = 0;
    crlNumber.length = 0;
    signatureVerified = 0;
}

bool TCRL::FindSerial(const std::string& serialText) const
{
    return !serialText.empty() && revokedSerials.count(serialText) != 0;
}

bool TCRL::IssuedBy(const NameTable& issuer) const
{
    bool anyFilled = false;
    for (std::size_t i = 0; i < kNameSlots; ++i) {
        const ByteBuffer& a = crlIssuer.slots[i];
        const ByteBuffer& b = issuer.slots[i];
        const std::size_t lengthA = a.pointer ? a.length : 0;
        const std::size_t lengthB = b.pointer ? b.length : 0;
        if (lengthA != lengthB || (lengthA != 0 && CompareBytes(a.pointer, b.pointer, lengthA) != 0)) return false;
        anyFilled = anyFilled || lengthA != 0;
    }
    return anyFilled;
}

bool TCRL::Load(const std::string& file)
{
    Clear();
    try {
        TTempFile scratch("CRL");
        TCertificado ca;
        if (!caFile.empty() && (!ca.LoadFromFile(caFile) || !ca.GetPublicKey())) {
            errorText = kCANotRead;
            return false;
        }
        const RsaPublicKey* caKey = caFile.empty() ? nullptr : ca.GetPublicKey();
        if (VerifyCRLFile(file.c_str(), scratch.c_str(), &crlIssuer, &authorityIssuer, &authoritySerial, &crlNumber,
                          caKey, &signatureVerified) != kCRLSuccess ||
            (caKey && signatureVerified == 0)) {
            Clear();
            errorText = kNotDecoded;
            return false;
        }
        CRLFileReader reader;
        if (OpenCRLFile(&reader, scratch.c_str()) != kCRLSuccess) {
            Clear();
            errorText = kNotDecoded;
            return false;
        }
        char thisDate[kCRLDateSize], nextDate[kCRLDateSize];
        if (ReadCRLFileDates(&reader, thisDate, nextDate) != kCRLSuccess) {
            Clear();
            errorText = kNoDates;
            return false;
        }
        thisUpdate = thisDate;
        nextUpdate = nextDate;
        unsigned char serial[kCRLSerialSize];
        char date[kCRLDateSize];
        unsigned char reason[kCRLReasonSize];
        ByteBuffer view = {serial, 0};
        int result;
        while ((result = NextCRLFileEntry(&reader, &view, date, reason)) == kCRLSuccess)
            revokedSerials[SerialNumberText(view.pointer, view.length)] = date;
        CloseCRLFile(&reader);
        // No revokedCertificates at all is how OpenSSL writes an empty CRL.
        if (result != kCRLEndOfList && result != kCRLNoList) {
            Clear();
            errorText = kEntryFailed;
            return false;
        }
        return true;
    } catch (const ETavomirError& e) {
        Clear();
        errorText = e.what();
        return false;
    }
}

TCRLStatus CheckCRLStatus(const std::string& crlFile, const std::string& caFile, const NameTable& certificateIssuer,
                          const std::string& serialText, std::string& reason)
{
    TCRL crl;
    crl.caFile = caFile;
    if (!crl.Load(crlFile)) {
        reason = crl.errorText;
        return TCRLStatus::Undetermined;
    }
    if (!crl.IssuedBy(certificateIssuer)) {
        reason = kOtherIssuer;
        return TCRLStatus::Undetermined;
    }
    return crl.FindSerial(serialText) ? TCRLStatus::Revoked : TCRLStatus::Good;
}
