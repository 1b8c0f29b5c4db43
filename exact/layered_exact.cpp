#include "exact/layered_exact.hpp"

#include <Eigen/Dense>
#include <cmath>
#include <complex>
#include <cstddef>

#include "exact/exact_1d.hpp"

namespace {

using cplx = std::complex<double>;
using Mat3 = Eigen::Matrix3d;

Mat3 elastic_matrix(const ExactLayer& l) { return exact_1d::elastic_matrix<double>(l); }

}  // namespace

LayeredSolution exact_layered_solution(const std::vector<ExactLayer>& layers, double omega, bool piston) {
  LayeredSolution out;
  const exact_1d::LayeredTop<double> top = exact_1d::layered_top<double>(layers, omega, piston);
  if (!top.valid) {
    out.why = top.why;
    return out;
  }
  const cplx u1 = top.u1, u3 = top.u3;
  const cplx mw = -2.0 / ((u1 + u3) / (2.0 * top.height));
  out.valid = true;
  out.mw = dcomplex(mw.real(), mw.imag());
  return out;
}

LayeredLimits exact_layered_limits(const std::vector<ExactLayer>& layers, bool piston) {
  LayeredLimits limits;
  if (layers.empty()) return limits;
  double height = 0.0;
  Mat3 f = Mat3::Zero();         // sum of L_l K_l^{-1}
  double series = 0.0;           // sum of L_l / Kc_l
  bool locked = true;
  for (const ExactLayer& layer : layers) {
    const Mat3 k = elastic_matrix(layer);
    const Eigen::LLT<Mat3> llt(k);
    if (llt.info() != Eigen::Success) return limits;
    f += layer.thickness * llt.solve(Mat3::Identity());
    const double kc = k(0, 0) + 2.0 * k(0, 1) + k(1, 1);
    series += layer.thickness / kc;
    if (!(layer.b11 * layer.b22 > layer.b12 * layer.b12)) locked = false;
    height += layer.thickness;
  }
  // Relaxed: U_top = F T with T the (uniform) tractions.  Split: T = (-1,
  // -1, t3) with w_top = 0.  Piston: T = (t1, -2 - t1, t3) with u1_top =
  // u3_top and w_top = 0, two linear equations in t1, t3.
  Eigen::Vector3d traction;
  if (!piston) {
    const double t3 = (f(2, 0) + f(2, 1)) / f(2, 2);
    traction << -1.0, -1.0, t3;
  } else {
    Eigen::Matrix2d a;
    Eigen::Vector2d r;
    // row 1: (F_1. - F_2.) T = 0; row 2: F_3. T = 0, with T2 = -2 - t1.
    a << (f(0, 0) - f(1, 0)) - (f(0, 1) - f(1, 1)), f(0, 2) - f(1, 2),
         f(2, 0) - f(2, 1), f(2, 2);
    r << 2.0 * (f(0, 1) - f(1, 1)), 2.0 * f(2, 1);
    const Eigen::Vector2d x = a.fullPivLu().solve(r);
    traction << x(0), -2.0 - x(0), x(1);
  }
  const Eigen::Vector3d top = f * traction;
  limits.relaxed = -2.0 / ((top(0) + top(1)) / (2.0 * height));
  limits.relaxed_exists = std::isfinite(limits.relaxed);
  if (locked) {
    limits.unrelaxed = height / series;
    limits.unrelaxed_exists = std::isfinite(limits.unrelaxed);
  }
  return limits;
}
