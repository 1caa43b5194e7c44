/* PFXVerifyPassword with the right and a wrong password.  Windows answers
 * TRUE and FALSE; Wine answers FALSE for both (PFXImportCertStore with the
 * same password works).
 * usage: pfx_verify_password FILE.p12 PASSWORD */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    WCHAR password[128];
    CRYPT_DATA_BLOB pfx;
    HCERTSTORE store;
    FILE* f;
    static BYTE data[16384];

    if (argc != 3 || !(f = fopen(argv[1], "rb"))) return 2;
    pfx.pbData = data;
    pfx.cbData = (DWORD)fread(data, 1, sizeof data, f);
    fclose(f);
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, password, 128);

    printf("PFXIsPFXBlob: %d\n", PFXIsPFXBlob(&pfx));
    printf("PFXVerifyPassword(right password): %d\n", PFXVerifyPassword(&pfx, password, 0));
    printf("PFXVerifyPassword(wrong password): %d\n", PFXVerifyPassword(&pfx, L"wrong", 0));
    store = PFXImportCertStore(&pfx, password, CRYPT_USER_KEYSET);
    printf("PFXImportCertStore(right password): %s\n", store ? "imported" : "failed");
    if (store) {
        /* Drop the imported key again. */
        PCCERT_CONTEXT cert = NULL;
        while ((cert = CertEnumCertificatesInStore(store, cert)) != NULL) {
            BYTE buffer[1024];
            DWORD size = sizeof buffer;
            CRYPT_KEY_PROV_INFO* info = (CRYPT_KEY_PROV_INFO*)buffer;
            HCRYPTPROV prov;
            if (CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer, &size))
                CryptAcquireContextW(&prov, info->pwszContainerName, info->pwszProvName, info->dwProvType,
                                     CRYPT_DELETEKEYSET);
        }
        CertCloseStore(store, 0);
    }
    return 0;
}
