// Entry points of the Gaussian blur family.
#include "blur/gaussian.h"
#include "exports/entry.h"

using namespace morvex;

MORVEX_ENTRY uint8_t MORVEX_CALL GaussianBlur(uint8_t* pixels, int32_t stride, int32_t format,
                                              int32_t width, int32_t height, float* temp,
                                              int32_t tempBytes, double sigmaHorizontal,
                                              double sigmaVertical, const double* rowSigmas,
                                              const double* columnSigmas) {
  return blur::GaussianBlurImage(pixels, stride, format, width, height,
                                 reinterpret_cast<Byte*>(temp), tempBytes, sigmaHorizontal,
                                 sigmaVertical, reinterpret_cast<const Byte*>(rowSigmas),
                                 reinterpret_cast<const Byte*>(columnSigmas))
             ? 1
             : 0;
}

MORVEX_ENTRY uint8_t MORVEX_CALL GaussianBlurMask(uint8_t* mask, int32_t stride, int32_t format,
                                                  int32_t width, int32_t height, float* temp,
                                                  int32_t tempBytes, double sigmaHorizontal,
                                                  double sigmaVertical, double outputScale,
                                                  double outputOffset, const double* rowSigmas,
                                                  const double* columnSigmas) {
  return blur::GaussianBlurMaskPlane(
             mask, stride, format, width, height, reinterpret_cast<Byte*>(temp), tempBytes,
             sigmaHorizontal, sigmaVertical, outputScale, outputOffset,
             reinterpret_cast<const Byte*>(rowSigmas), reinterpret_cast<const Byte*>(columnSigmas))
             ? 1
             : 0;
}
