#include "frame/simd/sse2.h"  // first: it includes the intrinsics
#include "tone/histogram_kernels.h"

namespace morvex::tone {

constinit const HistogramKernels kHistogramKernelsSse2 = MakeHistogramKernels<simd::sse2::Isa>();

}  // namespace morvex::tone
