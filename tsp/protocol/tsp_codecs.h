// RFC 3161 messages: the request we send, the response and TSTInfo we read,
// and the authority's side of each (request reader, writers, request maker)
// for the tests. Every codec works within kTspWorkSize bytes: longer input
// or output is refused. Byte counts and flags follow the core's codecs:
// 1 for success, 0 for failure.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

enum : std::size_t { kTspWorkSize = 6144 };

// The one hash algorithm of our requests: SHA-1 with NULL parameters.
enum : int { kTspHashSha1 = 6 };

// Failure codes read from a PKIFailureInfo BIT STRING; 0 when it matches
// none of these single-bit patterns.
enum TspFailureCode : int {
    kTspFailureNone = 0,
    kTspFailureBadAlg = 1,
    kTspFailureBadRequest = 2,
    kTspFailureBadDataFormat = 3,
    kTspFailureTimeNotAvailable = 4,
    kTspFailureUnacceptedPolicy = 5,
    kTspFailureUnacceptedExtension = 6,
    kTspFailureAddInfoNotAvailable = 7,
    kTspFailureSystemFailure = 8,
};

// The code of a failInfo BIT STRING's whole content (unused-bits byte first).
int TspFailureCodeOf(const unsigned char* bitStringContent, std::size_t length);
// The BIT STRING content of a code 1..8; an empty view otherwise.
ByteBuffer TspFailurePattern(int code);

// True when the bytes are the content of a minimal, positive INTEGER: not
// empty, top bit of the first byte clear, and no redundant leading 00.
bool IsMinimalPositiveInteger(const unsigned char* bytes, std::size_t length);

// Makes random nonce bytes a minimal, positive INTEGER content in place:
// the first byte gets its top bit cleared and the bit below it set.
void MakeNonceMinimalPositive(unsigned char* nonce, std::size_t length);

// TimeStampReq { version 1, messageImprint SHA-1 hash, nonce, certReq }.
// The nonce is written only when its pointer and length are both set, and
// its bytes must already be a minimal positive INTEGER content (see
// IsMinimalPositiveInteger; MakeNonceMinimalPositive fixes random bytes):
// any other nonce is refused rather than written as non-DER or negative.
// The DER goes to output (capacity bytes) and its length to outputLength.
int EncodeTimeStampReq(const unsigned char* hash, std::size_t hashLength, const ByteBuffer* nonce, int certReq,
                       unsigned char* output, std::size_t capacity, std::size_t* outputLength);

// TimeStampResp: the status (0..255) and failure code, and for status 0 or
// 1 the token (a whole SEQUENCE) copied to token, a kTspWorkSize buffer.
// A statusString in PKIStatusInfo is stepped over. Trailing bytes after
// the response are ignored.
int DecodeTimeStampResp(const unsigned char* response, std::size_t length, int* status, int* failureCode,
                        unsigned char* token, std::size_t* tokenLength);

// TSTInfo fields. Byte strings are heap copies (value then a NUL) that the
// caller frees, also after a failure; absent optional fields are left
// untouched. An unknown imprint algorithm gives code -1.
struct TSTInfoFields {
    ByteBuffer policy;
    int hashAlgorithm;
    ByteBuffer hashedMessage;
    ByteBuffer serialNumber;
    ByteBuffer genTime;     // the time text as received, fraction kept
    ByteBuffer accuracy;    // the whole accuracy SEQUENCE
    int ordering;
    ByteBuffer nonce;
    ByteBuffer tsaName;     // the Name's DER inside [0] { [4] }
};

// 1 when the whole input is one TSTInfo, else 0.
int DecodeTSTInfo(TSTInfoFields* fields, const unsigned char* tstInfo, std::size_t length);
// Frees the byte strings and empties them.
void FreeTSTInfoFields(TSTInfoFields* fields);

// The authority's side.

// TimeStampReq reader: heap copies of hash, policy and nonce (empty when
// absent) that the caller frees also after a failure.
struct TimeStampReqFields {
    int hashAlgorithm;
    ByteBuffer hash;
    ByteBuffer policy;
    ByteBuffer nonce;
    int certReq;
};
int DecodeTimeStampReq(TimeStampReqFields* fields, const unsigned char* request, std::size_t length);
void FreeTimeStampReqFields(TimeStampReqFields* fields);

// TSTInfo writer, the mirror of DecodeTSTInfo: the serial written as an
// unsigned number, the nonce and accuracy as given.
int EncodeTSTInfo(const TSTInfoFields& fields, unsigned char* output, std::size_t capacity,
                  std::size_t* outputLength);

// PKIStatusInfo { status, failInfo } with failInfo only for a status other
// than 0 and 1 and a non-zero code (above 8 refused, below 1 pattern 1).
int EncodePKIStatusInfo(int status, int failureCode, unsigned char* output, std::size_t capacity,
                        std::size_t* outputLength);

// TimeStampResp { PKIStatusInfo, token }; status 0 or 1 needs the token.
int EncodeTimeStampResp(int status, int failureCode, const ByteBuffer& token, unsigned char* output,
                        std::size_t capacity, std::size_t* outputLength);

// Digest of the data for a request: 1 and a heap digest the caller frees.
typedef int (*TspDigestCallback)(const unsigned char* data, std::size_t length, int mode, ByteBuffer* digest);

// Digests the data through the callback and encodes the request on it
// (nonce as for EncodeTimeStampReq); the digest goes to digest (the
// caller frees it), empty on failure.
int MakeTimeStampReq(const unsigned char* data, std::size_t length, int mode, TspDigestCallback digestOf,
                     const ByteBuffer* nonce, int certReq, unsigned char* output, std::size_t capacity,
                     std::size_t* outputLength, ByteBuffer* digest);
