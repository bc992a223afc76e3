// The first call of a delay-loaded function of one DLL comes here from the function's stub,
// with the address of its import slot in rax and the caller's arguments in place. It asks
// __delayLoadHelper2 to load the DLL and fill the slot, then jumps to the function with
// the arguments as they came: rcx, rdx, r8, r9 and xmm0-xmm3, which the helper may change.
// Assembled once per DLL by tools/make_delay_import_library.sh with IMPORT_NAME set.

#define CONCAT(a, b) a##b
#define JOIN(a, b) CONCAT(a, b)
#define TAIL_MERGE JOIN(__tailMerge_, IMPORT_NAME)
#define DESCRIPTOR JOIN(__DELAY_IMPORT_DESCRIPTOR_, IMPORT_NAME)

  .text
  .globl TAIL_MERGE
  .def TAIL_MERGE; .scl 2; .type 32; .endef
  .seh_proc TAIL_MERGE
TAIL_MERGE:
  // 32 bytes of home space for the call, 4 x 16 for xmm0-xmm3, 4 x 8 for the integer
  // registers, and 8 that align the stack to 16 bytes (it is 8 off on entry).
  subq $0x88, %rsp
  .seh_stackalloc 0x88
  .seh_endprologue
  movdqa %xmm0, 0x20(%rsp)
  movdqa %xmm1, 0x30(%rsp)
  movdqa %xmm2, 0x40(%rsp)
  movdqa %xmm3, 0x50(%rsp)
  movq %rcx, 0x60(%rsp)
  movq %rdx, 0x68(%rsp)
  movq %r8, 0x70(%rsp)
  movq %r9, 0x78(%rsp)
  movq %rax, %rdx
  leaq DESCRIPTOR(%rip), %rcx
  call __delayLoadHelper2
  movdqa 0x20(%rsp), %xmm0
  movdqa 0x30(%rsp), %xmm1
  movdqa 0x40(%rsp), %xmm2
  movdqa 0x50(%rsp), %xmm3
  movq 0x60(%rsp), %rcx
  movq 0x68(%rsp), %rdx
  movq 0x70(%rsp), %r8
  movq 0x78(%rsp), %r9
  addq $0x88, %rsp
  jmp *%rax
  .seh_endproc
