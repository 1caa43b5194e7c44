/* A signed message over a TSTInfo-like content with inner content type
 * id-ct-TSTInfo, encoded with CMSG_CMS_ENCAPSULATED_CONTENT_FLAG and one
 * signed attribute of ours: the version, how the content is encapsulated and
 * the contentType attribute the platform adds, read back from the DER. */
#include "demo.h"
#include <string.h>

static const BYTE tstinfo_oid[] = {0x06, 0x0B, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04};
static const BYTE data_oid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
static const BYTE content_type_oid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};

static const BYTE* find(const BYTE* in, DWORD size, const BYTE* what, DWORD length)
{
    DWORD i;
    for (i = 0; i + length <= size; ++i)
        if (memcmp(in + i, what, length) == 0) return in + i;
    return NULL;
}

int main(void)
{
    static char tstinfo_type[] = "1.2.840.113549.1.9.16.1.4", signing_time_oid[] = szOID_RSA_signingTime;
    static BYTE utc_time[] = {0x17, 0x0D, '2', '6', '0', '1', '0', '1', '0', '0', '0', '0', '0', '0', 'Z'};
    static const BYTE content[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    CRYPT_ATTR_BLOB time_value = {sizeof utc_time, utc_time};
    CRYPT_ATTRIBUTE signing_time = {signing_time_oid, 1, &time_value};
    PCCERT_CONTEXT cert = demo_signer();
    demo_signed_info s;
    HCRYPTMSG msg;
    BYTE out[4096];
    DWORD size = sizeof out;
    const BYTE *type, *attribute, *version;
    if (!cert) return 1;
    demo_fill_signed(&s, cert);
    s.signer.cAuthAttr = 1;
    s.signer.rgAuthAttr = &signing_time;
    msg = CryptMsgOpenToEncode(ENC, CMSG_CMS_ENCAPSULATED_CONTENT_FLAG, CMSG_SIGNED, &s.info, tstinfo_type, NULL);
    if (!msg || !CryptMsgUpdate(msg, content, sizeof content, TRUE) ||
        !CryptMsgGetParam(msg, CMSG_CONTENT_PARAM, 0, out, &size)) {
        printf("encoding failed: 0x%08lX\n", GetLastError());
        return 1;
    }
    type = find(out, size, tstinfo_oid, sizeof tstinfo_oid);
    attribute = find(out, size, content_type_oid, sizeof content_type_oid);
    version = find(out, size, (const BYTE*)"\x02\x01", 2);  /* SignedData's first INTEGER */
    printf("SignedData version %d\n", version ? version[2] : -1);
    if (type) {
        const BYTE* wrapped = type + sizeof tstinfo_oid;  /* A0 len, then the content */
        printf("eContent [0] holds %s\n", wrapped[2] == 0x04 ? "an OCTET STRING with the content" : "the content bare");
    }
    if (attribute) {
        const BYTE* value = attribute + sizeof content_type_oid + 2;  /* SET header */
        printf("contentType attribute: %s\n", memcmp(value, tstinfo_oid, sizeof tstinfo_oid) == 0 ? "id-ct-TSTInfo"
                                              : memcmp(value, data_oid, sizeof data_oid) == 0     ? "id-data"
                                                                                                    : "other");
    }
    CryptMsgClose(msg);
    demo_cleanup(cert);
    return 0;
}
