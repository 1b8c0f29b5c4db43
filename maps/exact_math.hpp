// Elementary functions from additions, multiplications, divisions and
// square roots alone.
//
// The system's libm picks a variant of exp and log by the processor (with
// or without fused multiply-adds), and the variants may differ in the last
// bit.  A map drawn from a seed must have the same bytes on every x86-64
// machine, so the map generator computes its transcendental functions here:
// every operation below is an IEEE operation whose result the standard
// fixes, evaluated in the written order (the build forbids contraction).
#pragma once

#include <array>

namespace exact_math {

// ln 2 in two parts: the high part has its last 32 bits zero, so that
// k*ln2_hi is exact for every |k| < 2^20.
inline constexpr double ln2_hi = 6.93147180369123816490e-01;
inline constexpr double ln2_lo = 1.90821492927058770002e-10;

// The coefficients 1/i!, i = 0..16, of exp's polynomial, each one division
// of the one before, 1/i! = (1/(i-1)!)/i: the compiler evaluates these
// divisions as IEEE divisions (rounded to nearest), so the table holds the
// same bits as the same divisions made at run time, once for the program
// instead of on every call.
inline constexpr std::array<double, 17> factorial_inverse = [] {
  std::array<double, 17> f{};
  f[0] = 1.0;
  for (int i = 1; i < 17; ++i) f[i] = f[i - 1] / i;
  return f;
}();

// e^x: x = k ln2 + r with |r| <= ln2/2 (ln2 split in two parts so that
// k*ln2_hi is exact), e^r by its Taylor polynomial to degree 17 (error
// below 1e-22), then scaled by 2^k.  0 below -745.2, +inf above 709.8.
double exp(double x);

// Natural logarithm of a positive finite x: x = m 2^e with m in
// [sqrt(1/2), sqrt(2)), log m = 2 atanh(s), s = (m-1)/(m+1), by its series
// to s^23 (|s| <= 0.172, error below 1e-19).
double log(double x);

// Gamma function of z > 0: Lanczos' approximation (g = 7, nine terms,
// relative error about 1e-15) applied to z + 1, divided by z.
double gamma(double z);

// The modified Bessel function of the second kind times r^nu, scaled so
// that the von Karman correlation 2^(1-nu)/Gamma(nu) r^nu K_nu(r) is
// returned; 1 at r = 0.  K_nu(r) = integral over t of exp(-r cosh t)
// cosh(nu t) from 0 to infinity, by the trapezoidal rule, which converges
// geometrically for this analytic, doubly-exponentially decaying integrand.
double von_karman(double r, double nu);

}  // namespace exact_math
