// Multiply kernels for AVX-512: sixteen pixels per step.
#include "blend/simd_avx512.h"  // first: it includes the intrinsics
#include "blend/multiply_kernels.h"

namespace morvex::blend {

const MultiplyKernels kMultiplyKernelsAvx512 = MakeMultiplyKernels<avx512::Isa>();

}  // namespace morvex::blend
