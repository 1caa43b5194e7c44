// What an identification leaves for the signing code: the certificate, the
// provider holding its private key, the key spec and whether the
// provider is released by the form. Valid until the form is destroyed.
#pragma once
#include <windows.h>
#include <wincrypt.h>

struct TSignerRecord {
    PCCERT_CONTEXT Certificate = nullptr;
    HCRYPTPROV Provider = 0;
    DWORD KeySpec = 0;
    bool CallerMustFree = false;
};
