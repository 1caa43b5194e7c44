// A signedAndEnvelopedData's SignerInfos made into those of a signedData:
// each encryptedDigest decrypted under the content key and IV.
#include "core/cipher/des.h"
#include "core/der/der_builder.h"
#include "core/der/der_reader.h"
#include "core/pkcs7/pkcs7_decode.h"
#include "core/pkcs7/pkcs7_decode_state.h"
#include "core/toolkit/wipe.h"

namespace {

constexpr int kDecryptMode = 3;
constexpr std::size_t kMaxEncryptedDigest = 256 + 8;

struct DigestKey {
    unsigned char key[24] = {};
    std::size_t keyLength = 0;
    unsigned char iv[8] = {};
    ~DigestKey()
    {
        FillBytes(key, 0, sizeof key);
        FillBytes(iv, 0, sizeof iv);
    }
};

bool TakeKey(const DataSets* sets, int contentCipher, DigestKey* key)
{
    const unsigned char *k = nullptr, *iv = nullptr;
    std::size_t kLength = 0, ivLength = 0;
    std::uint32_t count = 0;
    if (CountDataItems(sets, kSlotContentKey, &count) != kDataSetsOk || count != 2 ||
        GetDataItem(sets, kSlotContentKey, 1, &k, &kLength) != kDataSetsOk ||
        GetDataItem(sets, kSlotContentKey, 2, &iv, &ivLength) != kDataSetsOk || ivLength != 8)
        return false;
    // DES for DES and for RC4 (whose digests go under DES), triple DES for triple DES.
    const std::size_t wanted = contentCipher == kCipherTripleDes ? 24 : 8;
    if (kLength != wanted) return false;
    CopyBytes(key->key, k, kLength);
    key->keyLength = kLength;
    CopyBytes(key->iv, iv, 8);
    return true;
}

bool Decrypt(const DigestKey& key, const ByteBuffer& in, unsigned char* out, std::size_t* length)
{
    if (in.length == 0 || in.length % 8 != 0 || in.length > kMaxEncryptedDigest) return false;
    int result;
    if (key.keyLength == 8) {
        DesCbcContext des;
        ScopedWipe wipe{&des, sizeof des};
        InitDesCbc(&des, key.key, key.iv, 0);
        result = UpdateDesCbc(&des, out, in.pointer, in.length);
    } else {
        Des3CbcContext des3;
        ScopedWipe wipe{&des3, sizeof des3};
        InitDes3Cbc(&des3, key.key, key.iv, 0);
        result = UpdateDes3Cbc(&des3, out, in.pointer, in.length);
    }
    *length = in.length;
    return result == 0 && pkcs7_decode::RemoveBlockPadding(out, length);
}

// The record again with its encryptedDigest (its one top-level OCTET
// STRING) replaced; the other fields are kept byte for byte.
bool Rewrite(const DigestKey& key, const ByteBuffer& record, unsigned char* buffer, std::size_t size,
             ByteBuffer* rewritten)
{
    using namespace der_reader;
    DERCursor outer = Inside(record), inner;
    if (!Enter(&outer, kTagSequence, &inner) || !AtEnd(outer)) return false;
    const unsigned char* start = inner.buffer;
    der_reader::Element element;
    while (ReadAny(&inner, &element) && element.whole.pointer[0] != 0x04) {
    }
    if (element.whole.pointer == nullptr || element.whole.pointer[0] != 0x04) return false;
    unsigned char plain[kMaxEncryptedDigest];
    ScopedWipe wipe{plain, sizeof plain};
    std::size_t plainLength = 0;
    if (!Decrypt(key, element.content, plain, &plainLength)) return false;

    DERBuilder builder;
    InitDERBuilder(&builder, buffer, size);
    const std::uint64_t mark = DERBuilderMark(&builder);
    const ByteBuffer rest = TakeRest(&inner);
    if (rest.length) BuildDERBytes(&builder, rest);
    BuildDERPrimitive(&builder, kTagOctetString, ByteBuffer{plain, plainLength});
    const std::size_t prefix = static_cast<std::size_t>(element.whole.pointer - start);
    if (prefix) BuildDERBytes(&builder, ByteBuffer{const_cast<unsigned char*>(start), prefix});
    CloseDER(&builder, kTagSequence, mark);
    if (builder.status != kDERBuildOk) return false;
    *rewritten = DERBuilderWritten(&builder);
    return true;
}

}  // namespace

Pkcs7Result DecryptSignerInfos(int mode, DataSets* sets, DERCursor* cursor, int contentCipher)
{
    (void)cursor;
    if (mode != kDecryptMode) return Pkcs7Result::BadStructure;
    std::uint32_t count = 0;
    if (CountDataItems(sets, kSlotSignerInfos, &count) != kDataSetsOk) return Pkcs7Result::NoMemory;
    DigestKey key;
    if (!TakeKey(sets, contentCipher, &key)) return Pkcs7Result::BadStructure;
    unsigned char buffer[kPkcs7RecordBufferSize];
    // The rewritten records go after the originals, which go only when all are done.
    for (std::uint32_t item = 1; item <= count; ++item) {
        const unsigned char* data = nullptr;
        std::size_t length = 0;
        ByteBuffer rewritten;
        if (GetDataItem(sets, kSlotSignerInfos, item, &data, &length) != kDataSetsOk ||
            !Rewrite(key, ByteBuffer{const_cast<unsigned char*>(data), length}, buffer, sizeof buffer, &rewritten) ||
            AddDataItem(sets, kSlotSignerInfos, rewritten.pointer, rewritten.length) != kDataSetsOk) {
            for (std::uint32_t added = item - 1; added > 0; --added) DeleteDataItem(sets, kSlotSignerInfos, count + added);
            return Pkcs7Result::BadStructure;
        }
    }
    for (std::uint32_t item = 0; item < count; ++item) DeleteDataItem(sets, kSlotSignerInfos, 1);
    ClearDataSet(sets, kSlotRecipientInfos);
    ClearDataSet(sets, kSlotContentKey);
    ClearDataSet(sets, kSlotRecipientCertificates);
    return Pkcs7Result::Done;
}
