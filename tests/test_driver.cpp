// Whole runs of the program on small decks, each in its own directory:
// the deck reader, the material map, the per-cell files and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "common/stop.hpp"
#include "driver/band_ranks.hpp"
#include "driver/pass.hpp"
#include "driver/readata.hpp"
#include "medium/makematnum.hpp"
#include "medium/porosity.hpp"
#include "scalable/symmetric_values.hpp"
#include "sparse/backward_error.hpp"
#include "tests/test_support.hpp"

namespace {

ProgramRun run_case(const ScratchDirectory& dir, const TestDeck& deck, int nx, int ny, bool ice_map = true) {
  if (ice_map) write_uniform_map(dir.path() / "binary_ice_gnu.dat", nx, ny, 0.15);
  return run_program(dir.path(), deck.text());
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(DeckReader, ReadsAOneMaterialDeckOfTwentyNineLines) {
  CapturedOutput out;
  TestDeck deck;
  std::istringstream text(deck.text());
  LineInput input(text, "standard input");
  Deck read;
  readata(input, read);
  EXPECT_EQ(input.line_number(), 29);
  EXPECT_EQ(read.nx, 3);
  EXPECT_EQ(read.ny, 4);
  EXPECT_EQ(read.akf(1), 2.25e9);
  EXPECT_EQ(read.xmu_s3(1), 3.32e9);
  EXPECT_EQ(read.nl(2), 0) << "element 2 is zero for one material";
  EXPECT_EQ(read.akf(2), 0.0);
  EXPECT_EQ(read.h, 0.25);
  const std::string echo = out.text();
  EXPECT_TRUE(contains(echo, " layer i=   1\n"));
  EXPECT_TRUE(contains(echo, " phi_layer1 (water proportion) =  0.1\n"));
  EXPECT_TRUE(contains(echo, " model (=0,layered,=1,fractal  =  0\n\n mesh size h  0.25\n"));
}

TEST(DeckReader, ReadsATwoMaterialDeckOfFortyNineLines) {
  CapturedOutput out;
  TestDeck deck;
  deck.nmat = "2";
  deck.layer[1].nl = "2";
  deck.layer[1].phi_layer = "0.2";
  std::istringstream text(deck.text());
  LineInput input(text, "standard input");
  Deck read;
  readata(input, read);
  EXPECT_EQ(input.line_number(), 49);
  EXPECT_EQ(read.phi_layer(2), 0.2);
  EXPECT_EQ(read.nl(2), 2);
}

TEST(DeckReader, IceModelRefusesWaterAtOrAboveTheAbsolutePorosity) {
  CapturedOutput out;
  TestDeck deck;
  deck.layer[0].phi_layer = "0.30";
  std::istringstream text(deck.text());
  LineInput input(text, "standard input");
  Deck read;
  try {
    readata(input, read);
    FAIL() << "phi_layer = phi_a must stop the ice model";
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.code, 11);
  }
  EXPECT_EQ(input.line_number(), 17) << "the lines after phi_layer are not consumed";
  const std::string echo = out.text();
  EXPECT_TRUE(contains(echo, " Ice model, phi_a_m is smaller than phi_layer_m(i) \n ERROR, the code stops \n"
                             " phi_a_m(i) =  0.3  phi_layer_m(i) =  0.3\n"))
      << echo;
}

TEST(DeckReader, ShaleyModelAcceptsWaterEqualToTheAbsolutePorosity) {
  CapturedOutput out;
  TestDeck deck = TestDeck::shaley();
  deck.layer[0].phi_layer = "0.30";
  std::istringstream text(deck.text());
  LineInput input(text, "standard input");
  Deck read;
  EXPECT_NO_THROW(readata(input, read));
}

TEST(MaterialMap, WholePeriodsFromTheBottom) {
  CapturedOutput out;
  LayerInt nl;
  nl(1) = 2;
  nl(2) = 1;
  LayerReal size_layer;
  IntMap matnum;
  makematnum(4, 6, nl, size_layer, 0.5, matnum);
  const int expected[6] = {1, 1, 2, 1, 1, 2};
  for (int k = 1; k <= 6; ++k) {
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(matnum(j, k), expected[k - 1]) << "cell " << j << "," << k;
  }
  EXPECT_EQ(size_layer(1), 1.0);
  EXPECT_EQ(size_layer(2), 0.5);
  EXPECT_TRUE(contains(out.text(), " nper = number of periods  2\n"));
}

TEST(MaterialMap, RemainderRowsStayUnassigned) {
  CapturedOutput out;
  LayerInt nl;
  nl(1) = 2;
  nl(2) = 2;
  LayerReal size_layer;
  IntMap matnum;
  std::fill(matnum.data.begin(), matnum.data.end(), 9);
  makematnum(2, 5, nl, size_layer, 0.2, matnum);
  EXPECT_EQ(matnum(1, 4), 2);
  EXPECT_EQ(matnum(1, 5), 0) << "the row above the last whole period has no layer type";
  EXPECT_EQ(matnum(3, 1), 0) << "cells outside the mesh are cleared";
}

TEST(MaterialMap, OneLayerTypeOrOnlyTheSecond) {
  CapturedOutput out;
  LayerReal size_layer;
  IntMap matnum;
  LayerInt only_first;
  only_first(1) = 3;
  makematnum(2, 5, only_first, size_layer, 0.2, matnum);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(matnum(2, k), 1);
  EXPECT_EQ(matnum(2, 4), 0);
  LayerInt only_second;
  only_second(2) = 1;
  makematnum(2, 5, only_second, size_layer, 0.2, matnum);
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(matnum(1, k), 2);
}

TEST(WaterProportion, LayeredTakesEachLayerTypesValue) {
  IntMap matnum;
  matnum(1, 1) = 1;
  matnum(1, 2) = 2;
  LayerReal phi_layer;
  phi_layer(1) = 0.1;
  phi_layer(2) = 0.2;
  RealMap patchy, phiw;
  patchy(1, 1) = patchy(1, 2) = 0.5;
  porosity(1, 2, phi_layer, 0, patchy, phiw, matnum);
  EXPECT_EQ(phiw(1, 1), 0.1);
  EXPECT_EQ(phiw(1, 2), 0.2);
  porosity(1, 2, phi_layer, 1, patchy, phiw, matnum);
  EXPECT_EQ(phiw(1, 1), 0.5) << "the patchy model takes the map read";
  EXPECT_EQ(phiw(1, 2), 0.5);
}

TEST(WaterProportion, PatchyMapIsStoredByRecordPositionNotByItsIndices) {
  ScratchDirectory dir;
  write_file("phiw_binary_patchy.dat", "2 2 0.11\n1 2 0.12\n7 7 0.13\n0 0 0.14\n9 9 0.5\n");
  RealMap phiw;
  read_patchy_map(2, 2, phiw);
  EXPECT_EQ(phiw(1, 1), 0.11);
  EXPECT_EQ(phiw(2, 1), 0.12);
  EXPECT_EQ(phiw(1, 2), 0.13);
  EXPECT_EQ(phiw(2, 2), 0.14);
}

TEST(WaterProportion, MissingOrShortPatchyFileStops) {
  ScratchDirectory dir;
  RealMap phiw;
  {
    CapturedOutput out;
    EXPECT_THROW(read_patchy_map(2, 2, phiw), StopRun);
    EXPECT_TRUE(contains(out.text(), "phiw_binary_patchy.dat"));
  }
  EXPECT_FALSE(std::filesystem::exists("phiw_binary_patchy.dat")) << "a missing file must not be created";
  write_file("phiw_binary_patchy.dat", "1 1 0.1\n2 1 0.1\n1 2 0.1\n");
  CapturedOutput out;
  EXPECT_THROW(read_patchy_map(2, 2, phiw), StopRun);
  EXPECT_TRUE(contains(out.text(), "cell (2,2)")) << out.text();
}

// --- whole runs ---

TEST(WholeRun, MaterialMapWithAnUnassignedRowStopsWith222AfterTheBadCell) {
  ScratchDirectory dir;
  TestDeck deck;
  deck.nx = "2";
  deck.ny = "3";
  deck.layer[0].nl = "2";
  const ProgramRun run = run_case(dir, deck, 2, 3);
  EXPECT_EQ(run.exit_status, 222);
  EXPECT_TRUE(contains(run.out, "j,k, matnum(j,k)  1 3 0\n")) << run.out;
  EXPECT_EQ(read_file(dir.path() / "matnum_p33"), "1\n1\n1\n1\n0\n");
  EXPECT_EQ(read_file(dir.path() / "matnum_p33_gnu"), "1 1 1\n2 1 1\n1 2 1\n2 2 1\n1 3 0\n");
  EXPECT_TRUE(contains(run.err, "STOP 222"));
}

TEST(WholeRun, EmptyLayerPeriodIsRefusedBeforeTheMapIsBuilt) {
  ScratchDirectory dir;
  TestDeck deck;  // one layer type: nl(2) is 0
  deck.layer[0].nl = std::string("0");
  const ProgramRun zero_period = run_case(dir, deck, 3, 4);
  EXPECT_EQ(zero_period.exit_status, stop_bad_parameter);
  EXPECT_TRUE(contains(zero_period.err, "nl(1) + nl(2) = 0")) << zero_period.err;
}

TEST(WholeRun, ParameterChecksNameTheLineAndTheValue) {
  // Each case puts `value` on the deck line of `field`.
  struct Case {
    std::string TestDeck::*field;
    const char* value;
    const char* words;
  };
  const Case cases[] = {
      {&TestDeck::fmin, "0.0", "line 1: fmin = 0"},        {&TestDeck::fmax, "-10.0", "line 2: fmax = -10"},
      {&TestDeck::nx, "-2", "line 5: nx = -2"},            {&TestDeck::ny, "0", "line 6: ny = 0"},
      {&TestDeck::key_model, "    5", "line 7: key_model = 5"}, {&TestDeck::model, "    2", "line 8: model = 2"},
      {&TestDeck::nmat, "3", "line 9: nmat = 3"},
  };
  for (const Case& c : cases) {
    ScratchDirectory dir;
    TestDeck deck;
    deck.*c.field = c.value;
    const ProgramRun run = run_case(dir, deck, 3, 4);
    EXPECT_EQ(run.exit_status, stop_bad_parameter) << c.words;
    EXPECT_TRUE(contains(run.err, c.words)) << c.words << ": " << run.err;
  }
  ScratchDirectory dir;
  TestDeck deck;
  deck.layer[0].nl = "-1";
  const ProgramRun run = run_case(dir, deck, 3, 4);
  EXPECT_EQ(run.exit_status, stop_bad_parameter) << "a negative layer thickness";
  EXPECT_TRUE(contains(run.err, "line 10: nl(1) = -1")) << run.err;
}

TEST(WholeRun, MissingIceMapIsReportedAndNotCreated) {
  ScratchDirectory dir;
  const ProgramRun run = run_case(dir, TestDeck(), 3, 4, false);
  EXPECT_EQ(run.exit_status, stop_input_error);
  EXPECT_TRUE(contains(run.err, "binary_ice_gnu.dat")) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "binary_ice_gnu.dat"));
}

TEST(WholeRun, ShortIceMapNamesTheFileAndTheCell) {
  ScratchDirectory dir;
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 3, 0.1);
  const ProgramRun run = run_program(dir.path(), TestDeck().text());
  EXPECT_EQ(run.exit_status, stop_input_error);
  EXPECT_TRUE(contains(run.err, "binary_ice_gnu.dat, line 10: cannot read the value of cell (1,4)")) << run.err;
}

TEST(WholeRun, ValueWithoutDecimalPointIsReadScaledWithAWarning) {
  ScratchDirectory dir;
  TestDeck deck;
  deck.layer[0].ro1 = "2650";
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 4, 0.15);
  const ProgramRun run = run_program(dir.path(), deck.text());
  EXPECT_TRUE(contains(run.err, "warning: standard input, line 14: ro1(1)")) << run.err;
  EXPECT_TRUE(contains(run.out, " ro1(kgr/m^3)                  =  2.65e-07\n")) << "the value is scaled, not changed";
}

TEST(WholeRun, TruncatedDeckStopsWithAnInputError) {
  ScratchDirectory dir;
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 4, 0.15);
  const std::string full = TestDeck().text();
  const std::string cut = full.substr(0, full.find("0.00179"));  // ends before eta(1)
  const ProgramRun run = run_program(dir.path(), cut);
  EXPECT_EQ(run.exit_status, stop_input_error);
  EXPECT_TRUE(contains(run.err, "eta(1)")) << run.err;
}

TEST(WholeRun, PerCellRecordsOutOfPlaceOrBeyondTheCellsWarnAndLeaveStandardOutputAsItIs) {
  // A 3 x 4 sample whose ice map holds one value everywhere: however its
  // records are labelled, the run computes the same, and says on the error
  // stream what it found.
  struct Case {
    const char* name;
    std::string map;
    std::string warning;  // "" for none
  };
  std::string by_rows, by_columns;
  for (int k = 1; k <= 4; ++k) {
    for (int j = 1; j <= 3; ++j) by_rows += std::to_string(j) + " " + std::to_string(k) + " 0.1\n";
  }
  for (int j = 1; j <= 3; ++j) {
    for (int k = 1; k <= 4; ++k) by_columns += std::to_string(j) + " " + std::to_string(k) + " 0.1\n";
  }
  const Case cases[] = {
      {"records row by row", by_rows, ""},
      {"records column by column", by_columns,
       "warning: binary_ice_gnu.dat, line 2: the record labelled cell (1,2) stands at the position of cell (2,1)"},
      {"records of a larger map", by_rows + "4 4 0.1\n\n5 4 0.1\n",
       "warning: binary_ice_gnu.dat: 2 records after the 12 of the deck's 3 x 4 cells were ignored"},
  };
  std::string expected_out;
  for (const Case& c : cases) {
    ScratchDirectory dir;
    write_file(dir.path() / "binary_ice_gnu.dat", c.map);
    const ProgramRun run = run_program(dir.path(), TestDeck().text());
    EXPECT_EQ(run.exit_status, 40) << c.name << run.out;
    // The running time is the one line that may differ from run to run.
    const std::string out = run.out.substr(0, run.out.find(" running time="));
    if (expected_out.empty()) expected_out = out;
    EXPECT_EQ(out, expected_out) << c.name << ": standard output changed";
    if (c.warning.empty()) {
      EXPECT_EQ(run.err.find("warning"), std::string::npos) << c.name << ": " << run.err;
    } else {
      EXPECT_NE(run.err.find(c.warning), std::string::npos) << c.name << ": " << run.err;
      EXPECT_EQ(run.err.find("warning", run.err.find("warning") + 1), std::string::npos) << "one warning only";
    }
  }
}

namespace {

bool same_bits(const dcomplex& a, const dcomplex& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// Rows shared between ranks: each band, given the held unknowns every band
// found, eliminates them from its rows, and computes its rows' residual
// and backward error, exactly as the whole system does (1, 2 and 3 bands
// under the split, piston and periodic numberings). Then one pass of the
// scalable solver on shared rows (one rank: one band) gives the pass on
// the whole matrix's solution, backward and forward errors bit for bit.
TEST(SharedRows, BandsEliminateTheHeldUnknownsAndGiveTheResidualOfTheWholeSystemBitForBit) {
  const RunStoragePtr storage = make_run_storage();
  RunStorage& run = *storage;
  ScratchDirectory dir;
  read_example_sample(run, "permafrost_patchy");
  CapturedOutput quiet;
  const struct { TopLoad load; HarmonicTest test; } cases[] = {{TopLoad::split, HarmonicTest::vertical},
                                                                {TopLoad::piston, HarmonicTest::vertical},
                                                                {TopLoad::periodic, HarmonicTest::periodic_shear}};
  for (const auto& c : cases) {
    run.load = c.load;
    run.test = c.test;
    PassScalars pass;
    pass.omega = angular_frequency(30.0);
    number_pass_unknowns(run);
    assembly_pattern_stage(run, pass);
    medium_stage(run, pass);
    assembly_values_stage(run, pass);
    const std::int32_t n = pass.n;
    scalable::held_unknowns(n, run.ia.data(), run.ja.data(), run.avec.data(), run.held.data());
    scalable::symmetric_values(n, run.ia.data(), run.ja.data(), run.avec.data(), run.rhs_m.data(), run.held.data());
    std::vector<dcomplex> z(n), whole_residual(n);
    for (std::int32_t i = 0; i < n; ++i) z[i] = dcomplex(std::sin(0.1 * i), std::cos(0.7 * i)) * dcomplex(1e-9, 0.0);
    for (std::int32_t i = 1; i <= n; ++i) {
      dcomplex r = run.rhs_m[i - 1];
      for (std::int64_t p = run.ia[i - 1]; p < run.ia[i]; ++p) r = r - run.avec[p - 1] * z[run.ja[p - 1] - 1];
      whole_residual[i - 1] = r;
    }
    const double whole_error =
        componentwise_backward_error(n, run.ia.data(), run.ja.data(), run.avec.data(), run.rhs_m.data(), z.data());
    const std::vector<char> pattern_words = band_pattern_words(run);
    std::vector<char> values_words;
    band_values_words(run, pass.omega, values_words);
    for (int bands = 1; bands <= 3; ++bands) {
      SCOPED_TRACE(testing::Message() << "test " << static_cast<int>(c.test) << ", " << bands << " bands");
      std::vector<std::unique_ptr<scalable::RowSource>> sources;
      std::vector<unsigned char> held(n, 0);
      std::vector<dcomplex> known(n, dcomplex(0.0, 0.0));
      for (int b = 0; b < bands; ++b) {
        sources.push_back(make_band_row_source());
        sources[b]->pattern(pattern_words, b, bands);
        sources[b]->values(values_words);
        for (std::int32_t i = 0; i < n; ++i) {
          held[i] = std::max(held[i], sources[b]->held()[i]);
          known[i] = known[i] + sources[b]->known()[i];
        }
      }
      EXPECT_EQ(std::count(held.begin(), held.end(), 1), std::count(run.held.begin(), run.held.begin() + n, 1));
      EXPECT_GT(std::count(held.begin(), held.end(), 1), 0);
      double error = 0.0;
      for (auto& source : sources) {
        source->held() = held;
        source->known() = known;
        source->eliminate_held();
        const std::vector<std::int32_t>& rows = source->rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
          ASSERT_TRUE(same_bits(source->load()[i], run.rhs_m[rows[i] - 1])) << "load of row " << rows[i];
        for (std::size_t q = 0; q < source->row().size(); ++q) {
          const std::int32_t r = source->row()[q], col = source->column()[q];
          const std::int32_t* at = std::find(run.ja.data() + run.ia[r - 1] - 1, run.ja.data() + run.ia[r] - 1, col);
          ASSERT_TRUE(same_bits(source->value()[q], run.avec[at - run.ja.data()])) << "entry " << r << ", " << col;
        }
        std::vector<dcomplex> residual(rows.size());
        error = std::max(error, source->residual(z.data(), residual.data()));
        for (std::size_t i = 0; i < rows.size(); ++i)
          ASSERT_TRUE(same_bits(residual[i], whole_residual[rows[i] - 1])) << "residual of row " << rows[i];
      }
      EXPECT_EQ(error, whole_error);
    }

    // The scalable solver's pass on the whole matrix, then on shared rows.
    PassScalars solved[2];
    std::vector<dcomplex> solution[2];
    for (const bool rows_shared : {false, true}) {
      SharedSolver solver(scalable::Ordering::given);
      run.shared = &solver;
      run.rows_shared = rows_shared;
      PassScalars& s = solved[rows_shared];
      structure_stage(run, s);
      s.omega = pass.omega;
      medium_stage(run, s);
      assembly_values_stage(run, s);
      solve_stage(run, s, Factorisation::reuse_order_and_structure);
      EXPECT_EQ(solver.rows_shared, rows_shared);
      solution[rows_shared].assign(run.z.begin(), run.z.begin() + s.n);
      run.shared = nullptr;
      run.rows_shared = false;
    }
    EXPECT_GT(solved[0].backward_error, 0.0);
    EXPECT_EQ(solved[1].backward_error, solved[0].backward_error);
    EXPECT_EQ(solved[1].forward_error, solved[0].forward_error);
    EXPECT_EQ(std::memcmp(solution[1].data(), solution[0].data(), solution[0].size() * sizeof(dcomplex)), 0);
  }
}
