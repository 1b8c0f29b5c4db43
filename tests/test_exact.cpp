// The physics of the test held to exact references: the exact layered
// solution against its own limits, the finite-element work-conjugate
// modulus against the analytic P1 speed of a homogeneous sample and against
// the exact solution of layered samples, the sign of its imaginary part,
// and the average density.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/input.hpp"
#include "driver/pass.hpp"
#include "driver/readata.hpp"
#include "sweep/sweep_reference.hpp"
#include "exact/exact_1d.hpp"
#include "exact/layered_exact.hpp"
#include "exact/periodic_stack.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;

namespace {

// A layer with a positive-definite elastic matrix and a friction matrix of
// rank 2 (b11 b22 > b12^2), of the magnitudes of the bundled examples.
ExactLayer synthetic_layer(double thickness, double stiffness_scale) {
  return ExactLayer{thickness, 1e10 * stiffness_scale, 2e9, 1e10 * stiffness_scale, 1e9, 1e8, 2e9, 5e8,
                    4e9,       5e8,                     1e6, 2e6,                    1e7};
}

double kc(const ExactLayer& l) { return (l.lambda1 + 2 * l.mu1) + 2 * (l.d3 + l.mu13) + (l.lambda3 + 2 * l.mu3); }

double distance(const dcomplex& a, const dcomplex& b) {
  return std::hypot(a.re - b.re, a.im - b.im) / std::hypot(b.re, b.im);
}

// Columns of the sweep table (0-based) that these tests read.
enum Column { frequency = 0, vp1 = 8, re_mw = 10, im_mw = 11, velocity_w = 12, re_exact = 17, im_exact = 18,
              error_w = 19 };

std::vector<std::vector<double>> sweep_rows(const fs::path& dir) { return numeric_rows(dir / "frequency_sweep.dat"); }

// The sweep of `deck` under `load` in a fresh directory, with a uniform ice
// map (so a layered deck has uniform rows).
std::vector<std::vector<double>> sweep(const TestDeck& deck, const std::string& load) {
  ScratchDirectory dir;
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", std::stoi(deck.nx), std::stoi(deck.ny), 0.12);
  const ProgramRun run = run_sweep(dir.path(), deck.text(), "-j 2 --load " + load);
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  return sweep_rows(dir.path());
}

// The layers of a bundled layered example at `frequency` (Hz), as the
// program's own medium stage gives them.
std::vector<ExactLayer> example_layers(const std::string& example, double frequency) {
  static const RunStoragePtr storage = make_run_storage();
  RunStorage& run = *storage;
  ScratchDirectory dir;  // the material map files land here
  read_example_sample(run, example);
  PassScalars pass;
  pass.omega = angular_frequency(frequency);
  medium_stage(run, pass);
  std::vector<ExactLayer> layers;
  EXPECT_TRUE(row_uniform_layers(run.deck.nx, run.deck.ny, run.deck.h, run.coef, layers)) << example;
  return layers;
}

}  // namespace

// --- The exact solution on its own ---

TEST(ExactLayered, HomogeneousPistonIsTheLockedModulusAndTheLimitsBracketTheLayeredStack) {
  // A homogeneous stack under the piston moves as one locked medium at
  // every frequency: Mw is Kc, and both limits are Kc.  Cutting it into
  // layers changes nothing.
  const std::vector<ExactLayer> one{synthetic_layer(1.0, 1.0)};
  const std::vector<ExactLayer> cut{synthetic_layer(0.25, 1.0), synthetic_layer(0.75, 1.0)};
  for (const double omega : {1e-6, 1.0, 1e3, 1e9}) {
    const LayeredSolution a = exact_layered_solution(one, omega, true);
    const LayeredSolution b = exact_layered_solution(cut, omega, true);
    ASSERT_TRUE(a.valid) << a.why;
    EXPECT_LT(distance(a.mw, dcomplex(kc(one[0]), 0.0)), 1e-10) << "omega " << omega;
    EXPECT_LT(distance(b.mw, a.mw), 1e-12) << "omega " << omega << ": a cut changed the homogeneous stack";
    const LayeredSolution split_a = exact_layered_solution(one, omega, false);
    const LayeredSolution split_b = exact_layered_solution(cut, omega, false);
    EXPECT_LT(distance(split_b.mw, split_a.mw), 1e-10) << "omega " << omega << ", split load";
  }
  const LayeredLimits homogeneous = exact_layered_limits(one, true);
  EXPECT_NEAR(homogeneous.relaxed / kc(one[0]), 1.0, 1e-14);
  EXPECT_NEAR(homogeneous.unrelaxed / kc(one[0]), 1.0, 1e-14);

  // A stiff and a soft layer, repeated: Mw tends to the relaxed limit as
  // omega -> 0 and to the unrelaxed one as omega -> infinity, under both
  // loads, with Im Mw >= 0 between.
  std::vector<ExactLayer> stack;
  for (int l = 0; l < 4; ++l) stack.push_back(synthetic_layer(0.25, l % 2 == 0 ? 1.0 : 0.2));
  for (const bool piston : {false, true}) {
    const LayeredLimits limits = exact_layered_limits(stack, piston);
    ASSERT_TRUE(limits.relaxed_exists && limits.unrelaxed_exists);
    EXPECT_LT(limits.relaxed, limits.unrelaxed) << "piston " << piston;
    EXPECT_LT(distance(exact_layered_solution(stack, 1e-10, piston).mw, dcomplex(limits.relaxed, 0.0)), 1e-9)
        << "piston " << piston << ": the relaxed limit";
    EXPECT_LT(distance(exact_layered_solution(stack, 1e14, piston).mw, dcomplex(limits.unrelaxed, 0.0)), 1e-4)
        << "piston " << piston << ": the unrelaxed limit";
    for (double omega = 1e-4; omega < 1e8; omega *= 10) {
      const LayeredSolution x = exact_layered_solution(stack, omega, piston);
      EXPECT_GT(x.mw.im, 0.0) << "omega " << omega << ", piston " << piston << ": not dissipative";
      EXPECT_GT(x.mw.re, limits.relaxed * (1 - 1e-12)) << "omega " << omega;
      EXPECT_LT(x.mw.re, limits.unrelaxed * (1 + 1e-12)) << "omega " << omega;
    }
  }
}

// --- The infinite periodic stack ---

namespace {

struct Moduli {
  dcomplex c11, c13, c13h, c33, c55;
};

Moduli moduli_of(const StackStiffness& s) { return {s.c11, s.c13, s.c13h, s.c33, s.c55}; }

double mu_locked(const ExactLayer& l) { return l.mu1 + l.mu3 + l.mu13; }

// Backus's average of the locked isotropic layers (P modulus Kc, shear
// modulus mu1 + mu3 + mu13), the transversely isotropic medium they make.
Moduli backus_locked(const std::vector<ExactLayer>& layers) {
  double h = 0, inv_p = 0, inv_mu = 0, ratio = 0, rest = 0;
  for (const ExactLayer& l : layers) {
    const double p = kc(l), lambda = p - 2 * mu_locked(l);
    h += l.thickness;
    inv_p += l.thickness / p;
    inv_mu += l.thickness / mu_locked(l);
    ratio += l.thickness * lambda / p;
    rest += l.thickness * (p - lambda * lambda / p);
  }
  const double c33 = h / inv_p, c13 = ratio / h * c33;
  return {rest / h + (ratio / h) * (ratio / h) * c33, c13, c13, c33, h / inv_mu};
}

// The static stack without friction: every phase's traction is uniform
// (T = K g + t0 in each layer, g the z-gradient of the fluctuation), and
// the fluctuation is periodic (sum of L g = 0), so T = F^-1 sum L K^-1 t0
// with F = sum L K^-1.
Moduli relaxed_static(const std::vector<ExactLayer>& layers) {
  auto k_of = [](const ExactLayer& l) {
    Eigen::Matrix3d k;
    k << l.lambda1 + 2 * l.mu1, l.d3 + l.mu13, l.b1, l.d3 + l.mu13, l.lambda3 + 2 * l.mu3, l.b2, l.b1, l.b2, l.m;
    return k;
  };
  auto h_of = [](const ExactLayer& l) {
    return Eigen::Vector3d(l.lambda1 + l.d3, l.lambda3 + l.d3, l.b1 + l.b2);
  };
  const Eigen::Vector3d e(1, 1, 0);
  double height = 0;
  Eigen::Matrix3d f = Eigen::Matrix3d::Zero();
  Eigen::Matrix2d fs = Eigen::Matrix2d::Zero();
  Eigen::Vector3d source_h = Eigen::Vector3d::Zero();
  for (const ExactLayer& l : layers) {
    Eigen::Matrix2d ks;
    ks << l.mu1, l.mu13 / 2, l.mu13 / 2, l.mu3;
    height += l.thickness;
    f += l.thickness * k_of(l).inverse();
    fs += l.thickness * ks.inverse();
    source_h += l.thickness * k_of(l).inverse() * h_of(l);
  }
  const Eigen::Vector3d t_vertical = height * f.inverse() * e;  // total gradient K^-1 T, e_zz = 1
  const Eigen::Vector3d t_horizontal = f.inverse() * source_h;
  double c13 = 0, c11 = 0;
  for (const ExactLayer& l : layers) {
    c13 += l.thickness * h_of(l).dot(k_of(l).inverse() * t_vertical);
    const Eigen::Vector3d g = k_of(l).inverse() * (t_horizontal - h_of(l));
    c11 += l.thickness * (h_of(l).dot(g) + h_of(l)(0) + h_of(l)(1) + 2 * mu_locked(l));
  }
  const Eigen::Vector2d s = height * fs.inverse() * Eigen::Vector2d(1, 1);
  return {c11 / height, c13 / height, t_horizontal(0) + t_horizontal(1), t_vertical(0) + t_vertical(1),
          s(0) + s(1)};
}

Moduli locked_homogeneous(const ExactLayer& l) {
  const double c13 = kc(l) - 2 * mu_locked(l);
  return {kc(l), c13, c13, kc(l), mu_locked(l)};
}

// The largest relative distance of the five components.
double worst_distance(const Moduli& a, const Moduli& b) {
  double worst = 0;
  for (const auto& [x, y] : {std::pair{a.c11, b.c11}, {a.c13, b.c13}, {a.c13h, b.c13h}, {a.c33, b.c33},
                             {a.c55, b.c55}}) {
    worst = std::max(worst, distance(x, y));
  }
  return worst;
}

// A stiff and a soft layer, twice.
std::vector<ExactLayer> contrasted_stack() {
  std::vector<ExactLayer> stack;
  for (int l = 0; l < 4; ++l) stack.push_back(synthetic_layer(l % 2 == 0 ? 0.3 : 0.2, l % 2 == 0 ? 1.0 : 0.2));
  stack[3].b12 = -3e6;  // one layer's fluid couples the other way
  return stack;
}

}  // namespace

TEST(PeriodicStack, MeetsTheHomogeneousMediumTheLimitsAndItsOwnCuts) {
  const ExactLayer one = synthetic_layer(0.4, 1.0);
  const std::vector<ExactLayer> stack = contrasted_stack();
  std::vector<ExactLayer> cut = stack;  // the soft layer on top cut in two halves
  cut.back().thickness /= 2;
  cut.push_back(cut.back());
  struct Case {
    std::string what;
    std::vector<ExactLayer> layers;
    double omega;
    std::function<Moduli()> reference;
    double tolerance;
  };
  const std::vector<Case> cases{
      {"one homogeneous layer", {one}, 1e-6, [&] { return locked_homogeneous(one); }, 1e-12},
      {"one homogeneous layer", {one}, 1e9, [&] { return locked_homogeneous(one); }, 1e-12},
      {"three identical layers", {one, one, one}, 1.0, [&] { return locked_homogeneous(one); }, 1e-12},
      {"three identical layers", {one, one, one}, 1e12, [&] { return locked_homogeneous(one); }, 1e-12},
      {"contrasted stack, relaxed", stack, 1e-10, [&] { return relaxed_static(stack); }, 1e-10},
      {"contrasted stack, locked", stack, 1e18, [&] { return backus_locked(stack); }, 1e-6},
      {"a layer cut in halves", cut, 1e-3, [&] { return moduli_of(exact_periodic_stack(stack, 1e-3)); }, 1e-12},
      {"a layer cut in halves", cut, 3e3, [&] { return moduli_of(exact_periodic_stack(stack, 3e3)); }, 1e-12},
  };
  for (const Case& c : cases) {
    const StackStiffness s = exact_periodic_stack(c.layers, c.omega);
    ASSERT_TRUE(s.valid) << c.what << ": " << s.why;
    const Moduli expected = c.reference();
    EXPECT_LT(worst_distance(moduli_of(s), expected), c.tolerance)
        << c.what << " at omega " << c.omega << ": c11 " << s.c11.re << " " << s.c11.im << " against "
        << expected.c11.re << ", c13 " << s.c13.re << " against " << expected.c13.re << ", c33 " << s.c33.re
        << " against " << expected.c33.re << ", c55 " << s.c55.re << " " << s.c55.im << " against "
        << expected.c55.re;
    EXPECT_LT(distance(s.c13h, s.c13), 1e-12) << c.what << " at omega " << c.omega << ": reciprocity";
  }
  // The limits differ from each other: the stack disperses between them.
  EXPECT_GT(worst_distance(relaxed_static(stack), backus_locked(stack)), 0.05);
}

namespace {

// The periodic stack by linear finite elements, n per layer, for an
// independent look at the friction: the three phases kept in every test
// (in shear the fluid's x displacement with no stiffness and its full
// friction), element stiffness K/h [[1,-1],[-1,1]] + i omega B h/6
// [[2,1],[1,2]], the constant tractions t0 as end forces; the moduli from
// the layers' mean gradients.  Returns c11, c33 and c55 in the c11, c33,
// c55 places.
Moduli finite_element_stack(const std::vector<ExactLayer>& layers, double omega, int n) {
  using Matc = Eigen::MatrixXcd;
  const int nodes = n * static_cast<int>(layers.size());
  // With `own_fluid`, each layer has its own nodes of the third component
  // (the fluid's x displacement in shear, which no continuity ties across a
  // horizontal interface); otherwise all three are shared.
  auto solve = [&](auto k_of, auto t0_of, bool own_fluid) {
    const int size = own_fluid ? 2 * nodes + static_cast<int>(layers.size()) * (n + 1) : 3 * nodes;
    auto index = [&](std::size_t l, int e, int c) {
      if (own_fluid && c == 2) return 2 * nodes + static_cast<int>(l) * (n + 1) + e;
      return (own_fluid ? 2 : 3) * ((static_cast<int>(l) * n + e) % nodes) + c;
    };
    Matc s = Matc::Zero(size, size);
    Eigen::VectorXcd f = Eigen::VectorXcd::Zero(size);
    for (std::size_t l = 0; l < layers.size(); ++l) {
      const ExactLayer& y = layers[l];
      Eigen::Matrix3d b;
      b << y.b11, -y.b11, -y.b12, -y.b11, y.b11, y.b12, -y.b12, y.b12, y.b22;
      const double h = y.thickness / n;
      const Eigen::Matrix3cd same = k_of(y).template cast<std::complex<double>>() / h +
                                    std::complex<double>(0, omega * h / 3) * b;
      const Eigen::Matrix3cd other = -k_of(y).template cast<std::complex<double>>() / h +
                                     std::complex<double>(0, omega * h / 6) * b;
      const Eigen::Vector3cd t0 = t0_of(y).template cast<std::complex<double>>();
      for (int e = 0; e < n; ++e) {
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j < 3; ++j) {
            s(index(l, e, i), index(l, e, j)) += same(i, j);
            s(index(l, e + 1, i), index(l, e + 1, j)) += same(i, j);
            s(index(l, e, i), index(l, e + 1, j)) += other(i, j);
            s(index(l, e + 1, i), index(l, e, j)) += other(i, j);
          }
          f(index(l, e, i)) += t0(i);
          f(index(l, e + 1, i)) -= t0(i);
        }
      }
    }
    Eigen::VectorXcd u = Eigen::VectorXcd::Zero(size);
    u.tail(size - 1) = s.bottomRightCorner(size - 1, size - 1).partialPivLu().solve(f.tail(size - 1));
    std::vector<Eigen::Vector3cd> gradient;
    for (std::size_t l = 0; l < layers.size(); ++l) {
      Eigen::Vector3cd g;
      for (int c = 0; c < 3; ++c) g(c) = (u(index(l, n, c)) - u(index(l, 0, c))) / layers[l].thickness;
      gradient.push_back(g);
    }
    return gradient;
  };
  auto k3 = [](const ExactLayer& y) {
    Eigen::Matrix3d k;
    k << y.lambda1 + 2 * y.mu1, y.d3 + y.mu13, y.b1, y.d3 + y.mu13, y.lambda3 + 2 * y.mu3, y.b2, y.b1, y.b2, y.m;
    return k;
  };
  auto ks = [](const ExactLayer& y) {
    Eigen::Matrix3d k;
    k << y.mu1, y.mu13 / 2, 0, y.mu13 / 2, y.mu3, 0, 0, 0, 0;
    return k;
  };
  auto hv = [](const ExactLayer& y) { return Eigen::Vector3d(y.lambda1 + y.d3, y.lambda3 + y.d3, y.b1 + y.b2); };
  const Eigen::Vector3d e(1, 1, 0);
  const auto gv = solve(k3, [&](const ExactLayer& y) { return Eigen::Vector3d(k3(y) * e); }, false);
  const auto gh = solve(k3, hv, false);
  const auto gs = solve(ks, [&](const ExactLayer& y) { return Eigen::Vector3d(ks(y) * e); }, true);
  std::complex<double> c11 = 0, c33 = 0, c55 = 0;
  double height = 0;
  for (std::size_t l = 0; l < layers.size(); ++l) {
    const ExactLayer& y = layers[l];
    const double lt = y.thickness;
    height += lt;
    c33 += lt * e.dot(k3(y) * e) + lt * (e.transpose() * k3(y) * gv[l])(0);
    c11 += lt * (hv(y).cast<std::complex<double>>().cwiseProduct(gh[l]).sum() + hv(y)(0) + hv(y)(1) + 2 * mu_locked(y));
    c55 += lt * e.dot(ks(y) * e) + lt * (e.transpose() * ks(y) * gs[l])(0);
  }
  auto pc = [&](std::complex<double> c) { return dcomplex(c.real() / height, c.imag() / height); };
  return {pc(c11), dcomplex(0), dcomplex(0), pc(c33), pc(c55)};
}

}  // namespace

TEST(PeriodicStack, AgreesWithFiniteElementsWhereTheFrictionDisperses) {
  // Where the diffusion length is the layers' thickness, the Richardson
  // extrapolation of the finite elements on n and 2n elements per layer
  // (second order) meets the exact c11, c33 and c55.
  const std::vector<ExactLayer> stack = contrasted_stack();
  for (const double omega : {3e4, 1e5, 1e6}) {
    const StackStiffness exact = exact_periodic_stack(stack, omega);
    const Moduli coarse = finite_element_stack(stack, omega, 40), fine = finite_element_stack(stack, omega, 80);
    for (const auto& [x, c, f, name] : {std::tuple{exact.c11, coarse.c11, fine.c11, "c11"},
                                        {exact.c33, coarse.c33, fine.c33, "c33"},
                                        {exact.c55, coarse.c55, fine.c55, "c55"}}) {
      const dcomplex extrapolated((4 * f.re - c.re) / 3, (4 * f.im - c.im) / 3);
      EXPECT_LT(distance(extrapolated, x), 1e-6) << name << " at omega " << omega << ": " << x.re << " " << x.im
                                                 << " against " << extrapolated.re << " " << extrapolated.im;
      EXPECT_GT(x.im, 1e-3 * x.re) << name << " at omega " << omega << ": a frequency that disperses";
    }
  }
}

TEST(PeriodicStack, BundledLayeredExamplesArePassiveAndReciprocal) {
  for (const char* example : {"shaley_layered", "permafrost_strata"}) {
    for (double frequency = 1e-4; frequency < 2e4; frequency *= 10) {
      const StackStiffness s = exact_periodic_stack(example_layers(example, frequency), 2 * M_PI * frequency);
      ASSERT_TRUE(s.valid) << example << ": " << s.why;
      const std::string what = std::string(example) + " at " + std::to_string(frequency) + " Hz";
      for (const dcomplex& c : {s.c11, s.c33, s.c55}) {
        EXPECT_GE(c.im, -1e-12 * c.re) << what << ": Im " << c.im << " of a diagonal modulus";
        EXPECT_GT(c.re, 0.0) << what;
      }
      EXPECT_LT(distance(s.c13h, s.c13), 1e-12) << what << ": reciprocity";
    }
  }
}

TEST(ExactReferences, DoubleAgreesWithExtendedPrecisionFrom1e6HzDownTo1e8HzUp) {
  // The same algorithm in long double (11 more bits) bounds the rounding of
  // the double one, on the bundled layered examples, for the held-bottom
  // test under both loads and for the periodic stack.
  using ld = long double;
  auto relative = [](const dcomplex& a, const std::complex<ld>& b) {
    return static_cast<double>(std::abs(std::complex<ld>(a.re, a.im) - b) / std::abs(b));
  };
  for (const char* example : {"shaley_layered", "permafrost_strata"}) {
    for (const double frequency : {1e-6, 1.0, 1e6, 1e8}) {
      const std::vector<ExactLayer> layers = example_layers(example, frequency);
      const double omega = 2 * M_PI * frequency;
      const std::string what = std::string(example) + " at " + std::to_string(frequency) + " Hz";
      for (const bool piston : {false, true}) {
        const LayeredSolution d = exact_layered_solution(layers, omega, piston);
        const exact_1d::LayeredTop<ld> x = exact_1d::layered_top<ld>(layers, omega, piston);
        ASSERT_TRUE(d.valid && x.valid) << what;
        const std::complex<ld> mw = ld(-2) / ((x.u1 + x.u3) / (ld(2) * x.height));
        EXPECT_LT(relative(d.mw, mw), 1e-10) << what << ", piston " << piston << ": Mw " << d.mw.re << " "
                                             << d.mw.im << " against " << double(mw.real()) << " "
                                             << double(mw.imag());
      }
      const StackStiffness d = exact_periodic_stack(layers, omega);
      const exact_1d::StackModuli<ld> x = exact_1d::periodic_stack<ld>(layers, omega);
      ASSERT_TRUE(d.valid && x.valid) << what;
      for (const auto& [a, b, name] : {std::tuple{d.c11, x.c11, "c11"}, {d.c13, x.c13, "c13"},
                                       {d.c13h, x.c13h, "c13h"}, {d.c33, x.c33, "c33"}, {d.c55, x.c55, "c55"}}) {
        EXPECT_LT(relative(a, b), 1e-10) << what << ": " << name << " " << a.re << " " << a.im << " against "
                                         << double(b.real()) << " " << double(b.imag());
      }
    }
  }
}

// --- The finite-element modulus against the references ---

TEST(WorkConjugateModulus, HomogeneousPistonGivesTheAnalyticP1Speed) {
  // Where P1 itself does not disperse (below 0.1 Hz here), the homogeneous
  // sample under the piston moves as the locked medium P1 describes.
  for (const bool shaley : {false, true}) {
    TestDeck deck = shaley ? TestDeck::shaley() : TestDeck();
    deck.fmin = "0.001";
    deck.fmax = "0.1";
    deck.nfreq = std::string("3");
    for (const auto& row : sweep(deck, "piston")) {
      const std::string what = (shaley ? "shaley sand at " : "permafrost at ") + std::to_string(row[frequency]);
      EXPECT_NEAR(row[velocity_w] / row[vp1], 1.0, 1e-6) << what;
      EXPECT_LT(std::hypot(row[re_mw] - row[re_exact], row[im_mw] - row[im_exact]) / row[re_exact], 1e-10)
          << what << ": the locked motion is exactly bilinear";
    }
  }
}

TEST(WorkConjugateModulus, LayeredSamplesConvergeToTheExactSolutionAtSecondOrder) {
  // The error against the exact one-dimensional solution falls by four
  // when the rows double, at frequencies whose diffusion length the
  // meshes resolve, under both loads.
  for (const std::string load : {"split", "piston"}) {
    std::vector<std::vector<double>> errors;  // errors[mesh][frequency]
    for (const int ny : {8, 16, 32}) {
      TestDeck deck = layered_column_deck(ny);
      deck.fmin = "0.03";
      deck.fmax = "0.1";
      deck.nfreq = "2";
      errors.emplace_back();
      for (const auto& row : sweep(deck, load)) {
        ASSERT_EQ(row.size(), 23u) << "a layered sample has the density, the exact columns and the diffusion length";
        errors.back().push_back(row[error_w]);
      }
    }
    for (std::size_t f = 0; f < 2; ++f) {
      for (std::size_t m = 1; m < 3; ++m) {
        const double order = std::log2(errors[m - 1][f] / errors[m][f]);
        EXPECT_NEAR(order, 2.0, 0.25) << load << " load, frequency " << f + 1 << ", rows " << (4 << m) << " to "
                                      << (8 << m) << ": errors " << errors[m - 1][f] << ", " << errors[m][f];
      }
    }
  }
}

TEST(WorkConjugateModulus, ImaginaryPartIsNeverNonDissipative) {
  // Under exp(+i omega t) a passive medium gives Im Mw >= 0 (to rounding):
  // the bundled examples from 1e-3 to 1e3 Hz and random patchy samples,
  // under both loads.
  struct Case {
    std::string name;
    fs::path directory;
  };
  std::vector<Case> cases;
  std::vector<ScratchDirectory> dirs(7);
  int d = 0;
  for (const char* example : {"permafrost_layered", "permafrost_patchy", "shaley_layered", "shaley_patchy"}) {
    for (const auto& entry : fs::directory_iterator(source_path("examples") / example)) {
      fs::copy_file(entry.path(), dirs[d].path() / entry.path().filename());
    }
    std::string deck = read_file(dirs[d].path() / "deck.in");
    std::istringstream lines(deck);
    std::string line, edited;
    for (int n = 1; std::getline(lines, line); ++n) {
      const char* grid[] = {"1.0e-3", "1.0e3", "4"};
      edited += (n <= 3 ? std::string(grid[n - 1]) + line.substr(line.find(' ')) : line) + "\n";
    }
    write_file(dirs[d].path() / "deck.in", edited);
    cases.push_back({example, dirs[d++].path()});
  }
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> water(0.10, 0.28);
  for (const bool shaley : {false, true, false}) {
    TestDeck deck = shaley ? TestDeck::shaley() : TestDeck();
    deck.nx = "6";
    deck.ny = "5";
    deck.layer[0].nl = "5";
    deck.model = "    1";
    deck.fmin = "1.0e-3";
    deck.nfreq = "4";
    std::string ice, patchy;
    for (int k = 1; k <= 5; ++k) {
      for (int j = 1; j <= 6; ++j) {
        ice += std::to_string(j) + " " + std::to_string(k) + " " + std::to_string(water(random)) + "\n";
        patchy += std::to_string(j) + " " + std::to_string(k) + " " + std::to_string(water(random)) + "\n";
      }
    }
    write_file(dirs[d].path() / "deck.in", deck.text());
    write_file(dirs[d].path() / "binary_ice_gnu.dat", ice);
    write_file(dirs[d].path() / "phiw_binary_patchy.dat", patchy);
    cases.push_back({std::string("random ") + (shaley ? "shaley" : "permafrost"), dirs[d++].path()});
  }
  for (const Case& c : cases) {
    for (const std::string load : {"split", "piston"}) {
      const ProgramRun run = run_in(c.directory, UPSCALE_SWEEP_BINARY, "-j 2 --load " + load + " < deck.in");
      ASSERT_EQ(run.exit_status, 0) << c.name << "\n" << run.out << run.err;
      for (const auto& row : sweep_rows(c.directory)) {
        EXPECT_GE(row[im_mw], -1e-12 * std::hypot(row[re_mw], row[im_mw]))
            << c.name << ", " << load << " load, " << row[frequency] << " Hz: Im Mw " << row[im_mw];
        EXPECT_GT(row[re_mw], 0.0) << c.name << ", " << load << " load, " << row[frequency] << " Hz";
      }
    }
  }
}

// --- The average density ---

TEST(AverageDensity, EachCellWeighsWithItsOwnFractions) {
  // Changing the water proportion of one cell moves rob_med by that cell's
  // own change of density over the number of cells, wherever the cell is.
  const double s3 = 0.2, ro1 = 2650.0, ro2 = 1000.0, ro3 = 2550.0;  // the shaley-sand deck
  auto cell_density = [&](double phiw) {
    return (1 - s3) * (1 - phiw) * ro1 + phiw * ro2 + s3 * (1 - phiw) * ro3;
  };
  auto rob_med = [&](int changed_cell) {
    TestDeck deck = TestDeck::shaley();
    deck.model = "    1";
    ScratchDirectory dir;
    std::string map;
    for (int k = 1, c = 1; k <= 4; ++k) {
      for (int j = 1; j <= 3; ++j, ++c) {
        map += std::to_string(j) + " " + std::to_string(k) + " " + (c == changed_cell ? "0.30" : "0.15") + "\n";
      }
    }
    write_file(dir.path() / "phiw_binary_patchy.dat", map);
    write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 4, 0.12);
    const ProgramRun run = run_program(dir.path(), deck.text());
    EXPECT_EQ(run.exit_status, 40) << run.out;
    const std::string label = "average density rob_med is (kg/m**3)";
    return std::stod(run.out.substr(run.out.find(label) + label.size()));
  };
  const double uniform = rob_med(0);
  EXPECT_NEAR(uniform, cell_density(0.15), 1e-9);
  for (const int cell : {12, 1, 6}) {  // the last cell (nx, ny), the first, one inside
    EXPECT_NEAR(rob_med(cell) - uniform, (cell_density(0.30) - cell_density(0.15)) / 12.0, 1e-9)
        << "cell " << cell << " changed the density by more than its own share";
  }
}
