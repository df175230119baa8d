// A slow, literal reference for the two Gaussian blur exports: one value at a
// time, every rounding where the arithmetic puts it. The randomized tests
// compare the exports with it bit for bit.
#pragma once

#include <cstdint>
#include <string>

namespace morvex::test::oracle {

struct Coefficients {
  float B, b1, b2, b3;
};

// The sigma clamp and the coefficient formulas, evaluated in the thread's
// current floating-point state.
float ClampSigma(double value);
float GaussianQ(float sigma);
Coefficients GaussianCoefficients(float sigma);

struct Outcome {
  std::uint8_t result = 0;
  std::string diagnostic;  // the refusal line, empty when none was written
};

// GaussianBlur. `vectorPath` is the path the export picks from the SSE2
// feature flag: single-precision arithmetic under the caller's rounding with
// flush-to-zero, otherwise double arithmetic in round-to-nearest.
Outcome GaussianBlur(std::uint8_t* pixels, std::int32_t stride, std::int32_t format,
                     std::int32_t width, std::int32_t height, float* temp, std::int32_t tempBytes,
                     double sigmaHorizontal, double sigmaVertical, const double* rowSigmas,
                     const double* columnSigmas, bool vectorPath);

Outcome GaussianBlurMask(std::uint8_t* mask, std::int32_t stride, std::int32_t format,
                         std::int32_t width, std::int32_t height, float* temp,
                         std::int32_t tempBytes, double sigmaHorizontal, double sigmaVertical,
                         double outputScale, double outputOffset, const double* rowSigmas,
                         const double* columnSigmas);

}  // namespace morvex::test::oracle
