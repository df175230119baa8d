// RadialBlurMask row kernel for AVX-512: eight elements per group, one per double lane.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "filters/radial_blur_kernels.h"

namespace morvex::filters {

constinit const RadialKernels kRadialKernelsAvx512 = {&RadialRow<simd::avx512::Isa>};

}  // namespace morvex::filters
