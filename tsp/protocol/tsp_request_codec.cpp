#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "tsp/protocol/tsp_codecs.h"
#include "tsp/protocol/tsp_der.h"

using namespace der_reader;

int EncodeTimeStampReq(const unsigned char* hash, std::size_t hashLength, const ByteBuffer* nonce, int certReq,
                       unsigned char* output, std::size_t capacity, std::size_t* outputLength)
{
    if (!hash || hashLength == 0) return 0;
    const bool withNonce = nonce && nonce->pointer && nonce->length != 0;
    // A nonce that is not a minimal positive INTEGER is the nonce maker's
    // fault: writing it would make a request a TSA may reject.
    if (withNonce && !IsMinimalPositiveInteger(nonce->pointer, nonce->length)) return 0;
    const bool ok = tsp_der::EncodeWith(
        [&](DERBuilder* builder) {
            const std::uint64_t mark = DERBuilderMark(builder);
            if (certReq) {
                static const unsigned char kTrue = 0xFF;
                BuildDERPrimitive(builder, kTagBoolean, ByteBuffer{const_cast<unsigned char*>(&kTrue), 1});
            }
            if (withNonce) BuildDERPrimitive(builder, kTagInteger, *nonce);
            const std::uint64_t imprint = DERBuilderMark(builder);
            BuildDERPrimitive(builder, kTagOctetString, ByteBuffer{const_cast<unsigned char*>(hash), hashLength});
            BuildDER(builder, [](DERCursor* cursor) { return EncodeAlgorithmId(cursor, kTspHashSha1); });
            CloseDER(builder, kTagSequence, imprint);
            BuildDERSmallInteger(builder, 1);
            CloseDER(builder, kTagSequence, mark);
        },
        output, capacity, outputLength);
    return ok ? 1 : 0;
}

int DecodeTimeStampReq(TimeStampReqFields* fields, const unsigned char* request, std::size_t length)
{
    fields->hashAlgorithm = -1;
    fields->hash = fields->policy = fields->nonce = ByteBuffer{nullptr, 0};
    fields->certReq = 0;
    if (!request || length == 0 || length > kTspWorkSize) return 0;
    DERCursor outer = Reader(request, length), body, imprint;
    ByteBuffer version, hash, policy{nullptr, 0}, nonce{nullptr, 0}, flag, extensions;
    bool hasPolicy = false, hasNonce = false, hasFlag = false, hasExtensions = false;
    bool ok = Enter(&outer, kTagSequence, &body) && AtEnd(outer) && ReadView(&body, kTagInteger, &version) &&
              version.length == 1 && version.pointer[0] == 1 && Enter(&body, kTagSequence, &imprint) &&
              tsp_der::ReadHashAlgorithm(&imprint, &fields->hashAlgorithm) &&
              ReadView(&imprint, kTagOctetString, &hash) && AtEnd(imprint) &&
              ReadOptional(&body, kTagObjectId, &hasPolicy, &policy) &&
              ReadOptional(&body, kTagInteger, &hasNonce, &nonce) && (!hasNonce || nonce.length > 0) &&
              ReadOptional(&body, kTagBoolean, &hasFlag, &flag) &&
              ReadOptional(&body, kTagContextConstructed + 0, &hasExtensions, &extensions) && AtEnd(body);
    if (!ok) return 0;
    fields->certReq = hasFlag && flag.length == 1 && flag.pointer[0] == 0xFF ? 1 : 0;
    fields->hash = hash;
    fields->policy = policy;
    fields->nonce = nonce;
    if (!tsp_der::HoldCopy(&fields->hash) || !tsp_der::HoldCopy(&fields->policy) ||
        !tsp_der::HoldCopy(&fields->nonce)) {
        FreeTimeStampReqFields(fields);
        return 0;
    }
    return 1;
}

void FreeTimeStampReqFields(TimeStampReqFields* fields)
{
    tsp_der::FreeHeld(&fields->hash);
    tsp_der::FreeHeld(&fields->policy);
    tsp_der::FreeHeld(&fields->nonce);
}

int MakeTimeStampReq(const unsigned char* data, std::size_t length, int mode, TspDigestCallback digestOf,
                     const ByteBuffer* nonce, int certReq, unsigned char* output, std::size_t capacity,
                     std::size_t* outputLength, ByteBuffer* digest)
{
    *digest = ByteBuffer{nullptr, 0};
    if (!digestOf || digestOf(data, length, mode, digest) != 1 || !digest->pointer) {
        tsp_der::FreeHeld(digest);
        return 0;
    }
    if (!EncodeTimeStampReq(digest->pointer, digest->length, nonce, certReq, output, capacity, outputLength)) {
        tsp_der::FreeHeld(digest);
        return 0;
    }
    return 1;
}
