// Push decoder of PKCS#7 signed and enveloped data over the BER push
// reader, so a block may end anywhere, inside a header too. The small
// elements (identifiers, versions, algorithms, certificates, signer and
// recipient information) are gathered whole, each up to a cap, and read with
// the PKCS#7 field readers (cms_decode_grammar.cpp); the content passes
// through as it comes and is never gathered: hashed by the digest set, or
// decrypted by the content decryptor.
#include "signer/cms/cms_decode.h"

#include "core/der/bytes.h"
#include "core/der/oid.h"
#include "signer/cms/cms_algorithms.h"
#include "signer/cms/cms_decode_state.h"
#include "signer/errors.h"

using namespace cmsdecode;

namespace {

using cmsalgorithm::DigestAlgorithm;
using cmsalgorithm::SignatureDigest;
using cmscommon::Emit;
using cmscommon::KeyBytes;
using cmscommon::Reversed;

bool SameBytes(const ByteBuffer& a, const unsigned char* b, std::size_t length)
{
    return a.length == length && CompareBytes(a.pointer, b, length) == 0;
}

}  // namespace

bool TCmsDecoder::State::Step(const unsigned char* data, std::size_t length, bool last)
{
    if (phase == Phase::Content) {
        if (!digests.HashAll(data, length)) return false;
        if (last) {
            if (!digests.Finish()) return false;
            phase = Phase::Done;
        }
        return true;
    }
    switch (PushBer(&reader, this, data, length)) {
    case BerStatus::Ok:
        break;
    case BerStatus::Handler:
        return false;  // the handler set the error
    case BerStatus::BadTag:
        return Fail(CRYPT_E_ASN1_BADTAG);
    case BerStatus::Corrupt:
        return Fail(CRYPT_E_ASN1_CORRUPT);
    case BerStatus::TooLarge:
        return Fail(CRYPT_E_ASN1_LARGE);
    case BerStatus::Trailing:
        return Fail(CRYPT_E_MSG_ERROR);
    }
    if (!last) return true;
    if (!MessageComplete()) return Fail(CRYPT_E_ASN1_EOD);
    phase = detached ? Phase::Content : Phase::Done;
    return true;
}

bool TCmsDecoder::State::Identified(const State* state, DWORD wanted, bool known)
{
    if (!state || !state->type) return Fail(CRYPT_E_STREAM_MSG_NOT_READY);
    if (state->type != wanted) return Fail(CRYPT_E_INVALID_MSG_TYPE);
    if (!known) return Fail(state->MessageComplete() ? CRYPT_E_INVALID_INDEX : CRYPT_E_STREAM_MSG_NOT_READY);
    return true;
}

bool TCmsDecoder::State::ToSink(int sink, const unsigned char* data, std::size_t length)
{
    if (sink == kSinkContent) {
        // Detached, the content fed after the message is the one that counts.
        if (detached) return true;
        return digests.HashAll(data, length) && Emit(output, data, length, false);
    }
    return decryptor.Take(data, length);
}

bool TCmsDecoder::State::EndContent()
{
    if (detached) return true;
    return digests.Finish() && Emit(output, nullptr, 0, true);
}

bool TCmsDecoder::State::Verify(const CERT_INFO& certificate)
{
    if (!signerKnown) return Fail(CRYPT_E_INVALID_INDEX);
    // Attached, a message without content has signed nothing it shows.
    if (!detached && !contentPresent) return Fail(CRYPT_E_MSG_ERROR);
    const ALG_ID algorithm = DigestAlgorithm(signer.digest.oid);
    ALG_ID named = 0;
    if (!algorithm || !Pkcs7NoParameters(signer.digest) || !SignatureDigest(signer.signature.oid, &named) ||
        (named && named != algorithm) || !Pkcs7NoParameters(signer.signature))
        return Fail(CRYPT_E_UNKNOWN_ALGO);
    // Not among the message's digest algorithms, or not on this platform.
    const TCmsDigestSet::Digest* digest = digests.Find(algorithm);
    if (!digest) return Fail(CRYPT_E_MSG_ERROR);

    TCryptKey key;
    if (!CryptImportPublicKeyInfoEx(digest->provider, kMessageEncoding,
                                    const_cast<PCERT_PUBLIC_KEY_INFO>(&certificate.SubjectPublicKeyInfo), 0, 0,
                                    nullptr, key.Put()))
        return false;
    std::size_t modulus = 0;
    if (!KeyBytes(key.Get(), &modulus)) return false;
    const ByteBuffer& signature = signer.signatureValue;
    if (signature.length > modulus) return Fail(NTE_BAD_SIGNATURE);

    TCryptHash hash;
    if (!CryptCreateHash(digest->provider, algorithm, 0, 0, hash.Put())) return false;
    const ByteBuffer& attributes = signer.signedAttributes;
    if (attributes.length) {
        if (!CheckAttributes(*digest)) return false;
        // Signed as the SET OF they are, not under the [0] they are stored with.
        const unsigned char setId = kIdSet;
        if (!CryptHashData(hash.Get(), &setId, 1, 0) ||
            !CryptHashData(hash.Get(), attributes.pointer + 1, static_cast<DWORD>(attributes.length - 1), 0))
            return false;
    } else {
        // Content of another type than data must carry the attributes.
        if (OIDToContentType(innerOid.data(), innerOid.size()) != kContentData) return Fail(CRYPT_E_AUTH_ATTR_MISSING);
        if (!CryptSetHashParam(hash.Get(), HP_HASHVAL, digest->value, 0)) return false;
    }
    // Little-endian over the modulus' length.
    Bytes value = Reversed(signature.pointer, signature.length);
    value.resize(modulus, 0);
    return CryptVerifySignatureA(hash.Get(), value.data(), static_cast<DWORD>(value.size()), key.Get(), nullptr, 0) !=
           FALSE;
}

bool TCmsDecoder::State::CheckAttributes(const TCmsDigestSet::Digest& digest) const
{
    Pkcs7SignedAttributes attributes;
    switch (ReadPkcs7SignedAttributes(signer.signedAttributes, &attributes)) {
    case Pkcs7AttributesResult::Ok:
        break;
    case Pkcs7AttributesResult::Malformed:
        return Fail(CRYPT_E_ASN1_CORRUPT);
    case Pkcs7AttributesResult::Repeated:
        return Fail(CRYPT_E_MSG_ERROR);
    }
    if (attributes.hasContentType && !SameBytes(attributes.contentType, innerOid.data(), innerOid.size())) return Fail(CRYPT_E_MSG_ERROR);
    if (attributes.hasMessageDigest &&
        !SameBytes(attributes.messageDigest, digest.value, digest.length))
        return Fail(CRYPT_E_HASH_VALUE);
    if (!attributes.hasContentType || !attributes.hasMessageDigest) return Fail(CRYPT_E_AUTH_ATTR_MISSING);
    return true;
}

bool TCmsDecoder::State::Decrypt(HCRYPTPROV provider, DWORD keySpec)
{
    if (!recipient.keyTransport ||
        OIDToAlgorithm(recipient.keyAlgorithm.oid.pointer, recipient.keyAlgorithm.oid.length) != kAlgRsaEncryption ||
        !Pkcs7NoParameters(recipient.keyAlgorithm) || !contentAlgorithm)
        return Fail(CRYPT_E_UNKNOWN_ALGO);
    // A key that does not unwrap leaves the decoder as it was.
    if (!decryptor.ImportKey(provider, keySpec, contentAlgorithm, iv, recipient.encryptedKey)) return false;
    if (!decryptor.Start()) failed = true;
    return !failed;
}

TCmsDecoder::TCmsDecoder() = default;

TCmsDecoder::~TCmsDecoder() = default;

bool TCmsDecoder::Open(bool detached, CmsOutput output, HCRYPTPROV provider)
{
    if (state_ && state_->busy) return Fail(static_cast<DWORD>(ERROR_BUSY));
    state_.reset();
    state_.reset(new State(detached, output, provider));
    return true;
}

bool TCmsDecoder::Update(const unsigned char* data, std::size_t length, bool last)
{
    State* state = state_.get();
    if (!state || state->failed || state->phase == State::Phase::Done) return Fail(CRYPT_E_MSG_ERROR);
    if (state->busy) return Fail(static_cast<DWORD>(ERROR_BUSY));
    if (length && !data) return Fail(E_INVALIDARG);
    state->busy = true;
    const bool ok = state->Step(data, length, last);
    state->busy = false;
    if (!ok) state->failed = true;
    return ok;
}
bool TCmsDecoder::GetMessageType(DWORD* type) const
{
    if (!type) return Fail(E_INVALIDARG);
    if (!state_ || !state_->type) return Fail(CRYPT_E_STREAM_MSG_NOT_READY);
    *type = state_->type;
    return true;
}

bool TCmsDecoder::GetInnerContentType(std::string& oid) const
{
    if (!state_ || !state_->innerKnown) return Fail(CRYPT_E_STREAM_MSG_NOT_READY);
    oid = state_->innerText;
    return true;
}

bool TCmsDecoder::GetSignerCertInfo(const CERT_INFO** info) const
{
    if (!info) return Fail(E_INVALIDARG);
    const State* state = state_.get();
    if (!State::Identified(state, kCmsSignedData, state && state->signerKnown)) return false;
    // A signer named by key identifier has no issuer and serial number to give.
    if (state->signer.signer.byKeyId) return Fail(CRYPT_E_SIGNER_NOT_FOUND);
    *info = &state->signerInfo;
    return true;
}

bool TCmsDecoder::GetRecipientInfo(const CERT_INFO** info) const
{
    if (!info) return Fail(E_INVALIDARG);
    const State* state = state_.get();
    if (!State::Identified(state, kCmsEnvelopedData, state && state->recipientKnown)) return false;
    if (!state->recipient.keyTransport || state->recipient.recipient.byKeyId) return Fail(CRYPT_E_RECIPIENT_NOT_FOUND);
    *info = &state->recipientInfo;
    return true;
}

const std::vector<std::vector<unsigned char>>& TCmsDecoder::Certificates() const
{
    static const std::vector<std::vector<unsigned char>> none;
    return state_ ? state_->certificates : none;
}

bool TCmsDecoder::OpenCertificateStore(TCertStore& store) const
{
    store.Reset(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    if (!store) return false;
    for (const Bytes& der : Certificates()) {
        if (!CertAddEncodedCertificateToStore(store.Get(), kMessageEncoding, der.data(), static_cast<DWORD>(der.size()),
                                              CERT_STORE_ADD_USE_EXISTING, nullptr)) {
            store.Reset();  // keeps the last error
            return false;
        }
    }
    return true;
}

bool TCmsDecoder::VerifySignature(const CERT_INFO* certificate)
{
    State* state = state_.get();
    if (!state || state->failed) return Fail(CRYPT_E_MSG_ERROR);
    if (state->busy) return Fail(static_cast<DWORD>(ERROR_BUSY));
    if (!certificate) return Fail(E_INVALIDARG);
    if (state->type != kCmsSignedData)
        return Fail(state->type ? CRYPT_E_INVALID_MSG_TYPE : CRYPT_E_STREAM_MSG_NOT_READY);
    if (state->phase != State::Phase::Done) return Fail(CRYPT_E_STREAM_MSG_NOT_READY);
    return state->Verify(*certificate);
}

bool TCmsDecoder::Decrypt(HCRYPTPROV provider, DWORD keySpec)
{
    State* state = state_.get();
    if (!state || state->failed) return Fail(CRYPT_E_MSG_ERROR);
    if (state->busy) return Fail(static_cast<DWORD>(ERROR_BUSY));
    if (!provider) return Fail(E_INVALIDARG);
    if (state->type != kCmsEnvelopedData)
        return Fail(state->type ? CRYPT_E_INVALID_MSG_TYPE : CRYPT_E_STREAM_MSG_NOT_READY);
    if (state->decryptor.Started()) return Fail(CRYPT_E_ALREADY_DECRYPTED);
    if (!state->recipientKnown || !state->algorithmKnown) return Fail(CRYPT_E_STREAM_MSG_NOT_READY);
    state->busy = true;
    const bool ok = state->Decrypt(provider, keySpec);
    state->busy = false;
    return ok;
}
