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
