/* PFXImportCertStore: the key spec recorded for the imported key, and
 * signing with it.  Windows records AT_KEYEXCHANGE (1) and signs; Wine
 * records 3, and CryptSignHash with that spec fails.
 * usage: pfx_key_spec FILE.p12 PASSWORD */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    WCHAR password[128];
    CRYPT_DATA_BLOB pfx;
    HCERTSTORE store;
    PCCERT_CONTEXT cert = NULL;
    FILE* f;
    static BYTE data[16384];

    if (argc != 3 || !(f = fopen(argv[1], "rb"))) return 2;
    pfx.pbData = data;
    pfx.cbData = (DWORD)fread(data, 1, sizeof data, f);
    fclose(f);
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, password, 128);

    store = PFXImportCertStore(&pfx, password, CRYPT_USER_KEYSET);
    if (!store) {
        printf("PFXImportCertStore failed: 0x%08lX\n", GetLastError());
        return 1;
    }
    while ((cert = CertEnumCertificatesInStore(store, cert)) != NULL) {
        BYTE buffer[1024];
        DWORD size = sizeof buffer, spec = 0, sig_size = 0;
        CRYPT_KEY_PROV_INFO* info = (CRYPT_KEY_PROV_INFO*)buffer;
        HCRYPTPROV prov;
        HCRYPTHASH hash;
        BOOL free_prov;

        if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer, &size)) continue;
        printf("CERT_KEY_PROV_INFO_PROP_ID dwKeySpec = %lu\n", info->dwKeySpec);
        if (!CryptAcquireCertificatePrivateKey(cert, 0, NULL, &prov, &spec, &free_prov)) {
            printf("CryptAcquireCertificatePrivateKey failed: 0x%08lX\n", GetLastError());
            continue;
        }
        printf("CryptAcquireCertificatePrivateKey key spec = %lu\n", spec);
        CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash);
        CryptHashData(hash, (const BYTE*)"abc", 3, 0);
        if (CryptSignHashA(hash, spec, NULL, 0, NULL, &sig_size))
            printf("CryptSignHash with key spec %lu: %lu-byte signature\n", spec, sig_size);
        else
            printf("CryptSignHash with key spec %lu failed: 0x%08lX\n", spec, GetLastError());
        CryptDestroyHash(hash);
        if (free_prov) CryptReleaseContext(prov, 0);
        /* Leave no imported container behind. */
        CryptAcquireContextW(&prov, info->pwszContainerName, info->pwszProvName, info->dwProvType,
                             CRYPT_DELETEKEYSET);
    }
    CertCloseStore(store, 0);
    return 0;
}
