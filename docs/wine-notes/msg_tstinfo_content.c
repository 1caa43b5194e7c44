/* The encapsulated content of a time-stamp token as the message functions
 * hand it out (CMSG_CONTENT_PARAM): an openssl token (argument: its DER file,
 * CMS, the TSTInfo inside an OCTET STRING), and a message the platform
 * encodes itself with inner type id-ct-TSTInfo and
 * CMSG_CMS_ENCAPSULATED_CONTENT_FLAG. */
#include "demo.h"

static void show(const char* what, const BYTE* message, DWORD size)
{
    HCRYPTMSG msg = CryptMsgOpenToDecode(ENC, 0, 0, 0, NULL, NULL);
    BYTE content[8192];
    char type[64];
    DWORD content_size = sizeof content, type_size = sizeof type;
    if (!msg || !CryptMsgUpdate(msg, message, size, TRUE) ||
        !CryptMsgGetParam(msg, CMSG_INNER_CONTENT_TYPE_PARAM, 0, type, &type_size) ||
        !CryptMsgGetParam(msg, CMSG_CONTENT_PARAM, 0, content, &content_size))
        printf("%s: decoding failed: 0x%08lX\n", what, GetLastError());
    else
        printf("%s: inner type %s, CMSG_CONTENT_PARAM %lu bytes: %02X %02X %02X %02X ...\n", what, type,
               content_size, content[0], content[1], content[2], content[3]);
    if (msg) CryptMsgClose(msg);
}

int main(int argc, char** argv)
{
    static char tstinfo_type[] = "1.2.840.113549.1.9.16.1.4";
    static const BYTE tstinfo[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    DWORD size = 0;
    BYTE* token = argc > 1 ? demo_read_file(argv[1], &size) : NULL;
    PCCERT_CONTEXT cert;
    demo_signed_info s;
    HCRYPTMSG msg;
    BYTE out[4096];
    DWORD out_size = sizeof out;
    if (!token) return 1;
    show("openssl token", token, size);
    LocalFree(token);

    if (!(cert = demo_signer())) return 1;
    demo_fill_signed(&s, cert);
    msg = CryptMsgOpenToEncode(ENC, CMSG_CMS_ENCAPSULATED_CONTENT_FLAG, CMSG_SIGNED, &s.info, tstinfo_type, NULL);
    if (msg && CryptMsgUpdate(msg, tstinfo, sizeof tstinfo, TRUE) &&
        CryptMsgGetParam(msg, CMSG_CONTENT_PARAM, 0, out, &out_size))
        show("platform's own message", out, out_size);
    else
        printf("encoding failed: 0x%08lX\n", GetLastError());
    if (msg) CryptMsgClose(msg);
    demo_cleanup(cert);
    return 0;
}
