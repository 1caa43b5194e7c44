#include "ocsp/protocol/ocsp_response_codec.h"

#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/text/text.h"
#include "ocsp/protocol/ocsp_der.h"
#include "ocsp/protocol/ocsp_request_codec.h"
#include "ocsp/protocol/ocsp_sets.h"

using namespace der_reader;
using ocsp_der::WriteWith;

namespace {

enum : int { kTagEnumerated = 10 };

ByteBuffer View(const unsigned char* bytes, std::size_t length)
{
    return ByteBuffer{const_cast<unsigned char*>(bytes), length};
}

}  // namespace

std::size_t DecodeOCSPResponseMessage(DERCursor* cursor, ByteBuffer* responseType, int* responseStatus,
                                      ByteBuffer* response)
{
    *responseType = *response = ByteBuffer{nullptr, 0};
    DERCursor saved = *cursor, message, wrapper, bytes;
    std::size_t size = 0;
    ByteBuffer status;
    if (!Enter(cursor, kTagSequence, &message, &size) || !ReadView(&message, kTagEnumerated, &status) ||
        status.length != 1) {
        *cursor = saved;
        return 0;
    }
    *responseStatus = status.pointer[0];
    if (*responseStatus != 0) return size;
    if (Enter(&message, kTagContextConstructed + 0, &wrapper) && AtEnd(message) &&
        Enter(&wrapper, kTagSequence, &bytes) && AtEnd(wrapper) && ReadView(&bytes, kTagObjectId, responseType) &&
        ReadView(&bytes, kTagOctetString, response) && AtEnd(bytes))
        return size;
    *responseType = *response = ByteBuffer{nullptr, 0};
    *cursor = saved;
    return 0;
}

std::size_t DecodeBasicOCSPResponse(DERCursor* cursor, ByteBuffer* signature, int* signatureAlgorithm,
                                    ByteBuffer* tbsResponseData, ByteBuffer* certificates, std::size_t* count)
{
    for (std::size_t i = 0; i < kOCSPMaxCertificates; ++i) certificates[i] = ByteBuffer{nullptr, 0};
    *count = 0;
    DERCursor saved = *cursor, basic;
    std::size_t size = 0;
    ByteBuffer tbsContent, certificateList;
    bool hasCertificates = false;
    bool ok = Enter(cursor, kTagSequence, &basic, &size) &&
              ReadExpected(&basic, kTagSequence, &tbsContent, tbsResponseData) &&
              DecodeOCSPAlgorithm(&basic, signatureAlgorithm) && ocsp_der::ReadBitStringBytes(&basic, signature) &&
              ReadOptional(&basic, kTagContextConstructed + 0, &hasCertificates, &certificateList) && AtEnd(basic);
    if (ok && hasCertificates) {
        DERCursor list = Inside(certificateList);
        ok = ocsp_der::ReadCertificateList(&list, certificates, count) && AtEnd(list);
    }
    if (ok) return size;
    for (std::size_t i = 0; i < kOCSPMaxCertificates; ++i) certificates[i] = ByteBuffer{nullptr, 0};
    *count = 0;
    *cursor = saved;
    return 0;
}

std::size_t DecodeResponseData(DERCursor* cursor, ByteBuffer* byName, ByteBuffer* byKey, ByteBuffer* producedAt,
                               ByteBuffer* responses, int* responderIdKind, ByteBuffer* nonce)
{
    ByteBuffer copies[4] = {};  // byName, byKey, producedAt, nonce
    *byName = *byKey = *producedAt = *nonce = *responses = ByteBuffer{nullptr, 0};
    DERCursor saved = *cursor, data;
    std::size_t size = 0;
    bool present = false, ok = Enter(cursor, kTagSequence, &data, &size);
    ByteBuffer content;
    if (ok) ok = ReadOptional(&data, kTagContextConstructed + 0, &present, &content) &&
                 (!present || ocsp_der::IsVersionOne(content));
    if (ok) {
        const int tag = PeekTag(&data);
        DERCursor inner;
        ByteBuffer whole;
        if (tag == kTagContextConstructed + 1) {
            *responderIdKind = kResponderByName;
            ok = Enter(&data, tag, &inner) && ReadExpected(&inner, kTagSequence, &content, &whole) && AtEnd(inner);
            copies[0] = whole;
        } else if (tag == kTagContextConstructed + 2) {
            *responderIdKind = kResponderByKey;
            ok = Enter(&data, tag, &inner) && ReadView(&inner, kTagOctetString, &copies[1]) && AtEnd(inner) &&
                 copies[1].length > 0;
        } else {
            ok = false;
        }
    }
    ok = ok && ocsp_der::ReadGeneralizedTime(&data, &copies[2]) && ReadView(&data, kTagSequence, responses);
    if (ok) ok = ReadOptional(&data, kTagContextConstructed + 1, &present, &content) && AtEnd(data);
    if (ok && present) {
        DERCursor extensions = Inside(content);
        ok = ocsp_der::ReadNonceExtensions(&extensions, &copies[3]) && copies[3].length > 0;
    }
    if (!ok || !MakeHeapCopies(copies, 4)) {
        *responses = ByteBuffer{nullptr, 0};
        *cursor = saved;
        return 0;
    }
    *byName = copies[0];
    *byKey = copies[1];
    *producedAt = copies[2];
    *nonce = copies[3];
    return size;
}

std::size_t DecodeSingleResponse(DERCursor* cursor, ByteBuffer* thisUpdate, ByteBuffer* nextUpdate, int* status,
                                 ByteBuffer* revocationTime, ByteBuffer* serial, int* hashAlgorithm,
                                 ByteBuffer* nameHash, ByteBuffer* keyHash)
{
    *nextUpdate = *revocationTime = ByteBuffer{nullptr, 0};
    DERCursor saved = *cursor, single, inner;
    std::size_t size = 0;
    ByteBuffer content;
    bool present = false;
    bool ok = Enter(cursor, kTagSequence, &single, &size) &&
              ocsp_der::ReadCertID(&single, serial, hashAlgorithm, nameHash, keyHash);
    if (ok) {
        const int tag = PeekTag(&single);
        if (tag == kTagContext + 0 || tag == kTagContext + 2) {
            *status = tag == kTagContext + 0 ? kOCSPCertGood : kOCSPCertUnknown;
            ok = ReadView(&single, tag, &content) && content.length == 0;
        } else if (tag == kTagContextConstructed + 1) {
            *status = kOCSPCertRevoked;
            ok = Enter(&single, tag, &inner) && ocsp_der::ReadGeneralizedTime(&inner, revocationTime) &&
                 ReadOptional(&inner, kTagContextConstructed + 0, &present, &content) && AtEnd(inner);
        } else {
            ok = false;
        }
    }
    ok = ok && ocsp_der::ReadGeneralizedTime(&single, thisUpdate) &&
         ReadOptional(&single, kTagContextConstructed + 0, &present, &content);
    if (ok && present) {
        inner = Inside(content);
        ok = ocsp_der::ReadGeneralizedTime(&inner, nextUpdate) && AtEnd(inner);
    }
    ok = ok && ReadOptional(&single, kTagContextConstructed + 1, &present, &content) && AtEnd(single);
    if (ok) return size;
    *nextUpdate = *revocationTime = ByteBuffer{nullptr, 0};
    *cursor = saved;
    return 0;
}

std::size_t EncodeSingleResponse(DERCursor* cursor, const ByteBuffer& serial, int hashAlgorithm,
                                 const ByteBuffer& nameHash, const ByteBuffer& keyHash, int status,
                                 const ByteBuffer& revocationTime, const ByteBuffer& thisUpdate,
                                 const ByteBuffer& nextUpdate)
{
    if (status != kOCSPCertGood && status != kOCSPCertRevoked && status != kOCSPCertUnknown) return 0;
    if (!thisUpdate.length || (status == kOCSPCertRevoked && !revocationTime.length)) return 0;
    return WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t mark = DERBuilderMark(builder);
        if (nextUpdate.pointer && nextUpdate.length) {
            const std::uint64_t next = DERBuilderMark(builder);
            BuildDERPrimitive(builder, kTagGeneralizedTime, nextUpdate);
            CloseDER(builder, kTagContextConstructed + 0, next);
        }
        BuildDERPrimitive(builder, kTagGeneralizedTime, thisUpdate);
        if (status == kOCSPCertRevoked) {
            const std::uint64_t revoked = DERBuilderMark(builder);
            BuildDERPrimitive(builder, kTagGeneralizedTime, revocationTime);
            CloseDER(builder, kTagContextConstructed + 1, revoked);
        } else {
            BuildDERPrimitive(builder, kTagContext + (status == kOCSPCertGood ? 0 : 2), ByteBuffer{nullptr, 0});
        }
        ocsp_der::BuildCertID(builder, serial, hashAlgorithm, nameHash, keyHash);
        CloseDER(builder, kTagSequence, mark);
    });
}

std::size_t EncodeOCSPResponseExtensions(DERCursor* cursor, const ByteBuffer& nonce)
{
    if (!nonce.pointer || nonce.length == 0) return 0;
    return WriteWith(cursor, [&](DERBuilder* builder) {
        ocsp_der::BuildNonceExtensions(builder, kTagContextConstructed + 1, nonce);
    });
}

std::size_t EncodeResponseData(DERCursor* cursor, int responderIdKind, const ByteBuffer& responderId,
                               const ByteBuffer& producedAt, std::size_t responsesLength,
                               std::size_t extensionsLength)
{
    const std::size_t written = cursor->size - cursor->position;
    if (responsesLength > written || extensionsLength > written - responsesLength || !responderId.length ||
        !producedAt.length || (responderIdKind != kResponderByName && responderIdKind != kResponderByKey))
        return 0;
    const std::size_t header = WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t mark = DERBuilderMark(builder) - responsesLength - extensionsLength;
        CloseDER(builder, kTagSequence, mark + extensionsLength);  // responses
        BuildDERPrimitive(builder, kTagGeneralizedTime, producedAt);
        const std::uint64_t id = DERBuilderMark(builder);
        if (responderIdKind == kResponderByName) {
            BuildDERBytes(builder, responderId);
            CloseDER(builder, kTagContextConstructed + 1, id);
        } else {
            BuildDERPrimitive(builder, kTagOctetString, responderId);
            CloseDER(builder, kTagContextConstructed + 2, id);
        }
        CloseDER(builder, kTagSequence, mark);
    });
    return header ? header + responsesLength + extensionsLength : 0;
}

std::size_t EncodeBasicOCSPResponse(DERCursor* cursor, const ByteBuffer& tbsResponseData, int algorithm,
                                    const ByteBuffer& signature, const ByteBuffer* certificates,
                                    std::size_t count)
{
    if (!tbsResponseData.length || !signature.length || count > kOCSPMaxCertificates) return 0;
    return WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t mark = DERBuilderMark(builder);
        if (count > 0) {
            for (std::size_t i = count; i-- > 0;) BuildDERBytes(builder, certificates[i]);
            CloseDER(builder, kTagSequence, mark);
            CloseDER(builder, kTagContextConstructed + 0, mark);
        }
        ocsp_der::BuildBitString(builder, signature);
        BuildDER(builder, [&](DERCursor* c) { return EncodeAlgorithmId(c, algorithm); });
        BuildDERBytes(builder, tbsResponseData);
        CloseDER(builder, kTagSequence, mark);
    });
}

std::size_t EncodeOCSPResponseMessage(DERCursor* cursor, int responseStatus, std::size_t responseLength)
{
    if (responseStatus < 0 || responseStatus > 255) return 0;
    const std::size_t before = responseStatus == 0 ? responseLength : 0;
    if (before > cursor->size - cursor->position || (responseStatus == 0 && before == 0)) return 0;
    const std::size_t written = WriteWith(cursor, [&](DERBuilder* builder) {
        const std::uint64_t mark = DERBuilderMark(builder) - before;
        if (responseStatus == 0) {
            CloseDER(builder, kTagOctetString, mark);
            BuildDERPrimitive(builder, kTagObjectId, View(kOidOcspBasic, sizeof kOidOcspBasic));
            CloseDER(builder, kTagSequence, mark);
            CloseDER(builder, kTagContextConstructed + 0, mark);
        }
        const unsigned char status = static_cast<unsigned char>(responseStatus);
        BuildDERPrimitive(builder, kTagEnumerated, View(&status, 1));
        CloseDER(builder, kTagSequence, mark);
    });
    return written ? written + before : 0;
}
