#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "tone/histogram_kernels.h"

namespace morvex::tone {

constinit const HistogramKernels kHistogramKernelsAvx512 = MakeHistogramKernels<simd::avx512::Isa>();

}  // namespace morvex::tone
