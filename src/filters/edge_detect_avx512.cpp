// EdgeDetect row kernels for AVX-512: sixteen pixels per vector.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "filters/edge_detect_kernels.h"

namespace morvex::filters {

constinit const EdgeKernels kEdgeKernelsAvx512 = MakeEdgeKernels<simd::avx512::Isa>();

}  // namespace morvex::filters
