// Each vector kernel against the plain definition it optimises: same bits
// for every row count, strip width and run length, under every rounding mode
// and with flush to zero on.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "blur/gaussian.h"
#include "blur_test_util.h"

namespace morvex::blur {
namespace {

using test::Rng;
using namespace test_util;

bool Has(std::uint32_t feature) { return HasCpu(ProbedCpuFeatureFlags(), feature); }

// Random content for a row or intermediate: bytes, or floats of the kind the
// format carries.
void FillFloats(std::vector<std::uint8_t>& bytes, Rng& rng) {
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    float v;
    switch (rng.Int(0, 3)) {
      case 0:
        v = static_cast<float>(rng.Real(0, 255));
        break;
      case 1:
        v = static_cast<float>(rng.Real(-40, 600));
        break;
      case 2:
        v = static_cast<float>(rng.Real(0, 3e-5));
        break;
      default:
        v = 0.0f;
        break;
    }
    std::memcpy(&bytes[i], &v, 4);
  }
}

GaussianCoefficients RandomCoefficients(Rng& rng) {
  return ComputeGaussianCoefficients(ClampSigma(RandomSigma(rng)));
}

// A random MXCSR rounding mode, sometimes with flush to zero.
std::uint32_t RandomMxcsr(Rng& rng, std::uint32_t base) {
  std::uint32_t csr = (base & ~0xE000u) | (static_cast<std::uint32_t>(rng.Int(0, 3)) << 13);
  if (rng.Bool()) csr |= 0x8000u;
  return csr;
}

// The buffered row kernel with a buffer of its own.
void BufferedRowsAvx2(const RowJob* rows, int count, std::int32_t width, int) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(width) * kBufferedRowBytesPerPixel);
  BlurImageRowsSingleBufferedAvx2(rows, count, width, buffer.data());
}

void BufferedRowsAvx512(const RowJob* rows, int count, std::int32_t width, int) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(width) * kBufferedRowBytesPerPixelAvx512);
  BlurImageRowsSingleBufferedAvx512(rows, count, width, buffer.data());
}

// The staged mask row kernel with a buffer of its own.
void StagedMaskRowsAvx2(const RowJob* rows, int count, std::int32_t width, int format) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(width) * kStagedMaskRowBytesPerElement);
  BlurMaskRowsStagedAvx2(rows, count, width, format, buffer.data());
}

struct RowCase {
  const char* name;
  bool available;
  ImageRowKernel kernel;  // mask row kernels share the signature
  ImageRowKernel reference;
  int elementBytes;  // source element size (format), 4 or 16; 1 or 4 for masks
  int tempBytes;     // intermediate bytes per element
  bool floatSource;
};

TEST(BlurKernels, RowKernelsMatchTheOneRowDefinition) {
  const RowCase cases[] = {
      {"single sse2", Has(kCpuSse2), BlurImageRowsSingleSse2, BlurImageRowsSingleScalar, 4, 16,
       false},
      {"single avx2", Has(kCpuAvx2), BlurImageRowsSingleAvx2, BlurImageRowsSingleScalar, 4, 16,
       false},
      {"single avx2 buffered", Has(kCpuAvx2), BufferedRowsAvx2, BlurImageRowsSingleScalar, 4, 16,
       false},
      {"single avx512 buffered", Has(kCpuAvx512), BufferedRowsAvx512, BlurImageRowsSingleScalar, 4,
       16, false},
      {"double sse2", Has(kCpuSse2), BlurImageRowsDoubleSse2, BlurImageRowsDoubleScalar, 16, 16,
       true},
      {"double avx2", Has(kCpuAvx2), BlurImageRowsDoubleAvx2, BlurImageRowsDoubleScalar, 16, 16,
       true},
      {"mask sse2 1", Has(kCpuSse2), BlurMaskRowsSse2, BlurMaskRowsScalar, 1, 4, false},
      {"mask sse2 4", Has(kCpuSse2), BlurMaskRowsSse2, BlurMaskRowsScalar, 4, 4, false},
      {"mask avx2 1", Has(kCpuAvx2), BlurMaskRowsAvx2, BlurMaskRowsScalar, 1, 4, false},
      {"mask avx2 4", Has(kCpuAvx2), BlurMaskRowsAvx2, BlurMaskRowsScalar, 4, 4, false},
      {"mask avx2 staged 1", Has(kCpuAvx2), StagedMaskRowsAvx2, BlurMaskRowsScalar, 1, 4, false},
      {"mask avx2 staged 4", Has(kCpuAvx2), StagedMaskRowsAvx2, BlurMaskRowsScalar, 4, 4, false},
  };
  const test::FpStateGuard guard;
  const std::uint32_t base = ReadMxcsr();
  for (const RowCase& c : cases) {
    if (!c.available) continue;
    Rng rng(77);
    for (int count = 1; count <= kMaxRowGroup; ++count) {
      for (int width = 1; width <= 67; width += (count == 1 || count == 13) ? 1 : 7) {
        SCOPED_TRACE(::testing::Message() << c.name << " rows " << count << " width " << width);
        const std::size_t srcBytes = static_cast<std::size_t>(width) * c.elementBytes;
        const std::size_t rowTemp = static_cast<std::size_t>(width) * c.tempBytes;
        std::vector<std::uint8_t> src(srcBytes * count), got(rowTemp * count, 0xEE),
            want(rowTemp * count, 0xEE);
        if (c.floatSource)
          FillFloats(src, rng);
        else
          rng.Fill(src.data(), src.size());
        RowJob gotJobs[kMaxRowGroup], wantJobs[kMaxRowGroup];
        for (int j = 0; j < count; ++j) {
          const GaussianCoefficients k = RandomCoefficients(rng);
          gotJobs[j] = {src.data() + j * srcBytes, got.data() + j * rowTemp, k};
          wantJobs[j] = {src.data() + j * srcBytes, want.data() + j * rowTemp, k};
        }
        WriteMxcsr(RandomMxcsr(rng, base));
        c.kernel(gotJobs, count, width, c.elementBytes);
        c.reference(wantJobs, count, width, c.elementBytes);
        WriteMxcsr(base);
        ASSERT_EQ(got, want);
      }
    }
  }
}

struct ColumnCase {
  const char* name;
  bool available;
  ImageColumnKernel kernel;
  ImageColumnKernel reference;
  int format;
  int maxColumns = kStripImageColumns;
};

TEST(BlurKernels, ImageColumnKernelsMatchTheOneColumnDefinition) {
  const ColumnCase cases[] = {
      {"single sse2", Has(kCpuSse2), BlurImageColumnsSingleSse2, BlurImageColumnsSingleScalar, 4},
      {"single avx2", Has(kCpuAvx2), BlurImageColumnsSingleAvx2, BlurImageColumnsSingleScalar, 4},
      {"double sse2", Has(kCpuSse2), BlurImageColumnsDoubleSse2, BlurImageColumnsDoubleScalar, 16},
      {"double avx2", Has(kCpuAvx2), BlurImageColumnsDoubleAvx2, BlurImageColumnsDoubleScalar, 16},
      {"single avx512", Has(kCpuAvx512), BlurImageColumnsSingleAvx512, BlurImageColumnsSingleScalar,
       4, kStripImageColumnsAvx512},
  };
  const test::FpStateGuard guard;
  const std::uint32_t base = ReadMxcsr();
  for (const ColumnCase& c : cases) {
    if (!c.available) continue;
    Rng rng(78);
    for (int count = 1; count <= c.maxColumns; ++count) {
      for (int height = 1; height <= 40; height += count % 4 == 1 ? 1 : 9) {
        SCOPED_TRACE(::testing::Message()
                     << c.name << " columns " << count << " height " << height);
        const int width = count + rng.Int(0, 3);  // the strip inside a wider intermediate
        const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(width) * 16;
        std::vector<std::uint8_t> temp(static_cast<std::size_t>(pitch) * height);
        FillFloats(temp, rng);
        const int stride = count * c.format + rng.Int(0, 5);
        std::vector<std::uint8_t> got(static_cast<std::size_t>(stride) * height), want;
        rng.Fill(got.data(), got.size());
        want = got;
        std::vector<std::uint8_t> scratchA(static_cast<std::size_t>(height) * count * 16),
            scratchB(scratchA.size());
        // Per-column sets, or one set for the whole strip.
        const bool uniform = rng.Bool();
        GaussianCoefficients k[kMaxStripColumns];
        for (int j = 0; j < count; ++j) k[j] = uniform && j > 0 ? k[0] : RandomCoefficients(rng);
        ColumnStrip a{got.data(), stride, temp.data(), pitch, scratchA.data(), height, count, k};
        ColumnStrip b{want.data(), stride, temp.data(), pitch, scratchB.data(), height, count, k};
        WriteMxcsr(RandomMxcsr(rng, base));
        c.kernel(a, c.format);
        c.reference(b, c.format);
        WriteMxcsr(base);
        ASSERT_EQ(got, want);
      }
    }
  }
}

TEST(BlurKernels, MaskColumnKernelsMatchTheOneColumnDefinition) {
  struct Case {
    const char* name;
    bool available;
    MaskColumnKernel kernel;
  };
  const Case cases[] = {{"sse2", Has(kCpuSse2), BlurMaskColumnsSse2},
                        {"avx2", Has(kCpuAvx2), BlurMaskColumnsAvx2}};
  const test::FpStateGuard guard;
  const std::uint32_t base = ReadMxcsr();
  for (const Case& c : cases) {
    if (!c.available) continue;
    Rng rng(79);
    for (int format : {1, 4}) {
      for (int count = 1; count <= kStripMaskColumns; ++count) {
        for (int height = 1; height <= 30; height += count % 5 == 1 ? 1 : 7) {
          SCOPED_TRACE(::testing::Message() << c.name << " format " << format << " columns "
                                            << count << " height " << height);
          const int width = count + rng.Int(0, 3);
          const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(width) * 4;
          std::vector<std::uint8_t> temp(static_cast<std::size_t>(pitch) * height);
          FillFloats(temp, rng);
          const int stride = count * format + rng.Int(0, 5);
          std::vector<std::uint8_t> got(static_cast<std::size_t>(stride) * height), want;
          rng.Fill(got.data(), got.size());
          want = got;
          std::vector<std::uint8_t> scratchA(static_cast<std::size_t>(height) * count * 4),
              scratchB(scratchA.size());
          GaussianCoefficients k[kStripMaskColumns];
          for (int j = 0; j < count; ++j) k[j] = RandomCoefficients(rng);
          const float scale = static_cast<float>(rng.Real(-3, 3));
          const float offset = static_cast<float>(rng.Real(-100, 300));
          ColumnStrip a{got.data(), stride, temp.data(), pitch, scratchA.data(), height, count, k};
          ColumnStrip b{want.data(), stride, temp.data(), pitch, scratchB.data(), height, count, k};
          WriteMxcsr(RandomMxcsr(rng, base));
          c.kernel(a, format, scale, offset);
          BlurMaskColumnsScalar(b, format, scale, offset);
          WriteMxcsr(base);
          ASSERT_EQ(got, want);
        }
      }
    }
  }
}

}  // namespace
}  // namespace morvex::blur
