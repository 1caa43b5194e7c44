// The decoder's working state, shared by its parts: the message reader, the
// recovered key, the content digests and the certificates it carries.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_engine_params.h"
#include "core/rsa/rsa_key.h"

namespace pkcs7_decode {

constexpr std::uint64_t kNoEnd = ~std::uint64_t(0);
constexpr std::size_t kMaxCarriedCertificates = 10;  // kept and matched; later ones are skipped
constexpr std::size_t kDigestKinds = 4;  // MD2, MD4, MD5, SHA-1

// The message stream and how many bytes were taken from it; every read is
// checked against the end of the element it lies in.
struct MessageReader {
    DataStream* stream = nullptr;
    std::uint64_t position = 0;
};

struct Header {
    unsigned char identifier = 0;
    std::size_t length = 0;
    std::size_t size = 0;      // of the header itself
    std::uint64_t end = 0;     // position after the content
};

// One header that must lie inside [position, end).
bool ReadHeader(MessageReader* reader, std::uint64_t end, Header* header);
bool ReadExpectedHeader(MessageReader* reader, std::uint64_t end, unsigned char identifier, Header* header);
bool ReadBytes(MessageReader* reader, unsigned char* out, std::size_t count);
// A whole element (header and content, at most kPkcs7RecordBufferSize bytes)
// into the buffer; whole views it.
bool ReadRecord(MessageReader* reader, std::uint64_t end, unsigned char* buffer, ByteBuffer* whole);

// What a certificate signs as: its issuer Name (whole DER) and serial INTEGER content.
struct IssuerSerial {
    ByteBuffer issuer{nullptr, 0};
    ByteBuffer serial{nullptr, 0};
};
bool CertificateIssuerSerial(const ByteBuffer& certificate, IssuerSerial* out);
bool SameIssuerSerial(const IssuerSerial& a, const ByteBuffer& issuer, const ByteBuffer& serial);

struct CarriedSigner {
    std::uint32_t item = 0;  // in slot 1
    RsaPublicKey publicKey;
};

struct DecodeState {
    // The call's parameters.
    DataStream* output = nullptr;
    DataStream* detached = nullptr;
    DataSets* sets = nullptr;
    unsigned char* chunk = nullptr;
    bool keyless = false;
    int* status = nullptr;
    int* innerType = nullptr;
    int* outerType = nullptr;
    int* contentCipher = nullptr;

    MessageReader reader;
    std::uint64_t bodyEnd = kNoEnd;

    // The transported key as unwrapped, and the cipher's IV.
    unsigned char transported[32] = {};
    std::size_t transportedLength = 0;
    unsigned char iv[8] = {};
    bool haveIv = false;

    // Content digests, one per algorithm the message lists.
    std::uint32_t digestTypes[kDigestKinds] = {};
    DigestContext digests[kDigestKinds];
    unsigned char digestValues[kDigestKinds][kMaxDigestLength] = {};
    std::size_t digestCount = 0;
    bool digestsStarted = false;  // only started contexts are ever updated

    // Content.
    unsigned char innerOid[16] = {};  // the content type the signatures cover
    std::size_t innerOidLength = 0;
    std::uint64_t contentLength = 0;
    bool detachedSignature = false;

    CarriedSigner signers[kMaxCarriedCertificates];
    std::size_t signerCount = 0;

    ~DecodeState();
};

// Parts of the decoding, in message order; each answers Done or the failure.
Pkcs7Result ReadRecipientInfos(DecodeState* state);
Pkcs7Result ReadDigestAlgorithms(DecodeState* state);
Pkcs7Result ReadEncryptedContentInfo(DecodeState* state, std::uint64_t* infoEnd);
Pkcs7Result ProcessContent(DecodeState* state);
Pkcs7Result ReadCertificates(DecodeState* state);
Pkcs7Result ReadSignerInfos(DecodeState* state);

// Content digests of the listed kind; null when the message lists none such.
const unsigned char* ContentDigest(const DecodeState* state, std::uint32_t digestType);

// Strict PKCS#5 padding of block ciphers: 1 to 8 bytes, all equal to the count.
bool RemoveBlockPadding(const unsigned char* data, std::size_t* length);

}  // namespace pkcs7_decode
