#include "core/x509/certification_request.h"

#include "core/der/der.h"
#include "core/der/der_builder.h"
#include "core/der/der_reader.h"
#include "core/text/text.h"
#include "core/x509/certificate.h"

namespace {

using namespace der_reader;

bool HasAttributes(const ExtensionTable* attributes)
{
    if (!attributes) return false;
    for (const ByteBuffer& slot : attributes->slots)
        if (slot.pointer) return true;
    return false;
}

}  // namespace

std::size_t EncodeCertificationRequestInfo(DERCursor* cursor, const ByteBuffer& version, const NameTable* subject,
                                           int keyAlgorithm, const RsaPublicKey* publicKey,
                                           const ExtensionTable* attributes)
{
    if (!version.pointer || version.length == 0 || !subject || !publicKey) return 0;
    DERBuilder builder = {*cursor, 0, kDERBuildOk};
    const std::uint64_t end = DERBuilderMark(&builder);
    // PKCS#10 has the attributes element even when it is empty.
    if (HasAttributes(attributes))
        BuildDER(&builder, [&](DERCursor* c) { return EncodeAttributeSet(c, attributes, 1, 1); });
    else
        BuildDER(&builder, [&](DERCursor* c) { return PutDERHeader(c, kTagContextConstructed, 0); });
    BuildDER(&builder, [&](DERCursor* c) { return EncodeSubjectPublicKeyInfo(c, keyAlgorithm, publicKey); });
    BuildDER(&builder, [&](DERCursor* c) { return EncodeName(c, subject); });
    BuildDERInteger(&builder, version);
    CloseDER(&builder, kTagSequence, end);
    if (builder.status != kDERBuildOk) return 0;
    *cursor = builder.cursor;
    return static_cast<std::size_t>(DERBuilderLength(&builder) - end);
}

std::size_t DecodeCertificationRequestInfo(DERCursor* cursor, ByteBuffer* version, NameTable* subject,
                                           int* keyAlgorithm, RsaPublicKey* publicKey, const unsigned char** start,
                                           ExtensionTable* attributes)
{
    *version = ByteBuffer{nullptr, 0};
    *start = cursor->buffer + cursor->position;
    FreeItems(attributes->slots, kExtensionSlots);
    DERCursor rest = *cursor;
    DERCursor info;
    std::size_t size = 0;
    ByteBuffer number = {nullptr, 0};
    bool ok = Enter(&rest, kTagSequence, &info, &size) && GetDERInteger(&info, &number) != 0 &&
              DecodeName(&info, subject) != 0 && DecodeSubjectPublicKeyInfo(&info, keyAlgorithm, publicKey) != 0;
    if (ok && !AtEnd(info)) {
        const int tag = PeekTag(&info);
        ok = (tag == kTagContextConstructed || tag == kTagSet) && DecodeAttributeSet(&info, attributes) != 0;
    }
    if (!ok || !AtEnd(info)) {
        FreeItems(subject->slots, kNameSlots);
        FreeItems(attributes->slots, kExtensionSlots);
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    *version = number;
    *cursor = rest;
    return size;
}
