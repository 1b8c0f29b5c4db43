// Refinement of the small eigenvalues of the plane-wave problem.
//
// The slowness^2 of the fast waves is 1e4..1e9 times smaller than that of
// the slow (diffusive) waves, so the closed formulas, whose rounding error
// is relative to the largest root, leave the fast wave's attenuation (the
// imaginary part) to noise.  These routines recompute what carries that
// information in double-double and correct the small roots; they change
// only digits that the closed formulas got wrong.
#pragma once

#include "common/complex.hpp"
#include "planewave/double_double.hpp"

// Determinant of a complex 3 x 3 matrix (column-major, leading dimension 3)
// in double-double, expanded along the first row:
//   a11*(a22*a33 - a23*a32) - a12*(a21*a33 - a23*a31) + a13*(a21*a32 - a22*a31).
ComplexDD det3_dd(const dcomplex* a);

// Characteristic coefficients of t (3 x 3, leading dimension 3) in
// double-double, lambda^3 + c2*lambda^2 + c1*lambda + c0, rounded to
// double complex.
void characteristic_dd(const dcomplex* t, dcomplex& c2, dcomplex& c1, dcomplex& c0);

// eig[0..2] holds the Cardano eigenvalues of t on entry and the refined
// ones on return, each in its own slot.
void refine_cubic_roots(const dcomplex* t, dcomplex* eig);

// mu_plus, mu_minus: the eigenvalues of the shear block of S = E^{-1} A on
// entry; on return the smaller-modulus one is replaced by det/larger, with
// det = det(A_c) / (A_c(2,2) * (mu1*mu3 - (0.5*mu13)^2)) the determinant of
// the shear block.  a_c is the compressional block of A (solid 1, fluid,
// solid 3; column-major, leading dimension 3).
void refine_shear_pair(const dcomplex* a_c, const double& mu1, const double& mu3, const double& mu13,
                       dcomplex& mu_plus, dcomplex& mu_minus);
