#include "exact/periodic_stack.hpp"

#include "exact/exact_1d.hpp"

namespace {

dcomplex program_complex(const std::complex<double>& c) { return dcomplex(c.real(), c.imag()); }

}  // namespace

StackStiffness exact_periodic_stack(const std::vector<ExactLayer>& layers, double omega) {
  StackStiffness out;
  const exact_1d::StackModuli<double> m = exact_1d::periodic_stack<double>(layers, omega);
  out.valid = m.valid;
  out.why = m.why;
  if (!m.valid) return out;
  out.c11 = program_complex(m.c11);
  out.c13 = program_complex(m.c13);
  out.c13h = program_complex(m.c13h);
  out.c33 = program_complex(m.c33);
  out.c55 = program_complex(m.c55);
  return out;
}

LayeredLimits exact_periodic_limits(const std::vector<ExactLayer>& layers) {
  LayeredLimits limits;
  if (layers.empty()) return limits;
  double height = 0.0, series = 0.0;
  Eigen::Matrix3d f = Eigen::Matrix3d::Zero();  // sum of L_l K_l^{-1}
  bool locked = true;
  for (const ExactLayer& l : layers) {
    Eigen::Matrix3d k;
    k << l.lambda1 + 2.0 * l.mu1, l.d3 + l.mu13, l.b1,
         l.d3 + l.mu13, l.lambda3 + 2.0 * l.mu3, l.b2,
         l.b1, l.b2, l.m;
    const Eigen::LLT<Eigen::Matrix3d> llt(k);
    if (llt.info() != Eigen::Success) return limits;
    f += l.thickness * llt.solve(Eigen::Matrix3d::Identity());
    series += l.thickness / (k(0, 0) + 2.0 * k(0, 1) + k(1, 1));
    if (!(l.b11 * l.b22 > l.b12 * l.b12)) locked = false;
    height += l.thickness;
  }
  const Eigen::Vector3d jump(height, height, 0.0);
  const Eigen::Vector3d traction = f.fullPivLu().solve(jump);
  limits.relaxed = traction(0) + traction(1);
  limits.relaxed_exists = std::isfinite(limits.relaxed);
  if (locked) {
    limits.unrelaxed = height / series;
    limits.unrelaxed_exists = std::isfinite(limits.unrelaxed);
  }
  return limits;
}
