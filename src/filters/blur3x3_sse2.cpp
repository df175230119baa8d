// Blur3x3 row kernel for SSE2: four pixels per vector.
#include "filters/blur3x3_kernels.h"
#include "frame/simd/sse2.h"

namespace morvex::filters {

constinit const Blur3x3Kernels kBlur3x3KernelsSse2 = {&Blur3x3Row<simd::sse2::Isa>};

}  // namespace morvex::filters
