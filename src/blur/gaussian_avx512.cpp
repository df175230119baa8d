// The blur kernels for AVX-512: four pixels (or sixteen mask elements, eight
// double lanes per half) per vector.
#include "frame/simd/avx512.h"  // first
#include "blur/gaussian_kernels.h"

namespace morvex::blur {

using simd::avx512::Isa;

constinit const ImageKernels kImageSingleKernelsAvx512 = MakeImageSingleKernels<Isa, 4, 8>();
constinit const ImageKernels kImageDoubleKernelsAvx512 = MakeImageDoubleKernels<Isa, 4, 8>();
constinit const MaskKernels kMaskKernelsAvx512 = MakeMaskKernels<Isa, 4, 4>();

}  // namespace morvex::blur
