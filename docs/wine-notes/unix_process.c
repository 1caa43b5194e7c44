/* Wine: CreateProcess runs a host (Unix) program, but the wait returns before
 * it ends and no exit status comes back. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    char command[] = "/bin/sh -c \"sleep 2; exit 7\"";
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    DWORD start = GetTickCount(), code = 0;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        printf("CreateProcess failed: %lu\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(pi.hProcess, 10000);
    GetExitCodeProcess(pi.hProcess, &code);
    printf("waited %lu ms, exit code %lu (Windows: about 2000 ms, 7)\n", GetTickCount() - start, code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}
