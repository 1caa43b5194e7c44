// DER codecs of the OCSP response (RFC 2560): the client's decoders, which
// read forwards over a DERCursor, and the responder's encoders, which write
// backwards. Every codec returns the bytes it wrote or read, 0 on failure.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/der/der.h"

// Client side. A decoder moves the cursor past what it read, or leaves it
// on failure; views point into the decoded bytes.

// OCSPResponse ::= SEQUENCE { responseStatus ENUMERATED (exactly one content
// byte), [0] { SEQUENCE { responseType OID, response OCTET STRING } } }. The
// responseBytes are required and read only for status 0: the type's content
// and the response (the OCTET STRING's content).
std::size_t DecodeOCSPResponseMessage(DERCursor* cursor, ByteBuffer* responseType, int* responseStatus,
                                      ByteBuffer* response);
// BasicOCSPResponse: the whole tbsResponseData element, the signature
// algorithm code (-1 when unknown), the signature (BIT STRING content, no
// unused bits) and the certificates (whole elements, at most
// kOCSPMaxCertificates; an eleventh fails).
std::size_t DecodeBasicOCSPResponse(DERCursor* cursor, ByteBuffer* signature, int* signatureAlgorithm,
                                    ByteBuffer* tbsResponseData, ByteBuffer* certificates, std::size_t* count);
// ResponseData: version (v1 only, the whole value checked), responderID
// (kind 0 byName: the Name element; kind 1 byKey: the key hash), producedAt
// and the nonce (the only extension accepted) as heap copies released with
// FreeItems (all {null, 0} on failure); the responses' content as a view.
std::size_t DecodeResponseData(DERCursor* cursor, ByteBuffer* byName, ByteBuffer* byKey, ByteBuffer* producedAt,
                               ByteBuffer* responses, int* responderIdKind, ByteBuffer* nonce);
// SingleResponse: times, status (0 good, 1 revoked, 2 unknown), the
// revocation time (empty unless revoked), nextUpdate (empty when absent) and
// the CertID. The hash algorithm code is -1 for one we do not know.
std::size_t DecodeSingleResponse(DERCursor* cursor, ByteBuffer* thisUpdate, ByteBuffer* nextUpdate, int* status,
                                 ByteBuffer* revocationTime, ByteBuffer* serial, int* hashAlgorithm,
                                 ByteBuffer* nameHash, ByteBuffer* keyHash);

// Responder side.

// SingleResponse: CertID, certStatus (good, revoked with its time, unknown;
// another status fails), thisUpdate and, when not empty, [0] nextUpdate.
std::size_t EncodeSingleResponse(DERCursor* cursor, const ByteBuffer& serial, int hashAlgorithm,
                                 const ByteBuffer& nameHash, const ByteBuffer& keyHash, int status,
                                 const ByteBuffer& revocationTime, const ByteBuffer& thisUpdate,
                                 const ByteBuffer& nextUpdate);
// [1] { SEQUENCE { nonce extension } }; nothing (0) for an empty nonce.
std::size_t EncodeOCSPResponseExtensions(DERCursor* cursor, const ByteBuffer& nonce);
// ResponseData without version around the responses and extensions written
// before it: responderID [1] { Name } (kind 0) or [2] { OCTET STRING } (kind
// 1), producedAt.
std::size_t EncodeResponseData(DERCursor* cursor, int responderIdKind, const ByteBuffer& responderId,
                               const ByteBuffer& producedAt, std::size_t responsesLength,
                               std::size_t extensionsLength);
// BasicOCSPResponse: tbsResponseData (copied), the algorithm, the signature
// and, when any, [0] { SEQUENCE OF Certificate } in the array's order.
std::size_t EncodeBasicOCSPResponse(DERCursor* cursor, const ByteBuffer& tbsResponseData, int algorithm,
                                    const ByteBuffer& signature, const ByteBuffer* certificates,
                                    std::size_t count);
// OCSPResponse: the status and, for status 0, [0] { SEQUENCE {
// id-pkix-ocsp-basic, OCTET STRING around the response written before it } }.
std::size_t EncodeOCSPResponseMessage(DERCursor* cursor, int responseStatus, std::size_t responseLength);
