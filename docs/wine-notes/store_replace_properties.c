/* CERT_STORE_ADD_REPLACE_EXISTING over a certificate of "MY" that has
 * CERT_KEY_PROV_INFO_PROP_ID: adding the bare certificate again.  Windows
 * deletes the old copy with its properties; on Wine the new copy still has
 * the old key provider information. */
#include "demo.h"

static BOOL has_key_info(PCCERT_CONTEXT cert)
{
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, ENC, 0, CERT_FIND_EXISTING, cert, NULL);
    DWORD size = 0;
    BOOL has = found && CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, NULL, &size);
    if (found) CertFreeCertificateContext(found);
    CertCloseStore(store, 0);
    return has;
}

int main(void)
{
    PCCERT_CONTEXT cert = demo_signer(), bare;
    HCERTSTORE store;
    PCCERT_CONTEXT found;
    if (!cert) return 1;

    /* The self-signed certificate carries its key information. */
    store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
    CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    CertCloseStore(store, 0);
    printf("first copy has key information: %s\n", has_key_info(cert) ? "yes" : "no");

    bare = CertCreateCertificateContext(ENC, cert->pbCertEncoded, cert->cbCertEncoded);
    store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
    CertAddCertificateContextToStore(store, bare, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    CertCloseStore(store, 0);
    printf("after replacing with the bare certificate: %s\n", has_key_info(cert) ? "yes" : "no");

    /* Clean up through the registry store (see store_delete.c). */
    store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
    found = CertFindCertificateInStore(store, ENC, 0, CERT_FIND_EXISTING, cert, NULL);
    if (found) CertDeleteCertificateFromStore(found);
    CertCloseStore(store, 0);
    CertFreeCertificateContext(bare);
    demo_cleanup(cert);
    return 0;
}
