// Streamed signed-data and enveloped-data encoders. The DER writer fills
// buffers from the end, so each head is written with the lengths of what
// follows it (content, and for signed data the signer information whose
// size the key size fixes) before any of that exists.
#include "signer/cms/cms_stream.h"

#include <algorithm>

#include "core/der/bytes.h"
#include "core/der/der.h"
#include "core/hash/digest.h"
#include "core/der/oid.h"
#include "signer/cms/cms_common.h"

namespace {

using cmscommon::CallOutput;
using cmscommon::Fail;
using cmscommon::kBlockSize;
using cmscommon::kEncoding;
using cmscommon::KeyBytes;
using cmscommon::Reversed;
using cmscommon::Wipe;

// Room for the fixed fields around the variable ones of a head or tail.
const std::size_t kFixedRoom = 256;

std::size_t PutOID(DERCursor* cursor, int code, bool contentType)
{
    unsigned char oid[kOIDMaxLength];
    std::size_t length = 0;
    int missing = contentType ? ContentTypeToOID(code, oid, &length) : AlgorithmToOID(code, oid, &length);
    if (missing) return 0;
    return PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, length});
}

std::size_t PutSmallInteger(DERCursor* cursor, unsigned char value)
{
    return PutDERInteger(cursor, ByteBuffer{&value, 1}, 0);
}

// A header over `length` bytes that follow it (written or not); 0 when the
// length goes beyond 32 bits.
std::size_t PutHeaderOver(DERCursor* cursor, int tag, std::uint64_t length)
{
    if (length > kCmsMaxEncodedLength) return 0;
    return PutDERHeader(cursor, tag, static_cast<std::size_t>(length));
}

// IssuerAndSerialNumber of the certificate, the serial as stored.
std::size_t PutIssuerAndSerial(DERCursor* cursor, const CERT_INFO& info)
{
    if (!info.SerialNumber.cbData || !info.Issuer.cbData) return 0;
    std::vector<unsigned char> serial = Reversed(info.SerialNumber.pbData, info.SerialNumber.cbData);
    std::size_t s = PutDERBytes(cursor, ByteBuffer{serial.data(), serial.size()});
    if (!s) return 0;
    std::size_t sh = PutDERValue(cursor, kTagInteger, ByteBuffer{nullptr, s});
    if (!sh) return 0;
    std::size_t issuer = PutDERBytes(cursor, ByteBuffer{info.Issuer.pbData, info.Issuer.cbData});
    if (!issuer) return 0;
    std::size_t body = s + sh + issuer;
    std::size_t header = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, body});
    return header ? header + body : 0;
}

// What a writer holds, [position, size), as a vector.
std::vector<unsigned char> Written(const std::vector<unsigned char>& buffer, const DERCursor& cursor)
{
    return std::vector<unsigned char>(buffer.begin() + static_cast<std::ptrdiff_t>(cursor.position),
                                      buffer.end());
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
    DERCursor cursor;
    InitDERWriter(&cursor, buffer.data(), buffer.size());

    std::size_t sig = PutDERValue(&cursor, kTagOctetString,
                                  ByteBuffer{const_cast<unsigned char*>(signature), signatureLength});
    std::size_t sigAlg = sig ? EncodeAlgorithmId(&cursor, kAlgRsaEncryption) : 0;
    std::size_t digestAlg = sigAlg ? EncodeAlgorithmId(&cursor, kDigestSha1) : 0;
    std::size_t id = digestAlg ? PutIssuerAndSerial(&cursor, info) : 0;
    std::size_t version = id ? PutSmallInteger(&cursor, 1) : 0;
    if (!version) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    std::size_t signerInfo = sig + sigAlg + digestAlg + id + version;
    std::size_t sh = PutDERValue(&cursor, kTagSequence, ByteBuffer{nullptr, signerInfo});
    std::size_t seth = sh ? PutDERValue(&cursor, kTagSet, ByteBuffer{nullptr, sh + signerInfo}) : 0;
    std::size_t cert = seth ? PutDERBytes(&cursor, ByteBuffer{signer.certificate->pbCertEncoded, certLength}) : 0;
    std::size_t certh = cert ? PutDERHeader(&cursor, kTagContextConstructed + 0, cert) : 0;
    if (!certh) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    tail = Written(buffer, cursor);
    return true;
}

// Everything of the signed-data message in front of the content: its
// lengths cover the content (attached) and the tail.
bool EncodeSignedHead(bool detached, std::uint64_t contentLength, std::uint64_t tailLength,
                      std::vector<unsigned char>& head, std::uint64_t* total)
{
    std::vector<unsigned char> buffer(kFixedRoom);
    DERCursor cursor;
    InitDERWriter(&cursor, buffer.data(), buffer.size());

    std::uint64_t content = 0;  // eContent [0] with its OCTET STRING
    if (!detached) {
        std::size_t octet = PutHeaderOver(&cursor, kTagOctetString, contentLength);
        std::size_t explicit0 = octet ? PutHeaderOver(&cursor, kTagContextConstructed + 0, octet + contentLength) : 0;
        if (!explicit0) return Fail(ERROR_FILE_TOO_LARGE);
        content = explicit0 + octet + contentLength;
    }
    std::size_t dataOid = PutOID(&cursor, kContentData, true);
    std::size_t ci = dataOid ? PutHeaderOver(&cursor, kTagSequence, dataOid + content) : 0;
    if (!ci) return Fail(ERROR_FILE_TOO_LARGE);
    std::uint64_t contentInfo = ci + dataOid + content;
    std::size_t alg = EncodeAlgorithmId(&cursor, kDigestSha1);
    std::size_t set = alg ? PutDERValue(&cursor, kTagSet, ByteBuffer{nullptr, alg}) : 0;
    std::size_t version = set ? PutSmallInteger(&cursor, 1) : 0;
    if (!version) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));
    std::uint64_t body = version + set + alg + contentInfo + tailLength;
    std::size_t sd = PutHeaderOver(&cursor, kTagSequence, body);
    std::size_t explicit0 = sd ? PutHeaderOver(&cursor, kTagContextConstructed + 0, sd + body) : 0;
    std::size_t typeOid = explicit0 ? PutOID(&cursor, kContentSignedData, true) : 0;
    std::size_t outer = typeOid ? PutHeaderOver(&cursor, kTagSequence, typeOid + explicit0 + sd + body) : 0;
    if (!outer) return Fail(ERROR_FILE_TOO_LARGE);
    std::uint64_t all = outer + typeOid + explicit0 + sd + body;
    if (all > kCmsMaxEncodedLength) return Fail(ERROR_FILE_TOO_LARGE);
    head = Written(buffer, cursor);
    *total = all;
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
        // Lengths are 32-bit from Open on.
        if (!CryptHashData(hash_.Get(), data, static_cast<DWORD>(length), 0)) {
            failed_ = true;
            return false;
        }
        fed_ += length;
        if (!detached_ && !Emit(data, length, false)) return false;
    }
    if (!last) return true;

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
    if (!CryptImportPublicKeyInfo(provider, kEncoding, &recipient->pCertInfo->SubjectPublicKeyInfo,
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
    DERCursor cursor;
    InitDERWriter(&cursor, buffer.data(), buffer.size());

    // EncryptedContentInfo: data, RC4, [0] ciphertext. RC4's parameters are
    // an empty OCTET STRING (no salt): the platform reads a salt there, and
    // OpenSSL refuses NULL.
    std::size_t ciphertext = PutHeaderOver(&cursor, kTagContext + 0, contentLength);
    std::size_t rc4 = ciphertext ? EncodeAlgorithmIdParams(&cursor, kAlgRc4, nullptr, 0) : 0;
    std::size_t dataOid = rc4 ? PutOID(&cursor, kContentData, true) : 0;
    if (!dataOid) return Fail(ERROR_FILE_TOO_LARGE);
    std::uint64_t eciBody = dataOid + rc4 + ciphertext + contentLength;
    std::size_t eci = PutHeaderOver(&cursor, kTagSequence, eciBody);
    if (!eci) return Fail(ERROR_FILE_TOO_LARGE);

    // RecipientInfo.
    std::size_t key = PutDERValue(&cursor, kTagOctetString, ByteBuffer{wrapped.data(), wrapped.size()});
    std::size_t keyAlg = key ? EncodeAlgorithmId(&cursor, kAlgRsaEncryption) : 0;
    std::size_t id = keyAlg ? PutIssuerAndSerial(&cursor, info) : 0;
    std::size_t riVersion = id ? PutSmallInteger(&cursor, 0) : 0;
    std::size_t riBody = key + keyAlg + id + riVersion;
    std::size_t ri = riVersion ? PutDERValue(&cursor, kTagSequence, ByteBuffer{nullptr, riBody}) : 0;
    std::size_t set = ri ? PutDERValue(&cursor, kTagSet, ByteBuffer{nullptr, ri + riBody}) : 0;
    std::size_t version = set ? PutSmallInteger(&cursor, 0) : 0;
    if (!version) return Fail(static_cast<DWORD>(CRYPT_E_MSG_ERROR));

    std::uint64_t body = version + set + ri + riBody + eci + eciBody;
    std::size_t ed = PutHeaderOver(&cursor, kTagSequence, body);
    std::size_t explicit0 = ed ? PutHeaderOver(&cursor, kTagContextConstructed + 0, ed + body) : 0;
    std::size_t typeOid = explicit0 ? PutOID(&cursor, kContentEnvelopedData, true) : 0;
    std::size_t outer = typeOid ? PutHeaderOver(&cursor, kTagSequence, typeOid + explicit0 + ed + body) : 0;
    if (!outer || outer + typeOid + explicit0 + ed + body > kCmsMaxEncodedLength) return Fail(ERROR_FILE_TOO_LARGE);

    head_ = Written(buffer, cursor);
    block_.assign(kBlockSize, 0);
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
        std::size_t n = std::min(kBlockSize, length - done);
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
