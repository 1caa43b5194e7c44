// The decoder's state, shared by the grammar (cms_decode_grammar.cpp) and
// the rest of the decoder (cms_decode.cpp). Private to those two files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/der/ber_push_reader.h"
#include "core/pkcs7/pkcs7_fields.h"
#include "signer/cms/cms_common.h"
#include "signer/cms/cms_content_decryptor.h"
#include "signer/cms/cms_decode.h"
#include "signer/cms/cms_digest_set.h"

namespace cmsdecode {

using Bytes = std::vector<unsigned char>;
using cmscommon::Fail;

inline bool Fail(HRESULT code) { return cmscommon::Fail(static_cast<DWORD>(code)); }

// Caps on what is gathered whole; a larger element fails the message.
const std::size_t kMaxSmallElement = 4096;  // identifiers, versions, algorithms
// Long chains and bundles are carried whole: each certificate, their count
// and their sum are bounded, never the chain's length alone.
const std::size_t kMaxCertificate = 65536;
const std::size_t kMaxCertificates = 1024;
const std::size_t kMaxCertificateBytes = 4 * 1024 * 1024;
const std::size_t kMaxSignerInfo = 65536;
const std::size_t kMaxRecipientInfo = 16384;

// Identifier bytes.
const unsigned char kIdInteger = 0x02;
const unsigned char kIdOctetString = 0x04;
const unsigned char kIdOctetChunks = 0x24;
const unsigned char kIdOid = 0x06;
const unsigned char kIdSequence = 0x30;
const unsigned char kIdSet = 0x31;
const unsigned char kIdImplicit0 = 0x80;
const unsigned char kIdExplicit0 = 0xA0;
const unsigned char kIdExplicit1 = 0xA1;
const unsigned char kIdConstructed = 0x20;

// The nodes of the grammar, as frame labels.
enum Node : int {
    kNodeRoot,
    kNodeContentInfo,
    kNodeExplicit,
    kNodeSignedData,
    kNodeEncap,
    kNodeEContent,
    kNodeChunks,
    kNodeCertificates,
    kNodeSignerInfos,
    kNodeEnvelopedData,
    kNodeRecipientInfos,
    kNodeEncryptedInfo,
};

// The fields of each node in the order they come; a frame's field is the
// last one seen.
enum ContentInfoField : int { kContentInfoStart, kContentInfoType, kContentInfoContent };
enum SignedDataField : int {
    kSignedStart,
    kSignedVersion,
    kSignedDigestAlgorithms,
    kSignedEncapsulated,
    kSignedCertificates,
    kSignedCrls,
    kSignedSignerInfos,
};
enum EncapField : int { kEncapStart, kEncapType, kEncapContent };
enum EnvelopedDataField : int {
    kEnvelopedStart,
    kEnvelopedVersion,
    kEnvelopedOriginator,
    kEnvelopedRecipients,
    kEnvelopedContent,
    kEnvelopedUnprotected,
};
enum EncryptedInfoField : int { kEncryptedStart, kEncryptedType, kEncryptedAlgorithm, kEncryptedContent };

// The elements gathered whole.
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

// Where passing content goes, as frame routes.
enum Sink : int { kSinkNone, kSinkContent, kSinkCipher };

}  // namespace cmsdecode

struct TCmsDecoder::State : BerPushHandler {
    using Bytes = cmsdecode::Bytes;

    using Element = cmsdecode::Element;
    enum class Phase { Message, Content, Done };

    State(bool detached, CmsOutput output, HCRYPTPROV provider)
        : detached(detached), output(output), digests(provider), decryptor(this->output)
    {
        InitBerPushReader(&reader);
    }

    bool Step(const unsigned char* data, std::size_t length, bool last);
    bool MessageComplete() const { return BerComplete(reader); }
    // Whether a message of the type has given its signer or recipient 0.
    static bool Identified(const State* state, DWORD wanted, bool known);

    // The grammar.
    bool OnHeader(BerFrame& parent, const BerHeader& header, BerDecision* decision) override;
    bool OnContent(const unsigned char* data, std::size_t length) override;
    bool OnTaken() override;
    bool OnClose(const BerFrame& frame) override;
    bool Gather(Bytes& target, Element what, const BerHeader& header, std::size_t cap, BerDecision* decision);

    // The gathered elements.
    bool OnElement();
    bool ReadContentType(const ByteBuffer& element);
    bool ReadDigestAlgorithms(const ByteBuffer& element);
    bool ReadInnerType(const ByteBuffer& element);
    bool ReadSigner();
    bool ReadRecipient();
    bool ReadContentAlgorithm(const ByteBuffer& element);

    bool ToSink(int sink, const unsigned char* data, std::size_t length);
    bool EndContent();
    bool Verify(const CERT_INFO& certificate);
    bool CheckAttributes(const TCmsDigestSet::Digest& digest) const;
    bool Decrypt(HCRYPTPROV provider, DWORD keySpec);

    bool detached;
    CmsOutput output;
    bool failed = false;
    bool busy = false;
    Phase phase = Phase::Message;

    BerPushReader reader;
    bool gathering = false;  // the taken element is gathered, else passed
    Bytes* target = nullptr;
    Element element = Element::ContentType;
    int passing = cmsdecode::kSinkNone;
    Bytes small;

    DWORD type = 0;
    bool innerKnown = false;
    Bytes innerOid;
    std::string innerText;
    bool contentPresent = false;

    TCmsDigestSet digests;
    std::vector<Bytes> certificates;
    std::size_t certificateBytes = 0;  // announced lengths of those gathered

    bool signerKnown = false;
    Bytes signerBytes;
    Pkcs7SignerInfo signer;
    CERT_INFO signerInfo = {};
    Bytes signerSerial;

    bool recipientKnown = false;
    Bytes recipientBytes;
    Pkcs7RecipientInfo recipient;
    CERT_INFO recipientInfo = {};
    Bytes recipientSerial;

    bool algorithmKnown = false;
    ALG_ID contentAlgorithm = 0;  // 0: not one the decoder can decrypt
    Bytes iv;

    TCmsContentDecryptor decryptor;
};
