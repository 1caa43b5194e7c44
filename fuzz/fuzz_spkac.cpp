// Signed public key and challenge decoder: any input decodes or is refused
// with the cursor where it was; a decode leaves the cursor just after the
// structure, the signed part inside it and the verdict 0 or 1.
#include <cstdint>
#include <cstdlib>

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/x509/signed_public_key_and_challenge.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DERCursor cursor = der_reader::Reader(data, size);
    const unsigned char* start = nullptr;
    int algorithm = 0, valid = -1;
    RsaPublicKey key;
    const std::size_t result = DecodeSignedPublicKeyAndChallenge(&cursor, &start, &algorithm, &key, &valid);
    Check(valid == 0 || (valid == 1 && result != 0));
    Check(cursor.buffer == data && cursor.size == size);
    if (result == 0) {
        Check(cursor.position == 0);
    } else {
        Check(cursor.position == result && result <= size);
        Check(start > data && start < data + result);
        Check(key.bits <= 2048);
    }

    DERCursor inner = der_reader::Reader(data, size);
    ByteBuffer challenge = {nullptr, 0};
    int keyAlgorithm = 0;
    const std::size_t consumed = DecodePublicKeyAndChallenge(&inner, &keyAlgorithm, &key, &start, &challenge);
    Check(inner.position == consumed);
    if (consumed) Check(challenge.pointer == nullptr || challenge.pointer + challenge.length <= data + consumed);
    return 0;
}
