#include "exact/layered_exact.hpp"

#include <Eigen/Dense>
#include <cmath>
#include <complex>
#include <cstddef>

namespace {

using cplx = std::complex<double>;
using Mat3 = Eigen::Matrix3d;
using MatX = Eigen::MatrixXcd;
using VecX = Eigen::VectorXcd;

Mat3 elastic_matrix(const ExactLayer& l) {
  Mat3 k;
  k << l.lambda1 + 2.0 * l.mu1, l.d3 + l.mu13, l.b1,
       l.d3 + l.mu13, l.lambda3 + 2.0 * l.mu3, l.b2,
       l.b1, l.b2, l.m;
  return k;
}

Mat3 friction_matrix(const ExactLayer& l) {
  Mat3 b;
  b << l.b11, -l.b11, -l.b12,
       -l.b11, l.b11, l.b12,
       -l.b12, l.b12, l.b22;
  return b;
}

// The two entries a = kappa coth(kappa L), b = -kappa / sinh(kappa L) of a
// mode's two-node stiffness, for kappa^2 = i omega lambda.  With x = kappa L
// they are (x coth x) / L and -(x / sinh x) / L; near x = 0 their series
// keep full accuracy, elsewhere exp(-2x) (|.| < 1, since Re x >= 0) keeps
// them finite however thick the layer.
void mode_stiffness(double omega_lambda, double thickness, cplx& a, cplx& b) {
  const cplx kappa = std::sqrt(cplx(0.0, omega_lambda));
  const cplx x = kappa * thickness;
  if (std::abs(x) < 1e-3) {
    const cplx x2 = x * x;
    a = (1.0 + x2 / 3.0 - x2 * x2 / 45.0) / thickness;
    b = -(1.0 - x2 / 6.0 + 7.0 * x2 * x2 / 360.0) / thickness;
    return;
  }
  const cplx e = std::exp(-2.0 * x);
  a = kappa * (1.0 + e) / (1.0 - e);
  b = -kappa * 2.0 * std::exp(-x) / (1.0 - e);
}

// The modal data of a layer: V with V^T K V = I and B V = K V diag(lambda).
struct LayerModes {
  bool valid = false;
  Mat3 k, kv;       // K and K V
  Eigen::Vector3d lambda;
};

LayerModes layer_modes(const ExactLayer& layer) {
  LayerModes modes;
  modes.k = elastic_matrix(layer);
  const Eigen::GeneralizedSelfAdjointEigenSolver<Mat3> solver(friction_matrix(layer), modes.k);
  if (solver.info() != Eigen::Success) return modes;
  modes.kv = modes.k * solver.eigenvectors();
  modes.lambda = solver.eigenvalues();
  modes.valid = true;
  return modes;
}

bool positive_definite(const Mat3& k) { return Eigen::LLT<Mat3>(k).info() == Eigen::Success; }

}  // namespace

LayeredSolution exact_layered_solution(const std::vector<ExactLayer>& layers, double omega, bool piston) {
  LayeredSolution out;
  const int nl = static_cast<int>(layers.size());
  if (nl == 0) {
    out.why = "the sample has no layer";
    return out;
  }
  // --- The layers' exact stiffness, assembled at the interfaces ---
  // Interface i = 0..nl carries (u1, u3, w) as unknowns 3i, 3i+1, 3i+2.
  const int full = 3 * (nl + 1);
  MatX s = MatX::Zero(full, full);
  double height = 0.0;
  for (int l = 0; l < nl; ++l) {
    const ExactLayer& layer = layers[static_cast<std::size_t>(l)];
    if (!positive_definite(elastic_matrix(layer))) {
      out.why = "the elastic matrix of layer " + std::to_string(l + 1) + " is not positive definite";
      return out;
    }
    const LayerModes modes = layer_modes(layer);
    if (!modes.valid) {
      out.why = "the modes of layer " + std::to_string(l + 1) + " could not be found";
      return out;
    }
    Eigen::Vector3cd a, b;
    for (int j = 0; j < 3; ++j) {
      cplx aj, bj;
      mode_stiffness(omega * modes.lambda(j), layer.thickness, aj, bj);
      a(j) = aj;
      b(j) = bj;
    }
    const Eigen::Matrix3cd kv = modes.kv.cast<cplx>();
    const Eigen::Matrix3cd s_same = kv * a.asDiagonal() * kv.transpose();
    const Eigen::Matrix3cd s_other = kv * b.asDiagonal() * kv.transpose();
    s.block<3, 3>(3 * l, 3 * l) += s_same;
    s.block<3, 3>(3 * l + 3, 3 * l + 3) += s_same;
    s.block<3, 3>(3 * l, 3 * l + 3) += s_other;
    s.block<3, 3>(3 * l + 3, 3 * l) += s_other;
    height += layer.thickness;
  }

  // --- Boundary conditions as a map T from the free unknowns to all ---
  // Bottom (interface 0) held; no flow through the top; under the piston
  // the two solids' top displacements are one unknown.
  const int top = 3 * nl;
  std::vector<int> column_of(static_cast<std::size_t>(full), -1);
  int free = 0;
  for (int i = 3; i < full; ++i) {
    if (i == top + 2) continue;                                        // w on the top
    if (piston && i == top + 1) {
      column_of[static_cast<std::size_t>(i)] = column_of[static_cast<std::size_t>(top)];
      continue;
    }
    column_of[static_cast<std::size_t>(i)] = free++;
  }
  MatX t = MatX::Zero(full, free);
  for (int i = 0; i < full; ++i) {
    if (column_of[static_cast<std::size_t>(i)] >= 0) t(i, column_of[static_cast<std::size_t>(i)]) = 1.0;
  }
  VecX load = VecX::Zero(full);
  load(top) = -1.0;      // 1 Pa of compression on solid 1
  load(top + 1) = -1.0;  // and on solid 3
  const MatX reduced = t.transpose() * s * t;
  const VecX q = reduced.partialPivLu().solve(t.transpose() * load);
  const VecX u = t * q;

  // --- The test's results ---
  const cplx u1 = u(top), u3 = u(top + 1);
  cplx stress_integral = 0.0;  // integral over the height of solid 1's vertical stress
  for (int l = 0; l < nl; ++l) {
    const ExactLayer& layer = layers[static_cast<std::size_t>(l)];
    const cplx du1 = u(3 * l + 3) - u(3 * l), du3 = u(3 * l + 4) - u(3 * l + 1), dw = u(3 * l + 5) - u(3 * l + 2);
    stress_integral += layer.d3 * dw + (layer.lambda1 + 2.0 * layer.mu1) * du1 + layer.mu13 * du3;
  }
  const cplx mw = -2.0 / ((u1 + u3) / (2.0 * height));
  const cplx mstar = -height / u1;
  const cplx c33 = stress_integral / u1;
  out.valid = true;
  out.u1_top = dcomplex(u1.real(), u1.imag());
  out.u3_top = dcomplex(u3.real(), u3.imag());
  out.mw = dcomplex(mw.real(), mw.imag());
  out.mstar = dcomplex(mstar.real(), mstar.imag());
  out.c33 = dcomplex(c33.real(), c33.imag());
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
