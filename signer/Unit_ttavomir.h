// The operation engine: seventeen text fields and one entry point, Execute,
// which runs the operation named in Operation and leaves a result text in
// Message ("2", "2\r\n" + data, or "1\r\n" + a message).
#pragma once
#include <string>
#include <vector>

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

    // One of the fields above.
    using Field = std::string TTavomir::*;

    // A file name put at the interface that the ANSI code page could not
    // hold exactly: the field then names no file until it is put again.
    void MarkFileName(Field field, bool exact);

    // The files of one operation, before anything is read or written: no
    // name may have lost characters at the interface, every input that is
    // there must be a regular file or a folder, and no output ("" and "NULL"
    // name none) may name an input that is there or another output, by any
    // path. False after setting the failure text.
    bool CheckFiles(const std::vector<Field>& inputs, const std::vector<Field>& outputs);

    // The output the operation must write: "" and "NULL" name no file.
    // False after setting the failure text.
    bool RequireOutput(const std::string& output);

private:
    std::vector<Field> inexactNames_;
};

// The marker for "none" or "choose" in file-name fields.
extern const char* const kNullMarker;

// True for "NULL" (exact) and for "".
bool IsNullOrEmpty(const std::string& field);
