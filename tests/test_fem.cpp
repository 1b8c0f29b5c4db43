// Finite-element discretisation: unknown numbering, element matrices and the
// assembly into compressed rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fem/band_assembly.hpp"
#include "fem/contribucion_yale.hpp"
#include "fem/global_numbering.hpp"
#include "fem/global_sist.hpp"
#include "fem/local_sys.hpp"
#include "tests/test_support.hpp"

namespace {

// ---------------------------------------------------------------- helpers --

// The 18 coefficient maps of a sample, in the order elastic, mass, friction.
using Medium = CoefficientMaps;

// One assembly scratch for every assembly of these tests, as one pass
// object's scratch serves every frequency: what one assembly leaves there
// must never leak into the next.
AssemblyScratch& shared_scratch() {
  static const auto scratch = std::make_unique<AssemblyScratch>();
  return *scratch;
}

// A heterogeneous sample: every cell gets its own values of realistic size.
// With zero_friction_b12 the fluid/solid friction vanishes (which produces
// signed zeros in the element matrices).
std::unique_ptr<Medium> make_medium(int nx, int ny, bool zero_friction_b12 = false) {
  auto md = std::make_unique<Medium>();
  RealMap* maps[18] = {&md->lambda1, &md->lambda3, &md->mu1, &md->mu3, &md->mu13, &md->b1,
                       &md->b2, &md->m, &md->d3, &md->p11, &md->p12, &md->p13,
                       &md->p22, &md->p23, &md->p33, &md->b11, &md->b12, &md->b22};
  const double base[18] = {1.3e10, 0.7e10, 2.9e10, 3.3e9, 1.7e9, 4.1e9, 1.9e9, 2.3e9, 0.9e9,
                           2650, -10, -5, 1000, -3, 917, 3.1e6, 2.2e7, 5.3e7};
  for (int j = 1; j <= nx; ++j)
    for (int k = 1; k <= ny; ++k)
      for (int c = 0; c < 18; ++c)  // every coefficient varies differently over the cells
        (*maps[c])(j, k) = base[c] * (1.0 + 0.37 * ((j * (c + 3) + k * k * (c + 1)) % 11) / 11.0);
  if (zero_friction_b12) std::fill(md->b12.data.begin(), md->b12.data.end(), 0.0);
  return md;
}

// Element matrix of cell (j,k) of an nx x ny mesh with the coefficients of md.
void element(const Medium& md, int j, int k, int nx, int ny, double omega, double h,
             ElementMatrix& a, ElementVector& r) {
  local_sys(j, k, nx, ny, omega, h, md.lambda1(j, k), md.lambda3(j, k), md.mu1(j, k),
            md.mu3(j, k), md.mu13(j, k), md.b1(j, k), md.b2(j, k), md.m(j, k), md.d3(j, k),
            md.p11(j, k), md.p12(j, k), md.p13(j, k), md.p22(j, k), md.p23(j, k),
            md.p33(j, k), md.b11(j, k), md.b12(j, k), md.b22(j, k), a, r);
}

// The assembled system with arrays sized 50*n, pre-filled with garbage so
// that every position the assembly should write or clear is checked.
struct System {
  int n = 0;
  std::vector<std::int32_t> ia, ja;
  std::vector<dcomplex> avec, rhs;
  int nnz() const { return ia[n] - 1; }
  explicit System(int order)
      : n(order), ia(n + 1, -7), ja(50 * n, -7), avec(50 * n, dcomplex(9.5, -9.5)),
        rhs(n, dcomplex(9.5, -9.5)) {}
};

System assemble_fast(const Medium& md, const NodeTable& xnod, int nx, int ny, double omega,
                     double h) {
  System sys(unknown_count(nx, ny));
  global_sist(omega, nx, ny, h, xnod, md.lambda1, md.lambda3, md.mu1, md.mu3, md.mu13, md.b1,
              md.b2, md.m, md.d3, md.p11, md.p12, md.p13, md.p22, md.p23, md.p33, md.b11,
              md.b12, md.b22, sys.avec.data(), sys.ia.data(), sys.ja.data(), sys.rhs.data(), shared_scratch());
  return sys;
}

// The same system in two calls: the pattern, then the values on it.
System assemble_split(const Medium& md, const NodeTable& xnod, int nx, int ny, double omega,
                      double h) {
  System sys(unknown_count(nx, ny));
  global_pattern(nx, ny, xnod, sys.ia.data(), sys.ja.data(), sys.avec.data(), shared_scratch());
  global_values(omega, nx, ny, h, xnod, md, sys.avec.data(), sys.ia.data(), sys.ja.data(), sys.rhs.data(),
                shared_scratch());
  return sys;
}

// Re-assembles the values of sys at omega on the pattern it already holds.
void revalue(System& sys, const Medium& md, const NodeTable& xnod, int nx, int ny, double omega,
             double h) {
  global_values(omega, nx, ny, h, xnod, md, sys.avec.data(), sys.ia.data(), sys.ja.data(), sys.rhs.data(),
                shared_scratch());
}

// The assembly entry by entry through contribucion_yale: cells j outer,
// k inner, element entries row-major.
System assemble_by_insertion(const Medium& md, const NodeTable& xnod, int nx, int ny,
                             double omega, double h) {
  System sys(unknown_count(nx, ny));
  const int n = sys.n;
  std::fill(sys.rhs.begin(), sys.rhs.end(), dcomplex(0.0));
  std::fill(sys.avec.begin(), sys.avec.end(), dcomplex(0.0));
  std::fill(sys.ja.begin(), sys.ja.end(), 0);
  std::fill(sys.ia.begin(), sys.ia.end(), 1);
  ElementMatrix a;
  ElementVector r;
  for (int j = 1; j <= nx; ++j) {
    for (int k = 1; k <= ny; ++k) {
      element(md, j, k, nx, ny, omega, h, a, r);
      const int e = (k - 1) * nx + j;
      for (int s = 1; s <= 20; ++s) {
        for (int t = 1; t <= 20; ++t) {
          contribucion_yale(xnod(e, t), xnod(e, s), a(s, t), n, sys.ia.data(), sys.ja.data(),
                            sys.avec.data());
        }
      }
      for (int s = 1; s <= 20; ++s) sys.rhs[xnod(e, s) - 1] += r(s);
    }
  }
  return sys;
}

std::unique_ptr<NodeTable> numbering(int nx, int ny) {
  auto xnod = std::make_unique<NodeTable>();
  global_numbering(nx, ny, *xnod);
  return xnod;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Independent reference of the element matrix without boundary conditions:
// the bilinear forms integrated by 2 x 2 Gauss points (exact for products of
// bilinear functions) from the basis functions themselves.
struct SlotField {
  int phase;            // 1 solid 1, 3 solid 3, 0 fluid
  double v[2];          // vector value
  double grad[2][2];    // grad[c][d] = d v_c / d x_d (solids)
  double div;
};

SlotField field(int s, double x, double y) {
  const double n[4] = {(1 - x) * (1 - y), x * (1 - y), x * y, (1 - x) * y};
  const double nx_[4] = {-(1 - y), 1 - y, y, -y};
  const double ny_[4] = {-(1 - x), -x, x, 1 - x};
  SlotField f{};
  if (s >= 9 && s <= 12) {
    f.phase = 0;
    const double val[4] = {1 - x, x, 1 - y, y};
    const double dv[4] = {-1, 1, -1, 1};
    f.v[s <= 10 ? 0 : 1] = val[s - 9];
    f.div = dv[s - 9];
    return f;
  }
  const int base = s <= 8 ? 1 : 13;
  f.phase = s <= 8 ? 1 : 3;
  const int c = (s - base) / 4;  // component
  const int i = (s - base) % 4;  // vertex
  f.v[c] = n[i];
  f.grad[c][0] = nx_[i];
  f.grad[c][1] = ny_[i];
  f.div = f.grad[c][c];
  return f;
}

dcomplex reference_entry(const Medium& md, int j, int k, double omega, double h, int s, int t) {
  const double g = 0.5 / std::sqrt(3.0);
  const double pts[2] = {0.5 - g, 0.5 + g};
  double re = 0.0;
  double im = 0.0;
  for (double x : pts) {
    for (double y : pts) {
      const SlotField v = field(s, x, y);  // test function (row)
      const SlotField u = field(t, x, y);  // unknown (column)
      double stiff;
      if (u.phase != 0 && v.phase != 0) {
        double lam, mu;
        if (u.phase == 1 && v.phase == 1) {
          lam = md.lambda1(j, k), mu = md.mu1(j, k);
        } else if (u.phase == 3 && v.phase == 3) {
          lam = md.lambda3(j, k), mu = md.mu3(j, k);
        } else {
          lam = md.d3(j, k), mu = md.mu13(j, k) / 2;
        }
        double eps = u.grad[0][0] * v.grad[0][0] + u.grad[1][1] * v.grad[1][1] +
                     0.5 * (u.grad[0][1] + u.grad[1][0]) * (v.grad[0][1] + v.grad[1][0]);
        stiff = lam * u.div * v.div + 2 * mu * eps;
      } else if (u.phase == 0 && v.phase == 0) {
        stiff = md.m(j, k) * u.div * v.div;
      } else {
        const int solid = u.phase != 0 ? u.phase : v.phase;
        stiff = (solid == 1 ? md.b1(j, k) : md.b2(j, k)) * u.div * v.div;
      }
      auto part = [](const SlotField& f, int phase, int c) { return f.phase == phase ? f.v[c] : 0.0; };
      double fric = 0.0;
      for (int c = 0; c < 2; ++c) {
        const double du = part(u, 1, c) - part(u, 3, c), dv = part(v, 1, c) - part(v, 3, c);
        fric += md.b11(j, k) * du * dv +
                md.b12(j, k) * (-du * part(v, 0, c) + part(u, 0, c) * -dv) +
                md.b22(j, k) * part(u, 0, c) * part(v, 0, c);
      }
      re += 0.25 * stiff;
      im += 0.25 * omega * h * h * fric;
    }
  }
  return {re, im};
}

void expect_near_rel(double got, double want, double scale, const char* what, int s, int t) {
  EXPECT_NEAR(got, want, 1e-13 * scale) << what << " of element entry (" << s << "," << t << ")";
}

bool is_zero(const dcomplex& z) { return z.re == 0.0 && z.im == 0.0; }

bool same_bits(const dcomplex& a, const dcomplex& b) {
  return same_bits(a.re, b.re) && same_bits(a.im, b.im);
}

// Two systems agree bit for bit: row pointers, all 50*n columns and values
// (the cleared tail included) and the load.
testing::AssertionResult identical(const System& got, const System& want) {
  if (got.n != want.n) return testing::AssertionFailure() << "orders " << got.n << " and " << want.n;
  if (got.ia != want.ia) return testing::AssertionFailure() << "row pointers differ";
  if (got.ja != want.ja) return testing::AssertionFailure() << "columns differ";
  for (int p = 0; p < 50 * got.n; ++p)
    if (!same_bits(got.avec[p], want.avec[p]))
      return testing::AssertionFailure() << "value at position " << p + 1 << " differs: (" << got.avec[p].re
                                         << "," << got.avec[p].im << ") instead of (" << want.avec[p].re
                                         << "," << want.avec[p].im << ")";
  for (int i = 0; i < got.n; ++i)
    if (!same_bits(got.rhs[i], want.rhs[i]))
      return testing::AssertionFailure() << "load of unknown " << i + 1 << " differs";
  return testing::AssertionSuccess();
}

// -------------------------------------------------------------- numbering --

TEST(NumberingOneCell, RowIsTheKnownSequence) {
  auto xnod = numbering(1, 1);
  const int want[20] = {1, 6, 17, 12, 2, 7, 18, 13, 10, 11, 5, 16, 3, 8, 19, 14, 4, 9, 20, 15};
  for (int s = 1; s <= 20; ++s) EXPECT_EQ((*xnod)(1, s), want[s - 1]) << "slot " << s << " of the only cell";
  EXPECT_EQ(unknown_count(1, 1), 20);
}

TEST(NumberingTwoByTwo, RowsAreTheKnownSequences) {
  auto xnod = numbering(2, 2);
  const int want[4][20] = {
      {1, 6, 23, 18, 2, 7, 24, 19, 15, 16, 5, 22, 3, 8, 25, 20, 4, 9, 26, 21},
      {6, 11, 28, 23, 7, 12, 29, 24, 16, 17, 10, 27, 8, 13, 30, 25, 9, 14, 31, 26},
      {18, 23, 40, 35, 19, 24, 41, 36, 32, 33, 22, 39, 20, 25, 42, 37, 21, 26, 43, 38},
      {23, 28, 45, 40, 24, 29, 46, 41, 33, 34, 27, 44, 25, 30, 47, 42, 26, 31, 48, 43}};
  for (int e = 1; e <= 4; ++e)
    for (int s = 1; s <= 20; ++s) EXPECT_EQ((*xnod)(e, s), want[e - 1][s - 1]) << "cell " << e << " slot " << s;
  EXPECT_EQ(unknown_count(2, 2), 48);
}

// The per-cell table must agree with the global order stated by vertex and
// edge: vertex (a,b) -> P*b + 5a + 1..4, horizontal edge -> P*b + 5a,
// vertical edge at a in cell row k -> P*(k-1) + 5nx + 5 + a.
TEST(NumberingGeneral, AgreesWithVertexAndEdgeOrderOnNonSquareMeshes) {
  for (auto [nx, ny] : {std::pair{1, 5}, {5, 1}, {3, 4}, {7, 2}, {60, 60}}) {
    auto xnod = numbering(nx, ny);
    const int p = 6 * nx + 5;
    std::vector<int> uses(unknown_count(nx, ny) + 1, 0);
    for (int j = 1; j <= nx; ++j) {
      for (int k = 1; k <= ny; ++k) {
        const int e = (k - 1) * nx + j;
        const int va[4] = {j - 1, j, j, j - 1}, vb[4] = {k - 1, k - 1, k, k};
        for (int i = 0; i < 4; ++i) {
          const int base = p * vb[i] + 5 * va[i];
          ASSERT_EQ((*xnod)(e, 1 + i), base + 1) << nx << "x" << ny << " cell " << j << "," << k;
          ASSERT_EQ((*xnod)(e, 5 + i), base + 2);
          ASSERT_EQ((*xnod)(e, 13 + i), base + 3);
          ASSERT_EQ((*xnod)(e, 17 + i), base + 4);
        }
        ASSERT_EQ((*xnod)(e, 9), p * (k - 1) + 5 * nx + 5 + (j - 1));
        ASSERT_EQ((*xnod)(e, 10), p * (k - 1) + 5 * nx + 5 + j);
        ASSERT_EQ((*xnod)(e, 11), p * (k - 1) + 5 * j);
        ASSERT_EQ((*xnod)(e, 12), p * k + 5 * j);
        for (int s = 1; s <= 20; ++s) ++uses[(*xnod)(e, s)];
      }
    }
    for (int u = 1; u < static_cast<int>(uses.size()); ++u)
      ASSERT_GE(uses[u], 1) << "unknown " << u << " of the " << nx << "x" << ny << " mesh has no cell";
  }
  EXPECT_EQ(unknown_count(60, 60), 22204) << "the largest mesh must fill the solver arrays exactly";
}

TEST(NumberingGeneral, LastNumberIsSolid3YOfTheUpperRightCorner) {
  for (auto [nx, ny] : {std::pair{1, 1}, {2, 2}, {3, 5}, {60, 60}}) {
    auto xnod = numbering(nx, ny);
    EXPECT_EQ((*xnod)(nx * ny, 19), unknown_count(nx, ny)) << nx << "x" << ny << " mesh";
  }
}

TEST(NumberingGeneral, UnusedRowsAndEmptyMeshesLeaveTheTableUntouched) {
  auto xnod = std::make_unique<NodeTable>();
  std::fill(xnod->data.begin(), xnod->data.end(), -3);
  global_numbering(0, 5, *xnod);
  global_numbering(4, -1, *xnod);
  EXPECT_TRUE(std::all_of(xnod->data.begin(), xnod->data.end(), [](int v) { return v == -3; }))
      << "an empty mesh must not write the table";
  global_numbering(2, 3, *xnod);
  for (int s = 1; s <= 20; ++s) EXPECT_EQ((*xnod)(7, s), -3) << "row 7 lies beyond the 6 cells";
}

// ---------------------------------------------------------- element matrix --

class ElementMatrixTest : public ::testing::Test {
 protected:
  std::unique_ptr<Medium> md = make_medium(3, 3);
  const double omega = 2 * 3.14159 * 37.0, h = 0.0125;
  ElementMatrix a;
  ElementVector r;
  double scale(int j, int k) const { return std::max(md->lambda1(j, k), md->mu1(j, k)) * 4; }
};

TEST_F(ElementMatrixTest, InnerCellMatchesTheIntegratedBilinearForms) {
  element(*md, 2, 2, 3, 3, omega, h, a, r);
  const double im_scale = omega * h * h * 5.3e7 * 4;
  for (int s = 1; s <= 20; ++s) {
    for (int t = 1; t <= 20; ++t) {
      const dcomplex want = reference_entry(*md, 2, 2, omega, h, s, t);
      expect_near_rel(a(s, t).re, want.re, scale(2, 2), "stiffness", s, t);
      expect_near_rel(a(s, t).im, want.im, im_scale, "friction", s, t);
      EXPECT_TRUE(same_bits(a(s, t).re, a(t, s).re) && same_bits(a(s, t).im, a(t, s).im))
          << "inner-cell matrix not symmetric at (" << s << "," << t << ")";
    }
    EXPECT_TRUE(is_zero(r(s))) << "inner cell must carry no load, slot " << s;
  }
}

TEST_F(ElementMatrixTest, QuotedEntriesOfAnInnerCell) {
  element(*md, 2, 2, 3, 3, omega, h, a, r);
  const double l1 = md->lambda1(2, 2), m1 = md->mu1(2, 2), l3 = md->lambda3(2, 2),
               m3 = md->mu3(2, 2), m13 = md->mu13(2, 2), d3 = md->d3(2, 2), b1 = md->b1(2, 2),
               b2 = md->b2(2, 2), mm = md->m(2, 2), b11 = md->b11(2, 2), b12 = md->b12(2, 2),
               b22 = md->b22(2, 2), w = omega * h * h, sc = scale(2, 2);
  const std::pair<std::pair<int, int>, double> real_entries[] = {
      {{1, 1}, l1 / 3 + m1},       {{1, 2}, -l1 / 3 - m1 / 2}, {{1, 5}, (l1 + m1) / 4},
      {{1, 13}, d3 / 3 + m13 / 2}, {{13, 13}, l3 / 3 + m3},    {{13, 14}, -l3 / 3 - m3 / 2},
      {{1, 14}, -d3 / 3 - m13 / 4}, {{1, 9}, b1 / 2},          {{1, 11}, b1 / 2},
      {{1, 10}, -b1 / 2},          {{1, 12}, -b1 / 2},         {{13, 11}, b2 / 2}};
  for (auto [st, want] : real_entries) expect_near_rel(a(st.first, st.second).re, want, sc, "stiffness", st.first, st.second);
  const double row9[12] = {b1 / 2, -b1 / 2, -b1 / 2, b1 / 2, b1 / 2, b1 / 2, -b1 / 2, -b1 / 2, mm, -mm, mm, -mm};
  for (int t = 1; t <= 12; ++t) expect_near_rel(a(9, t).re, row9[t - 1], sc, "row 9 stiffness", 9, t);
  for (int t = 13; t <= 20; ++t) expect_near_rel(a(9, t).re, row9[t - 13] / b1 * b2, sc, "row 9 stiffness", 9, t);
  const double x11[4] = {b2 / 2, -b2 / 2, -b2 / 2, b2 / 2};
  for (int i = 0; i < 4; ++i) {
    expect_near_rel(a(11, 13 + i).re, x11[i], sc, "fluid B / solid-3 x", 11, 13 + i);
    expect_near_rel(a(12, 13 + i).re, -x11[i], sc, "fluid T / solid-3 x", 12, 13 + i);
    expect_near_rel(a(13 + i, 11).re, x11[i], sc, "solid-3 x / fluid B", 13 + i, 11);
    expect_near_rel(a(13 + i, 12).re, -x11[i], sc, "solid-3 x / fluid T", 13 + i, 12);
  }
  const double isc = w * 1e8;
  expect_near_rel(a(1, 1).im, w * b11 / 9, isc, "friction", 1, 1);
  expect_near_rel(a(1, 9).im, -w * b12 / 6, isc, "friction", 1, 9);
  expect_near_rel(a(4, 9).im, -w * b12 / 6, isc, "friction", 4, 9);
  expect_near_rel(a(4, 10).im, -w * b12 / 12, isc, "friction", 4, 10);
  expect_near_rel(a(10, 4).im, -w * b12 / 12, isc, "friction", 10, 4);
  expect_near_rel(a(9, 9).im, w * b22 / 3, isc, "friction", 9, 9);
  expect_near_rel(a(9, 10).im, w * b22 / 6, isc, "friction", 9, 10);
}

// Every cell of a 3 x 3 mesh (inner, four sides, four corners) against the
// row-completion rule: a held row keeps its diagonal only; an unheld row
// keeps its entries from the diagonal rightwards and mirrors the completed
// rows above it leftwards.
TEST_F(ElementMatrixTest, HeldSlotsFollowTheRowCompletionRuleOnEveryKindOfCell) {
  const std::vector<int> left = {1, 4, 9, 13, 16}, right = {2, 3, 10, 14, 15},
                         bottom = {5, 6, 11, 17, 18};
  for (int j = 1; j <= 3; ++j) {
    for (int k = 1; k <= 3; ++k) {
      element(*md, j, k, 3, 3, omega, h, a, r);
      bool held[21] = {};
      if (j == 1) for (int s : left) held[s] = true;
      if (j == 3) for (int s : right) held[s] = true;
      if (k == 1) for (int s : bottom) held[s] = true;
      if (k == 3) held[12] = true;
      for (int s = 1; s <= 20; ++s) {
        for (int t = 1; t <= 20; ++t) {
          const dcomplex free = reference_entry(*md, j, k, omega, h, std::min(s, t), std::max(s, t));
          const bool zero = held[s] ? s != t : (t < s && held[t]);
          if (zero) {
            EXPECT_TRUE(is_zero(a(s, t))) << "cell " << j << "," << k << ": entry (" << s << "," << t << ") should be 0";
          } else {
            expect_near_rel(a(s, t).re, free.re, scale(j, k), "kept stiffness", s, t);
          }
        }
      }
      for (int s = 1; s <= 20; ++s) {
        const bool loaded = k == 3 && (s == 7 || s == 8 || s == 19 || s == 20);
        EXPECT_EQ(r(s).re, loaded ? -h / 2 : 0.0) << "load of slot " << s << " in cell " << j << "," << k;
        EXPECT_EQ(r(s).im, 0.0);
      }
    }
  }
}

TEST_F(ElementMatrixTest, SingleCellHoldsAllButTheTopSolidYSlots) {
  element(*md, 1, 1, 1, 1, omega, h, a, r);
  const std::set<int> free = {7, 8, 19, 20};
  for (int s = 1; s <= 20; ++s) {
    for (int t = 1; t <= 20; ++t) {
      const bool stored = s == t || (free.count(s) && (t > s || free.count(t)));
      EXPECT_EQ(is_zero(a(s, t)), !stored) << "single cell, entry (" << s << "," << t << ")";
    }
    EXPECT_EQ(r(s).re, free.count(s) ? -h / 2 : 0.0) << "single-cell load, slot " << s;
  }
}

TEST_F(ElementMatrixTest, ZeroFrequencyGivesARealMatrixAndEveryEntryIsWritten) {
  std::fill(std::begin(a.data), std::end(a.data), dcomplex(NAN, NAN));
  std::fill(std::begin(r.data), std::end(r.data), dcomplex(NAN, NAN));
  element(*md, 2, 3, 3, 3, 0.0, h, a, r);
  for (int s = 1; s <= 20; ++s) {
    ASSERT_FALSE(std::isnan(r(s).re) || std::isnan(r(s).im)) << "load slot " << s << " not written";
    for (int t = 1; t <= 20; ++t) {
      ASSERT_FALSE(std::isnan(a(s, t).re)) << "entry (" << s << "," << t << ") not written";
      EXPECT_EQ(a(s, t).im, 0.0) << "omega = 0 must give a real matrix at (" << s << "," << t << ")";
    }
  }
}

// ------------------------------------------------------- contribucion_yale --

// Matrix of order 3 with rows {2}, {}, {1,3}: ia = 1,2,2,4.
struct SmallRows {
  std::int32_t ia[4] = {1, 2, 2, 4};
  std::int32_t ja[8] = {2, 1, 3, 0, 0, 0, 0, 0};
  dcomplex avec[8] = {{1, 1}, {2, 2}, {3, 3}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
  const std::int32_t n = 3;
  void add(int row, int col, dcomplex v) { contribucion_yale(col, row, v, n, ia, ja, avec); }
};

TEST(ContribucionYale, InsertsIntoAnEmptyRowAndShiftsTheTail) {
  SmallRows m;
  m.add(2, 3, {5, -5});
  EXPECT_EQ(std::vector<int>(m.ia, m.ia + 4), (std::vector<int>{1, 2, 3, 5})) << "row pointers after insertion";
  EXPECT_EQ(std::vector<int>(m.ja, m.ja + 4), (std::vector<int>{2, 3, 1, 3})) << "columns after insertion";
  EXPECT_TRUE(m.avec[1] == dcomplex(5, -5) && m.avec[2] == dcomplex(2, 2) && m.avec[3] == dcomplex(3, 3))
      << "value not at ia(row) or the later entries not moved up";
}

TEST(ContribucionYale, InsertsBeforeTheFirstBetweenAndAfterTheLastColumn) {
  SmallRows m;
  m.add(1, 1, {7, 0});  // before the only column of row 1
  m.add(3, 2, {8, 0});  // between columns 1 and 3 of row 3
  m.add(1, 3, {9, 0});  // after the last column of row 1
  EXPECT_EQ(std::vector<int>(m.ia, m.ia + 4), (std::vector<int>{1, 4, 4, 7}));
  EXPECT_EQ(std::vector<int>(m.ja, m.ja + 7), (std::vector<int>{1, 2, 3, 1, 2, 3, 0}))
      << "columns must stay ascending and the position after the last entry untouched";
  const double want[6] = {7, 1, 9, 2, 8, 3};
  for (int p = 0; p < 6; ++p) EXPECT_EQ(m.avec[p].re, want[p]) << "value at position " << p + 1;
}

TEST(ContribucionYale, AddsToAnExistingEntryWithoutMovingAnything) {
  SmallRows m;
  m.add(3, 3, {0.5, -0.25});
  EXPECT_EQ(std::vector<int>(m.ia, m.ia + 4), (std::vector<int>{1, 2, 2, 4})) << "row pointers changed by an addition";
  EXPECT_TRUE(m.avec[2] == dcomplex(3.5, 2.75)) << "both parts must be added";
  EXPECT_EQ(m.ja[3], 0) << "an addition must not store a new column";
}

// ---------------------------------------------------------------- assembly --

TEST(Assembly, FastAssemblyEqualsInsertionBitForBit) {
  struct Case { int nx, ny; double omega; bool zero_b12; };
  for (const Case c : {Case{1, 1, 6.0, false}, {1, 4, 6.0, false}, {4, 1, 6.0, false},
                       {2, 2, 0.0, true}, {3, 2, 100.0, false}, {2, 5, 0.0, false},
                       {5, 4, 1.0e3, true}}) {
    auto md = make_medium(c.nx, c.ny, c.zero_b12);
    auto xnod = numbering(c.nx, c.ny);
    const double h = 0.01 / c.ny;
    const System fast = assemble_fast(*md, *xnod, c.nx, c.ny, c.omega, h);
    const System slow = assemble_by_insertion(*md, *xnod, c.nx, c.ny, c.omega, h);
    const std::string mesh = std::to_string(c.nx) + "x" + std::to_string(c.ny);
    ASSERT_EQ(fast.ia, slow.ia) << "row pointers differ on the " << mesh << " mesh";
    ASSERT_EQ(fast.ja, slow.ja) << "columns (or cleared tail) differ on the " << mesh << " mesh";
    int signed_zeros = 0;
    for (int p = 0; p < 50 * fast.n; ++p) {
      ASSERT_TRUE(same_bits(fast.avec[p].re, slow.avec[p].re) && same_bits(fast.avec[p].im, slow.avec[p].im))
          << "value at position " << p + 1 << " differs on the " << mesh << " mesh";
      signed_zeros += fast.avec[p].im == 0.0 && std::signbit(fast.avec[p].im);
    }
    for (int i = 0; i < fast.n; ++i)
      ASSERT_TRUE(same_bits(fast.rhs[i].re, slow.rhs[i].re) && same_bits(fast.rhs[i].im, slow.rhs[i].im))
          << "load of unknown " << i + 1 << " differs on the " << mesh << " mesh";
    if (c.omega == 0.0) {
      EXPECT_GT(signed_zeros, 0) << "case meant to exercise negative zeros has none";
    }
  }
}

TEST(Assembly, EntryCountsAndOneCellLayout) {
  for (auto [nx, ny, want] : {std::tuple{1, 1, 400}, {2, 2, 1292}, {60, 60, 922216}}) {
    auto md = make_medium(nx, ny);
    auto xnod = numbering(nx, ny);
    const System sys = assemble_fast(*md, *xnod, nx, ny, 10.0, 0.01);
    EXPECT_EQ(sys.nnz(), want) << "stored entries of the " << nx << "x" << ny << " mesh";
    if (nx == 1) {
      for (int i = 1; i <= 21; ++i) EXPECT_EQ(sys.ia[i - 1], 20 * (i - 1) + 1) << "ia(" << i << ") of one cell";
      for (int p = 0; p < 400; ++p) EXPECT_EQ(sys.ja[p], p % 20 + 1) << "one cell: every row holds columns 1..20";
    }
  }
}

// The pattern: columns strictly ascending, (r,c) stored exactly when r and c
// share a cell (checked against the cells themselves), hence structurally
// symmetric; the tail up to 50*n cleared.
TEST(Assembly, PatternIsTheCellSharingRelation) {
  const int nx = 4, ny = 3;
  auto md = make_medium(nx, ny);
  auto xnod = numbering(nx, ny);
  const System sys = assemble_fast(*md, *xnod, nx, ny, 10.0, 0.01);
  std::set<std::pair<int, int>> share;
  for (int e = 1; e <= nx * ny; ++e)
    for (int s = 1; s <= 20; ++s)
      for (int t = 1; t <= 20; ++t) share.insert({(*xnod)(e, s), (*xnod)(e, t)});
  std::set<std::pair<int, int>> stored;
  for (int r = 1; r <= sys.n; ++r) {
    for (int p = sys.ia[r - 1]; p < sys.ia[r]; ++p) {
      if (p > sys.ia[r - 1]) {
        ASSERT_LT(sys.ja[p - 2], sys.ja[p - 1]) << "columns of row " << r << " not strictly ascending";
      }
      stored.insert({r, sys.ja[p - 1]});
    }
  }
  EXPECT_EQ(stored, share) << "stored pattern differs from the pairs of unknowns sharing a cell";
  for (int p = sys.nnz() + 1; p <= 50 * sys.n; ++p)
    ASSERT_TRUE(sys.ja[p - 1] == 0 && is_zero(sys.avec[p - 1])) << "position " << p << " beyond the last entry not cleared";
}

TEST(Assembly, SharedEntrySumsItsCellsAndHeldRowsHoldOnlyTheirDiagonal) {
  const int nx = 3, ny = 3;
  const double omega = 50.0, h = 0.02;
  auto md = make_medium(nx, ny);
  auto xnod = numbering(nx, ny);
  const System sys = assemble_fast(*md, *xnod, nx, ny, omega, h);
  auto value = [&](int r, int c) {
    for (int p = sys.ia[r - 1]; p < sys.ia[r]; ++p) if (sys.ja[p - 1] == c) return sys.avec[p - 1];
    ADD_FAILURE() << "entry (" << r << "," << c << ") not stored";
    return dcomplex(0.0);
  };
  // Inner vertex (1,1): slot 3 of cell (1,1), 4 of (2,1), 2 of (1,2), 1 of (2,2).
  ElementMatrix a;
  ElementVector r;
  dcomplex sum(0.0);
  const int cells[4][3] = {{1, 1, 3}, {1, 2, 2}, {2, 1, 4}, {2, 2, 1}};  // j outer, k inner
  for (auto [j, k, s] : cells) {
    element(*md, j, k, nx, ny, omega, h, a, r);
    sum += a(s, s);
  }
  const int u = (*xnod)(1, 3);
  EXPECT_TRUE(value(u, u) == sum) << "diagonal of an inner vertex is not the sum of its four cells";
  // Unknown (*xnod)(1,1) (solid-1 x at the lower-left corner) is held.
  const int held = (*xnod)(1, 1);
  for (int p = sys.ia[held - 1]; p < sys.ia[held]; ++p) {
    if (sys.ja[p - 1] == held) {
      EXPECT_NE(sys.avec[p - 1].re, 0.0) << "held diagonal vanished";
    } else {
      EXPECT_TRUE(is_zero(sys.avec[p - 1])) << "held row has a non-zero off-diagonal entry";
    }
  }
  EXPECT_EQ(sys.ia[held] - sys.ia[held - 1], 20) << "held row must still store the zeros of its cell";
  EXPECT_TRUE(is_zero(sys.rhs[held - 1])) << "held unknown received a load";
}

TEST(Assembly, TopLoadIsAUniformOnePascalCompression) {
  for (auto [nx, ny] : {std::pair{1, 1}, {3, 2}, {5, 4}}) {
    const double h = 0.25;
    auto md = make_medium(nx, ny);
    auto xnod = numbering(nx, ny);
    const System sys = assemble_fast(*md, *xnod, nx, ny, 10.0, h);
    const int p = 6 * nx + 5;
    double solid1 = 0.0, solid3 = 0.0, other = 0.0;
    for (int a = 0; a <= nx; ++a) {
      const int base = p * ny + 5 * a;  // top vertex row
      const double want = (a == 0 || a == nx) ? -h / 2 : -h;
      EXPECT_EQ(sys.rhs[base + 1].re, want) << "solid-1 y load at top vertex " << a;
      EXPECT_EQ(sys.rhs[base + 3].re, want) << "solid-3 y load at top vertex " << a;
      solid1 += sys.rhs[base + 1].re;
      solid3 += sys.rhs[base + 3].re;
    }
    for (int i = 0; i < sys.n; ++i) {
      EXPECT_EQ(sys.rhs[i].im, 0.0);
      if (i < p * ny) other += std::abs(sys.rhs[i].re);
    }
    EXPECT_DOUBLE_EQ(solid1, -nx * h) << "total load on solid 1";
    EXPECT_DOUBLE_EQ(solid3, -nx * h) << "total load on solid 3";
    EXPECT_EQ(other, 0.0) << "load below the top vertex row";
  }
}

// The pattern once, the values per frequency: the two halves must give what
// global_sist and the insertion entry by entry give, down to the signed
// zeros of the frictionless cases.
TEST(Assembly, PatternThenValuesEqualsGlobalSistBitForBit) {
  struct Case { int nx, ny; double omega; bool zero_b12; };
  for (const Case c : {Case{1, 1, 6.0, false}, {3, 2, 100.0, false}, {2, 2, 0.0, true},
                       {5, 4, 1.0e3, true}}) {
    auto md = make_medium(c.nx, c.ny, c.zero_b12);
    auto xnod = numbering(c.nx, c.ny);
    const double h = 0.01 / c.ny;
    const System split = assemble_split(*md, *xnod, c.nx, c.ny, c.omega, h);
    EXPECT_TRUE(identical(split, assemble_fast(*md, *xnod, c.nx, c.ny, c.omega, h)))
        << "against global_sist on the " << c.nx << "x" << c.ny << " mesh at omega " << c.omega;
    EXPECT_TRUE(identical(split, assemble_by_insertion(*md, *xnod, c.nx, c.ny, c.omega, h)))
        << "against insertion on the " << c.nx << "x" << c.ny << " mesh at omega " << c.omega;
  }
}

// A frequency sweep re-assembles the values into the arrays of the previous
// frequency: nothing of the earlier values or load may survive or be added
// twice, and the pattern must stay as it was.
TEST(Assembly, ValuesAtANewFrequencyReplaceThoseOfTheLastOne) {
  const int nx = 4, ny = 3;
  const double h = 0.01 / ny;
  auto md = make_medium(nx, ny, true);
  auto xnod = numbering(nx, ny);
  System sys = assemble_fast(*md, *xnod, nx, ny, 2.0e3, h);
  const std::vector<std::int32_t> ia = sys.ia, ja = sys.ja;
  // Down to omega 0, where the friction part of every entry vanishes (so any
  // survivor of the earlier frequency shows), and back up.
  for (double omega : {50.0, 0.0, 2.0e3}) {
    const System fresh = assemble_fast(*md, *xnod, nx, ny, omega, h);
    const System before = sys;
    revalue(sys, *md, *xnod, nx, ny, omega, h);
    EXPECT_TRUE(identical(sys, fresh)) << "values re-assembled at omega " << omega;
    EXPECT_TRUE(sys.ia == ia && sys.ja == ja) << "pattern changed at omega " << omega;
    bool changed = false;
    for (int p = 0; p < sys.nnz(); ++p) changed |= !same_bits(before.avec[p], fresh.avec[p]);
    EXPECT_TRUE(changed) << "omega " << omega << " gives the values of the previous frequency";
  }
}

// The values of one mesh after the pattern of another has been laid out:
// global_values may rely on nothing but the ia and ja it is handed.
TEST(Assembly, ValuesIgnoreThePatternLastBuiltForAnotherMesh) {
  // Same number of cells and unknowns, different numbering of the cells.
  auto md_a = make_medium(3, 2);
  auto xnod_a = numbering(3, 2);
  auto md_b = make_medium(2, 3);
  auto xnod_b = numbering(2, 3);
  ASSERT_EQ(unknown_count(3, 2), unknown_count(2, 3));
  System sys(unknown_count(3, 2));
  global_pattern(3, 2, *xnod_a, sys.ia.data(), sys.ja.data(), sys.avec.data(), shared_scratch());
  const System other = assemble_fast(*md_b, *xnod_b, 2, 3, 40.0, 0.005);
  revalue(sys, *md_a, *xnod_a, 3, 2, 40.0, 0.005);
  EXPECT_TRUE(identical(sys, assemble_fast(*md_a, *xnod_a, 3, 2, 40.0, 0.005)))
      << "the values followed the mesh assembled last";
  EXPECT_FALSE(identical(other, sys)) << "the two meshes give the same system; the case tells nothing";
}

// A band of cell rows holds the complete rows of the unknowns it owns: for
// 1, 2 and 3 bands, on square and oblong meshes, under the split, piston,
// horizontal-plate and periodic numberings, every unknown is owned by
// exactly one band, and its row (columns, values, load) is the whole
// assembly's row bit for bit.
TEST(BandAssembly, TheBandsRowsAreTheWholeAssemblysRowsEachOnce) {
  struct Case { int nx, ny; HarmonicTest test; TopLoad numbering; };
  const Case cases[] = {{4, 4, HarmonicTest::vertical, TopLoad::split},
                        {5, 3, HarmonicTest::vertical, TopLoad::piston},
                        {3, 6, HarmonicTest::horizontal, TopLoad::piston},
                        {4, 5, HarmonicTest::periodic_vertical, TopLoad::periodic},
                        {6, 4, HarmonicTest::periodic_shear, TopLoad::periodic}};
  for (const Case& c : cases) {
    auto md = make_medium(c.nx, c.ny, true);
    auto xnod = std::make_unique<NodeTable>();
    std::vector<std::int32_t> mark(unknown_count(c.nx, c.ny) + 1);
    if (c.numbering == TopLoad::split) global_numbering(c.nx, c.ny, *xnod);
    if (c.numbering == TopLoad::piston) merged_numbering(c.test, c.nx, c.ny, *xnod, mark);
    if (c.numbering == TopLoad::periodic) periodic_numbering(c.nx, c.ny, *xnod, mark);
    const double omega = 700.0, h = 0.01 / c.ny;
    System whole(numbered_unknowns(c.nx, c.ny, *xnod));
    global_pattern(c.nx, c.ny, *xnod, whole.ia.data(), whole.ja.data(), whole.avec.data(), shared_scratch());
    global_values(omega, c.nx, c.ny, h, *xnod, *md, whole.avec.data(), whole.ia.data(), whole.ja.data(),
                  whole.rhs.data(), shared_scratch(), c.test);
    for (int bands = 1; bands <= 3; ++bands) {
      const std::string where = std::to_string(c.nx) + "x" + std::to_string(c.ny) + " mesh, test " +
                                std::to_string(static_cast<int>(c.test)) + ", " + std::to_string(bands) + " bands";
      std::vector<int> owners(whole.n + 1, 0);
      std::int64_t entries = 0;
      for (int b = 0; b < bands; ++b) {
        std::int32_t k0 = 0, k1 = 0;
        band_cell_rows(c.ny, bands, b, k0, k1);
        RowBand band;
        band_pattern(c.nx, c.ny, *xnod, k0, k1, band);
        band.a.assign(band.a.size(), dcomplex(9.5, -9.5));  // garbage the values must overwrite
        band_values(omega, c.nx, c.ny, h, *xnod, *md, band, c.test);
        entries += band.entries();
        for (std::size_t i = 0; i < band.rows.size(); ++i) {
          const std::int32_t r = band.rows[i];
          ++owners[r];
          const std::int64_t length = band.ia[i + 1] - band.ia[i];
          ASSERT_EQ(length, whole.ia[r] - whole.ia[r - 1]) << where << ", row " << r;
          for (std::int64_t q = 0; q < length; ++q) {
            const std::size_t p = whole.ia[r - 1] - 1 + q, pb = band.ia[i] - 1 + q;
            ASSERT_EQ(band.ja[pb], whole.ja[p]) << where << ", row " << r;
            ASSERT_TRUE(same_bits(band.a[pb], whole.avec[p])) << where << ", entry (" << r << "," << whole.ja[p] << ")";
          }
          ASSERT_TRUE(same_bits(band.rhs[i], whole.rhs[r - 1])) << where << ", load of row " << r;
        }
      }
      EXPECT_EQ(std::count(owners.begin() + 1, owners.end(), 1), whole.n) << where << ": some unknown not owned once";
      EXPECT_EQ(entries, whole.nnz()) << where;
    }
  }
}

}  // namespace
