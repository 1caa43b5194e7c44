#include <initializer_list>

#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "tsp/protocol/tsp_codecs.h"
#include "tsp/protocol/tsp_der.h"

using namespace der_reader;

namespace {

// The views of one TSTInfo, read whole before anything is handed out.
struct TSTInfoViews {
    ByteBuffer policy{nullptr, 0}, hashedMessage{nullptr, 0}, serial{nullptr, 0}, genTime{nullptr, 0};
    ByteBuffer accuracy{nullptr, 0}, nonce{nullptr, 0}, tsaName{nullptr, 0};
    bool hasPolicy = false, hasAccuracy = false, hasNonce = false, hasTsa = false;
    int hashAlgorithm = -1;
    int ordering = 0;
};

bool ReadTsaName(DERCursor* body, TSTInfoViews* views)
{
    ByteBuffer generalName;
    if (!ReadOptional(body, kTagContextConstructed + 0, &views->hasTsa, &generalName)) return false;
    if (!views->hasTsa) return true;
    // Only the directoryName form is a name we can show.
    DERCursor inner = Inside(generalName);
    return ReadExpected(&inner, kTagContextConstructed + 4, &views->tsaName) && AtEnd(inner) &&
           views->tsaName.length > 0;
}

bool ReadTSTInfo(const unsigned char* bytes, std::size_t length, TSTInfoViews* views)
{
    DERCursor outer = Reader(bytes, length), body, imprint;
    ByteBuffer version, accuracyContent, orderingValue, extensions;
    bool hasExtensions = false;
    if (!Enter(&outer, kTagSequence, &body) || !AtEnd(outer) || !ReadView(&body, kTagInteger, &version) ||
        version.length != 1 || version.pointer[0] != 1 ||
        !ReadOptional(&body, kTagObjectId, &views->hasPolicy, &views->policy) ||
        !Enter(&body, kTagSequence, &imprint) || !tsp_der::ReadHashAlgorithm(&imprint, &views->hashAlgorithm) ||
        !ReadView(&imprint, kTagOctetString, &views->hashedMessage) || !AtEnd(imprint) ||
        !ReadView(&body, kTagInteger, &views->serial) || views->serial.length == 0 ||
        !ReadView(&body, kTagGeneralizedTime, &views->genTime) || views->genTime.length == 0 ||
        !ReadOptional(&body, kTagSequence, &views->hasAccuracy, &accuracyContent, &views->accuracy))
        return false;
    // ordering is DEFAULT FALSE: an explicit FALSE is not DER and stays unread.
    DERCursor look = body;
    if (ReadExpected(&look, kTagBoolean, &orderingValue) && orderingValue.length == 1 &&
        orderingValue.pointer[0] == 0xFF) {
        views->ordering = 1;
        body = look;
    }
    return ReadOptional(&body, kTagInteger, &views->hasNonce, &views->nonce) &&
           (!views->hasNonce || views->nonce.length > 0) && ReadTsaName(&body, views) &&
           ReadOptional(&body, kTagContextConstructed + 1, &hasExtensions, &extensions) && AtEnd(body);
}

bool HandOut(bool present, ByteBuffer view, ByteBuffer* out)
{
    if (!present) return true;
    if (!tsp_der::HoldCopy(&view)) return false;
    *out = view;
    return true;
}

}  // namespace

int DecodeTSTInfo(TSTInfoFields* fields, const unsigned char* tstInfo, std::size_t length)
{
    if (!fields || !tstInfo || length == 0 || length > kTspWorkSize) return 0;
    TSTInfoViews views;
    if (!ReadTSTInfo(tstInfo, length, &views)) return 0;
    fields->hashAlgorithm = views.hashAlgorithm;
    fields->ordering = views.ordering;
    const bool ok = HandOut(views.hasPolicy, views.policy, &fields->policy) &&
                    HandOut(true, views.hashedMessage, &fields->hashedMessage) &&
                    HandOut(true, views.serial, &fields->serialNumber) &&
                    HandOut(true, views.genTime, &fields->genTime) &&
                    HandOut(views.hasAccuracy, views.accuracy, &fields->accuracy) &&
                    HandOut(views.hasNonce, views.nonce, &fields->nonce) &&
                    HandOut(views.hasTsa, views.tsaName, &fields->tsaName);
    return ok ? 1 : 0;
}

void FreeTSTInfoFields(TSTInfoFields* fields)
{
    for (ByteBuffer* slot : {&fields->policy, &fields->hashedMessage, &fields->serialNumber, &fields->genTime,
                             &fields->accuracy, &fields->nonce, &fields->tsaName})
        tsp_der::FreeHeld(slot);
}

int EncodeTSTInfo(const TSTInfoFields& fields, unsigned char* output, std::size_t capacity,
                  std::size_t* outputLength)
{
    auto present = [](const ByteBuffer& b) { return b.pointer && b.length != 0; };
    if (!present(fields.hashedMessage) || !present(fields.serialNumber) || !present(fields.genTime)) return 0;
    // The nonce is echoed as received; the request reader made sure it is an INTEGER content.
    const bool ok = tsp_der::EncodeWith(
        [&](DERBuilder* builder) {
            const std::uint64_t mark = DERBuilderMark(builder);
            if (present(fields.tsaName)) {
                const std::uint64_t tsa = DERBuilderMark(builder);
                BuildDERBytes(builder, fields.tsaName);
                CloseDER(builder, kTagContextConstructed + 4, tsa);
                CloseDER(builder, kTagContextConstructed + 0, tsa);
            }
            if (present(fields.nonce)) BuildDERPrimitive(builder, kTagInteger, fields.nonce);
            if (fields.ordering) {
                static const unsigned char kTrue = 0xFF;
                BuildDERPrimitive(builder, kTagBoolean, ByteBuffer{const_cast<unsigned char*>(&kTrue), 1});
            }
            if (present(fields.accuracy)) BuildDERBytes(builder, fields.accuracy);
            BuildDERPrimitive(builder, kTagGeneralizedTime, fields.genTime);
            BuildDERInteger(builder, fields.serialNumber);
            const std::uint64_t imprint = DERBuilderMark(builder);
            BuildDERPrimitive(builder, kTagOctetString, fields.hashedMessage);
            BuildDER(builder, [&](DERCursor* cursor) { return EncodeAlgorithmId(cursor, fields.hashAlgorithm); });
            CloseDER(builder, kTagSequence, imprint);
            if (present(fields.policy)) BuildDERPrimitive(builder, kTagObjectId, fields.policy);
            BuildDERSmallInteger(builder, 1);
            CloseDER(builder, kTagSequence, mark);
        },
        output, capacity, outputLength);
    return ok ? 1 : 0;
}
