#include "core/pkcs7/pkcs7_encoder.h"

#include <cstdlib>

#include "core/der/der.h"
#include "core/der/der_builder.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/pkcs7/pkcs7_content_encryptor.h"
#include "core/pkcs7/pkcs7_encoder_signers.h"
#include "core/pkcs7/pkcs7_key_transport.h"
#include "core/toolkit/wipe.h"

namespace {

enum : std::size_t { kHeadRoom = 128 };

// Finishes a started stream when the encoding ends, on every path.
struct StartedStream {
    DataStream* stream = nullptr;
    ~StartedStream()
    {
        if (stream) FlushStream(stream);
    }
    // The finishing result of a stream being written.
    bool Finish()
    {
        DataStream* s = stream;
        stream = nullptr;
        return FlushStream(s) == kStreamSuccess;
    }
};

bool Write(DataStream* message, const void* data, std::size_t length)
{
    std::size_t count = 0;
    return length == 0 || WriteStream(message, data, length, &count) == kStreamSuccess;
}

bool Write(DataStream* message, const ByteBuffer& bytes) { return Write(message, bytes.pointer, bytes.length); }

// The next piece of content, 0 bytes at its end; false when reading fails.
bool ReadChunk(DataStream* content, unsigned char* buffer, std::size_t* count)
{
    const int result = ReadStream(content, buffer, kPkcs7ContentChunkSize, count);
    if (result == kStreamNothingRead) *count = 0;
    return result == kStreamSuccess || result == kStreamNothingRead;
}

// Sum of the lengths of a slot's items.
std::uint64_t SlotLength(const DataSets* sets, std::uint32_t slot)
{
    std::uint64_t total = 0;
    for (const DataItem* item = sets->slots[slot].head; item; item = item->next) total += item->length;
    return total;
}

bool WriteSlot(DataStream* message, const DataSets* sets, std::uint32_t slot)
{
    for (const DataItem* item = sets->slots[slot].head; item; item = item->next)
        if (!Write(message, item->data, item->length)) return false;
    return true;
}

void BuildObjectId(DERBuilder* builder, int contentType)
{
    BuildDER(builder, [&](DERCursor* cursor) -> std::size_t {
        unsigned char oid[kOIDMaxLength];
        std::size_t length = 0;
        if (ContentTypeToOID(contentType, oid, &length) != 0) return 0;
        return PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, length});
    });
}

// A header of the tag over length bytes that follow it.
struct Header {
    unsigned char bytes[kHeadRoom];
    ByteBuffer written{nullptr, 0};
    std::uint64_t total = 0;  // header and content
    bool Make(int tag, std::uint64_t length)
    {
        DERBuilder b;
        InitDERBuilder(&b, bytes, sizeof bytes);
        FollowDER(&b, length);
        CloseDER(&b, tag, 0);
        written = DERBuilderWritten(&b);
        total = DERBuilderLength(&b);
        return b.status == kDERBuildOk;
    }
};

int OuterContentType(int operation)
{
    return operation == kOperationSign ? kContentSignedData
           : operation == kOperationEnvelope ? kContentEnvelopedData
                                             : kContentSignedAndEnvelopedData;
}

int InnerContentType(int innerType)
{
    switch (innerType) {
    case kInnerSigned: return kContentSignedData;
    case kInnerEnveloped: return kContentEnvelopedData;
    case kInnerSignedAndEnveloped: return kContentSignedAndEnvelopedData;
    default: return kContentData;
    }
}

// One RecipientInfo for each certificate of slot 7, added to slot 2.
Pkcs7Result AddRecipientInfos(DataSets* sets, const Pkcs7ContentKey& key, unsigned char* buffer)
{
    unsigned char transported[kPkcs7TripleDesKeySize];
    ScopedWipe wipe{transported, sizeof transported};
    const std::size_t transportedLength = TransportedKey(key, transported);
    for (const DataItem* item = sets->slots[kSlotRecipientCertificates].head; item; item = item->next) {
        // A message opened without its key cannot take new recipients.
        if (key.keyless) return Pkcs7Result::BadSlots;
        DERCursor cursor;
        InitDERWriter(&cursor, buffer, kPkcs7RecordBufferSize);
        const std::size_t length = EncodeRecipientInfo(item->data, item->length, transported, transportedLength, &cursor);
        if (length == 0) return Pkcs7Result::CAUnusable;
        if (AddDataItem(sets, kSlotRecipientInfos, buffer + cursor.position, length) != kDataSetsOk)
            return Pkcs7Result::BadSlots;
    }
    return Pkcs7Result::Done;
}

// First pass: the content's length and, for signing, its digest.
Pkcs7Result MeasureContent(DataStream* content, unsigned char* chunk, bool digest, std::uint64_t* length,
                           unsigned char* contentDigest, std::size_t* digestLength)
{
    DigestContext context;
    ScopedWipe wipe{&context, sizeof context};
    if (digest) InitDigest(&context, kPkcs7SigningDigestType);
    *length = 0;
    for (;;) {
        std::size_t count = 0;
        if (!ReadChunk(content, chunk, &count)) return Pkcs7Result::StreamNotReadable;
        if (count == 0) break;
        if (digest) UpdateDigest(&context, chunk, count);
        *length += count;
    }
    if (*length == 0) return Pkcs7Result::EmptyContent;
    if (digest) FinalDigest(&context, contentDigest, digestLength);
    return Pkcs7Result::Done;
}

// Second pass: the content as it was measured, copied or encrypted. A
// content that changed length since the first pass fails.
Pkcs7Result WriteContent(DataStream* message, DataStream* content, std::uint64_t length,
                         const Pkcs7ContentKey* key, Pkcs7EncoderBuffers* buffers)
{
    Pkcs7ContentKey none;
    none.keyless = true;
    ContentEncryptor encryptor(key ? *key : none);
    std::uint64_t total = 0;
    for (;;) {
        std::size_t count = 0;
        if (!ReadChunk(content, buffers->plain, &count)) return Pkcs7Result::StreamNotReadable;
        if (count == 0) break;
        total += count;
        if (total > length) return Pkcs7Result::StreamNotReadable;
        if (!key) {
            if (!Write(message, buffers->plain, count)) return Pkcs7Result::ShortWrite;
            continue;
        }
        std::size_t written = 0;
        if (!encryptor.Update(buffers->plain, count, buffers->encrypted, kPkcs7CipherChunkSize, &written))
            return Pkcs7Result::BadSlots;
        if (!Write(message, buffers->encrypted, written)) return Pkcs7Result::ShortWrite;
    }
    FillBytes(buffers->plain, 0, kPkcs7ContentChunkSize);
    if (total != length) return Pkcs7Result::StreamNotReadable;
    if (!key) return Pkcs7Result::Done;
    unsigned char last[kDesBlockSize];
    std::size_t lastLength = 0;
    if (!encryptor.Final(last, &lastLength)) return Pkcs7Result::BadSlots;
    return Write(message, last, lastLength) ? Pkcs7Result::Done : Pkcs7Result::ShortWrite;
}

// Everything the second pass writes around the content, with its lengths.
struct Layout {
    unsigned char bodyBytes[kHeadRoom];
    ByteBuffer body{nullptr, 0};  // ContentInfo (wrap), body SEQUENCE (wrap), version
    Header recipients;            // SET over slot 2
    unsigned char digestBytes[kHeadRoom];
    ByteBuffer digestAlgorithms{nullptr, 0};
    unsigned char innerBytes[kHeadRoom];
    ByteBuffer inner{nullptr, 0};  // inner ContentInfo up to the content
    std::uint64_t innerTotal = 0;
    Header certificates;  // [0] over slots 1 and 4
    Header signerInfos;   // SET over slot 0 and the new SignerInfos
};

struct Request {
    int operation;
    bool wrap;
    int innerType;
    bool withContent;        // the inner ContentInfo holds [0] and the content
    std::uint64_t contentLength;  // as written
    const Pkcs7ContentKey* key;   // enveloping operations
    bool newDigestAlgorithm;      // false: an empty digestAlgorithms SET
    ByteBuffer newSignerInfos;
};

bool MakeLayout(const DataSets* sets, const Request& request, Layout* layout)
{
    const bool signing = request.operation != kOperationEnvelope;
    const bool enveloping = request.operation != kOperationSign;
    std::uint64_t afterVersion = 0;

    DERBuilder inner;
    InitDERBuilder(&inner, layout->innerBytes, sizeof layout->innerBytes);
    if (request.withContent) {
        FollowDER(&inner, request.contentLength);
        CloseDER(&inner, kTagOctetString, 0);
        CloseDER(&inner, kTagContextConstructed + 0, 0);
    }
    if (enveloping) BuildDER(&inner, [&](DERCursor* c) { return EncodeContentCipherId(c, *request.key); });
    BuildObjectId(&inner, InnerContentType(request.innerType));
    CloseDER(&inner, kTagSequence, 0);
    if (inner.status != kDERBuildOk) return false;
    layout->inner = DERBuilderWritten(&inner);
    layout->innerTotal = DERBuilderLength(&inner);
    afterVersion += layout->innerTotal;

    if (enveloping) {
        if (!layout->recipients.Make(kTagSet, SlotLength(sets, kSlotRecipientInfos))) return false;
        afterVersion += layout->recipients.total;
    }
    if (signing) {
        DERBuilder digests;
        InitDERBuilder(&digests, layout->digestBytes, sizeof layout->digestBytes);
        if (request.newDigestAlgorithm)
            BuildDER(&digests, [](DERCursor* c) { return EncodeAlgorithmId(c, kPkcs7SigningDigestType); });
        CloseDER(&digests, kTagSet, 0);
        if (digests.status != kDERBuildOk) return false;
        layout->digestAlgorithms = DERBuilderWritten(&digests);
        const std::uint64_t certificates =
            SlotLength(sets, kSlotCarriedCertificates) + SlotLength(sets, kSlotSignerCertificates);
        const std::uint64_t signerInfos = SlotLength(sets, kSlotSignerInfos) + request.newSignerInfos.length;
        if (!layout->certificates.Make(kTagContextConstructed + 0, certificates) ||
            !layout->signerInfos.Make(kTagSet, signerInfos))
            return false;
        afterVersion += layout->digestAlgorithms.length + layout->certificates.total + layout->signerInfos.total;
    }

    DERBuilder body;
    InitDERBuilder(&body, layout->bodyBytes, sizeof layout->bodyBytes);
    FollowDER(&body, afterVersion);
    BuildDERSmallInteger(&body, request.operation == kOperationEnvelope ? 0 : 1);
    if (request.wrap) {
        CloseDER(&body, kTagSequence, 0);
        CloseDER(&body, kTagContextConstructed + 0, 0);
        BuildObjectId(&body, OuterContentType(request.operation));
        CloseDER(&body, kTagSequence, 0);
    }
    if (body.status != kDERBuildOk) return false;
    layout->body = DERBuilderWritten(&body);
    return true;
}

}  // namespace

bool Pkcs7EncoderBuffers::Allocate()
{
    Release();
    plain = static_cast<unsigned char*>(std::calloc(1, kPkcs7ContentChunkSize));
    encrypted = static_cast<unsigned char*>(std::calloc(1, kPkcs7CipherChunkSize));
    records = static_cast<unsigned char*>(std::calloc(1, kPkcs7RecordBufferSize));
    if (plain && encrypted && records) return true;
    Release();
    return false;
}

void Pkcs7EncoderBuffers::Release()
{
    auto release = [](unsigned char*& buffer, std::size_t size) {
        if (buffer) FillBytes(buffer, 0, size);
        std::free(buffer);
        buffer = nullptr;
    };
    release(plain, kPkcs7ContentChunkSize);
    release(encrypted, kPkcs7CipherChunkSize);
    release(records, kPkcs7RecordBufferSize);
}

Pkcs7Result EncodePKCS7Stream(int operation, DataStream* message, DataStream* content, bool wrap, int innerType,
                              DataSets* sets, int contentCipher, unsigned flags, Pkcs7EncoderBuffers* buffers)
{
    if (operation < kOperationSign || operation > kOperationSignAndEnvelope) return Pkcs7Result::BadStructure;
    if (!buffers->plain || !buffers->encrypted || !buffers->records) return Pkcs7Result::NoMemory;
    const bool signing = operation != kOperationEnvelope;
    const bool enveloping = operation != kOperationSign;
    const bool noContent = (flags & kPkcs7FlagNoContent) != 0;
    // Only a signature can leave its content out.
    const bool detached = signing && !enveloping && (flags & kPkcs7FlagDetached) != 0;

    Pkcs7ContentKey key;
    if (enveloping) {
        Pkcs7Result result = TakeContentKey(sets, Pkcs7CipherOf(contentCipher), &key);
        if (result == Pkcs7Result::Done) result = AddRecipientInfos(sets, key, buffers->records);
        if (result != Pkcs7Result::Done) return result;
    }
    const bool newSigners = signing && !noContent && !key.keyless;

    StartedStream contentStarted;
    std::uint64_t plainLength = 0;
    unsigned char digest[kMaxDigestLength];
    ScopedWipe wipeDigest{digest, sizeof digest};
    std::size_t digestLength = 0;
    if (!noContent) {
        if (!content || StartStream(content, kOpenRead) != kStreamSuccess) return Pkcs7Result::StreamNotReadable;
        contentStarted.stream = content;
        const Pkcs7Result result =
            MeasureContent(content, buffers->plain, newSigners, &plainLength, digest, &digestLength);
        if (result != Pkcs7Result::Done) return result;
    }

    unsigned char attributeBytes[kPkcs7AttributesSize];
    ByteBuffer attributes{nullptr, 0};
    ByteBuffer newSignerInfos{nullptr, 0};
    if (newSigners) {
        if ((flags & kPkcs7FlagAttributes) &&
            !BuildSignedAttributes(innerType, digest, digestLength, attributeBytes, &attributes))
            return Pkcs7Result::BadSlots;
        Pkcs7Result result = MakeSignatures(sets, digest, digestLength, attributes, enveloping ? &key : nullptr);
        if (result == Pkcs7Result::Done)
            result = BuildSignerInfos(sets, attributes, buffers->records, kPkcs7RecordBufferSize, &newSignerInfos);
        if (result != Pkcs7Result::Done) return result;
    }

    Request request{operation, wrap, innerType, !noContent && !detached,
                    enveloping ? EncryptedContentLength(key, plainLength) : plainLength,
                    &key, !noContent, newSignerInfos};
    Layout layout;
    if (!MakeLayout(sets, request, &layout)) return Pkcs7Result::BadSlots;

    const bool copyContent = request.withContent;
    if (copyContent && (FlushStream(content) != kStreamSuccess || StartStream(content, kOpenRead) != kStreamSuccess))
        return Pkcs7Result::StreamNotReadable;
    if (!message || StartStream(message, kOpenWrite) != kStreamSuccess) return Pkcs7Result::OutputNotWritable;
    StartedStream messageStarted{message};

    if (!Write(message, layout.body)) return Pkcs7Result::ShortWrite;
    if (enveloping && (!Write(message, layout.recipients.written) || !WriteSlot(message, sets, kSlotRecipientInfos)))
        return Pkcs7Result::ShortWrite;
    if (signing && !Write(message, layout.digestAlgorithms)) return Pkcs7Result::ShortWrite;
    if (!Write(message, layout.inner)) return Pkcs7Result::ShortWrite;
    if (copyContent) {
        const Pkcs7Result result = WriteContent(message, content, plainLength, enveloping ? &key : nullptr, buffers);
        if (result != Pkcs7Result::Done) return result;
    }
    if (signing) {
        if (!Write(message, layout.certificates.written) || !WriteSlot(message, sets, kSlotCarriedCertificates) ||
            !WriteSlot(message, sets, kSlotSignerCertificates) || !Write(message, layout.signerInfos.written) ||
            !WriteSlot(message, sets, kSlotSignerInfos) || !Write(message, newSignerInfos))
            return Pkcs7Result::ShortWrite;
    }
    return messageStarted.Finish() ? Pkcs7Result::Done : Pkcs7Result::ShortWrite;
}
