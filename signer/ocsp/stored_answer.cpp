#include "signer/ocsp/stored_answer.h"

#include <cstdint>

#include "exchange/generalized_time.h"
#include "signer/ocsp/ocsp_record.h"

// A stored answer is evidence of a status at its time; a day on, or past
// its nextUpdate, it is no longer evidence of the status now.
const char kStoredAnswerTolerance[7] = "240000";

namespace {

const char kUndecodable[] = "Error decodificando respuesta OCSP: ";

bool Refuse(const std::string& reason, std::string& message)
{
    message = kUndecodable + reason;
    return false;
}

enum class StoredStatus { Good, Revoked, Other };

bool Verdict(StoredStatus status, const std::string& revocationTime, std::string& message)
{
    switch (status) {
    case StoredStatus::Good:
        message.clear();
        return true;
    case StoredStatus::Revoked:
        message = "Certificado revocado: " + revocationTime;
        return false;
    case StoredStatus::Other:
        break;
    }
    message = "Status desconocido";
    return false;
}

// The offline check looks at no time: producedAt, and the first status's
// revocation time, read from the same answer.
bool ReadProducedAt(const unsigned char* response, unsigned long responseLength, std::string& producedAt,
                    std::string& revocationTime, std::uint32_t& error)
{
    TLibraryCopy subject, issuer, produced, revoked, serial, responder;
    std::int32_t status = -1;
    error = 0;
    if (_GetOCSPResponseData(response, static_cast<std::uint32_t>(responseLength), &subject.buffer, &issuer.buffer,
                             &produced.buffer, &revoked.buffer, &serial.buffer, &status, &responder.buffer,
                             &error) != 0)
        return false;
    producedAt = produced.Text();
    revocationTime = revoked.Text();
    return true;
}

}  // namespace

bool CheckOCSPResponseFile(const unsigned char* response, unsigned long responseLength, const unsigned char* ca,
                           unsigned long caLength, std::string& message)
{
    std::uint32_t error = 0;
    // The library writes the status only for good (0) and revoked (1).
    std::int32_t certificateStatus = -1;
    if (_CheckOCSPResponsev1(response, static_cast<std::uint32_t>(responseLength), ca,
                             static_cast<std::uint32_t>(caLength), &certificateStatus, &error) != 0)
        return Refuse(OcspErrorText(error), message);
    if (certificateStatus != 0 && certificateStatus != 1) return Verdict(StoredStatus::Other, "", message);

    std::string producedAt, revocationTime;
    if (!ReadProducedAt(response, responseLength, producedAt, revocationTime, error))
        return Refuse(OcspErrorText(error), message);
    char now[kGeneralizedTimeTextSize];
    if (!FormatCurrentGeneralizedTime(now, sizeof now, "Z") ||
        !CompareTimesWithTolerance(producedAt.c_str(), now, kStoredAnswerTolerance))
        return Refuse(OcspErrorText(OCSP_ERR_PRODUCED_AT), message);
    return Verdict(certificateStatus == 0 ? StoredStatus::Good : StoredStatus::Revoked, revocationTime, message);
}

bool CheckOCSPResponseForCertificate(const unsigned char* response, unsigned long responseLength,
                                     const unsigned char* certificate, unsigned long certificateLength,
                                     const unsigned char* ca, unsigned long caLength, std::string& message)
{
    TOcspRecord record;
    if (!record.Initialised()) {
        message = "InitOCSPData failed";
        return false;
    }
    OCSPData* data = record.Get();
    // Nothing is sent: no URL. The times are checked; the nonce cannot be,
    // no request of ours asked for this answer.
    if (_SetOCSPClient(2, 0, 0, 0, "", 0, kStoredAnswerTolerance, data, 0, 0) != 0) {
        message = "SetOCSPClient failed";
        return false;
    }
    if (!ca || caLength == 0 || _SetOCSPIssuer(ca, static_cast<std::uint32_t>(caLength), data) != 0)
        return Refuse(OcspErrorText(OCSP_ERR_ISSUER_CERT), message);
    if (!certificate || certificateLength == 0 ||
        _SetOCSPTarget(certificate, static_cast<std::uint32_t>(certificateLength), data) != 0) {
        message = "El certificado proporcionado no pudo ser leido";
        return false;
    }
    // The library's own code, as the check without the certificate.
    if (_SetCryptographicLibrary(data, OCSP_LIB_OWN) != 0) {
        message = "SetCryptographicLibrary failed";
        return false;
    }
    // The request is never sent: encoding it gives the record the CertID
    // the answer's status must carry.
    TOcspRequestBuffer request;
    if (_EncodeOCSPRequest(data, request.Get()) != 0) {
        message = "Error : " + record.ErrorText();
        return false;
    }
    ByteBuffer stored = {const_cast<unsigned char*>(response), response ? responseLength : 0};
    if (_DecodeOCSPResponse(&stored, data, ca, static_cast<std::uint32_t>(caLength)) != 0)
        return Refuse(record.ErrorText(), message);
    std::int32_t status = 0;
    if (_GetOCSPStatus(data, &status) != 0 || (status != OCSP_CERT_GOOD && status != OCSP_CERT_REVOKED))
        return Verdict(StoredStatus::Other, "", message);
    if (status == OCSP_CERT_GOOD) return Verdict(StoredStatus::Good, "", message);
    std::string dateOrError;
    return Verdict(StoredStatus::Revoked, record.RevocationDate(dateOrError) ? dateOrError : "", message);
}
