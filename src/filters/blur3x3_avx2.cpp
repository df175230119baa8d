// Blur3x3 row kernel for AVX2: eight pixels per vector.
#include "filters/blur3x3_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::filters {

constinit const Blur3x3Kernels kBlur3x3KernelsAvx2 = {&Blur3x3Row<simd::avx2::Isa>};

}  // namespace morvex::filters
