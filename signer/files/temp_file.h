// A temporary file that lives for one operation: made in the system's
// temporary folder and deleted when its owner goes, on every path.
#pragma once
#include <string>

class TTempFile {
public:
    // Makes a new empty file (prefix "tkw"); throws EFileOpenError when it cannot.
    TTempFile();
    explicit TTempFile(const char* prefix);
    ~TTempFile();

    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    const std::string& Name() const { return name_; }
    const char* c_str() const { return name_.c_str(); }

    // Deletes the file now; true when it is gone.
    bool Remove();

private:
    std::string name_;
};

// True when the file's first byte is 'M', the first base64 character of any
// DER SEQUENCE. Throws EFileOpenError when the file cannot be opened.
bool IsBase64Input(const std::string& path);
