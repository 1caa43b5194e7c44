/* Streamed decoding (CMSG_STREAM_INFO) of a signed message.  Windows hands
 * the content to the output callback; Wine takes the message but never
 * delivers the content. */
#include "demo.h"

static DWORD calls, bytes;

static BOOL WINAPI output(const void* arg, BYTE* data, DWORD size, BOOL final)
{
    (void)arg; (void)data; (void)final;
    ++calls;
    bytes += size;
    return TRUE;
}

int main(void)
{
    static BYTE content[1000];
    PCCERT_CONTEXT cert = demo_signer();
    CMSG_STREAM_INFO stream = {CMSG_INDEFINITE_LENGTH, output, NULL};
    DWORD size = 0, type = 0, type_size = sizeof type;
    BYTE* encoded;
    HCRYPTMSG msg;
    BOOL ok;
    if (!cert) return 1;
    encoded = demo_encode_signed(cert, 0, content, sizeof content, &size);
    if (!encoded) return 1;

    msg = CryptMsgOpenToDecode(ENC, 0, 0, 0, NULL, &stream);
    ok = CryptMsgUpdate(msg, encoded, size, TRUE);
    printf("update of %lu bytes: %d (0x%08lX)\n", size, ok, ok ? 0 : GetLastError());
    if (CryptMsgGetParam(msg, CMSG_TYPE_PARAM, 0, &type, &type_size))
        printf("message type %lu\n", type);
    printf("output callback called %lu times with %lu of %u content bytes\n", calls, bytes,
           (unsigned)sizeof content);
    CryptMsgClose(msg);
    LocalFree(encoded);
    demo_cleanup(cert);
    return 0;
}
