#include "core/pkcs7/pkcs7_signer_info_crypt.h"

#include <vector>

#include "core/der/der_builder.h"
#include "core/der/der_reader.h"
#include "core/pkcs7/pkcs7_content_encryptor.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "core/rsa/rsa_key.h"
#include "core/toolkit/wipe.h"

using namespace der_reader;

bool ReplaceSignerInfoDigest(const ByteBuffer& signerInfo, const ByteBuffer& encryptedDigest,
                             unsigned char* buffer, std::size_t size, ByteBuffer* rewritten)
{
    Pkcs7SignerInfo info;
    if (!ReadPkcs7SignerInfo(signerInfo, &info)) return false;
    DERCursor whole = Inside(signerInfo), fields;
    if (!Enter(&whole, kTagSequence, &fields)) return false;
    std::vector<ByteBuffer> elements;
    std::size_t digestIndex = 0;
    for (Element element; ReadAny(&fields, &element);) {
        if (element.content.pointer == info.signatureValue.pointer) digestIndex = elements.size();
        elements.push_back(element.whole);
    }
    if (digestIndex == 0) return false;
    DERBuilder b;
    InitDERBuilder(&b, buffer, size);
    for (std::size_t i = elements.size(); i-- > 0;) {
        if (i == digestIndex)
            BuildDERPrimitive(&b, kTagOctetString, encryptedDigest);
        else
            BuildDERBytes(&b, elements[i]);
    }
    CloseDER(&b, kTagSequence, 0);
    if (b.status != kDERBuildOk) return false;
    *rewritten = DERBuilderWritten(&b);
    return true;
}

Pkcs7Result EncryptSignerInfos(int mode, DataSets* sets, DERCursor* cursor, int contentCipher)
{
    (void)cursor;
    if (mode != kSignerInfosEncrypt) return Pkcs7Result::BadStructure;
    Pkcs7ContentKey key;
    key.cipher = Pkcs7CipherOf(contentCipher);
    key.keyLength = key.cipher == kCipherTripleDes ? kPkcs7TripleDesKeySize : kPkcs7DesKeySize;
    unsigned char drawn[kPkcs7TripleDesKeySize + kPkcs7IvSize];
    ScopedWipe wipe{drawn, sizeof drawn};
    const bool ok = key.cipher == kCipherTripleDes ? GenerateTripleDesKeyAndIV(drawn) : GenerateDesKeyAndIV(drawn);
    if (!ok) return Pkcs7Result::BadStructure;
    CopyBytes(key.key, drawn, key.keyLength);
    CopyBytes(key.iv, drawn + key.keyLength, kPkcs7IvSize);

    // Every record is rewritten before slot 0 changes.
    std::vector<std::vector<unsigned char>> records;
    std::vector<unsigned char> buffer(kPkcs7RecordBufferSize);
    for (const DataItem* item = sets->slots[kSlotSignerInfos].head; item; item = item->next) {
        const ByteBuffer signerInfo{item->data, item->length};
        Pkcs7SignerInfo info;
        unsigned char sealed[kRsaMaxModulusBytes + kPkcs7IvSize];
        std::size_t sealedLength = 0;
        ByteBuffer rewritten;
        if (!ReadPkcs7SignerInfo(signerInfo, &info) || info.signatureValue.length > kRsaMaxModulusBytes ||
            !EncryptSignerDigest(key, info.signatureValue.pointer, info.signatureValue.length, sealed,
                                 &sealedLength) ||
            !ReplaceSignerInfoDigest(signerInfo, ByteBuffer{sealed, sealedLength}, buffer.data(), buffer.size(),
                                     &rewritten))
            return Pkcs7Result::BadStructure;
        records.emplace_back(rewritten.pointer, rewritten.pointer + rewritten.length);
    }
    ClearDataSet(sets, kSlotContentKey);
    if (AddDataItem(sets, kSlotContentKey, key.key, key.keyLength) != kDataSetsOk ||
        AddDataItem(sets, kSlotContentKey, key.iv, kPkcs7IvSize) != kDataSetsOk) {
        ClearDataSet(sets, kSlotContentKey);
        return Pkcs7Result::NoMemory;
    }
    // The rewritten records go after the old ones, which leave once all are in.
    const std::uint32_t old = static_cast<std::uint32_t>(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (AddDataItem(sets, kSlotSignerInfos, records[i].data(), records[i].size()) != kDataSetsOk) {
            for (std::size_t added = 0; added < i; ++added) DeleteDataItem(sets, kSlotSignerInfos, old + 1);
            return Pkcs7Result::BadStructure;
        }
    }
    for (std::uint32_t k = 0; k < old; ++k) DeleteDataItem(sets, kSlotSignerInfos, 1);
    return Pkcs7Result::Done;
}
