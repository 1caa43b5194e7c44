/* A region locked through one handle, read through another: Windows fails
   the read with ERROR_LOCK_VIOLATION; Wine reads the bytes. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    char path[MAX_PATH], folder[MAX_PATH], buffer[16];
    DWORD got = 0;
    OVERLAPPED at = {0};
    HANDLE locker, reader;
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "lck", 0, path);
    locker = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         CREATE_ALWAYS, 0, NULL);
    WriteFile(locker, "0123456789abcdef", 16, &got, NULL);
    if (!LockFileEx(locker, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 16, 0, &at)) return 2;
    reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (ReadFile(reader, buffer, sizeof buffer, &got, NULL)) printf("read %lu locked bytes\n", got);
    else printf("refused: %lu\n", GetLastError());
    CloseHandle(reader);
    UnlockFileEx(locker, 0, 16, 0, &at);
    CloseHandle(locker);
    DeleteFileA(path);
    return 0;
}
