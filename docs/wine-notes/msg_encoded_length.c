/* CryptMsgCalculateEncodedLength for a signed message of 100 bytes.  Windows
 * answers the length; Wine has no implementation and the call ends the
 * process ("unimplemented function"), so the last line never prints. */
#include "demo.h"

int main(void)
{
    PCCERT_CONTEXT cert = demo_signer();
    demo_signed_info s;
    DWORD length;
    if (!cert) return 1;
    demo_fill_signed(&s, cert);
    printf("calling CryptMsgCalculateEncodedLength\n");
    fflush(stdout);
    length = CryptMsgCalculateEncodedLength(ENC, 0, CMSG_SIGNED, &s.info, NULL, 100);
    printf("CryptMsgCalculateEncodedLength: %lu (last error 0x%08lX)\n", length, GetLastError());
    demo_cleanup(cert);
    return 0;
}
