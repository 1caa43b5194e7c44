/* MoveFileExA with MOVEFILE_REPLACE_EXISTING over a read-only file.  Windows
 * refuses it (ERROR_ACCESS_DENIED) and the target stays; Wine replaces it.
 *   move_readonly.exe FOLDER */
#include <windows.h>
#include <stdio.h>

static void write_file(const char* name, const char* text)
{
    FILE* f = fopen(name, "wb");
    if (f) {
        fputs(text, f);
        fclose(f);
    }
}

int main(int argc, char** argv)
{
    char source[MAX_PATH], target[MAX_PATH], text[32] = "";
    FILE* f;
    BOOL moved;
    DWORD error;
    if (argc != 2) {
        fputs("usage: move_readonly FOLDER\n", stderr);
        return 2;
    }
    snprintf(source, sizeof source, "%s\\new.txt", argv[1]);
    snprintf(target, sizeof target, "%s\\readonly.txt", argv[1]);
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    write_file(target, "earlier");
    write_file(source, "new");
    SetFileAttributesA(target, FILE_ATTRIBUTE_READONLY);
    moved = MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING);
    error = moved ? 0 : GetLastError();
    f = fopen(target, "rb");
    if (f) {
        fgets(text, sizeof text, f);
        fclose(f);
    }
    printf("MoveFileExA %d, error %lu, target holds \"%s\" (Windows: 0, 5, \"earlier\")\n", moved,
           (unsigned long)error, text);
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(target);
    DeleteFileA(source);
    return 0;
}
