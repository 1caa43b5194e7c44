// The revocation check of a platform certificate against a CRL file.
#pragma once
#include <string>

#include <windows.h>
#include <wincrypt.h>

#include "signer/certs/crl_list.h"

// CheckCRLStatus with the certificate's issuer and serial as the platform
// holds them. A certificate whose issuer cannot be decoded is Undetermined:
// names the core does not read never pass.
TCRLStatus CheckCertificateCRL(const std::string& crlFile, const std::string& caFile, PCCERT_CONTEXT certificate,
                               std::string& reason);
