// The one owner of Windows resources: release once, keep the last error,
// hand over on move and detach.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "platform/owner.h"

namespace {

int releases = 0;

// A release that, like many platform calls, leaves its own last error.
struct NoisyRelease {
    static void Release(int)
    {
        ++releases;
        SetLastError(ERROR_INVALID_HANDLE);
    }
};
using TNoisy = TOwner<int, NoisyRelease>;

TEST(Owner, ReleaseKeepsTheCallersLastError)
{
    releases = 0;
    {
        TNoisy owner(7);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    TNoisy owner(7);
    SetLastError(ERROR_ACCESS_DENIED);
    *owner.Put() = 8;  // Put releases the held one first
    EXPECT_EQ(releases, 2);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(Owner, MoveAndDetachHandOverWithoutRelease)
{
    releases = 0;
    TNoisy first(1);
    TNoisy second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.Get(), 1);
    TNoisy third(2);
    third = std::move(second);  // releases 2, takes 1
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(third.Detach(), 1);
    EXPECT_FALSE(third);
    third.Reset();
    EXPECT_EQ(releases, 1);
}

// Counts its references; gone at zero.
class TCounted : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    ULONG references = 1;
};

TEST(Owner, ComPointerReleasesItsOneReference)
{
    TCounted object;
    {
        TComPtr<IUnknown> pointer(&object);
        EXPECT_EQ(pointer.Get(), &object);
        pointer->AddRef();
        EXPECT_EQ(object.references, 2u);
        TComPtr<IUnknown> moved(std::move(pointer));
        EXPECT_FALSE(pointer);
    }
    EXPECT_EQ(object.references, 1u);
    TComPtr<IUnknown> received;
    *received.Receive() = &object;
    object.AddRef();
    received.Reset();
    EXPECT_EQ(object.references, 1u);
}

TEST(Owner, ComStringKeepsEmbeddedZerosAndLength)
{
    const wchar_t text[] = {L'a', 0, L'b'};
    TBstr value(text, 3);
    EXPECT_EQ(value.Text(), std::wstring(text, 3));
    *value.Receive() = SysAllocString(L"neu");
    EXPECT_EQ(value.Text(), L"neu");
    TBstr empty;
    EXPECT_EQ(empty.Text(), L"");
}

}  // namespace
