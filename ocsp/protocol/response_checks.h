// Reading an OCSP response into data sets and the checks made on it:
// responder identity and authorisation, the responder certificate's issuer
// and validity, the status records and the signature.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "ocsp/protocol/ocsp_sets.h"

// Parses the response. Clears first the request-set slots it and the
// checks fill (5-8, 11-13, 19); then stores the signed part (11), the
// signature (12), the certificates (13) and the certificate the responderID
// names (19, when one does), and appends one status record per
// SingleResponse whose CertID uses SHA-1 to the status set. The copies
// handed out (byName, byKey, producedAt, nonce) are released with
// FreeItems; they are left {null, 0} on failure. hashAlgorithm: that of the
// first SingleResponse. For a responseStatus other than 0 only the status
// is read. 1 ok, 0 failure.
int ParseOCSPResponse(const unsigned char* der, std::size_t length, DataSets* statusSets, DataSets* requestSets,
                      int* responderIdKind, ByteBuffer* byName, ByteBuffer* byKey, int* signatureAlgorithm,
                      int* hashAlgorithm, int* responseStatus, ByteBuffer* producedAt, ByteBuffer* nonce);

// Searches the response certificates (slot 13) for the one the responderID
// names: byName an equal subject Name element, byKey an equal SHA-1 of the
// key bits (exact lengths). A view of it and its position; 1 found, 0 not.
int FindResponderCertificate(const DataSets* requestSets, int responderIdKind, const ByteBuffer& byName,
                             const ByteBuffer& byKey, ByteBuffer* certificate, std::uint32_t* number);
// The certificate ParseOCSPResponse found for the responderID (slot 19):
// the one every check below uses. 1 present, 0 not.
int ResponderCertificate(const DataSets* requestSets, ByteBuffer* certificate);
// The response's signature: a view of item 1 of slot 12, at most
// kOCSPMaxSignatureLength bytes. 1 present, 0 not.
int ResponseSignature(const DataSets* requestSets, ByteBuffer* signature);

// 1 when the responderID names one of the response's certificates (digest
// type must be 6); authorised reports its id-kp-OCSPSigning purpose.
int CheckResponderID(int responderIdKind, const ByteBuffer& byName, const ByteBuffer& byKey,
                     const DataSets* requestSets, std::uint32_t digestType, int* authorised);

// Results of the responder certificate's checks.
enum : int {
    kResponderCertOk = 1,
    kResponderCertExpired = 30,
    kResponderCertNotIssued = 31,
    kResponderCertUnreadable = 0,
};
// The responder certificate must be signed by the issuer's key and
// currentTime (GeneralizedTime text) lie within its validity.
int CheckResponderCertificate(const DataSets* requestSets, const unsigned char* issuer, std::size_t issuerLength,
                              const char* currentTime);

// Results of MatchStatusRecords.
enum : int {
    kMatchOk = 1,
    kMatchNotFound = 3,
    kMatchOutdated = 4,
    kMatchFailed = 0,
};
// For each requested position, the status record with the same serial,
// name hash and key hash (exact lengths and bytes); appends its status and
// times to slots 5-8. With a tolerance (six digits HHMMSS, or null for
// none) thisUpdate must lie within it of currentTime and nextUpdate must not
// have passed.
int MatchStatusRecords(DataSets* requestSets, const DataSets* statusSets, const char* tolerance,
                       const char* currentTime);

// 1 when the signature (slot 12) over the signed part (slot 11) verifies
// with the responder certificate's key, as stored or byte-reversed (the
// order CryptoAPI writes).
int VerifyResponseSignature(const DataSets* requestSets, int signatureAlgorithm);

// The responder certificate's extensions: basicConstraints cA, the
// OCSP-signing purpose, id-pkix-ocsp-nocheck, and CRL distribution points
// with up to kOCSPMaxCrlPoints URLs as heap copies (FreeItems). 0 ok, 1 the
// certificate cannot be decoded.
int ReadResponderExtensions(const DataSets* requestSets, int* cA, int* ocspSigning, int* noCheck,
                            int* crlPoints, ByteBuffer* urls);

// The API's values: certificate status 32 good, 64 revoked, 128 unknown
// from status record 1 (slot 5); response status 0, 1, 2, 4, 8, 16 or 170
// from the RFC's 0, 1, 2, 3, 5, 6 and anything else. 1 done, 0 not.
int StatusFromRecord(const DataSets* requestSets, int rawResponseStatus, std::uint32_t* certificateStatus);
int MapResponseStatus(int rawResponseStatus, std::uint32_t* mapped);

// 1 when the response's nonce is exactly the one sent (length and bytes).
int CheckResponseNonce(const ByteBuffer& received, const unsigned char* sent, std::size_t sentLength);
