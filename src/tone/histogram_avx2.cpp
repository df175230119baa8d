#include "frame/simd/avx2.h"  // first: it includes the intrinsics
#include "tone/histogram_kernels.h"

namespace morvex::tone {

constinit const HistogramKernels kHistogramKernelsAvx2 = MakeHistogramKernels<simd::avx2::Isa>();

}  // namespace morvex::tone
