// The von Karman correlation c(r) = 2^(1-nu)/Gamma(nu) r^nu K_nu(r) of a
// scaled lag r, by a quadrature made of exact_math's operations alone, so
// that a map has the same bytes on every x86-64 machine.
//
// K_nu(r) = integral over t from 0 to infinity of exp(-r cosh t) cosh(nu t).
// The factor r^nu is taken into the exponent, so that no term overflows
// where K_nu(r) alone would (a high order at a small lag):
//
//   r^nu K_nu(r) = integral of (exp(a_up(t)) + exp(a_down(t))) / 2,
//   a_up(t), a_down(t) = -r cosh t + nu log r +- nu t.
//
// The trapezoidal rule converges geometrically for this analytic,
// doubly-exponentially decaying integrand; with step 0.05 over the even
// integrand it is half the value at t = 0 plus the value at every node
// t_i = 0.05 i, added in node order, until past the peak of a_up at
// t = asinh(nu/r) a_up falls below -745 (the terms are then zero).  The
// order of the additions is part of the values the cached correlations and
// the maps of existing studies are made of.
#pragma once

#include <vector>

namespace exact_math {

// c(r) at one lag by the rule above, node after node: the definition that
// VonKarmanCorrelation reproduces bit for bit.  1 at r = 0, 0 at r =
// infinity.  The rule ends for every r, and is accurate for r >= 1e-300:
// below, the peak of the integrand lies where cosh t overflows.
double von_karman(double r, double nu);

// c(r) of one order nu at many lags, each value the bits of
// von_karman(r, nu), at a fraction of its cost.
//
// Why it rounds like the plain rule:
//  (1) cosh t_i, the same at every lag, is tabulated once by the plain
//      rule's own operations, and so is the factor 2^(1-nu)/Gamma(nu).  The
//      table reaches t = 750, past every node a lag r >= 1e-300 reaches (the
//      peak lies below t = 696 and cosh overflows at t = 710); a node beyond
//      it is computed as the plain rule computes it.
//  (2) The nodes are taken 32 at a time: their exponents first, then
//      their exponentials at once (exp_each, the same bits as exp), then the
//      terms added to the sum in node order.  The end of the rule is the same
//      test on the same exponent.
//  (3) A node whose term cannot change the sum is not evaluated.  Adding
//      x >= 0 to a sum s >= 0 gives back s when x < g/2, g = 2^s' the gap
//      from s to the next double above it: the exact sum lies below the
//      midpoint s + g/2.  At the midpoint itself the tie rounds to even,
//      upwards when s is odd, so the bound must be strict.  With
//      e = exp_bound_exponent(a_up): exp(a_up) <= 2^e; a_down <= a_up as
//      computed (the same exponent minus, not plus, nu t), so exp(a_down)
//      <= 2^e too, and the term (up + down)/2 <= 2^e.  A node with
//      e <= s' - 2 has a term <= g/4 < g/2.  Every term is >= 0, so the sum
//      and its gap never decrease: a node negligible against the sum at the
//      start of its block is negligible where it would have been added.
//      The bound never decreases with a_up, so the test is a comparison of
//      a_up with a value where it holds.  Past the peak the terms fall
//      doubly exponentially, and the last nodes of the rule cost a few
//      operations each.
//  (4) Likewise a down term below half the gap above its node's up term
//      leaves up + down = up, and is not evaluated (down_negligible in
//      von_karman.cpp): a high order's down terms past t = 20/nu.
// The object is only read: several threads may evaluate lags at once.
class VonKarmanCorrelation {
 public:
  explicit VonKarmanCorrelation(double nu, int tabulated_nodes = 15001);

  double operator()(double r) const;

 private:
  double cosh_at(int i) const;

  double nu_;
  double scale_;               // 2^(1-nu)/Gamma(nu)
  std::vector<double> cosh_;   // cosh t_i, i = 0..tabulated_nodes-1
};

}  // namespace exact_math
