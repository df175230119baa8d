// Tone operations on images (Desaturate, HslScaleOffset, Histogram).
#include <algorithm>

#include "core/font.h"
#include "core/image.h"
#include <utility>

#include "core/ops.h"
#include "core/parallel.h"
#include "morvex/native.h"

namespace morvex::cli {

Image DesaturateImage(Image image, bool alsoAlpha) {
  Image out = std::move(image);
  Desaturate(out.pixels.data(), out.stride(), out.width, out.height, alsoAlpha ? 1u : 0u);
  return out;
}

Image AdjustHsl(Image image, const HslAdjust& a) {
  Image out = std::move(image);
  // Every pixel on its own: bands of rows on every thread give the same bytes.
  ParallelRows(out.height, [&](std::int32_t first, std::int32_t end) {
    HslScaleOffset(out.Row(first), out.stride(), out.width, end - first, a.hueScale,
                   a.saturationScale, a.lightnessScale, a.hueOffset, a.saturationOffset,
                   a.lightnessOffset);
  });
  return out;
}

Image AdjustHslClamped(Image image, const HslAdjust& a) {
  Image out = std::move(image);
  const double hueOffset = CentredHueOffset(a.hueScale, a.hueOffset);
  // Kind 0 keeps the requested scale and offset, 1 sets the component to 0, 2 to 1.
  auto kind = [](double v) { return v > 1 ? 2 : v < 0 ? 1 : 0; };
  const double scale[3][2] = {{a.saturationScale, a.lightnessScale}, {0, 0}, {0, 0}};
  const double offset[3][2] = {{a.saturationOffset, a.lightnessOffset}, {0, 0}, {1, 1}};
  // Rows on their own, in bands on every thread.
  ParallelRows(out.height, [&](std::int32_t first, std::int32_t last) {
    for (std::int32_t y = first; y < last; ++y) {
      std::uint8_t* row = out.Row(y);
      std::int32_t start = 0;
      int runKind = -1;
      auto flush = [&](std::int32_t end) {
        if (runKind < 0 || end == start) return;
        const int sk = runKind / 3, lk = runKind % 3;
        HslScaleOffset(row + std::size_t(start) * 4, out.stride(), end - start, 1, a.hueScale,
                       scale[sk][0], scale[lk][1], hueOffset, offset[sk][0], offset[lk][1]);
      };
      for (std::int32_t x = 0; x < out.width; ++x) {
        double s, l;
        PixelSaturationLightness(row + std::size_t(x) * 4, &s, &l);
        const int k = kind(s * a.saturationScale + a.saturationOffset) * 3 +
                      kind(l * a.lightnessScale + a.lightnessOffset);
        if (k != runKind) {
          flush(x);
          start = x;
          runKind = k;
        }
      }
      flush(out.width);
    }
  });
  return out;
}

HistogramCounts CountHistogram(const Image& image) {
  HistogramCounts counts;
  counts.peak = Histogram(image.pixels.data(), image.stride(), image.width, image.height,
                          counts.red, counts.green, counts.blue, counts.luma);
  return counts;
}

Image PlotHistogram(const HistogramCounts& counts, std::int32_t kBar, std::int32_t kPanel) {
  constexpr std::int32_t kGap = 4;
  const std::int32_t* series[4] = {counts.red, counts.green, counts.blue, counts.luma};
  static const std::uint8_t kColors[4][3] = {
      {220, 50, 50}, {50, 190, 70}, {60, 90, 230}, {200, 200, 200}};
  static const char* const kNames[4] = {"RED", "GREEN", "BLUE", "LUMA"};
  Image plot(256 * kBar, 4 * kPanel + 3 * kGap);
  for (std::size_t i = 0; i < plot.pixels.size(); i += 4) {
    plot.pixels[i] = plot.pixels[i + 1] = plot.pixels[i + 2] = 24;
    plot.pixels[i + 3] = 255;
  }
  for (int s = 0; s < 4; ++s) {
    const std::int32_t bottom = s * (kPanel + kGap) + kPanel;
    for (int v = 0; v < 256; ++v) {
      const std::int64_t count = series[s][v];
      const std::int32_t height =
          counts.peak > 0
              ? static_cast<std::int32_t>((count * kPanel + counts.peak / 2) / counts.peak)
              : 0;
      for (std::int32_t y = bottom - height; y < bottom; ++y)
        for (std::int32_t x = v * kBar; x < (v + 1) * kBar; ++x) {
          std::uint8_t* p = plot.At(x, y);
          p[0] = kColors[s][2];
          p[1] = kColors[s][1];
          p[2] = kColors[s][0];
        }
    }
    const std::uint8_t white[3] = {255, 255, 255};
    DrawText(plot, 4, s * (kPanel + kGap) + 4, kNames[s], white, 1);
  }
  return plot;
}

}  // namespace morvex::cli
