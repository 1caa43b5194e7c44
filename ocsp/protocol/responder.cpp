#include "ocsp/protocol/responder.h"

#include <vector>

#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/text/text.h"
#include "exchange/generalized_time.h"
#include "ocsp/protocol/ocsp_request_codec.h"
#include "ocsp/protocol/ocsp_response_codec.h"
#include "ocsp/protocol/ocsp_set_items.h"

using namespace der_reader;

namespace {

bool ReadRequestList(const ByteBuffer& requestList, DataSets* requestSets)
{
    DERCursor list = Inside(requestList);
    while (!AtEnd(list)) {
        ByteBuffer serial, nameHash, keyHash;
        int algorithm = -1;
        if (!DecodeOCSPRequestEntry(&list, &serial, &algorithm, &nameHash, &keyHash) ||
            algorithm != static_cast<int>(kDigestSha1) || !ocsp_items::Add(requestSets, kSlotTargetSerial, serial) ||
            !ocsp_items::Add(requestSets, kSlotNameHash, nameHash) ||
            !ocsp_items::Add(requestSets, kSlotKeyHash, keyHash))
            return false;
    }
    return true;
}

bool ReadRequestSignature(const ByteBuffer& tbs, const ByteBuffer& element, DataSets* requestSets,
                          int* signatureAlgorithm)
{
    DERCursor reader = Inside(element);
    ByteBuffer signature, certificates[kOCSPMaxCertificates];
    std::size_t count = 0;
    if (!DecodeOCSPSignature(&reader, signatureAlgorithm, &signature, certificates, &count) || !AtEnd(reader))
        return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!ocsp_items::Add(requestSets, kSlotResponseCertificates, certificates[i])) return false;
    return ocsp_items::Add(requestSets, kSlotSignedResponse, tbs) &&
           ocsp_items::Add(requestSets, kSlotResponseSignature, signature);
}

// The status records of slots 2-8, last to first so they keep their order.
int EncodeStatusRecords(DERCursor* cursor, const DataSets* statusSets, std::size_t* length)
{
    *length = 0;
    const std::uint32_t count = ocsp_items::Count(statusSets, kSlotRecordSerial);
    if (count == 0) return kBuildResponseDataSets;
    for (std::uint32_t n = count; n >= 1; --n) {
        ByteBuffer serial, nameHash, keyHash, status, thisUpdate, nextUpdate, revocationTime;
        if (!ocsp_items::Get(statusSets, kSlotRecordSerial, n, &serial) ||
            !ocsp_items::Get(statusSets, kSlotRecordNameHash, n, &nameHash) ||
            !ocsp_items::Get(statusSets, kSlotRecordKeyHash, n, &keyHash) ||
            !ocsp_items::Get(statusSets, kSlotRecordStatus, n, &status) || status.length != 1 ||
            !ocsp_items::Get(statusSets, kSlotRecordThisUpdate, n, &thisUpdate) ||
            !ocsp_items::Get(statusSets, kSlotRecordNextUpdate, n, &nextUpdate) ||
            !ocsp_items::Get(statusSets, kSlotRecordRevocationTime, n, &revocationTime))
            return kBuildResponseDataSets;
        const int code = status.pointer[0] - '0';
        auto valid = [](const ByteBuffer& t) {
            return CheckGeneralizedTimeText(reinterpret_cast<const char*>(t.pointer), t.length) == 1;
        };
        if (!valid(thisUpdate) || (code == kOCSPCertRevoked && !valid(revocationTime)))
            return kBuildResponseSingle;
        if (!valid(nextUpdate)) nextUpdate = ByteBuffer{nullptr, 0};
        if (code != kOCSPCertRevoked) revocationTime = ByteBuffer{nullptr, 0};
        const std::size_t written = EncodeSingleResponse(cursor, serial, static_cast<int>(kDigestSha1), nameHash,
                                                         keyHash, code, revocationTime, thisUpdate, nextUpdate);
        if (!written) return kBuildResponseSingle;
        *length += written;
    }
    return kBuildResponseOk;
}

int Finish(const DERCursor& cursor, std::size_t length, unsigned char* output, std::size_t outputSize,
           std::size_t* outputLength)
{
    if (!output || length > outputSize) return kBuildResponseCopy;
    CopyBytes(output, cursor.buffer + cursor.position, length);
    *outputLength = length;
    return kBuildResponseOk;
}

}  // namespace

int ParseOCSPRequest(const unsigned char* der, std::size_t length, DataSets* requestSets, ByteBuffer* nonce,
                     int* isSigned, int* signatureAlgorithm)
{
    *nonce = ByteBuffer{nullptr, 0};
    *isSigned = 0;
    *signatureAlgorithm = -1;
    if (!der || length == 0 || length > kOCSPWorkBufferSize) return 0;
    DERCursor message = Reader(der, length), tbsReader;
    ByteBuffer tbs, signature, requestorName, requestList;
    if (!DecodeOCSPRequestMessage(&message, isSigned, &tbs, &signature) || !AtEnd(message)) return 0;
    tbsReader = Inside(tbs);
    if (!DecodeTBSRequest(&tbsReader, &requestorName, &requestList, nonce)) return 0;
    if (!ReadRequestList(requestList, requestSets) ||
        (*isSigned && !ReadRequestSignature(tbs, signature, requestSets, signatureAlgorithm))) {
        FreeItems(nonce, 1);
        return 0;
    }
    return 1;
}

int BuildOCSPResponse(unsigned char* output, std::size_t outputSize, std::size_t* outputLength,
                      const DataSets* signerSets, const DataSets* statusSets, int responseStatus,
                      const ByteBuffer& responderId, int responderIdKind, std::uint32_t digestType,
                      int signatureAlgorithm, int keyArgument, SignCallback callback, const ByteBuffer& nonce)
{
    if (digestType != kDigestSha1 || signatureAlgorithm != kAlgSHA1WithRsa) return 0;
    std::vector<unsigned char> dataBuffer(kOCSPWorkBufferSize), messageBuffer(kOCSPWorkBufferSize);
    DERCursor cursor;
    InitDERWriter(&cursor, messageBuffer.data(), messageBuffer.size());
    if (responseStatus != 0) {
        const std::size_t written = EncodeOCSPResponseMessage(&cursor, responseStatus, 0);
        return written ? Finish(cursor, written, output, outputSize, outputLength) : kBuildResponseMessage;
    }

    InitDERWriter(&cursor, dataBuffer.data(), dataBuffer.size());
    std::size_t extensionsLength = 0, responsesLength = 0;
    if (nonce.pointer && nonce.length && (extensionsLength = EncodeOCSPResponseExtensions(&cursor, nonce)) == 0)
        return kBuildResponseSingle;
    const int records = EncodeStatusRecords(&cursor, statusSets, &responsesLength);
    if (records != kBuildResponseOk) return records;
    char producedAt[kGeneralizedTimeTextSize];
    if (!FormatCurrentGeneralizedTime(producedAt, sizeof producedAt, "Z")) return kBuildResponseData;
    const std::size_t dataLength = EncodeResponseData(
        &cursor, responderIdKind, responderId,
        ByteBuffer{reinterpret_cast<unsigned char*>(producedAt), kGeneralizedTimeTextSize - 1}, responsesLength,
        extensionsLength);
    if (!dataLength) return kBuildResponseData;
    const ByteBuffer data{dataBuffer.data() + cursor.position, dataLength};

    unsigned char signature[kOCSPMaxSignatureLength];
    std::size_t signatureLength = 0;
    if (!callback || !callback(data.pointer, data.length, signature, &signatureLength, signerSets,
                               signatureAlgorithm, keyArgument) ||
        signatureLength == 0 || signatureLength > sizeof signature)
        return kBuildResponseSignature;
    ByteBuffer certificates[kOCSPMaxCertificates];
    std::size_t count = 0;
    if (!ocsp_items::GetAll(signerSets, kSlotUserCertificates, certificates, &count)) return kBuildResponseDataSets;

    InitDERWriter(&cursor, messageBuffer.data(), messageBuffer.size());
    const std::size_t basicLength = EncodeBasicOCSPResponse(&cursor, data, signatureAlgorithm,
                                                            ByteBuffer{signature, signatureLength}, certificates, count);
    if (!basicLength) return kBuildResponseBasic;
    const std::size_t messageLength = EncodeOCSPResponseMessage(&cursor, 0, basicLength);
    if (!messageLength) return kBuildResponseMessage;
    return Finish(cursor, messageLength, output, outputSize, outputLength);
}
