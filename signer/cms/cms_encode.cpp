// Streamed signed-data and enveloped-data encoders. The DER writer fills
// buffers from the end, so each head is written with the lengths of what
// follows it (content, and for signed data the signer information whose
// size the key size fixes) before any of that exists.
#include "signer/cms/cms_stream.h"

#include <algorithm>

#include "core/der/bytes.h"
#include "core/der/der.h"
#include "core/der/der_builder.h"
#include "core/hash/digest.h"
#include "core/der/oid.h"
#include "signer/cms/cms_common.h"

namespace {

using cmscommon::CallOutput;
using cmscommon::Fail;
using cmscommon::KeyBytes;
using cmscommon::Reversed;
using cmscommon::Wipe;

// Room for the fixed fields around the variable ones of a head or tail.
const std::size_t kFixedRoom = 256;

void BuildOID(DERBuilder* builder, int code, bool contentType)
{
    BuildDER(builder, [&](DERCursor* cursor) -> std::size_t {
        unsigned char oid[kOIDMaxLength];
        std::size_t length = 0;
        int missing = contentType ? ContentTypeToOID(code, oid, &length) : AlgorithmToOID(code, oid, &length);
        if (missing) return 0;
        return PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, length});
    });
}

void BuildAlgorithmId(DERBuilder* builder, int code)
{
    BuildDER(builder, [&](DERCursor* cursor) { return EncodeAlgorithmId(cursor, code); });
}

// ContentInfo of the type around everything written so far: its [0] content.
void CloseContentInfo(DERBuilder* builder, int contentType)
{
    CloseDER(builder, kTagContextConstructed + 0, 0);
    BuildOID(builder, contentType, true);
    CloseDER(builder, kTagSequence, 0);
}

// IssuerAndSerialNumber of the certificate, the serial as stored.
void BuildIssuerAndSerial(DERBuilder* builder, const CERT_INFO& info)
{
    if (!info.SerialNumber.cbData || !info.Issuer.cbData) {
        BuildDER(builder, [](DERCursor*) { return std::size_t(0); });
        return;
    }
    const std::uint64_t end = DERBuilderMark(builder);
    std::vector<unsigned char> serial = Reversed(info.SerialNumber.pbData, info.SerialNumber.cbData);
    BuildDERPrimitive(builder, kTagInteger, ByteBuffer{serial.data(), serial.size()});
    BuildDERBytes(builder, ByteBuffer{info.Issuer.pbData, info.Issuer.cbData});
    CloseDER(builder, kTagSequence, end);
}

// The builder's bytes, or the failure: a length beyond 32 bits as too large.
bool TakeWritten(const DERBuilder& builder, std::vector<unsigned char>& out, DWORD otherFailure)
{
    if (builder.status == kDERBuildTooLong) return Fail(ERROR_FILE_TOO_LARGE);
    if (builder.status != kDERBuildOk) return Fail(otherFailure);
    ByteBuffer written = DERBuilderWritten(&builder);
    out.assign(written.pointer, written.pointer + written.length);
    return true;
}

bool SignatureLength(const CmsSigner& signer, std::size_t* length)
{
    if (!signer.certificate || !signer.certificate->pCertInfo || !signer.provider)
        return Fail(static_cast<DWORD>(E_INVALIDARG));
    TCryptKey key;
    if (!CryptGetUserKey(signer.provider, signer.keySpec, key.Put())) return false;
    return KeyBytes(key.Get(), length);
}

// certificates [0] and signerInfos SET of the signed data.
bool EncodeSignedTail(const CmsSigner& signer, const unsigned char* signature, std::size_t signatureLength,
                      std::vector<unsigned char>& tail)
{
    const CERT_INFO& info = *signer.certificate->pCertInfo;
    const std::size_t certLength = signer.certificate->cbCertEncoded;
    std::vector<unsigned char> buffer(certLength + signatureLength + info.Issuer.cbData +
                                      info.SerialNumber.cbData + kFixedRoom);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());

    const std::uint64_t signerInfos = DERBuilderMark(&b);
    BuildDERPrimitive(&b, kTagOctetString, ByteBuffer{const_cast<unsigned char*>(signature), signatureLength});
    BuildAlgorithmId(&b, kAlgRsaEncryption);
    BuildAlgorithmId(&b, kDigestSha1);
    BuildIssuerAndSerial(&b, info);
    BuildDERSmallInteger(&b, 1);
    CloseDER(&b, kTagSequence, signerInfos);
    CloseDER(&b, kTagSet, signerInfos);
    const std::uint64_t certificates = DERBuilderMark(&b);
    BuildDERBytes(&b, ByteBuffer{signer.certificate->pbCertEncoded, certLength});
    CloseDER(&b, kTagContextConstructed + 0, certificates);
    // The tail's lengths come from the certificate and key: any failure is the message's.
    if (b.status != kDERBuildOk) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    return TakeWritten(b, tail, static_cast<DWORD>(CRYPT_E_MSG_ERROR));
}

// Everything of the signed-data message in front of the content: its
// lengths cover the content (attached) and the tail, which follow it.
bool EncodeSignedHead(bool detached, std::uint64_t contentLength, std::uint64_t tailLength,
                      std::vector<unsigned char>& head, std::uint64_t* total)
{
    std::vector<unsigned char> buffer(kFixedRoom);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());

    FollowDER(&b, tailLength);
    const std::uint64_t contentInfo = DERBuilderMark(&b);
    if (!detached) {
        FollowDER(&b, contentLength);
        CloseDER(&b, kTagOctetString, contentInfo);
        CloseDER(&b, kTagContextConstructed + 0, contentInfo);
    }
    BuildOID(&b, kContentData, true);
    CloseDER(&b, kTagSequence, contentInfo);
    const std::uint64_t digestAlgorithms = DERBuilderMark(&b);
    BuildAlgorithmId(&b, kDigestSha1);
    CloseDER(&b, kTagSet, digestAlgorithms);
    BuildDERSmallInteger(&b, 1);
    CloseDER(&b, kTagSequence, 0);
    CloseContentInfo(&b, kContentSignedData);
    if (!TakeWritten(b, head, static_cast<DWORD>(CRYPT_E_MSG_ERROR))) return false;
    *total = DERBuilderLength(&b);
    return true;
}

bool SignedLayout(const CmsSigner& signer, bool detached, std::uint64_t contentLength,
                  std::size_t* signatureLength, std::vector<unsigned char>* head, std::uint64_t* total)
{
    if (contentLength > kCmsMaxEncodedLength) return Fail(ERROR_FILE_TOO_LARGE);
    if (!SignatureLength(signer, signatureLength)) return false;
    // The tail's size does not depend on the signature's value.
    std::vector<unsigned char> placeholder(*signatureLength, 0);
    std::vector<unsigned char> tail;
    if (!EncodeSignedTail(signer, placeholder.data(), placeholder.size(), tail)) return false;
    std::vector<unsigned char> scratch;
    return EncodeSignedHead(detached, contentLength, tail.size(), head ? *head : scratch, total);
}

// The common checks of an update against the announced content length.
bool CheckUpdate(bool open, bool failed, std::uint64_t contentLength, std::uint64_t fed,
                 const unsigned char* data, std::size_t length, bool last)
{
    if (!open || failed) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    if (length && !data) return Fail(static_cast<DWORD>(E_INVALIDARG));
    std::uint64_t remaining = contentLength - fed;
    if (length > remaining) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    if (last && length != remaining) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    return true;
}

}  // namespace

bool CmsSignedEncodedLength(const CmsSigner& signer, bool detached, std::uint64_t contentLength,
                            std::uint64_t* encodedLength)
{
    std::size_t signatureLength = 0;
    std::uint64_t total = 0;
    if (!SignedLayout(signer, detached, contentLength, &signatureLength, nullptr, &total)) return false;
    *encodedLength = total;
    return true;
}

bool TCmsSignEncoder::Open(const CmsSigner& signer, bool detached, std::uint64_t contentLength, CmsOutput output)
{
    open_ = started_ = failed_ = false;
    if (!output.function) return Fail(static_cast<DWORD>(E_INVALIDARG));
    std::uint64_t total = 0;
    std::size_t signatureLength = 0;
    if (!SignedLayout(signer, detached, contentLength, &signatureLength, &head_, &total)) return false;
    if (!CryptCreateHash(signer.provider, CALG_SHA1, 0, 0, hash_.Put())) return false;
    InitSha1(&digest_);
    signer_ = signer;
    detached_ = detached;
    contentLength_ = contentLength;
    fed_ = 0;
    encodedLength_ = total;
    signatureLength_ = signatureLength;
    output_ = output;
    open_ = true;
    return true;
}

TCmsSignEncoder::~TCmsSignEncoder() { FillBytes(&digest_, 0, sizeof digest_); }

bool TCmsSignEncoder::Emit(const unsigned char* data, std::size_t length, bool final)
{
    if (!length && !final) return true;
    if (CallOutput(output_, data, length, final)) return true;
    failed_ = true;
    return false;
}

bool TCmsSignEncoder::Update(const unsigned char* data, std::size_t length, bool last)
{
    if (!CheckUpdate(open_, failed_, contentLength_, fed_, data, length, last)) return false;
    if (!started_) {
        started_ = true;
        if (!Emit(head_.data(), head_.size(), false)) return false;
    }
    if (length) {
        UpdateSha1(&digest_, data, length);
        fed_ += length;
        if (!detached_ && !Emit(data, length, false)) return false;
    }
    if (!last) return true;

    // The platform signs the digest made here.
    unsigned char digest[20];
    FinalSha1(digest, &digest_);
    const bool taken = CryptSetHashParam(hash_.Get(), HP_HASHVAL, digest, 0) != FALSE;
    FillBytes(digest, 0, sizeof digest);
    if (!taken) {
        failed_ = true;
        return false;
    }
    DWORD size = 0;
    if (!CryptSignHashA(hash_.Get(), signer_.keySpec, nullptr, 0, nullptr, &size)) {
        failed_ = true;
        return false;
    }
    std::vector<unsigned char> signature(size);
    if (!CryptSignHashA(hash_.Get(), signer_.keySpec, nullptr, 0, signature.data(), &size)) {
        failed_ = true;
        return false;
    }
    // The announced length holds only for a signature of the key's size.
    if (size != signatureLength_) {
        failed_ = true;
        return Fail(static_cast<DWORD>(NTE_BAD_LEN));
    }
    std::vector<unsigned char> bigEndian = Reversed(signature.data(), size);
    std::vector<unsigned char> tail;
    bool ok = EncodeSignedTail(signer_, bigEndian.data(), bigEndian.size(), tail);
    open_ = false;
    hash_.Reset();
    if (!ok) {
        failed_ = true;
        return false;
    }
    return Emit(tail.data(), tail.size(), true);
}

TCmsEnvelopeEncoder::~TCmsEnvelopeEncoder() { Wipe(block_); }

bool TCmsEnvelopeEncoder::Open(PCCERT_CONTEXT recipient, HCRYPTPROV provider, std::uint64_t contentLength,
                               CmsOutput output)
{
    open_ = started_ = failed_ = false;
    if (!recipient || !recipient->pCertInfo || !provider || !output.function)
        return Fail(static_cast<DWORD>(E_INVALIDARG));
    if (contentLength > kCmsMaxEncodedLength) return Fail(ERROR_FILE_TOO_LARGE);

    if (!CryptGenKey(provider, CALG_RC4, (128u << 16) | CRYPT_EXPORTABLE | CRYPT_NO_SALT, contentKey_.Put()))
        return false;
    TCryptKey recipientKey;
    if (!CryptImportPublicKeyInfo(provider, kMessageEncoding, &recipient->pCertInfo->SubjectPublicKeyInfo,
                                  recipientKey.Put()))
        return false;
    std::size_t modulus = 0;
    if (!KeyBytes(recipientKey.Get(), &modulus)) return false;
    DWORD size = 0;
    if (!CryptExportKey(contentKey_.Get(), recipientKey.Get(), SIMPLEBLOB, 0, nullptr, &size)) return false;
    std::vector<unsigned char> blob(size);
    if (!CryptExportKey(contentKey_.Get(), recipientKey.Get(), SIMPLEBLOB, 0, blob.data(), &size)) return false;
    // BLOBHEADER, the wrapping algorithm, then the wrapped key little-endian.
    const std::size_t prefix = sizeof(BLOBHEADER) + sizeof(ALG_ID);
    if (size < prefix || size - prefix != modulus) return Fail(static_cast<DWORD>(NTE_BAD_KEY));
    std::vector<unsigned char> wrapped = Reversed(blob.data() + prefix, size - prefix);

    const CERT_INFO& info = *recipient->pCertInfo;
    std::vector<unsigned char> buffer(wrapped.size() + info.Issuer.cbData + info.SerialNumber.cbData + kFixedRoom);
    DERBuilder b;
    InitDERBuilder(&b, buffer.data(), buffer.size());

    // EncryptedContentInfo: data, RC4, [0] ciphertext. RC4's parameters are
    // an empty OCTET STRING (no salt): the platform reads a salt there, and
    // OpenSSL refuses NULL.
    FollowDER(&b, contentLength);
    CloseDER(&b, kTagContext + 0, 0);
    BuildDER(&b, [](DERCursor* cursor) { return EncodeAlgorithmIdParams(cursor, kAlgRc4, nullptr, 0); });
    BuildOID(&b, kContentData, true);
    CloseDER(&b, kTagSequence, 0);

    const std::uint64_t recipientInfos = DERBuilderMark(&b);
    BuildDERPrimitive(&b, kTagOctetString, ByteBuffer{wrapped.data(), wrapped.size()});
    BuildAlgorithmId(&b, kAlgRsaEncryption);
    BuildIssuerAndSerial(&b, info);
    BuildDERSmallInteger(&b, 0);
    CloseDER(&b, kTagSequence, recipientInfos);
    CloseDER(&b, kTagSet, recipientInfos);
    BuildDERSmallInteger(&b, 0);

    CloseDER(&b, kTagSequence, 0);
    CloseContentInfo(&b, kContentEnvelopedData);
    if (!TakeWritten(b, head_, static_cast<DWORD>(CRYPT_E_MSG_ERROR))) return false;
    block_.assign(kFeedBlockSize, 0);
    contentLength_ = contentLength;
    fed_ = 0;
    output_ = output;
    open_ = true;
    return true;
}

bool TCmsEnvelopeEncoder::Emit(const unsigned char* data, std::size_t length, bool final)
{
    if (!length && !final) return true;
    if (CallOutput(output_, data, length, final)) return true;
    failed_ = true;
    return false;
}

bool TCmsEnvelopeEncoder::Update(const unsigned char* data, std::size_t length, bool last)
{
    if (!CheckUpdate(open_, failed_, contentLength_, fed_, data, length, last)) return false;
    if (!started_) {
        started_ = true;
        if (!Emit(head_.data(), head_.size(), false)) return false;
    }
    std::size_t done = 0;
    while (done < length) {
        std::size_t n = std::min(kFeedBlockSize, length - done);
        CopyBytes(block_.data(), data + done, n);
        DWORD count = static_cast<DWORD>(n);
        bool final = last && done + n == length;
        if (!CryptEncrypt(contentKey_.Get(), 0, final ? TRUE : FALSE, 0, block_.data(), &count,
                          static_cast<DWORD>(block_.size()))) {
            failed_ = true;
            return false;
        }
        if (count != n) {
            failed_ = true;
            return Fail(static_cast<DWORD>(NTE_BAD_LEN));
        }
        done += n;
        fed_ += n;
        if (!Emit(block_.data(), n, final)) return false;
    }
    if (last) {
        open_ = false;
        contentKey_.Reset();
        Wipe(block_);
        // An empty last block still closes the output.
        if (length == 0) return Emit(nullptr, 0, true);
    }
    return true;
}
