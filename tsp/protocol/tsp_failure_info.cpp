#include <cstdlib>

#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "tsp/protocol/tsp_codecs.h"
#include "tsp/protocol/tsp_der.h"

namespace {

struct FailurePattern {
    unsigned char bytes[5];
    std::size_t length;
};

// PKIFailureInfo with one bit set, as DER writes it: unused-bits byte first.
constexpr FailurePattern kFailurePatterns[] = {
    {{0x07, 0x80}, 2},                    // badAlg (0)
    {{0x05, 0x20}, 2},                    // badRequest (2)
    {{0x02, 0x04}, 2},                    // badDataFormat (5)
    {{0x01, 0x00, 0x02}, 3},              // timeNotAvailable (14)
    {{0x00, 0x00, 0x01}, 3},              // unacceptedPolicy (15)
    {{0x07, 0x00, 0x00, 0x80}, 4},        // unacceptedExtension (16)
    {{0x06, 0x00, 0x00, 0x40}, 4},        // addInfoNotAvailable (17)
    {{0x06, 0x00, 0x00, 0x00, 0x40}, 5},  // systemFailure (25)
};

}  // namespace

int TspFailureCodeOf(const unsigned char* bitStringContent, std::size_t length)
{
    if (!bitStringContent) return kTspFailureNone;
    for (int i = 0; i < 8; ++i) {
        const FailurePattern& pattern = kFailurePatterns[i];
        if (pattern.length == length && CompareBytes(pattern.bytes, bitStringContent, length) == 0) return i + 1;
    }
    return kTspFailureNone;
}

ByteBuffer TspFailurePattern(int code)
{
    if (code < 1 || code > 8) return ByteBuffer{nullptr, 0};
    const FailurePattern& pattern = kFailurePatterns[code - 1];
    return ByteBuffer{const_cast<unsigned char*>(pattern.bytes), pattern.length};
}

bool IsMinimalPositiveInteger(const unsigned char* bytes, std::size_t length)
{
    if (!bytes || length == 0 || (bytes[0] & 0x80)) return false;
    return !(length > 1 && bytes[0] == 0 && !(bytes[1] & 0x80));
}

void MakeNonceMinimalPositive(unsigned char* nonce, std::size_t length)
{
    if (!nonce || length == 0) return;
    nonce[0] = static_cast<unsigned char>((nonce[0] & 0x7F) | 0x40);
}

namespace tsp_der {

using namespace der_reader;

bool ReadHashAlgorithm(DERCursor* cursor, int* code)
{
    DERCursor saved = *cursor, inner;
    ByteBuffer oid, parameters;
    bool hasNull = false;
    if (!Enter(cursor, kTagSequence, &inner) || !ReadView(&inner, kTagObjectId, &oid) || oid.length == 0 ||
        !ReadOptional(&inner, kTagNull, &hasNull, &parameters) || (hasNull && parameters.length != 0) ||
        !AtEnd(inner)) {
        *cursor = saved;
        return false;
    }
    *code = OIDToAlgorithm(oid.pointer, oid.length);
    return true;
}

bool HoldCopy(ByteBuffer* slot)
{
    if (!slot->pointer || slot->length == 0) {
        *slot = ByteBuffer{nullptr, 0};
        return true;
    }
    unsigned char* copy = CopyToCString(slot->pointer, slot->length);
    if (!copy) {
        *slot = ByteBuffer{nullptr, 0};
        return false;
    }
    slot->pointer = copy;
    return true;
}

void FreeHeld(ByteBuffer* slot)
{
    std::free(slot->pointer);
    *slot = ByteBuffer{nullptr, 0};
}

}  // namespace tsp_der
