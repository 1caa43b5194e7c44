// An output that is replaced only by a complete result: the result is
// written to a new file in the output's folder, which is moved over the
// output on Commit and deleted on every other path, so a failure or a
// cancelled dialog leaves the client's earlier file as it was.
#pragma once
#include <cstdio>
#include <string>

#include "platform/owner.h"

class TOutputFile {
public:
    // Throws EFileOpenError when no file can be made in the output's folder.
    explicit TOutputFile(const std::string& output);
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // The new file, open for writing until CloseFile or Commit.
    std::FILE* File() const { return file_.Get(); }
    const std::string& TempName() const { return temp_; }
    // Closes the new file, for writers that open it by name; false (last
    // error set) when buffered bytes could not be written.
    bool CloseFile();
    // Closes the new file and moves it over the output; false leaves the
    // last error set and the output as it was.
    bool Commit();

private:
    std::string output_;
    std::string temp_;
    TFile file_;
    bool committed_ = false;
};
