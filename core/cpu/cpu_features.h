// Instruction-set extensions the fast paths need, asked of the processor
// once. Builds for other processors answer false, and the portable code runs.
#pragma once

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#define TAVOMIR_X86_EXTENSIONS 1
// Helpers inlined into an entry point of the same features.
#define TAVOMIR_X86_HELPER(features) __attribute__((target(features)))
// Entry points.
#if defined(__i386__)
// 32-bit callers keep the stack only 4-byte aligned; vector spills need 16.
#define TAVOMIR_X86_TARGET(features) __attribute__((target(features), force_align_arg_pointer))
#else
#define TAVOMIR_X86_TARGET(features) __attribute__((target(features)))
#endif
#endif

// SSSE3 (byte shuffles).
bool CpuHasSsse3();
// SHA-1's instructions, with the SSSE3 and SSE4.1 they are used beside.
bool CpuHasSha1Extensions();
