// The operation engine: seventeen text fields and one entry point, Execute,
// which runs the operation named in Operation and leaves a result text in
// Message ("2", "2\r\n" + data, or "1\r\n" + a message).
#pragma once
#include <string>

class Tfrm_Login;

class TTavomir {
public:
    TTavomir();
    ~TTavomir();

    // Every field "" except FileCert, URLOCSP and URLTSP, which keep their values.
    void Clear();

    // Runs the operation; false after a failure text has been set.
    bool Execute();

    // Stores a result text; every handler reports through it.
    void SetResult(const std::string& text);

    // Refreshes ACFile, CRLFile, URLOCSP and URLTSP from the registry.
    void LoadSettings();

    // The fields, in their fixed order (8-bit texts in the ANSI code page).
    std::string Operation;
    std::string Format;
    std::string FileInputOne;
    std::string FileOutputOne;
    std::string FileInputTwo;
    std::string FileOutputTwo;
    std::string ResponseFile;  // set by nobody, read by nothing
    std::string TypeOne;
    std::string TypeTwo;
    std::string FileCert;
    std::string ACFile;
    std::string CRLFile;
    std::string URLOCSP;
    std::string URLTSP;
    std::string Message;
    std::string OCSPFileOne;
    std::string OCSPFileTwo;

    // The eight handlers.
    bool SignRSA();
    bool SignPKCS7();
    bool VerifyRSA();
    bool OpenSecured();
    bool VerifyDetached();
    bool TimeStamp();
    bool VerifyTimeStamp();
    bool CheckOCSPResponse();

    // Identifies the signer through the form (the configured certificate or
    // the dialog); false after setting the failure text.
    bool IdentifySigner(Tfrm_Login& form);
};

// The marker for "none" or "choose" in file-name fields.
extern const char* const kNullMarker;

// True for "NULL" (exact) and for "".
bool IsNullOrEmpty(const std::string& field);
