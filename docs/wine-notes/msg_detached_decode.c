/* Detached signature: the signature is decoded first, then the content is
 * given in updates, then the signature is verified.  Windows verifies with
 * the content in any number of updates; Wine only when the content comes in
 * one final update. */
#include "demo.h"

static void run(const char* what, PCCERT_CONTEXT cert, const BYTE* sig, DWORD sig_size, const BYTE* content,
                DWORD size, DWORD first)
{
    HCRYPTMSG msg = CryptMsgOpenToDecode(ENC, CMSG_DETACHED_FLAG, 0, 0, NULL, NULL);
    const char* step = "signature update";
    BOOL ok = CryptMsgUpdate(msg, sig, sig_size, TRUE);
    if (ok && first) {
        step = "first, non-final content update";
        ok = CryptMsgUpdate(msg, content, first, FALSE);
    }
    if (ok) {
        step = "final content update";
        ok = CryptMsgUpdate(msg, content + first, size - first, TRUE);
    }
    if (!ok) {
        printf("%s: %s failed: 0x%08lX\n", what, step, GetLastError());
    } else if (CryptMsgControl(msg, 0, CMSG_CTRL_VERIFY_SIGNATURE, cert->pCertInfo)) {
        printf("%s: signature verified\n", what);
    } else {
        printf("%s: verification failed: 0x%08lX\n", what, GetLastError());
    }
    CryptMsgClose(msg);
}

int main(void)
{
    static BYTE content[1000];
    PCCERT_CONTEXT cert = demo_signer();
    DWORD sig_size = 0, i;
    BYTE* sig;
    if (!cert) return 1;
    for (i = 0; i < sizeof content; ++i) content[i] = (BYTE)i;
    sig = demo_encode_signed(cert, CMSG_DETACHED_FLAG, content, sizeof content, &sig_size);
    if (!sig) return 1;

    run("content in one final update", cert, sig, sig_size, content, sizeof content, 0);
    run("content in two updates", cert, sig, sig_size, content, sizeof content, 500);

    LocalFree(sig);
    demo_cleanup(cert);
    return 0;
}
