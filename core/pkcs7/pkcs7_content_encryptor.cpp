#include "core/pkcs7/pkcs7_content_encryptor.h"

#include "core/der/der.h"
#include "core/der/oid.h"
#include "core/toolkit/wipe.h"

namespace {

const unsigned char kKeylessMarker = 'X';

int AlgorithmOf(int cipher)
{
    return cipher == kCipherDes ? kAlgDesCbc : cipher == kCipherRc4 ? kAlgRc4 : kAlgDesEde3Cbc;
}

// The CBC cipher under the content key: DES for DES and RC4 messages.
std::uint32_t CbcCipherOf(const Pkcs7ContentKey& key)
{
    return key.keyLength == kPkcs7TripleDesKeySize ? kCipherDes3EdeCbc : kCipherDesCbc;
}

bool Item(const DataSets* sets, std::uint32_t number, const unsigned char** data, std::size_t* length)
{
    return GetDataItem(sets, kSlotContentKey, number, data, length) == kDataSetsOk;
}

}  // namespace

Pkcs7ContentKey::~Pkcs7ContentKey()
{
    FillBytes(key, 0, sizeof key);
    FillBytes(iv, 0, sizeof iv);
}

int Pkcs7CipherOf(int requested) { return requested < kCipherDes || requested > kCipherTripleDes ? kCipherTripleDes : requested; }

Pkcs7Result TakeContentKey(const DataSets* sets, int cipher, Pkcs7ContentKey* key)
{
    key->cipher = cipher;
    key->keyLength = cipher == kCipherTripleDes ? kPkcs7TripleDesKeySize : kPkcs7DesKeySize;
    std::uint32_t items = 0, recipients = 0;
    if (CountDataItems(sets, kSlotContentKey, &items) != kDataSetsOk ||
        CountDataItems(sets, kSlotRecipientInfos, &recipients) != kDataSetsOk)
        return Pkcs7Result::BadSlots;
    if (items == 0) {
        unsigned char drawn[kPkcs7TripleDesKeySize + kPkcs7IvSize];
        ScopedWipe wipe{drawn, sizeof drawn};
        const bool ok = cipher == kCipherTripleDes ? GenerateTripleDesKeyAndIV(drawn) : GenerateDesKeyAndIV(drawn);
        if (!ok) return Pkcs7Result::CipherFailed;
        CopyBytes(key->key, drawn, key->keyLength);
        CopyBytes(key->iv, drawn + key->keyLength, kPkcs7IvSize);
        return Pkcs7Result::Done;
    }
    const unsigned char* first = nullptr;
    std::size_t firstLength = 0;
    if (!Item(sets, 1, &first, &firstLength)) return Pkcs7Result::BadSlots;
    // A key-less opening leaves its marker, and the IV of a CBC cipher.
    if (firstLength == 1 && first[0] == kKeylessMarker && recipients > 0) {
        key->keyless = true;
        key->keyLength = 0;
        if (cipher == kCipherRc4 && items == 1) return Pkcs7Result::Done;
    }
    const unsigned char* iv = nullptr;
    std::size_t ivLength = 0;
    if (items != 2 || !Item(sets, 2, &iv, &ivLength) || ivLength != kPkcs7IvSize) return Pkcs7Result::BadSlots;
    CopyBytes(key->iv, iv, kPkcs7IvSize);
    if (key->keyless) return Pkcs7Result::Done;
    if (firstLength != key->keyLength) return Pkcs7Result::BadSlots;
    CopyBytes(key->key, first, firstLength);
    return Pkcs7Result::Done;
}

std::size_t TransportedKey(const Pkcs7ContentKey& key, unsigned char out[kPkcs7TripleDesKeySize])
{
    CopyBytes(out, key.key, key.keyLength);
    if (key.cipher != kCipherRc4) return key.keyLength;
    CopyBytes(out + key.keyLength, key.iv, kPkcs7IvSize);
    return kPkcs7Rc4KeySize;
}

std::size_t EncodeContentCipherId(DERCursor* cursor, const Pkcs7ContentKey& key)
{
    // RC4 carries no salt: an empty OCTET STRING, as other producers write it.
    if (key.cipher == kCipherRc4) return EncodeAlgorithmIdParams(cursor, kAlgRc4, nullptr, 0);
    return EncodeAlgorithmIdParams(cursor, AlgorithmOf(key.cipher), key.iv, kPkcs7IvSize);
}

std::uint64_t EncryptedContentLength(const Pkcs7ContentKey& key, std::uint64_t length)
{
    if (key.keyless || key.cipher == kCipherRc4) return length;
    return length + (kDesBlockSize - length % kDesBlockSize);
}

ContentEncryptor::ContentEncryptor(const Pkcs7ContentKey& key)
    : passThrough_(key.keyless), rc4_(key.cipher == kCipherRc4), cbc_{}, rc4Context_{}
{
    if (passThrough_) return;
    if (rc4_) {
        unsigned char rc4Key[kPkcs7Rc4KeySize];
        ScopedWipe wipe{rc4Key, sizeof rc4Key};
        TransportedKey(key, rc4Key);
        InitRc4(&rc4Context_, rc4Key, sizeof rc4Key);
        return;
    }
    cbc_.pendingCount = 0;
    InitCipher(&cbc_, CbcCipherOf(key), key.key, key.iv, 1);
}

ContentEncryptor::~ContentEncryptor()
{
    FillBytes(&cbc_, 0, sizeof cbc_);
    FillBytes(&rc4Context_, 0, sizeof rc4Context_);
}

bool ContentEncryptor::Update(const unsigned char* in, std::size_t length, unsigned char* out,
                              std::size_t outCapacity, std::size_t* outLength)
{
    if (passThrough_ || rc4_) {
        if (length > outCapacity) return false;
        if (passThrough_)
            CopyBytes(out, in, length);
        else
            CryptRc4Copy(&rc4Context_, out, in, length);
        *outLength = length;
        return true;
    }
    return UpdateSeal(&cbc_, out, outCapacity, outLength, in, length) == 0;
}

bool ContentEncryptor::Final(unsigned char out[8], std::size_t* outLength)
{
    *outLength = 0;
    if (passThrough_ || rc4_) return true;
    return FinalSeal(&cbc_, out, outLength) == 0;
}

bool EncryptSignerDigest(const Pkcs7ContentKey& key, const unsigned char* digest, std::size_t length,
                         unsigned char* out, std::size_t* outLength)
{
    CipherContext context{};
    context.pendingCount = 0;
    if (InitCipher(&context, CbcCipherOf(key), key.key, key.iv, 1) != 0) return false;
    std::size_t head = 0, tail = 0;
    const bool ok = UpdateSeal(&context, out, length + kDesBlockSize, &head, digest, length) == 0 &&
                    FinalSeal(&context, out + head, &tail) == 0;
    FillBytes(&context, 0, sizeof context);
    *outLength = head + tail;
    return ok;
}
