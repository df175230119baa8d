#include "frame/simd/avx2.h"  // first: it includes the intrinsics
#include "tone/hsl_kernels.h"

namespace morvex::tone {

constinit const HslKernels kHslKernelsAvx2 = MakeHslKernels<simd::avx2::Isa>();

}  // namespace morvex::tone
