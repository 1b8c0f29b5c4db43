// The frequency sweep: each row is what the program computes at that
// frequency, the program's files are left alone, stops name the frequency.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/format.hpp"
#include "common/input.hpp"
#include "common/machine_memory.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/pass.hpp"
#include "driver/readata.hpp"
#include "sweep/sweep.hpp"
#include "sweep/sweep_jobs.hpp"
#include "sweep/tensor_tables.hpp"
#include "tests/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// One row of the sweep's table, its items looked up by the names of the
// table's header, which table_rows checks (row["Re_Mw_Pa"]), never by a
// bare position.
struct SweepRow {
  std::vector<std::string> items;
  std::shared_ptr<const std::vector<std::string>> header;  // its names, one per item
  std::string operator[](std::string_view name) const {
    for (std::size_t c = 0; c < header->size(); ++c) {
      if ((*header)[c] == name && c < items.size()) return items[c];
    }
    ADD_FAILURE() << "the sweep table has no column " << name;
    return "<no such column>";
  }
};

// The rows of a sweep table, each split into its items; the header line
// is checked and left out.
std::vector<SweepRow> table_rows(const fs::path& file) {
  const std::vector<std::string> lines = split_lines(read_file(file));
  std::vector<SweepRow> rows;
  if (lines.empty()) {
    ADD_FAILURE() << file << " is empty";
    return rows;
  }
  // The classic columns first, in their old places, then the
  // work-conjugate ones, then (layered samples) the exact reference.
  // The header: names only (no comment marker), each ending with its unit.
  std::vector<std::string> header{"frequency_Hz", "omega_rad_per_s", "velocity_c33_m_per_s", "thousand_over_Q_c33",
                                  "Re_c33_Pa", "Im_c33_Pa", "Re_mstar_Pa", "Im_mstar_Pa", "vp1_m_per_s",
                                  "thousand_over_qp1", "Re_Mw_Pa", "Im_Mw_Pa", "velocity_w_m_per_s",
                                  "thousand_over_Q_w", "velocity_mstar_m_per_s", "thousand_over_Q_mstar",
                                  "density_kg_per_m3"};
  if (words(lines[0]).size() > header.size() + 2) {
    for (const char* name : {"Re_Mw_exact_Pa", "Im_Mw_exact_Pa", "error_w", "velocity_w_exact_m_per_s",
                             "thousand_over_Q_w_exact"}) {
      header.push_back(name);
    }
  }
  header.push_back("diffusion_length_cells");
  header.push_back("flags");
  EXPECT_EQ(words(lines[0]), header);
  const auto names = std::make_shared<const std::vector<std::string>>(header);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    rows.push_back(SweepRow{words(lines[i]), names});
    EXPECT_EQ(rows.back().items.size(), header.size()) << "row " << i;
    EXPECT_EQ(lines[i].size(), lines[0].size()) << "row " << i << " keeps the columns of the header";
  }
  return rows;
}

// The items printed after `label` on its line of the program's echo.
std::vector<std::string> echoed_items(const std::string& out, const std::string& label) {
  const std::size_t at = out.find(label);
  if (at == std::string::npos) return {"<no echo line '" + label + "'>"};
  return words(out.substr(at + label.size(), out.find('\n', at) - at - label.size()));
}

std::string echoed_text(const std::string& out, const std::string& label) {
  const std::vector<std::string> items = echoed_items(out, label);
  return items.empty() ? "" : items[0];
}

// A sample of two layer types, so that fluid flows between them and the
// sample attenuates, with its uniform ice map.
TestDeck two_layer_deck(TestDeck deck) {
  deck.nx = "3";
  deck.ny = "6";
  deck.nmat = "2";
  deck.layer[0].nl = "2";
  deck.layer[1].nl = "1";
  deck.layer[1].phi_layer = "0.22";
  deck.layer[1].capa_1_0 = "1.0e-11";
  return deck;
}

}  // namespace

// Under each load the program and the sweep must solve the same test.
TEST(Sweep, EveryRowEqualsAProgramRunAtItsFrequencyDigitForDigit) {
  struct Case { bool shaley; const char* load; };
  for (const auto& [shaley, load] : {Case{false, "--load split"}, Case{true, "--load split"},
                                     Case{true, "--load periodic"}}) {
    TestDeck deck = two_layer_deck(shaley ? TestDeck::shaley() : TestDeck());
    deck.fmin = "0.5";
    deck.fmax = "2.0e4";
    deck.nfreq = "4";
    ScratchDirectory sweep_dir;
    write_uniform_map(sweep_dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
    const ProgramRun sweep = run_sweep(sweep_dir.path(), deck.text(), load);
    ASSERT_EQ(sweep.exit_status, 0) << sweep.out << sweep.err;
    const auto rows = table_rows(sweep_dir.path() / sweep_table_name);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["frequency_Hz"], "0.5");
    EXPECT_NEAR(std::stod(rows[3]["frequency_Hz"]), 2.0e4, 1e-11) << "the last point of the grid is fmax, to rounding";

    for (const auto& row : rows) {
      const std::string what = (shaley ? "shaley sand at " : "permafrost at ") + row["frequency_Hz"] + " Hz, " + load;
      TestDeck single = deck;
      single.fmin = row["frequency_Hz"];  // the shortest form reads back to the same double
      ScratchDirectory dir;
      write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
      const ProgramRun run = run_program(dir.path(), single.text(), load);
      ASSERT_EQ(run.exit_status, 40) << what;
      EXPECT_EQ(echoed_items(run.out, "freq (Hz), omega_fix ").back(), row["omega_rad_per_s"]) << what << ": omega";
      EXPECT_EQ(echoed_text(run.out, "using averages  Velocity(m/s) FE = "), row["velocity_c33_m_per_s"]) << what << ": velocity";
      EXPECT_EQ(echoed_text(run.out, "using averages 1000/Q FE         = "), row["thousand_over_Q_c33"]) << what << ": 1000/Q";
      EXPECT_EQ(echoed_text(run.out, "using averages Re(c33) FE        = "), row["Re_c33_Pa"]) << what << ": Re(c33)";
      EXPECT_EQ(echoed_text(run.out, "using averages Im(c33) FE        = "), row["Im_c33_Pa"]) << what << ": Im(c33)";
      EXPECT_EQ(echoed_text(run.out, "from deltavol1 Re(p33) FE mstar      = "), row["Re_mstar_Pa"]) << what << ": Re(mstar)";
      EXPECT_EQ(echoed_text(run.out, "from deltavol1 Im(p33) FE mstar      = "), row["Im_mstar_Pa"]) << what << ": Im(mstar)";
      EXPECT_EQ(words(read_file(dir.path() / "vp_anal.phiw"))[1], row["vp1_m_per_s"]) << what << ": vp1";
      EXPECT_EQ(read_file(dir.path() / "1000_over_q_anal.phiw").substr(17, 15),
                format_g(std::stod(row["thousand_over_qp1"]), 15, 5))
          << what << ": 1000/qp1, written by the program in five digits";
      EXPECT_EQ(echoed_text(run.out, "work-conjugate Re(M)           = "), row["Re_Mw_Pa"]) << what << ": Re(Mw)";
      EXPECT_EQ(echoed_text(run.out, "work-conjugate Im(M)           = "), row["Im_Mw_Pa"]) << what << ": Im(Mw)";
      EXPECT_EQ(echoed_text(run.out, "work-conjugate velocity (m/s)  = "), row["velocity_w_m_per_s"]) << what << ": velocity of Mw";
      EXPECT_EQ(echoed_text(run.out, "work-conjugate 1000/Q          = "), row["thousand_over_Q_w"]) << what << ": 1000/Q of Mw";
    }
  }
}

TEST(Sweep, LeavesTheProgramsFilesAloneAndWritesItsTableAndASummary) {
  ScratchDirectory dir;
  TestDeck deck = two_layer_deck(TestDeck());
  deck.nfreq = "3";
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
  ASSERT_EQ(run_program(dir.path(), deck.text()).exit_status, 40);
  std::map<fs::path, std::string> before;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    before[entry.path().filename()] = read_file(entry.path());
  }

  deck.fmin = "3.0";  // a different test, whose program files would differ
  const ProgramRun sweep = run_sweep(dir.path(), deck.text(), "-j 2 --load split");
  ASSERT_EQ(sweep.exit_status, 0) << sweep.out << sweep.err;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const fs::path name = entry.path().filename();
    if (name == sweep_table_name || name == sweep_table::limits_name || name == "deck.in" || name == "stdout.txt" ||
        name == "stderr.txt") {
      continue;
    }
    ASSERT_TRUE(before.count(name)) << "the sweep created " << name;
    EXPECT_EQ(read_file(entry.path()), before[name]) << "the sweep changed " << name;
  }
  EXPECT_EQ(table_rows(dir.path() / sweep_table_name).size(), 3u);

  const std::vector<std::string> summary = split_lines(sweep.out);
  ASSERT_EQ(summary.size(), 11u) << sweep.out;
  EXPECT_EQ(summary[0], " frequency sweep of a 3 x 6 sample, 157 unknowns, 3 frequencies from 3 to 1000 Hz, 2 jobs");
  EXPECT_EQ(summary[2], " top load: split (1 Pa on the top of each solid)");
  EXPECT_EQ(summary[3], " every row of cells is uniform: a stack of 4 layers, with the exact one-dimensional "
                        "solution in the table");
  EXPECT_EQ(summary[4].substr(0, 59), " relaxed limit of Mw (omega -> 0, coefficients at fmin):   ");
  EXPECT_EQ(summary[6], " table \"frequency_sweep.dat\": 3 rows");
  EXPECT_EQ(summary[7], " rows whose solution may be inaccurate (backward error above 1e-13): 0");
  EXPECT_EQ(summary[8].substr(0, 29), " rows flagged (column flags):");
  EXPECT_EQ(summary[9].substr(0, 23), " rows with Im < 0 (c33 ") << "closed sides: one count of Im < 0 of c33, mstar";
  EXPECT_EQ(summary[10].substr(0, 18), " CPU time (s) = 0.") << "the CPU time keeps its leading zero";
  // The limits in their own table: the same numbers as the summary's lines.
  const std::vector<std::string> limits = split_lines(read_file(dir.path() / sweep_table::limits_name));
  ASSERT_EQ(limits.size(), 3u) << "a header and the relaxed and unrelaxed rows";
  EXPECT_EQ(words(limits[0]), (std::vector<std::string>{"limit", "Mw_Pa", "velocity_m_per_s"}));
  for (int i : {1, 2}) {
    const std::vector<std::string> row = words(limits[i]);
    const std::vector<std::string> line = words(summary[3 + i]);
    ASSERT_EQ(row.size(), 3u) << limits[i];
    EXPECT_EQ(row[0], i == 1 ? "relaxed" : "unrelaxed");
    EXPECT_EQ(std::stod(row[1]), std::stod(line[line.size() - 5])) << "Mw of " << row[0] << " limit: " << summary[3 + i];
    EXPECT_EQ(std::stod(row[2]), std::stod(line[line.size() - 2])) << "velocity of " << row[0] << " limit";
  }
  EXPECT_FALSE(fs::exists(dir.path() / sweep_table::partial_name)) << "the complete table has its name";
  const std::vector<std::string> progress = split_lines(sweep.err);
  ASSERT_EQ(progress.size(), 3u) << "one progress line per frequency off a terminal:\n" << sweep.err;
  Deck grid;
  grid.fmin = 3.0;
  grid.fmax = 1000.0;
  grid.nfreq = 3;
  EXPECT_EQ(progress[1].substr(0, progress[1].find(", backward error ")),
            " 2 of 3 rows done: " + format_real(sweep_frequency(grid, 2)) + " Hz")
      << "each row's line shows the rows done and its backward error";
}

TEST(Sweep, OneGridPointIsFminAndAnEmptyGridIsRefusedWithItsLine) {
  ScratchDirectory dir;
  TestDeck deck = two_layer_deck(TestDeck());
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
  deck.fmin = "7.5";
  deck.nfreq = "1";
  ASSERT_EQ(run_sweep(dir.path(), deck.text()).exit_status, 0);
  const auto rows = table_rows(dir.path() / sweep_table_name);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["frequency_Hz"], "7.5");

  // The grid's ends are fmin and fmax exactly, however many points lie between.
  Deck grid;
  grid.fmin = 1.0;
  grid.fmax = 1000.0;
  grid.nfreq = 9999999;
  EXPECT_EQ(sweep_frequency(grid, grid.nfreq), 1000.0);
  EXPECT_EQ(sweep_frequency(grid, 1), 1.0);

  deck.nfreq = "0";
  const ProgramRun empty = run_sweep(dir.path(), deck.text());
  EXPECT_EQ(empty.exit_status, 3);
  EXPECT_NE(empty.out.find("standard input, line 3: nfreq = 0 is not admitted"), std::string::npos) << empty.out;
  EXPECT_NE(empty.err.find("STOP 3"), std::string::npos) << empty.err;
}

TEST(Sweep, AStopEndsAsInTheProgramNamesTheFrequencyAndKeepsTheRowsDone) {
  // At 1e150 Hz the viscous stiffness of the fluid makes lambda1 negative:
  // the coefficient routine stops with 12345 there, not at 1 Hz.
  TestDeck deck = two_layer_deck(TestDeck());
  deck.fmin = "1.0";
  deck.fmax = "1.0e150";
  deck.nfreq = "2";
  ScratchDirectory dir;
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
  const ProgramRun sweep = run_sweep(dir.path(), deck.text());
  deck.fmin = "1.0e150";
  ScratchDirectory single_dir;
  write_uniform_map(single_dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
  const ProgramRun single = run_program(single_dir.path(), deck.text());

  ASSERT_EQ(single.exit_status, 12345 & 255);
  EXPECT_EQ(sweep.exit_status, single.exit_status);
  const std::string message = echoed_text(single.out, " neg. lambda1 j,k   ");
  const std::size_t at = sweep.out.find(" neg. lambda1 j,k   ");
  ASSERT_NE(at, std::string::npos) << sweep.out;
  EXPECT_EQ(echoed_text(sweep.out, " neg. lambda1 j,k   "), message);
  EXPECT_NE(sweep.out.find(" stopped at frequency 2 of 2: f = 1e+150 Hz", at), std::string::npos) << sweep.out;
  EXPECT_NE(sweep.err.find("stopped at frequency 2 of 2"), std::string::npos) << sweep.err;
  EXPECT_NE(sweep.err.find("STOP 12345"), std::string::npos) << sweep.err;
  EXPECT_FALSE(fs::exists(dir.path() / sweep_table_name)) << "an incomplete table never has the complete one's name";
  const auto rows = table_rows(dir.path() / sweep_table::partial_name);
  ASSERT_EQ(rows.size(), 1u) << "the row of 1 Hz is kept";
  EXPECT_EQ(rows[0]["frequency_Hz"], "1");
}

TEST(Sweep, InputFaultsStopAsInTheProgramWithTheirMessage) {
  TestDeck deck = two_layer_deck(TestDeck());
  ScratchDirectory dir;  // no ice map
  const ProgramRun sweep = run_sweep(dir.path(), deck.text());
  const ProgramRun single = run_program(dir.path(), deck.text());
  EXPECT_EQ(sweep.exit_status, 2);
  EXPECT_EQ(sweep.exit_status, single.exit_status);
  EXPECT_NE(sweep.out.find("\"binary_ice_gnu.dat\""), std::string::npos) << sweep.out;
  EXPECT_FALSE(fs::exists(dir.path() / sweep_table_name)) << "no table is begun before the sample is read";

  deck.layer[0].nl = "9";  // more rows than the mesh: cells of layer type 0 remain
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
  const ProgramRun unmapped = run_sweep(dir.path(), deck.text());
  EXPECT_EQ(unmapped.exit_status, 222);
  EXPECT_NE(unmapped.out.find("j,k, matnum(j,k) "), std::string::npos) << unmapped.out;
}

// --- frequencies computed side by side ---

// The table, the summary (but its CPU time and job count) and the stop of a
// sweep are the same bytes whatever the number of jobs, a stop in the
// middle of the grid included: at 1e150 Hz lambda1 turns negative, so the
// grid below stops at one of its middle points while later ones fail too.
TEST(SweepJobs, TablesAndStopsAreTheSameBytesForAnyNumberOfJobs) {
  struct Case {
    const char* name;
    std::string fmax;
    std::string nfreq;
    int status;
  };
  for (const Case& c : {Case{"whole grid", "1.0e4", "7", 0}, Case{"stop in the middle", "1.0e24", "9", 57}}) {
    TestDeck deck = two_layer_deck(TestDeck());
    deck.fmax = c.fmax;
    deck.nfreq = c.nfreq;
    std::string reference_table, reference_out;
    for (const std::string jobs : {"1", "2", "4", "9"}) {
      ScratchDirectory dir;
      write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 6, 0.12);
      const ProgramRun sweep = run_sweep(dir.path(), deck.text(), "-j " + jobs);
      EXPECT_EQ(sweep.exit_status, c.status) << c.name << ", -j " << jobs << "\n" << sweep.out << sweep.err;
      std::string out = sweep.out.substr(sweep.out.find('\n'));  // the first line names the jobs
      out = out.substr(0, out.find(" CPU time"));
      const std::string table =
          read_file(dir.path() / (c.status == 0 ? sweep_table::file_name : sweep_table::partial_name));
      if (jobs == "1") {
        reference_table = table;
        reference_out = out;
        continue;
      }
      EXPECT_EQ(table, reference_table) << c.name << ": -j " << jobs << " changed the table";
      EXPECT_EQ(out, reference_out) << c.name << ": -j " << jobs << " changed the summary or the stop";
    }
    if (c.status != 0) {
      EXPECT_NE(reference_out.find(" stopped at frequency 5 of 9: f = 1e+12 Hz"), std::string::npos) << reference_out;
      EXPECT_EQ(split_lines(reference_table).size(), 5u) << "the header and the rows before the stop are kept";
    }
  }
}

// --- frequencies computed by processes on the scalable solver ---

namespace {

// The two-layer sample just past 60 cells across: the scalable solver,
// whose jobs are copies of the sweep, each with its own MUMPS.
TestDeck scalable_deck(const char* fmax, const char* nfreq) {
  TestDeck deck = two_layer_deck(TestDeck());
  deck.nx = "61";
  deck.fmax = fmax;
  deck.nfreq = nfreq;
  return deck;
}

}  // namespace

// Every table, the summary and the stop of one, two and three job
// processes are the same bytes, with the tensor's tests and the sample at
// h/2 each on its own instance, and with a stop in the middle of the grid
// (at 1e12 Hz lambda1 turns negative; later frequencies fail too).
TEST(SweepProcesses, TablesAndStopsAreTheSameBytesForOneTwoAndThreeJobs) {
  struct Case {
    const char* name;
    std::string options;
    const char* fmax;
    const char* nfreq;
    int status;
    std::vector<const char*> tables;
  };
  const Case cases[] = {
      {"periodic", "", "1.0e4", "5", 0, {sweep_table::file_name}},
      {"tensor", "--tensor", "1.0e4", "4", 0,
       {sweep_table::file_name, tensor_table::stiffness_name, tensor_table::angle_name}},
      {"error estimate", "--load split --error-estimate", "1.0e4", "4", 0, {sweep_table::file_name}},
      {"stop in the middle", "--load split", "1.0e24", "9", 57, {sweep_table::partial_name}},
  };
  for (const Case& c : cases) {
    std::string reference_tables, reference_out;
    for (const std::string jobs : {"1", "2", "3"}) {
      ScratchDirectory dir;
      write_uniform_map(dir.path() / "binary_ice_gnu.dat", 61, 6, 0.12);
      const ProgramRun sweep = run_sweep(dir.path(), scalable_deck(c.fmax, c.nfreq).text(), "-j " + jobs + " " + c.options);
      ASSERT_EQ(sweep.exit_status, c.status) << c.name << ", -j " << jobs << "\n" << sweep.out << sweep.err;
      std::string out = sweep.out.substr(sweep.out.find('\n'));
      out = out.substr(0, out.find(" CPU time"));
      std::string tables;
      for (const char* table : c.tables) tables += read_file(dir.path() / table);
      if (jobs == "1") {
        reference_tables = tables;
        reference_out = out;
        continue;
      }
      EXPECT_EQ(tables, reference_tables) << c.name << ": -j " << jobs << " changed a table";
      EXPECT_EQ(out, reference_out) << c.name << ": -j " << jobs << " changed the summary or the stop";
      if (c.status != 0) {
        EXPECT_NE(sweep.err.find("STOP 12345"), std::string::npos) << sweep.err;
      }
    }
    if (c.status != 0) {
      EXPECT_NE(reference_out.find(" stopped at frequency 5 of 9: f = 1e+12 Hz"), std::string::npos) << reference_out;
      EXPECT_EQ(split_lines(reference_tables).size(), 5u) << "the header and the rows before the stop are kept";
    }
  }
}

// A job killed while the sweep runs stops it at a frequency that job left
// unanswered, with stop_input_error and the signal, the rows before it
// kept: no hang, no row lost in silence.  (Jobs that were threads would
// leave no process to kill: the sweep would end normally.)
TEST(SweepProcesses, AJobKilledStopsTheSweepAtItsFrequencyWithTheSignal) {
  ScratchDirectory dir;
  write_uniform_map(dir.path() / "binary_ice_gnu.dat", 61, 6, 0.12);
  write_file(dir.path() / "deck.in", scalable_deck("1.0e4", "3000").text());
  const std::string script = "cd '" + dir.path().string() + "' && { '" + UPSCALE_SWEEP_BINARY +
                             "' -j 2 --load split < deck.in > stdout.txt 2> stderr.txt & sweep=$!; "
                             "for t in $(seq 1000); do job=$(pgrep -P $sweep | head -n 1); "
                             "[ -n \"$job\" ] && break; sleep 0.01; done; "
                             "kill -KILL $job; wait $sweep; echo $? > status.txt; }";
  ASSERT_EQ(std::system(script.c_str()), 0);
  const std::string out = read_file(dir.path() / "stdout.txt");
  EXPECT_EQ(read_file(dir.path() / "status.txt"), "2\n") << out;
  EXPECT_NE(out.find("was killed by signal 9"), std::string::npos) << out;
  EXPECT_NE(read_file(dir.path() / "stderr.txt").find("STOP 2\n"), std::string::npos);
  const std::size_t at = out.find(" stopped at frequency ");
  ASSERT_NE(at, std::string::npos) << out;
  const std::int32_t stopped = std::stoi(out.substr(at + 22));
  EXPECT_EQ(split_lines(read_file(dir.path() / sweep_table::partial_name)).size(), static_cast<std::size_t>(stopped))
      << "the header and every row before frequency " << stopped;
}

// Each job process factorises in its own instance, so the jobs a machine
// holds count every job's factors beside its arrays: with room for two
// and a half jobs, three become two, with the warning; with three and a
// half, three run.
TEST(SweepProcesses, EachJobsFactorsCountAgainstTheMemory) {
  TestDeck deck = scalable_deck("1.0e4", "5");
  deck.ny = "60";
  RunStoragePtr run = make_run_storage();
  std::optional<SharedSolver> solver;
  try {
    Units sink;
    const BindUnits bind(sink);
    const OutputDiscarded quiet;
    std::istringstream in(deck.text());
    LineInput input(in, "deck");
    readata(input, run->deck);
    size_for_mesh(*run, 1, true);
    material_map_stage(*run);
    for (int k = 1; k <= run->deck.ny; ++k) {
      for (int j = 1; j <= run->deck.nx; ++j) run->binary_ice(j, k) = 0.12;
    }
    solver.emplace(scalable_ordering(static_cast<std::int32_t>(mesh_unknowns(run->deck, run->load))));
    run->shared = &*solver;
    PassScalars layout;
    structure_stage(*run, layout);
  } catch (const StopRun& stop) {
    FAIL() << "the sample stopped with " << stop.code << ": " << stop.message;
  }
  PassPair passes;
  passes.sample = run.get();
  const std::uint64_t factors = static_cast<std::uint64_t>(solver->solver.memory().estimated_mb) * 1000000;
  ASSERT_GT(factors, 0u) << "the analysis gave no estimate of the factors";
  const std::uint64_t per_job = pass_arrays_estimate(run->deck, run->load) + factors;
  for (const double room : {2.5, 3.5}) {
    // Slurm's memory of the task bounds what is offered: room for `room` jobs beside what the process holds.
    const std::uint64_t task = resident_bytes() + static_cast<std::uint64_t>(room * static_cast<double>(per_job));
    ASSERT_EQ(setenv("SLURM_MEM_PER_CPU", std::to_string(task >> 20).c_str(), 1), 0);
    testing::internal::CaptureStderr();
    const std::int32_t jobs = jobs_within_memory(passes, 3, JobKind::processes);
    const std::string warning = testing::internal::GetCapturedStderr();
    unsetenv("SLURM_MEM_PER_CPU");
    EXPECT_EQ(jobs, room < 3 ? 2 : 3) << "room for " << room << " jobs of " << (per_job >> 20) << " MB";
    EXPECT_EQ(warning.find("warning: 3 jobs of this mesh need about ") == 0, room < 3) << warning;
  }
}

TEST(SweepJobs, BadJobCountsAreRefusedWithTheUsage) {
  for (const std::string options : {"-j 0", "-j x", "-j", "-j 2x", "--bogus", "-j 1000"}) {
    ScratchDirectory dir;
    const ProgramRun sweep = run_sweep(dir.path(), two_layer_deck(TestDeck()).text(), options);
    EXPECT_EQ(sweep.exit_status, 3) << options << "\n" << sweep.out;
    EXPECT_NE(sweep.out.find("usage: upscale_sweep [-j N]"), std::string::npos) << options << "\n" << sweep.out;
    EXPECT_FALSE(fs::exists(dir.path() / sweep_table_name)) << options;
  }
}

// Two pass objects, each used by its own thread with its own silenced
// units, give bit for bit what they give one after the other.
TEST(PassObjects, TwoThreadsGiveTheBitsOfOneAfterTheOther) {
  const TestDeck decks[2] = {two_layer_deck(TestDeck()), two_layer_deck(TestDeck::shaley())};
  const auto solve = [&](RunStorage& run, int d) {
    Units sink;
    const BindUnits bind(sink);
    const OutputDiscarded quiet;
    std::istringstream in(decks[d].text());
    LineInput input(in, "deck");
    readata(input, run.deck);
    material_map_stage(run);
    for (int k = 1; k <= run.deck.ny; ++k) {
      for (int j = 1; j <= run.deck.nx; ++j) run.binary_ice(j, k) = 0.12;
    }
    PassScalars pass;
    pass.frequency = 10.0 + d;
    pass.omega = angular_frequency(pass.frequency);
    pass.freq_log = pass.frequency;
    const SampleResults results = run_pass(run, pass, SystemLayout::build);
    std::vector<dcomplex> solution(run.z.begin(), run.z.begin() + pass.n);
    solution.push_back(results.c33);
    return solution;
  };
  RunStoragePtr one = make_run_storage(), two = make_run_storage();
  const std::vector<dcomplex> first = solve(*one, 0), second = solve(*two, 1);
  std::vector<dcomplex> side_by_side[2];
  std::thread a([&] { side_by_side[0] = solve(*one, 0); });
  std::thread b([&] { side_by_side[1] = solve(*two, 1); });
  a.join();
  b.join();
  const auto bits = [](const std::vector<dcomplex>& z) {
    return std::string(reinterpret_cast<const char*>(z.data()), z.size() * sizeof(dcomplex));
  };
  EXPECT_EQ(bits(side_by_side[0]), bits(first)) << "the permafrost pass changed beside another";
  EXPECT_EQ(bits(side_by_side[1]), bits(second)) << "the shaley-sand pass changed beside another";
  EXPECT_NE(bits(first), bits(second)) << "the two passes solve the same system; the case tells nothing";
}

TEST(SweepFlags, ANearlySealingLayerIsFlaggedIllConditionedWhereTheBackwardErrorSeesNothing) {
  // A layer of permeability 1e-26 m^2 beside one of 1e-13: friction
  // coefficients 13 orders apart.  The backward error stays at rounding,
  // one step of refinement does not; the ordinary layers are not flagged.
  for (const bool sealed : {true, false}) {
    TestDeck deck;
    deck.fmin = "10";
    deck.fmax = "100";
    deck.nfreq = "2";
    deck.nx = "4";
    deck.ny = "10";
    deck.nmat = "2";
    deck.layer[0].nl = deck.layer[1].nl = "5";
    if (sealed) deck.layer[1].capa_1_0 = deck.layer[1].capa_3_0 = "1.0e-26";
    ScratchDirectory dir;
    write_uniform_map(dir.path() / "binary_ice_gnu.dat", 4, 10, 0.12);
    const ProgramRun run = run_sweep(dir.path(), deck.text(), "-j 2 --load piston --refine 4");
    ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
    const std::vector<std::string> lines = split_lines(read_file(dir.path() / sweep_table_name));
    ASSERT_EQ(lines.size(), 3u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::string flags = words(lines[i]).back();
      EXPECT_EQ(flags.find("ill_conditioned") != std::string::npos, sealed) << lines[i];
    }
    EXPECT_NE(run.out.find(sealed ? "ill_conditioned 2" : "ill_conditioned 0"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("(inaccurate)"), std::string::npos) << "the backward error sees nothing: " << run.err;
  }
}
