#include "ocsp/protocol/request_builder.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/pkcs8/encrypted_key.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/rsa/random.h"
#include "core/rsa/rsa_key.h"
#include "core/toolkit/wipe.h"
#include "ocsp/protocol/ocsp_request_codec.h"
#include "ocsp/protocol/ocsp_set_items.h"

namespace {

void Diagnose(const char* text) { std::fputs(text, stdout); }

}  // namespace

int ComputeCertIDHashes(DataSets* requestSets, std::uint32_t digestType, std::uint32_t count)
{
    if (digestType != kDigestSha1 || count == 0) return 0;
    for (std::uint32_t position = 1; position <= count; ++position) {
        ByteBuffer name, key;
        unsigned char nameHash[kMaxDigestLength], keyHash[kMaxDigestLength];
        std::size_t nameLength = 0, keyLength = 0;
        if (!ocsp_items::Get(requestSets, kSlotTargetIssuerName, position, &name) ||
            !ocsp_items::Get(requestSets, kSlotIssuerKey, position, &key) ||
            DigestDataBlock(nameHash, &nameLength, name.pointer, name.length, digestType) != 0 ||
            DigestDataBlock(keyHash, &keyLength, key.pointer, key.length, digestType) != 0 ||
            AddDataItem(requestSets, kSlotKeyHash, keyHash, keyLength) != 0 ||
            AddDataItem(requestSets, kSlotNameHash, nameHash, nameLength) != 0)
            return 0;
    }
    return 1;
}

int GenerateNonce(ByteBuffer* nonce)
{
    *nonce = ByteBuffer{nullptr, 0};
    RandomGenerator generator;
    ScopedWipe wipe{&generator, sizeof generator};
    // Clock samples alone are guessable; the seeding ends with system entropy.
    SeedRandomFromClock(&generator);
    unsigned char bytes[kOCSPNonceLength];
    if (GenerateRandomBytes(bytes, sizeof bytes, &generator) != 0) return 0;
    unsigned char* copy = CopyToCString(bytes, sizeof bytes);
    if (!copy) return 0;
    *nonce = ByteBuffer{copy, sizeof bytes};
    return 1;
}

int SignWithStoredKey(const unsigned char* data, std::size_t dataLength, unsigned char* signature,
                      std::size_t* signatureLength, const DataSets* userSets, int algorithm, int keyArgument)
{
    if (keyArgument != 0) return 0;
    ByteBuffer encryptedKey, password;
    if (!ocsp_items::Get(userSets, kSlotUserPrivateKey, 1, &encryptedKey)) {
        Diagnose("error sacando llave del firmante\n");
        return 0;
    }
    if (!ocsp_items::Get(userSets, kSlotUserPassword, 1, &password)) {
        Diagnose("error sacando el password\n");
        return 0;
    }
    RsaPrivateKey key;
    ScopedWipe wipeKey{&key, sizeof key};
    if (DecryptPrivateKeyInfo(encryptedKey.pointer, encryptedKey.length, password.pointer, password.length, &key) !=
        0) {
        Diagnose("error desencriptando llave\n");
        return 0;
    }
    DigestInfoWork work;
    ScopedWipe wipeWork{&work, sizeof work};
    if (SignDigestInfo(&work, algorithm, data, dataLength, &key, signature, signatureLength) == 0 ||
        *signatureLength > kOCSPMaxSignatureLength) {
        Diagnose("error firmando bloque \n");
        return 0;
    }
    return 1;
}

int BuildOCSPRequest(int sign, int useNonce, const ByteBuffer& nonce, const ByteBuffer& requestorName,
                     std::uint32_t digestType, int signatureAlgorithm, const DataSets* userSets,
                     DataSets* requestSets, unsigned char* output, std::size_t outputSize,
                     std::size_t* outputLength, int keyArgument, SignCallback callback)
{
    std::uint32_t count = 0;
    if (CountDataItems(requestSets, kSlotTargetSerial, &count) != 0 || count == 0) return 0;
    // Hashes of an earlier encoding would stand before these and be read
    // in their place.
    ClearDataSet(requestSets, kSlotNameHash);
    ClearDataSet(requestSets, kSlotKeyHash);
    if (!ComputeCertIDHashes(requestSets, digestType, count)) return 0;

    ByteBuffer certificates[kOCSPMaxCertificates] = {};
    std::size_t certificateCount = 0;
    if (sign == 1 && (!userSets || !callback ||
                      !ocsp_items::GetAll(userSets, kSlotUserCertificates, certificates, &certificateCount) ||
                      certificateCount == 0)) {
        Diagnose("error leyendo certif cliente\n");
        return 0;
    }

    std::vector<unsigned char> tbsBuffer(kOCSPWorkBufferSize);
    DERCursor cursor;
    InitDERWriter(&cursor, tbsBuffer.data(), tbsBuffer.size());
    std::size_t extensionLength = 0;
    if (useNonce == 1 && nonce.pointer && nonce.length) {
        extensionLength = EncodeOCSPNonceExtension(&cursor, nonce);
        if (!extensionLength) return 0;
    }
    std::size_t entriesLength = 0;
    for (std::uint32_t position = count; position >= 1; --position) {
        ByteBuffer serial, nameHash, keyHash;
        std::size_t written = 0;
        if (!ocsp_items::Get(requestSets, kSlotTargetSerial, position, &serial) ||
            !ocsp_items::Get(requestSets, kSlotNameHash, position, &nameHash) ||
            !ocsp_items::Get(requestSets, kSlotKeyHash, position, &keyHash) ||
            (written = EncodeOCSPRequestEntry(&cursor, serial, static_cast<int>(digestType), nameHash, keyHash)) == 0)
            return 0;
        entriesLength += written;
    }
    const ByteBuffer noName{nullptr, 0};
    const std::size_t tbsLength =
        EncodeTBSRequest(&cursor, entriesLength, extensionLength, sign == 1 ? requestorName : noName);
    if (!tbsLength) return 0;
    const ByteBuffer tbs{tbsBuffer.data() + cursor.position, tbsLength};

    std::vector<unsigned char> messageBuffer(kOCSPWorkBufferSize);
    InitDERWriter(&cursor, messageBuffer.data(), messageBuffer.size());
    std::size_t signatureElementLength = 0;
    if (sign == 1) {
        unsigned char signature[kOCSPMaxSignatureLength];
        std::size_t signatureLength = 0;
        if (!callback(tbs.pointer, tbs.length, signature, &signatureLength, userSets, signatureAlgorithm,
                      keyArgument) ||
            signatureLength == 0 || signatureLength > sizeof signature) {
            Diagnose("error generando la firma de la peticion");
            return 0;
        }
        signatureElementLength = EncodeOCSPSignature(&cursor, signatureAlgorithm,
                                                     ByteBuffer{signature, signatureLength}, certificates,
                                                     certificateCount);
        if (!signatureElementLength) {
            Diagnose("error codificando firma\n");
            return 0;
        }
    }
    const std::size_t requestLength = EncodeOCSPRequestMessage(&cursor, sign == 1 ? 1 : 0, signatureElementLength, tbs);
    if (!requestLength || requestLength > outputSize || !output) return 0;
    CopyBytes(output, messageBuffer.data() + cursor.position, requestLength);
    *outputLength = requestLength;
    return 1;
}
