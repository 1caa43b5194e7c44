// The PKCS#7 grammar over the BER push reader: for each node, its fields
// in the order they come and what becomes of each (descended into, gathered
// whole and read with the field readers, passed to a sink, or skipped).
#include "core/der/oid.h"
#include "signer/cms/cms_algorithms.h"
#include "signer/cms/cms_decode_state.h"
#include "signer/errors.h"

using namespace cmsdecode;

namespace {

// CERT_INFO naming the issuer and serial number, the serial stored as the
// platform stores it.
void FillCertInfo(const Pkcs7Identifier& id, CERT_INFO& info, Bytes& serial)
{
    serial = cmscommon::Reversed(id.serial.pointer, id.serial.length);
    info = CERT_INFO{};
    info.Issuer.cbData = static_cast<DWORD>(id.issuer.length);
    info.Issuer.pbData = id.issuer.pointer;
    info.SerialNumber.cbData = static_cast<DWORD>(serial.size());
    info.SerialNumber.pbData = serial.data();
}

// A field of a node whose fields come in order: the header that may follow
// the fields from `after` to `upTo`, the field it is, and what becomes of it.
struct FieldRow {
    int node;
    int after;
    int upTo;
    unsigned char id;
    int field;
    enum Action { Gather, Descend, Pass, Skip } action;
    Element element;  // gathered, up to kMaxSmallElement
    int child;        // node descended into
    int sink;         // where passing content goes
};

const FieldRow kFieldRows[] = {
    {kNodeContentInfo, kContentInfoStart, kContentInfoStart, kIdOid, kContentInfoType, FieldRow::Gather,
     Element::ContentType, 0, kSinkNone},
    {kNodeContentInfo, kContentInfoType, kContentInfoType, kIdExplicit0, kContentInfoContent, FieldRow::Descend,
     Element::ContentType, kNodeExplicit, kSinkNone},

    {kNodeSignedData, kSignedStart, kSignedStart, kIdInteger, kSignedVersion, FieldRow::Gather,
     Element::SignedVersion, 0, kSinkNone},
    {kNodeSignedData, kSignedVersion, kSignedVersion, kIdSet, kSignedDigestAlgorithms, FieldRow::Gather,
     Element::DigestAlgorithms, 0, kSinkNone},
    {kNodeSignedData, kSignedDigestAlgorithms, kSignedDigestAlgorithms, kIdSequence, kSignedEncapsulated,
     FieldRow::Descend, Element::ContentType, kNodeEncap, kSinkNone},
    {kNodeSignedData, kSignedEncapsulated, kSignedEncapsulated, kIdExplicit0, kSignedCertificates,
     FieldRow::Descend, Element::ContentType, kNodeCertificates, kSinkNone},
    {kNodeSignedData, kSignedEncapsulated, kSignedCertificates, kIdExplicit1, kSignedCrls, FieldRow::Skip,
     Element::ContentType, 0, kSinkNone},
    {kNodeSignedData, kSignedEncapsulated, kSignedCrls, kIdSet, kSignedSignerInfos, FieldRow::Descend,
     Element::ContentType, kNodeSignerInfos, kSinkNone},

    {kNodeEncap, kEncapStart, kEncapStart, kIdOid, kEncapType, FieldRow::Gather, Element::InnerType, 0, kSinkNone},
    {kNodeEncap, kEncapType, kEncapType, kIdExplicit0, kEncapContent, FieldRow::Descend, Element::ContentType,
     kNodeEContent, kSinkNone},

    {kNodeEnvelopedData, kEnvelopedStart, kEnvelopedStart, kIdInteger, kEnvelopedVersion, FieldRow::Gather,
     Element::EnvelopedVersion, 0, kSinkNone},
    {kNodeEnvelopedData, kEnvelopedVersion, kEnvelopedVersion, kIdExplicit0, kEnvelopedOriginator, FieldRow::Skip,
     Element::ContentType, 0, kSinkNone},
    {kNodeEnvelopedData, kEnvelopedVersion, kEnvelopedOriginator, kIdSet, kEnvelopedRecipients, FieldRow::Descend,
     Element::ContentType, kNodeRecipientInfos, kSinkNone},
    {kNodeEnvelopedData, kEnvelopedRecipients, kEnvelopedRecipients, kIdSequence, kEnvelopedContent,
     FieldRow::Descend, Element::ContentType, kNodeEncryptedInfo, kSinkNone},
    {kNodeEnvelopedData, kEnvelopedContent, kEnvelopedContent, kIdExplicit1, kEnvelopedUnprotected, FieldRow::Skip,
     Element::ContentType, 0, kSinkNone},

    {kNodeEncryptedInfo, kEncryptedStart, kEncryptedStart, kIdOid, kEncryptedType, FieldRow::Gather,
     Element::InnerType, 0, kSinkNone},
    {kNodeEncryptedInfo, kEncryptedType, kEncryptedType, kIdSequence, kEncryptedAlgorithm, FieldRow::Gather,
     Element::ContentAlgorithm, 0, kSinkNone},
    {kNodeEncryptedInfo, kEncryptedAlgorithm, kEncryptedAlgorithm, kIdImplicit0, kEncryptedContent, FieldRow::Pass,
     Element::ContentType, 0, kSinkCipher},
    {kNodeEncryptedInfo, kEncryptedAlgorithm, kEncryptedAlgorithm, kIdExplicit0, kEncryptedContent,
     FieldRow::Descend, Element::ContentType, kNodeChunks, kSinkCipher},
};

const FieldRow* FindRow(int node, int field, unsigned char id)
{
    for (const FieldRow& row : kFieldRows)
        if (row.node == node && row.id == id && field >= row.after && field <= row.upTo) return &row;
    return nullptr;
}

bool HasFieldRows(int node)
{
    for (const FieldRow& row : kFieldRows)
        if (row.node == node) return true;
    return false;
}

}  // namespace

bool TCmsDecoder::State::OnHeader(BerFrame& parent, const BerHeader& header, BerDecision* decision)
{
    const unsigned char id = header.id;
    const std::size_t index = parent.children - 1;
    auto pass = [this, decision](int sink) {
        gathering = false;
        passing = sink;
        *decision = BerDecision{BerDecision::Take, 0, 0};
        return true;
    };
    auto descend = [decision](int node, int sink) {
        *decision = BerDecision{BerDecision::Descend, node, sink};
        return true;
    };
    auto skip = [decision]() {
        *decision = BerDecision{BerDecision::Skip, 0, 0};
        return true;
    };
    if (HasFieldRows(parent.label)) {
        const FieldRow* row = FindRow(parent.label, parent.field, id);
        if (!row) return Fail(CRYPT_E_ASN1_BADTAG);
        parent.field = row->field;
        if (row->node == kNodeEncap && row->field == kEncapContent) contentPresent = true;
        switch (row->action) {
        case FieldRow::Gather:
            return Gather(small, row->element, header, kMaxSmallElement, decision);
        case FieldRow::Descend:
            return descend(row->child, row->sink);
        case FieldRow::Pass:
            return pass(row->sink);
        case FieldRow::Skip:
            return skip();
        }
    }
    switch (parent.label) {
    case kNodeRoot:
        if (id == kIdSequence) return descend(kNodeContentInfo, kSinkNone);
        break;
    case kNodeExplicit:
        if (index == 0 && id == kIdSequence)
            return descend(type == kCmsSignedData ? kNodeSignedData : kNodeEnvelopedData, kSinkNone);
        break;
    case kNodeEContent:
        if (index != 0) break;
        if (id == kIdOctetString) return pass(kSinkContent);
        if (id == kIdOctetChunks) return descend(kNodeChunks, kSinkContent);
        break;
    case kNodeChunks:
        if (id == kIdOctetString) return pass(parent.route);
        if (id == kIdOctetChunks) return descend(kNodeChunks, parent.route);
        break;
    case kNodeCertificates:
        // Other certificate formats are passed over.
        if (id != kIdSequence) return skip();
        if (certificates.size() >= kMaxCertificates) return Fail(CRYPT_E_ASN1_LARGE);
        if (header.length > kMaxCertificateBytes - certificateBytes) return Fail(CRYPT_E_ASN1_LARGE);
        certificateBytes += static_cast<std::size_t>(header.length);
        certificates.emplace_back();
        return Gather(certificates.back(), Element::Certificate, header, kMaxCertificate, decision);
    case kNodeSignerInfos:
        // Only signer 0 counts.
        if (index > 0) return skip();
        if (id == kIdSequence) return Gather(signerBytes, Element::Signer, header, kMaxSignerInfo, decision);
        break;
    case kNodeRecipientInfos:
        // Only recipient 0 counts; it may be of a kind the decoder cannot use.
        if (index > 0) return skip();
        if (id & kIdConstructed)
            return Gather(recipientBytes, Element::Recipient, header, kMaxRecipientInfo, decision);
        break;
    default:
        break;
    }
    return Fail(CRYPT_E_ASN1_BADTAG);
}

bool TCmsDecoder::State::OnClose(const BerFrame& frame)
{
    bool complete = true;
    switch (frame.label) {
    case kNodeContentInfo:
        complete = frame.field == kContentInfoContent;
        break;
    case kNodeExplicit:
    case kNodeEContent:
        complete = frame.children == 1;
        break;
    case kNodeSignedData:
        complete = frame.field == kSignedSignerInfos;
        break;
    case kNodeEncap:
        if (frame.field >= kEncapType) return EndContent();
        complete = false;
        break;
    case kNodeEnvelopedData:
        complete = frame.field >= kEnvelopedContent;
        break;
    case kNodeEncryptedInfo:
        if (frame.field >= kEncryptedAlgorithm) return decryptor.End();
        complete = false;
        break;
    default:
        return true;
    }
    return complete ? true : Fail(CRYPT_E_ASN1_CORRUPT);
}

bool TCmsDecoder::State::Gather(Bytes& into, Element what, const BerHeader& header, std::size_t cap,
                                BerDecision* decision)
{
    // These elements are DER.
    if (header.indefinite) return Fail(CRYPT_E_ASN1_CORRUPT);
    if (header.length > cap - header.size) return Fail(CRYPT_E_ASN1_LARGE);
    into.assign(header.bytes, header.bytes + header.size);
    into.reserve(header.size + static_cast<std::size_t>(header.length));
    gathering = true;
    target = &into;
    element = what;
    *decision = BerDecision{BerDecision::Take, 0, 0};
    return true;
}

bool TCmsDecoder::State::OnContent(const unsigned char* data, std::size_t length)
{
    if (!gathering) return ToSink(passing, data, length);
    target->insert(target->end(), data, data + length);
    return true;
}

bool TCmsDecoder::State::OnTaken() { return gathering ? OnElement() : true; }

bool TCmsDecoder::State::OnElement()
{
    const ByteBuffer gathered{target->data(), target->size()};
    static const int kSignedVersions[] = {1, 3, 4, 5};
    static const int kEnvelopedVersions[] = {0, 2, 3, 4};
    int version = 0;
    switch (element) {
    case Element::ContentType:
        return ReadContentType(gathered);
    case Element::SignedVersion:
        if (!ReadPkcs7Version(gathered, kSignedVersions, 4, &version)) break;
        return true;
    case Element::EnvelopedVersion:
        if (!ReadPkcs7Version(gathered, kEnvelopedVersions, 4, &version)) break;
        return true;
    case Element::DigestAlgorithms:
        return ReadDigestAlgorithms(gathered);
    case Element::InnerType:
        return ReadInnerType(gathered);
    case Element::Certificate:
        return true;
    case Element::Signer:
        return ReadSigner();
    case Element::Recipient:
        return ReadRecipient();
    case Element::ContentAlgorithm:
        return ReadContentAlgorithm(gathered);
    }
    return Fail(CRYPT_E_ASN1_CORRUPT);
}

bool TCmsDecoder::State::ReadContentType(const ByteBuffer& element)
{
    ByteBuffer oid;
    if (!ReadPkcs7ObjectId(element, &oid)) return Fail(CRYPT_E_ASN1_CORRUPT);
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

bool TCmsDecoder::State::ReadDigestAlgorithms(const ByteBuffer& element)
{
    std::vector<Pkcs7Algorithm> algorithms;
    if (!ReadPkcs7DigestAlgorithms(element, &algorithms)) return Fail(CRYPT_E_ASN1_CORRUPT);
    // Unknown ones are not hashed; a signer that names one fails.
    for (const Pkcs7Algorithm& algorithm : algorithms)
        if (ALG_ID digest = cmsalgorithm::DigestAlgorithm(algorithm.oid)) digests.Start(digest);
    return true;
}

bool TCmsDecoder::State::ReadInnerType(const ByteBuffer& element)
{
    ByteBuffer oid;
    if (!ReadPkcs7ObjectId(element, &oid) || !Pkcs7DottedOid(oid, &innerText)) return Fail(CRYPT_E_ASN1_CORRUPT);
    innerOid.assign(oid.pointer, oid.pointer + oid.length);
    innerKnown = true;
    return true;
}

bool TCmsDecoder::State::ReadSigner()
{
    if (!ReadPkcs7SignerInfo(ByteBuffer{signerBytes.data(), signerBytes.size()}, &signer))
        return Fail(CRYPT_E_ASN1_CORRUPT);
    if (!signer.signer.byKeyId) FillCertInfo(signer.signer, signerInfo, signerSerial);
    signerKnown = true;
    return true;
}

bool TCmsDecoder::State::ReadRecipient()
{
    recipientKnown = true;
    if (!ReadPkcs7RecipientInfo(ByteBuffer{recipientBytes.data(), recipientBytes.size()}, &recipient))
        return Fail(CRYPT_E_ASN1_CORRUPT);
    if (recipient.keyTransport && !recipient.recipient.byKeyId)
        FillCertInfo(recipient.recipient, recipientInfo, recipientSerial);
    return true;
}

bool TCmsDecoder::State::ReadContentAlgorithm(const ByteBuffer& element)
{
    Pkcs7ContentCipher cipher;
    if (!ReadPkcs7ContentCipher(element, &cipher)) return Fail(CRYPT_E_ASN1_CORRUPT);
    algorithmKnown = true;
    switch (cipher.algorithm) {
    case kAlgRc4:
        contentAlgorithm = CALG_RC4;
        break;
    case kAlgDesEde3Cbc:
        iv.assign(cipher.iv.pointer, cipher.iv.pointer + cipher.iv.length);
        contentAlgorithm = CALG_3DES;
        break;
    default:
        break;
    }
    return true;
}
