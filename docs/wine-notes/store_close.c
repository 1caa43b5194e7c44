/* When a certificate added to "MY", and a new key container, become visible
 * to other processes.  `store_close write` creates a container with a key
 * and adds a certificate to MY, then ends without CertCloseStore and
 * CryptReleaseContext; `store_close check` (a second process) looks for both
 * and removes what it finds.  On Windows both are stored at once.  Wine
 * stores the key at once too, but writes MY only on CertCloseStore: the
 * check finds the container and no certificate. */
#include "demo.h"
#include <string.h>

int main(int argc, char** argv)
{
    HCRYPTPROV prov;
    HCERTSTORE store;
    if (argc == 2 && strcmp(argv[1], "write") == 0) {
        PCCERT_CONTEXT cert = demo_signer(); /* container with a key */
        if (!cert) return 1;
        store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
        CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
        printf("container and certificate written; ending without releasing or closing\n");
        fflush(stdout);
        ExitProcess(0);
    }
    if (argc == 2 && strcmp(argv[1], "check") == 0) {
        BYTE name[128];
        DWORD size = sizeof name;
        CERT_NAME_BLOB subject;
        PCCERT_CONTEXT found;
        BOOL has_container = CryptAcquireContextA(&prov, DEMO_CONTAINER, MS_ENHANCED_PROV_A, PROV_RSA_FULL, 0);
        if (has_container) CryptReleaseContext(prov, 0);
        CertStrToNameA(X509_ASN_ENCODING, "CN=Wine notes", CERT_X500_NAME_STR, NULL, name, &size, NULL);
        subject.cbData = size;
        subject.pbData = name;
        store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
        found = CertFindCertificateInStore(store, ENC, 0, CERT_FIND_SUBJECT_NAME, &subject, NULL);
        printf("container in another process: %s\ncertificate in MY: %s\n", has_container ? "yes" : "no",
               found ? "yes" : "no");
        if (found) CertDeleteCertificateFromStore(found);
        CertCloseStore(store, 0);
        demo_drop_container();
        return 0;
    }
    return 2;
}
