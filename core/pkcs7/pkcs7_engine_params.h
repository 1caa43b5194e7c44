// The core's own PKCS#7 engine: the slots of the DataSets record it works
// on, its type numbers and its result codes. The stream codes share the
// numbers 1000-1010 with a different meaning; keep the two apart by type.
#pragma once
#include "core/pkcs8/credentials.h"

// Result of the engine's decoder, encoder and entry points.
enum class Pkcs7Result : int {
    Done = 2000,
    StreamNotReadable = 1000,  // message (decoding) or content (encoding) stream
    OutputNotWritable = 1001,  // content output (decoding) or message output (encoding)
    BadStructure = 1002,       // malformed or unsupported; bad type hint or operation
    KeyUnusable = 1003,        // own or signer key cannot be decrypted; no content key
    NoMemory = 1004,
    CertificateUnusable = 1005,  // carried certificate (decoding), signer DER (buffers)
    SignerNotFound = 1006,       // no carried certificate for a SignerInfo, or bad signature block
    CAUnusable = 1007,           // CA (checking); recipient or signer certificate (encoding)
    BadSlots = 1008,             // content key malformed, slot operation or DER build failed
    EmptyContent = 1009,
    CipherFailed = 1010,
    ShortWrite = 1014,
    DigestMismatch = 1015,
    NoDetachedContent = 1016,
    DetachedNotReadable = 1017,
};

// Slot roles in the engine's DataSets record.
enum Pkcs7Slot : int {
    kSlotSignerInfos = 0,
    kSlotCarriedCertificates = 1,
    kSlotRecipientInfos = 2,
    kSlotContentKey = 3,  // key, IV; or the one-byte marker "X" of a key-less opening
    kSlotSignerCertificates = 4,
    kSlotSignerKeys = 5,
    kSlotSignerPasswords = 6,  // with their NUL
    kSlotRecipientCertificates = 7,
    kSlotNewSignatures = 8,
    // 12-14: the own key, password and certificate of core/pkcs8/credentials.h.
};

// What a message is.
enum Pkcs7OuterType : int {
    kOuterData = 0,
    kOuterSigned = 1,
    kOuterEnveloped = 2,
    kOuterSignedAndEnveloped = 3,
    kOuterEncrypted = 5,
    kOuterFailed = 6,
};

// The content type inside, or asked for; 2-4 are also the decoder's type hints.
enum Pkcs7InnerType : int {
    kInnerData = 0,
    kInnerSigned = 2,
    kInnerEnveloped = 3,
    kInnerSignedAndEnveloped = 4,
    kInnerDigested = 5,
    kInnerEncrypted = 6,
};
constexpr int kPkcs7TypeHintContentInfo = 255;

enum Pkcs7ContentCipherCode : int {  // not the field reader's Pkcs7ContentCipher
    kCipherDes = 0,
    kCipherRc4 = 1,
    kCipherTripleDes = 2,
    kCipherNotSet = 255,
};

enum Pkcs7Operation : int {
    kOperationSign = 1,
    kOperationEnvelope = 2,
    kOperationSignAndEnvelope = 3,
};

enum Pkcs7SignatureStatus : int {
    kSignatureMismatch = 0,
    kSignatureVerified = 1,
    kSignatureUndecided = 2,
    kSignatureNothingToVerify = 3,
};

constexpr unsigned kPkcs7RecordBufferSize = 6144;  // SignerInfo, RecipientInfo, certificate
constexpr unsigned kPkcs7ContentChunkSize = 32768;
