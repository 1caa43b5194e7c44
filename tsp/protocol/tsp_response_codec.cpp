#include "core/der/der_reader.h"
#include "tsp/protocol/tsp_codecs.h"
#include "tsp/protocol/tsp_der.h"

using namespace der_reader;

int DecodeTimeStampResp(const unsigned char* response, std::size_t length, int* status, int* failureCode,
                        unsigned char* token, std::size_t* tokenLength)
{
    if (!response || length == 0 || length > kTspWorkSize) return 0;
    DERCursor outer = Reader(response, length), body, statusInfo;
    ByteBuffer value, statusText, bits, tokenContent, tokenWhole;
    bool hasText = false, hasBits = false;
    // Trailing bytes after the response are not ours to judge.
    if (!Enter(&outer, kTagSequence, &body) || !Enter(&body, kTagSequence, &statusInfo) ||
        !ReadView(&statusInfo, kTagInteger, &value) || value.length != 1)
        return 0;
    const int statusValue = value.pointer[0];
    // PKIStatusInfo { status, statusString OPTIONAL, failInfo OPTIONAL }:
    // OpenSSL sends the text before failInfo, so it is stepped over.
    if (!ReadOptional(&statusInfo, kTagSequence, &hasText, &statusText) ||
        !ReadOptional(&statusInfo, kTagBitString, &hasBits, &bits) || !AtEnd(statusInfo))
        return 0;
    if (statusValue != 0 && statusValue != 1) {
        // A refusal that says nothing after its status is not a reply.
        if (!hasText && !hasBits && AtEnd(body)) return 0;
        *status = statusValue;
        *failureCode = hasBits ? TspFailureCodeOf(bits.pointer, bits.length) : kTspFailureNone;
        return 1;
    }
    if (!token || !tokenLength || !ReadExpected(&body, kTagSequence, &tokenContent, &tokenWhole) ||
        tokenWhole.length > kTspWorkSize)
        return 0;
    CopyBytes(token, tokenWhole.pointer, tokenWhole.length);
    *tokenLength = tokenWhole.length;
    *status = statusValue;
    *failureCode = hasBits ? TspFailureCodeOf(bits.pointer, bits.length) : kTspFailureNone;
    return 1;
}

int EncodePKIStatusInfo(int status, int failureCode, unsigned char* output, std::size_t capacity,
                        std::size_t* outputLength)
{
    if (status < 0 || status > 127 || failureCode > 8) return 0;
    const bool ok = tsp_der::EncodeWith(
        [&](DERBuilder* builder) {
            const std::uint64_t mark = DERBuilderMark(builder);
            if (status != 0 && status != 1 && failureCode != 0) {
                const ByteBuffer pattern = TspFailurePattern(failureCode < 1 ? 1 : failureCode);
                BuildDERPrimitive(builder, kTagBitString, pattern);
            }
            BuildDERSmallInteger(builder, static_cast<unsigned char>(status));
            CloseDER(builder, kTagSequence, mark);
        },
        output, capacity, outputLength);
    return ok ? 1 : 0;
}

int EncodeTimeStampResp(int status, int failureCode, const ByteBuffer& token, unsigned char* output,
                        std::size_t capacity, std::size_t* outputLength)
{
    const bool granted = status == 0 || status == 1;
    const bool hasToken = token.pointer && token.length != 0;
    if (granted && !hasToken) return 0;
    unsigned char info[64];
    std::size_t infoLength = 0;
    if (!EncodePKIStatusInfo(status, failureCode, info, sizeof info, &infoLength)) return 0;
    const bool ok = tsp_der::EncodeWith(
        [&](DERBuilder* builder) {
            const std::uint64_t mark = DERBuilderMark(builder);
            if (hasToken) BuildDERBytes(builder, token);
            BuildDERBytes(builder, ByteBuffer{info, infoLength});
            CloseDER(builder, kTagSequence, mark);
        },
        output, capacity, outputLength);
    return ok ? 1 : 0;
}
