#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "tone/hsl_kernels.h"

namespace morvex::tone {

constinit const HslKernels kHslKernelsAvx512 = MakeHslKernels<simd::avx512::Isa>();

}  // namespace morvex::tone
