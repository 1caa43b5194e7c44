// The checks both verification roads make on a signer's certificate: issued
// by the configured CA, and not revoked by OCSP or the CRL. Each road words
// the verdicts its own way.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "signer/certs/certificado.h"

enum class CaVerdict {
    Issued,            // signed by the CA's key, or no CA file configured
    NotIssued,         // the signature does not verify with the CA's key
    CaUnreadable,      // the CA file is configured but does not decode
    SignerUnreadable,  // the CA is set but the signer's certificate does not decode
};

// Loads the CA from caFile (when not "") into `ca` and the signer's DER into
// `signer`, checked with the CA's key. The core does not decode every name
// form (UTF8String): such a certificate is unreadable and fails closed.
CaVerdict CheckIssuedByCa(const std::string& caFile, TCertificado& ca, TCertificado& signer,
                          const unsigned char* signerDer, DWORD signerLength);

enum class RevocationVerdict {
    Good,          // OCSP good, or not in the CRL
    Revoked,       // OCSP revoked, or listed in the CRL
    Undetermined,  // OCSP status neither, or OCSP on but not asked; a CRL that does not load or is not the issuer's
    QueryFailed,   // the OCSP query gave no status
    NotChecked,    // neither means configured
};

struct TRevocationCheck {
    bool askOcsp = false;          // the road's rule for using OCSP
    std::string ocspUrl;
    std::string ocspResponseFile;  // handed through to the query
    std::string crlFile;
    std::string caFile;            // the CRL's signature is checked with it; its issuer must be the signer's
};

// OCSP when askOcsp, else the CRL when crlFile is not "", else, with an
// OCSP URL the road could not ask (no CA), Undetermined. `text` gets the
// OCSP driver's text or the reason of the failure.
RevocationVerdict CheckRevocation(const TRevocationCheck& check, PCCERT_CONTEXT signer, const TCertificado& ca,
                                  std::string& text);
