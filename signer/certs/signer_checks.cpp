#include "signer/certs/signer_checks.h"

#include <vector>

#include "signer/certs/serial_text.h"
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

std::string CertificateSerialText(PCCERT_CONTEXT certificate)
{
    const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
    // Least significant byte first; the INTEGER's sign byte is not part of the text.
    std::vector<unsigned char> bytes(serial.pbData, serial.pbData + serial.cbData);
    std::vector<unsigned char> bigEndian(bytes.rbegin(), bytes.rend());
    std::size_t skip = bigEndian.size() > 1 && bigEndian[0] == 0 ? 1 : 0;
    return SerialNumberText(bigEndian.data() + skip, bigEndian.size() - skip);
}

namespace {

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
    (void)check;
    (void)signer;
    text = "La lista de revocación no está disponible en esta versión";
    return RevocationVerdict::Undetermined;
}

}  // namespace

RevocationVerdict CheckRevocation(const TRevocationCheck& check, PCCERT_CONTEXT signer, const TCertificado& ca,
                                  std::string& text)
{
    if (check.askOcsp) return AskOcsp(check, signer, ca, text);
    if (!check.crlFile.empty()) return AskCrl(check, signer, text);
    return RevocationVerdict::NotChecked;
}
