#pragma once
// The raw call of an export with a variable number of word arguments.
#include <cstddef>
#include <cstdint>

namespace brix::objects {

// Most words one call passes; a script asking for more gets a script error
// before anything is called.
inline constexpr size_t kMaxNativeArgs = 64;

extern "C" {
// Calls fn with words[0..count) as its arguments and returns its integer
// result register (EAX on i686, RAX on x86_64).
//  i686: the words are pushed last to first; callerCleans set removes them
//        after the return (cdecl), clear leaves that to the callee (stdcall).
//        The stack pointer is restored from a saved register either way, so
//        a wrong flag or argument count cannot unbalance it; four zero words
//        lie above the arguments for a callee that reads more than it got.
//  x86_64: the Windows x64 convention; the first four words go in RCX, RDX,
//        R8, R9 (mirrored in XMM0-3), the rest on the stack above the 32-byte
//        shadow area; register arguments not given are zero. callerCleans
//        has no effect.
uintptr_t BrixNativeCall(const void* fn, const uintptr_t* words, size_t count, int callerCleans);
}

}  // namespace brix::objects
