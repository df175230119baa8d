// Multiply kernels for AVX-512: sixteen pixels per step.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "blend/multiply_kernels.h"

namespace morvex::blend {

constinit const MultiplyKernels kMultiplyKernelsAvx512 = MakeMultiplyKernels<simd::avx512::Isa>();

}  // namespace morvex::blend
