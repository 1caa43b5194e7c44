#include "signer/files/temp_file.h"

#include <windows.h>

#include <cstdio>

#include "signer/errors.h"
#include "signer/files/file_utils.h"

TTempFile::TTempFile() : name_(MakeTempFileName()) {}

TTempFile::TTempFile(const char* prefix) : name_(MakeTempFileNameWithPrefix(prefix)) {}

TTempFile::~TTempFile()
{
    Remove();
}

bool TTempFile::Remove()
{
    if (name_.empty()) return true;
    if (!DeleteFileA(name_.c_str()) && GetFileAttributesA(name_.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    name_.clear();
    return true;
}

bool IsBase64Input(const std::string& path)
{
    TFile file = OpenFileOrThrow(path, "rb");
    return std::fgetc(file.Get()) == 'M';
}

TBase64Input::TBase64Input(const std::string& path) : path_(path)
{
    if (!IsBase64Input(path)) return;
    temp_.reset(new TTempFile());
    // Text that is not base64 decodes to whatever the converter makes of
    // it; the handler's own checks refuse the result.
    converted_ = ConvertFileBase64(path.c_str(), temp_->c_str(), kFromBase64);
    path_ = temp_->Name();
}
