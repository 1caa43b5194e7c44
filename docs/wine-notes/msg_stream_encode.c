/* Streamed encoding (CMSG_STREAM_INFO) of signed and of enveloped data.
 * Windows hands the encoded message to the output callback; Wine never calls
 * it, though every CryptMsgUpdate succeeds. */
#include "demo.h"

static DWORD calls, bytes;

static BOOL WINAPI output(const void* arg, BYTE* data, DWORD size, BOOL final)
{
    (void)arg; (void)data; (void)final;
    ++calls;
    bytes += size;
    return TRUE;
}

static void run(const char* what, DWORD type, const void* info)
{
    static BYTE content[1000];
    CMSG_STREAM_INFO stream = {CMSG_INDEFINITE_LENGTH, output, NULL};
    HCRYPTMSG msg = CryptMsgOpenToEncode(ENC, 0, type, info, NULL, &stream);
    BOOL ok1, ok2;
    calls = bytes = 0;
    if (!msg) {
        printf("%s: CryptMsgOpenToEncode failed: 0x%08lX\n", what, GetLastError());
        return;
    }
    ok1 = CryptMsgUpdate(msg, content, 500, FALSE);
    ok2 = CryptMsgUpdate(msg, content + 500, 500, TRUE);
    printf("%s: updates %d %d, output callback called %lu times with %lu bytes\n", what, ok1, ok2, calls, bytes);
    CryptMsgClose(msg);
}

int main(void)
{
    PCCERT_CONTEXT cert = demo_signer();
    demo_signed_info s;
    CMSG_ENVELOPED_ENCODE_INFO env;
    PCERT_INFO recipients[1];
    if (!cert) return 1;

    demo_fill_signed(&s, cert);
    run("signed", CMSG_SIGNED, &s.info);

    ZeroMemory(&env, sizeof env);
    env.cbSize = sizeof env;
    env.ContentEncryptionAlgorithm.pszObjId = szOID_RSA_RC4;
    recipients[0] = cert->pCertInfo;
    env.cRecipients = 1;
    env.rgpRecipients = recipients;
    run("enveloped", CMSG_ENVELOPED, &env);

    demo_cleanup(cert);
    return 0;
}
