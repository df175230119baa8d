// Blend kernels for the SSE2 baseline.
#include "blend/blend_kernels.h"
#include "frame/simd/sse2.h"

namespace morvex::blend {

constinit const BlendKernels kBlendKernelsSse2 = MakeBlendKernels<simd::sse2::Isa, LutWeightsByPixel<simd::sse2::Isa>>();

}  // namespace morvex::blend
