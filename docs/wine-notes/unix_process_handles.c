/* Wine: CreateProcessA of a Unix program answers TRUE but leaves
   PROCESS_INFORMATION.hProcess NULL and puts into hThread a value that was
   never a handle of the new process (stale stack contents). Closing it, as
   Windows callers do, may close one of the caller's own live handles. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    HANDLE mine[8];
    for (int i = 0; i < 8; ++i) mine[i] = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (int run = 0; run < 4; ++run) {
        char line[] = "/bin/sh -c true";
        STARTUPINFOA si = {sizeof si};
        PROCESS_INFORMATION pi = {0};
        BOOL ok = CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
        int which = -1;
        for (int i = 0; i < 8; ++i)
            if (pi.hThread == mine[i]) which = i;
        printf("run %d: created %d, hProcess %p, hThread %p%s\n", run, ok, pi.hProcess, pi.hThread,
               which >= 0 ? " = one of this process's own events" : "");
    }
    return 0;
}
