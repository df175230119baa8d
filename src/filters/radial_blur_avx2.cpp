// RadialBlurMask row kernel for AVX2: four elements per group, one per double lane.
#include "filters/radial_blur_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::filters {

constinit const RadialKernels kRadialKernelsAvx2 = {&RadialRow<simd::avx2::Isa>};

}  // namespace morvex::filters
