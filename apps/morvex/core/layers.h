// Layers as image editors and browsers lay them (the W3C compositing and
// blending model), built from the library's exports: the mode's result where
// a layer covers the base, mixed by the layer's alpha, then source-over, so
// that transparent parts of a layer leave the base as it was. Inputs are
// straight 8-bit BGRA, as files store them; results are premultiplied.
#pragma once

#include <cstdint>

#include "core/image.h"
#include "core/tables.h"

namespace morvex::cli {

// `layer` with its top-left corner at (x, y) of `base`, in `mode`
// (Composite's numbers: 1 normal, 3 add, 4 multiply, 5 overlay, 6 screen,
// 7 average) with `opacity` 0..1. Per pixel, with Cb, Cs the straight colours
// and ab, as the alphas (as times the opacity):
//   Cs' = (1 - ab) Cs + ab B(Cb, Cs)        Composite on the opaque colours,
//                                           MaskedBlend by ab
//   result = as Cs' + (1 - as) ab Cb        Composite normal (source-over)
// so the result's alpha is as + ab (1 - as): an opaque base stays opaque.
Image CompositeLayer(Image base, const Image& layer, std::int32_t x, std::int32_t y, int mode,
                     double opacity);

// Blend of the colours, straight, with share `amount` of `other` (dstWeight
// 1 - amount), mixed into `base` by other's alpha (MaskedBlend); base's
// alpha is kept. Equal sizes.
Image BlendLayer(const Image& base, const Image& other, double amount);

// MaskedBlend of the straight colours with per-channel shares from `weights`
// (remapped by `weightTable` first, when given), each times the weight
// image's alpha and other's alpha; base's alpha is kept. Equal sizes.
Image MaskedBlendLayer(const Image& base, const Image& other, const Image& weights,
                       const ChannelTable* weightTable);

// A mask's colour samples as weights where the mask covers, and 255 (no
// change) where it is transparent: 255 + (m - 255) * alpha / 255, truncated
// (MaskedBlend onto white). Alpha becomes 255, or stays the mask's alpha
// with `keepAlpha`.
Image CoveredWeights(const Image& weights, bool keepAlpha);

}  // namespace morvex::cli
