// The decoder's walk through a message: streams, type, version, and the
// parts of each content type in their order.
#include "core/pkcs7/pkcs7_decode.h"

#include <cstdio>

#include "core/der/oid.h"
#include "core/pkcs7/pkcs7_decode_state.h"

namespace pkcs7_decode {
namespace {

constexpr unsigned char kSequence = 0x30, kInteger = 0x02, kObjectId = 0x06, kOctetString = 0x04,
                        kExplicit0 = 0xA0;
constexpr std::size_t kContentTypeOidLength = 9;

int InnerTypeOf(int contentType)
{
    switch (contentType) {
    case kContentData: return kInnerData;
    case kContentSignedData: return kInnerSigned;
    case kContentEnvelopedData: return kInnerEnveloped;
    case kContentSignedAndEnvelopedData: return kInnerSignedAndEnveloped;
    case kContentDigestedData: return kInnerDigested;
    case kContentEncryptedData: return kInnerEncrypted;
    default: return -1;
    }
}

// A content type OID of the PKCS#7 arc; its code, or -1.
int ReadContentType(DecodeState* state, std::uint64_t end, unsigned char* oid, std::size_t* oidLength)
{
    Header header;
    if (!ReadExpectedHeader(&state->reader, end, kObjectId, &header) || header.length != kContentTypeOidLength ||
        !ReadBytes(&state->reader, oid, header.length))
        return -1;
    *oidLength = header.length;
    return OIDToContentType(oid, header.length);
}

// ContentInfo { OID, [0] { body } } up to the body's header; the outer type.
Pkcs7Result ReadOuterContentInfo(DecodeState* state, Header* body)
{
    Header info, wrapper;
    unsigned char oid[kContentTypeOidLength];
    std::size_t oidLength = 0;
    if (!ReadExpectedHeader(&state->reader, kNoEnd, kSequence, &info)) return Pkcs7Result::BadStructure;
    int type = ReadContentType(state, info.end, oid, &oidLength);
    switch (type) {
    case kContentData: *state->outerType = kOuterData; break;
    case kContentSignedData: *state->outerType = kOuterSigned; break;
    case kContentEnvelopedData: *state->outerType = kOuterEnveloped; break;
    case kContentSignedAndEnvelopedData: *state->outerType = kOuterSignedAndEnveloped; break;
    case kContentEncryptedData: *state->outerType = kOuterEncrypted; break;
    default: return Pkcs7Result::BadStructure;
    }
    // Each level ends where the one around it does: nothing trails.
    if (!ReadExpectedHeader(&state->reader, info.end, kExplicit0, &wrapper) || wrapper.end != info.end ||
        !ReadHeader(&state->reader, wrapper.end, body) || body->end != wrapper.end)
        return Pkcs7Result::BadStructure;
    const unsigned char expected = *state->outerType == kOuterData ? kOctetString : kSequence;
    return body->identifier == expected ? Pkcs7Result::Done : Pkcs7Result::BadStructure;
}

Pkcs7Result ReadVersion(DecodeState* state)
{
    Header header;
    unsigned char version = 0;
    if (!ReadExpectedHeader(&state->reader, state->bodyEnd, kInteger, &header) || header.length != 1 ||
        !ReadBytes(&state->reader, &version, 1))
        return Pkcs7Result::BadStructure;
    const int outer = *state->outerType;
    const unsigned char wanted = (outer == kOuterEnveloped || outer == kOuterEncrypted) ? 0 : 1;
    return version == wanted ? Pkcs7Result::Done : Pkcs7Result::BadStructure;
}

// signedData's contentInfo: the content follows in [0] { OCTET STRING },
// or the SEQUENCE ends after its type and the content is detached.
Pkcs7Result ReadSignedContentInfo(DecodeState* state)
{
    Header info, wrapper, content;
    if (!ReadExpectedHeader(&state->reader, state->bodyEnd, kSequence, &info)) return Pkcs7Result::BadStructure;
    const int type = InnerTypeOf(ReadContentType(state, info.end, state->innerOid, &state->innerOidLength));
    if (type < 0) return Pkcs7Result::BadStructure;
    *state->innerType = type;
    if (state->reader.position == info.end) {
        state->detachedSignature = true;
        return Pkcs7Result::Done;
    }
    if (!ReadExpectedHeader(&state->reader, info.end, kExplicit0, &wrapper) || wrapper.end != info.end ||
        !ReadExpectedHeader(&state->reader, wrapper.end, kOctetString, &content) || content.end != wrapper.end)
        return Pkcs7Result::BadStructure;
    state->contentLength = content.length;
    return Pkcs7Result::Done;
}

Pkcs7Result DecodeBody(DecodeState* state, const Header& body)
{
    const int outer = *state->outerType;
    if (outer == kOuterData) {
        state->contentLength = body.length;
        return ProcessContent(state);
    }
    Pkcs7Result result = ReadVersion(state);
    if (result == Pkcs7Result::Done && (outer == kOuterEnveloped || outer == kOuterSignedAndEnveloped))
        result = ReadRecipientInfos(state);
    if (result == Pkcs7Result::Done && (outer == kOuterSigned || outer == kOuterSignedAndEnveloped))
        result = ReadDigestAlgorithms(state);
    if (result != Pkcs7Result::Done) return result;
    if (outer == kOuterSigned) {
        result = ReadSignedContentInfo(state);
    } else {
        std::uint64_t infoEnd = 0;
        result = ReadEncryptedContentInfo(state, &infoEnd);
        if (result == Pkcs7Result::Done) {
            const int type = OIDToContentType(state->innerOid, state->innerOidLength);
            if (state->innerOidLength != kContentTypeOidLength || InnerTypeOf(type) < 0)
                return Pkcs7Result::BadStructure;
            *state->innerType = InnerTypeOf(type);
        }
    }
    if (result == Pkcs7Result::Done) result = ProcessContent(state);
    if (result != Pkcs7Result::Done) return result;
    if (outer == kOuterEnveloped || outer == kOuterEncrypted) {
        *state->status = kSignatureNothingToVerify;
        return Pkcs7Result::Done;
    }
    result = ReadCertificates(state);
    if (result == Pkcs7Result::Done) result = ReadSignerInfos(state);
    return result;
}

Pkcs7Result Decode(DecodeState* state, int typeHint, std::size_t skip)
{
    Header body;
    for (std::size_t left = skip; left > 0;) {
        std::size_t piece = left < kPkcs7RecordBufferSize ? left : kPkcs7RecordBufferSize;
        std::size_t got = 0;
        if (ReadStream(state->reader.stream, state->chunk, piece, &got) != kStreamSuccess || got == 0) break;
        left -= got;
    }
    if (typeHint == kPkcs7TypeHintContentInfo) {
        Pkcs7Result result = ReadOuterContentInfo(state, &body);
        if (result != Pkcs7Result::Done) return result;
        state->bodyEnd = body.end;
    } else if (typeHint == kInnerSigned || typeHint == kInnerEnveloped || typeHint == kInnerSignedAndEnveloped) {
        *state->outerType = typeHint - 1;
    } else {
        return Pkcs7Result::BadStructure;
    }
    Pkcs7Result result = DecodeBody(state, body);
    if (result == Pkcs7Result::Done && *state->outerType != kOuterData && state->bodyEnd != kNoEnd &&
        state->reader.position != state->bodyEnd)
        result = Pkcs7Result::BadStructure;
    if (result == Pkcs7Result::Done && *state->outerType == kOuterData) *state->status = kSignatureNothingToVerify;
    return result;
}

// The content output of a detached signature holds nothing: its file goes.
void RemoveDetachedOutput(DataStream* output)
{
    if (output->kind != kStreamFile || !output->state) return;
    const FileStreamState* file = static_cast<const FileStreamState*>(output->state);
    if (file->name[0]) std::remove(file->name);
}

}  // namespace
}  // namespace pkcs7_decode

Pkcs7Result DecodePKCS7Stream(DataStream* contentOutput, DataStream* message, DataStream* detachedContent,
                              int* status, int typeHint, int* innerType, int* outerType, std::size_t skip,
                              bool keyless, DataSets* sets, DERCursor* cursor, unsigned char* chunk,
                              int* contentCipher)
{
    using namespace pkcs7_decode;
    (void)cursor;
    *status = kSignatureUndecided;
    *innerType = kInnerData;
    *contentCipher = kCipherNotSet;
    if (!message || !sets || !chunk) return Pkcs7Result::BadStructure;
    if (StartStream(message, kOpenRead) != kStreamSuccess) return Pkcs7Result::StreamNotReadable;
    if (contentOutput && StartStream(contentOutput, kOpenWrite) != kStreamSuccess) {
        FlushStream(message);
        return Pkcs7Result::OutputNotWritable;
    }
    DecodeState state;
    state.output = contentOutput;
    state.detached = detachedContent;
    state.sets = sets;
    state.chunk = chunk;
    state.keyless = keyless;
    state.status = status;
    state.innerType = innerType;
    state.outerType = outerType;
    state.contentCipher = contentCipher;
    state.reader.stream = message;

    Pkcs7Result result = Decode(&state, typeHint, skip);

    if (state.detachedSignature && detachedContent) FlushStream(detachedContent);
    FlushStream(message);
    if (contentOutput) {
        // The last base64 group or the file's close can still fail.
        if (FlushStream(contentOutput) != kStreamSuccess && result == Pkcs7Result::Done)
            result = Pkcs7Result::ShortWrite;
        if (state.detachedSignature) RemoveDetachedOutput(contentOutput);
    }
    return result;
}
