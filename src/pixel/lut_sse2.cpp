// Lookup-table kernels for the SSE2 baseline. SSE2 has no gather, so the
// lookups stay scalar loads; the vector unit takes over the work around them
// (the alpha clamp, the channel sums). Lut itself is LutRowSplit.
#include "frame/simd/sse2.h"
#include "pixel/lut_kernels.h"

namespace morvex::pixel {

namespace {
using I = simd::sse2::Isa;
}  // namespace

constinit const LutKernels kLutKernelsSse2 = {&LutRowSplit, LutForm::kSplit};
constinit const LutKernels kLutWithAlphaClampKernelsSse2 = {&LutThenClampRow<I>, LutForm::kSplit};
constinit const LutKernels kChannelMapKernelsSse2 = {&ChannelMapRow<I, PixelLookups<I>>};
constinit const LutKernels kChannelMergeKernelsSse2 = {&ChannelMergeRow<I, PixelLookups<I>>};

}  // namespace morvex::pixel
