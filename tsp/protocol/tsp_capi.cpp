#include "tsp/protocol/tsp_capi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/text/text.h"
#include "core/toolkit/wipe.h"
#include "platform/capi_handles.h"
#include "tsp/protocol/timestamping_usage.h"
#include "tsp/protocol/token_signed_parts.h"

namespace {

const char kTSTInfoText[] = "1.2.840.113549.1.9.16.1.4";

void Diagnose(const char* text) { std::fputs(text, stdout); }

bool IsSha2(unsigned int algorithm)
{
    return algorithm == CALG_SHA_256 || algorithm == CALG_SHA_384 || algorithm == CALG_SHA_512;
}

// The SHA-2 family lives in the AES provider; verify-only either way.
bool AcquireDigestProvider(unsigned int algorithm, TCryptProvider& provider)
{
    if (!IsSha2(algorithm)) return AcquireVerifyProvider(provider);
    return CryptAcquireContextA(provider.Put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != FALSE;
}

// A parameter of the message into the vector; false when it is not there.
bool MessageParam(HCRYPTMSG message, DWORD type, DWORD index, std::vector<unsigned char>& value)
{
    DWORD size = 0;
    if (!CryptMsgGetParam(message, type, index, nullptr, &size) || size == 0) return false;
    value.assign(size, 0);
    if (!CryptMsgGetParam(message, type, index, value.data(), &size)) return false;
    value.resize(size);
    return true;
}

// The messageDigest attribute over the TSTInfo, which the platform's
// signature check does not compare.
bool DigestOfContentMatches(const TokenSignedParts& parts)
{
    unsigned int algorithm = 0;
    switch (TokenDigestOf(parts)) {
    case kTokenDigestSha1: algorithm = CALG_SHA1; break;
    case kTokenDigestSha256: algorithm = CALG_SHA_256; break;
    default: return false;
    }
    ByteBuffer digest{nullptr, 0};
    if (!DigestBuffer(parts.eContent.pointer, parts.eContent.length, algorithm, &digest)) return false;
    const bool same = TokenDigestMatches(parts, digest.pointer, digest.length);
    FreeItems(&digest, 1);
    return same;
}

int Verify(unsigned char* eContent, std::size_t* eContentLength, const unsigned char* token, std::size_t tokenLength,
           int* result, ByteBuffer* signerCertificate)
{
    TokenSignedParts parts;
    if (!ReadTokenSignedParts(token, tokenLength, &parts) || tokenLength > 0xFFFFFFFFu) {
        Diagnose("Error decodificando la estampilla\n");
        return 0;
    }
    if (parts.eContent.length > kTSPEContentCapacity) {
        Diagnose("Error: TSTInfo mayor de lo permitido\n");
        return 0;
    }
    // No provider of ours: the platform picks one that knows the token's
    // digest, and a store never releases a provider it did not open.
    TCryptMessage message(CryptMsgOpenToDecode(kMessageEncoding, 0, 0, 0, nullptr, nullptr));
    if (!message || !CryptMsgUpdate(message.Get(), token, static_cast<DWORD>(tokenLength), TRUE)) {
        Diagnose("Error Decodificando CMSG_CONTENT_PARAM #2\n");
        return 0;
    }
    std::vector<unsigned char> signerInfo;
    if (!MessageParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, signerInfo)) return 0;
    TCertStore store(CertOpenStore(CERT_STORE_PROV_MSG, kMessageEncoding, 0, 0, message.Get()));
    if (!store) return 0;
    TCertContext signer(CertGetSubjectCertificateFromStore(store.Get(), kMessageEncoding,
                                                           reinterpret_cast<PCERT_INFO>(signerInfo.data())));
    if (!signer) return 0;
    if (!CryptMsgControl(message.Get(), 0, CMSG_CTRL_VERIFY_SIGNATURE, signer.Get()->pCertInfo)) {
        *result = kTokenBadSignature;
        return 0;
    }
    std::vector<unsigned char> innerType;
    if (!MessageParam(message.Get(), CMSG_INNER_CONTENT_TYPE_PARAM, 0, innerType) ||
        std::strncmp(reinterpret_cast<const char*>(innerType.data()), kTSTInfoText, innerType.size()) != 0 ||
        std::strlen(kTSTInfoText) + 1 != innerType.size() || !TokenContentIsTSTInfo(parts)) {
        *result = kTokenNotTSTInfo;
        return 0;
    }
    if (!DigestOfContentMatches(parts)) {
        *result = kTokenBadSignature;
        return 0;
    }
    const unsigned char* der = signer.Get()->pbCertEncoded;
    const std::size_t derLength = signer.Get()->cbCertEncoded;
    ByteBuffer subject{nullptr, 0};
    int timeStamping = 0;
    const std::size_t parsed = ScanTimeStampingUsage(der, derLength, &subject, &timeStamping);
    FreeItems(&subject, 1);
    if (parsed == 0 || !timeStamping) {
        *result = kTokenBadSigner;
        return 0;
    }
    if (signerCertificate) {
        unsigned char* copy = CopyToCString(der, derLength);
        if (!copy) return 0;
        *signerCertificate = ByteBuffer{copy, derLength};
    }
    // The content whose digest was checked, never a re-read of it.
    if (parts.eContent.length) CopyBytes(eContent, parts.eContent.pointer, parts.eContent.length);
    *eContentLength = parts.eContent.length;
    return 1;
}

}  // namespace

int DigestBuffer(const unsigned char* data, std::size_t length, unsigned int algorithm, ByteBuffer* digest)
{
    *digest = ByteBuffer{nullptr, 0};
    TCryptProvider provider;
    if (!AcquireDigestProvider(algorithm, provider)) {
        Diagnose("Error al adquirir CSP\n");
        return 0;
    }
    TCryptHash hash;
    if (!CryptCreateHash(provider.Get(), algorithm, 0, 0, hash.Put())) {
        Diagnose("Error creando objeto de digestion...\n");
        return 0;
    }
    while (length) {
        const DWORD piece = length > 0x100000 ? 0x100000 : static_cast<DWORD>(length);
        if (!CryptHashData(hash.Get(), data, piece, 0)) {
            Diagnose("Error calculando digestion... \n");
            return 0;
        }
        data += piece;
        length -= piece;
    }
    DWORD size = 0;
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, nullptr, &size, 0) || size == 0) {
        Diagnose("CryptGetHashParam fallo al estimar longitud.\n");
        return 0;
    }
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(size));
    if (!bytes) {
        Diagnose("pbHashSize Memory allocation failed.");
        return 0;
    }
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, bytes, &size, 0)) {
        Diagnose("CryptGetHashParam fallo al escribir la longitud.\n");
        std::free(bytes);
        return 0;
    }
    *digest = ByteBuffer{bytes, size};
    return 1;
}

int GenerateTSPNonce(ByteBuffer* nonce)
{
    *nonce = ByteBuffer{nullptr, 0};
    TCryptProvider provider;
    if (!AcquireVerifyProvider(provider)) {
        Diagnose("Error al adquirir provedor\n");
        return 0;
    }
    unsigned char bytes[kTSPNonceLength];
    ScopedWipe wipe{bytes, sizeof bytes};
    if (!RandomBytes(provider.Get(), bytes, sizeof bytes)) {
        Diagnose("Error during CryptGenRandom.\n");
        return 0;
    }
    // Positive with a non-zero top: DER takes the eight bytes as they are.
    bytes[0] = static_cast<unsigned char>((bytes[0] & 0x3F) | 0x40);
    unsigned char* copy = CopyToCString(bytes, sizeof bytes);
    if (!copy) return 0;
    *nonce = ByteBuffer{copy, sizeof bytes};
    return 1;
}

int VerifyTimeStampToken(unsigned char* eContent, std::size_t* eContentLength, const unsigned char* token,
                         std::size_t tokenLength, int* result, ByteBuffer* signerCertificate)
{
    *result = kTokenVerified;
    *eContentLength = 0;
    *signerCertificate = ByteBuffer{nullptr, 0};
    return Verify(eContent, eContentLength, token, tokenLength, result, signerCertificate);
}

int VerifyTimeStampTokenOnly(unsigned char* eContent, std::size_t* eContentLength, const unsigned char* token,
                             std::size_t tokenLength, int* result)
{
    *result = kTokenVerified;
    *eContentLength = 0;
    return Verify(eContent, eContentLength, token, tokenLength, result, nullptr);
}
