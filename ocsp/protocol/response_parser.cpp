#include <cstdint>
#include <initializer_list>

#include "core/der/der_reader.h"
#include "core/hash/digest.h"
#include "core/text/text.h"
#include "ocsp/protocol/certificate_readers.h"
#include "ocsp/protocol/ocsp_request_codec.h"
#include "ocsp/protocol/ocsp_response_codec.h"
#include "ocsp/protocol/ocsp_set_items.h"
#include "ocsp/protocol/response_checks.h"

using namespace der_reader;

namespace {

const ByteBuffer kEmptyMarker{const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(kOCSPEmptyTime)),
                              sizeof kOCSPEmptyTime};

bool AppendStatusRecord(DataSets* statusSets, const ByteBuffer& serial, const ByteBuffer& nameHash,
                        const ByteBuffer& keyHash, int status, const ByteBuffer& thisUpdate,
                        const ByteBuffer& nextUpdate, const ByteBuffer& revocationTime)
{
    unsigned char digit = static_cast<unsigned char>('0' + status);
    return ocsp_items::Add(statusSets, kSlotRecordSerial, serial) &&
           ocsp_items::Add(statusSets, kSlotRecordNameHash, nameHash) &&
           ocsp_items::Add(statusSets, kSlotRecordKeyHash, keyHash) &&
           ocsp_items::Add(statusSets, kSlotRecordStatus, ByteBuffer{&digit, 1}) &&
           ocsp_items::Add(statusSets, kSlotRecordThisUpdate, thisUpdate) &&
           ocsp_items::Add(statusSets, kSlotRecordNextUpdate, nextUpdate.length ? nextUpdate : kEmptyMarker) &&
           ocsp_items::Add(statusSets, kSlotRecordRevocationTime,
                           status == kOCSPCertRevoked ? revocationTime : kEmptyMarker);
}

// Reads the SingleResponses into status records; only SHA-1 CertIDs can
// answer our requests, others are passed over.
bool ReadStatusRecords(const ByteBuffer& responses, DataSets* statusSets, int* hashAlgorithm)
{
    DERCursor list = Inside(responses);
    bool first = true;
    while (!AtEnd(list)) {
        ByteBuffer thisUpdate, nextUpdate, revocationTime, serial, nameHash, keyHash;
        int status = -1, algorithm = -1;
        if (!DecodeSingleResponse(&list, &thisUpdate, &nextUpdate, &status, &revocationTime, &serial, &algorithm,
                                  &nameHash, &keyHash))
            return false;
        if (first) *hashAlgorithm = algorithm;
        first = false;
        if (algorithm != static_cast<int>(kDigestSha1)) continue;
        if (status == kOCSPCertRevoked && !revocationTime.length) return false;
        if (!AppendStatusRecord(statusSets, serial, nameHash, keyHash, status, thisUpdate, nextUpdate,
                                revocationTime))
            return false;
    }
    return true;
}

}  // namespace

int FindResponderCertificate(const DataSets* requestSets, int responderIdKind, const ByteBuffer& byName,
                             const ByteBuffer& byKey, ByteBuffer* certificate, std::uint32_t* number)
{
    const std::uint32_t count = ocsp_items::Count(requestSets, kSlotResponseCertificates);
    for (std::uint32_t n = 1; n <= count; ++n) {
        ByteBuffer candidate, subject, keyBits;
        if (!ocsp_items::Get(requestSets, kSlotResponseCertificates, n, &candidate) ||
            !ReadSubjectAndKeyBits(candidate.pointer, candidate.length, &subject, &keyBits))
            continue;
        bool named = false;
        if (responderIdKind == kResponderByName) {
            named = byName.pointer && ocsp_items::Equal(subject, byName);
        } else if (responderIdKind == kResponderByKey && byKey.pointer) {
            unsigned char digest[kMaxDigestLength];
            std::size_t digestLength = 0;
            named = DigestDataBlock(digest, &digestLength, keyBits.pointer, keyBits.length, kDigestSha1) == 0 &&
                    ocsp_items::Equal(ByteBuffer{digest, digestLength}, byKey);
        }
        if (named) {
            *certificate = candidate;
            if (number) *number = n;
            return 1;
        }
    }
    return 0;
}

int ResponderCertificate(const DataSets* requestSets, ByteBuffer* certificate)
{
    return ocsp_items::Get(requestSets, kSlotResponderCertificate, 1, certificate) ? 1 : 0;
}

int ResponseSignature(const DataSets* requestSets, ByteBuffer* signature)
{
    ByteBuffer item;
    if (!requestSets || !ocsp_items::Get(requestSets, kSlotResponseSignature, 1, &item) ||
        item.length > kOCSPMaxSignatureLength)
        return 0;
    *signature = item;
    return 1;
}

int ParseOCSPResponse(const unsigned char* der, std::size_t length, DataSets* statusSets, DataSets* requestSets,
                      int* responderIdKind, ByteBuffer* byName, ByteBuffer* byKey, int* signatureAlgorithm,
                      int* hashAlgorithm, int* responseStatus, ByteBuffer* producedAt, ByteBuffer* nonce)
{
    *byName = *byKey = *producedAt = *nonce = ByteBuffer{nullptr, 0};
    *responderIdKind = *signatureAlgorithm = *hashAlgorithm = -1;
    // A reused record must not answer from an earlier response.
    for (std::uint32_t slot : {kSlotStatus, kSlotThisUpdate, kSlotNextUpdate, kSlotRevocationTime,
                               kSlotSignedResponse, kSlotResponseSignature, kSlotResponseCertificates,
                               kSlotResponderCertificate})
        ClearDataSet(requestSets, slot);
    for (std::uint32_t slot = kSlotRecordSerial; slot <= kSlotRecordRevocationTime; ++slot)
        ClearDataSet(statusSets, slot);
    if (!der || length == 0 || length > kOCSPWorkBufferSize) return 0;

    DERCursor message = Reader(der, length);
    ByteBuffer responseType, response;
    int status = -1;
    if (!DecodeOCSPResponseMessage(&message, &responseType, &status, &response) || !AtEnd(message)) return 0;
    *responseStatus = status;
    if (status != 0) return 1;
    if (!ocsp_items::Equal(responseType, ByteBuffer{const_cast<unsigned char*>(kOidOcspBasic), sizeof kOidOcspBasic}))
        return 0;

    DERCursor basic = Inside(response);
    ByteBuffer signature, tbs, certificates[kOCSPMaxCertificates];
    std::size_t count = 0;
    if (!DecodeBasicOCSPResponse(&basic, &signature, signatureAlgorithm, &tbs, certificates, &count) ||
        !AtEnd(basic) || !ocsp_items::Add(requestSets, kSlotSignedResponse, tbs) ||
        !ocsp_items::Add(requestSets, kSlotResponseSignature, signature))
        return 0;
    for (std::size_t i = 0; i < count; ++i)
        if (!ocsp_items::Add(requestSets, kSlotResponseCertificates, certificates[i])) return 0;

    DERCursor data = Inside(tbs);
    ByteBuffer responses;
    if (!DecodeResponseData(&data, byName, byKey, producedAt, &responses, responderIdKind, nonce)) return 0;
    ByteBuffer responder;
    bool ok = ReadStatusRecords(responses, statusSets, hashAlgorithm);
    if (ok && FindResponderCertificate(requestSets, *responderIdKind, *byName, *byKey, &responder, nullptr))
        ok = ocsp_items::Add(requestSets, kSlotResponderCertificate, responder);
    if (!ok) {
        ByteBuffer copies[4] = {*byName, *byKey, *producedAt, *nonce};
        FreeItems(copies, 4);
        *byName = *byKey = *producedAt = *nonce = ByteBuffer{nullptr, 0};
        return 0;
    }
    return 1;
}

int MapResponseStatus(int rawResponseStatus, std::uint32_t* mapped)
{
    switch (rawResponseStatus) {
    case 0: *mapped = 0; break;
    case 1: *mapped = 1; break;
    case 2: *mapped = 2; break;
    case 3: *mapped = 4; break;
    case 5: *mapped = 8; break;
    case 6: *mapped = 16; break;
    default: *mapped = 170; break;
    }
    return 1;
}

int StatusFromRecord(const DataSets* requestSets, int rawResponseStatus, std::uint32_t* certificateStatus)
{
    ByteBuffer digit;
    if (rawResponseStatus != 0 || !ocsp_items::Get(requestSets, kSlotStatus, 1, &digit) || digit.length != 1)
        return 0;
    switch (digit.pointer[0]) {
    case '0': *certificateStatus = 32; return 1;
    case '1': *certificateStatus = 64; return 1;
    case '2': *certificateStatus = 128; return 1;
    default: return 0;
    }
}
