#include "signer/files/output_file.h"

#include <windows.h>

#include "signer/errors.h"

TOutputFile::TOutputFile(const std::string& output) : output_(output)
{
    std::string::size_type slash = output.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string(".") : output.substr(0, slash + 1);
    char name[MAX_PATH + 1] = {};
    if (folder.size() > MAX_PATH - 14 || !GetTempFileNameA(folder.c_str(), "tkw", 0, name))
        throw EFileOpenError("No se puede crear el archivo " + output);
    temp_ = name;
    file_.Reset(std::fopen(temp_.c_str(), "wb"));
    if (!file_) {
        DeleteFileA(temp_.c_str());
        throw EFileOpenError("No se puede crear el archivo " + output);
    }
}

TOutputFile::~TOutputFile()
{
    file_.Reset();
    if (!committed_) DeleteFileA(temp_.c_str());
}

bool TOutputFile::CloseFile()
{
    if (!file_) return true;
    std::FILE* file = file_.Detach();  // closed here, for the close's answer
    SetLastError(ERROR_SUCCESS);
    // The flush on its own: Wine's fclose does not report a failed final flush.
    const bool flushed = std::fflush(file) == 0;
    if (std::fclose(file) != 0 || !flushed) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

bool TOutputFile::Commit()
{
    if (!CloseFile()) return false;
    if (!MoveFileExA(temp_.c_str(), output_.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    committed_ = true;
    return true;
}
