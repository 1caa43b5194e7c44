// Certificate building and signing: the TBSCertificate from the fields the
// decoder hands out, the signed certificate, the signed wrapper that carries
// an attribute set (the form DecodeCertificateWrapper reads) and the generic
// SEQUENCE { body, AlgorithmIdentifier, BIT STRING } of signed structures.
// Signatures are PKCS#1 v1.5 over a DigestInfo: algorithm codes 101 (MD2),
// 102 (MD4), 103 (MD5) and 111 (SHA-1) with RSA.
//
// Every intermediate result is built in a kCertificateBuildSize heap buffer
// owned by the call; an encoding that does not fit, or does not fit the
// caller's capacity, fails. On failure *outLength is 0 and out is untouched.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/rsa/rsa_key.h"
#include "core/x509/extension.h"
#include "core/x509/name.h"

struct DERCursor;

enum : std::size_t { kCertificateBuildSize = 6144 };

// The fields of a certificate to be signed; nothing here is changed.
struct CertificateToSign {
    ByteBuffer serialNumber;  // big-endian magnitude, at least one byte
    int signatureAlgorithm;   // 101, 102, 103 or 111
    const NameTable* issuer;
    const char* notBefore;  // 13 characters: UTCTime, otherwise GeneralizedTime
    const char* notAfter;
    const NameTable* subject;
    int keyAlgorithm;  // of the SubjectPublicKeyInfo, 100 (rsaEncryption) as a rule
    const RsaPublicKey* publicKey;
    // The issuer's Name DER as its own certificate holds it; when given it is
    // written as it stands in place of issuer. EncodeName writes attributes
    // in its own fixed order, so a Name it rebuilds differs from an issuer
    // whose attributes stand in another order, and peers then find no
    // issuer for the certificate.
    ByteBuffer issuerName = {nullptr, 0};
};

// The subject Name DER of a certificate (a view into it), for issuerName.
// false when the DER is not a certificate.
bool FindCertificateSubjectName(const unsigned char* der, std::size_t length, ByteBuffer* name);

// TBSCertificate ::= SEQUENCE { [0] version, serialNumber, signature,
// issuer, validity, subject, subjectPublicKeyInfo, [3] extensions }. With
// at least one extension slot holding data: version 3 and the extensions;
// otherwise version 1 and neither element. The serial gets a sign byte
// where its top bit is set. Bytes written, 0 on failure (the cursor is
// then left where it was).
std::size_t EncodeTBSCertificate(DERCursor* cursor, const CertificateToSign& fields, const ExtensionTable* extensions);

// Certificate ::= SEQUENCE { tbsCertificate, AlgorithmIdentifier, BIT STRING
// signature }, signed with privateKey. 1 done, 0 failed.
int EncodeSignedCertificate(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                            const CertificateToSign& fields, const RsaPrivateKey* privateKey,
                            const ExtensionTable* extensions);
// The same entry point under its second name.
int EncodeSignedCertificateAlt(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                               const CertificateToSign& fields, const RsaPrivateKey* privateKey,
                               const ExtensionTable* extensions);

// The step under EncodeSignedCertificate on the caller's buffers: the TBS is
// built at the end of tbsBuffer, the signed certificate at the end of out
// (each result occupies the buffer's last bytes, as a DER writer leaves it).
// With a null privateKey it stops after the TBS and returns its size.
// Bytes written, 0 on failure.
std::size_t EncodeSignedCertificateInto(DigestInfoWork* work, unsigned char* out, std::size_t outSize,
                                        const CertificateToSign& fields, const RsaPrivateKey* privateKey,
                                        unsigned char* tbsBuffer, std::size_t tbsSize,
                                        const ExtensionTable* extensions);

// SEQUENCE { version INTEGER, Certificate, SET attributes }: the body of
// the signed wrapper. The attribute set leaves challengePassword out and
// must hold at least one attribute. The inner Certificate is signed without
// extensions. Bytes written to out, 0 on failure.
std::size_t EncodeCertificateWithAttributes(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                                            const ByteBuffer& version, const CertificateToSign& fields,
                                            const RsaPrivateKey* privateKey, const ExtensionTable* attributes);
// The same with the attribute table given to the inner Certificate as its
// extension table as well.
std::size_t EncodeCertificateWithAttributesAsExtensions(unsigned char* out, std::size_t outCapacity,
                                                        std::size_t* outLength, const ByteBuffer& version,
                                                        const CertificateToSign& fields,
                                                        const RsaPrivateKey* privateKey,
                                                        const ExtensionTable* attributes);

// A plain certificate (no extensions) when no attribute other than
// challengePassword holds data; otherwise the signed wrapper SEQUENCE {
// EncodeCertificateWithAttributes body (key algorithm rsaEncryption),
// AlgorithmIdentifier (wrapperAlgorithm), BIT STRING signature }, both
// signatures by privateKey. 1 done, 0 failed.
int BuildCertificate(unsigned char* out, std::size_t outCapacity, std::size_t* outLength, const ByteBuffer& version,
                     const CertificateToSign& fields, const RsaPrivateKey* privateKey, const ExtensionTable* attributes,
                     int wrapperAlgorithm);

// SEQUENCE { body as given, AlgorithmIdentifier (algorithm, NULL), BIT STRING
// signature }. The signature has 1 to 256 bytes, the body at least 1. The
// encoding's length, 0 on failure.
std::size_t EncodeSignedStructure(unsigned char* out, std::size_t outCapacity, std::size_t* outLength,
                                  const ByteBuffer& body, const ByteBuffer& signature, int algorithm);
