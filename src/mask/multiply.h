// Element-wise product of two float masks, in place on the first.
#pragma once

#include <cstdint>

#include "frame/compiler.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::mask {

// d = s * d, rounded to single. The product of two singles is exact in
// double, so the single multiplication rounds it exactly once.
MORVEX_INLINE float MaskProduct(float s, float d) { return s * d; }

// dst[x] = MaskProduct(src[x], dst[x]) for x = 0 .. count-1 (unaligned rows).
using MultiplyRowFn = void (*)(Byte* dst, const Byte* src, std::int32_t count);
void MultiplyMaskRowScalar(Byte* dst, const Byte* src, std::int32_t count);

struct MultiplyMaskKernels {
  MultiplyRowFn row;
};
extern const MultiplyMaskKernels kMultiplyMaskKernelsScalar;
extern const MultiplyMaskKernels kMultiplyMaskKernelsSse2;
extern const MultiplyMaskKernels kMultiplyMaskKernelsAvx2;
extern const MultiplyMaskKernels kMultiplyMaskKernelsAvx512;
extern const KernelTable<MultiplyMaskKernels> kMultiplyMaskKernelTable;

// Bytes by which a vector row kernel may read ahead of its writes. A factor
// row that starts less than this far below its destination row would see
// products the sequential order has not written yet, so such rows run scalar.
inline constexpr std::int64_t kMultiplyReadAhead = 64;

void MultiplyMaskPlanes(Rows dst, ConstRows src, std::int32_t width, std::int32_t height);

}  // namespace morvex::mask
