// Reference versions of the filter exports: slow, one element at a time, in
// the order and precision the arithmetic is defined in. They take the same
// arguments as the exports and write the same host memory, so a test can run
// both on twin planes and compare every byte.
#pragma once

#include <cstdint>

namespace morvex::oracle {

std::uint8_t Blur3x3(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                     std::int32_t srcStride, std::int32_t width, std::int32_t height);

std::uint8_t EdgeDetect(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                        std::int32_t srcStride, std::int32_t width, std::int32_t height,
                        std::uint32_t singleChannel, double threshold);

std::uint8_t RadialBlurMask(std::uint8_t* dst, std::int32_t dstStride, std::int32_t dstStep,
                            const std::uint8_t* src, std::int32_t srcStride, std::int32_t srcStep,
                            std::int32_t width, std::int32_t height, double centerX,
                            double centerY, double scaleX, double scaleY, double gain);

}  // namespace morvex::oracle
