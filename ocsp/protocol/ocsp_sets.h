// The numbers the OCSP client shares with its callers: the data-set slots of
// one query, the fixed work areas and the request signer's callback.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"

enum : std::size_t {
    kOCSPWorkBufferSize = 6144,   // a request or response must fit whole
    kOCSPMaxCertificates = 10,    // certificates carried in one message
    kOCSPMaxSignatureLength = 256,
    kOCSPNonceLength = 8,
    kOCSPMaxCrlPoints = 9,
};

// Slots of the request set (OCSPData::requestSets). Slots 0-4 are filled
// per target; 5-8 hold the matched status of each requested position.
enum : std::uint32_t {
    kSlotTargetIssuerName = 0,   // issuer Name of a target (whole DER)
    kSlotIssuerKey = 1,          // issuer public-key bits
    kSlotTargetSerial = 2,       // serial number (INTEGER content)
    kSlotNameHash = 3,           // SHA-1 of slot 0's item
    kSlotKeyHash = 4,            // SHA-1 of slot 1's item
    kSlotStatus = 5,             // "0" good, "1" revoked, "2" unknown
    kSlotThisUpdate = 6,
    kSlotNextUpdate = 7,         // or "EMPTY" with its NUL
    kSlotRevocationTime = 8,     // or "EMPTY" with its NUL
    kSlotTargetCertificates = 9,
    kSlotIssuerCertificates = 10,
    kSlotSignedResponse = 11,    // the whole tbsResponseData element
    kSlotResponseSignature = 12,
    kSlotResponseCertificates = 13,
    kSlotTrustedResponders = 14,
    kSlotLocationHashes = 15,
    kSlotLocationURLs = 16,
    kSlotLocationIssuerHashes = 17,
    kSlotLocationResponderHashes = 18,
    kSlotResponderCertificate = 19,  // the certificate the responderID names
};

// Slots of the requestor's set (OCSPData::userSets).
enum : std::uint32_t {
    kSlotUserPrivateKey = 12,    // PKCS#8 EncryptedPrivateKeyInfo, item 1
    kSlotUserPassword = 13,      // item 1
    kSlotUserCertificates = 14,  // the last one is the signer
};

// Slots of the status set: one record per SingleResponse, items at the same
// position in every slot.
enum : std::uint32_t {
    kSlotRecordSerial = 2,
    kSlotRecordNameHash = 3,
    kSlotRecordKeyHash = 4,
    kSlotRecordStatus = 5,
    kSlotRecordThisUpdate = 6,
    kSlotRecordNextUpdate = 7,
    kSlotRecordRevocationTime = 8,
};

// The "EMPTY" marker of absent times, stored with its NUL (6 bytes).
extern const char kOCSPEmptyTime[6];

// Certificate status of a SingleResponse.
enum : int {
    kOCSPCertGood = 0,
    kOCSPCertRevoked = 1,
    kOCSPCertUnknown = 2,
};

// ResponderID kinds.
enum : int {
    kResponderByName = 0,
    kResponderByKey = 1,
};

// Signs data for a request or response: the signature (at most
// kOCSPMaxSignatureLength bytes, big-endian) into signature. 1 done, 0 not.
using SignCallback = int (*)(const unsigned char* data, std::size_t dataLength, unsigned char* signature,
                             std::size_t* signatureLength, const DataSets* userSets, int algorithm,
                             int keyArgument);
