/* Other paths of one file: each is opened for no access and its volume
   serial number and file index compared with the file's own.  Windows: every
   alias below reaches the file (the symbolic link needs the privilege or
   developer mode).  Wine: the UNC paths to this machine reach nothing, and
   CreateSymbolicLinkA answers TRUE but makes no link.
     path_aliases.exe [FOLDER]   (default: the program's own folder) */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static BOOL identity(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, NULL);
    BOOL got;
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    got = GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return got;
}

static void show(const char* what, const char* path, const BY_HANDLE_FILE_INFORMATION* file)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!identity(path, &info)) {
        printf("%-22s %s: opens nothing (error %lu)\n", what, path, GetLastError());
        return;
    }
    printf("%-22s %s: %s\n", what, path,
           info.dwVolumeSerialNumber == file->dwVolumeSerialNumber && info.nFileIndexHigh == file->nFileIndexHigh &&
                   info.nFileIndexLow == file->nFileIndexLow
               ? "the file"
               : "another file");
}

int main(int argc, char** argv)
{
    char folder[MAX_PATH], path[MAX_PATH], alias[MAX_PATH + 32], *slash;
    BY_HANDLE_FILE_INFORMATION file;
    FILE* f;
    typedef BOOLEAN(WINAPI * SymbolicLinkFn)(LPCSTR, LPCSTR, DWORD);
    SymbolicLinkFn symbolicLink =
        (SymbolicLinkFn)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA");
    BOOLEAN made;

    if (argc > 1) {
        GetFullPathNameA(argv[1], sizeof folder, folder, NULL);
    } else {
        GetModuleFileNameA(NULL, folder, sizeof folder);
        if ((slash = strrchr(folder, '\\')) != NULL) *slash = '\0';
    }
    snprintf(path, sizeof path, "%s\\Long input name.bin", folder);
    f = fopen(path, "wb");
    if (!f) return 2;
    fputs("data", f);
    fclose(f);
    if (!identity(path, &file)) return 2;

    if (GetShortPathNameA(path, alias, sizeof alias)) show("short name", alias, &file);
    snprintf(alias, sizeof alias, "\\\\?\\%s", path);
    show("\\\\?\\ prefix", alias, &file);
    snprintf(alias, sizeof alias, "\\\\.\\%s", path);
    show("\\\\.\\ prefix", alias, &file);
    snprintf(alias, sizeof alias, "\\\\localhost\\%c$%s", path[0], path + 2);
    show("UNC, this machine", alias, &file);
    snprintf(alias, sizeof alias, "\\\\127.0.0.1\\%c$%s", path[0], path + 2);
    show("UNC, its address", alias, &file);
    snprintf(alias, sizeof alias, "%s\\hard link.bin", folder);
    DeleteFileA(alias);
    if (CreateHardLinkA(alias, path, NULL)) show("CreateHardLinkA", alias, &file);
    snprintf(alias, sizeof alias, "%s\\symbolic link.bin", folder);
    DeleteFileA(alias);
    made = symbolicLink ? symbolicLink(alias, path, 2 /* unprivileged create */) : 0;
    printf("CreateSymbolicLinkA answers %d, the link %s\n", made,
           GetFileAttributesA(alias) != INVALID_FILE_ATTRIBUTES ? "is there" : "is not there");
    show("symbolic link", alias, &file);

    DeleteFileA(alias);
    snprintf(alias, sizeof alias, "%s\\hard link.bin", folder);
    DeleteFileA(alias);
    DeleteFileA(path);
    return 0;
}
