// Byte-exact copies: whole rows, and single bytes between strided planes.
#pragma once

#include <cstdint>

#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::pixel {

// Copies rowBytes bytes per row for `height` rows; nothing when rowBytes <= 0.
void CopyRows(Rows dst, ConstRows src, std::int64_t rowBytes, std::int32_t height);

// dst[x * dstStep] = src[x * srcStep] for x = 0 .. width - 1, row by row, in
// increasing x (so an overlapping destination sees bytes already written).
void CopyChannel(Rows dst, std::int32_t dstStep, ConstRows src, std::int32_t srcStep,
                 std::int32_t width, std::int32_t height);

// ---- Row kernels ----

// One row of ChannelCopy, byte by byte in increasing x: the definition, and
// the only form for rows whose source and destination overlap.
void ChannelCopyRow(Byte* dst, std::int32_t dstStep, const Byte* src, std::int32_t srcStep,
                    std::int32_t width);

// Fixed-step forms for rows whose source and destination byte ranges do not
// overlap (then the order of the copies cannot matter). Each reads only bytes
// between its first and last source element and writes only the destination
// elements, never the bytes between them (another thread may be writing the
// other channels of the same pixels). width >= 1.
using ChannelCopyRowFn = void (*)(Byte* dst, const Byte* src, std::int32_t width);

// The fixed-step kernels of one instruction set, null where it has none (the
// byte loop serves). Scattered single-byte destinations need byte-masked
// stores to stay off the bytes between the elements, so only AVX-512 has
// the last two.
struct ChannelCopyKernels {
  ChannelCopyRowFn from4To1;  // srcStep 4, dstStep 1: a channel into a mask
  ChannelCopyRowFn from1To4;  // srcStep 1, dstStep 4: a mask into a channel
  ChannelCopyRowFn from4To4;  // srcStep 4, dstStep 4: a channel into a channel
};

extern const ChannelCopyKernels kChannelCopyKernelsSse2;
extern const ChannelCopyKernels kChannelCopyKernelsAvx2;
extern const ChannelCopyKernels kChannelCopyKernelsAvx512;
extern const KernelTable<ChannelCopyKernels> kChannelCopyKernelTable;

// The kernel of `kernels` for this step pair, or nullptr.
ChannelCopyRowFn FixedStepKernel(const ChannelCopyKernels& kernels, std::int32_t dstStep,
                                 std::int32_t srcStep);

// True when the bytes from a row's first to its last element, in the source
// and in the destination, share no byte (steps >= 1, width >= 1).
bool ChannelRowsApart(const Byte* dst, std::int32_t dstStep, const Byte* src,
                      std::int32_t srcStep, std::int32_t width);

}  // namespace morvex::pixel
