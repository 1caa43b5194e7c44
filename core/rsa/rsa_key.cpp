#include "core/rsa/rsa_key.h"

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "core/der/oid.h"

namespace {

// Bit count from the modulus INTEGER's content (one leading 0x00 not counted).
std::uint16_t ModulusBits(const ByteBuffer& modulus)
{
    std::size_t bytes = modulus.pointer[0] != 0 ? modulus.length : modulus.length - 1;
    return static_cast<std::uint16_t>(8 * bytes);
}

// Reads one INTEGER into a zeroed field; false when it is missing or too big.
bool ReadKeyNumber(DERCursor* cursor, unsigned char* field, std::size_t width, std::size_t* consumed,
                   ByteBuffer* itemOut = nullptr)
{
    ByteBuffer item = {nullptr, 0};
    std::size_t n = GetDERInteger(cursor, &item);
    if (n == 0 || CopyKeyNumber(item, field, width) != 0) return false;
    *consumed += n;
    if (itemOut) *itemOut = item;
    return true;
}

// Writes one field as an INTEGER, sign byte where the top bit is set.
bool WriteKeyNumber(DERCursor* cursor, const unsigned char* field, std::size_t width, std::size_t* total)
{
    std::size_t n = PutDERInteger(cursor, ByteBuffer{const_cast<unsigned char*>(field), width}, 0);
    if (n == 0) return false;
    *total += n;
    return true;
}

// Reads a SEQUENCE header; its content length goes to length.
std::size_t ReadSequenceHeader(DERCursor* cursor, std::size_t* length)
{
    int tag = 0;
    ByteBuffer item = {nullptr, 0};
    std::size_t n = GetDERValue(cursor, &tag, &item);
    if (n == 0 || tag != kTagSequence) return 0;
    *length = item.length;
    return n;
}

// SEQUENCE { modulus, publicExponent } whose content is exactly its length.
std::size_t DecodeRsaPublicKeySequence(DERCursor* cursor, RsaPublicKey* key)
{
    std::size_t length = 0;
    std::size_t header = ReadSequenceHeader(cursor, &length);
    if (header == 0) return 0;
    std::size_t consumed = 0;
    ByteBuffer modulus = {nullptr, 0};
    if (!ReadKeyNumber(cursor, key->modulus, sizeof key->modulus, &consumed, &modulus)) return 0;
    key->bits = ModulusBits(modulus);
    if (!ReadKeyNumber(cursor, key->publicExponent, sizeof key->publicExponent, &consumed)) return 0;
    if (consumed != length) return 0;
    return header + length;
}

std::size_t DecodeRsaPrivateKeyBody(DERCursor* cursor, RsaPrivateKey* key)
{
    std::size_t length = 0;
    std::size_t header = ReadSequenceHeader(cursor, &length);
    if (header == 0) return 0;
    std::size_t consumed = 0;
    ByteBuffer version = {nullptr, 0};
    std::size_t n = GetDERInteger(cursor, &version);  // its value is not examined
    if (n == 0) return 0;
    consumed += n;
    ByteBuffer modulus = {nullptr, 0};
    if (!ReadKeyNumber(cursor, key->modulus, sizeof key->modulus, &consumed, &modulus)) return 0;
    key->bits = ModulusBits(modulus);
    if (!ReadKeyNumber(cursor, key->publicExponent, sizeof key->publicExponent, &consumed) ||
        !ReadKeyNumber(cursor, key->privateExponent, sizeof key->privateExponent, &consumed) ||
        !ReadKeyNumber(cursor, key->prime1, sizeof key->prime1, &consumed) ||
        !ReadKeyNumber(cursor, key->prime2, sizeof key->prime2, &consumed) ||
        !ReadKeyNumber(cursor, key->exponent1, sizeof key->exponent1, &consumed) ||
        !ReadKeyNumber(cursor, key->exponent2, sizeof key->exponent2, &consumed) ||
        !ReadKeyNumber(cursor, key->coefficient, sizeof key->coefficient, &consumed))
        return 0;
    if (consumed != length) return 0;  // multi-prime keys are not supported
    return header + length;
}

}  // namespace

int CopyKeyNumber(const ByteBuffer& item, unsigned char* field, std::size_t width)
{
    const unsigned char* bytes = item.pointer;
    std::size_t length = item.length;
    if (length == width + 1 && bytes[0] == 0) {
        ++bytes;
        --length;
    }
    if (length > width) return 1;
    CopyBytes(field + (width - length), bytes, length);
    return 0;
}

std::size_t EncodeRsaPublicKey(DERCursor* cursor, const RsaPublicKey* key)
{
    std::size_t total = 0;
    // Both numbers carry a sign byte when their top bit is set: an exponent
    // such as 0x80000001 would otherwise read back as negative.
    if (!WriteKeyNumber(cursor, key->publicExponent, sizeof key->publicExponent, &total) ||
        !WriteKeyNumber(cursor, key->modulus, sizeof key->modulus, &total))
        return 0;
    std::size_t n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    total += n;
    n = PutDERValue(cursor, kTagBitString, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

std::size_t DecodeRsaPublicKey(DERCursor* cursor, RsaPublicKey* key)
{
    FillBytes(key, 0, sizeof *key);
    int tag = 0;
    ByteBuffer bits = {nullptr, 0};
    std::size_t header = GetDERValue(cursor, &tag, &bits);
    std::size_t inner = 0;
    if (header != 0 && tag == kTagBitString) inner = DecodeRsaPublicKeySequence(cursor, key);
    if (inner == 0 || inner != bits.length) {
        FillBytes(key, 0, sizeof *key);
        return 0;
    }
    return header + inner;
}

std::size_t EncodeSubjectPublicKeyInfo(DERCursor* cursor, int algorithm, const RsaPublicKey* key)
{
    std::size_t total = EncodeRsaPublicKey(cursor, key);
    if (total == 0) return 0;
    std::size_t n = EncodeAlgorithmId(cursor, algorithm);
    if (n == 0) return 0;
    total += n;
    n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

std::size_t EncodeRsaPrivateKey(DERCursor* cursor, const RsaPrivateKey* key)
{
    std::size_t total = 0;
    if (!WriteKeyNumber(cursor, key->coefficient, sizeof key->coefficient, &total) ||
        !WriteKeyNumber(cursor, key->exponent2, sizeof key->exponent2, &total) ||
        !WriteKeyNumber(cursor, key->exponent1, sizeof key->exponent1, &total) ||
        !WriteKeyNumber(cursor, key->prime2, sizeof key->prime2, &total) ||
        !WriteKeyNumber(cursor, key->prime1, sizeof key->prime1, &total) ||
        !WriteKeyNumber(cursor, key->privateExponent, sizeof key->privateExponent, &total) ||
        !WriteKeyNumber(cursor, key->publicExponent, sizeof key->publicExponent, &total) ||
        !WriteKeyNumber(cursor, key->modulus, sizeof key->modulus, &total))
        return 0;
    unsigned char zero = 0;
    std::size_t n = PutDERInteger(cursor, ByteBuffer{&zero, 1}, 1);
    if (n == 0) return 0;
    total += n;
    n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

std::size_t DecodeRsaPrivateKey(DERCursor* cursor, RsaPrivateKey* key)
{
    FillBytes(key, 0, sizeof *key);
    std::size_t n = DecodeRsaPrivateKeyBody(cursor, key);
    if (n == 0) FillBytes(key, 0, sizeof *key);  // no partial secrets left behind
    return n;
}

std::size_t EncodePrivateKeyInfo(DERCursor* cursor, int algorithm, const RsaPrivateKey* key)
{
    std::size_t total = EncodeRsaPrivateKey(cursor, key);
    if (total == 0) return 0;
    std::size_t n = PutDERHeader(cursor, kTagOctetString, total);
    if (n == 0) return 0;
    total += n;
    n = EncodeAlgorithmId(cursor, algorithm);
    if (n == 0) return 0;
    total += n;
    unsigned char zero = 0;
    n = PutDERInteger(cursor, ByteBuffer{&zero, 1}, 1);
    if (n == 0) return 0;
    total += n;
    n = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, total});
    if (n == 0) return 0;
    return total + n;
}

std::size_t DecodePrivateKeyInfo(DERCursor* cursor, int* algorithm, RsaPrivateKey* key)
{
    FillBytes(key, 0, sizeof *key);
    *algorithm = -1;
    std::size_t length = 0;
    std::size_t header = ReadSequenceHeader(cursor, &length);
    if (header == 0) return 0;
    std::size_t consumed = 0;
    ByteBuffer version = {nullptr, 0};
    std::size_t n = GetDERInteger(cursor, &version);  // any value
    if (n == 0) return 0;
    consumed += n;
    n = DecodeAlgorithmId(cursor, algorithm);
    if (n == 0) return 0;
    consumed += n;
    der_reader::Element wrapped;
    if (!der_reader::ReadAny(cursor, &wrapped)) return 0;  // its tag is not examined
    consumed += wrapped.whole.length;
    // The RSAPrivateKey is read inside the element only and must fill it.
    DERCursor inner = der_reader::Inside(wrapped.content);
    std::size_t keySize = DecodeRsaPrivateKey(&inner, key);
    if (keySize == 0 || keySize != wrapped.content.length) {
        FillBytes(key, 0, sizeof *key);
        return 0;
    }
    if (consumed > length) {
        FillBytes(key, 0, sizeof *key);
        return 0;
    }
    return header + consumed;
}
