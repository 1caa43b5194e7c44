// The configuration dialog: edits the registry settings (certificate checks,
// time-stamp server, the configured signing certificate).
#pragma once
#include <windows.h>

#include <string>

#include "signer/ui/form.h"

class TSettingsKey;

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

    // Event handlers.
    void CheckBoxACClick();
    void CheckBox2Click();  // of CheckBoxCRL
    void RxSpeedButton3Click();
    void RxSpeedButton4Click();
    void txt_ACChange();
    void txt_CRLChange();
    void CheckBoxOCSPClick();
    void CheckBoxTSPClick();
    void ChooseButtonClick();
    void CheckBoxEachClick();
    void CheckBoxAlwaysClick();

private:
    void Load();
    bool Validate();
    bool Write(const TSettingsKey& key);
    void FileNameChange(const char* edit);
    void ShowCertificateRow();
    void Warn(const char* text);

    TForm form_;
    unsigned char hash_[20] = {};  // SHA-1 hash property of the configured certificate
    std::string serie_, nombre_, emisor_;
};
