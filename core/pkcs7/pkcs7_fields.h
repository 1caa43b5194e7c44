// Fields of PKCS#7 signed and enveloped data, read from whole DER elements
// with the bounded DER reader. Pure functions: the views they give point
// into the element read, which must outlive them. False for an element that
// is not what the field requires.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "core/der/der.h"

struct Pkcs7Algorithm {
    ByteBuffer oid{nullptr, 0};         // content of the OBJECT IDENTIFIER, never empty
    ByteBuffer parameters{nullptr, 0};  // the whole element; empty when absent
};

// IssuerAndSerialNumber, or a [0] subject key identifier.
struct Pkcs7Identifier {
    bool byKeyId = false;
    ByteBuffer keyId{nullptr, 0};   // content of the [0]
    ByteBuffer issuer{nullptr, 0};  // the whole Name
    ByteBuffer serial{nullptr, 0};  // INTEGER content, big-endian, never empty
};

struct Pkcs7SignerInfo {
    int version = 0;  // 1 by issuer and serial number, 3 by key identifier
    Pkcs7Identifier signer;
    Pkcs7Algorithm digest;
    ByteBuffer signedAttributes{nullptr, 0};  // the whole [0]; empty when absent
    Pkcs7Algorithm signature;
    ByteBuffer signatureValue{nullptr, 0};  // never empty
};

// Key transport recipients only; other kinds are recognised and not read.
struct Pkcs7RecipientInfo {
    bool keyTransport = false;
    int version = 0;  // 0 by issuer and serial number, 2 by key identifier
    Pkcs7Identifier recipient;
    Pkcs7Algorithm keyAlgorithm;
    ByteBuffer encryptedKey{nullptr, 0};  // never empty
};

// The two signed attributes a verifier checks, each found once with one value.
struct Pkcs7SignedAttributes {
    bool hasContentType = false;
    ByteBuffer contentType{nullptr, 0};  // OBJECT IDENTIFIER content
    bool hasMessageDigest = false;
    ByteBuffer messageDigest{nullptr, 0};  // OCTET STRING content
};

enum class Pkcs7AttributesResult {
    Ok,         // whichever of the two are present were read
    Malformed,  // not a [0] of SEQUENCE { OID, SET }
    Repeated,   // one of the two twice, or not with exactly one value of its type
};

// A content encryption algorithm the decoder can use: a core algorithm code
// (kAlgRc4 without salt, kAlgDesEde3Cbc with its 8-byte IV) or 0 for any other.
struct Pkcs7ContentCipher {
    int algorithm = 0;
    ByteBuffer iv{nullptr, 0};
};

// AlgorithmIdentifier: SEQUENCE { OID, optional parameters of any kind }.
bool ReadPkcs7Algorithm(DERCursor* cursor, Pkcs7Algorithm* algorithm);
// Parameters absent or NULL.
bool Pkcs7NoParameters(const Pkcs7Algorithm& algorithm);
bool ReadPkcs7Identifier(DERCursor* cursor, Pkcs7Identifier* identifier);

// Each of these reads one whole element (header included), which it must fill.
// A one-byte INTEGER holding one of the allowed values.
bool ReadPkcs7Version(const ByteBuffer& element, const int* allowed, std::size_t count, int* version);
// OBJECT IDENTIFIER content.
bool ReadPkcs7ObjectId(const ByteBuffer& element, ByteBuffer* oid);
// SET OF AlgorithmIdentifier, each without parameters or with NULL.
bool ReadPkcs7DigestAlgorithms(const ByteBuffer& element, std::vector<Pkcs7Algorithm>* algorithms);
bool ReadPkcs7SignerInfo(const ByteBuffer& element, Pkcs7SignerInfo* info);
// True for a recipient of another kind than key transport (keyTransport false).
bool ReadPkcs7RecipientInfo(const ByteBuffer& element, Pkcs7RecipientInfo* info);
// The [0] IMPLICIT SET OF Attribute of a signer.
Pkcs7AttributesResult ReadPkcs7SignedAttributes(const ByteBuffer& element, Pkcs7SignedAttributes* attributes);
// ContentEncryptionAlgorithmIdentifier; false only for malformed DER or a
// 3DES IV that is not one OCTET STRING of 8 bytes.
bool ReadPkcs7ContentCipher(const ByteBuffer& element, Pkcs7ContentCipher* cipher);

// Dotted text of an OBJECT IDENTIFIER's content ("1.2.840.113549.1.7.1");
// false for a malformed one or an arc beyond 63 bits.
bool Pkcs7DottedOid(const ByteBuffer& oid, std::string* text);
