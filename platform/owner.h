// One owner for every Windows resource: a handle and the function that
// releases it, in the style of a unique handle. Releasing keeps the
// thread's last error, so a failure's code survives the clean-up after it.
#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

template <class Handle, class Traits>
class TOwner {
public:
    TOwner() = default;
    explicit TOwner(Handle handle) : handle_(handle) {}
    ~TOwner() { Reset(); }

    TOwner(const TOwner&) = delete;
    TOwner& operator=(const TOwner&) = delete;
    TOwner(TOwner&& other) noexcept : handle_(other.Detach()) {}
    TOwner& operator=(TOwner&& other) noexcept
    {
        if (this != &other) Reset(other.Detach());
        return *this;
    }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle(); }

    // Releases the held handle and takes the new one.
    void Reset(Handle handle = Handle())
    {
        if (handle_ != Handle()) {
            const DWORD error = GetLastError();
            Traits::Release(handle_);
            SetLastError(error);
        }
        handle_ = handle;
    }
    // Gives the handle up without releasing it.
    Handle Detach()
    {
        Handle handle = handle_;
        handle_ = Handle();
        return handle;
    }
    // For a call that writes a new handle: releases the held one first.
    Handle* Put()
    {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Handle();
};

namespace owner_traits {
struct RegKey {
    static void Release(HKEY h) { RegCloseKey(h); }
};
struct File {
    static void Release(std::FILE* h) { std::fclose(h); }
};
struct Module {
    static void Release(HMODULE h) { FreeLibrary(h); }
};
struct LocalMemory {
    static void Release(HLOCAL h) { LocalFree(h); }
};
// The DLLs load gdi32 only while a dialog is open and import nothing from
// it, so DeleteObject is taken from the loaded module.
struct GdiObject {
    static void Release(HGDIOBJ h)
    {
        using DeleteObjectFn = BOOL(WINAPI*)(HGDIOBJ);
        if (HMODULE gdi = GetModuleHandleA("gdi32.dll"))
            if (auto del = reinterpret_cast<DeleteObjectFn>(reinterpret_cast<void*>(GetProcAddress(gdi, "DeleteObject"))))
                del(h);
    }
};
struct Provider {
    static void Release(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
struct Hash {
    static void Release(HCRYPTHASH h) { CryptDestroyHash(h); }
};
struct Key {
    static void Release(HCRYPTKEY h) { CryptDestroyKey(h); }
};
struct CertContext {
    static void Release(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};
struct Store {
    static void Release(HCERTSTORE h) { CertCloseStore(h, 0); }
};
// Closes the store even while contexts taken from it are still held.
struct StoreForceClose {
    static void Release(HCERTSTORE h) { CertCloseStore(h, CERT_CLOSE_STORE_FORCE_FLAG); }
};
struct Message {
    static void Release(HCRYPTMSG h) { CryptMsgClose(h); }
};
struct ComObject {
    template <class Interface>
    static void Release(Interface* h)
    {
        h->Release();
    }
};
struct Bstr {
    static void Release(BSTR h) { SysFreeString(h); }
};
// Threads and events (no handle is null, never INVALID_HANDLE_VALUE).
struct KernelObject {
    static void Release(HANDLE h) { CloseHandle(h); }
};
}  // namespace owner_traits

using TRegKey = TOwner<HKEY, owner_traits::RegKey>;
using TFile = TOwner<std::FILE*, owner_traits::File>;
using TKernelObject = TOwner<HANDLE, owner_traits::KernelObject>;
using TModule = TOwner<HMODULE, owner_traits::Module>;
using TLocalMemory = TOwner<HLOCAL, owner_traits::LocalMemory>;
using TGdiObject = TOwner<HGDIOBJ, owner_traits::GdiObject>;
using TCryptProvider = TOwner<HCRYPTPROV, owner_traits::Provider>;
using TCryptHash = TOwner<HCRYPTHASH, owner_traits::Hash>;
using TCryptKey = TOwner<HCRYPTKEY, owner_traits::Key>;
using TCertContext = TOwner<PCCERT_CONTEXT, owner_traits::CertContext>;
using TCertStore = TOwner<HCERTSTORE, owner_traits::Store>;
using TCertStoreForceClose = TOwner<HCERTSTORE, owner_traits::StoreForceClose>;
using TCryptMessage = TOwner<HCRYPTMSG, owner_traits::Message>;

// One reference to a COM object.
template <class Interface>
class TComPtr : public TOwner<Interface*, owner_traits::ComObject> {
public:
    using TOwner<Interface*, owner_traits::ComObject>::TOwner;
    Interface* operator->() const { return this->Get(); }
    // For a call that hands out a new reference.
    Interface** Receive() { return this->Put(); }
    void** ReceiveVoid() { return reinterpret_cast<void**>(this->Put()); }
};

// One COM string.
class TBstr : public TOwner<BSTR, owner_traits::Bstr> {
public:
    TBstr() = default;
    explicit TBstr(const wchar_t* text) : TOwner(SysAllocString(text)) {}
    TBstr(const wchar_t* text, UINT length) : TOwner(SysAllocStringLen(text, length)) {}
    BSTR* Receive() { return Put(); }
    std::wstring Text() const { return Get() ? std::wstring(Get(), SysStringLen(Get())) : std::wstring(); }
};
