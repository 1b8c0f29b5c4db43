// Refinement of the small eigenvalues of the plane-wave problem.
//
// Compressional cubic.  The characteristic coefficients c2, c1, c0 of T are
// formed again with the grouping of cautov, but in double-double: every
// product of two entries is exact, every sum keeps its rounding error, so
// c0 = -det T keeps the imaginary part that cancellation removes in double.
// Rounded to double complex, they feed two Newton steps from each Cardano
// root y:
//     f(y)  = ((y + c2)*y + c1)*y + c0
//     f'(y) = (3*y + 2*c2)*y + c1
//     y    <- y - f(y)/f'(y)          (a zero f' ends the iteration)
// Horner's rule makes the error of f(y) relative to |c0| near the small
// root, so the small root comes out with a relative (not absolute) error.
// Policy: the refined root replaces Cardano's only if it is finite and moved
// less than half the distance from its Cardano root to the nearest other
// Cardano root, so no root can jump to another slot.
//
// Shear pair.  The product of the two eigenvalues of the shear block of S is
// its determinant, det(A_s)/det(E_s).  A_s is A_c with the fluid eliminated,
// so det(A_s) = det(A_c)/A_c(2,2) exactly, and det(E_s) = mu1*mu3 -
// (0.5*mu13)^2; both are formed in double-double from the unrounded inputs.
// The larger root is accurate; the smaller one, lost to cancellation in
// 0.5*(tr - r), is replaced by det/larger when that quotient is finite.
// Equal moduli replace mu_minus.
#include "planewave/refine_roots.hpp"

#include <cmath>

namespace {

bool is_finite(dcomplex z) { return std::isfinite(z.re) && std::isfinite(z.im); }

}  // namespace

ComplexDD det3_dd(const dcomplex* a) {
  const auto at = [a](int i, int j) { return a[(j - 1) * 3 + (i - 1)]; };
  const dcomplex a11 = at(1, 1), a12 = at(1, 2), a13 = at(1, 3);
  const dcomplex a21 = at(2, 1), a22 = at(2, 2), a23 = at(2, 3);
  const dcomplex a31 = at(3, 1), a32 = at(3, 2), a33 = at(3, 3);

  return a11 * (exact_product(a22, a33) - exact_product(a23, a32)) -
         a12 * (exact_product(a21, a33) - exact_product(a23, a31)) +
         a13 * (exact_product(a21, a32) - exact_product(a22, a31));
}

void characteristic_dd(const dcomplex* t, dcomplex& c2, dcomplex& c1, dcomplex& c0) {
  const auto at = [t](int i, int j) { return t[(j - 1) * 3 + (i - 1)]; };
  const dcomplex a11 = at(1, 1), a12 = at(1, 2), a13 = at(1, 3);
  const dcomplex a21 = at(2, 1), a22 = at(2, 2), a23 = at(2, 3);
  const dcomplex a31 = at(3, 1), a32 = at(3, 2), a33 = at(3, 3);

  c2 = to_dcomplex(-(to_cdd(a11) + to_cdd(a22) + to_cdd(a33)));
  c1 = to_dcomplex(exact_product(a11, a33) + exact_product(a11, a22) + exact_product(a22, a33) -
                   exact_product(a12, a21) - exact_product(a13, a31) - exact_product(a23, a32));
  c0 = to_dcomplex(-det3_dd(t));
}

void refine_cubic_roots(const dcomplex* t, dcomplex* eig) {
  dcomplex c2, c1, c0;
  characteristic_dd(t, c2, c1, c0);

  dcomplex refined[3];
  for (int r = 0; r < 3; ++r) {
    dcomplex y = eig[r];
    for (int step = 0; step < 2; ++step) {
      const dcomplex fp = (3.0 * y + 2.0 * c2) * y + c1;
      if (fp == dcomplex{}) break;
      const dcomplex f = ((y + c2) * y + c1) * y + c0;
      y = y - f / fp;
    }
    refined[r] = y;
  }

  for (int r = 0; r < 3; ++r) {
    const double to_next = abs(eig[r] - eig[(r + 1) % 3]);
    const double to_other = abs(eig[r] - eig[(r + 2) % 3]);
    const double nearest = to_next < to_other ? to_next : to_other;
    const double moved = abs(refined[r] - eig[r]);
    if (is_finite(refined[r]) && moved < 0.5 * nearest) eig[r] = refined[r];
  }
}

void refine_shear_pair(const dcomplex* a_c, const double& mu1, const double& mu3, const double& mu13,
                       dcomplex& mu_plus, dcomplex& mu_minus) {
  const dcomplex det_a = to_dcomplex(det3_dd(a_c));
  const double half_mu13 = 0.5 * mu13;
  const double e_s = to_double(two_prod(mu1, mu3) - two_prod(half_mu13, half_mu13));
  const dcomplex fluid = a_c[4];  // A_c(2,2)
  const dcomplex d = det_a / (fluid * e_s);

  const bool minus_is_smaller = abs(mu_minus) <= abs(mu_plus);
  dcomplex& smaller = minus_is_smaller ? mu_minus : mu_plus;
  const dcomplex& larger = minus_is_smaller ? mu_plus : mu_minus;
  const dcomplex candidate = d / larger;
  if (is_finite(candidate)) smaller = candidate;
}
