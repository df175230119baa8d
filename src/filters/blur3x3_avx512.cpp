// Blur3x3 row kernel for AVX-512: sixteen pixels per vector.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "filters/blur3x3_kernels.h"

namespace morvex::filters {

constinit const Blur3x3Kernels kBlur3x3KernelsAvx512 = {&Blur3x3Row<simd::avx512::Isa>};

}  // namespace morvex::filters
