// The tool's image operations: each calls the library's exports on Image
// planes and throws CliError when the library refuses. The subcommands and
// the demo share them, so both give exactly the pixels of the same calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace morvex::cli {

// Throws "EXPORT refused the call (WHY)" when `result` is 0.
void RequireDone(std::uint8_t result, const char* exportName, const std::string& why);

// Channel names as the library numbers them: blue 0, green 1, red 2, alpha 3.
extern const char* const kChannelNames[4];

// Rows in reverse order (BitmapCopy with a negative source stride).
Image FlipVertical(const Image& image);
// Copies channel `from` of every pixel into channel `to` (ChannelCopy).
Image CopyChannel(const Image& image, int from, int to);
// Copies `tile` into `canvas` with its top-left corner at (x, y); the tile
// must lie inside the canvas (BitmapCopy).
void Place(Image& canvas, const Image& tile, std::int32_t x, std::int32_t y);

// ---- Tone ----
#if MORVEX_HAS_Desaturate
// Colour replaced by luminance (and alpha too when `alsoAlpha`).
Image DesaturateImage(const Image& image, bool alsoAlpha);
#endif
#if MORVEX_HAS_HslScaleOffset
struct HslAdjust {
  double hueScale = 1, saturationScale = 1, lightnessScale = 1;
  double hueOffset = 0, saturationOffset = 0, lightnessOffset = 0;  // hue in turns (0..1)
};
Image AdjustHsl(const Image& image, const HslAdjust& adjust);
#endif
#if MORVEX_HAS_Histogram
struct HistogramCounts {
  std::int32_t red[256], green[256], blue[256], luma[256];
  std::int32_t peak;
};
HistogramCounts CountHistogram(const Image& image);
// Four bar charts (red, green, blue, luminance) scaled to the peak count,
// each `panelHeight` pixels high with bars `barWidth` pixels wide.
Image PlotHistogram(const HistogramCounts& counts, std::int32_t barWidth,
                    std::int32_t panelHeight);
#endif

// ---- Gaussian blur ----
#if MORVEX_HAS_GaussianBlur
struct BlurSigmas {
  double x = 2, y = 2;
  // When set, the horizontal sigma of each row runs linearly from the first
  // value (top row) to the second (bottom row); likewise the vertical sigma of
  // each column from left to right.
  bool rowRamp = false, columnRamp = false;
  double rowFrom = 0, rowTo = 0, columnFrom = 0, columnTo = 0;
};
// The per-row or per-column sigmas of a ramp (empty when `on` is false).
std::vector<double> SigmaRamp(bool on, double from, double to, std::int32_t count);
// GaussianBlur on the 8-bit image, or (float) on a float copy of it.
Image BlurImage(const Image& image, const BlurSigmas& sigmas, bool floatPrecision);
#endif
#if MORVEX_HAS_GaussianBlurMask
// GaussianBlurMask on one channel of every pixel, result * scale + offset.
Image BlurChannel(const Image& image, int channel, const BlurSigmas& sigmas, double scale,
                  double offset);
#endif

// ---- Local and radial filters ----
#if MORVEX_HAS_Blur3x3
Image Blur3x3Image(const Image& image, int passes);
#endif
#if MORVEX_HAS_EdgeDetect
Image DetectEdges(const Image& image, bool gray, double threshold);
#endif
#if MORVEX_HAS_RadialBlurMask
struct RadialBlur {
  double centerX = 0, centerY = 0, scaleX = 1.1, scaleY = 1.1, gain = 1;
};
// RadialBlurMask on the channels whose bits (1 blue, 2 green, 4 red, 8
// alpha) are set; the others are copied.
Image RadialBlurImage(const Image& image, const RadialBlur& blur, unsigned channels);
#endif

}  // namespace morvex::cli
