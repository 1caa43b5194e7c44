#include "ocsp/protocol/ocsp_request_codec.h"

#include <cstdlib>

#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/text/text.h"
#include "ocsp/protocol/ocsp_der.h"
#include "ocsp/protocol/ocsp_sets.h"

using namespace der_reader;
using ocsp_der::WriteWith;

const unsigned char kOidOcspNonce[9] = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01, 0x02};
const unsigned char kOidOcspBasic[9] = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01, 0x01};

std::size_t EncodeOCSPRequestEntry(DERCursor* cursor, const ByteBuffer& serial, int hashAlgorithm,
                                   const ByteBuffer& nameHash, const ByteBuffer& keyHash)
{
    return WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t mark = DERBuilderMark(builder);
        ocsp_der::BuildCertID(builder, serial, hashAlgorithm, nameHash, keyHash);
        CloseDER(builder, kTagSequence, mark);
    });
}

std::size_t EncodeOCSPNonceExtension(DERCursor* cursor, const ByteBuffer& nonce)
{
    if (!nonce.pointer || nonce.length == 0) return 0;
    return WriteWith(cursor, [&](DERBuilder* builder) {
        ocsp_der::BuildNonceExtensions(builder, kTagContextConstructed + 2, nonce);
    });
}

std::size_t EncodeTBSRequest(DERCursor* cursor, std::size_t entriesLength, std::size_t extensionLength,
                             const ByteBuffer& requestorName)
{
    const std::size_t written = cursor->size - cursor->position;
    if (entriesLength == 0 || entriesLength > written || extensionLength > written - entriesLength) return 0;
    const std::size_t tbs = WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t end = DERBuilderMark(builder);
        const std::uint64_t tbsMark = end - entriesLength - extensionLength;
        CloseDER(builder, kTagSequence, tbsMark + extensionLength);  // requestList
        if (requestorName.pointer && requestorName.length) {
            const std::uint64_t nameMark = DERBuilderMark(builder);
            BuildDERBytes(builder, requestorName);
            CloseDER(builder, kTagContextConstructed + 4, nameMark);  // directoryName
            CloseDER(builder, kTagContextConstructed + 1, nameMark);
        }
        CloseDER(builder, kTagSequence, tbsMark);
    });
    return tbs ? tbs + entriesLength + extensionLength : 0;
}

std::size_t EncodeOCSPSignature(DERCursor* cursor, int algorithm, const ByteBuffer& signature,
                                const ByteBuffer* certificates, std::size_t count)
{
    if (!signature.pointer || signature.length == 0 || count > kOCSPMaxCertificates) return 0;
    return WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t mark = DERBuilderMark(builder);
        if (count > 0 && certificates[0].pointer && certificates[0].length) {
            // Written first to last, so the last certificate leads the list.
            for (std::size_t i = 0; i < count; ++i)
                if (certificates[i].pointer && certificates[i].length) BuildDERBytes(builder, certificates[i]);
            CloseDER(builder, kTagSequence, mark);
            CloseDER(builder, kTagContextConstructed + 0, mark);
        }
        ocsp_der::BuildBitString(builder, signature);
        BuildDER(builder, [&](DERCursor* c) { return EncodeAlgorithmId(c, algorithm); });
        CloseDER(builder, kTagSequence, mark);
    });
}

std::size_t EncodeOCSPRequestMessage(DERCursor* cursor, int sign, std::size_t signatureLength,
                                     const ByteBuffer& tbsRequest)
{
    if (!tbsRequest.pointer || tbsRequest.length == 0) return 0;
    const std::size_t before = sign == 1 ? signatureLength : 0;
    if (before > cursor->size - cursor->position || (sign == 1 && before == 0)) return 0;
    const std::size_t written = WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t mark = DERBuilderMark(builder) - before;
        if (sign == 1) CloseDER(builder, kTagContextConstructed + 0, mark);
        BuildDERBytes(builder, tbsRequest);
        CloseDER(builder, kTagSequence, mark);
    });
    return written ? written + before : 0;
}

std::size_t DecodeOCSPAlgorithm(DERCursor* cursor, int* code)
{
    DERCursor saved = *cursor, inner;
    std::size_t size = 0;
    ByteBuffer oid, parameters;
    bool hasNull = false;
    if (!Enter(cursor, kTagSequence, &inner, &size) || !ReadView(&inner, kTagObjectId, &oid) || oid.length == 0 ||
        !ReadOptional(&inner, kTagNull, &hasNull, &parameters) || (hasNull && parameters.length != 0)) {
        *cursor = saved;
        return 0;
    }
    *code = OIDToAlgorithm(oid.pointer, oid.length);
    // Parameters other than NULL belong to algorithms we do not know.
    if (*code >= 0 && !AtEnd(inner)) {
        *cursor = saved;
        return 0;
    }
    return size;
}

std::size_t DecodeOCSPRequestEntry(DERCursor* cursor, ByteBuffer* serial, int* hashAlgorithm,
                                   ByteBuffer* nameHash, ByteBuffer* keyHash)
{
    DERCursor saved = *cursor, request;
    std::size_t size = 0;
    bool present = false;
    ByteBuffer extensions;
    if (Enter(cursor, kTagSequence, &request, &size) &&
        ocsp_der::ReadCertID(&request, serial, hashAlgorithm, nameHash, keyHash) &&
        ReadOptional(&request, kTagContextConstructed + 0, &present, &extensions) && AtEnd(request))
        return size;
    *cursor = saved;
    return 0;
}

std::size_t DecodeOCSPRequestExtensions(DERCursor* cursor, ByteBuffer* nonce)
{
    *nonce = ByteBuffer{nullptr, 0};
    DERCursor saved = *cursor;
    bool present = false;
    ByteBuffer content, whole;
    if (!ReadOptional(cursor, kTagContextConstructed + 2, &present, &content, &whole)) return 0;
    if (!present) return 0;
    DERCursor extensions = Inside(content);
    ByteBuffer value;
    if (!ocsp_der::ReadNonceExtensions(&extensions, &value) || !MakeHeapCopies(&value, 1)) {
        *cursor = saved;
        return 0;
    }
    *nonce = value;
    return whole.length;
}

std::size_t DecodeTBSRequest(DERCursor* cursor, ByteBuffer* requestorName, ByteBuffer* requestList,
                             ByteBuffer* nonce)
{
    *nonce = ByteBuffer{nullptr, 0};
    *requestorName = ByteBuffer{nullptr, 0};
    DERCursor saved = *cursor, tbs;
    std::size_t size = 0;
    bool hasVersion = false, hasName = false;
    ByteBuffer version;
    bool ok = Enter(cursor, kTagSequence, &tbs, &size) &&
              ReadOptional(&tbs, kTagContextConstructed + 0, &hasVersion, &version) &&
              (!hasVersion || ocsp_der::IsVersionOne(version)) &&
              ReadOptional(&tbs, kTagContextConstructed + 1, &hasName, requestorName) &&
              ReadView(&tbs, kTagSequence, requestList) && requestList->length > 0;
    // The extensions are optional: DecodeOCSPRequestExtensions answers 0
    // both for none and for bad ones, so tell them apart by what is left.
    if (ok && !AtEnd(tbs)) ok = DecodeOCSPRequestExtensions(&tbs, nonce) != 0 && AtEnd(tbs);
    if (!ok) {
        FreeItems(nonce, 1);
        *cursor = saved;
        return 0;
    }
    return size;
}

std::size_t DecodeOCSPSignature(DERCursor* cursor, int* algorithm, ByteBuffer* signature, ByteBuffer* certificates,
                                std::size_t* count)
{
    for (std::size_t i = 0; i < kOCSPMaxCertificates; ++i) certificates[i] = ByteBuffer{nullptr, 0};
    *count = 0;
    DERCursor saved = *cursor, wrapper, body, list;
    std::size_t size = 0;
    bool hasCertificates = false;
    ByteBuffer certificateList;
    bool ok = Enter(cursor, kTagContextConstructed + 0, &wrapper, &size) &&
              Enter(&wrapper, kTagSequence, &body) && AtEnd(wrapper) && DecodeOCSPAlgorithm(&body, algorithm) &&
              ocsp_der::ReadBitStringBytes(&body, signature) &&
              ReadOptional(&body, kTagContextConstructed + 0, &hasCertificates, &certificateList) && AtEnd(body);
    if (ok && hasCertificates) {
        list = Inside(certificateList);
        ok = ocsp_der::ReadCertificateList(&list, certificates, count) && AtEnd(list);
    }
    if (!ok) {
        for (std::size_t i = 0; i < kOCSPMaxCertificates; ++i) certificates[i] = ByteBuffer{nullptr, 0};
        *count = 0;
        *cursor = saved;
        return 0;
    }
    return size;
}

std::size_t DecodeOCSPRequestMessage(DERCursor* cursor, int* isSigned, ByteBuffer* tbsRequest,
                                     ByteBuffer* signature)
{
    DERCursor saved = *cursor, message;
    std::size_t size = 0;
    ByteBuffer tbsContent, signatureContent;
    bool present = false;
    *signature = ByteBuffer{nullptr, 0};
    if (Enter(cursor, kTagSequence, &message, &size) &&
        ReadExpected(&message, kTagSequence, &tbsContent, tbsRequest) &&
        ReadOptional(&message, kTagContextConstructed + 0, &present, &signatureContent, signature) &&
        AtEnd(message)) {
        *isSigned = present ? 1 : 0;
        return size;
    }
    *cursor = saved;
    return 0;
}
