// local_sys: the complex element matrix and element load of one cell of the
// harmonic compressibility test.
//
// In:  the cell (j,k) of an nx x ny mesh (nx, ny only tell which sides of
//      the sample the cell touches), the angular frequency omega, the cell
//      side h, and the cell's coefficients: elastic lambda1 .. d3 (Pa), mass
//      p11 .. p33 (unused: the test has no inertial term) and friction
//      b11, b12, b22.
// Out: a_el(s,t), row = local test slot s, column = local unknown slot t
//      (slot order of global_numbering), and the load rhs_el(s). Every entry
//      of both is written on every call.
//
// The real part is the stiffness of the three-phase medium, the imaginary
// part i*omega*h^2 times the friction between the phases. The left, right
// and bottom sides hold the normal displacement of both solids, all four
// sides are closed to the fluid; the top row carries a compressive normal
// traction of 1 Pa on both solids.
//
// The appended argument `test` chooses the other harmonic tests of the
// sample (fem/global_numbering.hpp, HarmonicTest); its default, the vertical
// test, is the one above.  All four sides stay closed to the fluid:
//   horizontal: x held on the left, y held on the top and bottom; the right
//       side carries a compressive normal traction of 1 Pa on both solids
//       (nodal loads -h/2 on their x displacements);
//   shear: x and y held on the bottom, y held on the left, right and top;
//       the top carries a tangential traction of 1 Pa in +x on both solids
//       (nodal loads +h/2 on their x displacements).
#pragma once

#include <array>
#include <cstdint>

#include "common/complex.hpp"
#include "fem/global_numbering.hpp"

// 20 x 20 element matrix, column-major, 1-based (s,t) access.
struct ElementMatrix {
  static constexpr int order = 20;
  std::array<dcomplex, order * order> data;

  dcomplex& operator()(int s, int t) { return data[(t - 1) * order + (s - 1)]; }
  const dcomplex& operator()(int s, int t) const { return data[(t - 1) * order + (s - 1)]; }
};

// 20-entry element load, 1-based access.
struct ElementVector {
  static constexpr int order = 20;
  std::array<dcomplex, order> data;

  dcomplex& operator()(int s) { return data[s - 1]; }
  const dcomplex& operator()(int s) const { return data[s - 1]; }
};

void local_sys(const std::int32_t& j, const std::int32_t& k, const std::int32_t& nx,
               const std::int32_t& ny, const double& omega, const double& h,
               const double& lambda1, const double& lambda3, const double& mu1,
               const double& mu3, const double& mu13, const double& b1, const double& b2,
               const double& m, const double& d3, const double& p11, const double& p12,
               const double& p13, const double& p22, const double& p23, const double& p33,
               const double& b11, const double& b12, const double& b22, ElementMatrix& a_el,
               ElementVector& rhs_el, HarmonicTest test = HarmonicTest::vertical);
