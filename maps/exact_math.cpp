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

namespace {

// One group of up to `lanes` arguments (m of them), in vectors of `width`
// doubles (the compiler's vector type: each lane is an IEEE operation of
// its own, rounded as the scalar one is), each phase of exp over all of
// them before the next, so that the polynomials' long chains of dependent
// operations run side by side.  Lanes past m compute e^0, not stored.
//
// The vectors take the arguments of [-707, 709], where k lies in
// [-1021, 1023] (so 2^k is a normal double and p 2^k is exact, as in
// times_two_to) and exp is its polynomial; any other argument (NaN,
// underflow, overflow, a subnormal result) is computed by exp itself.
// k = floor(y) for |y| < 2^31 as the truncation of y to a whole number,
// less one where the truncation lies above y; 2^k from the bits k + 1023
// shifted into the exponent field of a double.
template <int width>
struct Lanes;
template <>
struct Lanes<2> {
  using Vector = double __attribute__((vector_size(16)));
  using Vector64 = long long __attribute__((vector_size(16)));
  using Vector32 = int __attribute__((vector_size(8)));
};
template <>
struct Lanes<4> {
  using Vector = double __attribute__((vector_size(32)));
  using Vector64 = long long __attribute__((vector_size(32)));
  using Vector32 = int __attribute__((vector_size(16)));
};

template <int width, int lanes>
[[gnu::always_inline]] inline void exp_group(const double* x, double* y, int m) {
  using Vector = typename Lanes<width>::Vector;
  using Vector64 = typename Lanes<width>::Vector64;
  using Vector32 = typename Lanes<width>::Vector32;
  constexpr int vectors = lanes / width;
  constexpr double inv_ln2 = 1.44269504088896338700e+00;
  constexpr double whole = 0x1.8p52;  // y + whole holds the whole number y in its low bits
  Vector xv[vectors] = {}, k[vectors], r[vectors], p[vectors];
  std::memcpy(xv, x, sizeof(double) * static_cast<std::size_t>(m));
  Vector64 in_range = Vector64{} - 1;
  for (int j = 0; j < vectors; ++j) {
    in_range &= (xv[j] >= -707.0) & (xv[j] <= 709.0);
    const Vector scaled = xv[j] * inv_ln2 + 0.5;
    const Vector truncated = __builtin_convertvector(__builtin_convertvector(scaled, Vector32), Vector);
    k[j] = truncated - __builtin_bit_cast(Vector, (truncated > scaled) & __builtin_bit_cast(Vector64, Vector{} + 1.0));
    r[j] = (xv[j] - k[j] * ln2_hi) - k[j] * ln2_lo;
    p[j] = (Vector{} + 1.0) / 355687428096000.0;  // 1/17!
  }
  // Horner's scheme, one step over every vector before the next (not
  // unrolled: unrolled, the compiler lays each chain out whole).
#pragma GCC unroll 1
  for (int i = 16; i >= 0; --i) {
    const double c = factorial_inverse[i];
    for (int j = 0; j < vectors; ++j) p[j] = p[j] * r[j] + c;
  }
  for (int j = 0; j < vectors; ++j) {
    p[j] = p[j] * __builtin_bit_cast(Vector, __builtin_bit_cast(Vector64, (k[j] + 1023.0) + whole) << 52);
  }
  std::memcpy(y, p, sizeof(double) * static_cast<std::size_t>(m));
  bool all_in_range = true;
  for (int i = 0; i < width; ++i) all_in_range = all_in_range && in_range[i] != 0;
  if (all_in_range) return;
  for (int j = 0; j < m; ++j) {
    if (!(x[j] >= -707.0 && x[j] <= 709.0)) y[j] = exp(x[j]);
  }
}

// Groups of 64 arguments (more chains side by side), the last one of 32
// when no more remain.
template <int width>
[[gnu::always_inline]] inline void exp_groups(const double* x, double* y, int n) {
  for (int first = 0; first < n; first += 64) {
    const int m = std::min(64, n - first);
    if (m > 32) {
      exp_group<width, 64>(x + first, y + first, m);
    } else {
      exp_group<width, 32>(x + first, y + first, m);
    }
  }
}

}  // namespace

void exp_each_in_pairs(const double* x, double* y, int n) { exp_groups<2>(x, y, n); }

#if defined(__x86_64__)
__attribute__((target("avx2"))) void exp_each_in_fours(const double* x, double* y, int n) { exp_groups<4>(x, y, n); }

bool fours_available() { return __builtin_cpu_supports("avx2"); }
#else
void exp_each_in_fours(const double* x, double* y, int n) { exp_each_in_pairs(x, y, n); }

bool fours_available() { return false; }
#endif

void exp_each(const double* x, double* y, int n) {
  if (fours_available()) {
    exp_each_in_fours(x, y, n);
  } else {
    exp_each_in_pairs(x, y, n);
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
