// Cardano's formula for the complex cubic a3*x^3 + a2*x^2 + a1*x + a0 = 0.
//
// With x = t - b, b = a2/(3*a3), the cubic becomes the depressed cubic
// t^3 + p*t + q = 0.  With h = sqrt((p/3)^3 + (q/2)^2) and w = h - q/2, the
// three cube roots u_k of w (modulus rho = |w|^(1/3), arguments theta_k =
// arg(w)/3 + (k-1)*2*pi/3) give t_k = u_k - (p/3)/u_k.
//
// Every formula below is written once, in the grouping that fixes its
// rounding: a third is the product by the double 0.3333333333333333, a half
// the product by 0.5, and integer powers are repeated products.
//
// Degenerate branch (w = 0, where the formula would divide by rho = 0):
//   (1) w = h - q/2 vanishes while q != 0: then h = q/2 and the other sign
//       of the square root, w = -h - q/2 = -q, gives the same three roots;
//   (2) both signs vanish: then q = 0 and (p/3)^3 is zero in floating
//       point, so the depressed cubic is t*(t^2 + p) = 0 with the roots
//       t = 0, +sqrt(-p), -sqrt(-p); for p = 0 this is the triple root -b.
// So the caller gets three finite roots whenever the cubic has them.
#include "planewave/cubeq2.hpp"

#include <cmath>

namespace {
constexpr double one_third = 0.3333333333333333;
constexpr double one_half = 0.5;
constexpr double two_pi_over_3 = 2.0943951023931953;
}  // namespace

void cubeq2(const dcomplex& a3, const dcomplex& a2, const dcomplex& a1, const dcomplex& a0,
            dcomplex& x1, dcomplex& x2, dcomplex& x3) {
  // --- Reduction to the depressed cubic t^3 + p*t + q = 0 ---
  const dcomplex b = (a2 * one_third) / a3;
  const dcomplex p = a1 / a3 - (a2 / a3) * ((a2 / a3) * one_third);
  const dcomplex q = 2.0 * cube(b) - a2 * ((a1 * one_third) / (a3 * a3)) + a0 / a3;

  const dcomplex p3 = p * one_third;
  const dcomplex h = sqrt(cube(p3) + square(q * one_half));
  dcomplex w = h - q * one_half;
  if (w == dcomplex{}) w = -h - q * one_half;  // degenerate branch (1)

  if (w == dcomplex{}) {  // degenerate branch (2): q = 0
    const dcomplex r = sqrt(-p);
    x1 = -b;
    x2 = r - b;
    x3 = -r - b;
    return;
  }

  // --- The three cube roots of w ---
  const double rho = std::pow(abs(w), one_third);
  const double theta1 = std::atan2(w.im, w.re) * one_third;
  const double theta2 = theta1 + two_pi_over_3;
  const double theta3 = theta2 + two_pi_over_3;

  // x_k = u_k - (p/3)*conj(e^{i theta_k})/rho - b, that is u_k - (p/3)/u_k - b.
  const auto root = [&](double theta) {
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const dcomplex u = rho * dcomplex(c, s);
    return u - (p3 * dcomplex(c, -s)) / rho - b;
  };
  x1 = root(theta1);
  x2 = root(theta2);
  x3 = root(theta3);
}
