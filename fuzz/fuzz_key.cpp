// RSA key decoders: a refused key leaves a zeroed record; an accepted one
// encodes and decodes back to the same numbers (the bit count may change:
// redundant leading zero bytes are not written again).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/rsa/rsa_key.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

template <typename Key>
bool IsZero(const Key& key)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&key);
    for (std::size_t i = 0; i < sizeof key; ++i)
        if (p[i]) return false;
    return true;
}

unsigned char gBuffer[8192];

template <typename Key, typename Encode, typename Decode>
void RoundTrip(const Key& key, Encode encode, Decode decode)
{
    DERCursor writer;
    InitDERWriter(&writer, gBuffer, sizeof gBuffer);
    std::size_t written = encode(&writer, &key);
    Check(written != 0 && written == sizeof gBuffer - writer.position);
    DERCursor reader;
    InitDERReader(&reader, gBuffer + writer.position, written);
    Key again;
    Check(decode(&reader, &again) == written);
    Check(std::memcmp(reinterpret_cast<const unsigned char*>(&again) + 2,
                      reinterpret_cast<const unsigned char*>(&key) + 2, sizeof key - 2) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DERCursor reader;

    RsaPublicKey pub;
    InitDERReader(&reader, data, size);
    std::size_t n = DecodeRsaPublicKey(&reader, &pub);
    Check(n <= size);
    if (n == 0) Check(IsZero(pub));
    else RoundTrip(pub, EncodeRsaPublicKey, DecodeRsaPublicKey);

    RsaPrivateKey key;
    InitDERReader(&reader, data, size);
    n = DecodeRsaPrivateKey(&reader, &key);
    Check(n <= size);
    if (n == 0) Check(IsZero(key));
    else RoundTrip(key, EncodeRsaPrivateKey, DecodeRsaPrivateKey);

    int algorithm = -7;
    InitDERReader(&reader, data, size);
    n = DecodePrivateKeyInfo(&reader, &algorithm, &key);
    Check(n <= size);
    if (n == 0) Check(IsZero(key));
    return 0;
}
