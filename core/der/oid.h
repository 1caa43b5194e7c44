// Object identifiers and the small integer codes that stand for them
// everywhere else, and the AlgorithmIdentifier codec. An identifier is
// handled as its DER content bytes only (no tag, no length). Codes are
// signed; -1 means no such object is known.
#pragma once
#include <cstddef>
#include <cstdint>

struct DERCursor;
struct DataStream;

enum : std::size_t {
    kOIDMaxLength = 11,          // longest identifier in the tables
    kAlgorithmIdWorkSize = 28,   // identifier bytes ReadAlgorithmId can hold
};

// Algorithm codes. The same numbering holds the digest types of
// core/digest.h (2 MD2, 4 MD4, 5 MD5, 6 SHA-1; SHA-0 has no identifier).
enum : int {
    kAlgRsaEncryption = 100,
    kAlgMD2WithRsa = 101,
    kAlgMD4WithRsa = 102,
    kAlgMD5WithRsa = 103,
    kAlgPbeMD2DesCbc = 104,
    kAlgPbeMD5DesCbc = 105,
    kAlgDesCbc = 106,
    kAlgRc4 = 107,
    kAlgPbeShaRc2_40 = 108,
    kAlgPbeShaRc2_128 = 109,
    kAlgPbeSha3DesCbc = 110,
    kAlgSHA1WithRsa = 111,
    kAlgDesEde3Cbc = 112,
};

// PKCS#7 content types.
enum : int {
    kContentData = 200,
    kContentSignedData = 201,
    kContentEnvelopedData = 202,
    kContentSignedAndEnvelopedData = 203,
    kContentDigestedData = 204,
    kContentEncryptedData = 205,
};

// Object codes: attributes, bag types, extensions, qualifiers.
enum : int {
    kObjFriendlyName = 300,
    kObjLocalKeyId = 301,
    kObjX509Certificate = 302,
    kObjKeyBag = 303,
    kObjCertBag = 304,
    kObjCrlBag = 305,
    kObjSecretBag = 306,
    kObjShroudedKeyBag = 307,
    kObjKeyUsage = 308,
    kObjBasicConstraints = 309,
    kObjCertificatePolicies = 310,
    kObjCrlDistributionPoints = 311,
    kObjAuthorityKeyId = 312,
    kObjCrlNumber = 313,
    kObjReasonCode = 314,
    kObjMessageDigest = 315,
    kObjSigningTime = 316,
    kObjSmimeCapabilities = 317,
    kObjContentType = 318,
    kObjPkixOcsp = 319,  // decoding only
    kObjPolicyVerisign1 = 320,
    kObjQualifierCps = 321,
    kObjQualifierUnotice = 322,
    kObjPolicyVerisign2 = 323,
};

// Key-purpose flags that OIDToBagType gives for the extended key usages.
enum : int {
    kKeyPurposeServerAuth = 1,
    kKeyPurposeClientAuth = 2,
    kKeyPurposeCodeSigning = 4,
    kKeyPurposeEmailProtection = 8,
    kKeyPurposeTimeStamping = 16,
    kKeyPurposeOcspSigning = 32,
    kKeyPurposeServerGatedCrypto = 64,
};

// Extension kinds: slots 0-23 of the extension and attribute tables.
enum : int {
    kExtEmailAddress = 0,
    kExtChallengePassword = 1,
    kExtExtendedCertAttributes = 2,
    kExtOwn1 = 3,
    kExtOwn2 = 4,
    kExtNetscapeCertType = 5,
    kExtNetscapeComment = 6,
    kExtNetscapeSslServerName = 7,
    kExtOwnFirst = 8,  // 8-14: 2.37.1117.1931.n
    kExtOwnLast = 14,
    kExtKeyUsage = 15,
    kExtBasicConstraints = 16,
    kExtExtKeyUsage = 17,
    kExtCertificatePolicies = 18,
    kExtCrlDistributionPoints = 19,
    kExtSubjectAltName = 20,
    kExtIssuerAltName = 21,
    kExtAuthorityInfoAccess = 22,
    kExtOcspNoCheck = 23,
    kExtensionKinds = 24,
};

// PKCS#9 attribute types of certification requests.
enum : int {
    kAttrEmailAddress = 0,
    kAttrChallengePassword = 1,
    kAttrExtendedCertAttributes = 9,
};

// Code -> identifier. out holds at least kOIDMaxLength bytes; exactly the
// identifier's bytes are written.
int AlgorithmToOID(int code, unsigned char* out, std::size_t* length);    // 0 found, 1 not
int ContentTypeToOID(int code, unsigned char* out, std::size_t* length);  // 0 found, 1 not
int ObjectCodeToOID(int code, unsigned char* out, std::size_t* length);   // 0 found, 1 not (also 319)
int ExtensionKindToOID(int kind, unsigned char* out);    // identifier length, -1 outside 0-23
int AttributeTypeToOID(int type, unsigned char* out);    // 1 (9 bytes written), -1 otherwise

// Identifier -> code: exact matches on bytes and length, else -1.
int OIDToAlgorithm(const unsigned char* oid, std::size_t length);
int OIDToContentType(const unsigned char* oid, std::size_t length);
int OIDToBagType(const unsigned char* oid, std::size_t length);  // object codes and key-purpose flags
int OIDToExtensionKind(const unsigned char* oid, std::size_t length);
int OIDToAttributeType(const unsigned char* oid, std::size_t length);

// AlgorithmIdentifier. Byte counts, 0 = failure.
// SEQUENCE { OID, NULL }; 0 for a code without identifier.
std::size_t EncodeAlgorithmId(DERCursor* cursor, int code);
// SEQUENCE { OID, OCTET STRING parameters }.
std::size_t EncodeAlgorithmIdParams(DERCursor* cursor, int code, const unsigned char* parameters,
                                    std::size_t parametersLength);
// SEQUENCE { known OID [, NULL] }: the NULL empty and the SEQUENCE used
// exactly; anything else fails.
std::size_t DecodeAlgorithmId(DERCursor* cursor, int* code);
// The same layout from a stream (stream tag numbers). An unknown identifier
// gives code -1 and still succeeds; one longer than kAlgorithmIdWorkSize
// bytes is refused.
std::size_t ReadAlgorithmId(DataStream* stream, int* code);
