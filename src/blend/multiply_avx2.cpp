// Multiply kernels for AVX2: eight pixels per step.
#include "blend/multiply_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::blend {

constinit const MultiplyKernels kMultiplyKernelsAvx2 = MakeMultiplyKernels<simd::avx2::Isa>();

}  // namespace morvex::blend
