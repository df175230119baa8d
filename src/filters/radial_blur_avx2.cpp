// RadialBlurMask row kernel for AVX2: four elements per group, one per double
// lane, their neighbours picked from 16-byte row windows by byte shuffles
// where the elements lie close (see RadialWindowReader), gathered otherwise.
#include "filters/radial_blur_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::filters {

constinit const RadialKernels kRadialKernelsAvx2 = {&RadialRowWindows<simd::avx2::Isa>};

}  // namespace morvex::filters
