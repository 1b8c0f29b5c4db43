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

// The shear problem of a layer: (u1x, u3x).  Shear strain moves no fluid
// volume (div w = dwx/dx = 0), so the fluid's x displacement has no
// stiffness and settles where its friction vanishes, wx = (b12/b22)
// (u1x - u3x); what remains of the friction on the slip is b11 - b12^2/b22.
// The energy mu1 g1^2 + mu3 g3^2 + mu13 g1 g3 (g the engineering shear
// strain of each solid) gives the elastic matrix.
template <class R>
Mat<R, 2> shear_elastic_matrix(const ExactLayer& l) {
  Mat<R, 2> k;
  k << R(l.mu1), R(l.mu13) / R(2),
       R(l.mu13) / R(2), R(l.mu3);
  return k;
}

template <class R>
Mat<R, 1> shear_friction(const ExactLayer& l) {
  Mat<R, 1> f;
  f(0, 0) = l.b22 > 0.0 ? R(l.b11) - R(l.b12) * R(l.b12) / R(l.b22) : R(l.b11);
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
  Cplx<R> u1, u3;  // vertical displacements of the top
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
  out.valid = true;
  return out;
}

// --- The infinite periodic stack (periodic_stack.hpp) ---

// The periodic fluctuation U of one period: every layer l carries the
// traction K_l U' + t0_l, U(H) = U(0), tractions in balance at every
// interface (the top of the period against its bottom too).  Returns the
// mean gradient (U(top) - U(bottom)) / L_l of every layer, which is the
// exact layer average of U'.  The common translation of the solids (the
// locked mode, which nothing resists) is fixed by u1 = 0 at the bottom;
// the uniform slip and fluid displacement are left to the friction.
template <class R, int N>
bool periodic_mean_gradients(const std::vector<Modes<R, N>>& modes, const std::vector<R>& thickness,
                             const std::vector<Vec<R, N>>& t0, R omega,
                             std::vector<Eigen::Matrix<Cplx<R>, N, 1>>& gradient) {
  const int nl = static_cast<int>(modes.size());
  const int n = N * nl;
  MatX<R> s = MatX<R>::Zero(n, n);
  VecX<R> g = VecX<R>::Zero(n);  // the end forces of the constant tractions
  for (int l = 0; l < nl; ++l) {
    const std::size_t ul = static_cast<std::size_t>(l);
    const LayerStiffness<R, N> e = layer_stiffness<R, N>(modes[ul], thickness[ul], omega);
    const int lo = N * l, hi = N * ((l + 1) % nl);
    s.template block<N, N>(lo, lo) += e.same;
    s.template block<N, N>(hi, hi) += e.same;
    s.template block<N, N>(lo, hi) += e.other;
    s.template block<N, N>(hi, lo) += e.other;
    g.template segment<N>(lo) -= t0[ul].template cast<Cplx<R>>();
    g.template segment<N>(hi) += t0[ul].template cast<Cplx<R>>();
  }
  // Balance S U + g = 0 with u1 of interface 0 held at zero.
  const MatX<R> reduced = s.bottomRightCorner(n - 1, n - 1);
  const VecX<R> rhs = -g.tail(n - 1);
  const Eigen::PartialPivLU<MatX<R>> lu(reduced);
  VecX<R> u = VecX<R>::Zero(n);
  u.tail(n - 1) = lu.solve(rhs);
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(std::abs(u(i)))) return false;
  }
  gradient.assign(static_cast<std::size_t>(nl), Eigen::Matrix<Cplx<R>, N, 1>::Zero());
  for (int l = 0; l < nl; ++l) {
    const int lo = N * l, hi = N * ((l + 1) % nl);
    gradient[static_cast<std::size_t>(l)] =
        (u.template segment<N>(hi) - u.template segment<N>(lo)) / thickness[static_cast<std::size_t>(l)];
  }
  return true;
}

template <class R>
struct StackModuli {
  bool valid = false;
  std::string why;
  Cplx<R> c11, c13, c13h, c33, c55;
};

// The three tests of the effective stiffness on the periodic stack.
//   vertical (e_zz = 1): the affine part is u1z = u3z = z, which strains
//     the layer by K (1, 1, 0) and rubs nothing (B (1, 1, 0) = 0);
//     c33 = <s_zz> = <T1 + T3>, c13 = <s_xx>;
//   horizontal (e_xx = 1): u1x = u3x = x adds the constant tractions
//     h = (lambda1 + d3, lambda3 + d3, b1 + b2) to (T1, T3, Tw), and to
//     s_xx the terms h . (theta1, theta3, xi) + 2 (mu1 + mu3 + mu13);
//     c11 = <s_xx>, c13h = <s_zz>;
//   shear (gamma_xz = 1): u = (z/2, x/2) for both solids; S = K_s (g1, g3)
//     with g = 1 + u'; c55 = <S1 + S3>.
// Every average is over the period of a quantity linear in U', so the
// layers' exact mean gradients give it exactly.
template <class R>
StackModuli<R> periodic_stack(const std::vector<ExactLayer>& layers, R omega) {
  StackModuli<R> out;
  const std::size_t nl = layers.size();
  if (nl == 0) {
    out.why = "the stack has no layer";
    return out;
  }
  std::vector<Modes<R, 3>> modes(nl);
  std::vector<Modes<R, 2>> shear_modes(nl);
  std::vector<R> thickness(nl);
  std::vector<Vec<R, 3>> t_vertical(nl), t_horizontal(nl);
  std::vector<Vec<R, 2>> t_shear(nl);
  R height = R(0);
  for (std::size_t l = 0; l < nl; ++l) {
    const ExactLayer& layer = layers[l];
    const Mat<R, 3> k = elastic_matrix<R>(layer);
    const Mat<R, 2> ks = shear_elastic_matrix<R>(layer);
    modes[l] = layer_modes<R, 3>(k, relative_friction<R>(layer));
    shear_modes[l] = layer_modes<R, 2>(ks, shear_friction<R>(layer));
    if (!modes[l].valid || !shear_modes[l].valid) {
      out.why = "the elastic matrix of layer " + std::to_string(l + 1) + " is not positive definite";
      return out;
    }
    if (!(layer.thickness > 0.0)) {
      out.why = "layer " + std::to_string(l + 1) + " has no thickness";
      return out;
    }
    thickness[l] = R(layer.thickness);
    t_vertical[l] = k * Vec<R, 3>(R(1), R(1), R(0));
    t_horizontal[l] << R(layer.lambda1) + R(layer.d3), R(layer.lambda3) + R(layer.d3), R(layer.b1) + R(layer.b2);
    t_shear[l] = ks * Vec<R, 2>(R(1), R(1));
    height += thickness[l];
  }
  std::vector<Eigen::Matrix<Cplx<R>, 3, 1>> gv, gh;
  std::vector<Eigen::Matrix<Cplx<R>, 2, 1>> gs;
  if (!periodic_mean_gradients<R, 3>(modes, thickness, t_vertical, omega, gv) ||
      !periodic_mean_gradients<R, 3>(modes, thickness, t_horizontal, omega, gh) ||
      !periodic_mean_gradients<R, 2>(shear_modes, thickness, t_shear, omega, gs)) {
    out.why = "the periodic system is singular";
    return out;
  }
  Cplx<R> c11(0), c13(0), c13h(0), c33(0), c55(0);
  for (std::size_t l = 0; l < nl; ++l) {
    const ExactLayer& layer = layers[l];
    const Eigen::Matrix<Cplx<R>, 3, 3> k = elastic_matrix<R>(layer).template cast<Cplx<R>>();
    const Eigen::Matrix<Cplx<R>, 3, 1> h = t_horizontal[l].template cast<Cplx<R>>();
    const R shear_sum = R(2) * (R(layer.mu1) + R(layer.mu3) + R(layer.mu13));
    // vertical: total gradient = fluctuation + (1, 1, 0)
    Eigen::Matrix<Cplx<R>, 3, 1> v = gv[l];
    v(0) += R(1);
    v(1) += R(1);
    const Eigen::Matrix<Cplx<R>, 3, 1> tv = k * v;
    c33 += thickness[l] * (tv(0) + tv(1));
    c13 += thickness[l] * h.cwiseProduct(v).sum();
    // horizontal: z-gradients are the fluctuation's, e_xx enters by h
    const Eigen::Matrix<Cplx<R>, 3, 1> th = k * gh[l] + h;
    c13h += thickness[l] * (th(0) + th(1));
    c11 += thickness[l] * (h.cwiseProduct(gh[l]).sum() + h(0) + h(1) + shear_sum);
    // shear
    const Eigen::Matrix<Cplx<R>, 2, 1> gsl = gs[l] + Eigen::Matrix<Cplx<R>, 2, 1>(R(1), R(1));
    const Eigen::Matrix<Cplx<R>, 2, 1> ts = shear_elastic_matrix<R>(layer).template cast<Cplx<R>>() * gsl;
    c55 += thickness[l] * (ts(0) + ts(1));
  }
  out.c11 = c11 / height;
  out.c13 = c13 / height;
  out.c13h = c13h / height;
  out.c33 = c33 / height;
  out.c55 = c55 / height;
  out.valid = true;
  return out;
}

}  // namespace exact_1d
