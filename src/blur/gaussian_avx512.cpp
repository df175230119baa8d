// The blur kernels for AVX-512: four pixels (or sixteen mask elements, eight
// double lanes per half) per vector.
#include "frame/simd/avx512.h"  // first
#include "blur/gaussian_kernels.h"

namespace morvex::blur {

using simd::avx512::Isa;

// Eight rows per group for the 8-bit image: their row buffer (128 bytes per
// pixel of a row) stays in a core's L2 at 4096 pixels; sixteen rows measured
// 20% slower there, four slower still (too few recursions in flight). Two
// groups' walks run together on that one buffer (10% faster rows).
constinit const ImageKernels kImageSingleKernelsAvx512 = MakeImageSingleKernels<Isa, 2, 8, true>();
constinit const ImageKernels kImageDoubleKernelsAvx512 = MakeImageDoubleKernels<Isa, 4, 8>();
constinit const MaskKernels kMaskKernelsAvx512 = MakeMaskKernels<Isa, 4, 4>();

}  // namespace morvex::blur
