// EdgeDetect row kernels for SSE2: four pixels per vector.
#include "filters/edge_detect_kernels.h"
#include "frame/simd/sse2.h"

namespace morvex::filters {

constinit const EdgeKernels kEdgeKernelsSse2 = MakeEdgeKernels<simd::sse2::Isa>();

}  // namespace morvex::filters
