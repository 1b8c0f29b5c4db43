#include "sweep/effective_tensor.hpp"

#include <cmath>

EffectiveStiffness effective_stiffness(const StressStrainAverages& vertical, const StressStrainAverages& horizontal,
                                       const StressStrainAverages& shear) {
  EffectiveStiffness c;
  c.c11 = horizontal.sigma_xx / horizontal.eps_xx;
  c.c13 = vertical.sigma_xx / vertical.eps_zz;
  c.c13h = horizontal.sigma_zz / horizontal.eps_xx;
  c.c33 = vertical.sigma_zz / vertical.eps_zz;
  c.c55 = shear.sigma_xz / shear.gamma_xz;
  return c;
}

EffectiveStiffness periodic_stiffness(const StressStrainAverages& vertical, const StressStrainAverages& horizontal,
                                      const StressStrainAverages& shear) {
  EffectiveStiffness c;
  c.c11 = horizontal.sigma_xx;
  c.c13h = horizontal.sigma_zz;
  c.c15 = horizontal.sigma_xz;
  c.c13 = vertical.sigma_xx;
  c.c33 = vertical.sigma_zz;
  c.c35 = vertical.sigma_xz;
  c.c51 = shear.sigma_xx;
  c.c53 = shear.sigma_zz;
  c.c55 = shear.sigma_xz;
  c.periodic = true;
  return c;
}

double reciprocity_difference(const EffectiveStiffness& c) {
  double largest = 0.0;
  for (const dcomplex& x : {c.c11, c.c13, c.c13h, c.c33, c.c55, c.c15, c.c35, c.c51, c.c53}) {
    largest = abs(x) > largest ? abs(x) : largest;
  }
  double worst = abs(c.c13 - c.c13h);
  worst = abs(c.c15 - c.c51) > worst ? abs(c.c15 - c.c51) : worst;
  worst = abs(c.c35 - c.c53) > worst ? abs(c.c35 - c.c53) : worst;
  return worst / largest;
}

double c13_difference(const EffectiveStiffness& c) { return abs(c.c13 - c.c13h) / abs(c.c13); }

AngleWaves christoffel_waves(const EffectiveStiffness& c, double rob_med, double angle_degrees) {
  // Exact directions at the ends of the range: sin and cos of pi/2 do not
  // round to 1 and 0.
  const double radians = angle_degrees * (3.141592653589793 / 180.0);
  const double nx = angle_degrees == 90.0 ? 1.0 : angle_degrees == 180.0 ? 0.0 : std::sin(radians);
  const double nz = angle_degrees == 90.0 ? 0.0 : angle_degrees == 180.0 ? -1.0 : std::cos(radians);
  const dcomplex c13 = 0.5 * (c.c13 + c.c13h);
  dcomplex g11 = c.c11 * (nx * nx) + c.c55 * (nz * nz);
  dcomplex g33 = c.c55 * (nx * nx) + c.c33 * (nz * nz);
  dcomplex g13 = (c13 + c.c55) * (nx * nz);
  if (c.periodic) {
    // The couplings of normal strain and shear.
    const dcomplex c15 = 0.5 * (c.c15 + c.c51), c35 = 0.5 * (c.c35 + c.c53);
    const double two_nx_nz = 2.0 * (nx * nz);
    g11 = (c.c11 * (nx * nx) + c15 * two_nx_nz) + c.c55 * (nz * nz);
    g33 = (c.c55 * (nx * nx) + c35 * two_nx_nz) + c.c33 * (nz * nz);
    g13 = (c15 * (nx * nx) + (c13 + c.c55) * (nx * nz)) + c35 * (nz * nz);
  }
  const dcomplex difference = g11 - g33;
  const dcomplex root = sqrt(difference * difference + 4.0 * (g13 * g13));
  const dcomplex m_qp = 0.5 * ((g11 + g33) + root);
  const dcomplex m_qsv = 0.5 * ((g11 + g33) - root);
  AngleWaves waves;
  waves.velocity_qp = 1.0 / reciprocal(sqrt(m_qp / rob_med)).re;
  waves.thousand_over_q_qp = 1000.0 * m_qp.im / m_qp.re;
  waves.velocity_qsv = 1.0 / reciprocal(sqrt(m_qsv / rob_med)).re;
  waves.thousand_over_q_qsv = 1000.0 * m_qsv.im / m_qsv.re;
  return waves;
}

std::int32_t angle_count(double step_degrees, double last) {
  // A step that divides the range to rounding reaches its end itself.
  return static_cast<std::int32_t>(std::floor(last / step_degrees + 1e-9)) + 1;
}

double angle_at(double step_degrees, std::int32_t i, double last) {
  const double angle = static_cast<double>(i) * step_degrees;
  if (std::fabs(angle - 90.0) < 1e-9) return 90.0;
  return std::fabs(angle - last) < 1e-9 ? last : angle;
}
