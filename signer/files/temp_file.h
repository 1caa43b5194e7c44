// A temporary file that lives for one operation: made in the system's
// temporary folder and deleted when its owner goes, on every path.
#pragma once
#include <memory>
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

// The file to read the input's DER from: the input itself, or, for base64
// text, temp made and filled with the decoded bytes. temp stays empty
// (no file) for binary input. Throws EFileOpenError as IsBase64Input.
class TBase64Input {
public:
    explicit TBase64Input(const std::string& path);
    TBase64Input(const TBase64Input&) = delete;
    TBase64Input& operator=(const TBase64Input&) = delete;

    // The binary file to work on.
    const std::string& Path() const { return path_; }
    bool WasBase64() const { return temp_ != nullptr; }
    // False when the decoded bytes could not be written in full.
    bool Converted() const { return converted_; }

private:
    std::string path_;
    std::unique_ptr<TTempFile> temp_;
    bool converted_ = true;
};
