// Eigenvalues of a complex 3 x 3 matrix as the roots of its characteristic
// polynomial lambda^3 + c2*lambda^2 + c1*lambda + c0:
//   c2 = -trace,
//   c1 = the sum of the principal 2 x 2 minors,
//   c0 = -det, expanded along the first row.
// The coefficients are written once, in the grouping that fixes their
// rounding; the cubic is handed to cubeq2 with leading coefficient 1.
#include "planewave/cautov.hpp"

#include "planewave/cubeq2.hpp"

void cautov(const dcomplex* a, dcomplex* eig) {
  const auto at = [a](int i, int j) { return a[(j - 1) * 3 + (i - 1)]; };
  const dcomplex a11 = at(1, 1), a12 = at(1, 2), a13 = at(1, 3);
  const dcomplex a21 = at(2, 1), a22 = at(2, 2), a23 = at(2, 3);
  const dcomplex a31 = at(3, 1), a32 = at(3, 2), a33 = at(3, 3);

  const dcomplex c3(1.0, 0.0);
  const dcomplex c2 = -(a11 + a22 + a33);
  const dcomplex c1 = a11 * a33 + a11 * a22 + a22 * a33 - a12 * a21 - a13 * a31 - a23 * a32;
  const dcomplex c0 = -(a11 * (a22 * a33 - a23 * a32) - a12 * (a21 * a33 - a23 * a31) +
                        a13 * (a21 * a32 - a22 * a31));

  cubeq2(c3, c2, c1, c0, eig[0], eig[1], eig[2]);
}
