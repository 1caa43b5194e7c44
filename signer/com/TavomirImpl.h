// TTavomirImpl: the COM object Tavomir. Every ITavomir member converts
// between COM strings and the engine's 8-bit fields (ANSI code page), calls
// the engine or the configuration dialog, and turns an escaping exception
// into DISP_E_EXCEPTION with error information.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "signer/com/TavomirCOM_tlb.h"
#include "signer/Unit_ttavomir.h"

class TTavomirImpl final : public ITavomir {
public:
    // A new object (engine constructed, one module lock) in plain form when
    // outer is null, else aggregated in outer; *inner is its own IUnknown
    // with one reference. E_OUTOFMEMORY when it cannot be made.
    static HRESULT Create(IUnknown* outer, IUnknown** inner);

    // IUnknown: passed to the controlling unknown (the outer object when
    // aggregated, else the object's own).
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, served from the registered type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override;

    // ITavomir.
    STDMETHODIMP get_Operation(BSTR* Value) override;
    STDMETHODIMP put_Operation(BSTR Value) override;
    STDMETHODIMP get_Format(BSTR* Value) override;
    STDMETHODIMP put_Format(BSTR Value) override;
    STDMETHODIMP get_FileInputOne(BSTR* Value) override;
    STDMETHODIMP put_FileInputOne(BSTR Value) override;
    STDMETHODIMP get_FileOutputOne(BSTR* Value) override;
    STDMETHODIMP put_FileOutputOne(BSTR Value) override;
    STDMETHODIMP get_FileInputTwo(BSTR* Value) override;
    STDMETHODIMP put_FileInputTwo(BSTR Value) override;
    STDMETHODIMP get_FileOutputTwo(BSTR* Value) override;
    STDMETHODIMP put_FileOutputTwo(BSTR Value) override;
    STDMETHODIMP get_TypeOne(BSTR* Value) override;
    STDMETHODIMP put_TypeOne(BSTR Value) override;
    STDMETHODIMP get_TypeTwo(BSTR* Value) override;
    STDMETHODIMP put_TypeTwo(BSTR Value) override;
    STDMETHODIMP get_FileCert(BSTR* Value) override;
    STDMETHODIMP put_FileCert(BSTR Value) override;
    STDMETHODIMP get_ACFile(BSTR* Value) override;
    STDMETHODIMP get_CRLFile(BSTR* Value) override;
    STDMETHODIMP get_URLOCSP(BSTR* Value) override;
    STDMETHODIMP get_URLTSP(BSTR* Value) override;
    STDMETHODIMP get_Message(BSTR* Value) override;
    STDMETHODIMP Execute(VARIANT_BOOL* RESULTADO) override;
    STDMETHODIMP Configure() override;
    STDMETHODIMP get_OCSPFileOne(BSTR* Value) override;
    STDMETHODIMP put_OCSPFileOne(BSTR Value) override;
    STDMETHODIMP get_OCSPFileTwo(BSTR* Value) override;
    STDMETHODIMP put_OCSPFileTwo(BSTR Value) override;
    STDMETHODIMP Clear() override;

private:
    // The object's own IUnknown; the outer object holds this one when aggregated.
    class TInner : public IUnknown {
    public:
        explicit TInner(TTavomirImpl& owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        TTavomirImpl& owner_;
    };

    explicit TTavomirImpl(IUnknown* outer);
    ~TTavomirImpl();
    TTavomirImpl(const TTavomirImpl&) = delete;
    TTavomirImpl& operator=(const TTavomirImpl&) = delete;

    HRESULT GetField(const std::string& field, BSTR* value);
    HRESULT PutField(std::string& field, BSTR value);
    // A file name: the engine learns whether the code page held it exactly.
    HRESULT PutFileName(TTavomir::Field field, BSTR value);

    // Execute and Configure let window messages run (dialogs, the signing
    // drivers), and one of them may call the object again: until the running
    // call ends, the object takes no other call that would change its state,
    // and it keeps itself alive.
    class TBusy {
    public:
        explicit TBusy(TTavomirImpl& object);
        ~TBusy();
        TBusy(const TBusy&) = delete;
        TBusy& operator=(const TBusy&) = delete;

    private:
        TTavomirImpl& object_;
    };
    void RefuseWhileBusy() const;

    // One module lock for the object's life, given back after the engine is gone.
    struct TModuleHold {
        TModuleHold();
        ~TModuleHold();
    };

    TModuleHold hold_;
    ULONG references_ = 0;
    TInner inner_;
    IUnknown* controlling_;
    bool busy_ = false;
    TTavomir engine_;
};

// Releases the cached type information of ITavomir (module termination).
void ReleaseTavomirTypeInfo();
