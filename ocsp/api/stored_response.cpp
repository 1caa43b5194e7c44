// Stored responses, checked with the library's own code and without a
// record: the offline check, the response's data, the responder's names.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/datasets/datasets.h"
#include "core/text/text.h"
#include "core/x509/certificate.h"
#include "core/x509/decoded_certificate.h"
#include "exchange/generalized_time.h"
#include "ocsp/Dunmere.h"
#include "ocsp/api/response_common.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/response_checks.h"

namespace {

// The response's parts, in a request set of its own.
struct TStoredResponse {
    TParsedResponse parsed;
    DataSets parts;
    bool partsReady;
    TStoredResponse() { partsReady = InitDataSets(&parts) == kDataSetsOk; }
    ~TStoredResponse() { Release(); }
    bool Release()
    {
        bool deleted = parsed.Release();
        if (partsReady) deleted = DeleteDataSets(&parts) == kDataSetsOk && deleted;
        partsReady = false;
        return deleted;
    }
    std::uint32_t Parse(const unsigned char* der, std::uint32_t length)
    {
        if (!parsed.ready || !partsReady) return OCSP_ERR_DATA_SETS_INIT;
        if (!der || length == 0 ||
            !ParseOCSPResponse(der, length, &parsed.statusSets, &parts, &parsed.responderIdKind, &parsed.byName,
                               &parsed.byKey, &parsed.signatureAlgorithm, &parsed.hashAlgorithm, &parsed.rawStatus,
                               &parsed.producedAt, &parsed.nonce))
            return OCSP_ERR_DECODING_RESPONSE;
        return 0;
    }
    // Responder ID, OCSP-signing purpose, algorithm and signature.
    std::uint32_t CheckSigner()
    {
        int authorised = 0;
        if (!CheckResponderID(parsed.responderIdKind, parsed.byName, parsed.byKey, &parts,
                              static_cast<std::uint32_t>(parsed.hashAlgorithm), &authorised))
            return OCSP_ERR_RESPONDER_ID;
        if (!authorised) return OCSP_ERR_NOT_AUTHORIZED;
        if (!IsKnownSignatureAlgorithm(parsed.signatureAlgorithm)) return OCSP_ERR_SIGNATURE_ALGORITHM;
        if (!VerifyResponseSignature(&parts, parsed.signatureAlgorithm)) return OCSP_ERR_SIGNATURE;
        return 0;
    }
    // Status record 1: its digit, and views of its serial and revocation time.
    bool FirstRecord(char& digit, ByteBuffer& serial, ByteBuffer& revocationTime) const
    {
        const unsigned char* status = nullptr;
        std::size_t statusLength = 0;
        const unsigned char* serialBytes = nullptr;
        const unsigned char* time = nullptr;
        std::size_t timeLength = 0;
        if (GetDataItem(&parsed.statusSets, kSlotRecordStatus, 1, &status, &statusLength) != kDataSetsOk ||
            GetDataItem(&parsed.statusSets, kSlotRecordSerial, 1, &serialBytes, &serial.length) != kDataSetsOk ||
            GetDataItem(&parsed.statusSets, kSlotRecordRevocationTime, 1, &time, &timeLength) != kDataSetsOk ||
            statusLength < 1)
            return false;
        digit = static_cast<char>(status[0]);
        serial.pointer = const_cast<unsigned char*>(serialBytes);
        revocationTime.pointer = const_cast<unsigned char*>(time);
        revocationTime.length = strnlen(reinterpret_cast<const char*>(time), timeLength);
        return true;
    }
};

ByteBuffer CopyOut(const void* data, std::size_t length)
{
    ByteBuffer copy = {nullptr, 0};
    if (data && length > 0 && (copy.pointer = CopyToCString(data, length))) copy.length = length;
    return copy;
}

void Hand(ByteBuffer* out, const ByteBuffer& copy)
{
    if (out) *out = copy;
    else std::free(copy.pointer);
}

// Subject and issuer common names of a certificate, as copies.
bool CommonNames(const ByteBuffer& certificate, ByteBuffer* subjectName, ByteBuffer* issuerName)
{
    const DecodedCertificate decoded(certificate, nullptr);
    if (!certificate.pointer || !decoded.decoded) return false;
    const ByteBuffer& subjectCn = decoded.fields.subject.slots[kNameCommonName];
    const ByteBuffer& issuerCn = decoded.fields.issuer.slots[kNameCommonName];
    Hand(subjectName, CopyOut(subjectCn.pointer, subjectCn.length));
    Hand(issuerName, CopyOut(issuerCn.pointer, issuerCn.length));
    return true;
}

void ClearOut(ByteBuffer* out)
{
    if (out) *out = {nullptr, 0};
}

// The caller's outputs, cleared first; what was handed out into them is
// freed again unless kept.
class THandedCopies {
public:
    explicit THandedCopies(std::initializer_list<ByteBuffer*> outputs) : outputs_(outputs)
    {
        for (ByteBuffer* out : outputs_) ClearOut(out);
    }
    ~THandedCopies()
    {
        if (kept_) return;
        for (ByteBuffer* out : outputs_) {
            if (!out) continue;
            std::free(out->pointer);
            ClearOut(out);
        }
    }
    THandedCopies(const THandedCopies&) = delete;
    THandedCopies& operator=(const THandedCopies&) = delete;
    void Keep() { kept_ = true; }

private:
    std::vector<ByteBuffer*> outputs_;
    bool kept_ = false;
};

}  // namespace

extern "C" int _CheckOCSPResponsev1(const unsigned char* responseDer, std::uint32_t responseLength,
                                    const unsigned char* issuerDer, std::uint32_t issuerLength,
                                    std::int32_t* certStatus, std::uint32_t* error)
{
    TStoredResponse stored;
    std::uint32_t failure = stored.Parse(responseDer, responseLength);
    if (!failure && stored.parsed.rawStatus == 0) {
        char now[kGeneralizedTimeTextSize];
        if (!FormatCurrentGeneralizedTime(now, sizeof now, "Z")) failure = OCSP_ERR_ISSUER_CERT;
        if (!failure) failure = ResponderIssuedByOwnCheck(&stored.parts, issuerDer, issuerLength, now);
        if (!failure) failure = stored.CheckSigner();
        char digit = 0;
        ByteBuffer serial = {nullptr, 0}, revocationTime = {nullptr, 0};
        if (!failure && !stored.FirstRecord(digit, serial, revocationTime)) failure = OCSP_ERR_DATA_SETS_READ;
        if (!failure && certStatus && (digit == '0' || digit == '1')) *certStatus = digit - '0';
    }
    if (!stored.Release() && !failure) failure = OCSP_ERR_DATA_SETS_DELETE;
    if (failure && error) *error = failure;
    return failure ? 1 : 0;
}

extern "C" int _GetOCSPResponseData(const unsigned char* responseDer, std::uint32_t responseLength,
                                    ByteBuffer* subjectName, ByteBuffer* issuerName, ByteBuffer* producedAt,
                                    ByteBuffer* revocationTime, ByteBuffer* serialNumber, std::int32_t* certStatus,
                                    ByteBuffer* responderCertificate, std::uint32_t* error)
{
    // Copies are handed out only when every step passed: on a failure the
    // caller gets nothing to release.
    THandedCopies copies{{subjectName, issuerName, producedAt, revocationTime, serialNumber, responderCertificate}};
    TStoredResponse stored;
    std::uint32_t failure = stored.Parse(responseDer, responseLength);
    if (!failure) {
        const std::string produced = TimeText(stored.parsed.producedAt);
        Hand(producedAt, CopyOut(produced.data(), produced.size()));
    }
    if (!failure && stored.parsed.rawStatus == 0) {
        ByteBuffer responder = {nullptr, 0};
        if (ResponderCertificate(&stored.parts, &responder)) {
            CommonNames(responder, subjectName, issuerName);
            Hand(responderCertificate, CopyOut(responder.pointer, responder.length));
        }
        failure = stored.CheckSigner();
        char digit = 0;
        ByteBuffer serial = {nullptr, 0}, revoked = {nullptr, 0};
        if (!failure && !stored.FirstRecord(digit, serial, revoked)) failure = OCSP_ERR_DATA_SETS_READ;
        if (!failure) {
            if (digit == '1') Hand(revocationTime, CopyOut(revoked.pointer, revoked.length));
            Hand(serialNumber, CopyOut(serial.pointer, serial.length));
            if (certStatus && (digit == '0' || digit == '1')) *certStatus = digit - '0';
        }
    }
    if (!stored.Release() && !failure) failure = OCSP_ERR_DATA_SETS_DELETE;
    if (error) *error = failure;
    if (failure) return 1;
    copies.Keep();
    return 0;
}

extern "C" int _GetResponderCertData(const DataSets* sets, ByteBuffer* subjectName, ByteBuffer* issuerName,
                                     ByteBuffer* certificate)
{
    ClearOut(subjectName);
    ClearOut(issuerName);
    ClearOut(certificate);
    // The certificate the responderID named when the response was parsed:
    // the one every check used, wherever it stands among the certificates.
    ByteBuffer responder = {nullptr, 0};
    if (!sets || !ResponderCertificate(sets, &responder)) return 1;
    ByteBuffer subjectCopy = {nullptr, 0}, issuerCopy = {nullptr, 0};
    if (!CommonNames(responder, &subjectCopy, &issuerCopy)) return 1;
    Hand(subjectName, subjectCopy);
    Hand(issuerName, issuerCopy);
    Hand(certificate, CopyOut(responder.pointer, responder.length));
    return 0;
}
