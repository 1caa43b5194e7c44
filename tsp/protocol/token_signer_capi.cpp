#include "tsp/protocol/token_signer_capi.h"

#include <cstdio>
#include <cstdlib>

#include "core/der/der_builder.h"
#include "core/text/text.h"
#include "platform/capi_handles.h"
#include "tsp/protocol/tsp_capi.h"

namespace {

const std::uint32_t kSlotSignerCertificates = 14;  // the last one signs
char kTSTInfoOid[] = "1.2.840.113549.1.9.16.1.4";
char kSha1Oid[] = "1.3.14.3.2.26";
char kSigningCertificateOid[] = "1.2.840.113549.1.9.16.2.12";

// SigningCertificate { certs { ESSCertID { certHash } } }
enum : std::size_t { kSigningCertificateCapacity = 40 };

void Diagnose(const char* text) { std::fputs(text, stdout); }

// The attribute value naming the signer by its certificate's SHA-1 hash;
// without it verifiers refuse the token (RFC 3161, 2.4.2).
bool BuildSigningCertificate(PCCERT_CONTEXT certificate, unsigned char* buffer, ByteBuffer* value)
{
    ByteBuffer hash{nullptr, 0};
    if (!DigestBuffer(certificate->pbCertEncoded, certificate->cbCertEncoded, CALG_SHA1, &hash)) return false;
    DERBuilder builder;
    InitDERBuilder(&builder, buffer, kSigningCertificateCapacity);
    const std::uint64_t outer = DERBuilderMark(&builder);
    BuildDERPrimitive(&builder, kTagOctetString, hash);
    CloseDER(&builder, kTagSequence, outer);  // ESSCertID
    CloseDER(&builder, kTagSequence, outer);  // certs
    CloseDER(&builder, kTagSequence, outer);  // SigningCertificate
    FreeItems(&hash, 1);
    *value = DERBuilderWritten(&builder);
    return builder.status == kDERBuildOk;
}

}  // namespace

int SignTimeStampToken(const DataSets* sets, const unsigned char* tstInfo, std::size_t tstInfoLength,
                       ByteBuffer* token)
{
    *token = ByteBuffer{nullptr, 0};
    std::uint32_t count = 0;
    const unsigned char* der = nullptr;
    std::size_t derLength = 0;
    if (!tstInfo || tstInfoLength == 0 || tstInfoLength > kTSPEContentCapacity ||
        CountDataItems(sets, kSlotSignerCertificates, &count) != kDataSetsOk || count == 0 ||
        GetDataItem(sets, kSlotSignerCertificates, count, &der, &derLength) != kDataSetsOk ||
        derLength > 0xFFFFFFFFu) {
        Diagnose("Error: no hay certificado del firmante\n");
        return 0;
    }
    TCertContext wanted(CertCreateCertificateContext(kMessageEncoding, der, static_cast<DWORD>(derLength)));
    TCertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "MY"));
    if (!wanted || !store) {
        Diagnose("Error abriendo el almacen de certificados\n");
        return 0;
    }
    TCertContext found(
        CertFindCertificateInStore(store.Get(), kMessageEncoding, 0, CERT_FIND_EXISTING, wanted.Get(), nullptr));
    TCertPrivateKey key;
    if (!found || !key.Acquire(found.Get(), 0)) {
        Diagnose("Error obteniendo la llave privada del firmante\n");
        return 0;
    }
    unsigned char attributeBuffer[kSigningCertificateCapacity];
    ByteBuffer attributeValue{nullptr, 0};
    if (!BuildSigningCertificate(found.Get(), attributeBuffer, &attributeValue)) {
        Diagnose("Error codificando el certificado del firmante\n");
        return 0;
    }
    CRYPT_ATTR_BLOB signingCertificateValue = {static_cast<DWORD>(attributeValue.length), attributeValue.pointer};
    CRYPT_ATTRIBUTE signingCertificate = {kSigningCertificateOid, 1, &signingCertificateValue};
    CMSG_SIGNER_ENCODE_INFO signer = {};
    signer.cbSize = sizeof signer;
    signer.pCertInfo = found.Get()->pCertInfo;
    signer.hCryptProv = key.Provider();
    signer.dwKeySpec = key.KeySpec();
    signer.HashAlgorithm.pszObjId = kSha1Oid;
    signer.cAuthAttr = 1;
    signer.rgAuthAttr = &signingCertificate;
    CERT_BLOB certificate = {found.Get()->cbCertEncoded, found.Get()->pbCertEncoded};
    CMSG_SIGNED_ENCODE_INFO info = {};
    info.cbSize = sizeof info;
    info.cSigners = 1;
    info.rgSigners = &signer;
    info.cCertEncoded = 1;
    info.rgCertEncoded = &certificate;
    // The length comes from the encoded message itself: no separate estimate
    // (CryptMsgCalculateEncodedLength) is needed.
    TCryptMessage message(CryptMsgOpenToEncode(kMessageEncoding, CMSG_CMS_ENCAPSULATED_CONTENT_FLAG, CMSG_SIGNED,
                                               &info, kTSTInfoOid, nullptr));
    DWORD size = 0;
    if (!message || !CryptMsgUpdate(message.Get(), tstInfo, static_cast<DWORD>(tstInfoLength), TRUE) ||
        !CryptMsgGetParam(message.Get(), CMSG_CONTENT_PARAM, 0, nullptr, &size) || size == 0) {
        Diagnose("Error firmando la estampilla\n");
        return 0;
    }
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(size));
    if (!bytes || !CryptMsgGetParam(message.Get(), CMSG_CONTENT_PARAM, 0, bytes, &size)) {
        Diagnose("Error obteniendo la estampilla firmada\n");
        std::free(bytes);
        return 0;
    }
    *token = ByteBuffer{bytes, size};
    return 1;
}
