#include "driver/stress_averages.hpp"

#include <cstdint>

namespace {

// The cell averages of the displacement gradient of one solid from its
// vertex values (local vertices 1..4: lower left, lower right, upper right,
// upper left): the integral of a derivative of the bilinear field over the
// cell is h times the mean of its two edge differences.
struct CellGradient {
  dcomplex dux_dx, dux_dz, duz_dx, duz_dz;
};

CellGradient cell_gradient(const dcomplex ux[4], const dcomplex uz[4], double h) {
  const double two_h = 2.0 * h;
  return CellGradient{(ux[1] - ux[0] + ux[2] - ux[3]) / two_h, (ux[3] - ux[0] + ux[2] - ux[1]) / two_h,
                      (uz[1] - uz[0] + uz[2] - uz[3]) / two_h, (uz[3] - uz[0] + uz[2] - uz[1]) / two_h};
}

}  // namespace

StressStrainAverages average_stress_strain(const Deck& deck, const CoefficientMaps& coef, const NodeTable& xnod,
                                           const dcomplex* z, const MacroStrain& imposed) {
  const std::int32_t nx = deck.nx, ny = deck.ny;
  const double h = deck.h;
  // The whole field of a periodic test: the fluctuation plus the affine
  // part (zero in the other tests).
  const bool affine = imposed.exx != 0.0 || imposed.ezz != 0.0 || imposed.gxz != 0.0;
  auto u = [&](std::int32_t c, int s) {
    return affine ? z[xnod(c, s) - 1] + dcomplex(affine_displacement(imposed, s, h), 0.0) : z[xnod(c, s) - 1];
  };
  using namespace slot;
  const dcomplex zero(0.0, 0.0);
  StressStrainAverages sum{zero, zero, zero, zero, zero, zero};
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      const std::int32_t c = (k - 1) * nx + j;
      dcomplex ux1[4], uz1[4], ux3[4], uz3[4];
      for (int v = 0; v < 4; ++v) {
        ux1[v] = u(c, solid1_x(v + 1));
        uz1[v] = u(c, solid1_y(v + 1));
        ux3[v] = u(c, solid3_x(v + 1));
        uz3[v] = u(c, solid3_y(v + 1));
      }
      const CellGradient g1 = cell_gradient(ux1, uz1, h);
      const CellGradient g3 = cell_gradient(ux3, uz3, h);
      const dcomplex xi = (u(c, fluid_right) - u(c, fluid_left) + u(c, fluid_top) - u(c, fluid_bottom)) / h;
      const dcomplex theta1 = g1.dux_dx + g1.duz_dz, theta3 = g3.dux_dx + g3.duz_dz;
      const dcomplex gamma1 = g1.dux_dz + g1.duz_dx, gamma3 = g3.dux_dz + g3.duz_dx;
      const double lambda1 = coef.lambda1(j, k), lambda3 = coef.lambda3(j, k), mu1 = coef.mu1(j, k);
      const double mu3 = coef.mu3(j, k), mu13 = coef.mu13(j, k), d3 = coef.d3(j, k);
      // The isotropic parts of sigma1 and sigma3 (fluid shares included).
      const dcomplex iso1 = lambda1 * theta1 + d3 * theta3 + coef.b1(j, k) * xi;
      const dcomplex iso3 = lambda3 * theta3 + d3 * theta1 + coef.b2(j, k) * xi;
      const dcomplex sxx = (iso1 + 2.0 * mu1 * g1.dux_dx + mu13 * g3.dux_dx) +
                           (iso3 + 2.0 * mu3 * g3.dux_dx + mu13 * g1.dux_dx);
      const dcomplex szz = (iso1 + 2.0 * mu1 * g1.duz_dz + mu13 * g3.duz_dz) +
                           (iso3 + 2.0 * mu3 * g3.duz_dz + mu13 * g1.duz_dz);
      // sigma_xz = 2 mu eps_xz = mu gamma, mu13 eps_xz = (mu13/2) gamma.
      const dcomplex sxz = (mu1 * gamma1 + (mu13 / 2.0) * gamma3) + (mu3 * gamma3 + (mu13 / 2.0) * gamma1);
      sum.sigma_xx += sxx;
      sum.sigma_zz += szz;
      sum.sigma_xz += sxz;
      sum.eps_xx += 0.5 * (g1.dux_dx + g3.dux_dx);
      sum.eps_zz += 0.5 * (g1.duz_dz + g3.duz_dz);
      sum.gamma_xz += 0.5 * (gamma1 + gamma3);
    }
  }
  // Every cell has the same area: the volume average is the cell mean.
  const double cells = static_cast<double>(nx) * static_cast<double>(ny);
  return StressStrainAverages{sum.sigma_xx / cells, sum.sigma_zz / cells, sum.sigma_xz / cells,
                              sum.eps_xx / cells,   sum.eps_zz / cells,   sum.gamma_xz / cells};
}
