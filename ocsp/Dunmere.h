/* Dunmere: the OCSP client library's exported API. Plain C; every export is
   cdecl and bound by its name, leading underscore included. The caller owns
   the OCSPData record and the ByteBuffer records; the library owns every
   buffer and text it hands out and takes them back through its Destroy and
   Delete exports, except the copies of the two stored-response exports
   (see _GetOCSPResponseData). */
#ifndef DUNMERE_H
#define DUNMERE_H

#include <stddef.h>
#include <stdint.h>

#include "core/der/byte_buffer.h"

#ifdef __cplusplus
extern "C" {
#endif

struct DataSets;

#define DUNMERE_URL_SIZE 512

/* One query's record, filled by _InitOCSPData. */
typedef struct OCSPData {
    struct DataSets* requestSets;  /* targets, issuer keys, CertID hashes, response parts, matched status */
    struct DataSets* userSets;     /* requestor: 12 encrypted key, 13 password, 14 certificates */
    int32_t locationMode;          /* 2: from the certificate's AIA; 1: from the responder list */
    int32_t skipTimeCheck;         /* 1: responses are not compared with the clock */
    int32_t useNonce;              /* 1: the request carries an 8-byte nonce */
    int32_t signRequest;           /* 1: the request is signed */
    char responderURL[DUNMERE_URL_SIZE];
    uint32_t responseStatus;       /* OCSP_RESPONSE_*; 255 nothing decoded */
    uint32_t certificateStatus;    /* OCSP_CERT_*; OCSP_STATUS_UNSET before a decode passes */
    uint32_t errorCode;            /* one OCSP_ERR_* bit or 0 */
    int32_t cryptoLibrary;         /* OCSP_LIB_* */
    char timeTolerance[6];         /* HHMMSS, not terminated */
    unsigned char nonce[8];        /* of the last encoded request */
    /* _DecodeOCSPResponsev2: 1 accepts a responder whose certificate's SHA-1
       is in slot 14 of requestSets; 2 one that slots 17 (issuer
       certificates' SHA-1) and 18 (responder certificates' SHA-1, at the same
       positions) name for the issuer. No export fills those slots, nor slots
       15 (certificates' SHA-1) and 16 (their responder URLs) of
       locationMode 1: the caller adds them with the core's AddDataItem. */
    uint32_t responderOptions;
    /* 2 and 4 together: a responder certificate is taken without a check of
       its own revocation. */
    uint32_t revocationOptions;
} OCSPData;

#if defined(__cplusplus)
static_assert(sizeof(void*) != 4 || sizeof(OCSPData) == 576, "OCSPData is 576 bytes on 32-bit Windows");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(void*) != 4 || sizeof(OCSPData) == 576, "OCSPData is 576 bytes on 32-bit Windows");
#endif

/* cryptoLibrary */
#define OCSP_LIB_NONE 0
#define OCSP_LIB_OWN 1
#define OCSP_LIB_CRYPTOAPI 2

/* responseStatus and the status values of _GetOCSPStatus */
#define OCSP_RESPONSE_SUCCESSFUL 0
#define OCSP_RESPONSE_MALFORMED 1
#define OCSP_RESPONSE_INTERNAL_ERROR 2
#define OCSP_RESPONSE_TRY_LATER 4
#define OCSP_RESPONSE_SIG_REQUIRED 8
#define OCSP_RESPONSE_UNAUTHORIZED 16
#define OCSP_CERT_GOOD 32
#define OCSP_CERT_REVOKED 64
#define OCSP_CERT_UNKNOWN 128
#define OCSP_STATUS_BAD 170
#define OCSP_STATUS_UNSET 255

/* errorCode bits */
#define OCSP_ERR_ISSUER_CERT 0x1u
#define OCSP_ERR_COUNTING_TARGETS 0x2u
#define OCSP_ERR_READING_TARGETS 0x4u
#define OCSP_ERR_ENCODING_REQUEST 0x8u
#define OCSP_ERR_SOCKET 0x10u
#define OCSP_ERR_SEND 0x20u
#define OCSP_ERR_RECEIVE 0x40u
#define OCSP_ERR_DATA_SETS_INIT 0x80u
#define OCSP_ERR_DECODING_RESPONSE 0x100u
#define OCSP_ERR_PRODUCED_AT 0x200u
#define OCSP_ERR_MEMORY 0x400u
#define OCSP_ERR_HTTP_HEADER 0x800u
#define OCSP_ERR_CONTENT_TYPE 0x1000u
#define OCSP_ERR_RESPONDER_ID 0x2000u
#define OCSP_ERR_NOT_AUTHORIZED 0x4000u
#define OCSP_ERR_RESPONDER_NOT_ISSUED 0x8000u
#define OCSP_ERR_THIS_UPDATE 0x10000u
#define OCSP_ERR_STATUS_NOT_FOUND 0x20000u
#define OCSP_ERR_SIGNATURE 0x40000u
#define OCSP_ERR_SIGNATURE_ALGORITHM 0x80000u
#define OCSP_ERR_DATA_SETS_DELETE 0x100000u
#define OCSP_ERR_DATA_SETS_READ 0x200000u
#define OCSP_ERR_NO_ERROR 0x400000u
#define OCSP_ERR_REVOCATION_STATUS 0x800000u
#define OCSP_ERR_REQUESTOR_CERT 0x1000000u
#define OCSP_ERR_URL 0x2000000u
#define OCSP_ERR_RESPONDER_EXPIRED 0x4000000u
#define OCSP_ERR_NONCE_GENERATION 0x8000000u
#define OCSP_ERR_NONCE_MISMATCH 0x10000000u
#define OCSP_ERR_RESPONDER_CERT 0x20000000u
#define OCSP_ERR_RESPONDER_REVOCATION 0x40000000u

/* Buffer sizes the callers provide for the description exports. */
#define OCSP_ERROR_TEXT_SIZE 71
#define OCSP_STATUS_TEXT_SIZE 46

int _InitOCSPData(OCSPData* record);
int _DestroyOCSPData(OCSPData* record);
int _SetOCSPClient(int locationMode, int skipTimeCheck, int useNonce, int signRequest, const char* url,
                   int urlLength, const char* tolerance, OCSPData* record, uint32_t responderOptions,
                   uint32_t revocationOptions);
int _SetOCSPTarget(const unsigned char* der, uint32_t length, OCSPData* record);
int _SetOCSPIssuer(const unsigned char* der, uint32_t length, OCSPData* record);
int _SetCryptographicLibrary(OCSPData* record, int library);
int _SetResponderURL(const unsigned char* der, uint32_t length, OCSPData* record);
int _SetOCSPUserCertificate(OCSPData* record, const unsigned char* der, uint32_t length);
int _SetOCSPUserPrivateKey(OCSPData* record, const unsigned char* data, uint32_t length);
int _SetOCSPUserPassword(OCSPData* record, const char* text, uint32_t length);
int _GetOCSPStatus(OCSPData* record, int32_t* status);
char* _GetRevocationDate(OCSPData* record);
uint32_t _GetOCSPError(const OCSPData* record);
char* _GetOCSPErrorDescription(const OCSPData* record);
char* _GetOCSPErrorDescription2(uint32_t code, char* buffer);
char* _GetResponderURLString(const OCSPData* record);
void _DeleteOCSPErrorDescription(char* text);
void _DeleteURL(char* text);
void _DeleteRevocationDate(char* text);
int _EncodeOCSPRequest(OCSPData* record, ByteBuffer* request);
void _DestroyOCSPRequest(ByteBuffer* request);
int _BufferOCSPRequest(unsigned char** pointer, uint32_t* length, const ByteBuffer* request);
int _DecodeOCSPResponse(const ByteBuffer* response, OCSPData* record, const unsigned char* issuerDer,
                        uint32_t issuerLength);
int _DecodeOCSPResponsev2(const ByteBuffer* response, OCSPData* record, const unsigned char* issuerDer,
                          uint32_t issuerLength);
/* _GetOCSPResponseData and _GetResponderCertData hand out new copies, each a
   ByteBuffer's pointer (the length counts the bytes; a NUL follows them). No
   export releases them: the caller frees each pointer with free() of
   msvcrt.dll, the C runtime whose heap the DLLs and their callers share. On
   result 1 nothing is handed out: every output is {NULL, 0}.
   _GetResponderCertData describes the certificate the response's
   responderID named (the one every check used), read from the requestSets
   of a record after a decode. */
int _GetOCSPResponseData(const unsigned char* responseDer, uint32_t responseLength, ByteBuffer* subjectName,
                         ByteBuffer* issuerName, ByteBuffer* producedAt, ByteBuffer* revocationTime,
                         ByteBuffer* serialNumber, int32_t* certStatus, ByteBuffer* responderCertificate,
                         uint32_t* error);
int _CheckOCSPResponsev1(const unsigned char* responseDer, uint32_t responseLength, const unsigned char* issuerDer,
                         uint32_t issuerLength, int32_t* certStatus, uint32_t* error);
int _GetResponderCertData(const struct DataSets* sets, ByteBuffer* subjectName, ByteBuffer* issuerName,
                          ByteBuffer* certificate);
int _SetOCSPResponse(unsigned char* pointer, uint32_t length, ByteBuffer* response);
void _DestroyOCSPResponse(ByteBuffer* response);
int _ExecuteOCSPTransaction(const ByteBuffer* request, ByteBuffer* response, OCSPData* record);
char* _GetOCSPStatusDescription(uint32_t status, char* buffer);
int _SetResponderLocation(OCSPData* record, const unsigned char* hashedDer, uint32_t hashedLength,
                          const unsigned char* certificateDer, uint32_t certificateLength);

#ifdef __cplusplus
}
#endif

#endif
