// Certification request info decoder: any input (a bare info, or a whole
// request whose first element is the info) decodes or is refused with the
// cursor where it was and nothing left allocated; what a decode hands out
// lies inside the input or is a NUL-terminated copy.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/text/text.h"
#include "core/x509/certification_request.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

void CheckCopies(const ByteBuffer* slots, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        Check((slots[i].pointer == nullptr) == (slots[i].length == 0));
        if (slots[i].pointer) Check(slots[i].pointer[slots[i].length] == 0);
    }
}

void DecodeAt(DERCursor cursor)
{
    const DERCursor before = cursor;
    ByteBuffer version = {nullptr, 0};
    NameTable subject;
    int keyAlgorithm = 0;
    RsaPublicKey publicKey;
    const unsigned char* start = nullptr;
    ExtensionTable attributes;
    const std::size_t result =
        DecodeCertificationRequestInfo(&cursor, &version, &subject, &keyAlgorithm, &publicKey, &start, &attributes);
    Check(start == before.buffer + before.position);
    if (result == 0) {
        Check(cursor.position == before.position && version.pointer == nullptr);
        for (const ByteBuffer& slot : subject.slots) Check(slot.pointer == nullptr);
        for (const ByteBuffer& slot : attributes.slots) Check(slot.pointer == nullptr);
        return;
    }
    Check(cursor.position == before.position + result && cursor.position <= cursor.size);
    Check(version.pointer > start && version.pointer + version.length <= start + result);
    Check(publicKey.bits <= 2048);
    CheckCopies(subject.slots, kNameSlots);
    CheckCopies(attributes.slots, kExtensionSlots);
    FreeItems(subject.slots, kNameSlots);
    FreeItems(attributes.slots, kExtensionSlots);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeAt(der_reader::Reader(data, size));
    DERCursor outer = der_reader::Reader(data, size), request;
    if (der_reader::Enter(&outer, kTagSequence, &request)) DecodeAt(request);
    return 0;
}
