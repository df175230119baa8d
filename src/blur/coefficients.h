// Coefficients of the third-order recursive Gaussian (Young / van Vliet):
// one causal and one anti-causal pass share the same four coefficients, and
// the cost per value does not depend on sigma.
#pragma once

namespace morvex::blur {

// Gain of the current input and weights of the three previous outputs.
// B = 1 - (b1 + b2 + b3), so a constant signal passes unchanged up to
// single-precision rounding.
struct GaussianCoefficients {
  float B;
  float b1;
  float b2;
  float b3;
};

// Accepted sigma range; every sigma is clamped into it before use.
inline constexpr double kMinSigma = 0.5;
inline constexpr double kMaxSigma = 54.0;

// Clamps a host sigma to [0.5, 54] and rounds it to single precision. NaN
// passes both comparisons unchanged.
float ClampSigma(double value);

// The filter's scale parameter q for a sigma (clamped again, harmlessly).
// Below 2.5 the square-root branch applies, from 2.5 on the linear one; the
// two branches do not meet at 2.5.
float ComputeGaussianQ(float sigma);

// The four coefficients for a sigma. Evaluated in double precision with the
// single-precision roundings of the reference arithmetic; the result depends
// on the current rounding mode (round to nearest inside the callers'
// brackets).
GaussianCoefficients ComputeGaussianCoefficients(float sigma);

}  // namespace morvex::blur
