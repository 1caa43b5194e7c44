// The four exports called directly: the class object, instance creation
// (plain and aggregated) and the lock count behind DllCanUnloadNow.
#include <gtest/gtest.h>

#include "tests/support/com_fixture.h"

using namespace testsupport::com;

namespace {

const CLSID kOtherClass = {0x25500E24, 0x5009, 0x423C, {0xA8, 0x53, 0x76, 0x54, 0xC4, 0x37, 0x9E, 0x8D}};

class ServerExports : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MainServer().Loaded()) << BuiltDll();
        ASSERT_EQ(MainServer().CanUnloadNow(), S_OK) << "an earlier test left an object alive";
    }
    TServer& server_ = MainServer();
};

TEST_F(ServerExports, GetClassObjectChecksItsArguments)
{
    EXPECT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_IClassFactory, nullptr), E_POINTER);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(server_.GetClassObject(kOtherClass, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);

    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_ITavomir, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ServerExports, OneClassObjectThatDoesNotLockTheModule)
{
    TPtr<IClassFactory> first, second;
    TPtr<IUnknown> unknown;
    ASSERT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_IClassFactory, first.ReceiveVoid()), S_OK);
    ASSERT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_IClassFactory, second.ReceiveVoid()), S_OK);
    ASSERT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_IUnknown, unknown.ReceiveVoid()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), unknown.Get());
    EXPECT_EQ(server_.CanUnloadNow(), S_OK);
}

TEST_F(ServerExports, LockCountFollowsObjectsAndLockServer)
{
    TPtr<IClassFactory> factory;
    ASSERT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_IClassFactory, factory.ReceiveVoid()), S_OK);

    TPtr<ITavomir> a, b;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITavomir, a.ReceiveVoid()), S_OK);
    EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, b.ReceiveVoid()), S_OK);
    a.Reset();
    EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
    b->AddRef();
    EXPECT_EQ(b->Release(), 1u);
    b.Reset();
    EXPECT_EQ(server_.CanUnloadNow(), S_OK);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(server_.CanUnloadNow(), S_OK);
}

TEST_F(ServerExports, CreateInstanceRefusals)
{
    TPtr<IClassFactory> factory;
    ASSERT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITavomir, nullptr), E_POINTER);

    // An interface the object lacks: no object is left behind.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(server_.CanUnloadNow(), S_OK);

    // Aggregation asks for IUnknown only.
    TPtr<IUnknown> outer;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, outer.ReceiveVoid()), S_OK);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_ITavomir, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ServerExports, ObjectAnswersItsThreeInterfacesOnly)
{
    TPtr<IUnknown> unknown;
    ASSERT_EQ(server_.Create(IID_IUnknown, unknown.ReceiveVoid()), S_OK);
    TPtr<IDispatch> dispatch;
    TPtr<ITavomir> tavomir;
    ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_ITavomir, tavomir.ReceiveVoid()), S_OK);
    EXPECT_EQ(static_cast<IDispatch*>(tavomir.Get()), dispatch.Get());
    TPtr<IUnknown> again;
    ASSERT_EQ(tavomir->QueryInterface(IID_IUnknown, again.ReceiveVoid()), S_OK);
    EXPECT_EQ(again.Get(), unknown.Get()) << "one identity";
    EXPECT_EQ(static_cast<IUnknown*>(tavomir.Get()), unknown.Get()) << "one pointer for the three interfaces";

    for (const IID* iid : {&IID_ISupportErrorInfo, &IID_IClassFactory, &IID_IPersist}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(unknown->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

// An outer object that counts what the inner one passes to it.
class TOuter final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        ++queries;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        if (inner) return inner->QueryInterface(iid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    ULONG references = 1;
    int queries = 0;
    IUnknown* inner = nullptr;
};

TEST_F(ServerExports, AggregatedObjectPassesIUnknownToTheOuter)
{
    TOuter outer;
    {
        TPtr<IClassFactory> factory;
        ASSERT_EQ(server_.GetClassObject(CLSID_Tavomir, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
        ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    }
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_EQ(outer.references, 1u) << "the inner object holds no reference on its outer";
    EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);

    ITavomir* tavomir = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_ITavomir, reinterpret_cast<void**>(&tavomir)), S_OK);
    EXPECT_EQ(outer.references, 2u) << "the reference went to the outer object";
    // The delegating IUnknown: a query on the interface reaches the outer object.
    IUnknown* identity = nullptr;
    const int queriesBefore = outer.queries;
    ASSERT_EQ(tavomir->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, queriesBefore + 1);
    identity->Release();

    // The members behave the same.
    TBstr value;
    ASSERT_EQ(tavomir->put_Format(TBstr(L"PKCS").Get()), S_OK);
    ASSERT_EQ(tavomir->get_Format(value.Receive()), S_OK);
    EXPECT_EQ(value.Text(), L"PKCS");

    tavomir->Release();
    EXPECT_EQ(outer.references, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
    EXPECT_EQ(server_.CanUnloadNow(), S_OK);
}

}  // namespace
