// Lookup-table kernels for AVX2: the clamp to alpha of LutWithAlphaClamp on
// eight pixels at a time. The other operations take the SSE2 kernels: AVX2's
// 32-bit gathers measure slower than their scalar table loads, and the loads
// dominate every kernel here.
#include "frame/simd/avx2.h"
#include "pixel/lut_kernels.h"

namespace morvex::pixel {

constinit const LutKernels kLutWithAlphaClampKernelsAvx2 = {&LutThenClampRow<simd::avx2::Isa>, LutForm::kSplit};

}  // namespace morvex::pixel
