// Tests of the plane-wave analysis: the small complex kernels (inversion,
// characteristic cubic, Cardano), the refinement of the small roots, and the
// per-cell speeds and attenuations with their echo and stops.
//
// The accuracy tests compare against an independent reference computed in
// 113-bit (__float128) arithmetic from the same double coefficients: the
// 3 x 3 generalised problem A_c u = lambda E_c u by its characteristic
// polynomial, solved by Newton's method and deflation, and the shear pair
// from the 2 x 2 problem with the fluid eliminated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "common/format.hpp"
#include "common/stop.hpp"
#include "planewave/c_invert.hpp"
#include "planewave/cautov.hpp"
#include "planewave/cubeq2.hpp"
#include "planewave/double_double.hpp"
#include "planewave/plane_mode.hpp"
#include "planewave/refine_roots.hpp"
#include "planewave/veloc_aten.hpp"
#include "test_support.hpp"

namespace {

constexpr double two_pi = 6.283185307179586;

// ---------------------------------------------------------------------------
// 113-bit reference arithmetic
// ---------------------------------------------------------------------------
using quad = __float128;

struct QC {
  quad re, im;
};
QC operator+(QC a, QC b) { return {a.re + b.re, a.im + b.im}; }
QC operator-(QC a, QC b) { return {a.re - b.re, a.im - b.im}; }
QC operator*(QC a, QC b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
QC operator*(quad x, QC a) { return {x * a.re, x * a.im}; }
QC operator/(QC a, QC b) {
  const quad d = b.re * b.re + b.im * b.im;
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}
quad qfabs(quad x) { return x < 0 ? -x : x; }
quad qsqrt(quad x) {
  if (x <= 0) return 0;
  quad y = std::sqrt(static_cast<double>(x));
  for (int i = 0; i < 4; ++i) y = (y + x / y) / 2;
  return y;
}
quad qabs(QC a) { return qsqrt(a.re * a.re + a.im * a.im); }
QC qcsqrt(QC z) {
  const quad r = qabs(z);
  if (r == 0) return {0, 0};
  if (z.re >= 0) {
    const quad t = qsqrt((r + z.re) / 2);
    return {t, z.im / (2 * t)};
  }
  const quad t = qsqrt((r - z.re) / 2);
  return {qfabs(z.im) / (2 * t), z.im < 0 ? -t : t};
}

// ---------------------------------------------------------------------------
// Coefficients of one homogeneous cell (SI units)
// ---------------------------------------------------------------------------
struct Cell {
  double lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  double p11, p12, p13, p22, p23, p33;
  double b11, b12, b22;
};
constexpr int cell_fields = 18;
constexpr double Cell::*cell_field[cell_fields] = {
    &Cell::lambda1, &Cell::lambda3, &Cell::mu1, &Cell::mu3, &Cell::mu13, &Cell::b1,  &Cell::b2,  &Cell::m,   &Cell::d3,
    &Cell::p11,     &Cell::p12,     &Cell::p13, &Cell::p22, &Cell::p23,  &Cell::p33, &Cell::b11, &Cell::b12, &Cell::b22};
const char* const field_name[cell_fields] = {"lambda1", "lambda3", "mu1", "mu3", "mu13", "b1",  "b2",  "m",   "d3",
                                             "p11",     "p12",     "p13", "p22", "p23",  "p33", "b11", "b12", "b22"};

// A plausible water-saturated permafrost cell: sand frame, ice, water.
Cell permafrost() {
  return {1e10, 3e9, 1.3e10, 3e9, 1e7, 2e9, 1e9, 3e9, 1e9,
          1800, -50, 10, 1200, -20, 300,
          1e5, 5e6, 1e9};
}
// Ice-rich cell: stiff ice, little water, strong friction.
Cell ice_rich() {
  return {1.5e10, 8e9, 2e10, 3.5e9, 1e8, 5e8, 3e8, 1e9, 2e8,
          2000, -10, 50, 300, -10, 800,
          1e7, 1e8, 1e10};
}
// Shaley sand: stiff frame, soft shale, moderate friction.
Cell shaley_sand() {
  return {2e10, 5e9, 3e10, 4e9, 5e6, 3e9, 5e8, 4e9, 5e8,
          2200, -80, 5, 900, -15, 500,
          1e6, 1e7, 2e8};
}
Cell lossless(Cell c) {
  c.b11 = c.b12 = c.b22 = 0;
  return c;
}

// The eighteen coefficient maps of a sample.
struct Sample {
  RealMap lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  RealMap p11, p12, p13, p22, p23, p33;
  RealMap b11, b12, b22;
  void set(int j, int k, const Cell& c) {
    lambda1(j, k) = c.lambda1; lambda3(j, k) = c.lambda3; mu1(j, k) = c.mu1; mu3(j, k) = c.mu3;
    mu13(j, k) = c.mu13; b1(j, k) = c.b1; b2(j, k) = c.b2; m(j, k) = c.m; d3(j, k) = c.d3;
    p11(j, k) = c.p11; p12(j, k) = c.p12; p13(j, k) = c.p13; p22(j, k) = c.p22; p23(j, k) = c.p23;
    p33(j, k) = c.p33; b11(j, k) = c.b11; b12(j, k) = c.b12; b22(j, k) = c.b22;
  }
  void fill(int nx, int ny, const Cell& c) {
    for (int k = 1; k <= ny; ++k)
      for (int j = 1; j <= nx; ++j) set(j, k, c);
  }
};

struct Outputs {
  double vp1, vp2, vp3, vs1, vs2, tq_p1, tq_p2, tq_p3, tq_s1, tq_s2;
};

Outputs run_sample(int nx, int ny, double omega, const Sample& s) {
  Outputs o{};
  const std::int32_t nx32 = nx, ny32 = ny;
  veloc_aten(nx32, ny32, omega, s.p11, s.p12, s.p13, s.p22, s.p23, s.p33, s.b11, s.b12, s.b22, s.lambda1,
             s.lambda3, s.mu1, s.mu3, s.mu13, s.b1, s.b2, s.m, s.d3, o.vp1, o.vp2, o.vp3, o.vs1, o.vs2,
             o.tq_p1, o.tq_p2, o.tq_p3, o.tq_s1, o.tq_s2);
  return o;
}

Outputs run_cell(const Cell& c, double omega) {
  auto s = std::make_unique<Sample>();
  s->fill(1, 1, c);
  CapturedOutput quiet;
  return run_sample(1, 1, omega, *s);
}

// ---------------------------------------------------------------------------
// The reference modes of a cell, each sorted from the fastest
// ---------------------------------------------------------------------------
struct RefMode {
  double speed, thousand_over_q;
};
struct Reference {
  RefMode p[3];
  RefMode s[2];
};

RefMode ref_mode(QC eigenvalue) {
  const QC s = qcsqrt(eigenvalue);
  return {static_cast<double>(1 / s.re), static_cast<double>(1000 * qfabs(s.im / s.re))};
}

Reference reference(const Cell& c, double omega) {
  const quad w = omega;
  // Compressional blocks (solid 1, fluid, solid 3).
  quad e[3][3] = {{quad(c.lambda1) + 2 * quad(c.mu1), c.b1, quad(c.mu13) + quad(c.d3)},
                  {c.b1, c.m, c.b2},
                  {quad(c.mu13) + quad(c.d3), c.b2, quad(c.lambda3) + 2 * quad(c.mu3)}};
  const quad f11 = c.b11 / w, f12 = c.b12 / w, f22 = c.b22 / w;
  QC a[3][3] = {{{c.p11, -f11}, {c.p12, f12}, {c.p13, f11}},
                {{c.p12, f12}, {c.p22, -f22}, {c.p23, -f12}},
                {{c.p13, f11}, {c.p23, -f12}, {c.p33, -f11}}};
  // E^{-1} by the adjugate.
  quad adj[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int r1 = (j + 1) % 3, r2 = (j + 2) % 3, c1 = (i + 1) % 3, c2 = (i + 2) % 3;
      adj[i][j] = e[r1][c1] * e[r2][c2] - e[r1][c2] * e[r2][c1];
    }
  const quad dete = e[0][0] * adj[0][0] + e[0][1] * adj[1][0] + e[0][2] * adj[2][0];
  QC t[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      QC sum{0, 0};
      for (int f = 0; f < 3; ++f) sum = sum + (adj[i][f] / dete) * a[f][j];
      t[i][j] = sum;
    }
  const QC c2 = QC{0, 0} - (t[0][0] + t[1][1] + t[2][2]);
  const QC c1 = t[0][0] * t[1][1] - t[0][1] * t[1][0] + t[0][0] * t[2][2] - t[0][2] * t[2][0] +
                t[1][1] * t[2][2] - t[1][2] * t[2][1];
  const QC det = t[0][0] * (t[1][1] * t[2][2] - t[1][2] * t[2][1]) -
                 t[0][1] * (t[1][0] * t[2][2] - t[1][2] * t[2][0]) +
                 t[0][2] * (t[1][0] * t[2][1] - t[1][1] * t[2][0]);
  const QC c0 = QC{0, 0} - det;
  const auto newton = [&](QC y, int steps) {
    for (int i = 0; i < steps; ++i) {
      const QC f = ((y + c2) * y + c1) * y + c0;
      const QC fp = (quad(3) * y + quad(2) * c2) * y + c1;
      y = y - f / fp;
    }
    return y;
  };
  // The smallest root from 0, the other two from the deflated quadratic.
  const QC l1 = newton(QC{0, 0}, 200);
  const QC bq = c2 + l1;
  const QC cq = c1 + bq * l1;
  const QC r = qcsqrt(bq * bq - quad(4) * cq);
  const QC plus = bq + r, minus = bq - r;
  const QC big = quad(-0.5) * (qabs(plus) >= qabs(minus) ? plus : minus);
  const QC l2 = newton(big, 20);
  const QC l3 = newton(cq / big, 20);

  // Shear: the fluid eliminated from A, then E_s^{-1} A_s.
  const QC as11 = a[0][0] - a[0][1] * a[0][1] / a[1][1];
  const QC as12 = a[0][2] - a[0][1] * a[1][2] / a[1][1];
  const QC as22 = a[2][2] - a[1][2] * a[1][2] / a[1][1];
  const quad h = quad(c.mu13) / 2;
  const quad des = quad(c.mu1) * c.mu3 - h * h;
  const QC ss11 = (quad(c.mu3) * as11 - h * as12) / QC{des, 0};
  const QC ss12 = (quad(c.mu3) * as12 - h * as22) / QC{des, 0};
  const QC ss21 = (quad(c.mu1) * as12 - h * as11) / QC{des, 0};
  const QC ss22 = (quad(c.mu1) * as22 - h * as12) / QC{des, 0};
  const QC tr = ss11 + ss22;
  const QC dets = ss11 * ss22 - ss12 * ss21;
  const QC rs = qcsqrt(tr * tr - quad(4) * dets);
  const QC sp = tr + rs, sm = tr - rs;
  const QC mu_big = quad(0.5) * (qabs(sp) >= qabs(sm) ? sp : sm);
  const QC mu_small = dets / mu_big;

  Reference ref{{ref_mode(l1), ref_mode(l2), ref_mode(l3)}, {ref_mode(mu_small), ref_mode(mu_big)}};
  const auto faster = [](const RefMode& x, const RefMode& y) { return x.speed > y.speed; };
  std::sort(ref.p, ref.p + 3, faster);
  std::sort(ref.s, ref.s + 2, faster);
  return ref;
}

double relative(double got, double want) { return std::fabs(got - want) / std::fabs(want); }

// Worst relative deviation of all ten outputs from the reference.
double worst_deviation(const Outputs& o, const Reference& ref, std::string& where) {
  RefMode got[3] = {{o.vp1, o.tq_p1}, {o.vp2, o.tq_p2}, {o.vp3, o.tq_p3}};
  std::sort(got, got + 3, [](const RefMode& x, const RefMode& y) { return x.speed > y.speed; });
  const RefMode shear[2] = {{o.vs1, o.tq_s1}, {o.vs2, o.tq_s2}};
  double worst = 0;
  const auto take = [&](double g, double w, const std::string& name) {
    const double d = relative(g, w);
    if (!(d <= worst)) {
      worst = d;
      where = name + " = " + format_real(g) + ", reference " + format_real(w);
    }
  };
  for (int i = 0; i < 3; ++i) {
    take(got[i].speed, ref.p[i].speed, "compressional speed #" + std::to_string(i + 1));
    take(got[i].thousand_over_q, ref.p[i].thousand_over_q, "compressional 1000/Q #" + std::to_string(i + 1));
  }
  for (int i = 0; i < 2; ++i) {
    take(shear[i].speed, ref.s[i].speed, "shear speed #" + std::to_string(i + 1));
    take(shear[i].thousand_over_q, ref.s[i].thousand_over_q, "shear 1000/Q #" + std::to_string(i + 1));
  }
  return worst;
}

double fastest_compressional_q(const Outputs& o) {
  if (o.vp1 >= o.vp2 && o.vp1 >= o.vp3) return o.tq_p1;
  return o.vp2 >= o.vp3 ? o.tq_p2 : o.tq_p3;
}

// 3 x 3 and 5 x 5 column-major access.
dcomplex& at3(dcomplex* a, int i, int j) { return a[(j - 1) * 3 + (i - 1)]; }
dcomplex& at5(dcomplex* a, int i, int j) { return a[(j - 1) * 5 + (i - 1)]; }

double cabs(dcomplex z) { return std::hypot(z.re, z.im); }

}  // namespace

// ===========================================================================
// c_invert: in-place inversion by bordering
// ===========================================================================

TEST(InversionTest, OrderOneOnlyTakesTheReciprocal) {
  dcomplex a[25];
  for (int i = 0; i < 25; ++i) a[i] = dcomplex(100.0 + i, -i);
  a[0] = dcomplex(3.0, 4.0);
  c_invert(1, a);
  EXPECT_NEAR(a[0].re, 0.12, 1e-16) << "1/(3+4i) should be 0.12-0.16i";
  EXPECT_NEAR(a[0].im, -0.16, 1e-16) << "1/(3+4i) should be 0.12-0.16i";
  for (int i = 1; i < 25; ++i)
    EXPECT_TRUE(a[i] == dcomplex(100.0 + i, -i)) << "an order-1 inversion changed storage item " << i;
}

TEST(InversionTest, DiagonalMatrixGivesReciprocalsAndExactZeros) {
  dcomplex a[25];
  for (int i = 0; i < 25; ++i) a[i] = dcomplex{};
  const dcomplex diag[5] = {{2, 0}, {0, 4}, {-8, 0}, {1, 1}, {0.5, -0.25}};
  for (int i = 1; i <= 5; ++i) at5(a, i, i) = diag[i - 1];
  c_invert(5, a);
  for (int j = 1; j <= 5; ++j)
    for (int i = 1; i <= 5; ++i) {
      if (i == j) {
        const dcomplex want = dcomplex(1.0) / diag[i - 1];
        EXPECT_TRUE(at5(a, i, i) == want) << "diagonal entry " << i << " is not the reciprocal";
      } else {
        EXPECT_TRUE(at5(a, i, j) == dcomplex{}) << "off-diagonal entry (" << i << "," << j << ") is not zero";
      }
    }
}

TEST(InversionTest, TwoByTwoExample) {
  dcomplex a[25];
  for (int i = 0; i < 25; ++i) a[i] = dcomplex(7.0);
  at5(a, 1, 1) = dcomplex(2.0);
  at5(a, 1, 2) = dcomplex(1.0);
  at5(a, 2, 1) = dcomplex(1.0);
  at5(a, 2, 2) = dcomplex(1.0);
  c_invert(2, a);
  EXPECT_TRUE(at5(a, 1, 1) == dcomplex(1.0)) << "inverse of [[2,1],[1,1]] should start with 1";
  EXPECT_TRUE(at5(a, 1, 2) == dcomplex(-1.0)) << "inverse of [[2,1],[1,1]]: (1,2) should be -1";
  EXPECT_TRUE(at5(a, 2, 1) == dcomplex(-1.0)) << "inverse of [[2,1],[1,1]]: (2,1) should be -1";
  EXPECT_TRUE(at5(a, 2, 2) == dcomplex(2.0)) << "inverse of [[2,1],[1,1]]: (2,2) should be 2";
  EXPECT_TRUE(at5(a, 3, 1) == dcomplex(7.0) && at5(a, 1, 3) == dcomplex(7.0))
      << "entries outside the order-2 block were touched";
}

TEST(InversionTest, GeneralComplexMatrixTimesItsInverseIsIdentity) {
  dcomplex a[25], inv[25];
  for (int j = 1; j <= 5; ++j)
    for (int i = 1; i <= 5; ++i)
      at5(a, i, j) = dcomplex(std::sin(1.0 + i * 7 + j * 3), std::cos(2.0 * i - j)) +
                     dcomplex(i == j ? 6.0 : 0.0, 0.0);
  std::copy(a, a + 25, inv);
  c_invert(5, inv);
  double worst = 0;
  for (int j = 1; j <= 5; ++j)
    for (int i = 1; i <= 5; ++i) {
      dcomplex sum{};
      for (int f = 1; f <= 5; ++f) sum += at5(a, i, f) * at5(inv, f, j);
      worst = std::max(worst, cabs(sum - dcomplex(i == j ? 1.0 : 0.0)));
    }
  EXPECT_LT(worst, 1e-14) << "A * inverse(A) differs from the identity";
}

TEST(InversionTest, ZeroLeadingMinorGivesNonFiniteEntries) {
  dcomplex a[25];
  for (int i = 0; i < 25; ++i) a[i] = dcomplex{};
  at5(a, 1, 2) = at5(a, 2, 1) = dcomplex(1.0);  // [[0,1],[1,0]]: invertible, but no pivoting
  c_invert(2, a);
  EXPECT_FALSE(std::isfinite(at5(a, 1, 1).re)) << "a zero leading minor should not pass as a finite inverse";
}

// ===========================================================================
// cubeq2: Cardano's formula
// ===========================================================================

TEST(CubicTest, RealRootsComeInBranchOrder) {
  dcomplex x1, x2, x3;
  cubeq2(dcomplex(1.0), dcomplex(-6.0), dcomplex(11.0), dcomplex(-6.0), x1, x2, x3);
  EXPECT_LT(cabs(x1 - dcomplex(3.0)), 1e-14) << "first root of (x-1)(x-2)(x-3) should be 3";
  EXPECT_LT(cabs(x2 - dcomplex(1.0)), 1e-14) << "second root of (x-1)(x-2)(x-3) should be 1";
  EXPECT_LT(cabs(x3 - dcomplex(2.0)), 1e-14) << "third root of (x-1)(x-2)(x-3) should be 2";
}

TEST(CubicTest, CubeRootsOfOneStartWithOne) {
  dcomplex x1, x2, x3;
  cubeq2(dcomplex(1.0), dcomplex{}, dcomplex{}, dcomplex(-1.0), x1, x2, x3);
  const double h = std::sqrt(3.0) / 2;
  EXPECT_LT(cabs(x1 - dcomplex(1.0)), 1e-15) << "the first cube root of 1 should be 1";
  EXPECT_LT(cabs(x2 - dcomplex(-0.5, h)), 1e-15) << "the second cube root of 1 should be exp(2 pi i/3)";
  EXPECT_LT(cabs(x3 - dcomplex(-0.5, -h)), 1e-15) << "the third cube root of 1 should be exp(-2 pi i/3)";
}

TEST(CubicTest, ComplexCoefficientsGiveTheirComplexRoots) {
  const dcomplex r[3] = {{1.5, -2.0}, {-0.25, 0.75}, {3.0, 1.0}};
  const dcomplex lead(2.0, 1.0);
  const dcomplex a2 = -(lead * (r[0] + r[1] + r[2]));
  const dcomplex a1 = lead * (r[0] * r[1] + r[0] * r[2] + r[1] * r[2]);
  const dcomplex a0 = -(lead * (r[0] * r[1] * r[2]));
  dcomplex x[3];
  cubeq2(lead, a2, a1, a0, x[0], x[1], x[2]);
  for (const dcomplex& want : r) {
    double nearest = 1e300;
    for (const dcomplex& got : x) nearest = std::min(nearest, cabs(got - want));
    // Cardano's absolute error is a few hundred ulps of the coefficients here.
    EXPECT_LT(nearest, 1e-11) << "root " << want.re << "+" << want.im << "i not found";
  }
}

TEST(CubicTest, TripleRootIsFiniteAndExact) {
  // x^3 = 0: p = q = 0 and w = 0, where Cardano's formula would divide by zero.
  dcomplex x1, x2, x3;
  cubeq2(dcomplex(1.0), dcomplex{}, dcomplex{}, dcomplex{}, x1, x2, x3);
  EXPECT_TRUE(x1 == dcomplex{} && x2 == dcomplex{} && x3 == dcomplex{})
      << "x^3 = 0 should give the triple root 0, got " << x1.re << " " << x2.re << " " << x3.re;
  // A shifted triple root where p and q vanish exactly: (x + 3)^3 with a3 = 1
  // gives b = 9*(1/3) = 3 (rounded product), p = 27 - 9*3 = 0, q = 0.
  cubeq2(dcomplex(1.0), dcomplex(9.0), dcomplex(27.0), dcomplex(27.0), x1, x2, x3);
  for (const dcomplex& x : {x1, x2, x3}) {
    EXPECT_TRUE(std::isfinite(x.re) && std::isfinite(x.im)) << "a triple root came out non-finite";
    EXPECT_LT(cabs(x - dcomplex(-3.0)), 1e-12) << "(x+3)^3 should give -3 three times";
  }
}

TEST(CubicTest, VanishingCardanoTermTakesTheOtherSquareRoot) {
  // x^3 + 2 = 0: p = 0, h = sqrt(1) = 1 = q/2, so h - q/2 = 0.
  dcomplex x[3];
  cubeq2(dcomplex(1.0), dcomplex{}, dcomplex{}, dcomplex(2.0), x[0], x[1], x[2]);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(std::isfinite(x[i].re) && std::isfinite(x[i].im)) << "root " << i + 1 << " is not finite";
    EXPECT_LT(cabs(cube(x[i]) + dcomplex(2.0)), 1e-14) << "root " << i + 1 << " does not solve x^3 = -2";
  }
  EXPECT_GT(cabs(x[0] - x[1]), 1.0) << "the three cube roots of -2 should be distinct";
  EXPECT_GT(cabs(x[1] - x[2]), 1.0) << "the three cube roots of -2 should be distinct";
}

TEST(CubicTest, UnderflowingDepressedCubicStillGivesItsRoots) {
  // x^3 + p x = 0 with (p/3)^3 below the smallest double: roots 0, +-i*1e-60.
  const double p = 1e-120;
  dcomplex x[3];
  cubeq2(dcomplex(1.0), dcomplex{}, dcomplex(p), dcomplex{}, x[0], x[1], x[2]);
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(std::isfinite(x[i].re) && std::isfinite(x[i].im)) << "root " << i + 1 << " is not finite";
  EXPECT_TRUE(x[0] == dcomplex{}) << "the first root of x^3 + p x should be 0";
  EXPECT_EQ(x[1].re, 0.0) << "the second root should be purely imaginary";
  EXPECT_NEAR(std::fabs(x[1].im), 1e-60, 1e-75) << "the second root should be +-i*sqrt(p)";
  EXPECT_EQ(x[2].im, -x[1].im) << "the third root should be the opposite of the second";
}

// ===========================================================================
// cautov: eigenvalues of a 3 x 3 matrix
// ===========================================================================

TEST(EigenvalueTest, DiagonalMatrixInCubicOrder) {
  dcomplex a[9];
  for (int i = 0; i < 9; ++i) a[i] = dcomplex{};
  at3(a, 1, 1) = dcomplex(1.0);
  at3(a, 2, 2) = dcomplex(2.0);
  at3(a, 3, 3) = dcomplex(3.0);
  dcomplex eig[3];
  cautov(a, eig);
  EXPECT_LT(cabs(eig[0] - dcomplex(3.0)), 1e-14) << "diag(1,2,3): first eigenvalue should be 3";
  EXPECT_LT(cabs(eig[1] - dcomplex(1.0)), 1e-14) << "diag(1,2,3): second eigenvalue should be 1";
  EXPECT_LT(cabs(eig[2] - dcomplex(2.0)), 1e-14) << "diag(1,2,3): third eigenvalue should be 2";
}

TEST(EigenvalueTest, EachEigenvalueMakesTheCharacteristicDeterminantVanish) {
  dcomplex a[9];
  for (int j = 1; j <= 3; ++j)
    for (int i = 1; i <= 3; ++i) at3(a, i, j) = dcomplex(std::cos(3.0 * i + j), std::sin(i - 2.0 * j));
  double scale = 0;
  for (const dcomplex& x : a) scale = std::max(scale, cabs(x));
  dcomplex eig[3];
  cautov(a, eig);
  for (int r = 0; r < 3; ++r) {
    dcomplex b[9];
    std::copy(a, a + 9, b);
    for (int i = 1; i <= 3; ++i) at3(b, i, i) = at3(b, i, i) - eig[r];
    const dcomplex det = at3(b, 1, 1) * (at3(b, 2, 2) * at3(b, 3, 3) - at3(b, 2, 3) * at3(b, 3, 2)) -
                         at3(b, 1, 2) * (at3(b, 2, 1) * at3(b, 3, 3) - at3(b, 2, 3) * at3(b, 3, 1)) +
                         at3(b, 1, 3) * (at3(b, 2, 1) * at3(b, 3, 2) - at3(b, 2, 2) * at3(b, 3, 1));
    EXPECT_LT(cabs(det), 1e-13 * scale * scale * scale)
        << "det(T - lambda I) does not vanish for eigenvalue " << r + 1;
  }
}

// ===========================================================================
// Double-double building blocks
// ===========================================================================

TEST(DoubleDoubleTest, ProductsAndSumsAreExact) {
  const double xs[] = {1.0 / 3.0, -2.718281828459045e10, 1e-7 + 3e-23, 123456789.123, -0.1};
  for (double a : xs)
    for (double b : xs) {
      const DoubleDouble p = two_prod(a, b);
      EXPECT_TRUE(quad(p.hi) + quad(p.lo) == quad(a) * quad(b))
          << "two_prod(" << a << ", " << b << ") is not exact: is the build contracting or reassociating?";
      const DoubleDouble s = two_sum(a, b);
      EXPECT_TRUE(quad(s.hi) + quad(s.lo) == quad(a) + quad(b)) << "two_sum(" << a << ", " << b << ") is not exact";
    }
}

TEST(DoubleDoubleTest, DeterminantKeepsWhatDoubleCancels) {
  // det [[1+e, 1], [1, 1-e]] style cancellation inside a 3 x 3 determinant:
  // diag(1, [[x, y], [y, z]]) with x*z - y*y = 1e-20 exactly representable only in double-double.
  dcomplex a[9];
  for (int i = 0; i < 9; ++i) a[i] = dcomplex{};
  const double e = std::ldexp(1.0, -40);
  at3(a, 1, 1) = dcomplex(1.0);
  at3(a, 2, 2) = dcomplex(1.0 + e);
  at3(a, 3, 3) = dcomplex(1.0 - e);
  at3(a, 2, 3) = at3(a, 3, 2) = dcomplex(1.0);
  const ComplexDD det = det3_dd(a);
  EXPECT_EQ(to_double(det.re), -e * e) << "the double-double determinant lost the cancelled part";
}

// ===========================================================================
// Refinement of the small roots
// ===========================================================================

TEST(RefinementTest, NewtonPolishesANearbyRoot) {
  dcomplex t[9];
  for (int i = 0; i < 9; ++i) t[i] = dcomplex{};
  at3(t, 1, 1) = dcomplex(1.0);
  at3(t, 2, 2) = dcomplex(2.0);
  at3(t, 3, 3) = dcomplex(3.0);
  dcomplex eig[3] = {dcomplex(3.0), dcomplex(1.0 + 1e-6, 1e-7), dcomplex(2.0)};
  refine_cubic_roots(t, eig);
  EXPECT_LT(cabs(eig[1] - dcomplex(1.0)), 1e-15) << "a root off by 1e-6 was not polished";
  EXPECT_LT(cabs(eig[0] - dcomplex(3.0)), 1e-15) << "an exact root moved";
}

TEST(RefinementTest, RootThatWouldJumpSlotsKeepsCardanosValue) {
  dcomplex t[9];
  for (int i = 0; i < 9; ++i) t[i] = dcomplex{};
  at3(t, 1, 1) = dcomplex(1.0);
  at3(t, 2, 2) = dcomplex(2.0);
  at3(t, 3, 3) = dcomplex(3.0);
  // Near the flat point of the cubic between 1 and 2 Newton leaps far away.
  dcomplex eig[3] = {dcomplex(3.0), dcomplex(1.45), dcomplex(2.0)};
  refine_cubic_roots(t, eig);
  EXPECT_TRUE(eig[1] == dcomplex(1.45)) << "a Newton step that leaves the root's neighbourhood was accepted";
}

TEST(RefinementTest, ZeroDerivativeEndsTheIterationWithoutNaN) {
  // Companion matrix of lambda^3 - 1: c2 = c1 = 0, so f'(0) = 0.
  dcomplex t[9];
  for (int i = 0; i < 9; ++i) t[i] = dcomplex{};
  at3(t, 2, 1) = dcomplex(1.0);
  at3(t, 3, 2) = dcomplex(1.0);
  at3(t, 1, 3) = dcomplex(1.0);
  dcomplex eig[3] = {dcomplex{}, dcomplex(-0.5, 0.8660254037844386), dcomplex(-0.5, -0.8660254037844386)};
  refine_cubic_roots(t, eig);
  EXPECT_TRUE(eig[0] == dcomplex{}) << "a zero derivative should end the iteration at the start value";
  EXPECT_TRUE(std::isfinite(eig[1].re) && std::isfinite(eig[2].re)) << "refinement produced a non-finite root";
}

TEST(RefinementTest, ShearPairSmallRootFromTheDeterminant) {
  // Diagonal, lossless: A_c = diag(p11, p22, p33), shear block diag(p11/mu1, p33/mu3).
  dcomplex a_c[9];
  for (int i = 0; i < 9; ++i) a_c[i] = dcomplex{};
  at3(a_c, 1, 1) = dcomplex(2000.0);
  at3(a_c, 2, 2) = dcomplex(1000.0);
  at3(a_c, 3, 3) = dcomplex(900.0);
  const double mu1 = 2e10, mu3 = 1e5, mu13 = 0;
  dcomplex mu_plus(9e-3), mu_minus(1.0000001e-7);  // small root wrong in the 7th digit
  refine_shear_pair(a_c, mu1, mu3, mu13, mu_plus, mu_minus);
  EXPECT_TRUE(mu_plus == dcomplex(9e-3)) << "the larger shear root must not change";
  EXPECT_LT(relative(mu_minus.re, 1e-7), 1e-15) << "the smaller shear root was not replaced by det/larger";
}

// ===========================================================================
// veloc_aten: speeds and attenuation against the 113-bit reference
// ===========================================================================

TEST(PlaneWaveAccuracyTest, AllTenOutputsAgreeWithTheReference) {
  const Cell cells[] = {permafrost(), ice_rich(), shaley_sand()};
  const char* names[] = {"permafrost", "ice-rich", "shaley sand"};
  const double hertz[] = {0.1, 1.0, 10.0, 100.0, 1000.0};
  for (int c = 0; c < 3; ++c)
    for (double f : hertz) {
      const double omega = two_pi * f;
      std::string where;
      const double worst = worst_deviation(run_cell(cells[c], omega), reference(cells[c], omega), where);
      EXPECT_LT(worst, 1e-11) << names[c] << " cell at " << f << " Hz: " << where;
    }
}

TEST(PlaneWaveAccuracyTest, LosslessMediumHasNoAttenuation) {
  const Cell cells[] = {lossless(permafrost()), lossless(ice_rich()), lossless(shaley_sand())};
  for (const Cell& c : cells) {
    const Outputs o = run_cell(c, two_pi);
    const Reference ref = reference(c, two_pi);
    for (double q : {o.tq_p1, o.tq_p2, o.tq_p3, o.tq_s1, o.tq_s2})
      EXPECT_LT(q, 1e-9) << "a medium without friction shows 1000/Q = " << q;
    RefMode got[3] = {{o.vp1, 0}, {o.vp2, 0}, {o.vp3, 0}};
    std::sort(got, got + 3, [](const RefMode& x, const RefMode& y) { return x.speed > y.speed; });
    for (int i = 0; i < 3; ++i)
      EXPECT_LT(relative(got[i].speed, ref.p[i].speed), 1e-12) << "lossless compressional speed #" << i + 1;
    EXPECT_LT(relative(o.vs1, ref.s[0].speed), 1e-12) << "lossless fast shear speed";
    EXPECT_LT(relative(o.vs2, ref.s[1].speed), 1e-12) << "lossless slow shear speed";
  }
}

TEST(PlaneWaveAccuracyTest, FastWaveAttenuationIsStableUnderOneUlpChanges) {
  const Cell base = permafrost();
  const double q0 = fastest_compressional_q(run_cell(base, two_pi));
  for (int f = 0; f < cell_fields; ++f) {
    Cell c = base;
    c.*cell_field[f] = std::nextafter(c.*cell_field[f], 2 * (c.*cell_field[f]));
    const double q = fastest_compressional_q(run_cell(c, two_pi));
    EXPECT_LT(relative(q, q0), 1e-12) << "one ulp more in " << field_name[f]
                                      << " moves the fast wave's 1000/Q from " << q0 << " to " << q;
  }
}

// ===========================================================================
// veloc_aten: ordering of the modes
// ===========================================================================

namespace {

// A decoupled medium: no coupling between the phases, so T = S(1,3,4; 1,3,4)
// is diagonal with p11/(lambda1 + 2 mu1), (p22 - i b22/omega)/m and
// p33/(lambda3 + 2 mu3), and the shear block is diag(p11/mu1, p33/mu3).
// Here T = diag(1, 0.5 - 0.1i, 3) at omega = 1, and the shear block diag(4, 12).
// Cardano returns the eigenvalues in the order 3, 1, 0.5 - 0.1i.
Cell decoupled() {
  Cell c{};
  c.lambda1 = 0.5; c.mu1 = 0.25; c.p11 = 1.0;
  c.m = 1.0; c.p22 = 0.5; c.b22 = 0.1;
  c.lambda3 = 0.5; c.mu3 = 0.25; c.p33 = 3.0;
  return c;
}

double speed_of(std::complex<double> eigenvalue) { return 1.0 / std::sqrt(eigenvalue).real(); }
double thousand_over_q_of(std::complex<double> eigenvalue) {
  const std::complex<double> s = std::sqrt(eigenvalue);
  return 1000.0 * std::fabs(s.imag() / s.real());
}

}  // namespace

TEST(ModeOrderTest, FasterOfTheFirstTwoRootsComesFirstAndVp3StaysThird) {
  const Outputs o = run_cell(decoupled(), 1.0);
  // Roots in cubic order: 3 (speed 0.577), 1 (speed 1), 0.5-0.1i (speed 1.41).
  EXPECT_NEAR(o.vp1, 1.0, 1e-14) << "vp1 should be the faster of roots 1 and 2 (eigenvalue 1)";
  EXPECT_NEAR(o.tq_p1, 0.0, 1e-10) << "vp1 came from the lossless root and must keep its 1000/Q";
  EXPECT_NEAR(o.vp2, speed_of(3.0), 1e-14) << "vp2 should be the slower of roots 1 and 2 (eigenvalue 3)";
  EXPECT_NEAR(o.vp3, speed_of({0.5, -0.1}), 1e-13) << "vp3 should be root 3 although it is the fastest";
  EXPECT_GT(o.vp3, o.vp1) << "vp3 is not compared with vp1 and vp2";
  EXPECT_NEAR(o.tq_p3, thousand_over_q_of({0.5, -0.1}), 1e-10) << "vp3 lost its own attenuation";
}

TEST(ModeOrderTest, FasterShearModeComesFirst) {
  const Outputs o = run_cell(decoupled(), 1.0);
  EXPECT_NEAR(o.vs1, 0.5, 1e-14) << "vs1 should be the faster shear mode (eigenvalue 4)";
  EXPECT_NEAR(o.vs2, speed_of(12.0), 1e-14) << "vs2 should be the slower shear mode (eigenvalue 12)";
  EXPECT_LT(o.tq_s1, 1e-10) << "a shear mode without friction shows attenuation";
  EXPECT_LT(o.tq_s2, 1e-10) << "a shear mode without friction shows attenuation";
}

TEST(ModeOrderTest, EqualSpeedsKeepTheRootOrder) {
  PlaneMode first{dcomplex(1.0, 0.1), 1.0};
  PlaneMode second{dcomplex(1.0, 0.2), 1.0};
  faster_first(first, second);
  EXPECT_EQ(first.s.im, 0.1) << "a tie of speeds swapped the modes";
  PlaneMode slow{dcomplex(2.0, 0.1), 0.5};
  PlaneMode fast{dcomplex(1.0, 0.3), 1.0};
  faster_first(slow, fast);
  EXPECT_EQ(slow.speed, 1.0) << "the faster second mode did not move first";
  EXPECT_EQ(slow.s.im, 0.3) << "the faster mode did not keep its own slowness";
}

TEST(ModeOrderTest, LosslessModeHasInfiniteQualityAndZeroAttenuation) {
  const PlaneMode mode = plane_mode(dcomplex(0.25));
  EXPECT_EQ(mode.speed, 2.0) << "slowness^2 0.25 should give the speed 2";
  EXPECT_TRUE(std::isinf(quality_factor(mode))) << "a real slowness should give an infinite Q";
  EXPECT_EQ(1000.0 / quality_factor(mode), 0.0) << "a real slowness should give 1000/Q = 0";
  EXPECT_EQ(attenuation_per_wavelength(mode), 0.0) << "a real slowness should not attenuate";
}

// ===========================================================================
// veloc_aten: echo and the cell whose results are returned
// ===========================================================================

namespace {

const std::string stars = "********************************************";

// The echo lines of a sample whose centre cell has the outputs c; the lines
// of each mode are given up to the speed (the other items are checked by value).
std::vector<std::string> expected_echo(int nx, int ny, double omega, const Outputs& c) {
  std::vector<std::string> lines = {stars, "", " ANGULAR FREQUENCY :   " + format_real(omega) + "  (HZ)", "", stars};
  if (nx / 2 >= 1 && ny / 2 >= 1) {
    const std::string centre = "nx/2,ny/2  " + std::to_string(nx / 2) + " " + std::to_string(ny / 2);
    lines.insert(lines.end(), {centre, "Compressional wave speeds using eigenvalues",
                               "  of matrix S = E^{-1} A associated with   ",
                               " rows and  col. 1,3 y 4  of S,  respec.", ""});
    const double vp[3] = {c.vp1, c.vp2, c.vp3};
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i + 1);
      lines.insert(lines.end(), {"vp" + n + " =  " + format_real(vp[i]) + " m/s  atp" + n + " = ", " Q" + n + " = ", ""});
    }
    lines.insert(lines.end(), {centre, "", " Shear  wave speeds and att. using eigenvalues",
                               "  of matrix S = E^{-1} A col. associated with ",
                               " rows and  cols. 2 and 5 of  S,  respec.", ""});
    const double vs[2] = {c.vs1, c.vs2};
    for (int i = 0; i < 2; ++i) {
      const std::string n = std::to_string(i + 1);
      lines.insert(lines.end(), {"vs" + n + " =  " + format_real(vs[i]) + "  ats" + n + " = ", " Qs" + n + " = ", ""});
    }
  }
  lines.push_back("");
  return lines;
}

// Reads the number that follows `label` in `line`.
double value_after(const std::string& line, const std::string& label) {
  const std::size_t at = line.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::stod(line.substr(at + label.size()));
}

}  // namespace

TEST(EchoTest, BannerAndCentreCellRecords) {
  const Cell centre_cell = permafrost();
  const Outputs want = run_cell(centre_cell, two_pi);
  auto sample = std::make_unique<Sample>();
  sample->fill(4, 3, centre_cell);  // centre cell (2, 1)
  std::vector<std::string> lines;
  {
    CapturedOutput out;
    run_sample(4, 3, two_pi, *sample);
    lines = split_lines(out.text());
  }
  const std::vector<std::string> expected = expected_echo(4, 3, two_pi, want);
  ASSERT_EQ(lines.size(), expected.size()) << "the echo does not have the banner, 2 x (header + modes) and a final empty record";
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].substr(0, expected[i].size()), expected[i]) << "echo line " << i + 1 << " is wrong";

  // The attenuation items of each mode, checked against the returned values.
  const double tq[5] = {want.tq_p1, want.tq_p2, want.tq_p3, want.tq_s1, want.tq_s2};
  const int first_line[5] = {10, 13, 16, 25, 28};
  const char* labels[5][3] = {{" atp1 = ", "1000/qp1 ", " Q1 = "},
                              {" atp2 = ", "1000/qp2 ", " Q2 = "},
                              {" atp3 = ", "1000/qp3 ", " Q3 = "},
                              {" ats1 = ", "1000/qs1 ", " Qs1 = "},
                              {" ats2 = ", "1000/qs2 ", " Qs2 = "}};
  for (int i = 0; i < 5; ++i) {
    const std::string& main_line = lines[first_line[i]];
    const std::string& q_line = lines[first_line[i] + 1];
    EXPECT_EQ(value_after(main_line, labels[i][1]), tq[i]) << "mode " << i + 1 << ": echoed 1000/Q differs";
    EXPECT_NEAR(value_after(main_line, labels[i][0]), 54.57505014459279e-3 * tq[i], 1e-12 * tq[i])
        << "mode " << i + 1 << ": attenuation per wavelength is not 54.575*|Im s/Re s|";
    EXPECT_NEAR(value_after(q_line, labels[i][2]), 1000.0 / tq[i], 1e-12 * (1000.0 / tq[i]))
        << "mode " << i + 1 << ": Q is not |Re s/Im s|";
  }
}

TEST(EchoTest, NoCentreEchoForASingleColumnOrRow) {
  auto sample = std::make_unique<Sample>();
  sample->fill(5, 5, permafrost());
  for (const auto& [nx, ny] : {std::pair{1, 5}, std::pair{5, 1}, std::pair{1, 1}}) {
    CapturedOutput out;
    run_sample(nx, ny, 3.0, *sample);
    const std::vector<std::string> lines = split_lines(out.text());
    const std::vector<std::string> expected = {stars, "", " ANGULAR FREQUENCY :   3  (HZ)", "", stars, ""};
    EXPECT_EQ(lines, expected) << nx << " x " << ny << " sample: only the banner and the final empty record expected";
  }
}

TEST(EchoTest, OutputsBelongToTheLastCellNotTheEchoedOne) {
  auto sample = std::make_unique<Sample>();
  sample->fill(3, 2, permafrost());
  sample->set(3, 2, ice_rich());
  const Outputs centre = run_cell(permafrost(), two_pi);
  const Outputs last = run_cell(ice_rich(), two_pi);
  Outputs got{};
  std::vector<std::string> lines;
  {
    CapturedOutput out;
    got = run_sample(3, 2, two_pi, *sample);
    lines = split_lines(out.text());
  }
  EXPECT_EQ(got.vp1, last.vp1) << "vp1 is not that of cell (nx, ny)";
  EXPECT_EQ(got.vs2, last.vs2) << "vs2 is not that of cell (nx, ny)";
  EXPECT_EQ(got.tq_p1, last.tq_p1) << "1000/qp1 is not that of cell (nx, ny)";
  EXPECT_EQ(got.tq_s1, last.tq_s1) << "1000/qs1 is not that of cell (nx, ny)";
  ASSERT_GT(lines.size(), 10u);
  EXPECT_EQ(value_after(lines[10], "vp1 = "), centre.vp1) << "the echo does not show the centre cell (1, 1)";
}

// ===========================================================================
// veloc_aten: stops
// ===========================================================================

TEST(StopTest, ModeThatDoesNotPropagateStopsTheRun) {
  Cell c = decoupled();
  c.p11 = -1.0;  // slowness^2 -1 for solid 1: s = i, Re s = 0 up to rounding
  auto sample = std::make_unique<Sample>();
  sample->fill(1, 1, c);
  CapturedOutput out;
  try {
    run_sample(1, 1, 1.0, *sample);
    FAIL() << "an infinite speed passed as a result";
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.code, stop_infinite_speed) << "wrong stop number for an infinite speed";
    EXPECT_EQ(stop_infinite_speed & 255, 213) << "the stop number must keep its exit status 213";
  }
  const std::vector<std::string> lines = split_lines(out.text());
  ASSERT_FALSE(lines.empty());
  const std::string& message = lines.back();
  EXPECT_EQ(message.rfind(" error, vp", 0), 0u) << "message should name the compressional speed: " << message;
  // Rounding leaves Re s a hair above zero, so the speed shown is finite:
  // the words must match the figure.
  EXPECT_NE(message.find("does not propagate: its slowness has practically no real part, Re s ="), std::string::npos)
      << "message should say the mode does not propagate and show the slowness found: " << message;
  EXPECT_EQ(message.find("infinite"), std::string::npos) << "a finite speed must not be called infinite: " << message;
}

TEST(StopTest, SingularCellStopsInsteadOfReportingNaN) {
  auto sample = std::make_unique<Sample>();
  sample->fill(2, 2, permafrost());
  sample->set(2, 1, Cell{});  // every coefficient zero: E is singular
  CapturedOutput out;
  try {
    run_sample(2, 2, two_pi, *sample);
    FAIL() << "a cell with a singular stiffness passed as a result";
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.code, stop_infinite_speed) << "wrong stop number for a speed that is not a number";
  }
  const std::vector<std::string> lines = split_lines(out.text());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), " error, vp1 is not a number, vp1 =  NaN") << "message for a NaN speed";
}

TEST(StopTest, PositiveFiniteSpeedsPass) {
  auto sample = std::make_unique<Sample>();
  sample->fill(3, 3, shaley_sand());
  CapturedOutput out;
  EXPECT_NO_THROW(run_sample(3, 3, two_pi * 50, *sample)) << "a physical sample was stopped";
}

TEST(StopTest, PropagationTestOfASingleMode) {
  EXPECT_FALSE(propagates(plane_mode(dcomplex(-1.0, 0.0)))) << "s^2 = -1 gives Re s = 0: no travelling wave";
  EXPECT_FALSE(propagates(plane_mode(dcomplex(-1.0, 1e-17)))) << "s^2 = -1 blurred by rounding still does not propagate";
  EXPECT_FALSE(propagates(plane_mode(dcomplex(0.0, 0.0)))) << "s = 0 gives an infinite speed";
  EXPECT_TRUE(propagates(plane_mode(dcomplex(0.0, -1.0)))) << "a purely diffusive mode (Q = 1) does propagate";
  EXPECT_TRUE(propagates(plane_mode(dcomplex(1e-7, -1e-3)))) << "a strongly damped mode does propagate";
}
