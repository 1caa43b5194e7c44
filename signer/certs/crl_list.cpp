#include "signer/certs/crl_list.h"

#include <algorithm>
#include <new>

#include "core/rsa/digestinfo_sign.h"
#include "core/text/text.h"
#include "core/x509/certificate_parts.h"
#include "core/x509/crl_file.h"
#include "signer/certs/certificado.h"
#include "signer/certs/serial_text.h"
#include "signer/errors.h"
#include "signer/files/file_utils.h"

namespace {

const char* const kMissing = "No existe el archivo del CRL";
const char* const kCANotRead = "El certificado de la AC no pudo ser leido";
const char* const kNotDecoded = "Error al decodificar el CRL";
const char* const kEntryFailed = "Error al Decodificar el CRL";
const char* const kNotTheCAs = "El CRL no fue emitido por la AC configurada";
const char* const kUnsupportedAlgorithm = "El algoritmo de firma del CRL no es soportado";
const char* const kForged = "La firma del CRL no es valida";
const char* const kCriticalExtension = "El CRL contiene una extension critica no soportada";
const char* const kOtherIssuer = "El CRL no fue emitido por el emisor del certificado";

unsigned char LowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

bool SameTextAnyCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

struct TKeptEntries {
    TCRL* crl;
    const std::string* onlySerial;  // null: every entry
};

int KeepEntry(void* context, const ByteBuffer& serial, const char* date, const unsigned char*)
{
    TKeptEntries* kept = static_cast<TKeptEntries*>(context);
    std::string text = SerialNumberText(serial.pointer, serial.length);
    if (!kept->onlySerial || SameTextAnyCase(text, *kept->onlySerial)) kept->crl->revokedSerials[text] = date;
    return kCRLSuccess;
}

}  // namespace

bool TCaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return LowerAscii(x) < LowerAscii(y);
    });
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
    issuerName.clear();
    authoritySerial.length = 0;
    crlNumber.length = 0;
    signatureVerified = 0;
}

bool TCRL::FindSerial(const std::string& serialText) const
{
    return !serialText.empty() && revokedSerials.count(serialText) != 0;
}

bool TCRL::IssuedBy(const unsigned char* name, std::size_t length) const
{
    return name && length != 0 && issuerName.size() == length && CompareBytes(issuerName.data(), name, length) == 0;
}

bool TCRL::Load(const std::string& file) { return LoadEntries(file, nullptr); }

bool TCRL::LoadEntryOf(const std::string& file, const std::string& serialText)
{
    return LoadEntries(file, &serialText);
}

bool TCRL::LoadEntries(const std::string& file, const std::string* onlySerial)
{
    Clear();
    const char* failure = nullptr;
    try {
        if (!FileExists(file)) {
            errorText = kMissing;
            return false;
        }
        TCertificado ca;
        ByteBuffer caSubject = {nullptr, 0};
        if (!caFile.empty() && (!ca.LoadFromFile(caFile) || !ca.GetPublicKey() ||
                                !ReadCertificateSubjectView(ca.GetData(), ca.GetSize(), &caSubject))) {
            errorText = kCANotRead;
            return false;
        }
        const RsaPublicKey* caKey = caFile.empty() ? nullptr : ca.GetPublicKey();

        issuerName.resize(kCRLIssuerSize);
        ByteBuffer issuerView = {issuerName.data(), 0};
        char thisDate[kCRLDateSize], nextDate[kCRLDateSize];
        CRLFileOutputs outputs = CRLFileOutputsOver(&crlIssuer, &authorityIssuer, &authoritySerial, &crlNumber,
                                                    &issuerView, thisDate, nextDate);
        TKeptEntries kept = {this, onlySerial};
        const CRLEntryVisitor visitor = {KeepEntry, &kept};
        const int result = ReadCRLFile(file.c_str(), caKey, &outputs, &visitor);
        issuerName.resize(issuerView.length);
        signatureVerified = outputs.signatureVerified;

        if (result != kCRLSuccess && result != kCRLCriticalExtension)
            failure = outputs.failedInList ? kEntryFailed : kNotDecoded;
        else if (caKey && !IssuedBy(caSubject.pointer, caSubject.length))
            failure = kNotTheCAs;
        else if (caKey && SignatureDigestType(outputs.signatureAlgorithm) == 0)
            failure = kUnsupportedAlgorithm;
        else if (caKey && signatureVerified == 0)
            failure = kForged;
        else if (result == kCRLCriticalExtension)
            failure = kCriticalExtension;  // a delta or partial list: not the whole truth
        if (!failure) {
            thisUpdate = thisDate;
            nextUpdate = nextDate;
            return true;
        }
    } catch (const ETavomirError& e) {
        Clear();
        errorText = e.what();
        return false;
    } catch (const std::bad_alloc&) {
        failure = kNotDecoded;
    }
    Clear();
    errorText = failure;
    return false;
}

TCRLStatus CheckCRLStatus(const std::string& crlFile, const std::string& caFile, const unsigned char* certificateIssuer,
                          std::size_t issuerLength, const std::string& serialText, std::string& reason)
{
    TCRL crl;
    crl.caFile = caFile;
    if (!crl.LoadEntryOf(crlFile, serialText)) {
        reason = crl.errorText;
        return TCRLStatus::Undetermined;
    }
    if (!crl.IssuedBy(certificateIssuer, issuerLength)) {
        reason = kOtherIssuer;
        return TCRLStatus::Undetermined;
    }
    return crl.FindSerial(serialText) ? TCRLStatus::Revoked : TCRLStatus::Good;
}
