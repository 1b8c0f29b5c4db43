// The exact effective stiffness of an infinite periodic stack of layers.
//
// The periodic test of the effective stiffness treats the sample as one
// period of an infinite medium: both solids' displacements jump by E.L
// across opposite sides, the fluid displacement is periodic, and the
// volume average of the total stress sigma = sigma1 + sigma3 answers the
// imposed macroscopic strain E.  On a horizontally layered sample this is
// the infinite stack whose period is the given layers (bottom first), and
// each of the three tests is one-dimensional in z over the period H:
//   vertical   (e_zz = 1):      c33 = <s_zz>, c13 = <s_xx>;
//   horizontal (e_xx = 1):      c11 = <s_xx>, c13h = <s_zz>;
//   shear      (gamma_xz = 1):  c55 = <s_xz>.
// In each, the periodic fluctuation of the displacements obeys the layer
// equations K U'' = i omega B U exactly (modes and two-node stiffness as in
// layered_exact.hpp); the shear test's fluid displacement has no stiffness
// and leaves the slip of the solids the friction b11 - b12^2/b22.  The
// total solid tractions T1 + T3 and S1 + S3 are uniform through the stack
// (the friction forces on the two solids cancel).  c13 = c13h to rounding
// (the problems are complex symmetric, and Betti's reciprocity holds).
//
// Limits: omega -> 0 the relaxed static stack (uniform tractions of every
// phase, the pressure equal in all layers); omega -> infinity the Backus
// average of the locked layers (P modulus Kc, shear modulus
// mu1 + mu3 + mu13), when every layer's friction has rank 2.
#pragma once

#include <string>
#include <vector>

#include "common/complex.hpp"
#include "exact/layered_exact.hpp"

// The effective stiffness of the infinite periodic stack (Pa), x horizontal,
// z vertical, Voigt.
struct StackStiffness {
  bool valid = false;
  std::string why;  // the reason, when not valid
  dcomplex c11, c13, c13h, c33, c55;  // c13 = <s_xx>/e_zz (vertical case), c13h = <s_zz>/e_xx (horizontal case)
};

// At angular frequency omega (rad/s), the period `layers` bottom first.
StackStiffness exact_periodic_stack(const std::vector<ExactLayer>& layers, double omega);

// The limits of c33 of the infinite periodic stack, as LayeredLimits of
// the closed-wall test give those of Mw:
//   relaxed (omega -> 0): no friction, so each phase's traction T is the
//     same in every layer, and the displacements' jumps over the period,
//     (F T) with F = sum of L_l K_l^{-1}, are the imposed (H, H, 0): both
//     solids stretch by H e_zz, the fluid displacement is periodic; then
//     c33 = T1 + T3 for e_zz = 1;
//   unrelaxed (omega -> infinity): the locked layers in series,
//     c33 = H / sum(L_l / Kc_l), when every layer's friction has rank 2.
LayeredLimits exact_periodic_limits(const std::vector<ExactLayer>& layers);
