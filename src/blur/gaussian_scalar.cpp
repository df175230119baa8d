// The one-row and one-column definitions, and the plain kernels built on
// them. Channels of a pixel are independent; running the four of them in one
// loop only gives the processor independent work.
#include "blur/gaussian.h"

namespace morvex::blur {
namespace {

inline std::ptrdiff_t At(std::ptrdiff_t index, std::ptrdiff_t step) { return index * step; }

template <int kFormat>
MORVEX_INLINE float ImageInput(const Byte* row, std::ptrdiff_t i, int ch) {
  if constexpr (kFormat == 4) {
    return static_cast<float>(row[At(i, 4) + ch]);
  } else {
    return LoadF32(row + At(i, 16) + ch * 4);
  }
}

// A step with the flush where `flush` says so (double arithmetic only).
template <Arithmetic kArith>
MORVEX_INLINE float Step(const GaussianCoefficients& k, float x, float a, float b, float c,
                              bool flush) {
  if constexpr (kArith == Arithmetic::kSingle) {
    (void)flush;
    return StepSingle(k, x, a, b, c);
  } else {
    const float v = StepDouble(k, x, a, b, c);
    return flush ? FlushSmall(v) : v;
  }
}

template <Arithmetic kArith, int kFormat>
void RowPass(Byte* tempRow, const Byte* imageRow, std::int32_t width,
             const GaussianCoefficients& k) {
  float s1[4], s2[4], s3[4];
  for (int ch = 0; ch < 4; ++ch) s1[ch] = s2[ch] = s3[ch] = ImageInput<kFormat>(imageRow, 0, ch);
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    for (int ch = 0; ch < 4; ++ch) {
      const float w =
          Step<kArith>(k, ImageInput<kFormat>(imageRow, i, ch), s1[ch], s2[ch], s3[ch], true);
      StoreF32(tempRow + At(i, kImageTempBytes) + ch * 4, w);
      s3[ch] = s2[ch];
      s2[ch] = s1[ch];
      s1[ch] = w;
    }
  }
  // The backward recursion starts from the last forward value.
  for (int ch = 0; ch < 4; ++ch) s2[ch] = s3[ch] = s1[ch];
  for (std::ptrdiff_t i = width - 1; i >= 0; --i) {
    for (int ch = 0; ch < 4; ++ch) {
      Byte* p = tempRow + At(i, kImageTempBytes) + ch * 4;
      const float y = Step<kArith>(k, LoadF32(p), s1[ch], s2[ch], s3[ch], true);
      StoreF32(p, y);
      s3[ch] = s2[ch];
      s2[ch] = s1[ch];
      s1[ch] = y;
    }
  }
}

template <Arithmetic kArith, int kFormat>
void ColumnPass(Byte* imageColumn, std::int32_t stride, const Byte* tempColumn,
                std::ptrdiff_t tempPitch, Byte* scratch, std::int32_t height,
                const GaussianCoefficients& k) {
  float s1[4], s2[4], s3[4];
  for (int ch = 0; ch < 4; ++ch) s1[ch] = s2[ch] = s3[ch] = LoadF32(tempColumn + ch * 4);
  for (std::ptrdiff_t r = 0; r < height; ++r) {
    for (int ch = 0; ch < 4; ++ch) {
      const float x = LoadF32(tempColumn + At(r, tempPitch) + ch * 4);
      const float w = Step<kArith>(k, x, s1[ch], s2[ch], s3[ch], true);
      StoreF32(scratch + At(r, kImageTempBytes) + ch * 4, w);
      s3[ch] = s2[ch];
      s2[ch] = s1[ch];
      s1[ch] = w;
    }
  }
  for (int ch = 0; ch < 4; ++ch) s2[ch] = s3[ch] = s1[ch];
  for (std::ptrdiff_t r = height - 1; r >= 0; --r) {
    Byte* out = imageColumn + At(r, stride);
    for (int ch = 0; ch < 4; ++ch) {
      const float w = LoadF32(scratch + At(r, kImageTempBytes) + ch * 4);
      const float y = Step<kArith>(k, w, s1[ch], s2[ch], s3[ch], false);
      if constexpr (kFormat == 4) {
        out[ch] = ImageByte(y);
      } else {
        StoreF32(out + ch * 4, y);
      }
      s3[ch] = s2[ch];
      s2[ch] = s1[ch];
      s1[ch] = y;
    }
  }
}

}  // namespace

void BlurRowPass(Byte* tempRow, const Byte* imageRow, int format, std::int32_t width,
                 const GaussianCoefficients& k, Arithmetic arithmetic) {
  if (width <= 0) return;
  if (arithmetic == Arithmetic::kSingle) {
    if (format == 4)
      RowPass<Arithmetic::kSingle, 4>(tempRow, imageRow, width, k);
    else
      RowPass<Arithmetic::kSingle, 16>(tempRow, imageRow, width, k);
  } else {
    if (format == 4)
      RowPass<Arithmetic::kDouble, 4>(tempRow, imageRow, width, k);
    else
      RowPass<Arithmetic::kDouble, 16>(tempRow, imageRow, width, k);
  }
}

void BlurColumnPass(Byte* imageColumn, std::int32_t stride, int format, const Byte* tempColumn,
                    std::ptrdiff_t tempPitch, Byte* scratch, std::int32_t height,
                    const GaussianCoefficients& k, Arithmetic arithmetic) {
  if (height <= 0) return;
  if (arithmetic == Arithmetic::kSingle) {
    if (format == 4) {
      ColumnPass<Arithmetic::kSingle, 4>(imageColumn, stride, tempColumn, tempPitch, scratch,
                                         height, k);
    } else {
      ColumnPass<Arithmetic::kSingle, 16>(imageColumn, stride, tempColumn, tempPitch, scratch,
                                          height, k);
    }
  } else {
    if (format == 4) {
      ColumnPass<Arithmetic::kDouble, 4>(imageColumn, stride, tempColumn, tempPitch, scratch,
                                         height, k);
    } else {
      ColumnPass<Arithmetic::kDouble, 16>(imageColumn, stride, tempColumn, tempPitch, scratch,
                                          height, k);
    }
  }
}

void BlurMaskRowPass(Byte* tempRow, const Byte* maskRow, int format, std::int32_t width,
                     const GaussianCoefficients& k) {
  if (width <= 0) return;
  float s1 = maskRow[0], s2 = s1, s3 = s1;
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    const float w = FlushSmall(StepDouble(k, maskRow[At(i, format)], s1, s2, s3));
    StoreF32(tempRow + At(i, kMaskTempBytes), w);
    s3 = s2;
    s2 = s1;
    s1 = w;
  }
  s2 = s3 = s1;
  for (std::ptrdiff_t i = width - 1; i >= 0; --i) {
    Byte* p = tempRow + At(i, kMaskTempBytes);
    const float y = FlushSmall(StepDouble(k, LoadF32(p), s1, s2, s3));
    StoreF32(p, y);
    s3 = s2;
    s2 = s1;
    s1 = y;
  }
}

void BlurMaskColumnPass(Byte* maskColumn, std::int32_t stride, const Byte* tempColumn,
                        std::ptrdiff_t tempPitch, Byte* scratch, std::int32_t height,
                        const GaussianCoefficients& k, float scale, float offset) {
  if (height <= 0) return;
  float s1 = LoadF32(tempColumn), s2 = s1, s3 = s1;
  for (std::ptrdiff_t r = 0; r < height; ++r) {
    const float w = FlushSmall(StepDouble(k, LoadF32(tempColumn + At(r, tempPitch)), s1, s2, s3));
    StoreF32(scratch + At(r, kMaskTempBytes), w);
    s3 = s2;
    s2 = s1;
    s1 = w;
  }
  s2 = s3 = s1;
  for (std::ptrdiff_t r = height - 1; r >= 0; --r) {
    const float y = StepDouble(k, LoadF32(scratch + At(r, kMaskTempBytes)), s1, s2, s3);
    maskColumn[At(r, stride)] = MaskByte(y, scale, offset);
    s3 = s2;
    s2 = s1;
    s1 = y;
  }
}

void BlurImageRowsSingleScalar(const RowJob* rows, int count, std::int32_t width, int format,
                               Byte*) {
  for (int j = 0; j < count; ++j)
    BlurRowPass(rows[j].temp, rows[j].source, format, width, rows[j].k, Arithmetic::kSingle);
}

void BlurImageRowsDoubleScalar(const RowJob* rows, int count, std::int32_t width, int format,
                               Byte*) {
  for (int j = 0; j < count; ++j)
    BlurRowPass(rows[j].temp, rows[j].source, format, width, rows[j].k, Arithmetic::kDouble);
}

namespace {
void ImageColumns(const ColumnStrip& s, int format, Arithmetic arithmetic) {
  for (int j = 0; j < s.count; ++j) {
    BlurColumnPass(s.target + j * format, s.stride, format, s.temp + j * kImageTempBytes,
                   s.tempPitch, s.scratch, s.height, s.k[j], arithmetic);
  }
}
}  // namespace

void BlurImageColumnsSingleScalar(const ColumnStrip& strip, int format) {
  ImageColumns(strip, format, Arithmetic::kSingle);
}

void BlurImageColumnsDoubleScalar(const ColumnStrip& strip, int format) {
  ImageColumns(strip, format, Arithmetic::kDouble);
}

void BlurMaskRowsScalar(const RowJob* rows, int count, std::int32_t width, int format, Byte*) {
  for (int j = 0; j < count; ++j)
    BlurMaskRowPass(rows[j].temp, rows[j].source, format, width, rows[j].k);
}

void BlurMaskColumnsScalar(const ColumnStrip& s, int format, float scale, float offset) {
  for (int j = 0; j < s.count; ++j) {
    BlurMaskColumnPass(s.target + j * format, s.stride, s.temp + j * kMaskTempBytes, s.tempPitch,
                       s.scratch, s.height, s.k[j], scale, offset);
  }
}

// One column at a time: any strip width serves; 16 keeps the scratch small.
const ImageKernels kImageSingleKernelsScalar = {&BlurImageRowsSingleScalar, 0,
                                                &BlurImageColumnsSingleScalar, 16};
const ImageKernels kImageDoubleKernelsScalar = {&BlurImageRowsDoubleScalar, 0,
                                                &BlurImageColumnsDoubleScalar, 16};
const MaskKernels kMaskKernelsScalar = {&BlurMaskRowsScalar, 0, &BlurMaskColumnsScalar, 16};

}  // namespace morvex::blur
