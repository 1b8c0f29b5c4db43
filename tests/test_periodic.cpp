// The periodic tests held to what an infinite medium must satisfy: the
// numbering of the fluctuations, independence of the period's width for a
// layered medium, invariance under tiling, the locked isotropic medium of a
// homogeneous sample, and reciprocity and passivity of the full stiffness
// of patchy samples.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/complex.hpp"
#include "common/format.hpp"
#include "common/input.hpp"
#include "sweep/effective_tensor.hpp"
#include "driver/pass.hpp"
#include "fem/local_sys.hpp"
#include "sweep/sweep_table.hpp"
#include "sweep/tensor_tables.hpp"
#include "fem/global_numbering.hpp"
#include "fem/local_sys.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;

namespace {

using Row = std::vector<double>;

std::vector<Row> table_rows(const fs::path& file) { return numeric_rows(file); }

double at(const Row& row, int column) { return row[static_cast<std::size_t>(column - 1)]; }
dcomplex modulus_at(const Row& row, int re_column) { return dcomplex(at(row, re_column), at(row, re_column + 1)); }

// The stiffness components of a periodic table row, in one list.
struct Component {
  const char* name;
  int column;
};
constexpr Component components[] = {{"c11", tensor_table::re_c11}, {"c13", tensor_table::re_c13},
                                    {"c33", tensor_table::re_c33}, {"c55", tensor_table::re_c55},
                                    {"c15", tensor_table::re_c15}, {"c35", tensor_table::re_c35}};

// The largest component's size: the scale of the rounding of all of them.
double stiffness_scale(const Row& row) {
  double scale = 0;
  for (const Component& c : components) scale = std::fmax(scale, abs(modulus_at(row, c.column)));
  return scale;
}

// A pseudo-random map of water proportions 0.10 .. 0.28 on nx x ny cells,
// as "j k value" records, and the same map tiled `tiles` x `tiles` times.
std::vector<double> random_proportions(int nx, int ny, unsigned seed) {
  std::vector<double> p;
  for (int c = 0; c < nx * ny; ++c) {
    seed = seed * 1103515245u + 12345u;
    p.push_back(0.10 + 0.18 * static_cast<double>((seed >> 16) % 1000) / 999.0);
  }
  return p;
}

// The map tiled `tiles` x `tiles` times, its period first shifted by
// (dj, dk) cells.
std::string tiled_map(const std::vector<double>& p, int nx, int ny, int tiles, int dj = 0, int dk = 0) {
  std::string map;
  for (int k = 1; k <= ny * tiles; ++k) {
    for (int j = 1; j <= nx * tiles; ++j) {
      const int from = (k - 1 + dk) % ny * nx + (j - 1 + dj) % nx;
      map += std::to_string(j) + " " + std::to_string(k) + " " + format_real(p[static_cast<std::size_t>(from)]) + "\n";
    }
  }
  return map;
}

// The stiffness rows of a periodic sweep with --tensor of `deck`; a
// non-empty `map` is the water of every cell (both per-cell files, since
// the permafrost model takes its water from the ice map).
struct PeriodicSweep {
  std::vector<Row> stiffness, angles;
};

PeriodicSweep periodic_sweep(const TestDeck& deck, const std::string& map, const std::string& options = "") {
  ScratchDirectory dir;
  write_file(dir.path() / "deck.in", deck.text());
  if (map.empty()) {
    write_uniform_map(dir.path() / "binary_ice_gnu.dat", std::stoi(deck.nx), std::stoi(deck.ny), 0.12);
  } else {
    write_file(dir.path() / "binary_ice_gnu.dat", map);
    write_file(dir.path() / "phiw_binary_patchy.dat", map);
  }
  const ProgramRun run = run_in(dir.path(), UPSCALE_SWEEP_BINARY, "-j 2 --tensor --angle-step 30 " + options + " < deck.in");
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  return PeriodicSweep{table_rows(dir.path() / tensor_table::stiffness_name),
                       table_rows(dir.path() / tensor_table::angle_name)};
}

// Every component of two stiffness rows, frequency by frequency, within
// `tolerance` of the larger rows' scale.
void expect_same_stiffness(const std::vector<Row>& a, const std::vector<Row>& b, double tolerance,
                           const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t f = 0; f < a.size(); ++f) {
    const double scale = stiffness_scale(a[f]);
    for (const Component& c : components) {
      EXPECT_LT(abs(modulus_at(a[f], c.column) - modulus_at(b[f], c.column)) / scale, tolerance)
          << what << ", " << c.name << " at " << at(a[f], 1) << " Hz";
    }
  }
}

TestDeck at_frequencies(TestDeck deck) {
  deck.fmin = "0.01";
  deck.fmax = "100";
  deck.nfreq = "3";
  return deck;
}

TestDeck patchy_deck(int nx, int ny, double height) {
  TestDeck deck = at_frequencies(TestDeck());
  deck.nx = std::to_string(nx);
  deck.ny = std::to_string(ny);
  deck.domain_size = format_real(height);
  deck.model = "    1";
  deck.layer[0].nl = std::to_string(ny);
  return deck;
}

}  // namespace

TEST(PeriodicNumbering, OppositeSidesShareTheirUnknownsAndOnlyTheCornerOfSolid1IsHeld) {
  for (const auto& [nx, ny] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{4, 5}}) {
    const std::string mesh = std::to_string(nx) + " x " + std::to_string(ny);
    NodeTable xnod;
    std::vector<std::int32_t> mark;
    periodic_numbering(nx, ny, xnod, mark);
    const std::int32_t n = numbered_unknowns(nx, ny, xnod);
    EXPECT_EQ(n, 6 * nx * ny) << mesh << ": four per vertex and one per edge of the torus";
    std::set<std::int32_t> seen, held;
    for (int j = 1; j <= nx; ++j) {
      for (int k = 1; k <= ny; ++k) {
        const int e = (k - 1) * nx + j;
        for (int s = 1; s <= 20; ++s) {
          seen.insert(xnod(e, s));
          if (periodic_held_slot(j, k, nx, ny, s)) held.insert(xnod(e, s));
        }
      }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(n)) << mesh << ": every number used";
    EXPECT_EQ(held, (std::set<std::int32_t>{1, 2})) << mesh << ": solid 1's x and y at the corner, nothing else";
    using namespace slot;
    for (int k = 1; k <= ny; ++k) {  // the right side is the left side
      const int right = (k - 1) * nx + nx, left = (k - 1) * nx + 1;
      EXPECT_EQ(xnod(right, fluid_right), xnod(left, fluid_left)) << mesh;
      for (const auto& [r, l] : {std::pair{lower_right, lower_left}, std::pair{upper_right, upper_left}}) {
        for (int s : {solid1_x(0), solid1_y(0), solid3_x(0), solid3_y(0)}) {
          EXPECT_EQ(xnod(right, s + r), xnod(left, s + l)) << mesh << ", row " << k << ", slot " << s + r;
        }
      }
    }
    for (int j = 1; j <= nx; ++j) {  // the top is the bottom
      const int top = (ny - 1) * nx + j;
      EXPECT_EQ(xnod(top, fluid_top), xnod(j, fluid_bottom)) << mesh;
      for (const auto& [t, b] : {std::pair{upper_left, lower_left}, std::pair{upper_right, lower_right}}) {
        for (int s : {solid1_x(0), solid1_y(0), solid3_x(0), solid3_y(0)}) {
          EXPECT_EQ(xnod(top, s + t), xnod(j, s + b)) << mesh << ", column " << j << ", slot " << s + t;
        }
      }
    }
  }
}

TEST(PeriodicStiffness, ALayeredMediumDoesNotDependOnThePeriodsWidth) {
  // Rows uniform: the infinite stack has no lateral scale, so one column
  // of cells and 32 give the same medium.
  std::vector<Row> one;
  for (const int width : {1, 2, 8, 32}) {
    TestDeck deck = at_frequencies(layered_column_deck(8));
    deck.nx = std::to_string(width);
    const PeriodicSweep sweep = periodic_sweep(deck, "");
    if (width == 1) {
      one = sweep.stiffness;
      continue;
    }
    expect_same_stiffness(sweep.stiffness, one, 1e-12, std::to_string(width) + " columns against one");
  }
}

TEST(PeriodicStiffness, PatchySamplesTileAreReciprocalAndPassive) {
  // A period, four copies of it, and the period shifted by a few cells
  // (which moves the held corner within the medium) are the same infinite
  // medium.  Each
  // stiffness is symmetric (the system matrix is complex symmetric), and
  // its imaginary part, the dissipation of the three strains, is positive
  // semi-definite: all principal minors of Im C are at least zero.
  for (const unsigned seed : {7u, 2024u, 99991u}) {
    const std::string what = "patchy sample " + std::to_string(seed);
    const std::vector<double> p = random_proportions(4, 3, seed);
    const PeriodicSweep period = periodic_sweep(patchy_deck(4, 3, 0.75), tiled_map(p, 4, 3, 1));
    const PeriodicSweep tiled = periodic_sweep(patchy_deck(8, 6, 1.5), tiled_map(p, 4, 3, 2));
    expect_same_stiffness(tiled.stiffness, period.stiffness, 1e-11, what + ", tiled 2 x 2");
    const PeriodicSweep shifted = periodic_sweep(patchy_deck(4, 3, 0.75), tiled_map(p, 4, 3, 1, 1, 2));
    expect_same_stiffness(shifted.stiffness, period.stiffness, 1e-11, what + ", shifted by (1, 2) cells");
    for (const Row& row : period.stiffness) {
      const std::string where = what + " at " + std::to_string(at(row, 1)) + " Hz";
      EXPECT_LT(at(row, tensor_table::reciprocity_difference), 1e-11) << where;
      const double scale = stiffness_scale(row);
      EXPECT_GT(std::fabs(at(row, tensor_table::re_c15)) + std::fabs(at(row, tensor_table::re_c35)), 1e-8 * scale)
          << where << ": a patchy sample couples normal strain and shear";
      // Im C in Voigt order (1, 3, 5).
      const double c[3][3] = {
          {at(row, tensor_table::re_c11 + 1), at(row, tensor_table::re_c13 + 1), at(row, tensor_table::re_c15 + 1)},
          {at(row, tensor_table::re_c13 + 1), at(row, tensor_table::re_c33 + 1), at(row, tensor_table::re_c35 + 1)},
          {at(row, tensor_table::re_c15 + 1), at(row, tensor_table::re_c35 + 1), at(row, tensor_table::re_c55 + 1)}};
      const double tol = 1e-12 * scale;
      for (int i = 0; i < 3; ++i) EXPECT_GE(c[i][i], -tol) << where << ": Im C(" << i << "," << i << ")";
      for (int i = 0; i < 3; ++i) {
        for (int l = i + 1; l < 3; ++l) {
          EXPECT_GE(c[i][i] * c[l][l] - c[i][l] * c[l][i], -tol * scale) << where << ": minor " << i << l;
        }
      }
      const double det = c[0][0] * (c[1][1] * c[2][2] - c[1][2] * c[2][1]) -
                         c[0][1] * (c[1][0] * c[2][2] - c[1][2] * c[2][0]) +
                         c[0][2] * (c[1][0] * c[2][1] - c[1][1] * c[2][0]);
      EXPECT_GE(det, -tol * scale * scale) << where << ": det Im C";
    }
  }
}

TEST(PeriodicStiffness, AHomogeneousSampleIsTheLockedIsotropicMediumAtEveryAngle) {
  // Uniform strain is the exact solution: c11 = c33, c13 = c11 - 2 c55,
  // no coupling of normal strain and shear, and qP and qSV the same from 0
  // to 180 degrees.
  for (const bool shaley : {false, true}) {
    TestDeck deck = shaley ? TestDeck::shaley() : TestDeck();
    deck.fmin = "0.001";  // P1 and S1 do not disperse yet
    deck.fmax = "0.1";
    deck.nfreq = "3";
    deck.nx = "3";  // 3 x 4 cells, one layer of four rows
    const PeriodicSweep sweep = periodic_sweep(deck, "");
    ASSERT_EQ(sweep.angles.size(), 3u * 7u) << "0, 30, .., 180 degrees at every frequency";
    for (std::size_t f = 0; f < sweep.stiffness.size(); ++f) {
      const Row& row = sweep.stiffness[f];
      const std::string what = std::string(shaley ? "shaley" : "permafrost") + " at " + std::to_string(at(row, 1));
      const dcomplex c11 = modulus_at(row, tensor_table::re_c11), c33 = modulus_at(row, tensor_table::re_c33);
      const dcomplex c13 = modulus_at(row, tensor_table::re_c13), c55 = modulus_at(row, tensor_table::re_c55);
      EXPECT_LT(abs(c11 - c33) / abs(c33), 1e-12) << what;
      EXPECT_LT(abs(c13 - (c11 - 2.0 * c55)) / abs(c11), 1e-12) << what;
      EXPECT_LT(abs(modulus_at(row, tensor_table::re_c15)) / abs(c11), 1e-12) << what;
      EXPECT_LT(abs(modulus_at(row, tensor_table::re_c35)) / abs(c11), 1e-12) << what;
      EXPECT_LT(std::fabs(c55.im) / c55.re, 1e-12) << what << ": the locked medium does not attenuate";
      for (std::size_t a = 0; a < 7; ++a) {
        const Row& angle = sweep.angles[f * 7 + a];
        EXPECT_EQ(at(angle, tensor_table::angle), 30.0 * static_cast<double>(a)) << what;
        EXPECT_NEAR(at(angle, tensor_table::velocity_qp) / at(row, tensor_table::vp1), 1.0, 1e-6) << what;
        EXPECT_NEAR(at(angle, tensor_table::velocity_qsv) / at(row, tensor_table::vs1), 1.0, 1e-6) << what;
      }
    }
  }
}

namespace {

// A periodic sweep with --tensor of a layered column of `ny` rows under a
// uniform ice map, so that its rows are uniform and the tables hold the
// exact infinite stack; `options` adds to the command line.
struct LayeredSweep {
  std::vector<Row> sweep, stiffness, angles;
};

LayeredSweep layered_sweep(int ny, const std::string& fmin, const std::string& fmax, const std::string& options) {
  TestDeck deck = layered_column_deck(ny);
  deck.fmin = fmin;
  deck.fmax = fmax;
  deck.nfreq = "2";
  ScratchDirectory dir;
  write_file(dir.path() / "deck.in", deck.text());
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 1, ny, 0.12);
  const ProgramRun run = run_in(dir.path(), UPSCALE_SWEEP_BINARY, "-j 2 --tensor " + options + " < deck.in");
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  return LayeredSweep{table_rows(dir.path() / "frequency_sweep.dat"),
                      table_rows(dir.path() / tensor_table::stiffness_name),
                      table_rows(dir.path() / tensor_table::angle_name)};
}

double thousand_over_q(const dcomplex& m) { return 1000.0 * m.im / m.re; }

}  // namespace

TEST(PeriodicStiffness, ALayeredSampleConvergesToTheExactInfiniteStackAtSecondOrder) {
  // c11, c13, c33 and c55 against the exact stack, from 8 to 16 to 32 rows,
  // at frequencies whose diffusion length the meshes resolve.
  const Component exact[] = {{"c11", tensor_table::error_c11}, {"c13", tensor_table::error_c13},
                             {"c33", tensor_table::error_c33}, {"c55", tensor_table::error_c55}};
  std::vector<std::vector<Row>> meshes;
  for (const int ny : {8, 16, 32}) meshes.push_back(layered_sweep(ny, "0.03", "0.1", "").stiffness);
  for (std::size_t f = 0; f < 2; ++f) {
    for (const Component& c : exact) {
      for (std::size_t m = 1; m < 3; ++m) {
        const double coarse = at(meshes[m - 1][f], c.column), fine = at(meshes[m][f], c.column);
        EXPECT_NEAR(std::log2(coarse / fine), 2.0, 0.3)
            << c.name << " at " << at(meshes[0][f], 1) << " Hz, rows " << (4 << m) << " to " << (8 << m)
            << ": errors " << coarse << ", " << fine;
      }
      EXPECT_LT(at(meshes[2][f], c.column), 1e-3) << c.name << ": 32 rows";
    }
  }
}

TEST(ErrorEstimate, PeriodicEstimatesOfVelocityAndAttenuationHoldTheTrueErrorWithinAFactorTwo) {
  // Against the exact infinite stack: the velocity and 1000/Q of Mw in the
  // sweep table, and 1000/Q of every stiffness component, at frequencies
  // whose diffusion length spans at least 3 cells.
  const LayeredSweep s = layered_sweep(16, "0.002", "0.006", "--error-estimate");
  auto within_two = [](double estimate, double truth, const std::string& what) {
    EXPECT_GT(estimate, truth / 2) << what;
    EXPECT_LT(estimate, truth * 2) << what;
  };
  for (std::size_t f = 0; f < 2; ++f) {
    const Row& row = s.sweep[f];
    using namespace sweep_column;
    const std::string hz = " at " + std::to_string(at(row, frequency)) + " Hz";
    ASSERT_EQ(row.size(), 26u) << "density, exact, three estimates and the diffusion length";
    ASSERT_GE(at(row, diffusion_with_estimates), 3.0) << "the diffusion length spans 3 cells" << hz;
    const dcomplex mw(at(row, re_mw), at(row, im_mw)), exact(at(row, re_mw_exact), at(row, im_mw_exact));
    const double rho = at(s.stiffness[f], tensor_table::density);
    EXPECT_EQ(at(row, sweep_table::density), rho) << "the sweep's density is the stiffness table's" << hz;
    const double v_exact = 1.0 / reciprocal(sqrt(exact / dcomplex(rho, 0.0))).re;
    EXPECT_NEAR(at(row, velocity_w_exact) / v_exact, 1.0, 1e-14) << "exact velocity of Mw" << hz;
    EXPECT_NEAR(at(row, thousand_over_q_w_exact), thousand_over_q(exact), 1e-12) << "exact 1000/Q" << hz;
    within_two(at(row, estimate_velocity_w), std::fabs(at(row, velocity_w) - v_exact) / v_exact, "velocity of Mw" + hz);
    within_two(at(row, estimate_thousand_over_q_w), std::fabs(at(row, thousand_over_q_w) - thousand_over_q(exact)),
               "1000/Q of Mw" + hz);
    const Row& c = s.stiffness[f];
    const std::pair<const char*, std::pair<int, int>> components[] = {
        {"c11", {tensor_table::re_c11, tensor_table::re_c11_exact}},
        {"c33", {tensor_table::re_c33, tensor_table::re_c33_exact}},
        {"c55", {tensor_table::re_c55, tensor_table::re_c55_exact}}};
    int estimate = 34;  // estimate_1000/Q_c11; the c13 pair follows, then c33 and c55
    for (const auto& [name, columns] : components) {
      const double truth = std::fabs(thousand_over_q(modulus_at(c, columns.first)) -
                                     thousand_over_q(modulus_at(c, columns.second)));
      within_two(at(c, estimate), truth, std::string("1000/Q of ") + name + hz);
      estimate += std::string(name) == "c11" ? 4 : 2;
    }
  }
}

TEST(PeriodicStiffness, TheAverageStressIsConjugateToTheWorkOfTheImposedStrain) {
  // The work of the element matrices on the affine field E.x, summed over
  // the cells, is the integral of sigma : E over the period: the energy
  // form of each cell (its matrix with no side held, that of an inner
  // cell) gives it independently of the stress averages, and friction
  // drops out since E.x moves both solids alike and not the fluid.
  const RunStoragePtr storage = make_run_storage();
  RunStorage& run = *storage;
  ScratchDirectory dir;  // the per-cell files are read, and the material map written, here
  read_example_sample(run, "permafrost_patchy");
  run.load = TopLoad::periodic;
  const Deck& deck = run.deck;
  for (const HarmonicTest test :
       {HarmonicTest::periodic_vertical, HarmonicTest::periodic_horizontal, HarmonicTest::periodic_shear}) {
    run.test = test;
    PassScalars pass;
    structure_stage(run, pass);
    pass.omega = angular_frequency(1.0);
    medium_stage(run, pass);
    assembly_values_stage(run, pass);
    solve_stage(run, pass, Factorisation::reuse_order_and_structure);
    const MacroStrain e = imposed_strain(test);
    const StressStrainAverages avg = average_stress_strain(deck, run.coef, run.xnod, run.z.data(), e);
    const dcomplex stress_work = e.exx * avg.sigma_xx + e.ezz * avg.sigma_zz + e.gxz * avg.sigma_xz;
    dcomplex work(0.0, 0.0);
    ElementMatrix a;
    ElementVector load;
    const CoefficientMaps& c = run.coef;
    for (int j = 1; j <= deck.nx; ++j) {
      for (int k = 1; k <= deck.ny; ++k) {
        local_sys(2, 2, 3, 3, pass.omega, deck.h, c.lambda1(j, k), c.lambda3(j, k), c.mu1(j, k), c.mu3(j, k),
                  c.mu13(j, k), c.b1(j, k), c.b2(j, k), c.m(j, k), c.d3(j, k), c.p11(j, k), c.p12(j, k),
                  c.p13(j, k), c.p22(j, k), c.p23(j, k), c.p33(j, k), c.b11(j, k), c.b12(j, k), c.b22(j, k), a,
                  load);
        const int cell = (k - 1) * deck.nx + j;
        for (int s = 1; s <= 20; ++s) {
          for (int t = 1; t <= 20; ++t) {
            const dcomplex u = run.z[run.xnod(cell, t) - 1] + dcomplex(affine_displacement(e, t, deck.h), 0.0);
            work += affine_displacement(e, s, deck.h) * (a(s, t) * u);
          }
        }
      }
    }
    const double area = (deck.nx * deck.h) * (deck.ny * deck.h);
    EXPECT_LT(abs(work / dcomplex(area, 0.0) - stress_work) / abs(stress_work), 1e-12)
        << "test " << static_cast<int>(test) << ": work " << work.re / area << " + " << work.im / area
        << "i against E:<sigma> " << stress_work.re << " + " << stress_work.im << "i";
    EXPECT_GT(std::fabs(stress_work.im), 0.0) << "the patchy sample attenuates";
  }
}
