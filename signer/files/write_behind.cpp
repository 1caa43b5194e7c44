#include "signer/files/write_behind.h"

TWriteBehind::TWriteBehind(std::FILE* file) : file_(file)
{
    ready_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    done_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (ready_ && done_) thread_.Reset(CreateThread(nullptr, 0, &TWriteBehind::Run, this, 0, nullptr));
}

TWriteBehind::~TWriteBehind()
{
    const DWORD error = GetLastError();  // a failure being reported stays the caller's
    Wait();
    if (thread_) {
        stop_ = true;
        SetEvent(ready_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
    }
    SetLastError(error);
}

void TWriteBehind::WriteNow()
{
    SetLastError(ERROR_SUCCESS);
    if (std::fwrite(data_, 1, length_, file_) == length_) {
        error_ = ERROR_SUCCESS;
    } else {
        error_ = GetLastError() != ERROR_SUCCESS ? GetLastError() : static_cast<DWORD>(ERROR_WRITE_FAULT);
    }
}

DWORD WINAPI TWriteBehind::Run(void* argument)
{
    TWriteBehind* self = static_cast<TWriteBehind*>(argument);
    for (;;) {
        WaitForSingleObject(self->ready_.Get(), INFINITE);
        if (self->stop_) return 0;
        self->WriteNow();
        SetEvent(self->done_.Get());
    }
}

bool TWriteBehind::Start(const char* data, std::size_t length)
{
    if (!Wait()) return false;
    data_ = data;
    length_ = length;
    if (!thread_) {
        WriteNow();
        return Wait();
    }
    busy_ = true;
    SetEvent(ready_.Get());
    return true;
}

bool TWriteBehind::Wait()
{
    if (busy_) {
        WaitForSingleObject(done_.Get(), INFINITE);
        busy_ = false;
    }
    if (error_ == ERROR_SUCCESS) return true;
    SetLastError(error_);
    return false;
}
