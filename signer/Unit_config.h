// The configuration dialog: edits the registry settings (certificate checks,
// time-stamp server, the configured signing certificate).
#pragma once
#include <windows.h>

#include <string>

#include "signer/form.h"

class TForm1 {
public:
    // Builds the controls and loads the settings; the caller passes no owner.
    explicit TForm1(void* owner = nullptr);
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Runs the dialog modally; accept and cancel both end with 1.
    int ShowModal() { return form_.ShowModal(); }
    TForm& Form() { return form_; }

private:
    TForm form_;
};
