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
#include <cmath>
#include <limits>

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

// y[i] = exp(x[i]), i = 0..n-1, the same bits at a fraction of the cost:
// the arguments are taken 64 at a time, several to a register, and each
// step of exp is made for all of them before the next, so that the 34
// dependent operations of one polynomial no longer wait on each other.
// Each lane of a register operation is an IEEE operation rounded as the
// scalar one (and the build forbids contraction into fused multiply-adds),
// so the width of the registers changes the time, not the bits: pairs of
// doubles on every x86-64 processor, fours where the processor has AVX2
// (exp_each takes the fours there).
void exp_each(const double* x, double* y, int n);  // y does not overlap x
void exp_each_in_pairs(const double* x, double* y, int n);
void exp_each_in_fours(const double* x, double* y, int n);  // only where fours_available()
bool fours_available();

// x = k ln2 + r: k is x/ln2 rounded to the nearest whole number.
inline double exp_scale_exponent(double x) {
  constexpr double inv_ln2 = 1.44269504088896338700e+00;
  return std::floor(x * inv_ln2 + 0.5);
}

// A whole e with exp(x) <= 2^e, from the scaling of exp's reduction: exp(x)
// = p 2^k with p < 2 (p is about e^r, |r| <= ln2/2), so e = k + 1; a
// number below 2^-1100 under the underflow to 0, and the largest int for a
// NaN or an overflow.  It costs a multiplication and a rounding, not the
// polynomial.
inline int exp_bound_exponent(double x) {
  if (x < -745.2) return -1100;
  if (!(x <= 709.8)) return std::numeric_limits<int>::max();
  return static_cast<int>(exp_scale_exponent(x)) + 1;
}

// Natural logarithm of a positive finite x: x = m 2^e with m in
// [sqrt(1/2), sqrt(2)), log m = 2 atanh(s), s = (m-1)/(m+1), by its series
// to s^23 (|s| <= 0.172, error below 1e-19).
double log(double x);

// Gamma function of z > 0: Lanczos' approximation (g = 7, nine terms,
// relative error about 1e-15) applied to z + 1, divided by z.
double gamma(double z);

}  // namespace exact_math
