// Multiply kernels for AVX2: eight pixels per step.
#include "blend/multiply_kernels.h"
#include "blend/simd_avx2.h"

namespace morvex::blend {

const MultiplyKernels kMultiplyKernelsAvx2 = MakeMultiplyKernels<avx2::Isa>();

}  // namespace morvex::blend
