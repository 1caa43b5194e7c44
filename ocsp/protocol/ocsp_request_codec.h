// DER codecs of the OCSP request (RFC 2560): the client's encoders, which
// write backwards over a DERCursor writer (a structure last field first,
// its header after its content), and the responder's decoders. Every codec
// returns the bytes it wrote or read, 0 on failure.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/der/der.h"

// Content bytes of id-pkix-ocsp-nonce and id-pkix-ocsp-basic.
extern const unsigned char kOidOcspNonce[9];
extern const unsigned char kOidOcspBasic[9];

// Client side.

// Request ::= SEQUENCE { CertID ::= SEQUENCE { hashAlgorithm, issuerNameHash,
// issuerKeyHash, serialNumber } }; the serial as INTEGER content bytes.
std::size_t EncodeOCSPRequestEntry(DERCursor* cursor, const ByteBuffer& serial, int hashAlgorithm,
                                   const ByteBuffer& nameHash, const ByteBuffer& keyHash);
// [2] { SEQUENCE { SEQUENCE { id-pkix-ocsp-nonce, OCTET STRING { OCTET STRING
// nonce } } } }; an empty nonce writes nothing and returns 0.
std::size_t EncodeOCSPNonceExtension(DERCursor* cursor, const ByteBuffer& nonce);
// TBSRequest around the entries and the extension written before it:
// optional [1] { [4] { requestorName } }, requestList, the extension. No
// version (v1).
std::size_t EncodeTBSRequest(DERCursor* cursor, std::size_t entriesLength, std::size_t extensionLength,
                             const ByteBuffer& requestorName);
// Signature ::= SEQUENCE { algorithm, BIT STRING, [0] { SEQUENCE OF
// Certificate } } (the [0] only when the first certificate is not empty);
// the array's last certificate comes first in the SEQUENCE.
std::size_t EncodeOCSPSignature(DERCursor* cursor, int algorithm, const ByteBuffer& signature,
                                const ByteBuffer* certificates, std::size_t count);
// OCSPRequest ::= SEQUENCE { tbsRequest (copied), [0] { Signature written
// before it } (only when sign is 1) }.
std::size_t EncodeOCSPRequestMessage(DERCursor* cursor, int sign, std::size_t signatureLength,
                                     const ByteBuffer& tbsRequest);

// Responder side; views point into the decoded bytes unless said. A
// decoder moves the cursor past what it read, or leaves it on failure.

// Request with its CertID; skips singleRequestExtensions whole. The hash
// algorithm code is -1 for an algorithm we do not know.
std::size_t DecodeOCSPRequestEntry(DERCursor* cursor, ByteBuffer* serial, int* hashAlgorithm,
                                   ByteBuffer* nameHash, ByteBuffer* keyHash);
// Optional [2] requestExtensions: only the nonce (no critical field) is
// accepted; its value (the inner OCTET STRING's content) is handed out as a
// heap copy released with FreeItems. 0 also when absent (nonce {null, 0},
// the cursor unmoved).
std::size_t DecodeOCSPRequestExtensions(DERCursor* cursor, ByteBuffer* nonce);
// TBSRequest: optional [0] version (must be v1), optional [1]
// requestorName (the GeneralName inside it), the requestList's content and
// the optional extensions (nonce as above).
std::size_t DecodeTBSRequest(DERCursor* cursor, ByteBuffer* requestorName, ByteBuffer* requestList,
                             ByteBuffer* nonce);
// [0] { Signature } with its optional certificates, each a whole element; the
// table (kOCSPMaxCertificates entries) is cleared first and an eleventh
// certificate fails the decoding.
std::size_t DecodeOCSPSignature(DERCursor* cursor, int* algorithm, ByteBuffer* signature, ByteBuffer* certificates,
                                std::size_t* count);
// OCSPRequest: the TBSRequest as a whole element and, when signed, the
// whole [0] optionalSignature element (for DecodeOCSPSignature).
std::size_t DecodeOCSPRequestMessage(DERCursor* cursor, int* isSigned, ByteBuffer* tbsRequest,
                                     ByteBuffer* signature);

// AlgorithmIdentifier { OID [, NULL] } with its code, -1 for an identifier
// we do not know (the caller decides whether that is an error).
std::size_t DecodeOCSPAlgorithm(DERCursor* cursor, int* code);
