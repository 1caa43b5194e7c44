/* Linux, not Windows: does this kernel run 32-bit x86 code?  A 64-bit
 * process makes the i386 getpid system call through int 0x80; with IA-32
 * emulation on it answers the process id, without it the process dies
 * (SIGSEGV).  Build and run natively: gcc -o ia32_probe ia32_probe.c && ./ia32_probe */
#include <stdio.h>
#include <unistd.h>

int main(void)
{
    long r;
    __asm__ volatile("int $0x80" : "=a"(r) : "a"(20L) : "memory");
    printf("i386 getpid: %ld, getpid: %d: IA-32 emulation is on\n", r, (int)getpid());
    return 0;
}
