#include "frame/simd/sse2.h"  // first: it includes the intrinsics
#include "tone/hsl_kernels.h"

namespace morvex::tone {

constinit const HslKernels kHslKernelsSse2 = MakeHslKernels<simd::sse2::Isa>();

}  // namespace morvex::tone
