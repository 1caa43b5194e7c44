// The certificate selection form: the personal certificates of the current
// user (or, where allowed, a PFX file), or the certificate configured in the
// settings, giving the signer record.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "platform/capi_handles.h"
#include "signer/ui/form.h"
#include "signer/signer_record.h"

class Tfrm_Login {
public:
    // The handlers pass no owner.
    explicit Tfrm_Login(void* owner = nullptr);
    ~Tfrm_Login();
    Tfrm_Login(const Tfrm_Login&) = delete;
    Tfrm_Login& operator=(const Tfrm_Login&) = delete;

    // The identification procedure: the configured certificate when login by
    // configuration is on, else the dialog, which must end accepted.
    bool Identify();

    void ReadUseConfiguredCert();
    bool LoginWithConfiguredCert();
    // 1 accepted, 2 cancelled.
    int ShowModal() { return form_.ShowModal(); }

    bool LoginByConfiguration() const { return loginByConfiguration_; }
    bool PfxAllowed() const { return pfxAllowed_; }
    void SetPfxAllowed(bool allowed) { pfxAllowed_ = allowed; }
    TSignerRecord SignerRecord() const;
    TForm& Form() { return form_; }

    // Event handlers.
    void FormCreate();
    void FormDestroy();
    void FormShow();
    bool FormKeyDown(WORD key);
    void RadioButton1Click();
    void RadioButton2Click();
    void btn_okClick();
    void btn_cancelClick();
    void ListView1DblClick();
    void txt_P12Change();
    void txt_P12AfterDialog();
    void V1Click();

private:
    void UpdateControls();
    void Warn(const char* text);
    void AcceptFromStore();
    void AcceptFromPfx();
    void FreeListContexts();

    TForm form_;
    CRYPT_DATA_BLOB pfxBlob_{};
    std::vector<BYTE> pfxBuffer_;
    bool pfxAllowed_ = false;
    bool loginByConfiguration_ = false;

    // Released in reverse order: the key, then every context taken from the
    // store, then the store's forced close.
    TCertStoreForceClose store_;
    std::vector<TCertContext> listContexts_;  // duplicates held by the list items
    TCertContext owned_;                      // a chosen context not held by the list
    TCertPrivateKey key_;
    PCCERT_CONTEXT certificate_ = nullptr;  // the chosen one; owned by the list or by owned_
};
