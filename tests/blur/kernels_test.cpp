// Each vector entry of the three blur kernel tables against the plain
// definition it optimises (the table's scalar entry): same bits for every
// row count, width, strip width and height, with and without the row
// buffer, on aligned and unaligned intermediates, under every rounding mode
// and with flush to zero on.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "blur/gaussian.h"
#include "blur_test_util.h"
#include "support/cpu_paths.h"

namespace morvex::blur {
namespace {

using test::Rng;
using namespace test_util;

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

// Bytes starting `offset` bytes past a 64-byte boundary, so that the
// streaming stores of whole aligned vectors and the unaligned ones both run,
// with 64 guard bytes on either side.
class Region {
 public:
  Region(std::size_t bytes, std::size_t offset, std::uint8_t fill)
      : storage_(bytes + 192 + offset, fill), bytes_(bytes) {
    const auto misalign = reinterpret_cast<std::uintptr_t>(storage_.data()) % 64;
    data_ = storage_.data() + 64 + (64 - misalign) % 64 + offset;
  }
  std::uint8_t* data() const { return data_; }
  // The region and its guards.
  std::vector<std::uint8_t> all() const { return {data_ - 64, data_ + bytes_ + 64}; }

 private:
  std::vector<std::uint8_t> storage_;
  std::size_t bytes_;
  std::uint8_t* data_;
};

std::size_t RandomOffset(Rng& rng) {
  static constexpr std::size_t kOffsets[] = {0, 0, 16, 32, 4};
  return kOffsets[rng.Int(0, 4)];
}

// The vector entries of a table this machine runs, with their names.
template <class Kernels>
std::vector<std::pair<const char*, const Kernels*>> VectorEntries(
    const KernelTable<Kernels>& table) {
  std::vector<std::pair<const char*, const Kernels*>> entries;
  for (const test::CpuPath& path : test::CpuPathsOf(table))
    if (path.level != InstructionSet::kScalar) entries.push_back({path.label, table.At(path.level)});
  EXPECT_FALSE(entries.empty()) << table.name();  // every x86-64 processor has SSE2
  return entries;
}

struct RowFamily {
  const char* name;
  std::vector<std::pair<const char*, const void*>> entries;
  ImageRowKernel reference;
  int format;     // source element step
  int tempBytes;  // intermediate bytes per element
  bool floatSource;
};

template <class Kernels>
RowFamily RowsOf(const char* name, const KernelTable<Kernels>& table, const Kernels& scalar,
                 int format, int tempBytes, bool floatSource) {
  RowFamily f{name, {}, scalar.rows, format, tempBytes, floatSource};
  for (const auto& [label, k] : VectorEntries(table)) f.entries.push_back({label, k});
  return f;
}

// The row kernel and the buffer size of an entry; both records start alike.
template <class Kernels>
std::pair<ImageRowKernel, std::size_t> RowKernelOf(const void* entry) {
  const auto* k = static_cast<const Kernels*>(entry);
  return {k->rows, k->bufferBytes};
}

TEST(BlurKernels, RowKernelsMatchTheOneRowDefinition) {
  static_assert(std::is_same_v<ImageRowKernel, MaskRowKernel>);
  const RowFamily families[] = {
      RowsOf("single", kImageSingleKernelTable, kImageSingleKernelsScalar, 4, 16, false),
      RowsOf("double", kImageDoubleKernelTable, kImageDoubleKernelsScalar, 16, 16, true),
      RowsOf("mask 1", kMaskKernelTable, kMaskKernelsScalar, 1, 4, false),
      RowsOf("mask 4", kMaskKernelTable, kMaskKernelsScalar, 4, 4, false),
  };
  const test::FpStateGuard guard;
  const std::uint32_t base = ReadMxcsr();
  for (const RowFamily& f : families) {
    const bool mask = f.tempBytes == 4;
    for (const auto& [label, entry] : f.entries) {
      const auto [kernel, bufferBytes] =
          mask ? RowKernelOf<MaskKernels>(entry) : RowKernelOf<ImageKernels>(entry);
      Rng rng(77);
      for (int count = 1; count <= kMaxRowGroup; ++count) {
        // Short rows at every width for some counts; long rows (several
        // tiles and prefetched runs, then the tails) for full and partial
        // groups.
        std::vector<int> widths;
        for (int width = 1; width <= 70; width += (count % 16 == 1 || count == 13) ? 1 : 11)
          widths.push_back(width);
        if (count == 16 || count == 40 || count == 64) widths.insert(widths.end(), {129, 161, 203});
        for (const int width : widths) {
          for (bool buffered : {true, false}) {
            SCOPED_TRACE(::testing::Message() << f.name << " " << label << " rows " << count
                                              << " width " << width << " buffer " << buffered);
            const std::size_t srcBytes = static_cast<std::size_t>(width) * f.format;
            const std::size_t rowTemp = static_cast<std::size_t>(width) * f.tempBytes;
            std::vector<std::uint8_t> src(srcBytes * count);
            if (f.floatSource)
              FillFloats(src, rng);
            else
              rng.Fill(src.data(), src.size());
            const std::size_t offset = RandomOffset(rng);
            Region got(rowTemp * count, offset, 0xEE), want(rowTemp * count, offset, 0xEE);
            std::vector<std::uint8_t> buffer(buffered ? width * bufferBytes : 0);
            RowJob gotJobs[kMaxRowGroup], wantJobs[kMaxRowGroup];
            // Per-row sets, or one for every row.
            const bool uniform = rng.Bool();
            for (int j = 0; j < count; ++j) {
              const GaussianCoefficients k =
                  uniform && j > 0 ? gotJobs[0].k : RandomCoefficients(rng);
              gotJobs[j] = {src.data() + j * srcBytes, got.data() + j * rowTemp, k};
              wantJobs[j] = {src.data() + j * srcBytes, want.data() + j * rowTemp, k};
            }
            WriteMxcsr(RandomMxcsr(rng, base));
            kernel(gotJobs, count, width, f.format, buffered ? buffer.data() : nullptr);
            f.reference(wantJobs, count, width, f.format, nullptr);
            WriteMxcsr(base);
            ASSERT_EQ(got.all(), want.all());
          }
        }
      }
    }
  }
}

// Column strips: every strip width up to the entry's, short and tall
// columns, one set per column or one for the strip, the strip inside a wider
// intermediate and image.
template <class Kernels, class Run>
void CheckColumnEntries(const char* name, const KernelTable<Kernels>& table, int tempBytes,
                        const std::vector<int>& formats, Run&& run) {
  const test::FpStateGuard guard;
  const std::uint32_t base = ReadMxcsr();
  for (const auto& [label, kernels] : VectorEntries(table)) {
    Rng rng(78);
    for (int format : formats) {
      for (int count = 1; count <= kernels->stripColumns; ++count) {
        for (int height : {1, 2, 3, 4, 5, 7, 12, 33, 70}) {
          if (count % 3 != 1 && height > 5 && height != 33) continue;
          SCOPED_TRACE(::testing::Message() << name << " " << label << " format " << format
                                            << " columns " << count << " height " << height);
          const int width = count + rng.Int(0, 3);
          const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(width) * tempBytes;
          std::vector<std::uint8_t> temp(static_cast<std::size_t>(pitch) * height);
          FillFloats(temp, rng);
          const int stride = count * format + rng.Int(0, 9);
          const std::size_t offset = RandomOffset(rng);
          Region got(static_cast<std::size_t>(stride) * height, offset, 0);
          rng.Fill(got.data(), static_cast<std::size_t>(stride) * height);
          Region want(static_cast<std::size_t>(stride) * height, offset, 0);
          std::memcpy(want.data(), got.data(), static_cast<std::size_t>(stride) * height);
          std::vector<std::uint8_t> scratchA(static_cast<std::size_t>(height) * count * tempBytes),
              scratchB(scratchA.size());
          const bool uniform = rng.Bool();
          GaussianCoefficients k[kMaxStripColumns];
          for (int j = 0; j < count; ++j) k[j] = uniform && j > 0 ? k[0] : RandomCoefficients(rng);
          ColumnStrip a{got.data(), stride, temp.data(), pitch, scratchA.data(), height, count, k};
          ColumnStrip b{want.data(), stride, temp.data(), pitch, scratchB.data(), height, count, k};
          const std::uint32_t csr = RandomMxcsr(rng, base);
          run(*kernels, a, b, format, csr, rng);
          WriteMxcsr(base);
          ASSERT_EQ(got.all(), want.all());
        }
      }
    }
  }
}

TEST(BlurKernels, ImageColumnKernelsMatchTheOneColumnDefinition) {
  const auto run = [](const ImageKernels& scalar) {
    return [&scalar](const ImageKernels& kernels, const ColumnStrip& a, const ColumnStrip& b,
                     int format, std::uint32_t csr, Rng&) {
      WriteMxcsr(csr);
      kernels.columns(a, format);
      scalar.columns(b, format);
    };
  };
  CheckColumnEntries("single", kImageSingleKernelTable, 16, {4}, run(kImageSingleKernelsScalar));
  CheckColumnEntries("double", kImageDoubleKernelTable, 16, {16}, run(kImageDoubleKernelsScalar));
}

TEST(BlurKernels, MaskColumnKernelsMatchTheOneColumnDefinition) {
  CheckColumnEntries("mask", kMaskKernelTable, 4, {1, 4},
                     [](const MaskKernels& kernels, const ColumnStrip& a, const ColumnStrip& b,
                        int format, std::uint32_t csr, Rng& rng) {
                       const float scale = static_cast<float>(rng.Real(-3, 3));
                       const float offset = static_cast<float>(rng.Real(-100, 300));
                       WriteMxcsr(csr);
                       kernels.columns(a, format, scale, offset);
                       kMaskKernelsScalar.columns(b, format, scale, offset);
                     });
}

}  // namespace
}  // namespace morvex::blur
