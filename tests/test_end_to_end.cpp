// The whole run end to end: example decks, small and degenerate meshes,
// the physics of the solved test, and golden outputs of two small decks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/complex.hpp"
#include "driver/readata.hpp"
#include "fem/global_numbering.hpp"
#include "driver/pass.hpp"
#include "medium/makematnum.hpp"
#include "tests/test_support.hpp"

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t record_count(const fs::path& file) { return split_lines(read_file(file)).size(); }

// The value printed after `label` on its echo line.
double echoed_value(const std::string& out, const std::string& label) {
  const std::size_t at = out.find(label);
  if (at == std::string::npos) throw std::runtime_error("no echo line " + label);
  return std::stod(out.substr(at + label.size()));
}

// Values of a per-cell map file, by (j, k).
std::map<std::pair<int, int>, double> read_map(const fs::path& file) {
  std::map<std::pair<int, int>, double> values;
  std::istringstream in(read_file(file));
  int j = 0, k = 0;
  double v = 0;
  while (in >> j >> k >> v) values[{j, k}] = v;
  return values;
}

TestDeck homogeneous_deck(int nx, int ny) {
  TestDeck deck;
  deck.nx = std::to_string(nx);
  deck.ny = std::to_string(ny);
  deck.layer[0].nl = std::to_string(ny);
  return deck;
}

ProgramRun run_deck(const ScratchDirectory& dir, const TestDeck& deck, int nx, int ny, double ice = 0.1) {
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", nx, ny, ice);
  return run_program(dir.path(), deck.text());
}

const char* const per_cell_maps[] = {"real_strain1_map", "imag_strain1_map", "real_strain3_map",
                                     "imag_strain3_map", "real_stress_map",  "imag_stress_map",
                                     "mod_pressure_p33_ice", "matnum_p33",    "matnum_p33_gnu",
                                     "xmu1_gnu",          "xmu3_gnu",         "xmu13_gnu",
                                     "xlambda1_gnu",      "xlambda3_gnu",     "b1_gnu",
                                     "b2_gnu",            "xm_gnu",           "d3_gnu",
                                     "b11",               "b12",              "b22"};
const char* const one_record_tables[] = {"vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw",
                                         "1000_over_q_anal.phiw", "fort.54", "fort.18"};

void expect_complete_result_files(const fs::path& dir, int nx, int ny, const std::string& what) {
  for (const char* name : per_cell_maps) {
    EXPECT_EQ(record_count(dir / name), static_cast<std::size_t>(nx * ny)) << what << ": " << name;
  }
  for (const char* name : one_record_tables) EXPECT_EQ(record_count(dir / name), 1u) << what << ": " << name;
  const int interior = (nx > 2 && ny > 2) ? (nx - 2) * (ny - 2) : 0;
  EXPECT_EQ(record_count(dir / "mod_grad_pressure_p33_ice"), static_cast<std::size_t>(interior)) << what;
}

}  // namespace

// --- example decks and mesh shapes ---

TEST(WholeRun, EveryExampleDeckRunsToItsNormalEndWithEveryResultFile) {
  const struct {
    const char* name;
    int nx, ny;
  } examples[] = {{"permafrost_layered", 60, 60},
                  {"permafrost_patchy", 40, 40},
                  {"shaley_layered", 40, 40},
                  {"shaley_patchy", 40, 40}};
  for (const auto& example : examples) {
    ScratchDirectory dir;
    for (const auto& entry : fs::directory_iterator(source_path("examples") / example.name)) {
      fs::copy_file(entry.path(), dir.path() / entry.path().filename());
    }
    const ProgramRun run = run_program(dir.path(), read_file(dir.path() / "deck.in"));
    ASSERT_EQ(run.exit_status, 40) << example.name << "\n" << run.err;
    expect_complete_result_files(dir.path(), example.nx, example.ny, example.name);
    EXPECT_TRUE(contains(run.out, "nx/2,ny/2 ")) << example.name << ": the centre cell is echoed";
    EXPECT_TRUE(contains(run.out, "\n running time=")) << example.name;
  }
}

TEST(WholeRun, SmallAndDegenerateMeshesRunAndWriteEveryFile) {
  const struct {
    int nx, ny;
    bool centre_echo;
  } shapes[] = {{1, 1, false}, {1, 4, false}, {4, 1, false}, {2, 2, true}, {3, 5, true}};
  for (const auto& shape : shapes) {
    ScratchDirectory dir;
    const std::string what = std::to_string(shape.nx) + " x " + std::to_string(shape.ny);
    const ProgramRun run = run_deck(dir, homogeneous_deck(shape.nx, shape.ny), shape.nx, shape.ny);
    ASSERT_EQ(run.exit_status, 40) << what << "\n" << run.out.substr(run.out.size() > 2000 ? run.out.size() - 2000 : 0);
    expect_complete_result_files(dir.path(), shape.nx, shape.ny, what);
    EXPECT_EQ(contains(run.out, "nx/2,ny/2 "), shape.centre_echo) << what;
    EXPECT_TRUE(contains(run.out, "number of unknowns nodos =  " +
                                      std::to_string((6 * shape.nx + 5) * shape.ny + 5 * shape.nx + 4)))
        << what;
  }
}

TEST(WholeRun, OneGridPointMeansTheFrequencyItself) {
  ScratchDirectory dir;
  TestDeck deck = homogeneous_deck(2, 2);
  deck.nfreq = "1";
  deck.fmin = "7.5";
  ASSERT_EQ(run_deck(dir, deck, 2, 2).exit_status, 40);
  const std::string fort18 = read_file(dir.path() / "fort.18");
  EXPECT_EQ(fort18.substr(0, 4), "7.5 ") << "a one-point grid is fmin, not NaN: " << fort18;
  EXPECT_EQ(read_file(dir.path() / "fort.54").substr(0, 15), "     7.5000    ");
}

// --- physics of the solved test ---

namespace {

struct SolvedSample {
  RunStorage run;
  PassScalars pass;
};

// Runs the program's own stages of a pass up to the solution, in this
// process, with a uniform ice map.
SolvedSample& solve_in_process(const TestDeck& text, double ice) {
  static SolvedSample s;
  CapturedOutput quiet;
  ScratchDirectory files;  // the coefficient record files land here
  std::istringstream in(text.text());
  LineInput input(in, "deck");
  RunStorage& run = s.run;
  readata(input, run.deck);
  const Deck& d = run.deck;
  makematnum(d.nx, d.ny, d.nl, run.size_layer, d.h, run.matnum);
  for (int k = 1; k <= d.ny; ++k)
    for (int j = 1; j <= d.nx; ++j) run.binary_ice(j, k) = ice;
  s.pass.omega = d.fmin * 6.283185307179586;
  medium_stage(run, s.pass);
  global_numbering(d.nx, d.ny, run.xnod);
  assembly_stage(run, s.pass);
  solve_stage(run, s.pass);
  return s;
}

}  // namespace

TEST(SolvedTest, ResidualOfTheSolvedSystemIsAtRoundingLevel) {
  TestDeck deck;
  deck.nx = "6";
  deck.ny = "5";
  deck.nmat = "2";
  deck.layer[0].nl = "2";
  deck.layer[1].nl = "3";
  deck.layer[1].phi_layer = "0.2";
  const SolvedSample& solved = solve_in_process(deck, 0.12);
  const RunStorage& s = solved.run;
  double residual = 0, load = 0, top_load = 0;
  for (std::int32_t i = 1; i <= solved.pass.n; ++i) {
    dcomplex row_sum(0.0, 0.0);
    for (std::int32_t p = s.ia[i - 1]; p < s.ia[i]; ++p) row_sum = row_sum + s.avec[p - 1] * s.z[s.ja[p - 1] - 1];
    const dcomplex r = row_sum - s.rhs_m[i - 1];
    residual += r.re * r.re + r.im * r.im;
    load += s.rhs_m[i - 1].re * s.rhs_m[i - 1].re;
    top_load += s.rhs_m[i - 1].re;
  }
  EXPECT_LT(std::sqrt(residual / load), 1e-12) << "relative residual of the solved system";
  EXPECT_NEAR(top_load, -2.0 * 6 * s.deck.h, 1e-15) << "the top load is -nx*h on each of the two solids";
}

TEST(SolvedTest, HomogeneousSampleDependsOnDepthOnlyAndNotOnItsWidth) {
  double c33_by_width[2] = {0, 0};
  const int widths[2] = {2, 5};
  for (int w = 0; w < 2; ++w) {
    ScratchDirectory dir;
    const int nx = widths[w], ny = 4;
    const ProgramRun run = run_deck(dir, homogeneous_deck(nx, ny), nx, ny);
    ASSERT_EQ(run.exit_status, 40);
    c33_by_width[w] = echoed_value(run.out, "using averages Re(c33) FE        = ");
    for (const char* name : {"real_strain1_map", "imag_strain1_map", "real_stress_map", "mod_pressure_p33_ice"}) {
      const auto map = read_map(dir.path() / name);
      for (int k = 1; k <= ny; ++k) {
        const double first = map.at({1, k});
        for (int j = 2; j <= nx; ++j) {
          EXPECT_NEAR(map.at({j, k}), first, 1e-9 * std::fabs(first) + 1e-300)
              << name << ": cell (" << j << "," << k << ") differs from (1," << k << ") in a homogeneous sample";
        }
      }
    }
  }
  EXPECT_NEAR(c33_by_width[1], c33_by_width[0], 1e-9 * std::fabs(c33_by_width[0]))
      << "c33 of a homogeneous sample must not depend on its width";
}

TEST(SolvedTest, FrictionlessColumnHasTheSameStrainInEveryCell) {
  ScratchDirectory dir;
  TestDeck deck = homogeneous_deck(1, 6);
  deck.layer[0].eta = "0.0";
  deck.layer[0].coef_b13 = "0.0";
  const ProgramRun run = run_deck(dir, deck, 1, 6);
  ASSERT_EQ(run.exit_status, 40) << run.out.substr(run.out.size() > 1500 ? run.out.size() - 1500 : 0);
  for (const char* name : {"real_strain1_map", "real_strain3_map"}) {
    const auto map = read_map(dir.path() / name);
    const double bottom = map.at({1, 1});
    EXPECT_NE(bottom, 0.0) << name << ": the loaded column deforms";
    for (int k = 2; k <= 6; ++k) {
      EXPECT_NEAR(map.at({1, k}), bottom, 1e-9 * std::fabs(bottom)) << name << ": strain of row " << k;
    }
  }
  const auto imag = read_map(dir.path() / "imag_strain1_map");
  EXPECT_NEAR(imag.at({1, 3}), 0.0, 1e-9 * std::fabs(read_map(dir.path() / "real_strain1_map").at({1, 3})))
      << "without friction the response is in phase with the load";
}

TEST(SolvedTest, C33ConvergesAsTheMeshIsRefined) {
  double c33[3] = {0, 0, 0};
  const int rows[3] = {8, 16, 32};
  for (int r = 0; r < 3; ++r) {
    ScratchDirectory dir;
    TestDeck deck = TestDeck::shaley();
    deck.nx = "1";
    deck.ny = std::to_string(rows[r]);
    deck.nmat = "2";
    deck.layer[0].nl = std::to_string(rows[r] / 2);
    deck.layer[1].nl = std::to_string(rows[r] / 2);
    deck.layer[1].phi_layer = "0.15";
    const ProgramRun run = run_deck(dir, deck, 1, rows[r]);
    ASSERT_EQ(run.exit_status, 40) << rows[r] << " rows";
    c33[r] = echoed_value(run.out, "using averages Re(c33) FE        = ");
  }
  const double coarse_change = std::fabs(c33[1] - c33[0]), fine_change = std::fabs(c33[2] - c33[1]);
  EXPECT_LT(fine_change, 0.5 * coarse_change) << "c33: " << c33[0] << " " << c33[1] << " " << c33[2];
  EXPECT_LT(fine_change, 1e-2 * std::fabs(c33[2]));
}

// --- golden outputs ---
// The standard output (less the running time) and every result file of a
// small deck of each model, kept in tests/golden/.  Set UPSCALE_UPDATE_GOLDEN=1
// to rewrite them after an intended change, and review the difference.

namespace {

std::string without_running_time(const std::string& out) {
  const std::size_t at = out.find("\n running time=");
  return at == std::string::npos ? out : out.substr(0, at);
}

void check_golden(const std::string& name, const TestDeck& deck, int nx, int ny) {
  ScratchDirectory dir;
  const ProgramRun run = run_deck(dir, deck, nx, ny, 0.12);
  ASSERT_EQ(run.exit_status, 40) << name;
  const fs::path golden = source_path("tests/golden") / name;
  std::vector<std::string> files = {"xmu1_gnu", "xlambda1_gnu", "d3_gnu", "b11", "b22", "vp_anal.phiw",
                                    "vp_eq.phiw", "1000_over_q_eq.phiw", "1000_over_q_anal.phiw", "fort.54",
                                    "fort.18", "real_strain1_map", "imag_stress_map", "mod_pressure_p33_ice",
                                    "mod_grad_pressure_p33_ice"};
  if (std::getenv("UPSCALE_UPDATE_GOLDEN") != nullptr) {
    fs::create_directories(golden);
    write_file(golden / "stdout.txt", without_running_time(run.out));
    for (const std::string& f : files) fs::copy_file(dir.path() / f, golden / f, fs::copy_options::overwrite_existing);
  }
  EXPECT_EQ(without_running_time(run.out), read_file(golden / "stdout.txt")) << name << ": standard output changed";
  for (const std::string& f : files) {
    EXPECT_EQ(read_file(dir.path() / f), read_file(golden / f)) << name << ": " << f << " changed";
  }
}

}  // namespace

TEST(GoldenOutput, PermafrostTwoLayerDeck) {
  TestDeck deck;
  deck.nx = "4";
  deck.ny = "3";
  deck.nmat = "2";
  deck.layer[0].nl = "1";
  deck.layer[1].nl = "2";
  deck.layer[1].phi_layer = "0.2";
  check_golden("permafrost_4x3", deck, 4, 3);
}

TEST(GoldenOutput, ShaleySandDeck) {
  TestDeck deck = TestDeck::shaley();
  deck.nx = "3";
  deck.ny = "4";
  check_golden("shaley_3x4", deck, 3, 4);
}
