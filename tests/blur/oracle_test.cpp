// The blur exports against the literal reference in oracle_blur.h: seeded
// random calls on every processor path and under every host rounding mode,
// whole planes, intermediates, results, diagnostics and the floating-point
// state compared exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "blur/blur_test_util.h"
#include "blur/oracle_blur.h"
#include "frame/fpu.h"
#include "morvex/native.h"
#include "support/cpu_paths.h"
#include "support/fp_state.h"
#include "support/random.h"
#include "support/stderr_capture.h"
#include "support/test_plane.h"

namespace morvex::test {
namespace {

constexpr std::uint32_t kRoundingModes[] = {kFpRoundNearest, kFpRoundDown, kFpRoundUp,
                                            kFpRoundTowardZero};

std::uint32_t FullMxcsr() { return ReadMxcsr(); }

using blur::test_util::Temp;
using blur::test_util::VectorPath;

// An intermediate at a misalignment, filled with random bytes.
std::unique_ptr<Temp> RandomTemp(std::int64_t bytes, std::int32_t misalign, Rng& rng) {
  auto temp = std::make_unique<Temp>(static_cast<std::size_t>(bytes), misalign);
  rng.Fill(temp->data(), static_cast<std::size_t>(bytes));
  return temp;
}
std::uint8_t* Bytes(const Temp& temp) { return reinterpret_cast<std::uint8_t*>(temp.data()); }

// Replaces every NaN in [p, p + floats * 4) with one canonical NaN: NaN
// payloads depend on operand order, which the arithmetic does not fix.
void CanonicalizeNaNs(std::uint8_t* p, std::int64_t floats) {
  const float canonical = std::numeric_limits<float>::quiet_NaN();
  for (std::int64_t i = 0; i < floats; ++i) {
    float v;
    std::memcpy(&v, p + i * 4, 4);
    if (std::isnan(v)) std::memcpy(p + i * 4, &canonical, 4);
  }
}

void CopyRows(const TestPlane& from, TestPlane& to) {
  for (std::int32_t y = 0; y < from.rows(); ++y)
    std::memcpy(to.Row(y), from.Row(y), static_cast<std::size_t>(from.rowBytes()));
}

// Index of the first differing byte, or -1.
std::int64_t FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size()) return 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return static_cast<std::int64_t>(i);
  return -1;
}

// Sigmas around every boundary the coefficients have, and ordinary ones.
double RandomSigma(Rng& rng) {
  static const double kSpecial[] = {0.5,
                                    54.0,
                                    2.5,
                                    0.0,
                                    -3.0,
                                    1.0,
                                    2.4999,
                                    std::nextafter(2.5, 0.0),
                                    std::nextafter(0.5, 0.0),
                                    std::nextafter(54.0, 100.0),
                                    2.49999999999,
                                    53.99999999999,
                                    0.50000000001,
                                    1e300,
                                    -1e300,
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::denorm_min()};
  switch (rng.Int(0, 9)) {
    case 0:
      return kSpecial[rng.Int(0, static_cast<std::int32_t>(std::size(kSpecial)) - 1)];
    case 1:
      return rng.Real(-2.0, 0.5);
    case 2:
      return rng.Real(54.0, 80.0);
    case 3:
      return 2.5 + rng.Real(-1e-6, 1e-6);
    case 4:
      return rng.Real(30.0, 54.0);
    default:
      return std::exp(rng.Real(std::log(0.5), std::log(54.0)));
  }
}

float RandomImageFloat(Rng& rng) {
  switch (rng.Int(0, 19)) {
    case 0: {
      static const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       -0.0f,
                                       std::numeric_limits<float>::denorm_min(),
                                       1e-30f,
                                       0.00001f,
                                       std::nextafter(0.00001f, 0.0f),
                                       std::nextafter(0.00001f, 1.0f),
                                       3e38f,
                                       -3e38f};
      return kSpecial[rng.Int(0, static_cast<std::int32_t>(std::size(kSpecial)) - 1)];
    }
    case 1:
    case 2:
      return static_cast<float>(rng.Real(-300.0, 600.0));
    case 3:
      return static_cast<float>(rng.Real(0.0, 0.001));
    case 4:
    case 5:
      return 0.0f;
    default:
      return static_cast<float>(rng.Real(0.0, 255.0));
  }
}

// Pixel contents with structure: noise, uniform areas, isolated spikes.
void FillImage(TestPlane& plane, std::int32_t format, std::int32_t width, Rng& rng) {
  const int kind = rng.Int(0, 3);
  const std::uint8_t level = rng.Byte();
  for (std::int32_t y = 0; y < plane.rows(); ++y) {
    std::uint8_t* row = plane.Row(y);
    if (format == 16) {
      for (std::int32_t i = 0; i < width * 4; ++i) {
        float v = RandomImageFloat(rng);
        if (kind == 1) v = level;
        if (kind == 2) v = rng.Int(0, 30) == 0 ? 255.0f : 0.0f;
        std::memcpy(row + i * 4, &v, 4);
      }
    } else {
      for (std::int32_t i = 0; i < plane.rowBytes(); ++i) {
        std::uint8_t v = rng.Byte();
        if (kind == 1) v = level;
        if (kind == 2) v = rng.Int(0, 30) == 0 ? 255 : 0;
        row[i] = v;
      }
    }
  }
}

std::int32_t RandomSize(Rng& rng) {
  switch (rng.Int(0, 15)) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return rng.Int(-5, -1);
    case 3:
      return rng.Int(100, 200);
    default:
      return rng.Int(1, 70);
  }
}

// An optional array of `count` sigmas at a random misalignment.
std::unique_ptr<Temp> RandomSigmas(Rng& rng, std::int32_t count) {
  if (count <= 0 || rng.Int(0, 3) != 0) return nullptr;
  auto buffer = std::make_unique<Temp>(static_cast<std::size_t>(count) * 8, rng.Int(0, 7));
  const bool uniformArray = rng.Int(0, 3) == 0;
  const double shared = RandomSigma(rng);
  for (std::int32_t i = 0; i < count; ++i) {
    const double s = uniformArray ? shared : RandomSigma(rng);
    std::memcpy(Bytes(*buffer) + std::int64_t{i} * 8, &s, 8);
  }
  return buffer;
}

// The host's floating-point state for one call: a rounding mode, sometimes a
// flush setting, and sticky flags either clear or partly set.
void SetRandomHostState(Rng& rng) {
  SetHostRounding(kRoundingModes[rng.Int(0, 3)]);
  if (rng.Int(0, 7) == 0) {
    static const std::uint32_t kDenormal[] = {kFpFlushBoth, kFpFlushOperands, kFpFlushResults};
    ControlFloatingPoint(kDenormal[rng.Int(0, 2)], kFpDenormalField);
  }
  const std::uint32_t csr = ReadMxcsr() & ~0x3Fu;
  WriteMxcsr(rng.Bool() ? csr : csr | (rng.U32() & 0x3Fu));
}

std::int32_t TempBytesFor(Rng& rng, std::int64_t needed, bool& refuseBySize) {
  refuseBySize = false;
  switch (rng.Int(0, 11)) {
    case 0:
      refuseBySize = needed > INT32_MIN;
      return static_cast<std::int32_t>(needed > 0 ? needed - 1 : needed - rng.Int(1, 64));
    case 1:
      return static_cast<std::int32_t>((needed > 0 ? needed : 0) + rng.Int(1, 64));
    default:
      return static_cast<std::int32_t>(needed > 0 ? needed : rng.Int(0, 3) == 0 ? -1 : 0);
  }
}

struct CallDescription {
  std::string text;
  template <class T>
  CallDescription& Add(const char* name, T value) {
    std::ostringstream s;
    s.precision(17);
    s << name << "=" << value << " ";
    text += s.str();
    return *this;
  }
};

// Runs the export and the reference on identical copies and compares
// everything they could touch. Returns false (with a failure) on the first
// difference.
struct Comparison {
  const TestPlane& exportPlane;
  TestPlane& oraclePlane;
  const Temp& exportTemp;
  const Temp& oracleTemp;
  std::int64_t tempFloats;   // floats of the intermediate that hold results
  std::int32_t imageFloats;  // floats per row of the image (0 for byte planes)
};

::testing::AssertionResult SameOutcome(Comparison& c, std::uint8_t exportResult,
                                       const std::string& exportDiagnostic,
                                       const oracle::Outcome& expected) {
  if (exportResult != expected.result)
    return ::testing::AssertionFailure() << "result " << int{exportResult} << ", expected " << int{expected.result};
  const std::string expectedLine = expected.diagnostic.empty() ? "" : expected.diagnostic + "\n";
  if (exportDiagnostic != expectedLine)
    return ::testing::AssertionFailure() << "diagnostic \"" << exportDiagnostic << "\", expected \""
                                         << expectedLine << "\"";
  if (c.imageFloats > 0) {
    for (std::int32_t y = 0; y < c.oraclePlane.rows(); ++y) {
      CanonicalizeNaNs(c.exportPlane.Row(y), c.imageFloats);
      CanonicalizeNaNs(c.oraclePlane.Row(y), c.imageFloats);
    }
  }
  CanonicalizeNaNs(Bytes(c.exportTemp), c.tempFloats);
  CanonicalizeNaNs(Bytes(c.oracleTemp), c.tempFloats);
  if (!c.exportPlane.GuardsIntact()) return ::testing::AssertionFailure() << "image guards overwritten";
  if (!c.exportTemp.LeadIntact()) return ::testing::AssertionFailure() << "temp guards overwritten";
  const std::int64_t image = FirstDifference(c.exportPlane.Snapshot(), c.oraclePlane.Snapshot());
  if (image >= 0) return ::testing::AssertionFailure() << "image differs at buffer byte " << image;
  const std::int64_t temp = FirstDifference(c.exportTemp.Snapshot(), c.oracleTemp.Snapshot());
  if (temp >= 0) return ::testing::AssertionFailure() << "intermediate (with its lead) differs at byte " << temp;
  return ::testing::AssertionSuccess();
}

// The thread's state after a call: the whole MXCSR, sticky flags included,
// where the call must not have computed (refusals, empty regions) or restores
// it whole (the vector path of GaussianBlur); otherwise the control bits.
::testing::AssertionResult StateRestored(std::uint32_t before, const FpState& controlBefore,
                                         bool whole) {
  const std::uint32_t after = FullMxcsr();
  if (whole && after != before)
    return ::testing::AssertionFailure() << std::hex << "MXCSR 0x" << after << ", was 0x" << before;
  if (!(ReadFpState() == controlBefore)) return ::testing::AssertionFailure() << "control words changed";
  return ::testing::AssertionSuccess();
}

TEST(BlurOracle, GaussianBlurMatchesTheReferenceOnEveryPath) {
  Rng rng(0x5EED0B1);
  for (const CpuPath& path : CpuPaths()) {
    for (int iteration = 0; iteration < 400; ++iteration) {
      const std::int32_t width = RandomSize(rng);
      const std::int32_t height = RandomSize(rng);
      static const std::int32_t kBadFormats[] = {1, 8, 32, 0, -4, 2, 3, 12, 64};
      const std::int32_t format = rng.Int(0, 15) == 0 ? kBadFormats[rng.Int(0, 8)] : rng.Bool() ? 4 : 16;
      const std::int32_t pixelBytes = format == 16 ? 16 : 4;
      const std::int32_t planeWidth = width > 0 ? width : 3;
      const std::int32_t planeHeight = height > 0 ? height : 2;
      const PlaneShape shape = RandomShape(rng);
      TestPlane image(planeWidth * pixelBytes, planeHeight, shape.padding, shape.bottomUp);
      TestPlane reference(planeWidth * pixelBytes, planeHeight, shape.padding, shape.bottomUp);
      FillImage(image, format, planeWidth, rng);
      CopyRows(image, reference);

      const std::int64_t needed = std::int64_t{width} * 16 * height;
      bool sizeRefusal = false;
      const std::int32_t tempBytes = TempBytesFor(rng, needed, sizeRefusal);
      const std::int64_t tempAlloc = std::max<std::int64_t>({needed, tempBytes, 0});
      const std::int32_t misalign = rng.Int(0, 3) == 0 ? rng.Int(1, 15) : 0;
      Rng tempRng(rng.Next());
      Rng sameTempRng = tempRng;
      const auto temp = RandomTemp(tempAlloc, misalign, tempRng);
      const auto referenceTemp = RandomTemp(tempAlloc, misalign, sameTempRng);

      const double sigmaH = RandomSigma(rng), sigmaV = RandomSigma(rng);
      const auto rowSigmas = RandomSigmas(rng, height);
      const auto columnSigmas = RandomSigmas(rng, width);
      const double* rows = rowSigmas ? reinterpret_cast<const double*>(Bytes(*rowSigmas)) : nullptr;
      const double* columns = columnSigmas ? reinterpret_cast<const double*>(Bytes(*columnSigmas)) : nullptr;

      CallDescription call;
      call.Add("path", path.label).Add("iteration", iteration).Add("format", format).Add("width", width)
          .Add("height", height).Add("stride", image.stride()).Add("tempBytes", tempBytes)
          .Add("misalign", misalign).Add("sigmaH", sigmaH).Add("sigmaV", sigmaV)
          .Add("rowSigmas", rows != nullptr).Add("columnSigmas", columns != nullptr);
      SCOPED_TRACE(call.text);

      const FpStateGuard guard;
      SetRandomHostState(rng);
      call.Add("mxcsr", FullMxcsr());
      const PinnedCpuPath pin(path);
      const FpState control = ReadFpState();
      const std::uint32_t before = FullMxcsr();
      StderrCapture capture;
      const std::uint8_t result = GaussianBlur(image.first(), image.stride(), format, width, height,
                                               temp->data(), tempBytes, sigmaH,
                                               sigmaV, rows, columns);
      const std::uint32_t afterExport = FullMxcsr();
      const std::string diagnostic = capture.Take();
      const bool worked = result == 1 && width > 0 && height > 0;
      WriteMxcsr(before);
      const oracle::Outcome expected =
          oracle::GaussianBlur(reference.first(), reference.stride(), format, width, height,
                               referenceTemp->data(), tempBytes, sigmaH, sigmaV,
                               rows, columns, VectorPath(path));
      WriteMxcsr(afterExport);
      ASSERT_TRUE(StateRestored(before, control, !worked || VectorPath(path))) << call.text;
      const std::int64_t tempFloats = expected.result == 1 && needed > 0 ? needed / 4 : 0;
      Comparison comparison{image, reference, *temp, *referenceTemp, tempFloats,
                            format == 16 ? planeWidth * 4 : 0};
      ASSERT_TRUE(SameOutcome(comparison, result, diagnostic, expected)) << call.text;
      if (sizeRefusal) {
        ASSERT_EQ(result, 0) << call.text;
      }
    }
  }
}

TEST(BlurOracle, GaussianBlurMaskMatchesTheReferenceOnEveryPath) {
  Rng rng(0x5EED0B2);
  for (const CpuPath& path : CpuPaths()) {
    for (int iteration = 0; iteration < 400; ++iteration) {
      const std::int32_t width = RandomSize(rng);
      const std::int32_t height = RandomSize(rng);
      static const std::int32_t kBadFormats[] = {2, 3, 16, 0, -1, 8, 5};
      const std::int32_t format = rng.Int(0, 15) == 0 ? kBadFormats[rng.Int(0, 6)] : rng.Bool() ? 1 : 4;
      const std::int32_t channel = format == 4 ? rng.Int(0, 3) : 0;
      const std::int32_t step = format == 4 ? 4 : 1;
      const std::int32_t planeWidth = width > 0 ? width : 3;
      const std::int32_t planeHeight = height > 0 ? height : 2;
      const PlaneShape shape = RandomShape(rng);
      TestPlane mask(planeWidth * step, planeHeight, shape.padding, shape.bottomUp);
      TestPlane reference(planeWidth * step, planeHeight, shape.padding, shape.bottomUp);
      FillImage(mask, 1, planeWidth, rng);
      CopyRows(mask, reference);

      const std::int64_t needed = std::int64_t{width} * 4 * height;
      bool sizeRefusal = false;
      const std::int32_t tempBytes = TempBytesFor(rng, needed, sizeRefusal);
      const std::int64_t tempAlloc = std::max<std::int64_t>({needed, tempBytes, 0});
      const std::int32_t misalign = rng.Int(0, 3) == 0 ? rng.Int(1, 7) : 0;
      Rng tempRng(rng.Next());
      Rng sameTempRng = tempRng;
      const auto temp = RandomTemp(tempAlloc, misalign, tempRng);
      const auto referenceTemp = RandomTemp(tempAlloc, misalign, sameTempRng);

      const double sigmaH = RandomSigma(rng), sigmaV = RandomSigma(rng);
      double scale = 1.0, offset = 0.0;
      switch (rng.Int(0, 5)) {
        case 0: {
          static const double kOffsets[] = {2.5, 300.0, -3.0, 0.5, 1.5, 254.5, 255.5, -0.5, 3e9, -3e9};
          scale = 0.0;
          offset = kOffsets[rng.Int(0, 9)];
          break;
        }
        case 1:
          scale = -1.0;
          offset = 255.0;
          break;
        case 2:
          scale = rng.Real(-3.0, 3.0);
          offset = rng.Real(-300.0, 600.0);
          break;
        case 3: {
          static const double kScales[] = {1e10, -1e10, std::numeric_limits<double>::quiet_NaN(),
                                           std::numeric_limits<double>::infinity(), 1e-40, 0.5};
          scale = kScales[rng.Int(0, 5)];
          offset = rng.Real(-1.0, 1.0);
          break;
        }
        default:
          break;
      }
      const auto rowSigmas = RandomSigmas(rng, height);
      const auto columnSigmas = RandomSigmas(rng, width);
      const double* rows = rowSigmas ? reinterpret_cast<const double*>(Bytes(*rowSigmas)) : nullptr;
      const double* columns = columnSigmas ? reinterpret_cast<const double*>(Bytes(*columnSigmas)) : nullptr;

      CallDescription call;
      call.Add("path", path.label).Add("iteration", iteration).Add("format", format).Add("channel", channel)
          .Add("width", width).Add("height", height).Add("stride", mask.stride()).Add("tempBytes", tempBytes)
          .Add("misalign", misalign).Add("sigmaH", sigmaH).Add("sigmaV", sigmaV).Add("scale", scale)
          .Add("offset", offset).Add("rowSigmas", rows != nullptr).Add("columnSigmas", columns != nullptr);
      SCOPED_TRACE(call.text);

      const FpStateGuard guard;
      SetRandomHostState(rng);
      const PinnedCpuPath pin(path);
      const FpState control = ReadFpState();
      const std::uint32_t before = FullMxcsr();
      StderrCapture capture;
      const std::uint8_t result =
          GaussianBlurMask(mask.first() + channel, mask.stride(), format, width, height,
                           temp->data(), tempBytes, sigmaH, sigmaV, scale, offset,
                           rows, columns);
      const std::uint32_t afterExport = FullMxcsr();
      const std::string diagnostic = capture.Take();
      const bool worked = result == 1 && width > 0 && height > 0;
      WriteMxcsr(before);
      const oracle::Outcome expected = oracle::GaussianBlurMask(
          reference.first() + channel, reference.stride(), format, width, height,
          referenceTemp->data(), tempBytes, sigmaH, sigmaV, scale, offset, rows,
          columns);
      WriteMxcsr(afterExport);
      ASSERT_TRUE(StateRestored(before, control, !worked)) << call.text;
      const std::int64_t tempFloats = expected.result == 1 && needed > 0 ? needed / 4 : 0;
      Comparison comparison{mask, reference, *temp, *referenceTemp, tempFloats, 0};
      ASSERT_TRUE(SameOutcome(comparison, result, diagnostic, expected)) << call.text;
      if (sizeRefusal) {
        ASSERT_EQ(result, 0) << call.text;
      }
    }
  }
}

// The reference itself against the published coefficient table (six
// significant digits), so a misreading there cannot hide behind agreement.
TEST(BlurOracle, ReferenceCoefficientsMatchTheTable) {
  struct Row {
    double sigma, q, B, b1, b2, b3;
  };
  static const Row kTable[] = {
      {0.5, 0.11477, 0.840294, 0.170402, -0.011035, 0.000339833},
      {0.0, 0.11477, 0.840294, 0.170402, -0.011035, 0.000339833},
      {-7.0, 0.11477, 0.840294, 0.170402, -0.011035, 0.000339833},
      {1, 0.426966, 0.541421, 0.570436, -0.123131, 0.0112736},
      {2, 1.15326, 0.227283, 1.23277, -0.553312, 0.0932611},
      {2.4999, 1.59825, 0.145376, 1.50819, -0.812342, 0.158775},
      {2.5, 1.4764, 0.163406, 1.44025, -0.744333, 0.140679},
      {5, 3.9161, 0.0270139, 2.2162, -1.67735, 0.43413},
      {10, 8.7955, 0.0037359, 2.62405, -2.31043, 0.682643},
      {54, 51.7342, 3.57628e-06, 2.93462, -2.87133, 0.936705},
      {1000, 51.7342, 3.57628e-06, 2.93462, -2.87133, 0.936705},
  };
  const RoundToNearestBracket bracket;
  for (const Row& row : kTable) {
    SCOPED_TRACE(row.sigma);
    const float sigma = oracle::ClampSigma(row.sigma);
    const oracle::Coefficients k = oracle::GaussianCoefficients(sigma);
    EXPECT_NEAR(oracle::GaussianQ(sigma), row.q, std::abs(row.q) * 1e-5);
    EXPECT_NEAR(k.B, row.B, std::abs(row.B) * 1e-5);
    EXPECT_NEAR(k.b1, row.b1, std::abs(row.b1) * 1e-5);
    EXPECT_NEAR(k.b2, row.b2, std::abs(row.b2) * 1e-5);
    EXPECT_NEAR(k.b3, row.b3, std::abs(row.b3) * 1e-5);
    EXPECT_NEAR(double{k.B} + k.b1 + k.b2 + k.b3, 1.0, 1e-7);
  }
}

// The worked examples, through the exports on every path and through the
// reference.
TEST(BlurOracle, WorkedExamples) {
  struct Example {
    bool mask;
    double sigma;
    std::uint8_t expected[9];
  };
  static const Example kExamples[] = {
      {false, 1.0, {1, 5, 18, 52, 102, 52, 18, 5, 2}},
      {true, 1.0, {1, 5, 18, 52, 102, 52, 18, 5, 2}},
      {true, 2.0, {8, 16, 28, 43, 53, 45, 32, 22, 19}},
  };
  for (const CpuPath& path : CpuPaths()) {
    for (const Example& example : kExamples) {
      SCOPED_TRACE(std::string(path.label) + (example.mask ? " mask " : " image ") + std::to_string(example.sigma));
      const PinnedCpuPath pin(path);
      const std::int32_t step = example.mask ? 1 : 4;
      std::vector<std::uint8_t> row(9 * step, 0), reference(9 * step, 0);
      for (int k = 0; k < step; ++k) row[4 * step + k] = reference[4 * step + k] = 255;
      std::vector<float> temp(9 * step), referenceTemp(9 * step);
      const std::int32_t tempBytes = 9 * step * 4;
      if (example.mask) {
        ASSERT_EQ(GaussianBlurMask(row.data(), 9, 1, 9, 1, temp.data(), tempBytes, example.sigma,
                                   example.sigma, 1.0, 0.0, nullptr, nullptr),
                  1);
        oracle::GaussianBlurMask(reference.data(), 9, 1, 9, 1, referenceTemp.data(), tempBytes, example.sigma,
                                 example.sigma, 1.0, 0.0, nullptr, nullptr);
      } else {
        ASSERT_EQ(GaussianBlur(row.data(), 36, 4, 9, 1, temp.data(), tempBytes, example.sigma, example.sigma,
                               nullptr, nullptr),
                  1);
        oracle::GaussianBlur(reference.data(), 36, 4, 9, 1, referenceTemp.data(), tempBytes, example.sigma,
                             example.sigma, nullptr, nullptr, VectorPath(path));
        for (int ch = 0; ch < 4; ++ch) {
          EXPECT_NEAR(temp[4 * 4 + ch], 102.388, 0.0005);
          EXPECT_NEAR(referenceTemp[4 * 4 + ch], 102.388, 0.0005);
        }
      }
      for (int i = 0; i < 9; ++i) {
        for (int k = 0; k < step; ++k) {
          EXPECT_EQ(row[i * step + k], example.expected[i]) << "pixel " << i;
          EXPECT_EQ(reference[i * step + k], example.expected[i]) << "pixel " << i;
        }
      }
    }
  }
}

// The mask's output mapping is one double evaluation rounded once to single:
// for these uniform masks (which blur to their own value) evaluating in
// single precision would land on the other side of a half.
TEST(BlurOracle, MaskOutputMappingRoundsOnceInDouble) {
  struct Case {
    std::uint8_t value;
    double scale, offset;
    std::uint8_t expected;
  };
  static const Case kCases[] = {
      {212, 2792.51416015625, -591986.5, 27},
      {75, 294.26666259765625, -22046.5, 23},
      {215, 1285.1209716796875, -276280.5, 21},
      {102, 2726.823486328125, -278038.5, 97},
  };
  for (const CpuPath& path : CpuPaths()) {
    const PinnedCpuPath pin(path);
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(path.label) + " value " + std::to_string(c.value));
      for (const std::uint32_t mode : kRoundingModes) {
        const FpStateGuard guard;
        SetHostRounding(mode);
        std::vector<std::uint8_t> mask(5 * 3, c.value), reference(mask);
        std::vector<float> temp(15), referenceTemp(15);
        ASSERT_EQ(GaussianBlurMask(mask.data(), 5, 1, 5, 3, temp.data(), 60, 3.0, 7.0, c.scale, c.offset,
                                   nullptr, nullptr),
                  1);
        oracle::GaussianBlurMask(reference.data(), 5, 1, 5, 3, referenceTemp.data(), 60, 3.0, 7.0, c.scale,
                                 c.offset, nullptr, nullptr);
        EXPECT_EQ(mask, std::vector<std::uint8_t>(15, c.expected));
        EXPECT_EQ(reference, mask);
      }
    }
  }
}

// Columns far taller than any stack scratch, and rows far wider than any
// row block, still match.
TEST(BlurOracle, TallAndWideRegions) {
  struct Shape {
    std::int32_t width, height;
  };
  static const Shape kShapes[] = {{2, 5000}, {3, 3001}, {5000, 2}};
  Rng rng(0x7A11);
  for (const CpuPath& path : CpuPaths()) {
    const PinnedCpuPath pin(path);
    for (const Shape& shape : kShapes) {
      for (const std::int32_t format : {4, 16}) {
        SCOPED_TRACE(std::string(path.label) + " format " + std::to_string(format) + " " +
                     std::to_string(shape.width) + "x" + std::to_string(shape.height));
        TestPlane image(shape.width * format, shape.height), reference(shape.width * format, shape.height);
        FillImage(image, format, shape.width, rng);
        CopyRows(image, reference);
        const std::int32_t tempBytes = shape.width * shape.height * 16;
        const Temp temp(tempBytes, 0), referenceTemp(tempBytes, 0);
        ASSERT_EQ(GaussianBlur(image.first(), image.stride(), format, shape.width, shape.height,
                               temp.data(), tempBytes, 3.0, 40.0, nullptr, nullptr),
                  1);
        const oracle::Outcome expected =
            oracle::GaussianBlur(reference.first(), reference.stride(), format, shape.width, shape.height,
                                 referenceTemp.data(), tempBytes, 3.0, 40.0, nullptr,
                                 nullptr, VectorPath(path));
        Comparison comparison{image, reference, temp, referenceTemp, tempBytes / 4,
                              format == 16 ? shape.width * 4 : 0};
        ASSERT_TRUE(SameOutcome(comparison, 1, "", expected));
      }
      TestPlane mask(shape.width, shape.height), reference(shape.width, shape.height);
      FillImage(mask, 1, shape.width, rng);
      CopyRows(mask, reference);
      const std::int32_t tempBytes = shape.width * shape.height * 4;
      const Temp temp(tempBytes, 0), referenceTemp(tempBytes, 0);
      ASSERT_EQ(GaussianBlurMask(mask.first(), mask.stride(), 1, shape.width, shape.height,
                                 temp.data(), tempBytes, 2.0, 30.0, 1.0, 0.0, nullptr,
                                 nullptr),
                1);
      const oracle::Outcome expected =
          oracle::GaussianBlurMask(reference.first(), reference.stride(), 1, shape.width, shape.height,
                                   referenceTemp.data(), tempBytes, 2.0, 30.0, 1.0, 0.0,
                                   nullptr, nullptr);
      Comparison comparison{mask, reference, temp, referenceTemp, tempBytes / 4, 0};
      ASSERT_TRUE(SameOutcome(comparison, 1, "", expected));
    }
  }
}

}  // namespace
}  // namespace morvex::test
