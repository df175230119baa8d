// Format conversion kernels for AVX-512: ConvertARGBToARGBFloat only (the
// conversions back to bytes take the AVX2 kernels on these processors). Its
// streaming form pays here: the float plane is four times the size of its
// source, and a plain store first reads every destination line it is about
// to overwrite.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "pixel/conversion_kernels.h"

namespace morvex::pixel {

namespace {
using I = simd::avx512::Isa;
}  // namespace

constinit const ConvertKernels kArgbToArgbFloatKernelsAvx512 = {&ArgbToArgbFloatRow<I, false>, &ArgbToArgbFloatRow<I, true>};

}  // namespace morvex::pixel
