/* A time-stamp token (argument: its DER file) decoded and verified in four
 * rounds with one provider of ours, which the message's store
 * (CertOpenStore(CERT_STORE_PROV_MSG)) is given with
 * CERT_STORE_NO_CRYPT_RELEASE_FLAG, not at all, without the flag, and not at
 * all.  After each round the provider is tried on its own (CryptGenRandom). */
#include "demo.h"

static void round_with(const char* what, const BYTE* token, DWORD size, HCRYPTPROV prov, HCRYPTPROV store_prov,
                       DWORD store_flags)
{
    BYTE random[8];
    DWORD error;
    int verified = demo_verify_token(token, size, prov, store_prov, store_flags, &error);
    BOOL usable = CryptGenRandom(prov, sizeof random, random);
    printf("%s: verified %d (error 0x%08lX), our provider afterwards: %s (0x%08lX)\n", what, verified, error,
           usable ? "usable" : "unusable", usable ? 0 : GetLastError());
}

int main(int argc, char** argv)
{
    DWORD size = 0;
    BYTE* token = argc > 1 ? demo_read_file(argv[1], &size) : NULL;
    HCRYPTPROV prov = 0;
    if (!token) return 1;
    if (!CryptAcquireContextA(&prov, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        printf("no provider: 0x%08lX\n", GetLastError());
        return 1;
    }
    round_with("store given our provider, NO_CRYPT_RELEASE", token, size, prov, prov,
               CERT_STORE_NO_CRYPT_RELEASE_FLAG);
    round_with("store given no provider", token, size, prov, 0, 0);
    round_with("store given our provider", token, size, prov, prov, 0);
    round_with("store given no provider", token, size, prov, 0, 0);
    LocalFree(token);
    return 0;
}
