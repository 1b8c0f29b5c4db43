// The exact one-dimensional machinery behind the layered references: the
// modes of a layer and its exact two-node stiffness, templated on the real
// type so that the same algorithm can also be evaluated in extended
// precision (the tests do, to bound the rounding of the double one).
//
// A layer's material along one dimension has N components: solid 1, solid
// 3 and, for N = 3, the fluid.  K is its elastic matrix; its friction acts
// only on the relative coordinates r = D U (the slip u1 - u3 and, for
// N = 3, the fluid displacement w), as U^T B U = r^T F r.  The modes solve
// B v = lambda K v:
//   - the locked mode v0 = (1, 1, 0...)/sqrt(Kc), Kc = v0^T K v0 unscaled,
//     has lambda = 0 exactly (B v0 = 0 for every friction matrix), and is
//     set so rather than computed: an eigensolver returns it as a rounding
//     residue of the largest eigenvalue, of either sign, and at high
//     frequency sqrt(i omega lambda) of that residue alters the locked
//     mode's stiffness by omega lambda L^2 / 3 (1e-7 at 1e8 Hz on the
//     bundled examples) and can reverse the sign of the dissipation;
//   - the other N - 1 modes are K-orthogonal to v0; on a basis Q of that
//     complement with D Q = I the friction is F itself, exactly as given,
//     and the modes solve the (N-1)-square problem F z = lambda Q^T K Q z.
#pragma once

#include <Eigen/Dense>
#include <cmath>
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "exact/layered_exact.hpp"

namespace exact_1d {

template <class R>
using Cplx = std::complex<R>;
template <class R, int N>
using Mat = Eigen::Matrix<R, N, N>;
template <class R, int N>
using Vec = Eigen::Matrix<R, N, 1>;
template <class R>
using MatX = Eigen::Matrix<Cplx<R>, Eigen::Dynamic, Eigen::Dynamic>;
template <class R>
using VecX = Eigen::Matrix<Cplx<R>, Eigen::Dynamic, 1>;

// The vertical problem of a layer: (u1, u3, w), F on (u1 - u3, w).
template <class R>
Mat<R, 3> elastic_matrix(const ExactLayer& l) {
  Mat<R, 3> k;
  k << R(l.lambda1) + R(2) * R(l.mu1), R(l.d3) + R(l.mu13), R(l.b1),
       R(l.d3) + R(l.mu13), R(l.lambda3) + R(2) * R(l.mu3), R(l.b2),
       R(l.b1), R(l.b2), R(l.m);
  return k;
}

template <class R>
Mat<R, 2> relative_friction(const ExactLayer& l) {
  Mat<R, 2> f;
  f << R(l.b11), -R(l.b12),
       -R(l.b12), R(l.b22);
  return f;
}

// The two entries a = kappa coth(kappa L), b = -kappa / sinh(kappa L) of a
// mode's two-node stiffness, for kappa^2 = i omega lambda.  With x = kappa L
// they are (x coth x) / L and -(x / sinh x) / L; near x = 0 their series
// keep full accuracy, elsewhere exp(-2x) (|.| < 1, since Re x >= 0) keeps
// them finite however thick the layer.
template <class R>
void mode_stiffness(R omega_lambda, R thickness, Cplx<R>& a, Cplx<R>& b) {
  const Cplx<R> kappa = std::sqrt(Cplx<R>(R(0), omega_lambda));
  const Cplx<R> x = kappa * thickness;
  if (std::abs(x) < R(1e-3)) {
    const Cplx<R> x2 = x * x;
    a = (R(1) + x2 / R(3) - x2 * x2 / R(45)) / thickness;
    b = -(R(1) - x2 / R(6) + R(7) * x2 * x2 / R(360)) / thickness;
    return;
  }
  const Cplx<R> e = std::exp(R(-2) * x);
  a = kappa * (R(1) + e) / (R(1) - e);
  b = -kappa * R(2) * std::exp(-x) / (R(1) - e);
}

// The modes of a layer: K V (V^T K V = I) and the eigenvalues, the locked
// mode first with lambda = 0.
template <class R, int N>
struct Modes {
  bool valid = false;
  Mat<R, N> kv;
  Vec<R, N> lambda;
};

template <class R, int N>
Modes<R, N> layer_modes(const Mat<R, N>& k, const Mat<R, N - 1>& f) {
  Modes<R, N> modes;
  if (Eigen::LLT<Mat<R, N>>(k).info() != Eigen::Success) return modes;
  Vec<R, N> v0 = Vec<R, N>::Zero();
  v0(0) = R(1);
  v0(1) = R(1);
  const Vec<R, N> q = k * v0;
  const R kc = q(0) + q(1);
  // The complement: u1 = 1 (a unit slip) and, for N = 3, w = 1, each less
  // the multiple of v0 that makes it K-orthogonal to v0.
  Eigen::Matrix<R, N, N - 1> basis = Eigen::Matrix<R, N, N - 1>::Zero();
  basis(0, 0) = R(1);
  for (int c = 1; c < N - 1; ++c) basis(c + 1, c) = R(1);
  basis -= v0 * ((q.transpose() * basis) / kc);
  const Mat<R, N - 1> kr = basis.transpose() * k * basis;
  modes.kv.col(0) = q / std::sqrt(kc);
  modes.lambda(0) = R(0);
  if constexpr (N == 2) {
    modes.kv.col(1) = k * basis.col(0) / std::sqrt(kr(0, 0));
    modes.lambda(1) = f(0, 0) / kr(0, 0);
  } else {
    const Eigen::GeneralizedSelfAdjointEigenSolver<Mat<R, N - 1>> solver(f, kr);
    if (solver.info() != Eigen::Success) return modes;
    modes.kv.template rightCols<N - 1>() = k * basis * solver.eigenvectors();
    modes.lambda.template tail<N - 1>() = solver.eigenvalues();
  }
  modes.valid = true;
  return modes;
}

// The exact stiffness of a layer, mapping its end displacements to the end
// tractions [-K U'(0); K U'(L)]: blocks [[same, other], [other, same]].
template <class R, int N>
struct LayerStiffness {
  Eigen::Matrix<Cplx<R>, N, N> same, other;
};

template <class R, int N>
LayerStiffness<R, N> layer_stiffness(const Modes<R, N>& modes, R thickness, R omega) {
  Eigen::Matrix<Cplx<R>, N, 1> a, b;
  for (int j = 0; j < N; ++j) {
    Cplx<R> aj, bj;
    mode_stiffness(omega * modes.lambda(j), thickness, aj, bj);
    a(j) = aj;
    b(j) = bj;
  }
  const Eigen::Matrix<Cplx<R>, N, N> kv = modes.kv.template cast<Cplx<R>>();
  return {kv * a.asDiagonal() * kv.transpose(), kv * b.asDiagonal() * kv.transpose()};
}

// --- The held-bottom test of a layered sample (layered_exact.hpp) ---

template <class R>
struct LayeredTop {
  bool valid = false;
  std::string why;
  Cplx<R> u1, u3;              // vertical displacements of the top
  Cplx<R> stress_integral;     // integral over the height of solid 1's vertical stress
  R height = R(0);
};

template <class R>
LayeredTop<R> layered_top(const std::vector<ExactLayer>& layers, R omega, bool piston) {
  LayeredTop<R> out;
  const int nl = static_cast<int>(layers.size());
  if (nl == 0) {
    out.why = "the sample has no layer";
    return out;
  }
  // Interface i = 0..nl carries (u1, u3, w) as unknowns 3i, 3i+1, 3i+2.
  const int full = 3 * (nl + 1);
  MatX<R> s = MatX<R>::Zero(full, full);
  for (int l = 0; l < nl; ++l) {
    const ExactLayer& layer = layers[static_cast<std::size_t>(l)];
    const Mat<R, 3> k = elastic_matrix<R>(layer);
    if (Eigen::LLT<Mat<R, 3>>(k).info() != Eigen::Success) {
      out.why = "the elastic matrix of layer " + std::to_string(l + 1) + " is not positive definite";
      return out;
    }
    const Modes<R, 3> modes = layer_modes<R, 3>(k, relative_friction<R>(layer));
    if (!modes.valid) {
      out.why = "the modes of layer " + std::to_string(l + 1) + " could not be found";
      return out;
    }
    const LayerStiffness<R, 3> e = layer_stiffness<R, 3>(modes, R(layer.thickness), omega);
    s.template block<3, 3>(3 * l, 3 * l) += e.same;
    s.template block<3, 3>(3 * l + 3, 3 * l + 3) += e.same;
    s.template block<3, 3>(3 * l, 3 * l + 3) += e.other;
    s.template block<3, 3>(3 * l + 3, 3 * l) += e.other;
    out.height += R(layer.thickness);
  }
  // Bottom (interface 0) held; no flow through the top; under the piston
  // the two solids' top displacements are one unknown.
  const int top = 3 * nl;
  std::vector<int> column_of(static_cast<std::size_t>(full), -1);
  int free = 0;
  for (int i = 3; i < full; ++i) {
    if (i == top + 2) continue;
    if (piston && i == top + 1) {
      column_of[static_cast<std::size_t>(i)] = column_of[static_cast<std::size_t>(top)];
      continue;
    }
    column_of[static_cast<std::size_t>(i)] = free++;
  }
  MatX<R> t = MatX<R>::Zero(full, free);
  for (int i = 0; i < full; ++i) {
    if (column_of[static_cast<std::size_t>(i)] >= 0) t(i, column_of[static_cast<std::size_t>(i)]) = R(1);
  }
  VecX<R> load = VecX<R>::Zero(full);
  load(top) = R(-1);      // 1 Pa of compression on solid 1
  load(top + 1) = R(-1);  // and on solid 3
  const MatX<R> reduced = t.transpose() * s * t;
  const VecX<R> u = t * reduced.partialPivLu().solve(t.transpose() * load);
  out.u1 = u(top);
  out.u3 = u(top + 1);
  out.stress_integral = Cplx<R>(R(0));
  for (int l = 0; l < nl; ++l) {
    const ExactLayer& layer = layers[static_cast<std::size_t>(l)];
    const Cplx<R> du1 = u(3 * l + 3) - u(3 * l), du3 = u(3 * l + 4) - u(3 * l + 1), dw = u(3 * l + 5) - u(3 * l + 2);
    out.stress_integral += R(layer.d3) * dw + (R(layer.lambda1) + R(2) * R(layer.mu1)) * du1 + R(layer.mu13) * du3;
  }
  out.valid = true;
  return out;
}

}  // namespace exact_1d
