// Multiply kernels for the SSE2 baseline.
#include "blend/multiply_kernels.h"
#include "frame/simd/sse2.h"

namespace morvex::blend {

constinit const MultiplyKernels kMultiplyKernelsSse2 = MakeMultiplyKernels<simd::sse2::Isa>();

}  // namespace morvex::blend
