#include "ocsp/protocol/ocsp_capi.h"

#include <cstdio>
#include <initializer_list>

#include "core/der/oid.h"
#include "core/toolkit/wipe.h"
#include "ocsp/protocol/ocsp_set_items.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/response_checks.h"
#include "platform/capi_handles.h"

namespace {

void Diagnose(const char* text) { std::fputs(text, stdout); }

ALG_ID HashOfSignature(int algorithm)
{
    switch (algorithm) {
    case kAlgMD2WithRsa: return CALG_MD2;
    case kAlgMD4WithRsa: return CALG_MD4;
    case kAlgMD5WithRsa: return CALG_MD5;
    case kAlgSHA1WithRsa: return CALG_SHA1;
    default: return 0;
    }
}

bool CreateContext(const ByteBuffer& der, TCertContext& context)
{
    if (!der.pointer || der.length == 0 || der.length > 0xFFFFFFFFu) return false;
    context.Reset(CertCreateCertificateContext(kMessageEncoding, der.pointer, static_cast<DWORD>(der.length)));
    return static_cast<bool>(context);
}

bool HashOnProvider(HCRYPTPROV provider, ALG_ID algorithm, const ByteBuffer& data, TCryptHash& hash)
{
    return CryptCreateHash(provider, algorithm, 0, 0, hash.Put()) &&
           CryptHashData(hash.Get(), data.pointer, static_cast<DWORD>(data.length), 0);
}

}  // namespace

int GenerateNonceWithCryptoAPI(ByteBuffer* nonce)
{
    *nonce = ByteBuffer{nullptr, 0};
    TCryptProvider provider;
    unsigned char bytes[kOCSPNonceLength];
    if (!AcquireVerifyProvider(provider) || !RandomBytes(provider.Get(), bytes, sizeof bytes)) return 0;
    unsigned char* copy = CopyToCString(bytes, sizeof bytes);
    if (!copy) return 0;
    *nonce = ByteBuffer{copy, sizeof bytes};
    return 1;
}

int SignWithCryptoAPI(const unsigned char* data, std::size_t dataLength, unsigned char* signature,
                      std::size_t* signatureLength, const DataSets* userSets, int algorithm, int keyArgument)
{
    (void)keyArgument;
    const ALG_ID hashAlgorithm = HashOfSignature(algorithm);
    const std::uint32_t count = ocsp_items::Count(userSets, kSlotUserCertificates);
    ByteBuffer signer;
    if (!hashAlgorithm || count == 0 || !ocsp_items::Get(userSets, kSlotUserCertificates, count, &signer) ||
        dataLength > 0xFFFFFFFFu)
        return 0;
    TCertStore store;
    TCertContext wanted, found;
    if (!OpenUserStore(store, "MY") || !CreateContext(signer, wanted)) return 0;
    found.Reset(CertFindCertificateInStore(store.Get(), kMessageEncoding, 0, CERT_FIND_EXISTING, wanted.Get(),
                                           nullptr));
    TCertPrivateKey key;
    if (!found || !key.Acquire(found.Get(), 0)) return 0;
    TCryptHash hash;
    DWORD size = 0;
    if (!HashOnProvider(key.Provider(), hashAlgorithm, ByteBuffer{const_cast<unsigned char*>(data), dataLength}, hash) ||
        !CryptSignHashA(hash.Get(), key.KeySpec(), nullptr, 0, nullptr, &size))
        return 0;
    if (size > kOCSPMaxSignatureLength) {
        Diagnose("Error: longitud de firma mayor de la permitida...\n");
        return 0;
    }
    if (!CryptSignHashA(hash.Get(), key.KeySpec(), nullptr, 0, signature, &size)) return 0;
    // CryptoAPI gives the number least significant byte first; the BIT
    // STRING of a request wants it big-endian.
    ReverseBytes(signature, size);
    *signatureLength = size;
    return 1;
}

int CheckResponderIssuer(const DataSets* requestSets, const unsigned char* issuer, std::size_t issuerLength)
{
    ByteBuffer responder;
    TCertContext responderContext, issuerContext;
    if (!ResponderCertificate(requestSets, &responder) || !CreateContext(responder, responderContext) ||
        !CreateContext(ByteBuffer{const_cast<unsigned char*>(issuer), issuerLength}, issuerContext))
        return 0;
    DWORD flags = CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG;
    if (!CertVerifySubjectCertificateContext(responderContext.Get(), issuerContext.Get(), &flags)) return 0;
    if (flags & CERT_STORE_TIME_VALIDITY_FLAG) return 30;
    if (flags & CERT_STORE_SIGNATURE_FLAG) return 31;
    return 1;
}

int VerifyResponseSignatureWithCryptoAPI(const DataSets* requestSets, const DataSets* userSets,
                                         int signatureAlgorithm)
{
    (void)userSets;  // a public-key check needs no key container of the user's
    const ALG_ID hashAlgorithm = HashOfSignature(signatureAlgorithm);
    if (!hashAlgorithm) {
        Diagnose("Error: algoritmo de firma no soportado...\n");
        return 0;
    }
    ByteBuffer responder, signed_, signature;
    TCertContext context;
    if (!ResponderCertificate(requestSets, &responder) || !CreateContext(responder, context)) {
        Diagnose("No se pudo crear contexto para cert del firmante al verificar la firma... \n");
        return 0;
    }
    if (!ocsp_items::Get(requestSets, kSlotSignedResponse, 1, &signed_) ||
        !ResponseSignature(requestSets, &signature) || signed_.length > 0xFFFFFFFFu)
        return 0;
    TCryptProvider provider;
    if (!AcquireVerifyProvider(provider)) {
        Diagnose("Error al adquirir provedor para verificar la firma\n");
        return 0;
    }
    TCryptKey key;
    if (!CryptImportPublicKeyInfoEx(provider.Get(), kMessageEncoding, &context.Get()->pCertInfo->SubjectPublicKeyInfo,
                                    CALG_RSA_KEYX, 0, nullptr, key.Put())) {
        Diagnose("Error importando la llave publica del firmante al provedor...\n ");
        return 0;
    }
    // CryptoAPI wants the signature least significant byte first: try the
    // stored order reversed (the standard big-endian form) and as stored.
    unsigned char reversed[kOCSPMaxSignatureLength];
    CopyBytes(reversed, signature.pointer, signature.length);
    ReverseBytes(reversed, signature.length);
    for (const unsigned char* candidate : {static_cast<const unsigned char*>(signature.pointer),
                                           static_cast<const unsigned char*>(reversed)}) {
        TCryptHash hash;
        if (!HashOnProvider(provider.Get(), hashAlgorithm, signed_, hash)) {
            Diagnose("Error calculando digestion... \n");
            return 0;
        }
        if (CryptVerifySignatureA(hash.Get(), candidate, static_cast<DWORD>(signature.length), key.Get(), nullptr, 0))
            return 1;
    }
    return 0;
}
