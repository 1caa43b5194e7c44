#include "signer/com/TavomirImpl.h"

#include <exception>
#include <new>
#include <string>
#include <utility>

#include "signer/com/TavomirCOM.h"
#include "platform/ansi_text.h"
#include "platform/owner.h"
#include "signer/errors.h"
#include "signer/ui/Unit_config.h"

namespace {

// --- type information of ITavomir, from the registered type library -------

// Released by ReleaseTavomirTypeInfo when the server unloads; never by a
// destructor at process exit, when the type library's module may be gone.
TComPtr<ITypeInfo>& CachedTypeInfo()
{
    static TComPtr<ITypeInfo>* cached = new TComPtr<ITypeInfo>;
    return *cached;
}

HRESULT LoadTavomirTypeInfo(ITypeInfo** info)
{
    TModuleGuard guard;
    TComPtr<ITypeInfo>& cached = CachedTypeInfo();
    if (!cached) {
        TComPtr<ITypeLib> library;
        HRESULT hr = LoadRegTypeLib(LIBID_TavomirCOM, tavomir_tlb::kMajorVersion, tavomir_tlb::kMinorVersion,
                                    tavomir_tlb::kLocale, library.Receive());
        if (FAILED(hr)) return hr;
        TComPtr<ITypeInfo> found;
        hr = library->GetTypeInfoOfGuid(IID_ITavomir, found.Receive());
        if (FAILED(hr)) return hr;
        // A dual interface: Invoke must call through the vtable half, or it
        // would come back to our own Invoke.
        HREFTYPE vtableHalf = 0;
        TComPtr<ITypeInfo> vtableInfo;
        if (SUCCEEDED(found->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf)) &&
            SUCCEEDED(found->GetRefTypeInfo(vtableHalf, vtableInfo.Receive())))
            found = std::move(vtableInfo);
        cached = std::move(found);
    }
    cached->AddRef();
    *info = cached.Get();
    return S_OK;
}

// --- text conversion at the interface (ANSI code page) --------------------

// The 8-bit text up to its first NUL as a new COM string; "" gives a
// zero-length string, never null.
HRESULT ToComString(const std::string& field, BSTR* value)
{
    const std::wstring wide = AnsiToWide(field.c_str());
    BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!text) return E_OUTOFMEMORY;
    *value = text;
    return S_OK;
}

// --- escaping exceptions become COM errors --------------------------------

HRESULT ReportException(const char* message)
{
    TComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.Receive()))) return DISP_E_EXCEPTION;
    create->SetGUID(IID_ITavomir);
    LPOLESTR progId = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(CLSID_Tavomir, &progId)) && progId) create->SetSource(progId);
    CoTaskMemFree(progId);
    try {
        std::wstring description = AnsiToWide(message);
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    } catch (...) {
        create->SetDescription(const_cast<LPOLESTR>(L""));
    }
    TComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.ReceiveVoid()))) SetErrorInfo(0, info.Get());
    return DISP_E_EXCEPTION;
}

const char* const kBusy = "El componente está ocupado con otra operación";

template <class Body>
HRESULT Guarded(Body&& body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        return ReportException(e.what());
    } catch (...) {
        return ReportException("");
    }
}

}  // namespace

void ReleaseTavomirTypeInfo()
{
    TModuleGuard guard;
    CachedTypeInfo().Reset();
}

// --- life -----------------------------------------------------------------

TTavomirImpl::TModuleHold::TModuleHold() { ModuleLock(); }
TTavomirImpl::TModuleHold::~TModuleHold() { ModuleUnlock(); }

TTavomirImpl::TTavomirImpl(IUnknown* outer) : inner_(*this), controlling_(outer ? outer : &inner_) {}

TTavomirImpl::~TTavomirImpl() = default;

HRESULT TTavomirImpl::Create(IUnknown* outer, IUnknown** inner)
{
    *inner = nullptr;
    TTavomirImpl* object = nullptr;
    try {
        object = new TTavomirImpl(outer);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    object->inner_.AddRef();
    *inner = &object->inner_;
    return S_OK;
}

TTavomirImpl::TBusy::TBusy(TTavomirImpl& object) : object_(object)
{
    object_.RefuseWhileBusy();
    object_.busy_ = true;
    object_.AddRef();
}

TTavomirImpl::TBusy::~TBusy()
{
    object_.busy_ = false;
    object_.Release();
}

void TTavomirImpl::RefuseWhileBusy() const
{
    if (busy_) throw ETavomirError(kBusy);
}

HRESULT TTavomirImpl::TInner::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        // Aggregated, the outer object holds this inner unknown; alone, the
        // object answers with one pointer for all three interfaces.
        const bool aggregated = owner_.controlling_ != this;
        *out = aggregated ? static_cast<IUnknown*>(this) : static_cast<ITavomir*>(&owner_);
    } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_ITavomir)) {
        *out = static_cast<ITavomir*>(&owner_);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

ULONG TTavomirImpl::TInner::AddRef() { return ++owner_.references_; }

ULONG TTavomirImpl::TInner::Release()
{
    const ULONG left = --owner_.references_;
    if (left == 0) delete &owner_;
    return left;
}

HRESULT TTavomirImpl::QueryInterface(REFIID iid, void** out) { return controlling_->QueryInterface(iid, out); }
ULONG TTavomirImpl::AddRef() { return controlling_->AddRef(); }
ULONG TTavomirImpl::Release() { return controlling_->Release(); }

// --- IDispatch --------------------------------------------------------------

HRESULT TTavomirImpl::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT TTavomirImpl::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return LoadTavomirTypeInfo(info);
}

HRESULT TTavomirImpl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    TComPtr<ITypeInfo> info;
    HRESULT hr = LoadTavomirTypeInfo(info.Receive());
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT TTavomirImpl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* argumentError)
{
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    TComPtr<ITypeInfo> info;
    HRESULT hr = LoadTavomirTypeInfo(info.Receive());
    if (FAILED(hr)) return hr;
    return info->Invoke(static_cast<ITavomir*>(this), id, flags, params, result, exception, argumentError);
}

// --- ITavomir ---------------------------------------------------------------

HRESULT TTavomirImpl::GetField(const std::string& field, BSTR* value)
{
    if (!value) return E_POINTER;
    return Guarded([&] { return ToComString(field, value); });
}

HRESULT TTavomirImpl::PutField(std::string& field, BSTR value)
{
    return Guarded([&] {
        RefuseWhileBusy();
        field = WideToAnsi(value);
        return S_OK;
    });
}

HRESULT TTavomirImpl::PutFileName(TTavomir::Field field, BSTR value)
{
    return Guarded([&] {
        RefuseWhileBusy();
        engine_.*field = WideToAnsi(value);
        engine_.MarkFileName(field, ConvertsToAnsiExactly(value));
        return S_OK;
    });
}

HRESULT TTavomirImpl::get_Operation(BSTR* Value) { return GetField(engine_.Operation, Value); }
HRESULT TTavomirImpl::put_Operation(BSTR Value) { return PutField(engine_.Operation, Value); }
HRESULT TTavomirImpl::get_Format(BSTR* Value) { return GetField(engine_.Format, Value); }
HRESULT TTavomirImpl::put_Format(BSTR Value) { return PutField(engine_.Format, Value); }
HRESULT TTavomirImpl::get_FileInputOne(BSTR* Value) { return GetField(engine_.FileInputOne, Value); }
HRESULT TTavomirImpl::put_FileInputOne(BSTR Value) { return PutFileName(&TTavomir::FileInputOne, Value); }
HRESULT TTavomirImpl::get_FileOutputOne(BSTR* Value) { return GetField(engine_.FileOutputOne, Value); }
HRESULT TTavomirImpl::put_FileOutputOne(BSTR Value) { return PutFileName(&TTavomir::FileOutputOne, Value); }
HRESULT TTavomirImpl::get_FileInputTwo(BSTR* Value) { return GetField(engine_.FileInputTwo, Value); }
HRESULT TTavomirImpl::put_FileInputTwo(BSTR Value) { return PutFileName(&TTavomir::FileInputTwo, Value); }
HRESULT TTavomirImpl::get_FileOutputTwo(BSTR* Value) { return GetField(engine_.FileOutputTwo, Value); }
HRESULT TTavomirImpl::put_FileOutputTwo(BSTR Value) { return PutFileName(&TTavomir::FileOutputTwo, Value); }
HRESULT TTavomirImpl::get_TypeOne(BSTR* Value) { return GetField(engine_.TypeOne, Value); }
HRESULT TTavomirImpl::put_TypeOne(BSTR Value) { return PutField(engine_.TypeOne, Value); }
HRESULT TTavomirImpl::get_TypeTwo(BSTR* Value) { return GetField(engine_.TypeTwo, Value); }
HRESULT TTavomirImpl::put_TypeTwo(BSTR Value) { return PutField(engine_.TypeTwo, Value); }
HRESULT TTavomirImpl::get_FileCert(BSTR* Value) { return GetField(engine_.FileCert, Value); }
HRESULT TTavomirImpl::put_FileCert(BSTR Value) { return PutFileName(&TTavomir::FileCert, Value); }
HRESULT TTavomirImpl::get_ACFile(BSTR* Value) { return GetField(engine_.ACFile, Value); }
HRESULT TTavomirImpl::get_CRLFile(BSTR* Value) { return GetField(engine_.CRLFile, Value); }
HRESULT TTavomirImpl::get_URLOCSP(BSTR* Value) { return GetField(engine_.URLOCSP, Value); }
HRESULT TTavomirImpl::get_URLTSP(BSTR* Value) { return GetField(engine_.URLTSP, Value); }
HRESULT TTavomirImpl::get_Message(BSTR* Value) { return GetField(engine_.Message, Value); }
HRESULT TTavomirImpl::get_OCSPFileOne(BSTR* Value) { return GetField(engine_.OCSPFileOne, Value); }
HRESULT TTavomirImpl::put_OCSPFileOne(BSTR Value) { return PutFileName(&TTavomir::OCSPFileOne, Value); }
HRESULT TTavomirImpl::get_OCSPFileTwo(BSTR* Value) { return GetField(engine_.OCSPFileTwo, Value); }
HRESULT TTavomirImpl::put_OCSPFileTwo(BSTR Value) { return PutFileName(&TTavomir::OCSPFileTwo, Value); }

HRESULT TTavomirImpl::Execute(VARIANT_BOOL* RESULTADO)
{
    if (!RESULTADO) return E_POINTER;
    return Guarded([&] {
        TBusy busy(*this);
        const bool succeeded = engine_.Execute();
        *RESULTADO = succeeded ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT TTavomirImpl::Configure()
{
    return Guarded([&] {
        TBusy busy(*this);
        TForm1 form(nullptr);
        form.ShowModal();  // accepted or cancelled alike
        return S_OK;
    });
}

HRESULT TTavomirImpl::Clear()
{
    return Guarded([&] {
        RefuseWhileBusy();
        engine_.Clear();
        return S_OK;
    });
}
