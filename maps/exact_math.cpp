#include "maps/exact_math.hpp"

#include <cmath>
#include <limits>

namespace exact_math {

namespace {
constexpr double inv_ln2 = 1.44269504088896338700e+00;
}  // namespace

double exp(double x) {
  if (x != x) return x;
  if (x < -745.2) return 0.0;
  if (x > 709.8) return std::numeric_limits<double>::infinity();
  const double k = std::floor(x * inv_ln2 + 0.5);
  const double r = (x - k * ln2_hi) - k * ln2_lo;
  // Horner's scheme of sum r^i/i!, i = 0..17.
  double p = 1.0 / 355687428096000.0;  // 1/17!
  for (int i = 16; i >= 0; --i) p = p * r + factorial_inverse[i];
  return std::ldexp(p, static_cast<int>(k));
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

double von_karman(double r, double nu) {
  if (r <= 0.0) return 1.0;
  // r^nu K_nu(r) = integral of exp(-r cosh t + nu log r) cosh(nu t): the
  // factor r^nu is taken into the exponent, so that no term overflows
  // where K_nu(r) alone would (a high order at a small lag).  Trapezoidal
  // rule with step 0.05 over the even integrand: half the value at t = 0,
  // then every further node until, past the peak of the exponent at
  // t = asinh(nu/r), the terms fall below e^-745 (they are then zero).
  constexpr double step = 0.05;
  const double log_r_to_nu = nu * log(r);
  const double ratio = nu / r;
  const double peak = log(ratio + std::sqrt(ratio * ratio + 1.0));
  double sum = 0.5 * exp(-r + log_r_to_nu);
  for (int i = 1;; ++i) {
    const double t = i * step;
    const double et = exp(t);
    const double cosh_t = 0.5 * (et + 1.0 / et);
    const double exponent = -r * cosh_t + log_r_to_nu;
    const double term_up = exp(exponent + nu * t);
    const double term_down = exp(exponent - nu * t);
    sum = sum + 0.5 * (term_up + term_down);
    if (t > peak && exponent + nu * t < -745.0) break;
  }
  const double r_to_nu_k_nu = step * sum;
  return exp((1.0 - nu) * ln2_hi + (1.0 - nu) * ln2_lo) / gamma(nu) * r_to_nu_k_nu;
}

}  // namespace exact_math
