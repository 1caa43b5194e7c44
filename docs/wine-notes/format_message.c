/* FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM) for CryptoAPI codes.  Windows
 * has a text for each; Wine has none for the CRYPT_E_* and NTE_* codes
 * (answer 0, last error ERROR_MR_MID_NOT_FOUND), only for Win32 codes. */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int main(void)
{
    static const struct { const char* name; DWORD code; } codes[] = {
        {"ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND},
        {"CRYPT_E_NOT_FOUND", (DWORD)CRYPT_E_NOT_FOUND},
        {"CRYPT_E_NO_KEY_PROPERTY", (DWORD)CRYPT_E_NO_KEY_PROPERTY},
        {"CRYPT_E_ASN1_BADTAG", (DWORD)CRYPT_E_ASN1_BADTAG},
        {"NTE_BAD_KEYSET", (DWORD)NTE_BAD_KEYSET},
        {"NTE_BAD_SIGNATURE", (DWORD)NTE_BAD_SIGNATURE},
    };
    size_t i;
    for (i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
        char text[512] = "";
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, codes[i].code,
                                 0, text, sizeof text, NULL);
        if (n)
            printf("%-24s 0x%08lX: %s", codes[i].name, codes[i].code, text);
        else
            printf("%-24s 0x%08lX: no text (last error %lu)\n", codes[i].name, codes[i].code, GetLastError());
    }
    return 0;
}
