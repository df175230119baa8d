// <immintrin.h> for the AVX-512 kernels; include it first in *_avx512*.cpp.
// Many unmasked AVX-512 intrinsics start from a deliberately undefined
// vector, which GCC reports as (maybe) used uninitialized once inlined;
// those two warnings are off for the rest of such a file.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
