// The parts of a certificate that other records copy: its issuer Name,
// serial number and subject Name exactly as the certificate encodes them (a
// Name rebuilt from its decoded fields may order or type its parts
// differently, and a peer then no longer matches it).
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

// Views into the certificate's DER: the whole issuer Name and the serial
// number's INTEGER content. False unless the bytes are an X.509
// Certificate's SEQUENCE of TBSCertificate whose fields read up to the issuer.
bool ReadCertificateIssuerAndSerial(const unsigned char* der, std::size_t length, ByteBuffer* issuer,
                                    ByteBuffer* serial);
// A view of the whole subject Name, read the same way up to it.
bool ReadCertificateSubjectView(const unsigned char* der, std::size_t length, ByteBuffer* subject);
