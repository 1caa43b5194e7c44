// The few fields of an X.509 certificate the OCSP client needs, read from
// the DER without decoding the whole certificate. Results are the bytes of
// the certificate read, 0 on failure.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"

// Target: validity in UTCTime; appends the issuer Name (whole element) to
// slot 0 and the serial's content to slot 2.
std::size_t ReadTargetCertificate(const unsigned char* der, std::size_t length, DataSets* requestSets);
// Issuer of a target: validity in UTCTime; appends the key bits to slot 1.
std::size_t ReadIssuerCertificate(const unsigned char* der, std::size_t length, DataSets* requestSets);
// Validity in either time form; a heap copy of the subject Name element
// (FreeItems).
std::size_t ReadCertificateSubject(const unsigned char* der, std::size_t length, ByteBuffer* subject);
// Responder certificate: heap copies of the subject Name element and of the
// digest (digestType, SHA-1 in use) of the key bits; authorised is 1 when
// the extendedKeyUsage extension is not critical and names
// id-kp-OCSPSigning as its first purpose.
std::size_t HasOCSPSigningPurpose(const unsigned char* der, std::size_t length, ByteBuffer* keyHash,
                                  std::uint32_t digestType, ByteBuffer* subject, int* authorised);
// The subject Name element and the key bits as views into the DER.
std::size_t ReadSubjectAndKeyBits(const unsigned char* der, std::size_t length, ByteBuffer* subject,
                                  ByteBuffer* keyBits);
