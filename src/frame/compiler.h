// Compiler attributes shared across the library, and its one inline policy.
#pragma once

// Every function defined in a header that a wide-instruction file
// (*_avx2.cpp, *_avx512.cpp, *_avx512vbmi.cpp) includes is either a template
// over the vector layer's Isa type (each instantiation has its own name) or
// MORVEX_INLINE. Forcing it inline means no out-of-line copy compiled with
// the wide instructions exists, so the linker can never keep such a copy for
// a caller on a narrower path, in optimised and debug builds alike. Such
// headers also avoid out-of-line standard-library helpers (std::min and the
// like) for the same reason; tools/check_isa_leaks.sh checks the objects.
#define MORVEX_INLINE inline __attribute__((always_inline))

// The same for a lambda, written after its parameter list: a kernel's
// per-step lambdas must be inlined into its loops wherever they are used,
// which the optimiser's own judgement does not always do in long kernels
// (an out-of-line step keeps the recursion's state in memory).
#define MORVEX_INLINE_LAMBDA __attribute__((always_inline))

// A function the optimiser must keep out of line and unspecialised, so that
// no floating-point operation inside it can move across a rounding-mode
// change made by its caller.
#if defined(__clang__)
#define MORVEX_OPAQUE_FUNCTION [[gnu::noinline]]
#else
#define MORVEX_OPAQUE_FUNCTION [[gnu::noinline, gnu::noclone]]
#endif
