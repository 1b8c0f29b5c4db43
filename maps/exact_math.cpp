#include "maps/exact_math.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace exact_math {

namespace {

inline double reduced(double x, double k) { return (x - k * ln2_hi) - k * ln2_lo; }

// The value of exp outside the range of the polynomial (NaN, underflow,
// overflow), where `inside` is false.
inline double outside_value(double x, bool& inside) {
  inside = false;
  if (x != x) return x;
  if (x < -745.2) return 0.0;
  if (x > 709.8) return std::numeric_limits<double>::infinity();
  inside = true;
  return 0.0;
}

// p 2^k for the polynomial's p in [0.7, 1.5].  For -1021 <= k <= 1023 the
// product by 2^k (a normal double built from its bits) is a normal number
// and exact, so it equals ldexp(p, k); the other k, where the result may
// be rounded as a subnormal or overflow, go through ldexp itself.
inline double times_two_to(double p, int k) {
  if (k < -1021 || k > 1023) return std::ldexp(p, k);
  return p * std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

}  // namespace

double exp(double x) {
  bool inside = false;
  const double special = outside_value(x, inside);
  if (!inside) return special;
  const double k = exp_scale_exponent(x);
  const double r = reduced(x, k);
  // Horner's scheme of sum r^i/i!, i = 0..17.
  double p = 1.0 / 355687428096000.0;  // 1/17!
  for (int i = 16; i >= 0; --i) p = p * r + factorial_inverse[i];
  return times_two_to(p, static_cast<int>(k));
}

void exp_each(const double* x, double* y, int n) {
  // The arguments 32 at a time, as 16 pairs of doubles (the compiler's
  // vector type: each lane is an IEEE operation of its own, rounded as the
  // scalar one is), each phase of exp over all of them before the next, so
  // that the polynomials' long chains of dependent operations run side by
  // side.  Lanes past the end of the last group compute e^0, not stored.
  //
  // The pairs take the arguments of [-707, 709], where k lies in
  // [-1021, 1023] (so 2^k is a normal double and p 2^k is exact, as in
  // times_two_to) and exp is its polynomial; any other argument (NaN,
  // underflow, overflow, a subnormal result) is computed by exp itself.
  // k = floor(y) for |y| < 2^31 as the truncation of y to a whole number,
  // less one where the truncation lies above y; 2^k from the bits k + 1023
  // shifted into the exponent field of a double.
  using Pair = double __attribute__((vector_size(16)));
  using Pair64 = long long __attribute__((vector_size(16)));
  using Pair32 = int __attribute__((vector_size(8)));
  constexpr int lanes = 32, pairs = lanes / 2;
  constexpr double inv_ln2 = 1.44269504088896338700e+00;
  constexpr double whole = 0x1.8p52;  // y + whole holds the whole number y in its low bits
  for (int first = 0; first < n; first += lanes) {
    const int m = std::min(lanes, n - first);
    alignas(16) double xs[lanes], ys[lanes];
    for (int j = 0; j < lanes; ++j) xs[j] = j < m ? x[first + j] : 0.0;
    Pair xp[pairs], k[pairs], r[pairs], p[pairs];
    std::memcpy(xp, xs, sizeof xs);
    Pair64 in_range = {-1, -1};
    for (int j = 0; j < pairs; ++j) {
      in_range &= (xp[j] >= -707.0) & (xp[j] <= 709.0);
      const Pair y = xp[j] * inv_ln2 + 0.5;
      const Pair truncated = __builtin_convertvector(__builtin_convertvector(y, Pair32), Pair);
      k[j] = truncated - std::bit_cast<Pair>((truncated > y) & std::bit_cast<Pair64>(Pair{1.0, 1.0}));
      r[j] = (xp[j] - k[j] * ln2_hi) - k[j] * ln2_lo;
      p[j] = Pair{1.0, 1.0} / 355687428096000.0;  // 1/17!
    }
    // Horner's scheme, one step over every pair before the next (not
    // unrolled: unrolled, the compiler lays each chain out whole).
#pragma GCC unroll 1
    for (int i = 16; i >= 0; --i) {
      const Pair c = {factorial_inverse[i], factorial_inverse[i]};
      for (int j = 0; j < pairs; ++j) p[j] = p[j] * r[j] + c;
    }
    for (int j = 0; j < pairs; ++j) {
      const Pair two_to_k = std::bit_cast<Pair>(std::bit_cast<Pair64>((k[j] + 1023.0) + whole) << 52);
      const Pair value = p[j] * two_to_k;
      std::memcpy(ys + 2 * j, &value, sizeof value);
    }
    const bool all_in_range = in_range[0] != 0 && in_range[1] != 0;
    for (int j = 0; j < m; ++j) {
      y[first + j] = all_in_range || (xs[j] >= -707.0 && xs[j] <= 709.0) ? ys[j] : exp(xs[j]);
    }
  }
}

double log(double x) {
  int e = 0;
  double m = std::frexp(x, &e);  // m in [1/2, 1)
  if (m < 0.70710678118654752440) {
    m = m + m;
    e = e - 1;
  }
  const double s = (m - 1.0) / (m + 1.0);
  const double s2 = s * s;
  // 2 s (1 + s2/3 + s2^2/5 + ... + s2^11/23), by Horner's scheme.
  double series = 1.0 / 23.0;
  for (int i = 21; i >= 1; i -= 2) series = series * s2 + 1.0 / i;
  const double log_m = 2.0 * s * series;
  return e * ln2_hi + (log_m + e * ln2_lo);
}

double gamma(double z) {
  static constexpr double coefficients[9] = {
      0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
      771.32342877765313,   -176.61502916214059,   12.507343278686905,
      -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7};
  constexpr double g = 7.0;
  constexpr double sqrt_two_pi = 2.5066282746310005024;
  // Gamma(z + 1) = sqrt(2 pi) t^(z + 1/2) e^(-t) A(z), t = z + g + 1/2.
  double a = coefficients[0];
  for (int i = 1; i < 9; ++i) a = a + coefficients[i] / (z + i);
  const double t = z + g + 0.5;
  const double gamma_z_plus_1 = sqrt_two_pi * exp((z + 0.5) * log(t) - t) * a;
  return gamma_z_plus_1 / z;
}

}  // namespace exact_math
