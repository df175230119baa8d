// Byte-exact copies: whole rows, and single bytes between strided planes.
#pragma once

#include <cstdint>

#include "frame/plane.h"

namespace morvex::pixel {

// Copies rowBytes bytes per row for `height` rows; nothing when rowBytes <= 0.
void CopyRows(Rows dst, ConstRows src, std::int64_t rowBytes, std::int32_t height);

// dst[x * dstStep] = src[x * srcStep] for x = 0 .. width - 1, row by row, in
// increasing x (so an overlapping destination sees bytes already written).
void CopyChannel(Rows dst, std::int32_t dstStep, ConstRows src, std::int32_t srcStep,
                 std::int32_t width, std::int32_t height);

}  // namespace morvex::pixel
