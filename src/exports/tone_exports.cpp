// Entry points of the tone family.
#include "exports/entry.h"
#include "frame/plane.h"
#include "tone/desaturate.h"
#include "tone/histogram.h"
#include "tone/hsl.h"

using namespace morvex;

MORVEX_ENTRY uint8_t MORVEX_CALL Desaturate(uint8_t* image, int32_t stride, int32_t width,
                                            int32_t height, uint32_t alsoAlpha) {
  tone::Desaturate({image, stride}, width, height, LowByteSet(alsoAlpha));
  return 1;
}

MORVEX_ENTRY int32_t MORVEX_CALL Histogram(const uint8_t* image, int32_t stride, int32_t width,
                                           int32_t height, int32_t* redCounts, int32_t* greenCounts,
                                           int32_t* blueCounts, int32_t* lumaCounts) {
  // The counter arrays carry no alignment promise: they are reached as bytes.
  return tone::Histogram({image, stride}, width, height, reinterpret_cast<Byte*>(redCounts),
                         reinterpret_cast<Byte*>(greenCounts), reinterpret_cast<Byte*>(blueCounts),
                         reinterpret_cast<Byte*>(lumaCounts));
}

MORVEX_ENTRY uint8_t MORVEX_CALL HslScaleOffset(uint8_t* image, int32_t stride, int32_t width,
                                                int32_t height, double hueScale,
                                                double saturationScale, double lightnessScale,
                                                double hueOffset, double saturationOffset,
                                                double lightnessOffset) {
  const tone::HslAdjustment adj{hueScale,  saturationScale,  lightnessScale,
                                hueOffset, saturationOffset, lightnessOffset};
  tone::HslScaleOffset({image, stride}, width, height, adj);
  return 1;
}
