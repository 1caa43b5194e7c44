#include "core/pkcs8/encrypted_key.h"

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/toolkit/wipe.h"

namespace {

// A work buffer of the largest key and its padding.
struct KeyBuffer : SecretBytes {
    KeyBuffer() : SecretBytes(kEncryptedKeyMaxLength + 8) {}
};

// A SEQUENCE header; its content length.
bool GetSequence(DERCursor* cursor, std::size_t* length)
{
    int tag = 0;
    return GetDERTagLength(cursor, &tag, length) != 0 && tag == kTagSequence;
}

bool GetPrimitive(DERCursor* cursor, int wanted, ByteBuffer* item)
{
    int tag = 0;
    return GetDERValue(cursor, &tag, item) != 0 && tag == wanted;
}

}  // namespace

std::size_t EncodeEncryptedPrivateKeyInfo(DERCursor* cursor, const EncryptedKeyInfo* info)
{
    unsigned char oid[kOIDMaxLength];
    std::size_t oidLength = 0;
    if (AlgorithmToOID(info->algorithm, oid, &oidLength) != 0) return 0;
    std::size_t total = PutDERValue(cursor, kTagOctetString, info->ciphertext);
    if (total == 0) return 0;
    std::size_t parameters = 0, n = 0;
    if (!PutDERByte(cursor, static_cast<unsigned char>(info->count)) || !(n = PutDERHeader(cursor, kTagInteger, 1)))
        return 0;
    parameters += 1 + n;
    if (!(n = PutDERValue(cursor, kTagOctetString, ByteBuffer{const_cast<unsigned char*>(info->salt), kPbeSaltLength})))
        return 0;
    parameters += n;
    if (!(n = PutDERHeader(cursor, kTagSequence, parameters))) return 0;
    std::size_t algorithmId = parameters + n;
    if (!(n = PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, oidLength}))) return 0;
    algorithmId += n;
    if (!(n = PutDERHeader(cursor, kTagSequence, algorithmId))) return 0;
    total += algorithmId + n;
    if (!(n = PutDERHeader(cursor, kTagSequence, total))) return 0;
    return total + n;
}

std::size_t DecodeEncryptedPrivateKeyInfo(DERCursor* cursor, EncryptedKeyInfo* info)
{
    std::size_t start = cursor->position, outer = 0, algorithmId = 0, parameters = 0;
    if (!GetSequence(cursor, &outer)) return 0;
    std::size_t body = cursor->position;
    if (!GetSequence(cursor, &algorithmId)) return 0;
    std::size_t algorithmStart = cursor->position;
    ByteBuffer oid = {nullptr, 0}, salt = {nullptr, 0}, count = {nullptr, 0}, ciphertext = {nullptr, 0};
    if (!GetPrimitive(cursor, kTagObjectId, &oid)) return 0;
    int algorithm = OIDToAlgorithm(oid.pointer, oid.length);
    if (algorithm < 0 || !GetSequence(cursor, &parameters)) return 0;
    std::size_t parametersStart = cursor->position;
    if (!GetPrimitive(cursor, kTagOctetString, &salt) || salt.length != kPbeSaltLength) return 0;
    if (!GetPrimitive(cursor, kTagInteger, &count) || count.length != 1) return 0;
    // Each SEQUENCE must hold exactly what was read inside it.
    if (cursor->position - parametersStart != parameters || cursor->position - algorithmStart != algorithmId)
        return 0;
    if (!GetPrimitive(cursor, kTagOctetString, &ciphertext) || ciphertext.length == 0 || ciphertext.length % 8 != 0)
        return 0;
    if (cursor->position - body != outer) return 0;
    info->algorithm = algorithm;
    info->count = count.pointer[0];
    CopyBytes(info->salt, salt.pointer, kPbeSaltLength);
    info->ciphertext = ciphertext;
    return cursor->position - start;
}

int EncryptPrivateKeyInfo(unsigned char* out, std::size_t* outLength, int algorithm, std::uint32_t count,
                          const unsigned char* password, std::size_t passwordLength, const RsaPrivateKey* key)
{
    *outLength = 0;
    KeyBuffer plain, cipher, der;
    DERCursor writer;
    InitDERWriter(&writer, plain.data(), kEncryptedKeyMaxLength);
    std::size_t plainLength = EncodePrivateKeyInfo(&writer, kAlgRsaEncryption, key);
    if (plainLength == 0) return 1;
    EncryptedKeyInfo info = {};
    info.algorithm = algorithm;
    info.count = count;
    info.ciphertext.pointer = cipher.data();
    ByteBuffer plaintext = {plain.data() + writer.position, plainLength};
    if (PbeEncrypt(plaintext, &info.ciphertext, algorithm, count, info.salt, password, passwordLength) == 0) return 1;
    InitDERWriter(&writer, der.data(), kEncryptedKeyMaxLength);
    std::size_t length = EncodeEncryptedPrivateKeyInfo(&writer, &info);
    if (length == 0) return 1;
    CopyBytes(out, der.data() + writer.position, length);
    *outLength = length;
    return 0;
}

int DecryptPrivateKeyInfo(const unsigned char* der, std::size_t derLength, const unsigned char* password,
                          std::size_t passwordLength, RsaPrivateKey* key)
{
    FillBytes(key, 0, sizeof *key);
    if (derLength == 0 || derLength > kEncryptedKeyMaxLength) return 1;
    DERCursor reader;
    InitDERReader(&reader, der, derLength);
    EncryptedKeyInfo info = {};
    if (DecodeEncryptedPrivateKeyInfo(&reader, &info) == 0) return 1;
    KeyBuffer plain;
    ByteBuffer plaintext = {plain.data(), 0};
    if (PbeDecrypt(&plaintext, info.ciphertext, info.algorithm, info.count, info.salt, password, passwordLength) == 0)
        return 1;
    InitDERReader(&reader, plaintext.pointer, plaintext.length);
    int algorithm = -1;
    if (DecodePrivateKeyInfo(&reader, &algorithm, key) == 0 || algorithm != kAlgRsaEncryption) {
        FillBytes(key, 0, sizeof *key);
        return 1;
    }
    return 0;
}
