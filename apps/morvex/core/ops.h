// The tool's image operations: each calls the library's exports on Image
// planes and throws CliError when the library refuses. The subcommands and
// the demo share them, so both give exactly the pixels of the same calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/progress.h"
#include "core/tables.h"

namespace morvex::cli {

// Throws "EXPORT refused the call (WHY)" when `result` is 0.
void RequireDone(std::uint8_t result, const char* exportName, const std::string& why);

// Channel names as the library numbers them: blue 0, green 1, red 2, alpha 3.
extern const char* const kChannelNames[4];

// Rows in reverse order (BitmapCopy with a negative source stride).
Image FlipVertical(const Image& image);
// Copies channel `from` of every pixel into channel `to` (ChannelCopy).
Image CopyChannel(Image image, int from, int to);
// Copies channel `from` of `source` into channel `to` of a copy of `image`
// (same size).
Image CopyChannelFrom(Image image, int to, const Image& source, int from);
// Copies `tile` into `canvas` with its top-left corner at (x, y); the tile
// must lie inside the canvas (BitmapCopy).
void Place(Image& canvas, const Image& tile, std::int32_t x, std::int32_t y);

// ---- Lookup tables and conversions ----
// Lut, or LutWithAlphaClamp when `clampToAlpha` (colour limited to the new alpha).
Image ApplyTable(Image image, const ChannelTable& table, bool clampToAlpha);
// What drives a gradient map: one channel (0..3), or a sum of channels.
enum class MapSource { kBlue, kGreen, kRed, kAlpha, kLuma, kSumColor, kSumAll };
// ChannelMapEx for one channel, Desaturate then ChannelMap for luminance,
// ChannelMergeLut for sums.
Image GradientMap(const Image& image, MapSource source, const PixelTable& table);

// A float mask, one float per element, rows packed.
struct FloatMask {
  std::int32_t width = 0, height = 0;
  std::vector<float> values;
  FloatMask() = default;
  FloatMask(std::int32_t w, std::int32_t h) : width(w), height(h), values(std::size_t(w) * h) {}
  std::int32_t stride() const { return width * 4; }
};
// One channel as a mask of its byte values 0..255.
FloatMask ChannelToMask(const Image& image, int channel);
// The mask as grey pixels (v, v, v, v), values rounded and clamped to
// 0..255; with `opaque` the alpha becomes 255, giving opaque grey.
Image MaskToGray(const FloatMask& mask, bool opaque);

// ---- Blending and compositing ----
// Composite of `overlay` placed with its top-left corner at (x, y) of `base`,
// over the part where they overlap. Modes: 1 normal, 3 add, 4 multiply,
// 5 overlay, 6 screen, 7 average.
Image CompositeImages(Image base, const Image& overlay, std::int32_t x, std::int32_t y,
                      int mode, double opacity);
// Blend with `amount` of `other` (dstWeight 1 - amount); equal sizes.
Image BlendImages(Image base, const Image& other, double amount);
// MaskedBlend (optionally through `weightTable`) or, with `fade`,
// MaskedFade; `weights` from LoadStraight; equal sizes.
Image MaskedBlendImages(Image base, const Image& other, const Image& weights, bool fade,
                        const ChannelTable* weightTable);
Image MultiplyImage(Image image, double factor);
// MaskMultiply with mask channel `maskChannel` (-1: each channel by its own),
// or, with `dstChannel` 0..3, MultiplyChannel on that channel alone.
Image MaskMultiplyImage(Image image, const Image& weights, int dstChannel, int maskChannel,
                        double scale, double offset);
// On a float copy: colours above clip * 255 become the alpha or restoreMin *
// 255, whichever is higher; `focusPrep` calls the twin export instead.
Image ClipRestoreImage(const Image& image, double clip, double restoreMin, bool focusPrep);

// ---- Masks and geometry ----
FloatMask NoiseMask(std::int32_t width, std::int32_t height, float low, float high,
                    std::uint32_t seed);
// mask = mask * factor, element by element.
void MultiplyMaskBy(FloatMask& mask, const FloatMask& factor);
struct MaskRect {
  float x, y, width, height;
};
// ScaleMask of `from` (rectangle `fromRect`) onto `onto` (rectangle
// `toRect`); mode 0 replace, 1 blend by `amount`, 2 multiply.
void ScaleMaskOnto(FloatMask& onto, const MaskRect& toRect, const FloatMask& from,
                   const MaskRect& fromRect, int mode, float amount);
// Directions: 0 columns from the last row, 1 rows from the right, 2 rows
// from the left, 3 columns from the first row. The result is as large as the
// sheared extent: ceil(length + |factor| * (lines - 1)) along the shear.
Image ShearImage(const Image& image, int direction, double factor);

// ---- Tone ----
// Colour replaced by luminance (and alpha too when `alsoAlpha`).
Image DesaturateImage(Image image, bool alsoAlpha);
struct HslAdjust {
  double hueScale = 1, saturationScale = 1, lightnessScale = 1;
  double hueOffset = 0, saturationOffset = 0, lightnessOffset = 0;  // hue in turns (0..1)
};
// One HslScaleOffset call over the image: saturation and lightness beyond
// 0..1 wrap the channels around, as the library defines.
Image AdjustHsl(Image image, const HslAdjust& adjust);
// (PixelSaturationLightness and CentredHueOffset, in image.h, decide.)
// The same adjustment with saturation and lightness limited to 0..1: pixels
// whose new saturation (lightness) would leave that range get the call with
// that component set to 0 or 1 (scale 0, offset 0 or 1) instead, found per
// pixel beforehand, so every pixel still gets the library's own arithmetic.
// The hue offset is centred as above. Calls are made per run of pixels of one
// kind along each row.
Image AdjustHslClamped(Image image, const HslAdjust& adjust);
struct HistogramCounts {
  std::int32_t red[256], green[256], blue[256], luma[256];
  std::int32_t peak;
};
HistogramCounts CountHistogram(const Image& image);
// Four bar charts (red, green, blue, luminance) scaled to the peak count,
// each `panelHeight` pixels high with bars `barWidth` pixels wide.
Image PlotHistogram(const HistogramCounts& counts, std::int32_t barWidth, std::int32_t panelHeight);

// ---- Gaussian blur ----
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
// GaussianBlur on the 8-bit image, or (float) on a float copy of it. A sigma
// of 0 leaves its direction unblurred (one call per row or column then, as
// the export always blurs both ways). Each call is named to `progress`,
// when given, as it starts.
Image BlurImage(Image image, const BlurSigmas& sigmas, bool floatPrecision,
                Progress* progress = nullptr);
// The same on the library's float pixels (ArgbFloatImage, packed rows).
void BlurFloatPixels(std::vector<float>& pixels, std::int32_t width, std::int32_t height,
                     const BlurSigmas& sigmas, Progress* progress = nullptr);
// GaussianBlurMask on one channel of every pixel, result * scale + offset.
Image BlurChannel(Image image, int channel, const BlurSigmas& sigmas, double scale,
                  double offset);

// ---- Local and radial filters ----
Image Blur3x3Image(const Image& image, int passes, Progress* progress = nullptr);
Image DetectEdges(const Image& image, bool gray, double threshold);
struct RadialBlur {
  double centerX = 0, centerY = 0, scaleX = 1.1, scaleY = 1.1, gain = 1;
};
// The mean number of samples RadialBlurMask takes per element of a
// width x height plane (its work is proportional to it), and the tool's limit.
double RadialSamplesPerElement(std::int32_t width, std::int32_t height, const RadialBlur& blur);
constexpr double kRadialSampleLimit = 256;
// RadialBlurMask on the channels whose bits (1 blue, 2 green, 4 red, 8
// alpha) are set; the others are copied.
// Each channel's call is named to `progress`, when given, as it starts.
Image RadialBlurImage(const Image& image, const RadialBlur& blur, unsigned channels,
                      Progress* progress = nullptr);

}  // namespace morvex::cli
