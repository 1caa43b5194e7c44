// Pieces the request and response codecs share: a builder over the caller's
// writer, CertID, the nonce extension, BIT STRING values and certificate
// lists. Internal to ocsp_protocol.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/der/der.h"
#include "core/der/der_builder.h"

namespace ocsp_der {

// Runs the steps on a builder over the caller's writer; the bytes written,
// 0 (and the writer unmoved) when a step failed or nothing was written.
template <class Steps>
std::size_t WriteWith(DERCursor* cursor, Steps steps)
{
    DERBuilder builder{*cursor, 0, kDERBuildOk};
    steps(&builder);
    if (builder.status != kDERBuildOk || builder.cursor.position > cursor->position) return 0;
    const std::size_t written = cursor->position - builder.cursor.position;
    *cursor = builder.cursor;
    return written;
}

// CertID ::= SEQUENCE { hashAlgorithm, issuerNameHash, issuerKeyHash,
// serialNumber }; the serial's content written as given.
void BuildCertID(DERBuilder* builder, const ByteBuffer& serial, int hashAlgorithm, const ByteBuffer& nameHash,
                 const ByteBuffer& keyHash);
bool ReadCertID(DERCursor* cursor, ByteBuffer* serial, int* hashAlgorithm, ByteBuffer* nameHash,
                ByteBuffer* keyHash);

// SEQUENCE OF Extension holding the nonce alone, wrapped in the context tag.
void BuildNonceExtensions(DERBuilder* builder, int contextTag, const ByteBuffer& nonce);
// The content of that context tag: exactly one nonce extension with no
// critical field; the nonce as a view.
bool ReadNonceExtensions(DERCursor* extensions, ByteBuffer* nonce);

// BIT STRING with no unused bits: its value bytes.
bool ReadBitStringBytes(DERCursor* cursor, ByteBuffer* bits);
void BuildBitString(DERBuilder* builder, const ByteBuffer& bits);

// SEQUENCE OF Certificate, each a whole SEQUENCE element; at most
// kOCSPMaxCertificates (the table's size).
bool ReadCertificateList(DERCursor* cursor, ByteBuffer* certificates, std::size_t* count);

// GeneralizedTime content.
bool ReadGeneralizedTime(DERCursor* cursor, ByteBuffer* time);

// INTEGER whose value is exactly 0 (version v1).
bool IsVersionOne(const ByteBuffer& versionElementContent);

}  // namespace ocsp_der
