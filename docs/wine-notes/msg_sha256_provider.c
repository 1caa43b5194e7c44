/* Time-stamp tokens (arguments: DER files, signed with SHA-1 and SHA-256)
 * verified through the message functions given a PROV_RSA_FULL provider of
 * ours, a PROV_RSA_AES one, and none (the platform's choice). */
#include "demo.h"

static void verify_with(const char* what, const BYTE* token, DWORD size, HCRYPTPROV prov)
{
    DWORD error;
    int verified = demo_verify_token(token, size, prov, 0, 0, &error);
    printf("  %-22s verified %d (error 0x%08lX)\n", what, verified, error);
}

int main(int argc, char** argv)
{
    HCRYPTPROV full = 0, aes = 0;
    int i;
    if (!CryptAcquireContextA(&full, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
        !CryptAcquireContextA(&aes, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        printf("no provider: 0x%08lX\n", GetLastError());
        return 1;
    }
    for (i = 1; i < argc; ++i) {
        DWORD size = 0;
        BYTE* token = demo_read_file(argv[i], &size);
        if (!token) return 1;
        printf("%s\n", strrchr(argv[i], '/') ? strrchr(argv[i], '/') + 1 : argv[i]);
        verify_with("PROV_RSA_FULL of ours:", token, size, full);
        verify_with("PROV_RSA_AES of ours:", token, size, aes);
        verify_with("no provider:", token, size, 0);
        LocalFree(token);
    }
    CryptReleaseContext(aes, 0);
    CryptReleaseContext(full, 0);
    return 0;
}
