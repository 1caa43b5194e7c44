// The X.509 certificate decoder: a DER certificate (or the signed wrapper
// form that carries an attribute set) into its fields, with an optional check
// of its signature against the issuer's key. RSA keys of at most 2048 bits
// and MD2, MD4, MD5 or SHA-1 signatures; other certificates are refused.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"
#include "core/x509/extension.h"
#include "core/x509/name.h"
#include "core/rsa/rsa_key.h"

struct DERCursor;

enum : std::size_t {
    kValidityTextSize = 16,  // a time text of at most 15 characters and a NUL
};

// Signature status.
enum : int {
    kSignatureValid = 1,
    kSignatureInvalid = -1,
    kSignatureUnchecked = 0,
};

// The outputs of one DecodeCertificate call, for callers that keep them
// together. The caller releases serialNumber with FreeItems(&serialNumber, 1)
// (or FreeRepeated) and the tables with FreeItems(table.slots, 20 / 25).
struct CertificateFields {
    ByteBuffer wrapperVersion = {nullptr, 0};  // a view into the DER (wrapper form only), never freed
    ByteBuffer serialNumber = {nullptr, 0};
    NameTable issuer;
    char notBefore[kValidityTextSize] = {};
    char notAfter[kValidityTextSize] = {};
    NameTable subject;
    int signatureAlgorithm = 0;
    RsaPublicKey publicKey = {};
    int signatureStatus = 0;
    ExtensionTable extensions;
};

// 1 decoded, 0 not (every output then unset, nothing left to release).
// serialNumber: a heap copy of the serial's content without one leading
// 0x00 (when two or more bytes), with a NUL. issuerKey may be null; then
// signatureStatus is 0, else +1 or -1. The tables must hold heap copies or
// be empty: their contents are released first. reserved is not used.
int DecodeCertificate(const unsigned char* der, std::size_t derLength, ByteBuffer* wrapperVersion,
                      ByteBuffer* serialNumber, void* reserved, NameTable* issuer, char* notBefore, char* notAfter,
                      NameTable* subject, int* signatureAlgorithm, RsaPublicKey* publicKey,
                      const RsaPublicKey* issuerKey, int* signatureStatus, ExtensionTable* extensions);

// The public key of a certificate, every other field released at once;
// with an issuer key, its signature status too (signatureStatus may be null).
bool DecodeCertificateKey(const unsigned char* der, std::size_t derLength, RsaPublicKey* publicKey,
                          const RsaPublicKey* issuerKey, int* signatureStatus);

// The codecs below return bytes consumed or written, 0 on failure; a failed
// decoder leaves nothing allocated.

// Certificate ::= SEQUENCE { tbsCertificate, AlgorithmIdentifier, BIT STRING }.
// tbsStart receives the TBS's first byte; savedCursor the cursor after the
// signature.
std::size_t DecodeCertificateV3(DERCursor* cursor, const unsigned char** tbsStart, ByteBuffer* serialNumber,
                                NameTable* issuer, char* notBefore, char* notAfter, NameTable* subject,
                                int* signatureAlgorithm, RsaPublicKey* publicKey, const RsaPublicKey* issuerKey,
                                int* signatureStatus, DERCursor* savedCursor, ExtensionTable* extensions);

// TBSCertificate: [0] version, serial, signature algorithm, issuer, validity,
// subject, SubjectPublicKeyInfo and, from version 2 on, [3] extensions;
// nothing else (unique identifiers are refused).
std::size_t DecodeTBSCertificate(DERCursor* cursor, ByteBuffer* serialNumber, NameTable* issuer, char* notBefore,
                                 char* notAfter, NameTable* subject, int* signatureAlgorithm,
                                 RsaPublicKey* publicKey, const unsigned char** tbsStart,
                                 ExtensionTable* extensions);

// SEQUENCE { AlgorithmIdentifier, BIT STRING RSAPublicKey }.
std::size_t DecodeSubjectPublicKeyInfo(DERCursor* cursor, int* algorithm, RsaPublicKey* publicKey);

// SEQUENCE { notBefore, notAfter }, UTCTime or GeneralizedTime, each into a
// kValidityTextSize buffer; longer texts are refused.
std::size_t DecodeValidity(DERCursor* cursor, char* notBefore, char* notAfter);
// 13-character texts as UTCTime, others as GeneralizedTime.
std::size_t EncodeValidity(DERCursor* cursor, const char* notBefore, const char* notAfter);

// SEQUENCE { SEQUENCE { version, Certificate, attributes }, AlgorithmIdentifier,
// BIT STRING }: the signature status is that of the outer signature; the
// extensions table receives the attribute set.
std::size_t DecodeCertificateWrapper(DERCursor* cursor, const unsigned char** innerStart, ByteBuffer* wrapperVersion,
                                     ByteBuffer* serialNumber, NameTable* issuer, char* notBefore, char* notAfter,
                                     NameTable* subject, int* signatureAlgorithm, RsaPublicKey* publicKey,
                                     const RsaPublicKey* issuerKey, int* signatureStatus,
                                     ExtensionTable* extensions);
// The inner SEQUENCE { version INTEGER, Certificate, attribute set }.
std::size_t DecodeCertificateWithAttributes(DERCursor* cursor, const unsigned char** innerStart,
                                            ByteBuffer* wrapperVersion, ByteBuffer* serialNumber, NameTable* issuer,
                                            char* notBefore, char* notAfter, NameTable* subject,
                                            int* signatureAlgorithm, RsaPublicKey* publicKey,
                                            const RsaPublicKey* issuerKey, int* signatureStatus,
                                            ExtensionTable* extensions);
