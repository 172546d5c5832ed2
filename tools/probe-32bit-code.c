/* Can a 64-bit process on this kernel run 32-bit code? Wine's WoW64 mode
   (32-bit Windows programs inside a 64-bit process) needs the kernel's
   32-bit code segment even where 32-bit programs themselves are refused.
   Jumps into a 32-bit stub through selector 0x23 and back through 0x33.
   Build and run: gcc -no-pie -o probe tools/probe-32bit-code.c && ./probe
   Prints "32-bit code ran" and exits 0, or "32-bit code refused" and 1. */
#include <setjmp.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>

static sigjmp_buf g_jump;
static void OnSignal(int sig) { siglongjmp(g_jump, sig); }

int main(void) {
    /* The stub and the return address must lie below 4 GiB (hence -no-pie). */
    unsigned char* code = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (code == MAP_FAILED) { perror("mmap"); return 2; }
    const unsigned char stub[] = {0xB8, 42, 0, 0, 0, /* mov eax, 42 */
                                  0xCB};             /* retf: pops EIP, CS */
    memcpy(code, stub, sizeof stub);
    signal(SIGSEGV, OnSignal);
    signal(SIGBUS, OnSignal);
    signal(SIGILL, OnSignal);
    int sig = sigsetjmp(g_jump, 1);
    if (sig) { printf("32-bit code refused: signal %d\n", sig); return 1; }
    static struct { unsigned int offset; unsigned short selector; } __attribute__((packed)) target;
    target.offset = (unsigned int)(unsigned long)code;
    target.selector = 0x23;
    unsigned int result;
    __asm__ volatile(
        "lea 1f(%%rip), %%rax\n\t"
        "subq $8, %%rsp\n\t"
        "movl %%eax, 0(%%rsp)\n\t"      /* where retf returns to ... */
        "movl $0x33, 4(%%rsp)\n\t"      /* ... in the 64-bit segment */
        "ljmpl *%1\n\t"
        "1:\n\t"
        : "=a"(result) : "m"(target) : "memory");
    printf("32-bit code ran: eax=%u\n", result);
    return 0;
}
