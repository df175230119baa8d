// Blend kernels for the SSE2 baseline.
#include "blend/blend_kernels.h"
#include "blend/simd_sse2.h"

namespace morvex::blend {

const BlendKernels kBlendKernelsSse2 = MakeBlendKernels<sse2::Isa, LutWeightsByPixel<sse2::Isa>>();

}  // namespace morvex::blend
