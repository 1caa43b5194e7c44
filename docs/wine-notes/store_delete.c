/* CertDeleteCertificateFromStore on the current user's "MY", opened as the
 * system store (CERT_STORE_PROV_SYSTEM, as CertOpenSystemStore does) and as
 * its registry store (CERT_STORE_PROV_SYSTEM_REGISTRY).  Windows deletes the
 * certificate for good either way; on Wine the deletion through the system
 * store is lost: the certificate is back when the store is opened again. */
#include "demo.h"

static HCERTSTORE open_my(LPCSTR provider)
{
    return CertOpenStore(provider, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
}

static BOOL in_my(PCCERT_CONTEXT cert)
{
    HCERTSTORE store = open_my(CERT_STORE_PROV_SYSTEM_A);
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, ENC, 0, CERT_FIND_EXISTING, cert, NULL);
    if (found) CertFreeCertificateContext(found);
    CertCloseStore(store, 0);
    return found != NULL;
}

static void run(const char* what, LPCSTR provider, PCCERT_CONTEXT cert)
{
    HCERTSTORE store = open_my(CERT_STORE_PROV_SYSTEM_A);
    PCCERT_CONTEXT found;
    BOOL deleted;
    CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    CertCloseStore(store, 0);

    store = open_my(provider);
    found = CertFindCertificateInStore(store, ENC, 0, CERT_FIND_EXISTING, cert, NULL);
    deleted = found && CertDeleteCertificateFromStore(found);
    CertCloseStore(store, 0);
    printf("%s: delete %s, in MY after reopening: %s\n", what, deleted ? "succeeded" : "failed",
           in_my(cert) ? "yes" : "no");
}

int main(void)
{
    PCCERT_CONTEXT cert = demo_signer();
    if (!cert) return 1;
    run("system store", CERT_STORE_PROV_SYSTEM_A, cert);
    run("registry store", CERT_STORE_PROV_SYSTEM_REGISTRY_A, cert);
    if (in_my(cert)) run("cleanup", CERT_STORE_PROV_SYSTEM_REGISTRY_A, cert);
    demo_cleanup(cert);
    return 0;
}
