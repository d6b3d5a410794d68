# uint32_t BrixNativeCall(const void* fn, const uint32_t* words,
#                         uint32_t count, int callerCleans)   (cdecl)
# The words are pushed last to first so the first lies at the lowest
# address. EBX keeps the stack pointer from before the pushes, so the stack
# is right after the call whichever convention the callee really used.
        .text
        .globl  _BrixNativeCall
        .def    _BrixNativeCall; .scl 2; .type 32; .endef
        .p2align 4
_BrixNativeCall:
        .cfi_startproc
        pushl   %ebp
        .cfi_def_cfa_offset 8
        .cfi_offset %ebp, -8
        movl    %esp, %ebp
        .cfi_def_cfa_register %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        .cfi_offset %ebx, -12
        .cfi_offset %esi, -16
        .cfi_offset %edi, -20
        movl    %esp, %ebx              # stack pointer to come back to

        movl    12(%ebp), %esi          # words
        movl    16(%ebp), %ecx          # count

        # Leave ESP 16-aligned once the padding and all words are pushed
        # (SSE-using callees).
        leal    16(,%ecx,4), %eax
        subl    %eax, %esp
        andl    $-16, %esp
        addl    %eax, %esp

        # Four zero words above the arguments: a callee given fewer words
        # than it reads sees null arguments, not our saved registers.
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0

        testl   %ecx, %ecx
        jz      2f
1:      pushl   -4(%esi,%ecx,4)
        decl    %ecx
        jnz     1b
2:      call    *8(%ebp)

        # cdecl: the caller removes the words; stdcall: the callee already did.
        cmpl    $0, 20(%ebp)
        je      3f
        movl    16(%ebp), %ecx
        leal    (%esp,%ecx,4), %esp
3:      movl    %ebx, %esp              # also drops the alignment padding

        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        .cfi_def_cfa %esp, 4
        ret
        .cfi_endproc
