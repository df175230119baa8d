// The blur kernels for AVX2: two pixels (or eight mask elements) per vector.
#include "blur/gaussian_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::blur {

using simd::avx2::Isa;

constinit const ImageKernels kImageSingleKernelsAvx2 = MakeImageSingleKernels<Isa, 4, 8>();
constinit const ImageKernels kImageDoubleKernelsAvx2 = MakeImageDoubleKernels<Isa, 4, 8>();
constinit const MaskKernels kMaskKernelsAvx2 = MakeMaskKernels<Isa, 2, 4>();

}  // namespace morvex::blur
