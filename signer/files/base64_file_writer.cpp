#include "signer/files/base64_file_writer.h"

namespace {

// Bytes encoded at a time, and the text they can make: 4 characters a group
// and a line break after each at the narrowest width.
const std::size_t kSliceBytes = 48 * 1024;
const std::size_t kSliceText = 6 * ((kSliceBytes + 2) / 3);
// Text gathered before it is written.
const std::size_t kTextBuffer = 1024 * 1024;

}  // namespace

TBase64FileWriter::TBase64FileWriter(std::FILE* file, unsigned lineWidth) : file_(file), writer_(file)
{
    InitBase64Stream(&coder_, 1, lineWidth);
    for (std::vector<char>& text : text_) text.resize(kTextBuffer + kSliceText);
}

bool TBase64FileWriter::Drain()
{
    if (held_ == 0) return true;
    const bool ok = writer_.Start(text_[filling_].data(), held_);
    filling_ ^= 1;
    held_ = 0;
    return ok;
}

bool TBase64FileWriter::Write(const unsigned char* data, std::size_t length)
{
    while (length > 0) {
        const std::size_t slice = length < kSliceBytes ? length : kSliceBytes;
        held_ += EncodeBase64Chunk(&coder_, data, slice, text_[filling_].data() + held_);
        data += slice;
        length -= slice;
        if (held_ >= kTextBuffer && !Drain()) return false;
    }
    return true;
}

bool TBase64FileWriter::Finish()
{
    if (coder_.count == 1 || coder_.count == 2) {
        EncodeBase64Group(text_[filling_].data() + held_, coder_.group, static_cast<int>(coder_.count));
        held_ += 4;
        coder_.count = 0;
    }
    if (!Drain() || !writer_.Wait()) return false;
    SetLastError(ERROR_SUCCESS);
    if (std::fflush(file_) == 0) return true;
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    return false;
}

bool Base64FileWriterOutput(void* argument, const unsigned char* data, std::size_t length, bool final)
{
    TBase64FileWriter* writer = static_cast<TBase64FileWriter*>(argument);
    return writer->Write(data, length) && (!final || writer->Finish());
}
