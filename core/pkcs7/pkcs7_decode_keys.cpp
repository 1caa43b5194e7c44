// Content-key recovery: the RecipientInfos, the own key that unwraps one of
// them, and the encryptedContentInfo whose cipher the key must fit.
#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/pkcs7/pkcs7_decode_state.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "core/pkcs8/encrypted_key.h"
#include "core/rsa/rsa.h"
#include "core/toolkit/wipe.h"

namespace pkcs7_decode {
namespace {

constexpr unsigned char kSet = 0x31, kSequence = 0x30;

// The own key of slots 12 and 13 (the password stored with its NUL).
bool DecryptOwnKey(const DataSets* sets, RsaPrivateKey* key)
{
    const unsigned char *der = nullptr, *password = nullptr;
    std::size_t derLength = 0, passwordLength = 0;
    if (GetDataItem(sets, kSlotOwnKey, 1, &der, &derLength) != kDataSetsOk ||
        GetDataItem(sets, kSlotOwnPassword, 1, &password, &passwordLength) != kDataSetsOk)
        return false;
    if (password[passwordLength - 1] == 0) --passwordLength;
    return DecryptPrivateKeyInfo(der, derLength, password, passwordLength, key) == 0;
}

bool TransportLengthKnown(std::size_t length)
{
    return length == 5 || length == 8 || length == 16 || length == 24 || length == 32;
}

// A key-transport record for RSA; its view points into slot 2.
bool UsableRecipient(const DataSets* sets, std::uint32_t item, Pkcs7RecipientInfo* info)
{
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    if (GetDataItem(sets, kSlotRecipientInfos, item, &data, &length) != kDataSetsOk) return false;
    if (!ReadPkcs7RecipientInfo(ByteBuffer{const_cast<unsigned char*>(data), length}, info)) return false;
    if (!info->keyTransport || info->recipient.byKeyId) return false;
    return OIDToAlgorithm(info->keyAlgorithm.oid.pointer, info->keyAlgorithm.oid.length) == kAlgRsaEncryption;
}

bool Unwrap(DecodeState* state, const Pkcs7RecipientInfo& info, const RsaPrivateKey* key)
{
    if (info.encryptedKey.length > kRsaMaxModulusBytes) return false;
    unsigned char out[kRsaMaxModulusBytes];
    ScopedWipe wipe{out, sizeof out};
    std::size_t length = 0;
    // One answer for a failed unwrap and an unexpected length: no oracle.
    if (DecryptRsaPrivate(out, &length, info.encryptedKey.pointer, info.encryptedKey.length, key) != 0 ||
        !TransportLengthKnown(length))
        return false;
    CopyBytes(state->transported, out, length);
    state->transportedLength = length;
    return true;
}

// The record naming our certificate (slot 14) when there is one, else 0.
std::uint32_t OwnRecipient(const DataSets* sets, std::uint32_t count)
{
    const unsigned char* own = nullptr;
    std::size_t ownLength = 0;
    IssuerSerial ours;
    if (GetDataItem(sets, kSlotOwnCertificate, 1, &own, &ownLength) != kDataSetsOk ||
        !CertificateIssuerSerial(ByteBuffer{const_cast<unsigned char*>(own), ownLength}, &ours))
        return 0;
    for (std::uint32_t item = 1; item <= count; ++item) {
        Pkcs7RecipientInfo info;
        if (UsableRecipient(sets, item, &info) &&
            SameIssuerSerial(ours, info.recipient.issuer, info.recipient.serial))
            return item;
    }
    return 0;
}

Pkcs7Result RecoverKey(DecodeState* state, std::uint32_t count, const RsaPrivateKey* key)
{
    std::uint32_t first = 1, last = count;
    if (std::uint32_t own = OwnRecipient(state->sets, count)) first = last = own;
    for (std::uint32_t item = first; item <= last; ++item) {
        Pkcs7RecipientInfo info;
        if (UsableRecipient(state->sets, item, &info) && Unwrap(state, info, key)) return Pkcs7Result::Done;
    }
    return Pkcs7Result::KeyUnusable;
}

// The content cipher's AlgorithmIdentifier: its code and IV, when one is carried.
bool ReadContentAlgorithm(const ByteBuffer& element, DecodeState* state, int* cipher)
{
    using namespace der_reader;
    DERCursor outer = Inside(element), inner;
    Pkcs7Algorithm algorithm;
    if (!ReadPkcs7Algorithm(&outer, &algorithm) || !AtEnd(outer)) return false;
    switch (OIDToAlgorithm(algorithm.oid.pointer, algorithm.oid.length)) {
    case kAlgDesCbc: *cipher = kCipherDes; break;
    case kAlgRc4: *cipher = kCipherRc4; break;
    case kAlgDesEde3Cbc: *cipher = kCipherTripleDes; break;
    default: return false;
    }
    if (algorithm.parameters.length == 0 || Pkcs7NoParameters(algorithm)) return true;
    inner = Inside(algorithm.parameters);
    ByteBuffer iv;
    if (!ReadExpected(&inner, kTagOctetString, &iv) || !AtEnd(inner)) return false;
    // RC4 parameters may be an empty OCTET STRING.
    if (iv.length == 0 && *cipher == kCipherRc4) return true;
    if (iv.length != 8) return false;
    CopyBytes(state->iv, iv.pointer, 8);
    state->haveIv = true;
    return true;
}

// Checks the transported key against the cipher and stores it in slot 3 as
// key and IV: the form the encoder takes back when it re-encodes.
Pkcs7Result StoreContentKey(DecodeState* state, int cipher)
{
    const std::size_t length = state->transportedLength;
    const bool fits = (cipher == kCipherDes && (length == 8 || length == 16)) ||
                      (cipher == kCipherTripleDes && (length == 24 || length == 32)) ||
                      (cipher == kCipherRc4 && (length == 16 || length == 5));
    if (!fits) return Pkcs7Result::KeyUnusable;
    std::size_t keyLength = length;
    if (cipher != kCipherRc4 && (length == 16 || length == 32)) {
        keyLength = length - 8;
        // The IV on the wire is what the content was encrypted under.
        if (!state->haveIv) CopyBytes(state->iv, state->transported + keyLength, 8);
        state->haveIv = true;
    }
    if (cipher != kCipherRc4 && !state->haveIv) return Pkcs7Result::BadStructure;
    DataSets* sets = state->sets;
    if (cipher == kCipherRc4 && length == 16) {
        // Our RC4 key is a DES key and IV made together: kept as that pair.
        if (AddDataItem(sets, kSlotContentKey, state->transported, 8) != kDataSetsOk ||
            AddDataItem(sets, kSlotContentKey, state->transported + 8, 8) != kDataSetsOk)
            return Pkcs7Result::NoMemory;
        return Pkcs7Result::Done;
    }
    if (AddDataItem(sets, kSlotContentKey, state->transported, keyLength) != kDataSetsOk) return Pkcs7Result::NoMemory;
    if (state->haveIv && AddDataItem(sets, kSlotContentKey, state->iv, 8) != kDataSetsOk) return Pkcs7Result::NoMemory;
    return Pkcs7Result::Done;
}

}  // namespace

Pkcs7Result ReadRecipientInfos(DecodeState* state)
{
    Header set;
    if (!ReadExpectedHeader(&state->reader, state->bodyEnd, kSet, &set)) return Pkcs7Result::BadStructure;
    RsaPrivateKey key;
    ScopedWipe wipeKey{&key, sizeof key};
    if (!state->keyless && !DecryptOwnKey(state->sets, &key)) return Pkcs7Result::KeyUnusable;
    std::uint32_t count = 0;
    while (state->reader.position < set.end) {
        ByteBuffer record;
        if (!ReadRecord(&state->reader, set.end, state->chunk, &record)) return Pkcs7Result::BadStructure;
        Pkcs7RecipientInfo info;
        if (!ReadPkcs7RecipientInfo(record, &info)) return Pkcs7Result::BadStructure;
        if (AddDataItem(state->sets, kSlotRecipientInfos, record.pointer, record.length) != kDataSetsOk)
            return Pkcs7Result::NoMemory;
        ++count;
    }
    if (state->keyless) return Pkcs7Result::Done;
    return RecoverKey(state, count, &key);
}

Pkcs7Result ReadEncryptedContentInfo(DecodeState* state, std::uint64_t* infoEnd)
{
    MessageReader* reader = &state->reader;
    Header info, oid, content;
    if (!ReadExpectedHeader(reader, state->bodyEnd, kSequence, &info) ||
        !ReadExpectedHeader(reader, info.end, 0x06, &oid) || oid.length > sizeof state->innerOid ||
        !ReadBytes(reader, state->innerOid, oid.length))
        return Pkcs7Result::BadStructure;
    state->innerOidLength = oid.length;
    ByteBuffer algorithm;
    int cipher = kCipherNotSet;
    if (!ReadRecord(reader, info.end, state->chunk, &algorithm) || !ReadContentAlgorithm(algorithm, state, &cipher))
        return Pkcs7Result::BadStructure;
    *state->contentCipher = cipher;
    // [0] IMPLICIT OCTET STRING, or [0] holding one OCTET STRING.
    if (!ReadHeader(reader, info.end, &content)) return Pkcs7Result::BadStructure;
    if (content.identifier == 0xA0) {
        const std::uint64_t wrapperEnd = content.end;
        if (!ReadExpectedHeader(reader, wrapperEnd, 0x04, &content) || content.end != wrapperEnd)
            return Pkcs7Result::BadStructure;
    } else if (content.identifier != 0x80) {
        return Pkcs7Result::BadStructure;
    }
    if (content.end != info.end) return Pkcs7Result::BadStructure;
    state->contentLength = content.length;
    *infoEnd = info.end;
    if (*state->outerType == kOuterEncrypted) return Pkcs7Result::Done;
    if (state->keyless) {
        // The marker of a key-less opening, and the IV the re-encoding writes again.
        if (AddDataItem(state->sets, kSlotContentKey, "X", 1) != kDataSetsOk ||
            (state->haveIv && AddDataItem(state->sets, kSlotContentKey, state->iv, 8) != kDataSetsOk))
            return Pkcs7Result::NoMemory;
        return Pkcs7Result::Done;
    }
    return StoreContentKey(state, cipher);
}

}  // namespace pkcs7_decode
