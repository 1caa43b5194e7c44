#include "signer/files/output_file.h"

#include <windows.h>

#include "signer/files/file_identity.h"
#include "signer/files/file_utils.h"

const char* const kOutputIsInputText = "El archivo de salida no puede ser un archivo de entrada";

bool OutputNamesInput(const std::string& output, std::initializer_list<std::string> inputs)
{
    for (const std::string& input : inputs)
        if (NameOneFile(output, input)) return true;
    return false;
}

TOutputFile::TOutputFile(const std::string& output, std::initializer_list<std::string> inputs) : output_(output)
{
    if (OutputNamesInput(output, inputs)) throw EOutputIsInput(kOutputIsInputText);
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
    return CloseWrittenFile(file_);
}

bool TOutputFile::Commit()
{
    if (!CloseFile()) return false;
    // Windows refuses to replace a read-only file; Wine's MoveFileExA does not.
    const DWORD attributes = GetFileAttributesA(output_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!MoveFileExA(temp_.c_str(), output_.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    committed_ = true;
    return true;
}
