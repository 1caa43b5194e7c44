// A call that arrives as a posted window message: what a pending message does
// to code that lets the thread's messages run.
#pragma once
#include <windows.h>

#include <functional>
#include <utility>

namespace testsupport {

class TPostedCall {
public:
    explicit TPostedCall(std::function<void()> call) : call_(std::move(call))
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClass;
        RegisterClassA(&windowClass);  // an earlier call's registration serves as well
        window_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                                  nullptr);
        if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TPostedCall()
    {
        if (window_) DestroyWindow(window_);
    }
    TPostedCall(const TPostedCall&) = delete;
    TPostedCall& operator=(const TPostedCall&) = delete;

    bool Post() const { return window_ && PostMessageA(window_, kMessage, 0, 0); }
    bool Called() const { return called_; }

private:
    static constexpr const char* kClass = "TavomirTestPostedCall";
    static constexpr UINT kMessage = WM_APP + 7;

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TPostedCall*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message != kMessage || !self) return DefWindowProcA(window, message, wParam, lParam);
        self->called_ = true;
        self->call_();
        return 0;
    }

    std::function<void()> call_;
    HWND window_ = nullptr;
    bool called_ = false;
};

}  // namespace testsupport
