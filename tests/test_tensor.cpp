// The effective stiffness of the three harmonic tests held to exact
// references: the numbering of their loaded plates, the locked moduli of
// the element matrix, a homogeneous sample (isotropic, locked, the analytic
// P1 and S1 speeds), a layered one (the exact piston modulus, the Backus
// average of the locked layers at the high-frequency end, the two c13),
// the convergence of a patchy one, and the sweep's tables and options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sweep/effective_tensor.hpp"
#include "sweep/tensor_tables.hpp"
#include "fem/global_numbering.hpp"
#include "fem/local_sys.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;

namespace {

using Table = std::vector<std::vector<double>>;

Table table_rows(const fs::path& file) { return numeric_rows(file); }

// A column of a row, by its 1-based position in the table's format.
double at(const std::vector<double>& row, int column) { return row[static_cast<std::size_t>(column - 1)]; }
dcomplex modulus_at(const std::vector<double>& row, int re_column) {
  return dcomplex(at(row, re_column), at(row, re_column + 1));
}

double distance(const dcomplex& a, const dcomplex& b) { return abs(a - b) / abs(b); }

// The three tables of a sweep with --tensor.
struct TensorSweep {
  Table sweep, stiffness, angles;
  std::string out;
};

TensorSweep tensor_sweep(const fs::path& dir, const std::string& options) {
  const ProgramRun run = run_in(dir, UPSCALE_SWEEP_BINARY, options + " --tensor < deck.in");
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  return TensorSweep{table_rows(dir / "frequency_sweep.dat"), table_rows(dir / tensor_table::stiffness_name),
                     table_rows(dir / tensor_table::angle_name), run.out};
}

// The value of every cell (j,k) of a per-cell record file.
std::map<std::pair<int, int>, double> cell_file(const fs::path& file) {
  std::map<std::pair<int, int>, double> cells;
  for (const std::string& line : split_lines(read_file(file))) {
    const std::vector<std::string> w = words(line);
    if (w.size() == 3) cells[{std::stoi(w[0]), std::stoi(w[1])}] = std::stod(w[2]);
  }
  return cells;
}

// The locked moduli of a cell: both solids and the fluid move together
// (u1 = u3, no relative flow), an isotropic medium of Lame constants
// lambda = lambda1 + lambda3 + 2 d3 and mu = mu1 + mu3 + mu13.
struct Locked {
  double lambda, mu;
};

// The locked moduli of every cell (j,k), from the coefficient files the
// program writes at `frequency` in `dir`.
std::map<std::pair<int, int>, Locked> locked_cells(const fs::path& dir, TestDeck deck, const std::string& frequency) {
  deck.fmin = frequency;
  deck.fmax = frequency;
  deck.nfreq = "1";
  const ProgramRun run = run_program(dir, deck.text());
  EXPECT_EQ(run.exit_status, 40) << run.out;
  const auto lambda1 = cell_file(dir / "xlambda1_gnu"), lambda3 = cell_file(dir / "xlambda3_gnu");
  const auto mu1 = cell_file(dir / "xmu1_gnu"), mu3 = cell_file(dir / "xmu3_gnu");
  const auto mu13 = cell_file(dir / "xmu13_gnu"), d3 = cell_file(dir / "d3_gnu");
  std::map<std::pair<int, int>, Locked> cells;
  for (const auto& [cell, value] : lambda1) {
    cells[cell] = Locked{(value + lambda3.at(cell)) + 2 * d3.at(cell), (mu1.at(cell) + mu3.at(cell)) + mu13.at(cell)};
  }
  return cells;
}

// A directory holding `deck` and a uniform ice map.
void write_sample(const fs::path& dir, const TestDeck& deck) {
  write_file(dir / "deck.in", deck.text());
  write_uniform_map(dir / "binary_ice_gnu.dat", std::stoi(deck.nx), std::stoi(deck.ny), 0.12);
}

}  // namespace

// --- The numbering of the loaded plates ---

TEST(TensorNumbering, EachTestMergesItsLoadedSideIntoOneUnknownAndKeepsEveryOther) {
  // The answer key, from the tests' physics: the plate lies on the top
  // row of cells (vertical, shear) or the right column (horizontal), and
  // carries the displacement it drives of both solids at that side's two
  // vertices.  Local slots: x of solid 1 at vertices 1..4 (lower left,
  // lower right, upper right, upper left) = 1..4, its y = 5..8, the fluid
  // 9..12, x of solid 3 = 13..16, its y = 17..20.
  struct Case {
    HarmonicTest test;
    const char* name;
    bool right_column;  // else the top row
    int plate_slots[4];
  };
  const Case tests[] = {{HarmonicTest::vertical, "vertical", false, {7, 8, 19, 20}},
                        {HarmonicTest::horizontal, "horizontal", true, {2, 3, 14, 15}},
                        {HarmonicTest::shear, "shear", false, {3, 4, 15, 16}}};
  const auto on_plate = [](const Case& c, int j, int k, int nx, int ny, int s) {
    if (c.right_column ? j != nx : k != ny) return false;
    return std::find(std::begin(c.plate_slots), std::end(c.plate_slots), s) != std::end(c.plate_slots);
  };
  const int meshes[][2] = {{1, 1}, {2, 3}, {5, 2}, {4, 4}};
  std::vector<std::int32_t> mark;
  for (const auto& mesh : meshes) {
    const int nx = mesh[0], ny = mesh[1];
    for (const Case& c : tests) {
      const std::string what = std::string(c.name) + " test, " + std::to_string(nx) + " x " + std::to_string(ny);
      // The horizontal test is numbered as the vertical piston test of the
      // mirrored mesh: the same merges, another order.
      NodeTable xnod, plain, scratch, merged;
      merged_numbering(c.test, nx, ny, merged, mark);
      if (c.test == HarmonicTest::horizontal) {
        transposed_piston_numbering(nx, ny, xnod, scratch);
      } else {
        xnod = merged;
      }
      global_numbering(nx, ny, plain);
      const int loaded_vertices = c.test == HarmonicTest::horizontal ? ny + 1 : nx + 1;
      const std::int32_t n = numbered_unknowns(nx, ny, xnod);
      EXPECT_EQ(n, unknown_count(nx, ny) - 2 * loaded_vertices + 1) << what;
      if (c.test == HarmonicTest::vertical) {
        NodeTable piston;
        piston_numbering(nx, ny, piston);
        for (int e = 1; e <= nx * ny; ++e) {
          for (int s = 1; s <= 20; ++s) ASSERT_EQ(xnod(e, s), piston(e, s)) << what << ": not the piston's numbering";
        }
      }
      // Every number 1..n occurs; the loaded slots share one, which no
      // other slot takes; two slots share a number exactly when they
      // shared it before or are both loaded; the order of the rest is kept
      // (but in the mirrored numbering).
      std::vector<int> seen(static_cast<std::size_t>(n) + 1, 0);
      std::int32_t plate = 0;
      for (int j = 1; j <= nx; ++j) {
        for (int k = 1; k <= ny; ++k) {
          const int e = (k - 1) * nx + j;
          for (int s = 1; s <= 20; ++s) {
            seen[xnod(e, s)] = 1;
            if (on_plate(c, j, k, nx, ny, s)) {
              if (plate == 0) plate = xnod(e, s);
              EXPECT_EQ(xnod(e, s), plate) << what << ": cell " << e << " slot " << s << " is off the plate";
            }
          }
        }
      }
      for (std::int32_t x = 1; x <= n; ++x) EXPECT_EQ(seen[x], 1) << what << ": number " << x << " unused";
      for (int e = 1; e <= nx * ny; ++e) {
        for (int s = 1; s <= 20; ++s) {
          for (int f = 1; f <= nx * ny; ++f) {
            for (int t = 1; t <= 20; ++t) {
              const bool was_shared = plain(e, s) == plain(f, t);
              const bool on_plate = xnod(e, s) == plate && xnod(f, t) == plate;
              ASSERT_EQ(xnod(e, s) == xnod(f, t), was_shared || on_plate) << what;
              ASSERT_EQ(merged(e, s) == merged(f, t), xnod(e, s) == xnod(f, t)) << what << ": merges differ";
              const bool off_plate = xnod(e, s) != plate && xnod(f, t) != plate;
              if (c.test != HarmonicTest::horizontal && off_plate && plain(e, s) < plain(f, t)) {
                ASSERT_LT(xnod(e, s), xnod(f, t)) << what;
              }
            }
          }
        }
      }
    }
  }
}

// --- The element matrix ---

TEST(TensorElement, LockedMotionsGiveTheLockedModuliAndEachTestHoldsAndLoadsItsOwnSides) {
  // An inner cell, coefficients of the magnitudes of the examples.  The
  // locked motions u1 = u3 (w = 0) have no friction; their energy z^T A z
  // on the reference cell with a unit displacement gradient is the locked
  // modulus: simple shear u = (eta, 0) gives mu1 + mu3 + mu13, uniaxial
  // strain u = (0, eta) gives lambda + 2 mu of the locked medium.
  const double lambda1 = 1.1e10, lambda3 = 2e9, mu1 = 1.3e10, mu3 = 1e9, mu13 = 1e8, b1 = 2e9, b2 = 5e8, m = 4e9,
               d3 = 5e8, b11 = 1e6, b12 = 2e6, b22 = 1e7, omega = 3.0, h = 0.1;
  const double locked_mu = (mu1 + mu3) + mu13, locked_lambda = (lambda1 + lambda3) + 2 * d3;
  const double eta[4] = {0, 0, 1, 1};  // at local vertices 1..4
  for (const HarmonicTest test : {HarmonicTest::vertical, HarmonicTest::horizontal, HarmonicTest::shear}) {
    ElementMatrix a;
    ElementVector rhs;
    local_sys(2, 2, 3, 3, omega, h, lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3, 0, 0, 0, 0, 0, 0, b11, b12, b22, a,
              rhs, test);
    struct Motion {
      bool horizontal;
      double modulus;
      const char* name;
    };
    for (const Motion& motion : {Motion{true, locked_mu, "simple shear"},
                                 Motion{false, locked_lambda + 2 * locked_mu, "uniaxial strain"}}) {
      dcomplex z[21] = {};
      for (int v = 1; v <= 4; ++v) {
        const int s1 = motion.horizontal ? slot::solid1_x(v) : slot::solid1_y(v);
        const int s3 = motion.horizontal ? slot::solid3_x(v) : slot::solid3_y(v);
        z[s1] = dcomplex(eta[v - 1]);
        z[s3] = dcomplex(eta[v - 1]);
      }
      dcomplex energy(0.0);
      for (int s = 1; s <= 20; ++s) {
        for (int t = 1; t <= 20; ++t) energy += z[s] * (a(s, t) * z[t]);
      }
      EXPECT_NEAR(energy.re / motion.modulus, 1.0, 1e-14) << motion.name;
      EXPECT_EQ(energy.im, 0.0) << motion.name << ": a locked motion has no friction";
    }
    for (int s = 1; s <= 20; ++s) EXPECT_EQ(rhs(s), dcomplex(0.0)) << "an inner cell carries no load";
  }

  // The corner cells of a 3 x 3 mesh: the held slots (rows with nothing
  // but their diagonal) and the loaded ones, per test.
  using namespace slot;
  constexpr int ll = lower_left, lr = lower_right, ur = upper_right, ul = upper_left;
  auto solids_x = [](std::initializer_list<int> v) {
    std::vector<int> s;
    for (int i : v) {
      s.push_back(solid1_x(i));
      s.push_back(solid3_x(i));
    }
    return s;
  };
  auto solids_y = [](std::initializer_list<int> v) {
    std::vector<int> s;
    for (int i : v) {
      s.push_back(solid1_y(i));
      s.push_back(solid3_y(i));
    }
    return s;
  };
  auto join = [](std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Corner {
    HarmonicTest test;
    int j, k;
    std::vector<int> held, loaded;
    double load;
  };
  const Corner corners[] = {
      // Horizontal: the left x and the top and bottom y held, the right x loaded.
      {HarmonicTest::horizontal, 3, 3, join(solids_y({ul, ur}), {fluid_right, fluid_top}), solids_x({lr, ur}), -0.05},
      {HarmonicTest::horizontal, 1, 1, join(join(solids_x({ll, ul}), solids_y({ll, lr})), {fluid_left, fluid_bottom}),
       {}, 0},
      // Shear: the bottom held both ways, every other side's y held, the top x loaded.
      {HarmonicTest::shear, 1, 1,
       join(join(join(solids_x({ll, lr}), solids_y({ll, lr})), solids_y({ul})), {fluid_left, fluid_bottom}), {}, 0},
      {HarmonicTest::shear, 3, 3, join(solids_y({lr, ur, ul}), {fluid_right, fluid_top}), solids_x({ul, ur}), 0.05},
      {HarmonicTest::shear, 1, 3, join(solids_y({ll, ul, ur}), {fluid_left, fluid_top}), solids_x({ul, ur}), 0.05},
  };
  for (const Corner& c : corners) {
    ElementMatrix a;
    ElementVector rhs;
    local_sys(c.j, c.k, 3, 3, omega, h, lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3, 0, 0, 0, 0, 0, 0, b11, b12,
              b22, a, rhs, c.test);
    const std::string what = std::string(c.test == HarmonicTest::shear ? "shear" : "horizontal") + " test, cell (" +
                             std::to_string(c.j) + "," + std::to_string(c.k) + ")";
    for (int s = 1; s <= 20; ++s) {
      const bool held = std::find(c.held.begin(), c.held.end(), s) != c.held.end();
      bool only_diagonal = true;
      for (int t = 1; t <= 20; ++t) {
        if (t != s && !(a(s, t) == dcomplex(0.0))) only_diagonal = false;
      }
      EXPECT_EQ(only_diagonal, held) << what << ", slot " << s;
      const bool loaded = std::find(c.loaded.begin(), c.loaded.end(), s) != c.loaded.end();
      EXPECT_EQ(rhs(s), dcomplex(loaded ? c.load : 0.0)) << what << ", load of slot " << s;
    }
  }
}

// --- The effective stiffness against exact references ---

TEST(EffectiveStiffness, HomogeneousSampleIsIsotropicLockedAndCarriesTheAnalyticP1AndS1) {
  // A homogeneous sample moves as the locked medium in every test, so
  // c11 = c33 = lambda + 2 mu, c55 = mu (the locked mu1 + mu3 + mu13) and
  // c13 = lambda = c11 - 2 c55 at every frequency; qP and qSV are the
  // same at every angle and, where P1 and S1 do not disperse (below
  // 0.1 Hz here), equal the analytic speeds of the cell.
  for (const bool shaley : {false, true}) {
    TestDeck deck = shaley ? TestDeck::shaley() : TestDeck();
    deck.fmin = "0.001";
    deck.fmax = "0.1";
    deck.nfreq = "3";
    ScratchDirectory dir;
    write_sample(dir.path(), deck);
    const TensorSweep t = tensor_sweep(dir.path(), "-j 2 --load split");
    ASSERT_EQ(t.stiffness.size(), 3u);
    ASSERT_EQ(t.angles.size(), 3u * 7u) << "angles 0, 15, .., 90 at every frequency";
    const Locked cell = locked_cells(dir.path(), deck, deck.fmin).at({1, 1});
    for (std::size_t f = 0; f < 3; ++f) {
      const auto& row = t.stiffness[f];
      const std::string what = (shaley ? "shaley sand at " : "permafrost at ") + std::to_string(at(row, 1)) + " Hz";
      const dcomplex c11 = modulus_at(row, tensor_table::re_c11), c33 = modulus_at(row, tensor_table::re_c33);
      const dcomplex c13 = modulus_at(row, tensor_table::re_c13), c13h = modulus_at(row, tensor_table::re_c13h);
      const dcomplex c55 = modulus_at(row, tensor_table::re_c55);
      EXPECT_LT(distance(c11, c33), 1e-12) << what << ": c11 against c33";
      EXPECT_LT(abs(c13 - (c11 - 2.0 * c55)) / abs(c11), 1e-12) << what << ": c13 against c11 - 2 c55";
      EXPECT_LT(at(row, tensor_table::c13_difference), 1e-11) << what;
      EXPECT_LT(distance(c13h, dcomplex(cell.lambda)), 1e-12) << what << ": c13h against the locked lambda";
      EXPECT_LT(distance(c55, dcomplex(cell.mu)), 1e-12) << what << ": c55 against mu1 + mu3 + mu13";
      EXPECT_LT(distance(c33, dcomplex(cell.lambda + 2 * cell.mu)), 1e-12) << what << ": c33, locked";
      for (std::size_t a = 0; a < 7; ++a) {
        const auto& angle = t.angles[f * 7 + a];
        const std::string where = what + ", " + std::to_string(at(angle, tensor_table::angle)) + " degrees";
        EXPECT_EQ(at(angle, 1), at(row, 1)) << where;
        EXPECT_EQ(at(angle, tensor_table::angle), 15.0 * static_cast<double>(a)) << where;
        EXPECT_NEAR(at(angle, tensor_table::velocity_qp) / at(row, tensor_table::vp1), 1.0, 1e-6) << where << ": qP/P1";
        EXPECT_NEAR(at(angle, tensor_table::velocity_qsv) / at(row, tensor_table::vs1), 1.0, 1e-6)
            << where << ": qSV/S1";
        EXPECT_LT(std::fabs(at(angle, tensor_table::thousand_over_q_qp)), 1e-9) << where << ": qP attenuates";
        EXPECT_LT(std::fabs(at(angle, tensor_table::thousand_over_q_qsv)), 1e-9) << where << ": qSV attenuates";
      }
    }
  }
}

// The qP and qSV waves of a row of the stiffness table at `degrees` from
// the vertical, evaluated apart from christoffel_waves: the plane-strain
// stiffness tensor C_ijkl (i, j, k, l in {x, z}) from its Voigt moduli,
// G_ik = sum over j, l of C_ijkl n_j n_l, and M = tr/2 +- sqrt(tr^2/4 - det),
// in std::complex.  Velocity 1 / Re(sqrt(rho / M)), 1000/Q = 1000 Im M / Re M.
struct Waves {
  double velocity_qp, thousand_over_q_qp, velocity_qsv, thousand_over_q_qsv;
};
Waves independent_christoffel(const std::vector<double>& row, double degrees) {
  using C = std::complex<double>;
  auto modulus = [&](int re_column) { return C(at(row, re_column), at(row, re_column + 1)); };
  const C c11 = modulus(tensor_table::re_c11), c33 = modulus(tensor_table::re_c33),
          c55 = modulus(tensor_table::re_c55);
  const C c13 = (modulus(tensor_table::re_c13) + modulus(tensor_table::re_c13h)) / 2.0;
  C tensor[2][2][2][2] = {};  // index 0: x, 1: z
  tensor[0][0][0][0] = c11;
  tensor[1][1][1][1] = c33;
  tensor[0][0][1][1] = tensor[1][1][0][0] = c13;
  tensor[0][1][0][1] = tensor[0][1][1][0] = tensor[1][0][0][1] = tensor[1][0][1][0] = c55;
  const double radians = degrees * std::acos(-1.0) / 180.0;
  const double n[2] = {std::sin(radians), std::cos(radians)};
  C g[2][2] = {};
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 2; ++k)
      for (int j = 0; j < 2; ++j)
        for (int l = 0; l < 2; ++l) g[i][k] += tensor[i][j][k][l] * n[j] * n[l];
  const C half_trace = (g[0][0] + g[1][1]) / 2.0, det = g[0][0] * g[1][1] - g[0][1] * g[1][0];
  C root = std::sqrt(half_trace * half_trace - det);
  if ((half_trace + root).real() < (half_trace - root).real()) root = -root;  // qP: the larger Re M
  const double rho = at(row, tensor_table::density);
  auto velocity = [rho](C m) { return 1.0 / std::sqrt(rho / m).real(); };
  auto thousand_over_q = [](C m) { return 1000.0 * m.imag() / m.real(); };
  const C qp = half_trace + root, qsv = half_trace - root;
  return {velocity(qp), thousand_over_q(qp), velocity(qsv), thousand_over_q(qsv)};
}

TEST(EffectiveStiffness, LayeredSampleMatchesTheExactPistonAndTheBackusAverageOfItsLockedLayers) {
  // Horizontal layers of two types.  (1) c33 is the work-conjugate modulus
  // of the vertical piston test, which the exact one-dimensional solution
  // gives: within the finite-element error of Mw, and qP at 0 degrees is
  // Mw's velocity.  (2) The two c13 agree.  (3) At the high-frequency end
  // the friction locks the phases in every layer, and each c_ij tends to
  // the Backus average of the locked isotropic layers:
  //   c33 = 1/<1/H>, c13 = <lambda/H> c33, c11 = <4 mu (lambda + mu)/H> + <lambda/H>^2 c33,
  //   c55 = 1/<1/mu>, H = lambda + 2 mu, <> the mean over the rows.
  const TestDeck deck = [] {
    TestDeck d = layered_column_deck(16);
    d.fmin = "0.03";
    d.fmax = "1.0e7";
    d.nfreq = "4";
    return d;
  }();
  ScratchDirectory dir;
  write_sample(dir.path(), deck);
  const TensorSweep t = tensor_sweep(dir.path(), "-j 2 --load piston");
  ASSERT_EQ(t.stiffness.size(), 4u);
  for (std::size_t f = 0; f < 2; ++f) {  // 0.03 and 3 Hz
    const auto& row = t.stiffness[f];
    const auto& sweep = t.sweep[f];
    const std::string what = std::to_string(at(row, 1)) + " Hz";
    ASSERT_EQ(sweep.size(), 23u) << "a layered sample has the density, the exact columns and the diffusion length";
    using namespace sweep_column;
    const dcomplex mw(at(sweep, re_mw), at(sweep, im_mw)), exact(at(sweep, re_mw_exact), at(sweep, im_mw_exact));
    const dcomplex c33 = modulus_at(row, tensor_table::re_c33);
    EXPECT_LT(distance(c33, mw), 1e-11) << what << ": c33 is Mw under the piston";
    EXPECT_LT(distance(c33, exact), 1.01 * at(sweep, error_w) + 1e-12) << what << ": c33 against the exact Mw";
    EXPECT_NEAR(at(t.angles[f * 7], tensor_table::velocity_qp) / at(sweep, velocity_w), 1.0, 1e-11)
        << what << ": qP(0) and Mw";
    EXPECT_LT(at(row, tensor_table::c13_difference), 1e-10) << what;
    // (4) At 45 degrees, where c11, c33 and the coupling c13 + c55 all
    // count, the waves against an independent evaluation: the Christoffel
    // matrix G_ik = C_ijkl n_j n_l contracted from the full stiffness
    // tensor, and its eigenvalues from its trace and determinant.
    const std::vector<double>& angle45 = t.angles[f * 7 + 3];
    ASSERT_EQ(at(angle45, tensor_table::angle), 45.0);
    const Waves expected = independent_christoffel(row, 45.0);
    const struct {
      const char* name;
      int column;
      double value;
    } waves[] = {{"qP velocity", tensor_table::velocity_qp, expected.velocity_qp},
                 {"qP 1000/Q", tensor_table::thousand_over_q_qp, expected.thousand_over_q_qp},
                 {"qSV velocity", tensor_table::velocity_qsv, expected.velocity_qsv},
                 {"qSV 1000/Q", tensor_table::thousand_over_q_qsv, expected.thousand_over_q_qsv}};
    for (const auto& wave : waves) {
      EXPECT_NEAR(at(angle45, wave.column) / wave.value, 1.0, 1e-10) << what << ": " << wave.name << " at 45 degrees";
    }
  }
  const auto cells = locked_cells(dir.path(), deck, "1.0e7");
  double inv_h = 0, lambda_h = 0, c11_part = 0, inv_mu = 0;
  const double rows = static_cast<double>(cells.size());
  for (const auto& [cell, l] : cells) {
    const double hm = l.lambda + 2 * l.mu;
    inv_h += 1 / hm / rows;
    lambda_h += l.lambda / hm / rows;
    c11_part += 4 * l.mu * (l.lambda + l.mu) / hm / rows;
    inv_mu += 1 / l.mu / rows;
  }
  const double c33 = 1 / inv_h, c13 = lambda_h * c33, c11 = c11_part + lambda_h * lambda_h * c33, c55 = 1 / inv_mu;
  const auto& high = t.stiffness[3];
  const struct {
    const char* name;
    int column;
    double backus;
  } limits[] = {{"c11", tensor_table::re_c11, c11},
                {"c13", tensor_table::re_c13, c13},
                {"c13h", tensor_table::re_c13h, c13},
                {"c33", tensor_table::re_c33, c33},
                {"c55", tensor_table::re_c55, c55}};
  for (const auto& limit : limits) {
    EXPECT_LT(distance(modulus_at(high, limit.column), dcomplex(limit.backus)), 1e-6)
        << limit.name << " at 1e7 Hz against the Backus average of the locked layers";
  }
}

TEST(EffectiveStiffness, LayeredAndPatchySamplesConvergeAtSecondOrder) {
  // The same sample at h, h/2 and h/4 (--refine 2, 4, 8 of the deck): the
  // change of c11, c13 and c33 falls by about four per halving, at a
  // frequency whose diffusion length the meshes resolve.  c55 converges
  // more slowly (order 1.7 to 1.8 here): where the frames slip in shear
  // they drive a horizontal flow that the closed lateral sides stop, and
  // the boundary layers this leaves at the corners of the sample are not
  // smooth.  The patchy sample has pseudo-random water proportions, jumps
  // of the coefficients between cells, and where four cells of different
  // media meet the solution is not smooth either: every c_ij converges
  // there at order 0.8 to 1.2 (c33 is the modulus Mw of the program's own
  // piston test, with the same order).
  struct Sample {
    const char* name;
    TestDeck deck;
    std::string patchy_map;
  };
  std::vector<Sample> samples;
  {
    TestDeck layered = layered_column_deck(8);
    layered.nx = "2";
    samples.push_back({"layered", layered, ""});
    TestDeck patchy;
    patchy.nx = "6";
    patchy.ny = "5";
    patchy.layer[0].nl = "5";
    patchy.model = "    1";
    std::string map;
    unsigned state = 12345u;  // a fixed sequence of proportions 0.10 .. 0.28
    for (int k = 1; k <= 5; ++k) {
      for (int j = 1; j <= 6; ++j) {
        state = state * 1103515245u + 12345u;
        map += std::to_string(j) + " " + std::to_string(k) + " " +
               std::to_string(0.10 + 0.18 * static_cast<double>((state >> 16) % 1000) / 999.0) + "\n";
      }
    }
    samples.push_back({"patchy", patchy, map});
  }
  for (Sample& sample : samples) {
    sample.deck.fmin = "0.05";
    sample.deck.fmax = "0.05";
    sample.deck.nfreq = "1";
    std::vector<std::vector<double>> rows;  // per refinement
    for (const int refine : {2, 4, 8}) {
      ScratchDirectory dir;
      write_sample(dir.path(), sample.deck);
      if (!sample.patchy_map.empty()) {
        // The permafrost model takes the water of its cells from the ice map.
        write_file(dir.path() / "phiw_binary_patchy.dat", sample.patchy_map);
        write_file(dir.path() / "binary_ice_gnu.dat", sample.patchy_map);
      }
      rows.push_back(tensor_sweep(dir.path(), "-j 1 --load piston --refine " + std::to_string(refine)).stiffness.at(0));
    }
    for (const auto& [name, column] : {std::pair{"c11", tensor_table::re_c11}, std::pair{"c13", tensor_table::re_c13},
                                       std::pair{"c33", tensor_table::re_c33}, std::pair{"c55", tensor_table::re_c55}}) {
      const double coarse = abs(modulus_at(rows[0], column) - modulus_at(rows[1], column));
      const double fine = abs(modulus_at(rows[1], column) - modulus_at(rows[2], column));
      const double order = std::log2(coarse / fine);
      const bool shear = column == tensor_table::re_c55, patchy = !sample.patchy_map.empty();
      EXPECT_GT(order, patchy ? 0.7 : shear ? 1.5 : 1.7)
          << sample.name << " " << name << ": changes " << coarse << ", " << fine;
      EXPECT_LT(order, 2.3) << sample.name << " " << name << ": changes " << coarse << ", " << fine;
    }
  }
}

// --- The sweep's tables and options ---

TEST(TensorSweep, LeavesTheSweepTableAloneAndGivesTheSameBytesWhateverTheJobs) {
  // --tensor adds its two tables and changes no byte of the sweep's own
  // table under either load; its tables do not depend on the number of
  // jobs; --angle-step 20 gives the angles 0, 20, .., 80.  The sample is
  // patchy, not symmetric about the vertical axis, and the two c13 agree
  // all the same (reciprocity).
  TestDeck deck;
  deck.model = "    1";
  deck.fmin = "0.01";
  deck.fmax = "100.0";
  deck.nfreq = "3";
  std::string map;
  for (int k = 1; k <= 4; ++k) {
    for (int j = 1; j <= 3; ++j) {
      map += std::to_string(j) + " " + std::to_string(k) + " " + (j == k ? "0.25" : "0.12") + "\n";
    }
  }
  for (const std::string load : {"split", "piston"}) {
    ScratchDirectory plain, one_job, two_jobs;
    for (const ScratchDirectory* dir : {&plain, &one_job, &two_jobs}) {
      write_sample(dir->path(), deck);
      write_file(dir->path() / "phiw_binary_patchy.dat", map);
      write_file(dir->path() / "binary_ice_gnu.dat", map);  // the permafrost model's water
    }
    const ProgramRun run = run_in(plain.path(), UPSCALE_SWEEP_BINARY, "-j 2 --load " + load + " < deck.in");
    ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
    EXPECT_FALSE(fs::exists(plain.path() / tensor_table::stiffness_name)) << "a table the sweep was not asked for";
    tensor_sweep(one_job.path(), "-j 1 --angle-step 20 --load " + load);
    tensor_sweep(two_jobs.path(), "-j 2 --angle-step=20 --load " + load);
    EXPECT_EQ(read_file(one_job.path() / "frequency_sweep.dat"), read_file(plain.path() / "frequency_sweep.dat"))
        << load << ": --tensor changed the sweep's own table";
    for (const char* table : {tensor_table::stiffness_name, tensor_table::angle_name}) {
      EXPECT_EQ(read_file(one_job.path() / table), read_file(two_jobs.path() / table)) << load << ": " << table;
    }
    for (const auto& row : table_rows(one_job.path() / tensor_table::stiffness_name)) {
      EXPECT_LT(at(row, tensor_table::c13_difference), 1e-12) << load << ": the two c13 of a patchy sample, "
                                                               << at(row, 1) << " Hz (reciprocity)";
    }
    const Table angles = table_rows(one_job.path() / tensor_table::angle_name);
    ASSERT_EQ(angles.size(), 3u * 5u) << load;
    for (std::size_t i = 0; i < angles.size(); ++i) {
      EXPECT_EQ(at(angles[i], tensor_table::angle), 20.0 * static_cast<double>(i % 5)) << load << ", row " << i + 1;
      // Im >= 0 at every angle: a passive sample (the signed 1000/Q).
      EXPECT_GE(at(angles[i], tensor_table::thousand_over_q_qp), -1e-9) << load << ", row " << i + 1;
      EXPECT_GE(at(angles[i], tensor_table::thousand_over_q_qsv), -1e-9) << load << ", row " << i + 1;
    }
    const std::string header = split_lines(read_file(one_job.path() / tensor_table::stiffness_name)).at(0);
    EXPECT_EQ(words(header), std::vector<std::string>(tensor_table::stiffness_columns.begin(),
                                                      tensor_table::stiffness_columns.end()))
        << "the names alone, no comment marker";
  }
}

TEST(TensorSweep, RefusesAnAngleStepItCannotUse) {
  ScratchDirectory dir;
  TestDeck deck;
  deck.nfreq = "1";
  write_sample(dir.path(), deck);
  for (const std::string options : {"--tensor --angle-step 0", "--tensor --angle-step 91", "--tensor --angle-step x",
                                    "--tensor --angle-step", "--angle-step 10"}) {
    const ProgramRun run = run_in(dir.path(), UPSCALE_SWEEP_BINARY, options + " < deck.in");
    EXPECT_EQ(run.exit_status, 3) << options;
    EXPECT_NE(run.out.find("angle-step"), std::string::npos) << options << ": the message names the option\n" << run.out;
    EXPECT_FALSE(fs::exists(dir.path() / tensor_table::stiffness_name)) << options;
  }
}
