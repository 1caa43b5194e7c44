#include "signer/files/output_file.h"

#include <windows.h>

#include <vector>

#include "signer/files/file_utils.h"

const char* const kOutputIsInputText = "El archivo de salida no puede ser un archivo de entrada";

namespace {

// The full path, or the text itself when it cannot be made one.
std::string FullPath(const std::string& path)
{
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::vector<char> buffer(needed + 1);
    DWORD written = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (written == 0 || written >= buffer.size()) return path;
    return std::string(buffer.data(), written);
}

}  // namespace

bool OutputNamesInput(const std::string& output, std::initializer_list<std::string> inputs)
{
    if (output.empty()) return false;
    const std::string full = FullPath(output);
    for (const std::string& input : inputs)
        if (!input.empty() && lstrcmpiA(full.c_str(), FullPath(input).c_str()) == 0) return true;
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
