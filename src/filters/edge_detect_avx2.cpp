// EdgeDetect row kernels for AVX2: eight pixels per vector.
#include "filters/edge_detect_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::filters {

constinit const EdgeKernels kEdgeKernelsAvx2 = MakeEdgeKernels<simd::avx2::Isa>();

}  // namespace morvex::filters
