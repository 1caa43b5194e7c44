// Other ways into the request set than a target's and its issuer's
// certificates: an entry from decoded fields, the issuer's name and key
// together, and the certificates kept for a complete exchange.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "core/rsa/rsa_key.h"
#include "core/x509/name.h"

// Appends the issuer Name to slot 0, the serial to slot 2 and the issuer's
// key bits (the RSAPublicKey DER) to slot 1, while slot 2 holds fewer than
// 10 targets. 1 done, 0 not (nothing added). The Name is written by the
// core's encoder in its own attribute order: it hashes as the certificate's
// only when the issuer's Name was written in that order.
int AddTargetEntry(const NameTable* issuerName, const ByteBuffer& serial, const RsaPublicKey* issuerKey,
                   DataSets* requestSets);
// As ReadIssuerCertificate, also appending the certificate's subject Name to
// slot 0 (the issuer Name of the targets it issued).
std::size_t ReadIssuerNameAndKey(const unsigned char* der, std::size_t length, DataSets* requestSets);
// Heap copies (FreeItems) of the subject Name element and the key bits.
std::size_t ExtractSubjectAndKey(const unsigned char* der, std::size_t length, ByteBuffer* subject,
                                 ByteBuffer* keyBits);
// One item each: a serial (slot 2), a target certificate (slot 9) and an
// issuer certificate (slot 10); the certificate slots hold 10 at most.
int AddTargetSerial(DataSets* requestSets, const ByteBuffer& serial);
int AddTargetCertificate(DataSets* requestSets, const ByteBuffer& certificate);
int AddIssuerCertificate(DataSets* requestSets, const ByteBuffer& certificate);
