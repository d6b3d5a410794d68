# uintptr_t BrixNativeCall(const void* fn, const uintptr_t* words,
#                          size_t count, int callerCleans)
# Windows x64: fn in RCX, words in RDX, count in R8, flag in R9 (unused).
# RSI and RDI are callee-saved here; RBP anchors the frame so the unwinder
# can step over the variable-sized argument area.
        .text
        .globl  BrixNativeCall
        .def    BrixNativeCall; .scl 2; .type 32; .endef
        .p2align 4
BrixNativeCall:
        .seh_proc BrixNativeCall
        pushq   %rbp
        .seh_pushreg %rbp
        pushq   %rsi
        .seh_pushreg %rsi
        pushq   %rdi
        .seh_pushreg %rdi
        movq    %rsp, %rbp
        .seh_setframe %rbp, 0
        .seh_endprologue

        movq    %rcx, %r10              # fn
        movq    %rdx, %rsi              # words
        movq    %r8, %rcx               # count

        # Argument area: one slot per word, at least the four register slots
        # (the shadow area), rounded up to 16 bytes; RSP 16-aligned at the call.
        movq    %rcx, %rax
        cmpq    $4, %rax
        jae     1f
        movq    $4, %rax
1:      shlq    $3, %rax
        addq    $15, %rax
        andq    $-16, %rax
        subq    %rax, %rsp
        andq    $-16, %rsp

        # The four register slots start at zero: a callee given fewer words
        # than it reads sees null arguments, not what the stack held.
        xorl    %eax, %eax
        movq    %rax, 0(%rsp)
        movq    %rax, 8(%rsp)
        movq    %rax, 16(%rsp)
        movq    %rax, 24(%rsp)

        # Word i goes to slot i: slots 0-3 are the shadow area of the register
        # arguments, slot 4 onward the stack arguments.
        movq    %rsp, %rdi
        cld
        rep movsq

        movq    0(%rsp), %rcx
        movq    8(%rsp), %rdx
        movq    16(%rsp), %r8
        movq    24(%rsp), %r9
        movq    %rcx, %xmm0
        movq    %rdx, %xmm1
        movq    %r8, %xmm2
        movq    %r9, %xmm3
        callq   *%r10

        leaq    0(%rbp), %rsp
        popq    %rdi
        popq    %rsi
        popq    %rbp
        retq
        .seh_endproc
