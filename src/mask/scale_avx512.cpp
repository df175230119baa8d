// ScaleMask kernels, sixteen elements per step.
#include "frame/simd/avx512.h"
#include "mask/scale_kernels.h"

namespace morvex::mask {

using I = simd::avx512::Isa;
constinit const ScaleKernels kScaleKernelsAvx512 = {I::kBytes / 4, &ScaleSourceRow<I>,
                                                   &ScaleCombineRow<I>};

}  // namespace morvex::mask
