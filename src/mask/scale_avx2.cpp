// ScaleMask kernels, eight elements per step.
#include "frame/simd/avx2.h"
#include "mask/scale_kernels.h"

namespace morvex::mask {

using I = simd::avx2::Isa;
constinit const ScaleKernels kScaleKernelsAvx2 = {I::kBytes / 4, &ScaleSourceRow<I>,
                                                   &ScaleCombineRow<I>};

}  // namespace morvex::mask
