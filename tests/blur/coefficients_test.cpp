#include "blur/coefficients.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "frame/fpu.h"
#include "support/fp_state.h"
#include "support/random.h"

namespace morvex::blur {
namespace {

// True when `value` matches the decimal `reference` to the digits it shows:
// within half a unit of its last significant digit.
::testing::AssertionResult MatchesDigits(double value, const std::string& reference) {
  const double ref = std::strtod(reference.c_str(), nullptr);
  const std::string mantissa = reference.substr(0, reference.find('e'));
  int digits = 0;
  bool leading = true;
  for (char ch : mantissa) {
    if (ch < '0' || ch > '9') continue;
    if (ch == '0' && leading) continue;
    leading = false;
    ++digits;
  }
  const double magnitude = std::floor(std::log10(std::fabs(ref)));
  const double tolerance = 0.5 * std::pow(10.0, magnitude - digits + 1) * (1 + 1e-9);
  if (std::fabs(value - ref) <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << value << " is not " << reference << " (+-" << tolerance << ")";
}

TEST(GaussianCoefficients, MatchTheReferenceTable) {
  struct Row {
    double sigma;
    const char *q, *B, *b1, *b2, *b3;
  };
  const Row rows[] = {
      {0.5, "0.11477", "0.840294", "0.170402", "-0.011035", "0.000339833"},
      {0.0, "0.11477", "0.840294", "0.170402", "-0.011035", "0.000339833"},
      {-7.0, "0.11477", "0.840294", "0.170402", "-0.011035", "0.000339833"},
      {1.0, "0.426966", "0.541421", "0.570436", "-0.123131", "0.0112736"},
      {2.0, "1.15326", "0.227283", "1.23277", "-0.553312", "0.0932611"},
      {2.4999, "1.59825", "0.145376", "1.50819", "-0.812342", "0.158775"},
      {2.5, "1.4764", "0.163406", "1.44025", "-0.744333", "0.140679"},
      {5.0, "3.9161", "0.0270139", "2.2162", "-1.67735", "0.43413"},
      {10.0, "8.7955", "0.0037359", "2.62405", "-2.31043", "0.682643"},
      {54.0, "51.7342", "3.57628e-06", "2.93462", "-2.87133", "0.936705"},
      {54.5, "51.7342", "3.57628e-06", "2.93462", "-2.87133", "0.936705"},
      {1e9, "51.7342", "3.57628e-06", "2.93462", "-2.87133", "0.936705"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sigma);
    const float sigma = ClampSigma(row.sigma);
    EXPECT_TRUE(MatchesDigits(ComputeGaussianQ(sigma), row.q));
    const GaussianCoefficients k = ComputeGaussianCoefficients(sigma);
    EXPECT_TRUE(MatchesDigits(k.B, row.B));
    EXPECT_TRUE(MatchesDigits(k.b1, row.b1));
    EXPECT_TRUE(MatchesDigits(k.b2, row.b2));
    EXPECT_TRUE(MatchesDigits(k.b3, row.b3));
  }
}

TEST(GaussianCoefficients, HaveUnitGainAndStablePolesOverTheWholeRange) {
  test::Rng rng(31);
  for (int i = 0; i < 4000; ++i) {
    const double sigma = i < 2000 ? 0.5 + i * (53.5 / 1999) : rng.Real(-2.0, 60.0);
    const GaussianCoefficients k = ComputeGaussianCoefficients(ClampSigma(sigma));
    const double sum = static_cast<double>(k.B) + k.b1 + k.b2 + k.b3;
    ASSERT_NEAR(sum, 1.0, 1e-7) << sigma;
    ASSERT_GT(k.B, 0.0f);
    ASSERT_LT(k.B, 1.0f);
    ASSERT_GT(k.b1, 0.0f);
    ASSERT_LT(k.b2, 0.0f);
    ASSERT_GT(k.b3, 0.0f);
    ASSERT_LT(k.b3, k.b1);
  }
}

TEST(GaussianCoefficients, ClampSigmaBoundsAndRoundsToSingle) {
  struct Case {
    double in;
    float out;
  };
  const double inf = std::numeric_limits<double>::infinity();
  for (const Case c :
       {Case{0.5, 0.5f}, Case{0.49999999, 0.5f}, Case{-inf, 0.5f}, Case{54.0, 54.0f},
        Case{54.000001, 54.0f}, Case{inf, 54.0f}, Case{1.1, 1.1f}, Case{2.4999999999, 2.5f}}) {
    EXPECT_EQ(ClampSigma(c.in), c.out) << c.in;
  }
  EXPECT_TRUE(std::isnan(ClampSigma(std::nan(""))));
}

TEST(GaussianCoefficients, QStepsDownAtTwoAndAHalf) {
  const float below = std::nextafter(2.5f, 0.0f);
  EXPECT_TRUE(MatchesDigits(ComputeGaussianQ(below), "1.598"));
  EXPECT_TRUE(MatchesDigits(ComputeGaussianQ(2.5f), "1.4764"));
  EXPECT_GT(ComputeGaussianQ(below) - ComputeGaussianQ(2.5f), 0.12f);
  // Both ends of the range and the linear branch's exact arithmetic.
  EXPECT_EQ(ComputeGaussianQ(54.0f), static_cast<float>(static_cast<double>(0.97588f) * 54.0 -
                                                        static_cast<double>(0.9633f)));
  EXPECT_EQ(ComputeGaussianQ(0.25f), ComputeGaussianQ(0.5f));
  EXPECT_EQ(ComputeGaussianQ(80.0f), ComputeGaussianQ(54.0f));
}

TEST(GaussianCoefficients, NotANumberSigmaGivesNotANumberWithoutFault) {
  const GaussianCoefficients k = ComputeGaussianCoefficients(ClampSigma(std::nan("")));
  EXPECT_TRUE(std::isnan(k.B));
  EXPECT_TRUE(std::isnan(k.b1));
}

TEST(GaussianCoefficients, FollowTheCurrentRoundingMode) {
  // The vector path computes them under the host's rounding; some sigma must
  // show it, and round to nearest must give the default result back.
  const test::FpStateGuard guard;
  int differing = 0;
  for (int i = 0; i < 200; ++i) {
    const float sigma = 0.5f + i * 0.27f;
    const GaussianCoefficients nearest = ComputeGaussianCoefficients(sigma);
    test::SetHostRounding(kFpRoundTowardZero);
    const GaussianCoefficients truncated = ComputeGaussianCoefficients(sigma);
    test::SetHostRounding(kFpRoundNearest);
    const GaussianCoefficients again = ComputeGaussianCoefficients(sigma);
    EXPECT_EQ(std::memcmp(&nearest, &again, sizeof nearest), 0);
    differing += std::memcmp(&nearest, &truncated, sizeof nearest) != 0;
  }
  EXPECT_GT(differing, 50);
}

}  // namespace
}  // namespace morvex::blur
