// Reference versions of the mask and geometry exports: slow, one element at
// a time, in the order and precision the arithmetic is defined in. They take
// the same arguments as the exports and write the same host memory, so a test
// can run both on twin planes and compare every byte.
#pragma once

#include <cstdint>

namespace morvex::oracle {

// The 1024 noise levels from low to high.
void FillRamp(float* out, std::int32_t count, float low, float high);

std::uint8_t GenerateNoiseMask(float* dst, std::int32_t dstStride, std::int32_t width,
                               std::int32_t height, float low, float high, std::uint32_t seed);

std::uint8_t MultiplyMasks(float* dst, std::int32_t dstStride, const float* src,
                           std::int32_t srcStride, std::int32_t width, std::int32_t height);

std::uint8_t ScaleMask(float* dst, std::int32_t dstStride, std::int32_t dstWidth,
                       std::int32_t dstHeight, float dstRectX, float dstRectY, float dstRectWidth,
                       float dstRectHeight, const float* src, std::int32_t srcStride,
                       std::int32_t srcWidth, std::int32_t srcHeight, float srcRectX,
                       float srcRectY, float srcRectWidth, float srcRectHeight, std::int32_t mode,
                       float amount);

std::uint8_t Shear(const std::uint8_t* src, std::int32_t srcStride, std::int32_t srcWidth,
                   std::int32_t srcHeight, std::uint8_t* dst, std::int32_t dstStride,
                   std::int32_t dstWidth, std::int32_t dstHeight, std::uint32_t direction,
                   double factor);

}  // namespace morvex::oracle
