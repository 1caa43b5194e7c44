// Push decoder of PKCS#7 signed and enveloped data. The BER structure is
// walked element by element with a stack of the open elements, so a block
// may end anywhere, inside a header too. The small elements (identifiers,
// versions, algorithms, certificates, signer and recipient information) are
// gathered whole, each up to a cap, and read with the DER reader; the
// content passes through as it comes and is never gathered.
#include "signer/cms/cms_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/der/bytes.h"
#include "core/der/der.h"
#include "core/hash/digest.h"
#include "core/der/oid.h"
#include "signer/cms/cms_common.h"
#include "signer/errors.h"
#include "signer/files/temp_file.h"

namespace {

using Bytes = std::vector<unsigned char>;
using cmscommon::CallOutput;
using cmscommon::Fail;
using cmscommon::kBlockSize;
using cmscommon::kEncoding;
using cmscommon::KeyBytes;
using cmscommon::Reversed;
using cmscommon::Wipe;

bool Fail(HRESULT code) { return cmscommon::Fail(static_cast<DWORD>(code)); }

// Caps on what is gathered whole; a larger element fails the message.
const std::size_t kMaxSmallElement = 4096;  // identifiers, versions, algorithms
const std::size_t kMaxCertificate = 32768;
const std::size_t kMaxCertificates = 32;
const std::size_t kMaxSignerInfo = 65536;
const std::size_t kMaxRecipientInfo = 16384;
const std::size_t kMaxDepth = 32;

const std::size_t kMaxDigests = 5;
const std::size_t kMaxDigestBytes = 64;
// CryptHashData counts in DWORDs.
const std::size_t kHashPiece = 1 << 20;
const std::size_t kDesBlock = 8;

// Identifier bytes.
const unsigned char kIdInteger = 0x02;
const unsigned char kIdOctetString = 0x04;
const unsigned char kIdOctetChunks = 0x24;
const unsigned char kIdNull = 0x05;
const unsigned char kIdOid = 0x06;
const unsigned char kIdSequence = 0x30;
const unsigned char kIdSet = 0x31;
const unsigned char kIdImplicit0 = 0x80;
const unsigned char kIdExplicit0 = 0xA0;
const unsigned char kIdExplicit1 = 0xA1;

struct OidRow {
    std::size_t length;
    unsigned char bytes[9];
    ALG_ID algorithm;
};

// The SHA-2 family, which the core's table does not hold:
// 2.16.840.1.101.3.4.2.1 to 3 and sha*WithRSAEncryption 1.2.840.113549.1.1.11 to 13.
const OidRow kSha2Digests[] = {
    {9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}, CALG_SHA_256},
    {9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02}, CALG_SHA_384},
    {9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03}, CALG_SHA_512},
};
const OidRow kSha2Signatures[] = {
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}, CALG_SHA_256},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0C}, CALG_SHA_384},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0D}, CALG_SHA_512},
};

bool SameBytes(const ByteBuffer& a, const unsigned char* b, std::size_t length)
{
    return a.length == length && CompareBytes(a.pointer, b, length) == 0;
}

template <std::size_t N>
ALG_ID FindRow(const OidRow (&rows)[N], const ByteBuffer& oid)
{
    for (const OidRow& row : rows)
        if (SameBytes(oid, row.bytes, row.length)) return row.algorithm;
    return 0;
}

// The platform's digest for a digest algorithm identifier; 0 when unknown.
ALG_ID DigestAlgorithm(const ByteBuffer& oid)
{
    switch (OIDToAlgorithm(oid.pointer, oid.length)) {
    case kDigestMd5:
        return CALG_MD5;
    case kDigestSha1:
        return CALG_SHA1;
    default:
        return FindRow(kSha2Digests, oid);
    }
}

// The digest a signature algorithm names: 0 for rsaEncryption, where the
// signer's digest algorithm decides. False for what is not RSA.
bool SignatureDigest(const ByteBuffer& oid, ALG_ID* digest)
{
    switch (OIDToAlgorithm(oid.pointer, oid.length)) {
    case kAlgRsaEncryption:
        *digest = 0;
        return true;
    case kAlgMD5WithRsa:
        *digest = CALG_MD5;
        return true;
    case kAlgSHA1WithRsa:
        *digest = CALG_SHA1;
        return true;
    default:
        *digest = FindRow(kSha2Signatures, oid);
        return *digest != 0;
    }
}

DERCursor Reader(const unsigned char* bytes, std::size_t length)
{
    DERCursor cursor;
    InitDERReader(&cursor, bytes, length);
    return cursor;
}

DERCursor Inside(const ByteBuffer& content) { return Reader(content.pointer, content.length); }

bool AtEnd(const DERCursor& cursor) { return cursor.position == cursor.size; }

// The next element when its identifier byte is `id`: its content, and the
// whole element when asked for.
bool ReadElement(DERCursor* cursor, unsigned char id, ByteBuffer* content, ByteBuffer* whole = nullptr)
{
    if (AtEnd(*cursor) || cursor->buffer[cursor->position] != id) return false;
    const std::size_t start = cursor->position;
    int tag = 0;
    std::size_t length = 0;
    const std::size_t header = GetDERTagLength(cursor, &tag, &length);
    if (!header) return false;
    content->pointer = cursor->buffer + cursor->position;
    content->length = length;
    cursor->position += length;
    if (whole) *whole = ByteBuffer{cursor->buffer + start, header + length};
    return true;
}

bool ReadAny(DERCursor* cursor, ByteBuffer* whole)
{
    ByteBuffer content;
    return !AtEnd(*cursor) && ReadElement(cursor, cursor->buffer[cursor->position], &content, whole);
}

// A one-byte INTEGER with one of the values.
bool ReadVersion(DERCursor* cursor, std::initializer_list<int> allowed, int* version)
{
    ByteBuffer content;
    if (!ReadElement(cursor, kIdInteger, &content) || content.length != 1) return false;
    for (int value : allowed) {
        if (content.pointer[0] == value) {
            *version = value;
            return true;
        }
    }
    return false;
}

struct Algorithm {
    ByteBuffer oid{nullptr, 0};
    ByteBuffer parameters{nullptr, 0};  // the whole element; empty when absent
};

bool ReadAlgorithm(DERCursor* cursor, Algorithm* algorithm)
{
    ByteBuffer body;
    if (!ReadElement(cursor, kIdSequence, &body)) return false;
    DERCursor inner = Inside(body);
    if (!ReadElement(&inner, kIdOid, &algorithm->oid) || algorithm->oid.length == 0) return false;
    algorithm->parameters = ByteBuffer{nullptr, 0};
    if (!AtEnd(inner) && !ReadAny(&inner, &algorithm->parameters)) return false;
    return AtEnd(inner);
}

bool IsEmpty(const ByteBuffer& element, unsigned char id)
{
    return element.length == 2 && element.pointer[0] == id && element.pointer[1] == 0;
}

// Parameters absent or NULL.
bool NoParameters(const Algorithm& algorithm)
{
    return algorithm.parameters.length == 0 || IsEmpty(algorithm.parameters, kIdNull);
}

// IssuerAndSerialNumber, or a [0] subject key identifier.
struct Identifier {
    bool byKeyId = false;
    ByteBuffer issuer{nullptr, 0};  // the whole Name
    ByteBuffer serial{nullptr, 0};  // INTEGER content, big-endian
};

bool ReadIdentifier(DERCursor* cursor, Identifier* id)
{
    ByteBuffer content;
    if (ReadElement(cursor, kIdImplicit0, &content)) {
        id->byKeyId = true;
        return content.length > 0;
    }
    if (!ReadElement(cursor, kIdSequence, &content)) return false;
    DERCursor inner = Inside(content);
    ByteBuffer name;
    return ReadElement(&inner, kIdSequence, &name, &id->issuer) && ReadElement(&inner, kIdInteger, &id->serial) &&
           id->serial.length > 0 && AtEnd(inner);
}

// CERT_INFO naming the issuer and serial number, the serial stored as the
// platform stores it.
void FillCertInfo(const Identifier& id, CERT_INFO& info, Bytes& serial)
{
    serial = Reversed(id.serial.pointer, id.serial.length);
    info = CERT_INFO{};
    info.Issuer.cbData = static_cast<DWORD>(id.issuer.length);
    info.Issuer.pbData = id.issuer.pointer;
    info.SerialNumber.cbData = static_cast<DWORD>(serial.size());
    info.SerialNumber.pbData = serial.data();
}

// Dotted text of an identifier's content bytes; false for a malformed one.
bool DottedText(const ByteBuffer& oid, std::string& text)
{
    text.clear();
    std::uint64_t value = 0;
    bool first = true;
    for (std::size_t i = 0; i < oid.length; ++i) {
        if (value >> 56) return false;  // an arc beyond 63 bits
        value = (value << 7) | (oid.pointer[i] & 0x7F);
        if (oid.pointer[i] & 0x80) continue;
        if (first) {
            const std::uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
            text = std::to_string(top) + "." + std::to_string(value - 40 * top);
            first = false;
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    return !first && !(oid.pointer[oid.length - 1] & 0x80);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

struct TCmsDecoder::State {
    enum class Node {
        Root,
        ContentInfo,
        Explicit,
        SignedData,
        Encap,
        EContent,
        Chunks,
        Certificates,
        SignerInfos,
        EnvelopedData,
        RecipientInfos,
        EncryptedInfo,
        Skip,
    };
    enum class Sink { None, Content, Cipher };
    enum class Mode { Header, Gather, Pass, Skip };
    enum class Element {
        ContentType,
        SignedVersion,
        DigestAlgorithms,
        InnerType,
        Certificate,
        Signer,
        EnvelopedVersion,
        Recipient,
        ContentAlgorithm,
    };
    enum class Phase { Message, Content, Done };

    // An open element: definite ones end at `end`; `limit` is the end of
    // the innermost definite one around it.
    struct Frame {
        Node node;
        Sink sink;
        bool indefinite;
        std::uint64_t end;
        std::uint64_t limit;
        int stage;  // which of the element's fields have been seen
        std::size_t children;
    };

    struct Digest {
        ALG_ID algorithm = 0;
        HCRYPTPROV provider = 0;
        TCryptHash hash;
        unsigned char value[kMaxDigestBytes] = {};
        DWORD length = 0;
    };

    ~State();

    bool Step(const unsigned char* data, std::size_t length, bool last);
    bool MessageComplete() const;
    // Whether a message of the type has given its signer or recipient 0.
    static bool Identified(const State* state, DWORD wanted, bool known);

    // Walking.
    bool Consume(const unsigned char* data, std::size_t length);
    bool CloseEnded();
    bool HeaderByte();
    bool OnHeader(unsigned char id, bool indefinite, std::uint64_t length, std::size_t headerSize);
    bool OnClose(const Frame& frame);
    bool Descend(Node node, bool indefinite, std::uint64_t length, Sink sink = Sink::None);
    bool Gather(Bytes& target, Element what, bool indefinite, std::uint64_t length, std::size_t headerSize,
                std::size_t cap);
    bool Pass(Sink sink, std::uint64_t length);
    bool SkipElement(bool indefinite, std::uint64_t length);

    // The gathered elements.
    bool OnElement();
    bool ReadContentType(DERCursor& cursor);
    bool ReadDigestAlgorithms(DERCursor& cursor);
    bool ReadInnerType(DERCursor& cursor);
    bool ReadSigner();
    bool ReadRecipient();
    bool ReadContentAlgorithm(DERCursor& cursor);

    // Content.
    bool ToSink(Sink sink, const unsigned char* data, std::size_t length);
    bool Emit(const unsigned char* data, std::size_t length, bool final);
    HCRYPTPROV OwnProvider();
    void StartDigest(ALG_ID algorithm);
    const Digest* FindDigest(ALG_ID algorithm) const;
    bool HashAll(const unsigned char* data, std::size_t length);
    bool FinishDigests();
    bool EndContent();

    bool Verify(const CERT_INFO& certificate);
    bool CheckAttributes(const Digest& digest) const;

    // Ciphertext.
    bool SpillBytes(const unsigned char* data, std::size_t length);
    bool ImportContentKey(HCRYPTPROV provider, DWORD keySpec);
    bool StartDecrypting();
    bool DecryptBytes(const unsigned char* data, std::size_t length);
    bool DecryptPending();
    bool FinishDecrypting();
    bool EndCipher();

    bool detached = false;
    CmsOutput output;
    HCRYPTPROV callerProvider = 0;
    TCryptProvider ownProvider;  // before the digests: released after them
    bool ownTried = false;
    bool failed = false;
    bool busy = false;
    Phase phase = Phase::Message;

    std::vector<Frame> stack;
    Mode mode = Mode::Header;
    unsigned char header[2 + kDERMaxLengthBytes] = {};
    std::size_t headerLength = 0;
    std::uint64_t offset = 0;
    std::uint64_t remaining = 0;  // of the element gathered, passed or skipped
    Bytes* gathering = nullptr;
    Element element = Element::ContentType;
    Sink passing = Sink::None;
    Bytes small;

    DWORD type = 0;
    bool innerKnown = false;
    Bytes innerOid;
    std::string innerText;
    bool contentPresent = false;

    Digest digests[kMaxDigests];
    std::size_t digestCount = 0;
    std::vector<Bytes> certificates;

    bool signerKnown = false;
    Bytes signerBytes;
    Identifier signerId;
    Algorithm signerDigest;
    ByteBuffer signedAttributes{nullptr, 0};  // the whole [0]; empty when absent
    Algorithm signatureAlgorithm;
    ByteBuffer signature{nullptr, 0};
    CERT_INFO signerInfo = {};
    Bytes signerSerial;

    bool recipientKnown = false;
    bool keyTransport = false;
    Bytes recipientBytes;
    Identifier recipientId;
    Algorithm keyAlgorithm;
    ByteBuffer wrappedKey{nullptr, 0};
    CERT_INFO recipientInfo = {};
    Bytes recipientSerial;

    bool algorithmKnown = false;
    ALG_ID contentAlgorithm = 0;  // 0: not one the decoder can decrypt
    Bytes iv;

    bool cipherDone = false;
    std::unique_ptr<TTempFile> spillName;  // before the stream: deleted after it is closed
    std::unique_ptr<std::FILE, FileCloser> spill;
    bool decrypting = false;
    bool decrypted = false;
    bool blockCipher = false;
    TCryptKey contentKey;
    Bytes work;
    std::size_t pending = 0;
};

TCmsDecoder::State::~State()
{
    for (Digest& digest : digests) FillBytes(digest.value, 0, sizeof digest.value);
    Wipe(work);
}

bool TCmsDecoder::State::Step(const unsigned char* data, std::size_t length, bool last)
{
    if (phase == Phase::Content) {
        if (!HashAll(data, length)) return false;
        if (last) {
            if (!FinishDigests()) return false;
            phase = Phase::Done;
        }
        return true;
    }
    if (!Consume(data, length)) return false;
    if (!last) return true;
    if (!MessageComplete()) return Fail(CRYPT_E_ASN1_EOD);
    phase = detached ? Phase::Content : Phase::Done;
    return true;
}

bool TCmsDecoder::State::MessageComplete() const
{
    return stack.size() == 1 && stack[0].children == 1 && mode == Mode::Header && headerLength == 0;
}

bool TCmsDecoder::State::Identified(const State* state, DWORD wanted, bool known)
{
    if (!state || !state->type) return Fail(CRYPT_E_STREAM_MSG_NOT_READY);
    if (state->type != wanted) return Fail(CRYPT_E_INVALID_MSG_TYPE);
    if (!known) return Fail(state->MessageComplete() ? CRYPT_E_INVALID_INDEX : CRYPT_E_STREAM_MSG_NOT_READY);
    return true;
}

bool TCmsDecoder::State::Consume(const unsigned char* data, std::size_t length)
{
    std::size_t at = 0;
    for (;;) {
        if (!CloseEnded()) return false;
        if (at == length) return true;
        if (mode == Mode::Header) {
            if (MessageComplete()) return Fail(CRYPT_E_MSG_ERROR);  // bytes after the message
            if (offset >= stack.back().limit) return Fail(CRYPT_E_ASN1_CORRUPT);
            header[headerLength++] = data[at++];
            ++offset;
            if (!HeaderByte()) return false;
            continue;
        }
        std::size_t n = length - at;
        if (remaining < n) n = static_cast<std::size_t>(remaining);
        const unsigned char* piece = data + at;
        at += n;
        offset += n;
        remaining -= n;
        if (mode == Mode::Gather) {
            gathering->insert(gathering->end(), piece, piece + n);
            if (remaining) continue;
            mode = Mode::Header;
            if (!OnElement()) return false;
        } else {
            const bool passed = mode == Mode::Skip || ToSink(passing, piece, n);
            if (!remaining) mode = Mode::Header;
            if (!passed) return false;
        }
    }
}

bool TCmsDecoder::State::CloseEnded()
{
    while (mode == Mode::Header && headerLength == 0 && stack.size() > 1) {
        const Frame& top = stack.back();
        if (top.indefinite || offset != top.end) return true;
        const Frame frame = top;
        stack.pop_back();
        if (!OnClose(frame)) return false;
    }
    return true;
}

bool TCmsDecoder::State::HeaderByte()
{
    const unsigned char id = header[0];
    // High tag numbers appear nowhere in these messages.
    if ((id & 0x1F) == 0x1F) return Fail(CRYPT_E_ASN1_BADTAG);
    if (headerLength < 2) return true;
    const unsigned char first = header[1];
    if (id == 0) {  // end of contents
        headerLength = 0;
        if (first != 0 || !stack.back().indefinite) return Fail(CRYPT_E_ASN1_CORRUPT);
        const Frame frame = stack.back();
        stack.pop_back();
        return OnClose(frame);
    }
    const bool indefinite = first == 0x80;
    std::size_t length = 0;
    if (indefinite) {
        if (!(id & 0x20)) return Fail(CRYPT_E_ASN1_CORRUPT);
    } else if (first & 0x80) {
        const std::size_t count = first & 0x7F;
        if (count > kDERMaxLengthBytes) return Fail(CRYPT_E_ASN1_LARGE);
        if (headerLength < 2 + count) return true;
        std::size_t next = 2;
        ReadDERLengthBytes(
            first,
            [this, &next](unsigned char* b) {
                *b = header[next++];
                return true;
            },
            &length);
    } else {
        length = first;
    }
    const std::size_t headerSize = headerLength;
    headerLength = 0;
    if (!indefinite && length > stack.back().limit - offset) return Fail(CRYPT_E_ASN1_CORRUPT);
    return OnHeader(id, indefinite, length, headerSize);
}

bool TCmsDecoder::State::OnHeader(unsigned char id, bool indefinite, std::uint64_t length, std::size_t headerSize)
{
    // The parent's fields are read and set before anything is pushed.
    Frame& parent = stack.back();
    const std::size_t index = parent.children++;
    const int stage = parent.stage;
    const Sink sink = parent.sink;
    auto advance = [&parent](int next) {
        parent.stage = next;
        return true;
    };
    switch (parent.node) {
    case Node::Root:
        if (id == kIdSequence) return Descend(Node::ContentInfo, indefinite, length);
        break;
    case Node::ContentInfo:
        if (stage == 0 && id == kIdOid && advance(1))
            return Gather(small, Element::ContentType, indefinite, length, headerSize, kMaxSmallElement);
        if (stage == 1 && id == kIdExplicit0 && advance(2)) return Descend(Node::Explicit, indefinite, length);
        break;
    case Node::Explicit:
        if (index == 0 && id == kIdSequence)
            return Descend(type == kCmsSignedData ? Node::SignedData : Node::EnvelopedData, indefinite, length);
        break;
    case Node::SignedData:
        if (stage == 0 && id == kIdInteger && advance(1))
            return Gather(small, Element::SignedVersion, indefinite, length, headerSize, kMaxSmallElement);
        if (stage == 1 && id == kIdSet && advance(2))
            return Gather(small, Element::DigestAlgorithms, indefinite, length, headerSize, kMaxSmallElement);
        if (stage == 2 && id == kIdSequence && advance(3)) return Descend(Node::Encap, indefinite, length);
        if (stage == 3 && id == kIdExplicit0 && advance(4)) return Descend(Node::Certificates, indefinite, length);
        if ((stage == 3 || stage == 4) && id == kIdExplicit1 && advance(5))
            return SkipElement(indefinite, length);  // CRLs
        if (stage >= 3 && stage <= 5 && id == kIdSet && advance(6))
            return Descend(Node::SignerInfos, indefinite, length);
        break;
    case Node::Encap:
        if (stage == 0 && id == kIdOid && advance(1))
            return Gather(small, Element::InnerType, indefinite, length, headerSize, kMaxSmallElement);
        if (stage == 1 && id == kIdExplicit0 && advance(2)) {
            contentPresent = true;
            return Descend(Node::EContent, indefinite, length);
        }
        break;
    case Node::EContent:
        if (index != 0) break;
        if (id == kIdOctetString) return Pass(Sink::Content, length);
        if (id == kIdOctetChunks) return Descend(Node::Chunks, indefinite, length, Sink::Content);
        break;
    case Node::Chunks:
        if (id == kIdOctetString) return Pass(sink, length);
        if (id == kIdOctetChunks) return Descend(Node::Chunks, indefinite, length, sink);
        break;
    case Node::Certificates:
        // Other certificate formats are passed over.
        if (id != kIdSequence) return SkipElement(indefinite, length);
        if (certificates.size() >= kMaxCertificates) return Fail(CRYPT_E_ASN1_LARGE);
        certificates.emplace_back();
        return Gather(certificates.back(), Element::Certificate, indefinite, length, headerSize, kMaxCertificate);
    case Node::SignerInfos:
        // Only signer 0 counts.
        if (index > 0) return SkipElement(indefinite, length);
        if (id == kIdSequence)
            return Gather(signerBytes, Element::Signer, indefinite, length, headerSize, kMaxSignerInfo);
        break;
    case Node::EnvelopedData:
        if (stage == 0 && id == kIdInteger && advance(1))
            return Gather(small, Element::EnvelopedVersion, indefinite, length, headerSize, kMaxSmallElement);
        if (stage == 1 && id == kIdExplicit0 && advance(2))
            return SkipElement(indefinite, length);  // originator information
        if ((stage == 1 || stage == 2) && id == kIdSet && advance(3))
            return Descend(Node::RecipientInfos, indefinite, length);
        if (stage == 3 && id == kIdSequence && advance(4)) return Descend(Node::EncryptedInfo, indefinite, length);
        if (stage == 4 && id == kIdExplicit1 && advance(5))
            return SkipElement(indefinite, length);  // unprotected attributes
        break;
    case Node::RecipientInfos:
        // Only recipient 0 counts; it may be of a kind the decoder cannot use.
        if (index > 0) return SkipElement(indefinite, length);
        if (id & 0x20)
            return Gather(recipientBytes, Element::Recipient, indefinite, length, headerSize, kMaxRecipientInfo);
        break;
    case Node::EncryptedInfo:
        if (stage == 0 && id == kIdOid && advance(1))
            return Gather(small, Element::InnerType, indefinite, length, headerSize, kMaxSmallElement);
        if (stage == 1 && id == kIdSequence && advance(2))
            return Gather(small, Element::ContentAlgorithm, indefinite, length, headerSize, kMaxSmallElement);
        if (stage == 2 && id == kIdImplicit0 && advance(3)) return Pass(Sink::Cipher, length);
        if (stage == 2 && id == kIdExplicit0 && advance(3))
            return Descend(Node::Chunks, indefinite, length, Sink::Cipher);
        break;
    case Node::Skip:
        return SkipElement(indefinite, length);
    }
    return Fail(CRYPT_E_ASN1_BADTAG);
}

bool TCmsDecoder::State::OnClose(const Frame& frame)
{
    bool complete = true;
    switch (frame.node) {
    case Node::ContentInfo:
        complete = frame.stage == 2;
        break;
    case Node::Explicit:
    case Node::EContent:
        complete = frame.children == 1;
        break;
    case Node::SignedData:
        complete = frame.stage == 6;
        break;
    case Node::Encap:
        if (frame.stage >= 1) return EndContent();
        complete = false;
        break;
    case Node::EnvelopedData:
        complete = frame.stage >= 4;
        break;
    case Node::EncryptedInfo:
        if (frame.stage >= 2) return EndCipher();
        complete = false;
        break;
    default:
        return true;
    }
    return complete ? true : Fail(CRYPT_E_ASN1_CORRUPT);
}

bool TCmsDecoder::State::Descend(Node node, bool indefinite, std::uint64_t length, Sink sink)
{
    if (stack.size() >= kMaxDepth) return Fail(CRYPT_E_ASN1_LARGE);
    const std::uint64_t end = offset + length;
    stack.push_back(Frame{node, sink, indefinite, end, indefinite ? stack.back().limit : end, 0, 0});
    return true;
}

bool TCmsDecoder::State::Gather(Bytes& target, Element what, bool indefinite, std::uint64_t length,
                                std::size_t headerSize, std::size_t cap)
{
    // These elements are DER.
    if (indefinite) return Fail(CRYPT_E_ASN1_CORRUPT);
    if (length > cap - headerSize) return Fail(CRYPT_E_ASN1_LARGE);
    target.assign(header, header + headerSize);
    target.reserve(headerSize + static_cast<std::size_t>(length));
    gathering = &target;
    element = what;
    remaining = length;
    if (!length) return OnElement();
    mode = Mode::Gather;
    return true;
}

bool TCmsDecoder::State::Pass(Sink sink, std::uint64_t length)
{
    passing = sink;
    remaining = length;
    if (length) mode = Mode::Pass;
    return true;
}

bool TCmsDecoder::State::SkipElement(bool indefinite, std::uint64_t length)
{
    if (indefinite) return Descend(Node::Skip, true, 0);
    remaining = length;
    if (length) mode = Mode::Skip;
    return true;
}

bool TCmsDecoder::State::OnElement()
{
    DERCursor cursor = Reader(gathering->data(), gathering->size());
    int version = 0;
    switch (element) {
    case Element::ContentType:
        return ReadContentType(cursor);
    case Element::SignedVersion:
        if (!ReadVersion(&cursor, {1, 3, 4, 5}, &version)) break;
        return true;
    case Element::EnvelopedVersion:
        if (!ReadVersion(&cursor, {0, 2, 3, 4}, &version)) break;
        return true;
    case Element::DigestAlgorithms:
        return ReadDigestAlgorithms(cursor);
    case Element::InnerType:
        return ReadInnerType(cursor);
    case Element::Certificate:
        return true;
    case Element::Signer:
        return ReadSigner();
    case Element::Recipient:
        return ReadRecipient();
    case Element::ContentAlgorithm:
        return ReadContentAlgorithm(cursor);
    }
    return Fail(CRYPT_E_ASN1_CORRUPT);
}

bool TCmsDecoder::State::ReadContentType(DERCursor& cursor)
{
    ByteBuffer oid;
    if (!ReadElement(&cursor, kIdOid, &oid)) return Fail(CRYPT_E_ASN1_CORRUPT);
    switch (OIDToContentType(oid.pointer, oid.length)) {
    case kContentSignedData:
        type = kCmsSignedData;
        return true;
    case kContentEnvelopedData:
        // A detached message is signed data.
        if (detached) break;
        type = kCmsEnvelopedData;
        return true;
    default:
        break;
    }
    return Fail(CRYPT_E_INVALID_MSG_TYPE);
}

bool TCmsDecoder::State::ReadDigestAlgorithms(DERCursor& cursor)
{
    ByteBuffer set;
    if (!ReadElement(&cursor, kIdSet, &set)) return Fail(CRYPT_E_ASN1_CORRUPT);
    DERCursor inner = Inside(set);
    while (!AtEnd(inner)) {
        Algorithm algorithm;
        if (!ReadAlgorithm(&inner, &algorithm) || !NoParameters(algorithm)) return Fail(CRYPT_E_ASN1_CORRUPT);
        // Unknown ones are not hashed; a signer that names one fails.
        if (ALG_ID digest = DigestAlgorithm(algorithm.oid)) StartDigest(digest);
    }
    return true;
}

bool TCmsDecoder::State::ReadInnerType(DERCursor& cursor)
{
    ByteBuffer oid;
    if (!ReadElement(&cursor, kIdOid, &oid) || !DottedText(oid, innerText)) return Fail(CRYPT_E_ASN1_CORRUPT);
    innerOid.assign(oid.pointer, oid.pointer + oid.length);
    innerKnown = true;
    return true;
}

bool TCmsDecoder::State::ReadSigner()
{
    DERCursor cursor = Reader(signerBytes.data(), signerBytes.size());
    ByteBuffer body;
    if (!ReadElement(&cursor, kIdSequence, &body)) return Fail(CRYPT_E_ASN1_CORRUPT);
    DERCursor inner = Inside(body);
    int version = 0;
    ByteBuffer content;
    // Version 1 names the signer by issuer and serial number, 3 by key identifier.
    bool ok = ReadVersion(&inner, {1, 3}, &version) && ReadIdentifier(&inner, &signerId) &&
              version == (signerId.byKeyId ? 3 : 1) && ReadAlgorithm(&inner, &signerDigest);
    signedAttributes = ByteBuffer{nullptr, 0};
    if (ok) ReadElement(&inner, kIdExplicit0, &content, &signedAttributes);  // optional
    ok = ok && ReadAlgorithm(&inner, &signatureAlgorithm) && ReadElement(&inner, kIdOctetString, &signature) &&
         signature.length > 0;
    if (ok && !AtEnd(inner)) ok = ReadElement(&inner, kIdExplicit1, &content);  // unsigned attributes
    if (!ok || !AtEnd(inner)) return Fail(CRYPT_E_ASN1_CORRUPT);
    if (!signerId.byKeyId) FillCertInfo(signerId, signerInfo, signerSerial);
    signerKnown = true;
    return true;
}

bool TCmsDecoder::State::ReadRecipient()
{
    recipientKnown = true;
    keyTransport = false;
    if (recipientBytes[0] != kIdSequence) return true;  // not key transport: not one the decoder can use
    DERCursor cursor = Reader(recipientBytes.data(), recipientBytes.size());
    ByteBuffer body;
    if (!ReadElement(&cursor, kIdSequence, &body)) return Fail(CRYPT_E_ASN1_CORRUPT);
    DERCursor inner = Inside(body);
    int version = 0;
    // Version 0 names the recipient by issuer and serial number, 2 by key identifier.
    bool ok = ReadVersion(&inner, {0, 2}, &version) && ReadIdentifier(&inner, &recipientId) &&
              version == (recipientId.byKeyId ? 2 : 0) && ReadAlgorithm(&inner, &keyAlgorithm) &&
              ReadElement(&inner, kIdOctetString, &wrappedKey) && wrappedKey.length > 0 && AtEnd(inner);
    if (!ok) return Fail(CRYPT_E_ASN1_CORRUPT);
    keyTransport = true;
    if (!recipientId.byKeyId) FillCertInfo(recipientId, recipientInfo, recipientSerial);
    return true;
}

bool TCmsDecoder::State::ReadContentAlgorithm(DERCursor& cursor)
{
    Algorithm algorithm;
    if (!ReadAlgorithm(&cursor, &algorithm)) return Fail(CRYPT_E_ASN1_CORRUPT);
    algorithmKnown = true;
    const ByteBuffer& parameters = algorithm.parameters;
    switch (OIDToAlgorithm(algorithm.oid.pointer, algorithm.oid.length)) {
    case kAlgRc4:
        // Without salt only: parameters absent, NULL or an empty OCTET STRING.
        if (NoParameters(algorithm) || IsEmpty(parameters, kIdOctetString)) contentAlgorithm = CALG_RC4;
        return true;
    case kAlgDesEde3Cbc: {
        DERCursor inner = Reader(parameters.pointer, parameters.length);
        ByteBuffer vector;
        if (!ReadElement(&inner, kIdOctetString, &vector) || vector.length != kDesBlock || !AtEnd(inner))
            return Fail(CRYPT_E_ASN1_CORRUPT);
        iv.assign(vector.pointer, vector.pointer + vector.length);
        contentAlgorithm = CALG_3DES;
        return true;
    }
    default:
        return true;
    }
}

bool TCmsDecoder::State::ToSink(Sink sink, const unsigned char* data, std::size_t length)
{
    if (sink == Sink::Content) {
        // Detached, the content fed after the message is the one that counts.
        if (detached) return true;
        return HashAll(data, length) && Emit(data, length, false);
    }
    return decrypting ? DecryptBytes(data, length) : SpillBytes(data, length);
}

bool TCmsDecoder::State::Emit(const unsigned char* data, std::size_t length, bool final)
{
    if (!output.function || (!length && !final)) return true;
    return CallOutput(output, data, length, final);
}

HCRYPTPROV TCmsDecoder::State::OwnProvider()
{
    if (!ownTried) {
        ownTried = true;
        // The AES provider holds the SHA-2 family as well.
        HCRYPTPROV provider = 0;
        if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
            CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            ownProvider.Reset(provider);
    }
    return ownProvider.Get();
}

void TCmsDecoder::State::StartDigest(ALG_ID algorithm)
{
    if (FindDigest(algorithm) || digestCount == kMaxDigests) return;
    Digest& digest = digests[digestCount];
    if (callerProvider && CryptCreateHash(callerProvider, algorithm, 0, 0, digest.hash.Put())) {
        digest.provider = callerProvider;
    } else if (HCRYPTPROV own = OwnProvider()) {
        if (CryptCreateHash(own, algorithm, 0, 0, digest.hash.Put())) digest.provider = own;
    }
    // A digest the platform lacks stays unhashed.
    if (!digest.provider) return;
    digest.algorithm = algorithm;
    ++digestCount;
}

const TCmsDecoder::State::Digest* TCmsDecoder::State::FindDigest(ALG_ID algorithm) const
{
    for (std::size_t i = 0; i < digestCount; ++i)
        if (digests[i].algorithm == algorithm) return &digests[i];
    return nullptr;
}

bool TCmsDecoder::State::HashAll(const unsigned char* data, std::size_t length)
{
    for (std::size_t i = 0; i < digestCount; ++i) {
        for (std::size_t done = 0; done < length;) {
            const DWORD piece = static_cast<DWORD>(std::min(length - done, kHashPiece));
            if (!CryptHashData(digests[i].hash.Get(), data + done, piece, 0)) return false;
            done += piece;
        }
    }
    return true;
}

bool TCmsDecoder::State::FinishDigests()
{
    for (std::size_t i = 0; i < digestCount; ++i) {
        Digest& digest = digests[i];
        DWORD size = sizeof digest.value;
        if (!CryptGetHashParam(digest.hash.Get(), HP_HASHVAL, digest.value, &size, 0)) return false;
        digest.length = size;
        digest.hash.Reset();
    }
    return true;
}

bool TCmsDecoder::State::EndContent()
{
    if (detached) return true;
    return FinishDigests() && Emit(nullptr, 0, true);
}

bool TCmsDecoder::State::Verify(const CERT_INFO& certificate)
{
    if (!signerKnown) return Fail(CRYPT_E_INVALID_INDEX);
    // Attached, a message without content has signed nothing it shows.
    if (!detached && !contentPresent) return Fail(CRYPT_E_MSG_ERROR);
    const ALG_ID algorithm = DigestAlgorithm(signerDigest.oid);
    ALG_ID named = 0;
    if (!algorithm || !NoParameters(signerDigest) || !SignatureDigest(signatureAlgorithm.oid, &named) ||
        (named && named != algorithm) || !NoParameters(signatureAlgorithm))
        return Fail(CRYPT_E_UNKNOWN_ALGO);
    // Not among the message's digest algorithms, or not on this platform.
    const Digest* digest = FindDigest(algorithm);
    if (!digest) return Fail(CRYPT_E_MSG_ERROR);

    TCryptKey key;
    if (!CryptImportPublicKeyInfoEx(digest->provider, kEncoding,
                                    const_cast<PCERT_PUBLIC_KEY_INFO>(&certificate.SubjectPublicKeyInfo), 0, 0,
                                    nullptr, key.Put()))
        return false;
    std::size_t modulus = 0;
    if (!KeyBytes(key.Get(), &modulus)) return false;
    if (signature.length > modulus) return Fail(NTE_BAD_SIGNATURE);

    TCryptHash hash;
    if (!CryptCreateHash(digest->provider, algorithm, 0, 0, hash.Put())) return false;
    if (signedAttributes.length) {
        if (!CheckAttributes(*digest)) return false;
        // Signed as the SET OF they are, not under the [0] they are stored with.
        const unsigned char setId = kIdSet;
        if (!CryptHashData(hash.Get(), &setId, 1, 0) ||
            !CryptHashData(hash.Get(), signedAttributes.pointer + 1, static_cast<DWORD>(signedAttributes.length - 1),
                           0))
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

bool TCmsDecoder::State::CheckAttributes(const Digest& digest) const
{
    DERCursor cursor = Reader(signedAttributes.pointer, signedAttributes.length);
    ByteBuffer set;
    if (!ReadElement(&cursor, kIdExplicit0, &set)) return Fail(CRYPT_E_ASN1_CORRUPT);
    unsigned char typeOid[kOIDMaxLength];
    unsigned char digestOid[kOIDMaxLength];
    std::size_t typeLength = 0;
    std::size_t digestLength = 0;
    ObjectCodeToOID(kObjContentType, typeOid, &typeLength);
    ObjectCodeToOID(kObjMessageDigest, digestOid, &digestLength);
    bool typeSeen = false;
    bool digestSeen = false;
    DERCursor inner = Inside(set);
    while (!AtEnd(inner)) {
        ByteBuffer attribute, oid, values, value;
        if (!ReadElement(&inner, kIdSequence, &attribute)) return Fail(CRYPT_E_ASN1_CORRUPT);
        DERCursor fields = Inside(attribute);
        if (!ReadElement(&fields, kIdOid, &oid) || !ReadElement(&fields, kIdSet, &values) || !AtEnd(fields))
            return Fail(CRYPT_E_ASN1_CORRUPT);
        const bool isType = SameBytes(oid, typeOid, typeLength);
        const bool isDigest = SameBytes(oid, digestOid, digestLength);
        if (!isType && !isDigest) continue;
        // Each of the two once, with one value.
        DERCursor one = Inside(values);
        if ((isType ? typeSeen : digestSeen) || !ReadElement(&one, isType ? kIdOid : kIdOctetString, &value) ||
            !AtEnd(one))
            return Fail(CRYPT_E_MSG_ERROR);
        if (isType) {
            typeSeen = true;
            if (!SameBytes(value, innerOid.data(), innerOid.size())) return Fail(CRYPT_E_MSG_ERROR);
        } else {
            digestSeen = true;
            if (!SameBytes(value, digest.value, digest.length)) return Fail(CRYPT_E_HASH_VALUE);
        }
    }
    if (!typeSeen || !digestSeen) return Fail(CRYPT_E_AUTH_ATTR_MISSING);
    return true;
}

bool TCmsDecoder::State::SpillBytes(const unsigned char* data, std::size_t length)
{
    if (!spill) {
        try {
            spillName.reset(new TTempFile("tcd"));
        } catch (const EFileOpenError&) {
            return Fail(GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_CANNOT_MAKE));
        }
        spill.reset(std::fopen(spillName->c_str(), "w+b"));
        if (!spill) return Fail(static_cast<DWORD>(ERROR_OPEN_FAILED));
    }
    if (std::fwrite(data, 1, length, spill.get()) != length) return Fail(static_cast<DWORD>(ERROR_WRITE_FAULT));
    return true;
}

bool TCmsDecoder::State::ImportContentKey(HCRYPTPROV provider, DWORD keySpec)
{
    if (!keyTransport || OIDToAlgorithm(keyAlgorithm.oid.pointer, keyAlgorithm.oid.length) != kAlgRsaEncryption ||
        !NoParameters(keyAlgorithm) || !contentAlgorithm)
        return Fail(CRYPT_E_UNKNOWN_ALGO);
    TCryptKey exchangeKey;
    if (!CryptGetUserKey(provider, keySpec, exchangeKey.Put())) return false;
    std::size_t modulus = 0;
    if (!KeyBytes(exchangeKey.Get(), &modulus)) return false;
    if (wrappedKey.length > modulus) return Fail(NTE_BAD_DATA);

    // SIMPLEBLOB: the header, the wrapping algorithm, then the wrapped key
    // little-endian over the modulus' length.
    BLOBHEADER blobHeader = {};
    blobHeader.bType = SIMPLEBLOB;
    blobHeader.bVersion = CUR_BLOB_VERSION;
    blobHeader.aiKeyAlg = contentAlgorithm;
    const ALG_ID wrapping = CALG_RSA_KEYX;
    const std::size_t prefix = sizeof blobHeader + sizeof wrapping;
    Bytes key = Reversed(wrappedKey.pointer, wrappedKey.length);
    Bytes blob(prefix + modulus, 0);
    CopyBytes(blob.data(), &blobHeader, sizeof blobHeader);
    CopyBytes(blob.data() + sizeof blobHeader, &wrapping, sizeof wrapping);
    CopyBytes(blob.data() + prefix, key.data(), key.size());
    if (!CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), exchangeKey.Get(), CRYPT_NO_SALT,
                        contentKey.Put()))
        return false;
    if (contentAlgorithm == CALG_3DES) {
        DWORD cbc = CRYPT_MODE_CBC;
        if (!CryptSetKeyParam(contentKey.Get(), KP_MODE, reinterpret_cast<BYTE*>(&cbc), 0) ||
            !CryptSetKeyParam(contentKey.Get(), KP_IV, iv.data(), 0)) {
            DWORD error = GetLastError();
            contentKey.Reset();
            return Fail(error);
        }
    }
    return true;
}

bool TCmsDecoder::State::StartDecrypting()
{
    decrypting = true;
    blockCipher = contentAlgorithm == CALG_3DES;
    work.assign(kBlockSize + kDesBlock, 0);
    pending = 0;
    if (spill) {
        std::FILE* file = spill.get();
        if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0)
            return Fail(static_cast<DWORD>(ERROR_READ_FAULT));
        Bytes block(kBlockSize);
        for (;;) {
            const std::size_t n = std::fread(block.data(), 1, block.size(), file);
            if (n && !DecryptBytes(block.data(), n)) return false;
            if (n < block.size()) break;
        }
        if (std::ferror(file)) return Fail(static_cast<DWORD>(ERROR_READ_FAULT));
        spill.reset();
        spillName.reset();
    }
    return cipherDone ? FinishDecrypting() : true;
}

bool TCmsDecoder::State::DecryptBytes(const unsigned char* data, std::size_t length)
{
    while (length) {
        const std::size_t take = std::min(length, work.size() - pending);
        CopyBytes(work.data() + pending, data, take);
        pending += take;
        data += take;
        length -= take;
        if ((pending == work.size() || !blockCipher) && !DecryptPending()) return false;
    }
    return true;
}

// Decrypts what waits. A block cipher keeps back a part block and the last
// whole block, whose padding only the end may remove.
bool TCmsDecoder::State::DecryptPending()
{
    const std::size_t count = !blockCipher ? pending : pending ? (pending - 1) / kDesBlock * kDesBlock : 0;
    if (!count) return true;
    DWORD size = static_cast<DWORD>(count);
    if (!CryptDecrypt(contentKey.Get(), 0, FALSE, 0, work.data(), &size)) return false;
    if (size != count) return Fail(NTE_BAD_LEN);
    if (!Emit(work.data(), count, false)) return false;
    std::memmove(work.data(), work.data() + count, pending - count);
    FillBytes(work.data() + (pending - count), 0, count);
    pending -= count;
    return true;
}

bool TCmsDecoder::State::FinishDecrypting()
{
    if (!DecryptPending()) return false;
    DWORD size = static_cast<DWORD>(pending);
    if (blockCipher) {
        // Padding always adds a block's worth at most: the ciphertext is whole blocks.
        if (pending != kDesBlock) return Fail(NTE_BAD_DATA);
        if (!CryptDecrypt(contentKey.Get(), 0, TRUE, 0, work.data(), &size)) return false;
    }
    decrypting = false;
    decrypted = true;
    const bool ok = Emit(work.data(), size, true);
    Wipe(work);
    contentKey.Reset();
    return ok;
}

bool TCmsDecoder::State::EndCipher()
{
    cipherDone = true;
    return decrypting ? FinishDecrypting() : true;
}

TCmsDecoder::TCmsDecoder() = default;

TCmsDecoder::~TCmsDecoder() = default;

bool TCmsDecoder::Open(bool detached, CmsOutput output, HCRYPTPROV provider)
{
    if (state_ && state_->busy) return Fail(static_cast<DWORD>(ERROR_BUSY));
    state_.reset();
    std::unique_ptr<State> state(new State);
    state->detached = detached;
    state->output = output;
    state->callerProvider = provider;
    // Reserved whole: frames are held by reference while one is pushed.
    state->stack.reserve(kMaxDepth);
    state->stack.push_back(State::Frame{State::Node::Root, State::Sink::None, false, UINT64_MAX, UINT64_MAX, 0, 0});
    state_ = std::move(state);
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
    if (state->signerId.byKeyId) return Fail(CRYPT_E_SIGNER_NOT_FOUND);
    *info = &state->signerInfo;
    return true;
}

bool TCmsDecoder::GetRecipientInfo(const CERT_INFO** info) const
{
    if (!info) return Fail(E_INVALIDARG);
    const State* state = state_.get();
    if (!State::Identified(state, kCmsEnvelopedData, state && state->recipientKnown)) return false;
    if (!state->keyTransport || state->recipientId.byKeyId) return Fail(CRYPT_E_RECIPIENT_NOT_FOUND);
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
        if (!CertAddEncodedCertificateToStore(store.Get(), kEncoding, der.data(), static_cast<DWORD>(der.size()),
                                              CERT_STORE_ADD_USE_EXISTING, nullptr)) {
            const DWORD error = GetLastError();
            store.Reset();
            return Fail(error);
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
    if (state->decrypting || state->decrypted) return Fail(CRYPT_E_ALREADY_DECRYPTED);
    if (!state->recipientKnown || !state->algorithmKnown) return Fail(CRYPT_E_STREAM_MSG_NOT_READY);
    state->busy = true;
    // A key that does not unwrap leaves the decoder as it was.
    bool ok = state->ImportContentKey(provider, keySpec);
    if (ok) {
        ok = state->StartDecrypting();
        if (!ok) state->failed = true;
    }
    state->busy = false;
    return ok;
}
