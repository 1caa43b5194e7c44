// Signatures: the digest algorithms listed, the carried certificates and
// every SignerInfo, each checked with its own digest algorithm against the
// certificate named by its issuer and serial number.
#include "core/cipher/des.h"
#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/pkcs7/pkcs7_decode_state.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "core/rsa/rsa.h"
#include "core/toolkit/wipe.h"
#include "core/x509/certificate.h"

namespace pkcs7_decode {
namespace {

constexpr unsigned char kSet = 0x31;
constexpr std::size_t kMaxEncryptedDigest = 256;

bool SupportedDigest(int code)
{
    return code == kDigestMd2 || code == kDigestMd4 || code == kDigestMd5 || code == kDigestSha1;
}

std::size_t DigestLength(std::uint32_t type) { return type == kDigestSha1 ? 20 : 16; }

bool SignatureAlgorithmFits(int code, std::uint32_t digestType)
{
    switch (code) {
    case kAlgRsaEncryption: return true;
    case kAlgMD2WithRsa: return digestType == kDigestMd2;
    case kAlgMD4WithRsa: return digestType == kDigestMd4;
    case kAlgMD5WithRsa: return digestType == kDigestMd5;
    case kAlgSHA1WithRsa: return digestType == kDigestSha1;
    default: return false;
    }
}

// The certificate the SignerInfo names, by issuer and serial number.
const CarriedSigner* FindSigner(const DecodeState& state, const Pkcs7SignerInfo& info)
{
    for (std::size_t i = 0; i < state.signerCount; ++i) {
        const unsigned char* der = nullptr;
        std::size_t length = 0;
        IssuerSerial names;
        if (GetDataItem(state.sets, kSlotCarriedCertificates, state.signers[i].item, &der, &length) == kDataSetsOk &&
            CertificateIssuerSerial(ByteBuffer{const_cast<unsigned char*>(der), length}, &names) &&
            SameIssuerSerial(names, info.signer.issuer, info.signer.serial))
            return &state.signers[i];
    }
    return nullptr;
}

// A signedAndEnvelopedData's encryptedDigest: DES-CBC under the first and
// last 8 bytes of a 16-byte transported key (so RC4 content never shares its
// keystream), else the content's block cipher with its key and IV.
bool DecryptDigest(const DecodeState& state, const ByteBuffer& encrypted, unsigned char* out, std::size_t* length)
{
    if (encrypted.length == 0 || encrypted.length % 8 != 0 || encrypted.length > kMaxEncryptedDigest + 8)
        return false;
    const int cipher = *state.contentCipher;
    int result = 1;
    if (state.transportedLength == 16) {
        DesCbcContext des;
        ScopedWipe wipe{&des, sizeof des};
        InitDesCbc(&des, state.transported, state.transported + 8, 0);
        result = UpdateDesCbc(&des, out, encrypted.pointer, encrypted.length);
    } else if (cipher == kCipherDes) {
        DesCbcContext des;
        ScopedWipe wipe{&des, sizeof des};
        InitDesCbc(&des, state.transported, state.iv, 0);
        result = UpdateDesCbc(&des, out, encrypted.pointer, encrypted.length);
    } else if (cipher == kCipherTripleDes) {
        Des3CbcContext des3;
        ScopedWipe wipe{&des3, sizeof des3};
        InitDes3Cbc(&des3, state.transported, state.iv, 0);
        result = UpdateDes3Cbc(&des3, out, encrypted.pointer, encrypted.length);
    }
    *length = encrypted.length;
    return result == 0 && RemoveBlockPadding(out, length);
}

// The digest the signature covers: the content digest, or with attributes
// the digest of their SET form, once they are checked against the content.
Pkcs7Result SignedDigest(const DecodeState& state, const Pkcs7SignerInfo& info, std::uint32_t type,
                         unsigned char* digest)
{
    const unsigned char* content = ContentDigest(&state, type);
    if (!content) return Pkcs7Result::BadStructure;
    const std::size_t length = DigestLength(type);
    if (info.signedAttributes.length == 0) {
        CopyBytes(digest, content, length);
        return Pkcs7Result::Done;
    }
    Pkcs7SignedAttributes attributes;
    if (ReadPkcs7SignedAttributes(info.signedAttributes, &attributes) != Pkcs7AttributesResult::Ok ||
        !attributes.hasMessageDigest || !attributes.hasContentType)
        return Pkcs7Result::BadStructure;
    if (attributes.messageDigest.length != length ||
        CompareBytes(attributes.messageDigest.pointer, content, length) != 0 ||
        attributes.contentType.length != state.innerOidLength ||
        CompareBytes(attributes.contentType.pointer, state.innerOid, state.innerOidLength) != 0)
        return Pkcs7Result::DigestMismatch;
    // The signature covers the attributes with a SET tag in place of [0].
    DigestContext context;
    ScopedWipe wipe{&context, sizeof context};
    const unsigned char setTag = 0x31;
    std::size_t out = 0;
    InitDigest(&context, type);
    UpdateDigest(&context, &setTag, 1);
    UpdateDigest(&context, info.signedAttributes.pointer + 1, info.signedAttributes.length - 1);
    FinalDigest(&context, digest, &out);
    return Pkcs7Result::Done;
}

Pkcs7Result CheckSignerInfo(DecodeState* state, const ByteBuffer& record)
{
    Pkcs7SignerInfo info;
    if (!ReadPkcs7SignerInfo(record, &info)) return Pkcs7Result::BadStructure;
    const int digestCode = OIDToAlgorithm(info.digest.oid.pointer, info.digest.oid.length);
    if (!SupportedDigest(digestCode) || !Pkcs7NoParameters(info.digest)) return Pkcs7Result::BadStructure;
    const std::uint32_t type = static_cast<std::uint32_t>(digestCode);
    if (!SignatureAlgorithmFits(OIDToAlgorithm(info.signature.oid.pointer, info.signature.oid.length), type))
        return Pkcs7Result::BadStructure;
    const CarriedSigner* signer = info.signer.byKeyId ? nullptr : FindSigner(*state, info);
    if (!signer) return Pkcs7Result::SignerNotFound;
    if (state->keyless) return Pkcs7Result::Done;

    ByteBuffer encrypted = info.signatureValue;
    unsigned char plain[kMaxEncryptedDigest + 8];
    if (*state->outerType == kOuterSignedAndEnveloped) {
        std::size_t length = 0;
        if (!DecryptDigest(*state, encrypted, plain, &length)) return Pkcs7Result::CipherFailed;
        encrypted = ByteBuffer{plain, length};
    }
    if (encrypted.length > kMaxEncryptedDigest) return Pkcs7Result::SignerNotFound;

    unsigned char digest[kMaxDigestLength];
    Pkcs7Result result = SignedDigest(*state, info, type, digest);
    if (result != Pkcs7Result::Done) return result;
    unsigned char expected[kMaxDigestInfoLength];
    const std::size_t expectedLength = BuildDigestInfo(expected, type, digest);
    unsigned char opened[kRsaMaxModulusBytes];
    std::size_t openedLength = 0;
    if (DecryptRsaPublic(opened, &openedLength, encrypted.pointer, encrypted.length, &signer->publicKey) != 0)
        return Pkcs7Result::SignerNotFound;
    if (openedLength != expectedLength) return Pkcs7Result::BadStructure;
    if (CompareBytes(opened, expected, expectedLength) != 0) {
        *state->status = kSignatureMismatch;
        return Pkcs7Result::DigestMismatch;
    }
    return Pkcs7Result::Done;
}

}  // namespace

Pkcs7Result ReadDigestAlgorithms(DecodeState* state)
{
    unsigned char* buffer = state->chunk;
    Header set;
    if (!ReadExpectedHeader(&state->reader, state->bodyEnd, kSet, &set)) return Pkcs7Result::BadStructure;
    while (state->reader.position < set.end) {
        ByteBuffer record;
        if (!ReadRecord(&state->reader, set.end, buffer, &record)) return Pkcs7Result::BadStructure;
        DERCursor cursor = der_reader::Inside(record);
        Pkcs7Algorithm algorithm;
        if (!ReadPkcs7Algorithm(&cursor, &algorithm) || !der_reader::AtEnd(cursor))
            return Pkcs7Result::BadStructure;
        const int code = OIDToAlgorithm(algorithm.oid.pointer, algorithm.oid.length);
        // An algorithm we cannot compute fails only the SignerInfo that uses it.
        if (!SupportedDigest(code) || ContentDigest(state, static_cast<std::uint32_t>(code))) continue;
        state->digestTypes[state->digestCount++] = static_cast<std::uint32_t>(code);
    }
    return Pkcs7Result::Done;
}

Pkcs7Result ReadCertificates(DecodeState* state)
{
    Header set;
    if (!ReadExpectedHeader(&state->reader, state->bodyEnd, 0xA0, &set)) {
        if (!state->keyless) *state->status = kSignatureNothingToVerify;
        return Pkcs7Result::BadStructure;
    }
    std::uint32_t item = 0;
    if (CountDataItems(state->sets, kSlotCarriedCertificates, &item) != kDataSetsOk) return Pkcs7Result::NoMemory;
    while (state->reader.position < set.end) {
        ByteBuffer record;
        if (!ReadRecord(&state->reader, set.end, state->chunk, &record) || record.pointer[0] != 0x30)
            return Pkcs7Result::BadStructure;
        // A long chain opens: the first ten are kept and can sign, the rest
        // is read through and dropped, so the table and slot 1 stay bounded.
        if (state->signerCount == kMaxCarriedCertificates) continue;
        CarriedSigner* signer = &state->signers[state->signerCount];
        if (!DecodeCertificateKey(record.pointer, record.length, &signer->publicKey, nullptr, nullptr))
            return Pkcs7Result::CertificateUnusable;
        if (AddDataItem(state->sets, kSlotCarriedCertificates, record.pointer, record.length) != kDataSetsOk)
            return Pkcs7Result::NoMemory;
        signer->item = ++item;
        ++state->signerCount;
    }
    return Pkcs7Result::Done;
}

Pkcs7Result ReadSignerInfos(DecodeState* state)
{
    Header set;
    if (!ReadExpectedHeader(&state->reader, state->bodyEnd, kSet, &set)) return Pkcs7Result::BadStructure;
    bool any = false;
    while (state->reader.position < set.end) {
        ByteBuffer record;
        if (!ReadRecord(&state->reader, set.end, state->chunk, &record)) return Pkcs7Result::BadStructure;
        if (AddDataItem(state->sets, kSlotSignerInfos, record.pointer, record.length) != kDataSetsOk)
            return Pkcs7Result::NoMemory;
        Pkcs7Result result = CheckSignerInfo(state, record);
        if (result != Pkcs7Result::Done) return result;
        any = true;
    }
    *state->status = (any && !state->keyless) ? kSignatureVerified : kSignatureNothingToVerify;
    return Pkcs7Result::Done;
}

}  // namespace pkcs7_decode
