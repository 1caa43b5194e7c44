/* Halvery: the time-stamp client library's exported API. Plain C; every
   export is cdecl and bound by its name, leading underscore included. The
   caller owns the TSPData record and the ByteBuffer records it passes; the
   texts and the outputs of _GetTimeStampData pass to the caller, who
   releases them with free() of the shared C runtime (msvcrt.dll). */
#ifndef HALVERY_H
#define HALVERY_H

#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus) && defined(__has_include)
#if __has_include("core/der/bytes.h")
#include "core/der/bytes.h"
#define HALVERY_HAVE_BYTEBUFFER 1
#endif
#endif
/* Dunmere.h, when included first, has given the same type already. */
#if !defined(HALVERY_HAVE_BYTEBUFFER) && !defined(DUNMERE_H)
/* Encoded data: a pointer and a length (two 32-bit words on 32-bit Windows). */
typedef struct ByteBuffer {
    unsigned char* pointer;
    size_t length;
} ByteBuffer;
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define HALVERY_URL_SIZE 512
#define HALVERY_WORK_SIZE 6144 /* request, reply, token and eContent bound */

/* One time stamp's record, filled by _InitTSPData. */
typedef struct TSPData {
    unsigned char* hash;        /* message imprint (SHA-1, 20 bytes) */
    uint32_t hashLength;
    int32_t reservedFlag;       /* 1 after _InitTSPData and _SetNonce */
    char serverURL[HALVERY_URL_SIZE]; /* http://host[:port][/path], at most 511 characters */
    int32_t pkiStatus;          /* TSP_STATUS_* of the last decoded response */
    int32_t failureInfo;        /* TSP_FAILURE_* of the last refusal, 0 none */
    uint32_t errorCode;         /* one TSP_ERR_* bit or 0 */
    char delay[6];              /* allowed delay HHMMSS, not terminated */
    int32_t delayEnabled;       /* 1: genTime must lie within delay of the clock */
    unsigned char* nonce;       /* 8 bytes of this library's heap, or null */
    uint32_t nonceLength;
    unsigned char* token;       /* the checked token (DER ContentInfo), or null */
    uint32_t tokenLength;
} TSPData;

#if defined(__cplusplus)
#define HALVERY_LAYOUT_CHECK(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define HALVERY_LAYOUT_CHECK(condition, text) _Static_assert(condition, text)
#endif
#ifdef HALVERY_LAYOUT_CHECK
/* A caller in another deliverable allocates the record: the 32-bit layout is fixed. */
HALVERY_LAYOUT_CHECK(sizeof(void*) != 4 || sizeof(TSPData) == 564, "TSPData is 564 bytes on 32-bit Windows");
HALVERY_LAYOUT_CHECK(sizeof(void*) != 4 || offsetof(TSPData, serverURL) == 12, "serverURL at 12");
HALVERY_LAYOUT_CHECK(sizeof(void*) != 4 || offsetof(TSPData, pkiStatus) == 524, "pkiStatus at 524");
HALVERY_LAYOUT_CHECK(sizeof(void*) != 4 || offsetof(TSPData, delay) == 536, "delay at 536");
HALVERY_LAYOUT_CHECK(sizeof(void*) != 4 || offsetof(TSPData, delayEnabled) == 544, "delayEnabled at 544");
HALVERY_LAYOUT_CHECK(sizeof(void*) != 4 || offsetof(TSPData, nonce) == 548, "nonce at 548");
HALVERY_LAYOUT_CHECK(sizeof(void*) != 4 || offsetof(TSPData, tokenLength) == 560, "tokenLength at 560");
#undef HALVERY_LAYOUT_CHECK
#endif

/* pkiStatus */
#define TSP_STATUS_GRANTED 0
#define TSP_STATUS_GRANTED_WITH_MODS 1
#define TSP_STATUS_REJECTION 2
#define TSP_STATUS_WAITING 3
#define TSP_STATUS_REVOCATION_WARNING 4
#define TSP_STATUS_REVOCATION_NOTIFICATION 5

/* failureInfo */
#define TSP_FAILURE_NONE 0
#define TSP_FAILURE_BAD_ALG 1
#define TSP_FAILURE_BAD_REQUEST 2
#define TSP_FAILURE_BAD_DATA_FORMAT 3
#define TSP_FAILURE_TIME_NOT_AVAILABLE 4
#define TSP_FAILURE_UNACCEPTED_POLICY 5
#define TSP_FAILURE_UNACCEPTED_EXTENSION 6
#define TSP_FAILURE_ADD_INFO_NOT_AVAILABLE 7
#define TSP_FAILURE_SYSTEM_FAILURE 8

/* errorCode bits */
#define TSP_ERR_NONCE_GENERATION 0x1u
#define TSP_ERR_MEMORY 0x2u
#define TSP_ERR_ENCODING_REQUEST 0x4u
#define TSP_ERR_SOCKET 0x8u
#define TSP_ERR_SEND 0x10u
#define TSP_ERR_RECEIVE 0x20u
#define TSP_ERR_HTTP_HEADER 0x40u
#define TSP_ERR_CONTENT_TYPE 0x80u
#define TSP_ERR_DECODING_RESPONSE 0x100u
#define TSP_ERR_TOKEN_MISSING 0x200u
#define TSP_ERR_SIGNATURE 0x400u
#define TSP_ERR_CONTENT_OID 0x800u
#define TSP_ERR_NOT_AUTHORIZED 0x1000u
#define TSP_ERR_DECODING_ECONTENT 0x2000u
#define TSP_ERR_HASH_ALGORITHM 0x4000u
#define TSP_ERR_HASH_MISMATCH 0x8000u
#define TSP_ERR_TIME_WINDOW 0x10000u
#define TSP_ERR_NONCE_MISSING 0x20000u
#define TSP_ERR_NONCE_MISMATCH 0x40000u
#define TSP_ERR_URL 0x80000u
#define TSP_ERR_DECODING_TOKEN 0x100000u
#define TSP_ERR_UNKNOWN_STATUS 0x200000u
#define TSP_ERR_UNKNOWN_FAILURE_INFO 0x400000u
#define TSP_ERR_REJECTED 0x800000u
#define TSP_ERR_SERVER_CERTIFICATE 0x1000000u

int _InitTSPData(TSPData* record);
int _DestroyTSPData(TSPData* record);
int _DestroyTSPData2(TSPData* record);
int _SetTimeStampData(TSPData* record, const unsigned char* data, uint32_t length);
int _SetTimeStampHash(TSPData* record, const unsigned char* hash, uint32_t length);
int _SetNonce(TSPData* record);
int _SetTSPServerURL(TSPData* record, const char* url);
int _SetTSPDelay(TSPData* record, const char* delay);
int _EncodeTSPRequest(TSPData* record, ByteBuffer* request);
void _DestroyTSPRequest(ByteBuffer* request);
int _TSPTransactionHTTP(const ByteBuffer* request, ByteBuffer* response, TSPData* record);
int _DecodeTSPResponse(TSPData* record, const ByteBuffer* response, const ByteBuffer* caCertificate);
int _TimeStampGranted(const TSPData* record);
int _GetTSPResponseStatus(const TSPData* record);
int _GetTSPResponseFailureInfo(const TSPData* record);
void _DestroyTSPResponse(ByteBuffer* response);
int _GetTimeStampSize(const TSPData* record);
int _CopyTimeStamp(const TSPData* record, unsigned char* destination);
uint32_t _GetTSPErrorCode(const TSPData* record);
char* _GetTSPErrorDescription(uint32_t code);
char* _GetTSPResponseFailureInfoDescription(const TSPData* record);
char* _GetTSPResponseStatusDescription(const TSPData* record);
int _GetTimeStampData(const ByteBuffer* token, ByteBuffer* genTime, ByteBuffer* serialNumber,
                      ByteBuffer* hashedMessage, ByteBuffer* signerCertificate, ByteBuffer* subjectName,
                      ByteBuffer* issuerName, uint32_t* error);

#ifdef __cplusplus
}
#endif

#endif
