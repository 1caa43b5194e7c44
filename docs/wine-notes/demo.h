/* Shared by the Wine notes programs: a throw-away self-signed signer whose
 * key sits in a container of the Microsoft Enhanced provider, as an import
 * leaves it (AT_KEYEXCHANGE). */
#ifndef WINE_NOTES_DEMO_H
#define WINE_NOTES_DEMO_H
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

#define ENC (X509_ASN_ENCODING | PKCS_7_ASN_ENCODING)
#define DEMO_CONTAINER "tavomir-wine-notes"

static HCRYPTPROV demo_prov;

static inline void demo_drop_container(void)
{
    HCRYPTPROV none;
    CryptAcquireContextA(&none, DEMO_CONTAINER, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

static inline PCCERT_CONTEXT demo_signer(void)
{
    static WCHAR container[] = L"" DEMO_CONTAINER, provider[] = MS_ENHANCED_PROV_W;
    CRYPT_KEY_PROV_INFO info = {container, provider, PROV_RSA_FULL, 0, 0, NULL, AT_KEYEXCHANGE};
    BYTE name[128];
    DWORD size = sizeof name;
    CERT_NAME_BLOB subject;
    HCRYPTKEY key;
    PCCERT_CONTEXT cert;

    demo_drop_container();
    if (!CryptAcquireContextA(&demo_prov, DEMO_CONTAINER, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET) ||
        !CryptGenKey(demo_prov, AT_KEYEXCHANGE, 1024 << 16, &key)) {
        printf("no key: 0x%08lX\n", GetLastError());
        return NULL;
    }
    CryptDestroyKey(key);
    CertStrToNameA(X509_ASN_ENCODING, "CN=Wine notes", CERT_X500_NAME_STR, NULL, name, &size, NULL);
    subject.cbData = size;
    subject.pbData = name;
    cert = CertCreateSelfSignCertificate(demo_prov, &subject, 0, &info, NULL, NULL, NULL, NULL);
    if (!cert) printf("no certificate: 0x%08lX\n", GetLastError());
    return cert;
}

static inline void demo_cleanup(PCCERT_CONTEXT cert)
{
    if (cert) CertFreeCertificateContext(cert);
    if (demo_prov) CryptReleaseContext(demo_prov, 0);
    demo_drop_container();
}

/* Encode information for one SHA-1 signer that carries its certificate. */
typedef struct {
    CMSG_SIGNER_ENCODE_INFO signer;
    CERT_BLOB cert_blob;
    CMSG_SIGNED_ENCODE_INFO info;
} demo_signed_info;

static inline void demo_fill_signed(demo_signed_info* s, PCCERT_CONTEXT cert)
{
    ZeroMemory(s, sizeof *s);
    s->signer.cbSize = sizeof s->signer;
    s->signer.pCertInfo = cert->pCertInfo;
    s->signer.hCryptProv = demo_prov;
    s->signer.dwKeySpec = AT_KEYEXCHANGE;
    s->signer.HashAlgorithm.pszObjId = szOID_OIWSEC_sha1;
    s->cert_blob.cbData = cert->cbCertEncoded;
    s->cert_blob.pbData = cert->pbCertEncoded;
    s->info.cbSize = sizeof s->info;
    s->info.cSigners = 1;
    s->info.rgSigners = &s->signer;
    s->info.cCertEncoded = 1;
    s->info.rgCertEncoded = &s->cert_blob;
}

/* A whole (not streamed) signed message over `content`; `flags` may hold
 * CMSG_DETACHED_FLAG.  The caller frees the result with LocalFree. */
static inline BYTE* demo_encode_signed(PCCERT_CONTEXT cert, DWORD flags, const BYTE* content, DWORD size, DWORD* out_size)
{
    demo_signed_info s;
    HCRYPTMSG msg;
    BYTE* out = NULL;
    demo_fill_signed(&s, cert);
    msg = CryptMsgOpenToEncode(ENC, flags, CMSG_SIGNED, &s.info, NULL, NULL);
    if (msg && CryptMsgUpdate(msg, content, size, TRUE) &&
        CryptMsgGetParam(msg, CMSG_CONTENT_PARAM, 0, NULL, out_size) &&
        (out = (BYTE*)LocalAlloc(LMEM_FIXED, *out_size)) != NULL &&
        !CryptMsgGetParam(msg, CMSG_CONTENT_PARAM, 0, out, out_size)) {
        LocalFree(out);
        out = NULL;
    }
    if (!out) printf("encoding failed: 0x%08lX\n", GetLastError());
    if (msg) CryptMsgClose(msg);
    return out;
}

/* A whole file (a time-stamp token) into a LocalAlloc buffer; NULL when it
 * cannot be read. */
static inline BYTE* demo_read_file(const char* path, DWORD* size)
{
    FILE* f = fopen(path, "rb");
    BYTE* data = NULL;
    long length;
    if (!f) {
        printf("cannot open %s\n", path);
        return NULL;
    }
    if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0 &&
        (data = (BYTE*)LocalAlloc(LMEM_FIXED, (SIZE_T)length)) != NULL &&
        fread(data, 1, (size_t)length, f) == (size_t)length) {
        *size = (DWORD)length;
    } else if (data) {
        LocalFree(data);
        data = NULL;
    }
    fclose(f);
    if (!data) printf("cannot read %s\n", path);
    return data;
}

/* A decoded token's signature checked with the signer's certificate from the
 * store opened on the message with `store_prov` (0: none of ours) and the
 * store flags.  1 verified, 0 not, -1 when a step before the check failed;
 * the last error of the failing step in *error. */
static inline int demo_verify_token(const BYTE* token, DWORD size, HCRYPTPROV msg_prov, HCRYPTPROV store_prov,
                                    DWORD store_flags, DWORD* error)
{
    HCRYPTMSG msg = CryptMsgOpenToDecode(ENC, 0, 0, msg_prov, NULL, NULL);
    HCERTSTORE store = NULL;
    PCCERT_CONTEXT cert = NULL;
    BYTE info[4096];
    DWORD info_size = sizeof info;
    int verified = -1;
    *error = 0;
    if (msg && CryptMsgUpdate(msg, token, size, TRUE) &&
        CryptMsgGetParam(msg, CMSG_SIGNER_CERT_INFO_PARAM, 0, info, &info_size) &&
        (store = CertOpenStore(CERT_STORE_PROV_MSG, ENC, store_prov, store_flags, msg)) != NULL &&
        (cert = CertGetSubjectCertificateFromStore(store, ENC, (PCERT_INFO)info)) != NULL)
        verified = CryptMsgControl(msg, 0, CMSG_CTRL_VERIFY_SIGNATURE, cert->pCertInfo) ? 1 : 0;
    if (verified != 1) *error = GetLastError();
    if (cert) CertFreeCertificateContext(cert);
    if (store) CertCloseStore(store, 0);
    if (msg) CryptMsgClose(msg);
    return verified;
}

#endif
