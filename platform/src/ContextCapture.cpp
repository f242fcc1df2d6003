// RtlCaptureContext: the caller's registers, as if read just after the call returned.
//
// Written without a frame of its own, so that nothing it does disturbs the registers it
// stores; the offsets are the CONTEXT offsets pinned in winnt.h.
#include "winnt.h"

extern "C" __attribute__((naked)) void WINAPI RtlCaptureContext(PCONTEXT) {
  __asm__(
      "movq %rax, 0x78(%rdi)\n\t"
      "movq %rcx, 0x80(%rdi)\n\t"
      "movq %rdx, 0x88(%rdi)\n\t"
      "movq %rbx, 0x90(%rdi)\n\t"
      "leaq 8(%rsp), %rax\n\t"  // the caller's stack pointer once the call has returned
      "movq %rax, 0x98(%rdi)\n\t"
      "movq %rbp, 0xa0(%rdi)\n\t"
      "movq %rsi, 0xa8(%rdi)\n\t"
      "movq %rdi, 0xb0(%rdi)\n\t"
      "movq %r8, 0xb8(%rdi)\n\t"
      "movq %r9, 0xc0(%rdi)\n\t"
      "movq %r10, 0xc8(%rdi)\n\t"
      "movq %r11, 0xd0(%rdi)\n\t"
      "movq %r12, 0xd8(%rdi)\n\t"
      "movq %r13, 0xe0(%rdi)\n\t"
      "movq %r14, 0xe8(%rdi)\n\t"
      "movq %r15, 0xf0(%rdi)\n\t"
      "movq (%rsp), %rax\n\t"  // the return address: where the caller goes on
      "movq %rax, 0xf8(%rdi)\n\t"
      "movw %cs, 0x38(%rdi)\n\t"
      "movw %ds, 0x3a(%rdi)\n\t"
      "movw %es, 0x3c(%rdi)\n\t"
      "movw %fs, 0x3e(%rdi)\n\t"
      "movw %gs, 0x40(%rdi)\n\t"
      "movw %ss, 0x42(%rdi)\n\t"
      "pushfq\n\t"
      "popq %rax\n\t"
      "movl %eax, 0x44(%rdi)\n\t"
      "stmxcsr 0x34(%rdi)\n\t"
      "fxsave 0x100(%rdi)\n\t"
      "movl $0x0010000B, 0x30(%rdi)\n\t"  // CONTEXT_FULL
      "movq 0x78(%rdi), %rax\n\t"
      "ret\n\t");
}
