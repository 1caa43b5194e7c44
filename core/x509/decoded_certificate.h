// A certificate decoded by the core's decoder, its tables released when it
// goes out of scope.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/x509/certificate.h"

struct DecodedCertificate {
    CertificateFields fields;
    bool decoded = false;

    // issuerKey null: no signature check (status 0).
    DecodedCertificate(const ByteBuffer& der, const RsaPublicKey* issuerKey);
    ~DecodedCertificate();
    DecodedCertificate(const DecodedCertificate&) = delete;
    DecodedCertificate& operator=(const DecodedCertificate&) = delete;
};
