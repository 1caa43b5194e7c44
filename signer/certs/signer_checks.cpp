#include "signer/certs/signer_checks.h"

#include "signer/certs/crl_check.h"
#include "signer/ocsp/ocsp_status.h"

CaVerdict CheckIssuedByCa(const std::string& caFile, TCertificado& ca, TCertificado& signer,
                          const unsigned char* signerDer, DWORD signerLength)
{
    if (!caFile.empty()) {
        if (!ca.LoadFromFile(caFile)) return CaVerdict::CaUnreadable;
        signer.caKey = ca.GetPublicKey();
    }
    signer.LoadFromBuffer(signerLength, signerDer);
    if (caFile.empty()) return CaVerdict::Issued;
    if (!signer.decoded) return CaVerdict::SignerUnreadable;
    return signer.IsValid() ? CaVerdict::Issued : CaVerdict::NotIssued;
}

namespace {

const char* const kOcspWithoutCa = "No se ha configurado el certificado de la AC para consultar OCSP";

RevocationVerdict AskOcsp(const TRevocationCheck& check, PCCERT_CONTEXT signer, const TCertificado& ca,
                          std::string& text)
{
    int status = 0;
    text.clear();
    if (!CheckOCSPStatus(check.ocspUrl, signer->pbCertEncoded, signer->cbCertEncoded, ca.GetData(),
                         static_cast<unsigned long>(ca.GetSize()), text, status, check.ocspResponseFile))
        return RevocationVerdict::QueryFailed;
    if (status == kOcspStatusGood) return RevocationVerdict::Good;
    if (status == kOcspStatusRevoked) return RevocationVerdict::Revoked;
    return RevocationVerdict::Undetermined;
}

RevocationVerdict AskCrl(const TRevocationCheck& check, PCCERT_CONTEXT signer, std::string& text)
{
    switch (CheckCertificateCRL(check.crlFile, check.caFile, signer, text)) {
    case TCRLStatus::Good:
        return RevocationVerdict::Good;
    case TCRLStatus::Revoked:
        return RevocationVerdict::Revoked;
    case TCRLStatus::Undetermined:
        break;
    }
    return RevocationVerdict::Undetermined;
}

}  // namespace

RevocationVerdict CheckRevocation(const TRevocationCheck& check, PCCERT_CONTEXT signer, const TCertificado& ca,
                                  std::string& text)
{
    if (check.askOcsp) return AskOcsp(check, signer, ca, text);
    if (!check.crlFile.empty()) return AskCrl(check, signer, text);
    // OCSP is switched on but cannot be asked: the status is not known.
    if (!check.ocspUrl.empty()) {
        text = kOcspWithoutCa;
        return RevocationVerdict::Undetermined;
    }
    return RevocationVerdict::NotChecked;
}
