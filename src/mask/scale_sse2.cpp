// ScaleMask kernels, four elements per step.
#include "frame/simd/sse2.h"
#include "mask/scale_kernels.h"

namespace morvex::mask {

using I = simd::sse2::Isa;
constinit const ScaleKernels kScaleKernelsSse2 = {I::kBytes / 4, &ScaleSourceRow<I>,
                                                   &ScaleCombineRow<I>};

}  // namespace morvex::mask
