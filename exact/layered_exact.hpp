// The exact solution of the compressibility test on a horizontally layered
// sample.
//
// When every row of cells is uniform, the two-dimensional test is exactly
// one-dimensional: no quantity varies along x, the horizontal displacements
// and the horizontal fluid flow vanish, and the vertical displacements
// U = (u1, u3, w) of solid 1, solid 3 and the fluid obey, in every layer,
//
//     K U'' = i omega B U,
//
//         | lambda1 + 2 mu1   d3 + mu13         b1 |        |  b11  -b11  -b12 |
//     K = | d3 + mu13         lambda3 + 2 mu3   b2 |,   B = | -b11   b11   b12 |
//         | b1                b2                m  |        | -b12   b12   b22 |
//
// (the elastic energy and the friction of the element matrices, taken along
// one dimension; time dependence exp(+i omega t), no inertia).  With K
// positive definite, B v = lambda K v has real eigenvalues lambda >= 0 and
// K-orthonormal eigenvectors V (V^T K V = I); the modal coordinates
// q = V^T K U decouple into q'' = i omega lambda q.  A mode with
// kappa = sqrt(i omega lambda) has the exact two-node stiffness
//     [-q'(0); q'(L)] = [[a, b], [b, a]] [q(0); q(L)],
//     a = kappa coth(kappa L),  b = -kappa / sinh(kappa L),
// so the exact 6 x 6 stiffness of a layer, mapping the end displacements to
// the end tractions K U', is K V diag(a, b) V^T K blockwise.  The layers are
// assembled at their interfaces (displacements of the three phases
// continuous, tractions in balance), with the bottom held (u1 = u3 = w = 0),
// no flow through the top (w = 0), and the load of the test on the top:
//   split:  -1 Pa on u1 and -1 Pa on u3;
//   piston: u1 = u3 on the top, carrying -2 Pa in total.
//
// Closed-form limits of the work-conjugate modulus
//     Mw = -2 / ((u1_top + u3_top) / (2 L)):
//   relaxed (omega -> 0): the friction vanishes and the static problem
//     K U'' = 0 remains; the tractions T = K U' are the same in every
//     layer, so U_top = F T with F = sum over layers of L_l K_l^{-1}; the
//     fluid traction T3 follows from w_top = 0, and under the piston the
//     split of the load between the solids from u1_top = u3_top;
//   unrelaxed (omega -> infinity): the friction locks the phases
//     (u1 = u3, w = 0) outside boundary layers of vanishing thickness, and
//     each layer stiffens as Kc = K11 + 2 K12 + K22; the layers act in
//     series: Mw = L / sum(L_l / Kc_l), for both loads.  It exists when
//     every layer's friction matrix has rank 2 (b11 b22 > b12^2), so that
//     locking is the only motion without friction.
#pragma once

#include <string>
#include <vector>

#include "common/complex.hpp"

// One layer: its thickness (m) and its coefficients, as in a cell.
struct ExactLayer {
  double thickness;
  double lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;  // Pa
  double b11, b12, b22;                                    // friction
};

// What the exact solution gives, in the test's own terms.
struct LayeredSolution {
  bool valid = false;      // false when a layer's K is not positive definite
  std::string why;         // the reason, when not valid
  dcomplex mw;             // work-conjugate modulus (Pa), from the top displacements
};

// The exact solution at angular frequency omega (rad/s) of the stack
// `layers`, bottom first; `piston` selects the load.
LayeredSolution exact_layered_solution(const std::vector<ExactLayer>& layers, double omega, bool piston);

// The two limits of Mw, with whether each exists in closed form.
struct LayeredLimits {
  bool relaxed_exists = false, unrelaxed_exists = false;
  double relaxed = 0, unrelaxed = 0;  // Pa, real
};
LayeredLimits exact_layered_limits(const std::vector<ExactLayer>& layers, bool piston);
