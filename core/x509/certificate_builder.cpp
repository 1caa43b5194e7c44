#include "core/x509/certificate_builder.h"

#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/der/der.h"
#include "core/der/der_builder.h"
#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/x509/certificate.h"

namespace {

using Buffer = std::vector<unsigned char>;

bool HoldsData(const ByteBuffer& slot) { return slot.pointer && slot.length; }

bool HasExtensions(const ExtensionTable* extensions)
{
    if (!extensions) return false;
    for (const ByteBuffer& slot : extensions->slots)
        if (HoldsData(slot)) return true;
    return false;
}

// A time text the certificate decoder reads back.
bool IsValidityText(const char* text)
{
    if (!text) return false;
    const std::size_t length = std::strlen(text);
    return length > 0 && length < kValidityTextSize;
}

bool IsComplete(const CertificateToSign& fields)
{
    return HoldsData(fields.serialNumber) && (fields.issuer || HoldsData(fields.issuerName)) && fields.subject &&
           fields.publicKey && IsValidityText(fields.notBefore) && IsValidityText(fields.notAfter);
}

// The last length bytes of a buffer a DER writer filled.
ByteBuffer Tail(Buffer& buffer, std::size_t length)
{
    return ByteBuffer{buffer.data() + buffer.size() - length, length};
}

int CopyOut(const ByteBuffer& encoding, unsigned char* out, std::size_t outCapacity, std::size_t* outLength)
{
    if (!out || encoding.length == 0 || encoding.length > outCapacity) return 0;
    CopyBytes(out, encoding.pointer, encoding.length);
    *outLength = encoding.length;
    return 1;
}

// SEQUENCE { body, AlgorithmIdentifier, BIT STRING signature } at the end of
// the buffer; its length, 0 when it does not fit.
std::size_t WriteSignedStructure(unsigned char* buffer, std::size_t size, const ByteBuffer& body,
                                 const ByteBuffer& signature, int algorithm)
{
    DERBuilder builder;
    InitDERBuilder(&builder, buffer, size);
    BuildDERBytes(&builder, signature);
    BuildDER(&builder, [&](DERCursor* c) {
        return PutDERValue(c, kTagBitString, ByteBuffer{nullptr, signature.length});
    });
    BuildDER(&builder, [&](DERCursor* c) { return EncodeAlgorithmId(c, algorithm); });
    BuildDERBytes(&builder, body);
    CloseDER(&builder, kTagSequence, 0);
    return builder.status == kDERBuildOk ? static_cast<std::size_t>(DERBuilderLength(&builder)) : 0;
}

// Signs the body and writes the signed structure at the end of out.
std::size_t SignAndWrap(DigestInfoWork* work, const ByteBuffer& body, int algorithm, const RsaPrivateKey* key,
                        unsigned char* out, std::size_t outSize)
{
    if (!key || !HoldsData(body)) return 0;
    unsigned char signature[kRsaMaxModulusBytes];
    std::size_t signatureLength = 0;
    if (SignDigestInfo(work, algorithm, body.pointer, body.length, key, signature, &signatureLength) == 0) return 0;
    return WriteSignedStructure(out, outSize, body, ByteBuffer{signature, signatureLength}, algorithm);
}

// The wrapper's body: SEQUENCE { version, Certificate, SET attributes }.
std::size_t EncodeWrapperBody(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                              const ByteBuffer& version, const CertificateToSign& fields,
                              const RsaPrivateKey* privateKey, const ExtensionTable* attributes,
                              const ExtensionTable* certificateExtensions)
{
    *outLength = 0;
    if (!attributes || !privateKey || !HoldsData(version)) return 0;
    Buffer tbs(kCertificateBuildSize), certificate(kCertificateBuildSize), body(kCertificateBuildSize);
    DigestInfoWork work;
    const std::size_t certificateLength =
        EncodeSignedCertificateInto(&work, certificate.data(), certificate.size(), fields, privateKey, tbs.data(),
                                    tbs.size(), certificateExtensions);
    if (certificateLength == 0) return 0;
    DERBuilder builder;
    InitDERBuilder(&builder, body.data(), body.size());
    BuildDER(&builder, [&](DERCursor* c) { return EncodeAttributeSet(c, attributes, 0, 0); });
    BuildDERBytes(&builder, Tail(certificate, certificateLength));
    BuildDERInteger(&builder, version);
    CloseDER(&builder, kTagSequence, 0);
    if (builder.status != kDERBuildOk) return 0;
    const ByteBuffer encoding = DERBuilderWritten(&builder);
    return CopyOut(encoding, out, outCapacity, outLength) ? encoding.length : 0;
}

}  // namespace

bool FindCertificateSubjectName(const unsigned char* der, std::size_t length, ByteBuffer* name)
{
    using namespace der_reader;
    DERCursor reader = Reader(der, length), certificate, tbs;
    if (!Enter(&reader, kTagSequence, &certificate) || !Enter(&certificate, kTagSequence, &tbs)) return false;
    if (PeekTag(&tbs) == kTagContextConstructed && !SkipElement(&tbs)) return false;
    // serialNumber, signature, issuer, validity, then the subject.
    for (int tag : {kTagInteger, kTagSequence, kTagSequence, kTagSequence}) {
        if (PeekTag(&tbs) != tag || !SkipElement(&tbs)) return false;
    }
    ByteBuffer content = {nullptr, 0};
    return ReadExpected(&tbs, kTagSequence, &content, name);
}

std::size_t EncodeTBSCertificate(DERCursor* cursor, const CertificateToSign& fields, const ExtensionTable* extensions)
{
    if (!IsComplete(fields)) return 0;
    const bool version3 = HasExtensions(extensions);
    DERBuilder builder = {*cursor, 0, kDERBuildOk};
    const std::uint64_t end = DERBuilderMark(&builder);
    if (version3) BuildDER(&builder, [&](DERCursor* c) { return EncodeExtensions(c, extensions); });
    BuildDER(&builder,
             [&](DERCursor* c) { return EncodeSubjectPublicKeyInfo(c, fields.keyAlgorithm, fields.publicKey); });
    BuildDER(&builder, [&](DERCursor* c) { return EncodeName(c, fields.subject); });
    BuildDER(&builder, [&](DERCursor* c) { return EncodeValidity(c, fields.notBefore, fields.notAfter); });
    if (HoldsData(fields.issuerName))
        BuildDERBytes(&builder, fields.issuerName);
    else
        BuildDER(&builder, [&](DERCursor* c) { return EncodeName(c, fields.issuer); });
    BuildDER(&builder, [&](DERCursor* c) { return EncodeAlgorithmId(c, fields.signatureAlgorithm); });
    BuildDERInteger(&builder, fields.serialNumber);
    if (version3) {
        const std::uint64_t versionEnd = DERBuilderMark(&builder);
        BuildDERSmallInteger(&builder, 2);
        CloseDER(&builder, kTagContextConstructed, versionEnd);
    }
    CloseDER(&builder, kTagSequence, end);
    if (builder.status != kDERBuildOk) return 0;
    *cursor = builder.cursor;
    return static_cast<std::size_t>(DERBuilderLength(&builder) - end);
}

std::size_t EncodeSignedCertificateInto(DigestInfoWork* work, unsigned char* out, std::size_t outSize,
                                        const CertificateToSign& fields, const RsaPrivateKey* privateKey,
                                        unsigned char* tbsBuffer, std::size_t tbsSize, const ExtensionTable* extensions)
{
    DERCursor tbs;
    InitDERWriter(&tbs, tbsBuffer, tbsSize);
    const std::size_t tbsLength = EncodeTBSCertificate(&tbs, fields, extensions);
    if (tbsLength == 0 || !privateKey) return tbsLength;
    const ByteBuffer signedPart = {tbsBuffer + tbsSize - tbsLength, tbsLength};
    return SignAndWrap(work, signedPart, fields.signatureAlgorithm, privateKey, out, outSize);
}

int EncodeSignedCertificate(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                            const CertificateToSign& fields, const RsaPrivateKey* privateKey,
                            const ExtensionTable* extensions)
{
    *outLength = 0;
    if (!privateKey) return 0;
    Buffer tbs(kCertificateBuildSize), certificate(kCertificateBuildSize);
    DigestInfoWork work;
    const std::size_t length = EncodeSignedCertificateInto(&work, certificate.data(), certificate.size(), fields,
                                                           privateKey, tbs.data(), tbs.size(), extensions);
    if (length == 0) return 0;
    return CopyOut(Tail(certificate, length), out, outCapacity, outLength);
}

int EncodeSignedCertificateAlt(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                               const CertificateToSign& fields, const RsaPrivateKey* privateKey,
                               const ExtensionTable* extensions)
{
    return EncodeSignedCertificate(out, outCapacity, outLength, fields, privateKey, extensions);
}

std::size_t EncodeCertificateWithAttributes(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                                            const ByteBuffer& version, const CertificateToSign& fields,
                                            const RsaPrivateKey* privateKey, const ExtensionTable* attributes)
{
    return EncodeWrapperBody(out, outCapacity, outLength, version, fields, privateKey, attributes, nullptr);
}

std::size_t EncodeCertificateWithAttributesAsExtensions(unsigned char* out, std::size_t outCapacity,
                                                        std::size_t* outLength, const ByteBuffer& version,
                                                        const CertificateToSign& fields,
                                                        const RsaPrivateKey* privateKey,
                                                        const ExtensionTable* attributes)
{
    return EncodeWrapperBody(out, outCapacity, outLength, version, fields, privateKey, attributes, attributes);
}

int BuildCertificate(unsigned char* out, std::size_t outCapacity, std::size_t* outLength, const ByteBuffer& version,
                     const CertificateToSign& fields, const RsaPrivateKey* privateKey, const ExtensionTable* attributes,
                     int wrapperAlgorithm)
{
    *outLength = 0;
    bool hasAttributes = false;
    for (int kind = 0; attributes && kind < static_cast<int>(kExtensionSlots); ++kind)
        if (kind != kExtChallengePassword && HoldsData(attributes->slots[kind])) hasAttributes = true;
    if (!hasAttributes) return EncodeSignedCertificate(out, outCapacity, outLength, fields, privateKey, nullptr);

    CertificateToSign inner = fields;
    inner.keyAlgorithm = kAlgRsaEncryption;
    Buffer body(kCertificateBuildSize), wrapper(kCertificateBuildSize);
    std::size_t bodyLength = 0;
    if (EncodeCertificateWithAttributes(body.data(), body.size(), &bodyLength, version, inner, privateKey,
                                        attributes) == 0)
        return 0;
    DigestInfoWork work;
    const std::size_t length = SignAndWrap(&work, ByteBuffer{body.data(), bodyLength}, wrapperAlgorithm, privateKey,
                                           wrapper.data(), wrapper.size());
    if (length == 0) return 0;
    return CopyOut(Tail(wrapper, length), out, outCapacity, outLength);
}

std::size_t EncodeSignedStructure(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                                  const ByteBuffer& body, const ByteBuffer& signature, int algorithm)
{
    *outLength = 0;
    if (!HoldsData(body) || !HoldsData(signature) || signature.length > kRsaMaxModulusBytes) return 0;
    Buffer encoding(kCertificateBuildSize);
    const std::size_t length = WriteSignedStructure(encoding.data(), encoding.size(), body, signature, algorithm);
    if (length == 0) return 0;
    return CopyOut(Tail(encoding, length), out, outCapacity, outLength) ? length : 0;
}
