#include "core/x509/signed_public_key_and_challenge.h"

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/x509/certificate.h"

namespace {

using namespace der_reader;

// The signature bits of a BIT STRING without unused bits, filling the reader.
bool ReadSignatureBits(DERCursor* reader, ByteBuffer* signature)
{
    ByteBuffer bits = {nullptr, 0};
    if (!ReadView(reader, kTagBitString, &bits) || bits.length < 2 || bits.pointer[0] != 0) return false;
    *signature = ByteBuffer{bits.pointer + 1, bits.length - 1};
    return AtEnd(*reader);
}

}  // namespace

std::size_t DecodePublicKeyAndChallenge(DERCursor* cursor, int* keyAlgorithm, RsaPublicKey* publicKey,
                                        const unsigned char** start, ByteBuffer* challenge)
{
    *start = cursor->buffer + cursor->position;
    DERCursor rest = *cursor;
    DERCursor inner;
    std::size_t size = 0;
    ByteBuffer text = {nullptr, 0};
    if (!Enter(&rest, kTagSequence, &inner, &size) ||
        DecodeSubjectPublicKeyInfo(&inner, keyAlgorithm, publicKey) == 0 || !ReadView(&inner, kTagIA5String, &text) ||
        !AtEnd(inner)) {
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    if (challenge) *challenge = text;
    *cursor = rest;
    return size;
}

std::size_t DecodeSignedPublicKeyAndChallenge(DERCursor* cursor, const unsigned char** start, int* algorithm,
                                              RsaPublicKey* publicKey, int* valid)
{
    *valid = 0;
    DERCursor rest = *cursor;
    DERCursor outer;
    std::size_t size = 0;
    int keyAlgorithm = 0;
    ByteBuffer signature = {nullptr, 0};
    std::size_t signedLength = 0;
    if (!Enter(&rest, kTagSequence, &outer, &size) ||
        (signedLength = DecodePublicKeyAndChallenge(&outer, &keyAlgorithm, publicKey, start)) == 0 ||
        DecodeAlgorithmId(&outer, algorithm) == 0 || !ReadSignatureBits(&outer, &signature)) {
        FillBytes(publicKey, 0, sizeof *publicKey);
        return 0;
    }
    // A work record of its own: the caller's cursor stays usable.
    DigestInfoWork work;
    *valid =
        VerifyDigestInfo(&work, *algorithm, *start, signedLength, publicKey, signature.pointer, signature.length) != 0
            ? 1
            : 0;
    *cursor = rest;
    return size;
}
