// An output that is replaced only by a complete result: the result is
// written to a new file in the output's folder, which is moved over the
// output on Commit and deleted on every other path, so a failure or a
// cancelled dialog leaves the client's earlier file as it was. Every
// operation that writes a file goes through this owner.
#pragma once
#include <cstdio>
#include <initializer_list>
#include <string>

#include "platform/owner.h"
#include "signer/errors.h"

// The output names one of the operation's inputs.
class EOutputIsInput : public EFileOpenError {
public:
    using EFileOpenError::EFileOpenError;
};

class TOutputFile {
public:
    // Throws EOutputIsInput, before anything is made, when the output is
    // one of inputs (OutputNamesInput); EFileOpenError when no file can be
    // made in the output's folder.
    explicit TOutputFile(const std::string& output, std::initializer_list<std::string> inputs = {});
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // The new file, open for writing until CloseFile or Commit.
    std::FILE* File() const { return file_.Get(); }
    const std::string& TempName() const { return temp_; }
    // Closes the new file, for writers that open it by name; false (last
    // error set) when buffered bytes could not be written.
    bool CloseFile();
    // Closes the new file and moves it over the output; a read-only output
    // is refused with ERROR_ACCESS_DENIED as Windows refuses it. False leaves
    // the last error set and the output as it was.
    bool Commit();

private:
    std::string output_;
    std::string temp_;
    TFile file_;
    bool committed_ = false;
};

// True when the output and one of the inputs name one file, by any path
// (NameOneFile). Empty names match nothing.
bool OutputNamesInput(const std::string& output, std::initializer_list<std::string> inputs);

// The refusal text of an output that names an input.
extern const char* const kOutputIsInputText;
