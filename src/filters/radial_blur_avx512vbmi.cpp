// RadialBlurMask row kernel for AVX-512 VBMI: the AVX-512 kernel with the
// neighbours of its eight lanes picked from 64-byte row windows by byte
// permutes (see RadialWindowReader) instead of gathered.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "filters/radial_blur_kernels.h"

namespace morvex::filters {

constinit const RadialKernels kRadialKernelsAvx512Vbmi = {
    &RadialRowWindows<simd::avx512vbmi::Isa>};

}  // namespace morvex::filters
