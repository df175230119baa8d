// Multiply kernels for the SSE2 baseline.
#include "blend/multiply_kernels.h"
#include "blend/simd_sse2.h"

namespace morvex::blend {

const MultiplyKernels kMultiplyKernelsSse2 = MakeMultiplyKernels<sse2::Isa>();

}  // namespace morvex::blend
