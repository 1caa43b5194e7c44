/* fclose does not report a failure of its final flush.  On Windows (and in
 * glibc) fclose answers EOF when the bytes still buffered cannot be written;
 * Wine's msvcrt answers 0 and the bytes are lost.  An fflush of its own
 * before fclose does report it.  Run it on a full disk:
 *   fclose_flush.exe FILE_ON_A_FULL_DISK */
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    char block[100];
    FILE* f;
    size_t n;
    int flushed, closed;
    if (argc != 2) {
        fputs("usage: fclose_flush FILE_ON_A_FULL_DISK\n", stderr);
        return 2;
    }
    memset(block, 'x', sizeof block);
    f = fopen(argv[1], "wb");
    if (!f) {
        puts("cannot create the file");
        return 1;
    }
    n = fwrite(block, 1, sizeof block, f);
    closed = fclose(f);
    printf("fclose alone:     fwrite %u, fclose %d (Windows: EOF, -1)\n", (unsigned)n, closed);

    f = fopen(argv[1], "wb");
    if (!f) return 1;
    n = fwrite(block, 1, sizeof block, f);
    flushed = fflush(f);
    closed = fclose(f);
    printf("fflush, fclose:   fwrite %u, fflush %d, fclose %d\n", (unsigned)n, flushed, closed);
    return 0;
}
