/* CryptCreateHash with a cipher's identifier: Windows refuses it
   (NTE_BAD_ALGID); Wine's rsaenh makes a hash object and hands out 16 bytes. */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int main(void)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE value[64];
    DWORD length = sizeof value;
    if (!CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return 2;
    if (!CryptCreateHash(provider, CALG_RC4, 0, 0, &hash)) {
        printf("refused: 0x%08lx\n", GetLastError());
        CryptReleaseContext(provider, 0);
        return 0;
    }
    CryptHashData(hash, (const BYTE*)"x", 1, 0);
    if (CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0)) printf("accepted: %lu bytes of hash\n", length);
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return 1;
}
