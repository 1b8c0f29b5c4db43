#include "maps/von_karman.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "maps/exact_math.hpp"

namespace exact_math {

namespace {

constexpr double step = 0.05;

// The value at r = 0 (1), at an infinite lag (0) and at a NaN (itself),
// where the rule is not used.
bool outside_rule(double r, double& value) {
  if (r <= 0.0) {
    value = 1.0;
    return true;
  }
  if (!(r <= std::numeric_limits<double>::max())) {
    value = r == r ? 0.0 : r;
    return true;
  }
  return false;
}

// What the rule needs of a lag: r^nu as the term nu log r of the exponent,
// and the peak of a_up, t = asinh(nu/r).  Where (nu/r)^2 would overflow
// (r below 1e-154 or so), asinh(x) = log(2x) to double precision, taken as
// log nu - log r + log 2 so that nu/r itself need not be finite.
struct Lag {
  double log_r_to_nu, peak;
};

Lag lag_of(double r, double nu) {
  const double ratio = nu / r;
  const double square = ratio * ratio + 1.0;
  const double peak = square <= std::numeric_limits<double>::max()
                          ? log(ratio + std::sqrt(square))
                          : (log(nu) - log(r)) + (ln2_hi + ln2_lo);
  return {nu * log(r), peak};
}

// 2^(1-nu)/Gamma(nu), the factor that makes c(0) = 1.
double scale_of(double nu) { return exp((1.0 - nu) * ln2_hi + (1.0 - nu) * ln2_lo) / gamma(nu); }

// cosh t_i from e^t_i.
double cosh_of_node(int i) {
  const double et = exp(i * step);
  return 0.5 * (et + 1.0 / et);
}

// The exponent s' of the gap 2^s' from a sum s >= 0 to the next double
// above it: 52 binary places below the leading one of a normal number,
// 2^-1074 among the subnormal numbers and at zero.
int gap_exponent(double sum) {
  if (!(sum >= std::numeric_limits<double>::min())) return -1074;
  return static_cast<int>(std::bit_cast<std::uint64_t>(sum) >> 52) - 1023 - 52;
}

// Whether the down term of a node cannot change up + down.  With
// e = exp_bound_exponent and k = e - 1 the scaling of exp's reduction:
// up = p 2^k_up with p >= 0.7 > 1/2, a normal number for a_up >= -700, so
// the gap above it is at least 2^(k_up - 53), and down <= 2^(k_down + 1)
// lies below half that gap (no tie: the sum rounds back to up) when
// k_up - k_down >= 56.  k = floor(x/ln2 + 1/2) to within 1e-12 for these
// x, so a_up - a_down >= 40 (57.7 ln2) makes k_up - k_down > 56.7 - 1e-12,
// that is >= 57.  A high order's down term is such past t = 20/nu.
bool down_negligible(double a_up, double a_down) { return a_up >= -700.0 && a_up - a_down >= 40.0; }

}  // namespace

double von_karman(double r, double nu) {
  double value = 0;
  if (outside_rule(r, value)) return value;
  const Lag lag = lag_of(r, nu);
  double sum = 0.5 * exp(-r + lag.log_r_to_nu);
  for (int i = 1;; ++i) {
    const double t = i * step;
    const double et = exp(t);
    const double cosh_t = 0.5 * (et + 1.0 / et);
    const double exponent = -r * cosh_t + lag.log_r_to_nu;
    const double term_up = exp(exponent + nu * t);
    const double term_down = exp(exponent - nu * t);
    sum = sum + 0.5 * (term_up + term_down);
    if (t > lag.peak && exponent + nu * t < -745.0) break;
  }
  return scale_of(nu) * (step * sum);
}

VonKarmanCorrelation::VonKarmanCorrelation(double nu, int tabulated_nodes)
    : nu_(nu), scale_(scale_of(nu)), cosh_(static_cast<std::size_t>(std::max(tabulated_nodes, 1))) {
  for (std::size_t i = 0; i < cosh_.size(); ++i) cosh_[i] = cosh_of_node(static_cast<int>(i));
}

double VonKarmanCorrelation::cosh_at(int i) const {
  return static_cast<std::size_t>(i) < cosh_.size() ? cosh_[static_cast<std::size_t>(i)] : cosh_of_node(i);
}

double VonKarmanCorrelation::operator()(double r) const {
  double value = 0;
  if (outside_rule(r, value)) return value;
  const Lag lag = lag_of(r, nu_);
  double sum = 0.5 * exp(-r + lag.log_r_to_nu);
  constexpr int block = 32;
  double beyond_table[block], up[block], down[block], arguments[2 * block], terms[2 * block];
  int down_taken[block];
  int negligible = std::numeric_limits<int>::min();
  double negligible_below = -std::numeric_limits<double>::infinity();
  for (int first = 1;; first += block) {
    // --- The exponents of the block's nodes ---
    const double* cosh_t = cosh_.data() + first;
    if (static_cast<std::size_t>(first) + block > cosh_.size()) {
      for (int j = 0; j < block; ++j) beyond_table[j] = cosh_at(first + j);
      cosh_t = beyond_table;
    }
    for (int j = 0; j < block; ++j) {
      const double t = (first + j) * step;
      const double exponent = -r * cosh_t[j] + lag.log_r_to_nu;
      up[j] = exponent + nu_ * t;
      down[j] = exponent - nu_ * t;
    }
    // --- The end of the rule, if it falls among them ---
    int count = block;
    bool end = false;
    if ((first + block - 1) * step > lag.peak) {
      for (int j = 0; j < block && !end; ++j) {
        end = (first + j) * step > lag.peak && up[j] < -745.0;
        count = j + 1;
      }
    }
    // --- The exponentials of the nodes that can change the sum ---
    // A node is negligible when exp_bound_exponent(up) <= negligible; that
    // bound never decreases with up, so every up <= negligible_below, a
    // value where it holds, is negligible too.
    const int gap = gap_exponent(sum) - 2;
    if (gap != negligible) {
      negligible = gap;
      negligible_below = (negligible - 1.5) * (ln2_hi + ln2_lo);
      if (exp_bound_exponent(negligible_below) > negligible) negligible_below = -std::numeric_limits<double>::infinity();
    }
    // --- Their exponentials, and their terms added in node order as the
    //     plain rule adds them: two by two, or where some down term cannot
    //     change its node's term, without those ---
    // (Both searches skipped where they cannot find anything: up - down is
    // about 2 nu t, and the terms before the peak are not negligible.)
    bool downs_left_out = false;
    if (2.0 * nu_ * ((first + block - 1) * step) >= 39.0) {
      for (int j = 0; j < count; ++j) downs_left_out = downs_left_out || down_negligible(up[j], down[j]);
    }
    int taken = 0;
    if (!downs_left_out) {
      bool all_count = true;
      for (int j = 0; j < count; ++j) all_count &= up[j] > negligible_below;
      if (all_count) {
        for (int j = 0; j < count; ++j) {
          arguments[2 * j] = up[j];
          arguments[2 * j + 1] = down[j];
        }
        taken = count;
      } else {
        for (int j = 0; j < count; ++j) {
          arguments[2 * taken] = up[j];
          arguments[2 * taken + 1] = down[j];
          taken += up[j] > negligible_below ? 1 : 0;
        }
      }
      exp_each(arguments, terms, 2 * taken);
      for (int j = 0; j < taken; ++j) sum = sum + 0.5 * (terms[2 * j] + terms[2 * j + 1]);
    } else {
      int evaluated = 0;
      for (int j = 0; j < count; ++j) {
        arguments[evaluated] = up[j];
        arguments[evaluated + 1] = down[j];
        const int node = up[j] > negligible_below ? 1 : 0;
        const int with_down = node & (down_negligible(up[j], down[j]) ? 0 : 1);
        down_taken[taken] = with_down;
        taken += node;
        evaluated += node + with_down;
      }
      exp_each(arguments, terms, evaluated);
      for (int j = 0, e = 0; j < taken; ++j) {
        const double term_down = down_taken[j] != 0 ? terms[e + 1] : 0.0;
        sum = sum + 0.5 * (terms[e] + term_down);
        e += 1 + down_taken[j];
      }
    }
    if (end) break;
  }
  return scale_ * (step * sum);
}

}  // namespace exact_math
