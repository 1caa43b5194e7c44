#include "ocsp/protocol/ocsp_der.h"

#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "ocsp/protocol/ocsp_request_codec.h"
#include "ocsp/protocol/ocsp_sets.h"

using namespace der_reader;

namespace ocsp_der {

void BuildCertID(DERBuilder* builder, const ByteBuffer& serial, int hashAlgorithm, const ByteBuffer& nameHash,
                 const ByteBuffer& keyHash)
{
    // An INTEGER needs one content byte at least.
    if (!serial.pointer || serial.length == 0) builder->status = kDERBuildNoRoom;
    const std::uint64_t mark = DERBuilderMark(builder);
    BuildDERPrimitive(builder, kTagInteger, serial);
    BuildDERPrimitive(builder, kTagOctetString, keyHash);
    BuildDERPrimitive(builder, kTagOctetString, nameHash);
    BuildDER(builder, [&](DERCursor* cursor) { return EncodeAlgorithmId(cursor, hashAlgorithm); });
    CloseDER(builder, kTagSequence, mark);
}

bool ReadCertID(DERCursor* cursor, ByteBuffer* serial, int* hashAlgorithm, ByteBuffer* nameHash,
                ByteBuffer* keyHash)
{
    DERCursor saved = *cursor;
    DERCursor certID;
    bool ok = Enter(cursor, kTagSequence, &certID) && DecodeOCSPAlgorithm(&certID, hashAlgorithm) != 0 &&
              ReadView(&certID, kTagOctetString, nameHash) && ReadView(&certID, kTagOctetString, keyHash) &&
              ReadView(&certID, kTagInteger, serial) && serial->length > 0 && AtEnd(certID);
    if (!ok) *cursor = saved;
    return ok;
}

void BuildNonceExtensions(DERBuilder* builder, int contextTag, const ByteBuffer& nonce)
{
    const std::uint64_t mark = DERBuilderMark(builder);
    BuildDERPrimitive(builder, kTagOctetString, nonce);
    CloseDER(builder, kTagOctetString, mark);
    BuildDERPrimitive(builder, kTagObjectId, ByteBuffer{const_cast<unsigned char*>(kOidOcspNonce), sizeof kOidOcspNonce});
    CloseDER(builder, kTagSequence, mark);  // Extension
    CloseDER(builder, kTagSequence, mark);  // Extensions
    CloseDER(builder, contextTag, mark);
}

bool ReadNonceExtensions(DERCursor* extensions, ByteBuffer* nonce)
{
    DERCursor list, extension, value;
    ByteBuffer oid, extnValue;
    if (!Enter(extensions, kTagSequence, &list) || !AtEnd(*extensions)) return false;
    // Exactly one extension: a second nonce or any other extension is refused.
    if (!Enter(&list, kTagSequence, &extension) || !AtEnd(list)) return false;
    if (!ReadView(&extension, kTagObjectId, &oid) || oid.length != sizeof kOidOcspNonce ||
        CompareBytes(oid.pointer, kOidOcspNonce, sizeof kOidOcspNonce) != 0)
        return false;
    // No critical field: the next element must be the extnValue itself.
    if (!ReadView(&extension, kTagOctetString, &extnValue) || !AtEnd(extension)) return false;
    value = Inside(extnValue);
    return ReadView(&value, kTagOctetString, nonce) && AtEnd(value);
}

bool ReadBitStringBytes(DERCursor* cursor, ByteBuffer* bits)
{
    DERCursor saved = *cursor;
    ByteBuffer content;
    if (!ReadView(cursor, kTagBitString, &content) || content.length < 2 || content.pointer[0] != 0) {
        *cursor = saved;
        return false;
    }
    *bits = ByteBuffer{content.pointer + 1, content.length - 1};
    return true;
}

void BuildBitString(DERBuilder* builder, const ByteBuffer& bits)
{
    const std::uint64_t mark = DERBuilderMark(builder);
    BuildDERBytes(builder, bits);
    BuildDER(builder, [](DERCursor* cursor) { return PutDERByte(cursor, 0); });
    CloseDER(builder, kTagBitString, mark);
}

bool ReadCertificateList(DERCursor* cursor, ByteBuffer* certificates, std::size_t* count)
{
    for (std::size_t i = 0; i < kOCSPMaxCertificates; ++i) certificates[i] = ByteBuffer{nullptr, 0};
    *count = 0;
    DERCursor list;
    if (!Enter(cursor, kTagSequence, &list)) return false;
    while (!AtEnd(list)) {
        ByteBuffer content, whole;
        if (*count == kOCSPMaxCertificates || !ReadExpected(&list, kTagSequence, &content, &whole)) {
            for (std::size_t i = 0; i < kOCSPMaxCertificates; ++i) certificates[i] = ByteBuffer{nullptr, 0};
            *count = 0;
            return false;
        }
        certificates[(*count)++] = whole;
    }
    return true;
}

bool ReadGeneralizedTime(DERCursor* cursor, ByteBuffer* time)
{
    return ReadView(cursor, kTagGeneralizedTime, time) && time->length > 0;
}

bool IsVersionOne(const ByteBuffer& versionElementContent)
{
    DERCursor reader = Inside(versionElementContent);
    ByteBuffer value;
    return ReadView(&reader, kTagInteger, &value) && AtEnd(reader) && value.length == 1 && value.pointer[0] == 0;
}

}  // namespace ocsp_der
