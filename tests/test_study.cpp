// Studies: the summary against hand-computed statistics, the merge of an
// incomplete set, resume after a killed realisation, failed realisations,
// refusals of a faulty study file, and the band plot.
#include <gtest/gtest.h>

#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/stop.hpp"
#include "sweep/sweep.hpp"
#include "study/plan.hpp"
#include "study/tools.hpp"
#include "study/summary.hpp"
#include "tests/test_support.hpp"

namespace fs = std::filesystem;

namespace {

ProgramRun run_command(const fs::path& directory, const std::string& arguments) {
  return run_in(directory, UPSCALE_STUDY_BINARY, arguments);
}

// A sweep table of two frequencies whose velocity and 1000/Q columns hold
// the given values; the other columns are the frequency's placeholders.
std::string sweep_table(const double velocity[2], const double q[2]) {
  std::string text = "frequency_Hz omega_rad_per_s velocity_c33_m_per_s thousand_over_Q_c33 Re_c33_Pa Im_c33_Pa "
                     "Re_mstar_Pa Im_mstar_Pa vp1_m_per_s thousand_over_qp1\n";
  const char* frequency[2] = {"1", "10"};
  for (int i = 0; i < 2; ++i) {
    std::ostringstream row;
    row.precision(17);
    row << frequency[i] << " 6.28 " << velocity[i] << " " << q[i] << " 1 2 3 4 5 6\n";
    text += row.str();
  }
  return text;
}

// A study directory of three complete realisations whose two-frequency
// tables hold the given velocities and 1000/Q, as --merge finds them.
void write_hand_made_study(const fs::path& directory, const double (&velocity)[3][2], const double (&q)[3][2]) {
  for (int r = 0; r < 3; ++r) {
    const fs::path rdir = directory / ("r000" + std::to_string(r + 1));
    fs::create_directories(rdir);
    write_file(rdir / sweep_table_name, sweep_table(velocity[r], q[r]));
    write_file(rdir / manifest_name, "made by hand\nrows 2\n");
  }
  write_file(directory / plan_name, "study_file none\nrealisations 3\njobs none\nmodulus c33\n");
}

// A 6 x 6 permafrost sample of one layer type, whose water proportion is
// the ice map that the study draws.
std::string small_case(const fs::path& directory) {
  TestDeck deck;
  deck.nx = deck.ny = deck.layer[0].nl = std::string("6");
  fs::create_directories(directory);
  write_file(directory / "deck.in", deck.text());
  return deck.text();
}

std::string study_text(const std::string& maps, int realisations, const std::string& extra = "") {
  return "# a small study\ncase = case\nrealisations = " + std::to_string(realisations) +
         "\nseed = 3   # the first seed\nmaps = " + maps + "\nfmin = 0.01\nfmax = 100.0\nnfreq = 3\nmodulus = c33\n" + extra;
}

const std::string patchy_ice = "--kind binary --fraction 0.5 --values 0.08 0.2 --correlation 0.3 0.3 --file ice";

}  // namespace

TEST(Study, SummaryHoldsTheHandComputedMeanDeviationAndPercentiles) {
  // Three realisations: velocities 1, 2, 4 and 10, 10, 10; 1000/Q 3, 1, 2
  // and 0.5, 1.5, 2.5.  Mean of 1, 2, 4 is 7/3; deviations -4/3, -1/3, 5/3
  // give a variance (16 + 1 + 25)/9/2 = 7/3; the 5th percentile lies at
  // position 0.1 of the sorted values (1 + 0.1 (2 - 1) = 1.1), the 50th at
  // 1 (2), the 95th at 1.9 (2 + 0.9 (4 - 2) = 3.8).
  ScratchDirectory dir;
  const double velocity[3][2] = {{1, 10}, {2, 10}, {4, 10}};
  const double q[3][2] = {{3, 0.5}, {1, 1.5}, {2, 2.5}};
  write_hand_made_study(dir.path(), velocity, q);
  const ProgramRun merge = run_command(dir.path(), "--merge .");
  ASSERT_EQ(merge.exit_status, 0) << merge.out << merge.err;

  const std::vector<std::string> lines = split_lines(read_file(dir.path() / summary_name));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(words(lines[0]), (std::vector<std::string>{
                                "frequency_Hz", "n", "velocity_mean_m_per_s", "velocity_std_m_per_s",
                                "velocity_p5_m_per_s", "velocity_p50_m_per_s", "velocity_p95_m_per_s",
                                "thousand_over_Q_mean", "thousand_over_Q_std", "thousand_over_Q_p5",
                                "thousand_over_Q_p50", "thousand_over_Q_p95"}));
  struct Expected {
    const char* what;
    int row, column;
    double value;
  };
  const Expected expected[] = {
      {"velocity mean", 1, 2, 7.0 / 3.0},    {"velocity std", 1, 3, std::sqrt(7.0 / 3.0)},
      {"velocity p5", 1, 4, 1.1},            {"velocity p50", 1, 5, 2.0},
      {"velocity p95", 1, 6, 3.8},           {"1000/Q mean", 1, 7, 2.0},
      {"1000/Q std", 1, 8, 1.0},             {"1000/Q p5", 1, 9, 1.1},
      {"1000/Q p50", 1, 10, 2.0},            {"1000/Q p95", 1, 11, 2.9},
      {"constant velocity std", 2, 3, 0.0},  {"constant velocity p95", 2, 6, 10.0},
      {"1000/Q mean, row 2", 2, 7, 1.5},     {"1000/Q p5, row 2", 2, 9, 0.6},
  };
  for (const Expected& e : expected) {
    const std::vector<std::string> row = words(lines[e.row]);
    ASSERT_EQ(row.size(), 12u) << lines[e.row];
    EXPECT_NEAR(std::stod(row[e.column]), e.value, 1e-14 * std::max(1.0, e.value)) << e.what;
  }
  EXPECT_EQ(words(lines[1])[0], "1");
  EXPECT_EQ(words(lines[2])[0], "10") << "frequencies as the tables write them";
  EXPECT_EQ(words(lines[1])[1], "3") << "three realisations present";

  // An incomplete set: refused and listed without --allow-missing; with it,
  // the second column counts the realisations present.
  fs::remove(dir.path() / "r0002" / manifest_name);
  const ProgramRun refused = run_command(dir.path(), "--merge .");
  EXPECT_EQ(refused.exit_status, stop_incomplete_study);
  EXPECT_NE(refused.out.find("realisation 2 (r0002) not complete"), std::string::npos) << refused.out;
  EXPECT_NE(refused.out.find("1 of 3 realisations missing: 2"), std::string::npos) << refused.out;
  const ProgramRun allowed = run_command(dir.path(), "--merge . --allow-missing");
  ASSERT_EQ(allowed.exit_status, 0) << allowed.out;
  const std::vector<std::string> row = words(split_lines(read_file(dir.path() / summary_name))[1]);
  EXPECT_EQ(row[1], "2");
  EXPECT_NEAR(std::stod(row[2]), 2.5, 1e-15) << "mean of realisations 1 and 3";
}

TEST(Study, ARerunSkipsCompleteRealisationsAndRecomputesAKilledOne) {
  ScratchDirectory dir;
  small_case(dir.path() / "case");
  write_file(dir.path() / "small.txt", study_text(patchy_ice, 3));
  const ProgramRun first = run_command(dir.path(), "small.txt -j 2");
  ASSERT_EQ(first.exit_status, 0) << first.out << first.err;
  const fs::path out = dir.path() / "small";  // beside the study file, named after it
  const std::string summary = read_file(out / summary_name);
  std::vector<std::string> tables;
  for (const char* r : {"r0001", "r0002", "r0003"}) {
    tables.push_back(read_file(out / r / sweep_table_name));
    EXPECT_EQ(split_lines(tables.back()).size(), 4u) << r << ": three frequencies";
    EXPECT_TRUE(fs::exists(out / r / "binary_ice_gnu.dat")) << r << ": its map is kept";
    EXPECT_TRUE(fs::exists(out / r / "deck.in")) << r << ": its deck is kept";
    EXPECT_FALSE(fs::exists(out / r / "run")) << r << ": the working folder is gone";
  }
  const auto written_at = fs::last_write_time(out / "r0001" / sweep_table_name);

  // Realisation 2 killed during its sweep: its working folder holds a part
  // of a table, and no manifest was written.
  fs::remove(out / "r0002" / manifest_name);
  fs::create_directories(out / "r0002" / "run");
  write_file(out / "r0002" / "run" / sweep_table_name, tables[1].substr(0, 100));
  const ProgramRun status = run_command(dir.path(), "--status small");
  EXPECT_NE(status.out.find("realisations done: 2 of 3"), std::string::npos) << status.out;

  const ProgramRun again = run_command(dir.path(), "small.txt -j 2");
  ASSERT_EQ(again.exit_status, 0) << again.out << again.err;
  EXPECT_NE(again.out.find("3 realisations: 1 computed, 2 complete and unchanged, 0 failed"), std::string::npos)
      << again.out;
  EXPECT_EQ(fs::last_write_time(out / "r0001" / sweep_table_name), written_at) << "r0001 was not rerun";
  EXPECT_EQ(read_file(out / "r0002" / sweep_table_name), tables[1]) << "the same realisation, the same bytes";
  EXPECT_EQ(read_file(out / summary_name), summary);

  // Changed inputs: another fraction changes every realisation's manifest.
  const std::string old_manifest = read_file(out / "r0002" / manifest_name);
  write_file(dir.path() / "small.txt",
             study_text("--kind binary --fraction 0.3 --values 0.08 0.2 --correlation 0.3 0.3 --file ice", 3));
  const ProgramRun changed = run_command(dir.path(), "small.txt");
  ASSERT_EQ(changed.exit_status, 0) << changed.out << changed.err;
  EXPECT_NE(changed.out.find("3 realisations: 3 computed, 0 complete"), std::string::npos) << changed.out;
  // A realisation left from the earlier inputs (as when the rerun was
  // stopped before reaching it) is not averaged with the new ones.
  write_file(out / "r0002" / manifest_name, old_manifest);
  const ProgramRun merge = run_command(dir.path(), "--merge small");
  EXPECT_EQ(merge.exit_status, stop_incomplete_study);
  EXPECT_NE(merge.out.find("realisation 2 (r0002) computed from other inputs than the study's"), std::string::npos)
      << merge.out;
}

TEST(Study, AStudyKilledDuringASweepLeavesNothingThatLooksCompleteAndResumes) {
  // A 30 x 30 sample at 16 frequencies: a sweep of about a second, killed
  // (the study and its programs, by their process group) once it has
  // written two rows.
  ScratchDirectory dir;
  TestDeck deck;
  deck.nx = deck.ny = deck.layer[0].nl = "30";
  fs::create_directories(dir.path() / "case");
  write_file(dir.path() / "case" / "deck.in", deck.text());
  const std::string text = "case = case\nrealisations = 2\nseed = 8\nmaps = " + patchy_ice + "\nfmin = 0.01\n"
                           "fmax = 100.0\nnfreq = 16\nmodulus = c33\n";
  write_file(dir.path() / "killed.txt", text);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setpgid(0, 0);
    fs::current_path(dir.path());
    const int out = ::open("killed.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    execl(UPSCALE_STUDY_BINARY, UPSCALE_STUDY_BINARY, "killed.txt", "-j", "1", static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(pid, pid);
  const fs::path partial = dir.path() / "killed" / "r0001" / "run" / sweep_table::partial_name;
  bool two_rows = false;
  for (int i = 0; i < 12000 && !two_rows; ++i) {  // at most 60 s
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    two_rows = fs::exists(partial) && split_lines(read_file(partial)).size() >= 3;
  }
  kill(-pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(two_rows) << "the first sweep did not write two rows within 60 s";
  ASSERT_FALSE(fs::exists(dir.path() / "killed" / "r0001" / manifest_name));

  const ProgramRun status_run = run_command(dir.path(), "--status killed");
  EXPECT_NE(status_run.out.find("realisations done: 0 of 2; failed: 0; running or interrupted: 1; not started: 1"),
            std::string::npos)
      << status_run.out;
  const ProgramRun refused = run_command(dir.path(), "--merge killed --allow-missing");
  EXPECT_EQ(refused.exit_status, stop_incomplete_study) << "nothing to average: " << refused.out;

  const ProgramRun resumed = run_command(dir.path(), "killed.txt -j 2");
  ASSERT_EQ(resumed.exit_status, 0) << resumed.out << resumed.err;
  EXPECT_NE(resumed.out.find("2 realisations: 2 computed"), std::string::npos) << resumed.out;
  EXPECT_EQ(split_lines(read_file(dir.path() / "killed" / "r0001" / sweep_table_name)).size(), 17u);
}

TEST(Study, AFailedRealisationIsReportedByNumberWithItsMessageAndTheOthersGoOn) {
  // A cell of 5 % water in cell (1,1) makes lambda1 negative there: the
  // sweep stops with 12345.  Which realisations draw LOW at cell (1,1)
  // depends on the seed; each one's map tells.
  ScratchDirectory dir;
  small_case(dir.path() / "case");
  write_file(dir.path() / "failing.txt",
             study_text("--kind binary --fraction 0.5 --values 0.05 0.2 --correlation 0.3 0.3 --file ice", 6));
  const ProgramRun run = run_command(dir.path(), "failing.txt -j 2");
  const fs::path out = dir.path() / "failing";
  std::vector<int> failed, complete;
  std::string failed_list;
  for (int r = 1; r <= 6; ++r) {
    const fs::path rdir = out / ("r000" + std::to_string(r));
    const bool done = fs::exists(rdir / manifest_name);
    const fs::path map = done ? rdir / "binary_ice_gnu.dat" : rdir / "run" / "binary_ice_gnu.dat";
    const bool low_at_origin = words(split_lines(read_file(map))[0])[2] == "0.05";
    EXPECT_EQ(done, !low_at_origin) << "realisation " << r << " fails exactly when cell (1,1) is dry";
    if (done) {
      complete.push_back(r);
      continue;
    }
    failed.push_back(r);
    failed_list += (failed_list.empty() ? "" : ", ") + std::to_string(r);
    EXPECT_NE(run.out.find(" realisation " + std::to_string(r) + " failed: upscale_sweep ended with status 57: "
                           "neg. lambda1 j,k    1 1"),
              std::string::npos)
        << run.out;
  }
  ASSERT_FALSE(failed.empty()) << "the seed gives a failing realisation";
  ASSERT_FALSE(complete.empty()) << "the seed gives a complete realisation";
  EXPECT_NE(run.out.find("(STOP 12345)"), std::string::npos) << run.out;
  EXPECT_EQ(run.exit_status, stop_realisations_failed);
  EXPECT_NE(run.out.find(" realisations failed: " + failed_list + ";"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("STOP 8"), std::string::npos);
  EXPECT_FALSE(fs::exists(out / summary_name)) << "an incomplete set is not averaged";

  const ProgramRun merge = run_command(dir.path(), "--merge failing --allow-missing");
  ASSERT_EQ(merge.exit_status, 0) << merge.out;
  EXPECT_EQ(words(split_lines(read_file(out / summary_name))[1])[1], std::to_string(complete.size()));
}

TEST(Study, FaultsOfTheStudyFileNameTheFileTheLineAndTheKey) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string ok_maps = "maps = " + patchy_ice + "\n";
  const Case cases[] = {
      {"case = case\nrealisations = 2\nseed = 1\n" + ok_maps + "colour = red\n", "line 5, 'colour': unknown key"},
      {"case = case\nrealisations = 2\n" + ok_maps, "seed: the key is missing"},
      {"case = case\nrealisations = two\nseed = 1\n" + ok_maps, "line 2, realisations: 'two' is not a whole number"},
      {"case = case\nrealisations = 0\nseed = 1\n" + ok_maps, "line 2, realisations"},
      {"case = case\nseed = 1\nrealisations = 2\nseed = 2\n" + ok_maps, "line 4, seed: given twice"},
      {"case = case\nrealisations = 2\nseed = 1\nmaps = --seed 4 " + patchy_ice + "\n", "line 4, maps: --seed"},
      {"case = case\nrealisations = 2\nseed = 1\nmaps = --kind binary --fraction 0.5 --values 0.08 0.5 "
       "--correlation 1 1\n",
       "line 4, maps: upscale_maps: --values: HIGH = 0.5 is not admitted"},
      {"case = nowhere\nrealisations = 2\nseed = 1\n" + ok_maps, "line 1, case: no deck.in"},
      {"case = case\nrealisations = 2\nseed = 1\n" + ok_maps + "nfreq = 0\n", "line 5, nfreq"},
      {"case = case\nrealisations 2\n", "line 2, 'realisations 2': not a line of the form key = value"},
      {"case = case\nrealisations = 2\nseed = 1\n" + ok_maps + "out_of_core = scratch\n",
       "line 5, out_of_core: 'scratch' is not an absolute path"},
  };
  for (const Case& c : cases) {
    ScratchDirectory dir;
    small_case(dir.path() / "case");
    write_file(dir.path() / "bad.txt", c.text);
    const ProgramRun run = run_command(dir.path(), "bad.txt");
    EXPECT_EQ(run.exit_status, stop_input_error) << c.text;
    EXPECT_NE(run.out.find("bad.txt, " + c.message), std::string::npos) << c.text << "\n" << run.out;
    EXPECT_FALSE(fs::exists(dir.path() / "bad")) << "nothing written: " << c.text;
  }
  ScratchDirectory dir;
  const ProgramRun usage = run_command(dir.path(), "--engine cloud x.txt");
  EXPECT_EQ(usage.exit_status, stop_bad_parameter);
  EXPECT_NE(usage.out.find("--engine: 'cloud' is not local or slurm"), std::string::npos) << usage.out;
}

TEST(Study, GnuplotDrawsTheBandPlotFromTheSummary) {
  ScratchDirectory dir;
  const double velocity[3][2] = {{3800, 3900}, {3700, 3950}, {3750, 3850}};
  const double q[3][2] = {{10, 2}, {20, 1}, {15, 3}};
  write_hand_made_study(dir.path(), velocity, q);
  ASSERT_EQ(run_command(dir.path(), "--merge .").exit_status, 0);
  const std::string command = "cd '" + dir.path().string() + "' && gnuplot '" +
                              source_path("examples/plot_study.gp").string() + "' > gnuplot.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << "gnuplot (./install_missing.sh gnuplot installs it):\n"
                                             << read_file(dir.path() / "gnuplot.txt");
  ASSERT_TRUE(fs::exists(dir.path() / "study_curves.png"));
  EXPECT_EQ(read_file(dir.path() / "study_curves.png").substr(1, 3), "PNG");
}

namespace {

// A study of `small_case` run to its end, as the later cases find it.
void completed_study(const fs::path& dir, const std::string& maps = patchy_ice) {
  small_case(dir / "case");
  write_file(dir / "small.txt", study_text(maps, 3));
  const ProgramRun first = run_command(dir, "small.txt -j 2");
  ASSERT_EQ(first.exit_status, 0) << first.out << first.err;
}

// A 6 x 6 shaley-sand sample of the patchy model (model 1), without a
// "binary_ice_gnu.dat" in its case.
void shaley_patchy_case(const fs::path& dir) {
  TestDeck deck = TestDeck::shaley();
  deck.nx = deck.ny = deck.layer[0].nl = std::string("6");
  deck.model = "    1";
  fs::create_directories(dir / "case");
  write_file(dir / "case" / "deck.in", deck.text());
}

// write_file into a directory made first.
void write_new(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  write_file(file, text);
}

std::string with(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

}  // namespace

TEST(Study, WholeProgramCasesEndWithTheirStatusAndLeaveWhatIsNotTheirsUntouched) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> setup;
    std::string command;
    int status;
    std::string message;                 // in standard output
    std::vector<std::string> untouched;  // files whose bytes must stay as the setup left them
    std::vector<std::string> absent;     // paths that must not exist afterwards
  };
  const auto study = [](const std::string& text) {
    return [text](const fs::path& dir) {
      small_case(dir / "case");
      write_file(dir / "small.txt", text);
    };
  };
  const std::string plain = study_text(patchy_ice, 3);
  const Case cases[] = {
      {"a non-empty output that holds no study",
       [&](const fs::path& dir) {
         study(plain)(dir);
         write_new(dir / "small" / "r0001" / "run" / "thesis.tex", "my thesis\n");
       },
       "small.txt", stop_input_error, "holds no study (no study_plan", {"small/r0001/run/thesis.tex"},
       {"small/study_plan"}},
      {"a symbolic link where a realisation's directory belongs",
       [&](const fs::path& dir) {
         study(plain)(dir);
         write_new(dir / "small" / plan_name, "study_file x\nrealisations 3\njobs local\n");
         write_new(dir / "elsewhere" / "deck.in", "not the study's\n");
         fs::create_directory_symlink(dir / "elsewhere", dir / "small" / "r0001");
       },
       "small.txt", stop_input_error, "is a symbolic link where a realisation's directory belongs",
       {"elsewhere/deck.in", "small/study_plan"}, {"elsewhere/manifest", "elsewhere/run"}},
      {"an output inside the case", study(plain + "output = case/out\n"), "small.txt", stop_bad_parameter,
       "small.txt, line 10, output: ", {"case/deck.in"}, {"case/out"}},
      {"a map the deck never reads", study(with(plain, " --file ice", " --file patchy")), "small.txt",
       stop_bad_parameter, "line 5, maps: --file patchy writes phiw_binary_patchy.dat, which this deck never reads",
       {}, {"small"}},
      {"a per-cell file the deck reads that nobody provides",
       [&](const fs::path& dir) {
         shaley_patchy_case(dir);
         write_file(dir / "small.txt", with(plain, " --file ice", " --file patchy"));
       },
       "small.txt", stop_bad_parameter, "line 2, case: the deck reads \"binary_ice_gnu.dat\" in every realisation",
       {}, {"small"}},
      {"realisations beyond the limit", study(with(plain, "realisations = 3", "realisations = 2147483647")),
       "small.txt", stop_bad_parameter, "line 3, realisations: 2147483647 realisations exceed the limit of 100000",
       {}, {"small"}},
      {"nfreq beyond the limit", study(with(plain, "nfreq = 3", "nfreq = 2147483647")), "small.txt",
       stop_bad_parameter, "line 8, nfreq: 2147483647 frequencies exceed the limit of 10000", {}, {"small"}},
      {"a seed whose last realisation would wrap",
       study(with(plain, "seed = 3", "seed = 18446744073709551615")), "small.txt", stop_bad_parameter,
       "line 4, seed: 18446744073709551615 + 2 (the seed of realisation 3) exceeds", {}, {"small"}},
      {"a refinement whose mesh exceeds the solver's indices", study(plain + "refine = 100000\n"), "small.txt",
       stop_bad_parameter, "line 10, refine: the deck's 6 x 6 cells split 100000 x 100000 give a mesh too large", {},
       {"small"}},
      {"an error estimate whose h/2 mesh exceeds the solver's indices",
       study(plain + "refine = 1000\nerror_estimate = yes\n"), "small.txt", stop_bad_parameter,
       "line 10, refine: the deck's 6 x 6 cells split 2000 x 2000 (the error estimate's h/2 included)", {}, {"small"}},
      {"a newline in the name of a Slurm study's file",
       [&](const fs::path& dir) {
         small_case(dir / "case");
         write_file(dir / "two\nlines.txt", plain + "output = out\n");
       },
       "'two\nlines.txt' --engine slurm", stop_bad_parameter, "holds a newline, which the tasks' frozen study file",
       {}, {"out"}},
      {"-j beyond the limit", study(plain), "small.txt -j 100000", stop_bad_parameter,
       "-j: 100000 realisations at a time exceed the limit of 256", {}, {"small"}},
      {"HIGH below LOW", study(with(plain, "--values 0.08 0.2", "--values 0.2 0.08")), "small.txt",
       stop_input_error, "line 5, maps: upscale_maps: --values: HIGH = 0.08 lies below LOW = 0.2", {}, {"small"}},
      {"a file of someone else's in a working folder, under changed inputs",
       [&](const fs::path& dir) {
         completed_study(dir);
         write_file(dir / "small.txt", with(plain, "--fraction 0.5", "--fraction 0.4"));
         write_new(dir / "small" / "r0001" / "run" / "thesis.tex", "my thesis\n");
       },
       "small.txt", stop_realisations_failed, "holds \"thesis.tex\", which the study did not write",
       {"small/r0001/run/thesis.tex"}, {"small/study_summary.dat"}},
      {"a table shorter than its manifest promises",
       [&](const fs::path& dir) {
         completed_study(dir);
         const fs::path table = dir / "small" / "r0002" / sweep_table_name;
         const std::string text = read_file(table);
         write_file(table, text.substr(0, text.rfind('\n', text.size() - 2) + 1));
       },
       "--merge small", stop_incomplete_study, "realisation 2 (r0002) not complete",
       {"small/study_summary.dat", "small/r0002/frequency_sweep.dat"}, {}},
      {"a heavily clipped map",
       study(with(plain, patchy_ice, "--kind gaussian --mean 0.28 --std 0.05 --correlation 0.3 0.3 --file ice")),
       "small.txt", 0, "cells of its map were clipped to the admissible water proportions", {}, {}},
  };
  for (const Case& c : cases) {
    ScratchDirectory dir;
    c.setup(dir.path());
    std::vector<std::string> before;
    for (const std::string& file : c.untouched) before.push_back(read_file(dir.path() / file));
    const ProgramRun run = run_command(dir.path(), c.command);
    EXPECT_EQ(run.exit_status, c.status) << c.name << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << c.name << ": the message\n" << run.out;
    for (std::size_t i = 0; i < c.untouched.size(); ++i) {
      EXPECT_EQ(read_file(dir.path() / c.untouched[i]), before[i]) << c.name << ": " << c.untouched[i] << " changed";
    }
    for (const std::string& path : c.absent) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / path))) << c.name << ": " << path << " exists";
    }
  }
}

TEST(Study, ASecondRunOnTheSameOutputIsRefusedWhileTheFirstHoldsIt) {
  // Study A (a 30 x 30 sample, a second or so a sweep) runs in the
  // background; B, another study with the same output, and A itself
  // started again, are refused with 2 while it runs, touching nothing.
  ScratchDirectory dir;
  TestDeck deck;
  deck.nx = deck.ny = deck.layer[0].nl = "30";
  fs::create_directories(dir.path() / "case");
  write_file(dir.path() / "case" / "deck.in", deck.text());
  const std::string a = "case = case\nrealisations = 2\nseed = 8\nmaps = " + patchy_ice +
                        "\nfmin = 0.01\nfmax = 100.0\nnfreq = 16\nmodulus = c33\noutput = shared\n";
  write_file(dir.path() / "a.txt", a);
  write_file(dir.path() / "b.txt", with(a, "seed = 8", "seed = 9"));
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    fs::current_path(dir.path());
    const int out = ::open("a.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    execl(UPSCALE_STUDY_BINARY, UPSCALE_STUDY_BINARY, "a.txt", "-j", "1", static_cast<char*>(nullptr));
    _exit(127);
  }
  const fs::path table = dir.path() / "shared" / "r0001" / "run" / sweep_table::partial_name;
  bool running = false;
  for (int i = 0; i < 12000 && !running; ++i) {  // at most 60 s
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    running = fs::exists(table);
  }
  ASSERT_TRUE(running) << "study A did not start its first sweep within 60 s";
  const std::string plan = read_file(dir.path() / "shared" / plan_name);
  for (const char* other : {"b.txt", "a.txt", "--merge shared"}) {
    const ProgramRun refused = run_command(dir.path(), other);
    EXPECT_EQ(refused.exit_status, stop_input_error) << other << "\n" << refused.out;
    EXPECT_NE(refused.out.find("is in use by another upscale_study run"), std::string::npos) << refused.out;
    EXPECT_EQ(read_file(dir.path() / "shared" / plan_name), plan) << other << " touched A's plan";
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << read_file(dir.path() / "a.out");
  const ProgramRun after = run_command(dir.path(), "--status shared");
  EXPECT_NE(after.out.find("realisations done: 2 of 2"), std::string::npos) << after.out;
  EXPECT_NE(after.out.find("study_summary.dat: written"), std::string::npos) << after.out;
}

TEST(Study, ASeedChangeChangesTheSignatureAndTheStaleSummaryGoes) {
  ScratchDirectory dir;
  completed_study(dir.path());
  const fs::path out = dir.path() / "small";
  const std::string old_manifest = read_file(out / "r0002" / manifest_name);
  const std::string old_table = read_file(out / "r0002" / sweep_table_name);

  // The changed study's plan is written, then its realisations run: a rerun
  // killed after its first realisation leaves r0002 and r0003 of seed 3.
  write_file(dir.path() / "small.txt", with(study_text(patchy_ice, 3), "seed = 3", "seed = 4"));
  const ProgramRun changed = run_command(dir.path(), "small.txt");
  ASSERT_EQ(changed.exit_status, 0) << changed.out << changed.err;
  EXPECT_NE(changed.out.find("3 realisations: 3 computed, 0 complete"), std::string::npos) << changed.out;
  write_file(out / "r0002" / manifest_name, old_manifest);
  write_file(out / "r0002" / sweep_table_name, old_table);
  const ProgramRun merge = run_command(dir.path(), "--merge small --allow-missing");
  ASSERT_EQ(merge.exit_status, 0) << merge.out;
  EXPECT_NE(merge.out.find("2 of 3 realisations (missing: 2)"), std::string::npos)
      << "the realisation of the old seed is not averaged: " << merge.out;

  // A plan of other inputs removes the summary of the earlier ones at once.
  write_file(dir.path() / "small.txt", with(study_text(patchy_ice, 3), "seed = 3", "seed = 5"));
  fs::create_directories(out / "r0001" / "run");
  write_file(out / "r0001" / "run" / "notes.txt", "mine\n");  // r0001 then fails, the others run
  const ProgramRun rerun = run_command(dir.path(), "small.txt");
  EXPECT_EQ(rerun.exit_status, stop_realisations_failed) << rerun.out;
  EXPECT_FALSE(fs::exists(out / summary_name));
  const ProgramRun status = run_command(dir.path(), "--status small");
  EXPECT_NE(status.out.find("study_summary.dat: not yet written"), std::string::npos) << status.out;
}

TEST(Study, TheSummaryFindsItsModulusColumnsByName) {
  // Columns in another order, with the work-conjugate and mstar columns
  // appended: each modulus reads its own pair wherever it stands.
  ScratchDirectory dir;
  const std::string header = "frequency_Hz thousand_over_Q_w omega_rad_per_s velocity_c33_m_per_s "
                             "thousand_over_Q_c33 velocity_mstar_m_per_s thousand_over_Q_mstar velocity_w_m_per_s\n";
  for (int r = 1; r <= 2; ++r) {
    const fs::path rdir = dir.path() / ("r000" + std::to_string(r));
    fs::create_directories(rdir);
    const std::string v = std::to_string(r);
    write_file(rdir / sweep_table_name, header + "1 " + v + "0 6.28 " + v + "00 " + v + " " + v + "000 " + v +
                                            "0000 " + v + "00000\n");
    write_file(rdir / manifest_name, "made by hand\nrows 1\n");
  }
  struct Case {
    const char* modulus;
    double velocity_mean, q_mean;
  };
  for (const Case& c : {Case{"work", 150000, 15}, Case{"c33", 150, 1.5}, Case{"mstar", 1500, 15000}}) {
    write_file(dir.path() / plan_name, "study_file none\nrealisations 2\njobs none\nmodulus " +
                                           std::string(c.modulus) + "\n");
    const ProgramRun merge = run_command(dir.path(), "--merge .");
    ASSERT_EQ(merge.exit_status, 0) << c.modulus << merge.out;
    const std::vector<std::string> row = words(split_lines(read_file(dir.path() / summary_name))[1]);
    EXPECT_EQ(std::stod(row[2]), c.velocity_mean) << c.modulus;
    EXPECT_EQ(std::stod(row[7]), c.q_mean) << c.modulus;
  }
  // A table without the work-conjugate columns: the column and the file named.
  write_file(dir.path() / "r0002" / sweep_table_name,
             "frequency_Hz omega_rad_per_s velocity_c33_m_per_s thousand_over_Q_c33\n1 6.28 200 2\n");
  write_file(dir.path() / plan_name, "study_file none\nrealisations 2\njobs none\nmodulus work\n");
  const ProgramRun merge = run_command(dir.path(), "--merge .");
  EXPECT_EQ(merge.exit_status, stop_input_error);
  EXPECT_NE(merge.out.find("r0002/frequency_sweep.dat\" has no column velocity_w_m_per_s"), std::string::npos)
      << merge.out;
}

TEST(Study, TheWorkConjugateModulusUnderThePistonWithRefinementAndItsErrorEstimate) {
  // The default modulus (work) of sweeps under the piston, each cell split
  // in two, with the estimated error of Mw: the realisations' tables hold
  // the sweep's own columns, and the summary their mean and maximum.
  ScratchDirectory dir;
  small_case(dir.path() / "case");
  write_file(dir.path() / "work.txt",
             with(study_text(patchy_ice, 2, "load = piston\nrefine = 2\nerror_estimate = yes\n"), "modulus = c33\n",
                  ""));
  const ProgramRun run = run_command(dir.path(), "work.txt -j 2");
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  const fs::path out = dir.path() / "work";
  const std::vector<std::string> table = split_lines(read_file(out / "r0001" / sweep_table_name));
  ASSERT_EQ(table.size(), 4u);
  const std::vector<std::string> header = words(table[0]);
  EXPECT_NE(std::find(header.begin(), header.end(), "error_estimate_w"), header.end());
  EXPECT_NE(read_file(out / "r0001" / "sweep.out").find(" top load: piston"), std::string::npos);
  EXPECT_NE(read_file(out / "r0001" / "sweep.out").find("split into 2 x 2 cells"), std::string::npos);
  const std::vector<std::string> summary = split_lines(read_file(out / summary_name));
  ASSERT_EQ(summary.size(), 4u);
  const std::vector<std::string> names = words(summary[0]);
  ASSERT_EQ(names.size(), 16u) << summary[0];
  EXPECT_EQ(names[12], "error_estimate_w_mean");
  EXPECT_EQ(names[13], "error_estimate_w_max");
  EXPECT_EQ(names[14], "vel_estimate_max");
  EXPECT_EQ(names[15], "thousand_over_Q_estimate_max");
  for (std::size_t row = 1; row < 4; ++row) {
    const std::vector<std::string> values = words(summary[row]);
    // The value of names[i] is values[i].
    const double mean = std::stod(values[12]), largest = std::stod(values[13]);
    EXPECT_GT(std::stod(values[14]), 0.0) << summary[row];
    EXPECT_LT(std::stod(values[14]), largest) << "a velocity's error is about half its modulus's: " << summary[row];
    EXPECT_GT(std::stod(values[15]), 0.0) << summary[row];
    EXPECT_GT(mean, 0.0) << summary[row];
    EXPECT_LE(mean, largest) << summary[row];
    EXPECT_LT(largest, 0.1) << "a 12 x 12 mesh resolves 0.01 to 100 Hz under the piston: " << summary[row];
  }
  // The velocity summarised is the work-conjugate one of the tables.
  const double velocity_w = std::stod(words(table[1])[12]);
  EXPECT_GT(velocity_w, 3000.0);
  EXPECT_LT(velocity_w, 4500.0);
}

TEST(Study, EveryProgramAnswersHelpOnStandardOutput) {
  ScratchDirectory dir;
  for (const char* program : {UPSCALE_BINARY, UPSCALE_SWEEP_BINARY, UPSCALE_MAPS_BINARY, UPSCALE_STUDY_BINARY}) {
    const ProgramRun run = run_in(dir.path(), program, "--help < /dev/null");
    const std::string name = fs::path(program).filename().string();
    EXPECT_EQ(run.exit_status, 0) << name << run.out << run.err;
    EXPECT_EQ(run.out.rfind("usage: " + name + " ", 0), 0u) << name << ": " << run.out;
    EXPECT_EQ(run.err, "") << name;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "fort.18")) << "upscale --help runs nothing";
}

TEST(Study, ThreadsTheSystemRefusesUnderAnAddressLimitEndInAClearStop) {
  // 40 realisations, 40 at a time, in 350 MB of address space: the sweeps
  // fit, 40 threads of the study do not.  The study runs on the threads it
  // got, with a warning, or stops with 2 naming what it lacked memory for;
  // it never aborts.
  if (address_sanitized_build()) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
  ScratchDirectory dir;
  small_case(dir.path() / "case");
  write_file(dir.path() / "many.txt",
             with(with(study_text(patchy_ice, 40), "nfreq = 3", "nfreq = 2"), "fmax = 100.0", "fmax = 10.0"));
  // Thread stacks take the stack limit's size: 16 MB each makes 40 of them
  // exceed the address space whatever else the process holds, so that the
  // refusal happens on every run.
  const std::string command = "cd '" + dir.path().string() + "' && (ulimit -v 350000; ulimit -s 16384; '" +
                              UPSCALE_STUDY_BINARY +
                              "' many.txt -j 40 > limited.out 2> limited.err)";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  const std::string out = read_file(dir.path() / "limited.out"), err = read_file(dir.path() / "limited.err");
  EXPECT_EQ(err.find("terminate"), std::string::npos) << err;
  if (WEXITSTATUS(status) == 0) {
    EXPECT_NE(err.find("upscale_study: warning: the system refused thread"), std::string::npos) << err;
    EXPECT_NE(out.find("study_summary.dat: 40 of 40 realisations"), std::string::npos) << out;
  } else {
    EXPECT_EQ(WEXITSTATUS(status), stop_input_error) << out << err;
    EXPECT_NE(out.find("upscale_study: out of memory while"), std::string::npos) << out;
  }
}

TEST(Study, QuantityOfTheEffectiveStiffnessSummarisesItsColumnOverTheRealisations) {
  // quantity = a column of the tensor's tables: the sweeps run with
  // --tensor, and the summary gathers that column (at one angle of the
  // angle table) over the realisations, in columns named after it; a
  // quantity that names no column is refused before anything is written.
  struct Case {
    std::string quantity;
    std::string column_name;  // in the summary, before the statistic
    const char* unit;         // the name's unit suffix
    const char* table;
    int column;         // 1-based, in the tensor table
    double angle;       // the rows of angle_sweep.dat at this angle; -1: every row
    const char* load;
    int estimate = 0;   // with error_estimate = yes: the column of the quantity's estimate (1-based)
  };
  // A patchy sample under periodic sides couples normal strain and shear,
  // and its waves run to 180 degrees.
  const Case cases[] = {
      {"qSV_thousand_over_Q@45", "qSV_thousand_over_Q_at45", "", "angle_sweep.dat", 6, 45.0, "piston"},
      {"Re_c55_Pa", "Re_c55", "_Pa", "effective_stiffness.dat", 10, -1, "piston"},
      {"Re_c15_Pa", "Re_c15", "_Pa", "effective_stiffness.dat", 16, -1, "periodic"},
      {"qP_thousand_over_Q@135", "qP_thousand_over_Q_at135", "", "angle_sweep.dat", 4, 135.0, "periodic", 8},
      {"qP_velocity_m_per_s@30", "qP_velocity_at30", "_m_per_s", "angle_sweep.dat", 3, 30.0, "periodic"}};
  for (const Case& c : cases) {
    ScratchDirectory dir;
    small_case(dir.path() / "case");
    write_file(dir.path() / "tensor.txt",
               study_text(patchy_ice, 2, "load = " + std::string(c.load) + "\nquantity = " + c.quantity + "\n" +
                                             (c.estimate > 0 ? "error_estimate = yes\n" : "")));
    const ProgramRun run = run_command(dir.path(), "tensor.txt -j 2");
    ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
    const fs::path out = dir.path() / "tensor";
    std::vector<std::vector<double>> values(3), estimates(3);  // per frequency, over the realisations
    for (const char* r : {"r0001", "r0002"}) {
      const std::vector<std::string> lines = split_lines(read_file(out / r / c.table));
      std::size_t row = 0;
      for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> w = words(lines[i]);
        if (c.angle >= 0 && std::stod(w[1]) != c.angle) continue;
        if (c.estimate > 0) estimates.at(row).push_back(std::stod(w[static_cast<std::size_t>(c.estimate - 1)]));
        values.at(row++).push_back(std::stod(w[static_cast<std::size_t>(c.column - 1)]));
      }
      EXPECT_EQ(row, 3u) << c.quantity << ": one value per frequency";
    }
    const std::vector<std::string> summary = split_lines(read_file(out / summary_name));
    ASSERT_EQ(summary.size(), 4u) << c.quantity;
    // The statistic stands before the unit (common/table_header.hpp).
    std::vector<std::string> header{"frequency_Hz", "n"};
    for (const char* statistic : {"_mean", "_std", "_p5", "_p50", "_p95"}) {
      header.push_back(c.column_name + statistic + c.unit);
    }
    if (c.estimate > 0) {
      for (const std::string& name : {std::string("error_estimate_w_mean"), std::string("error_estimate_w_max"),
                                     c.column_name + "_estimate_max" + c.unit}) {
        header.push_back(name);
      }
    }
    EXPECT_EQ(words(summary[0]), header);
    for (std::size_t f = 0; f < 3; ++f) {
      const std::vector<std::string> row = words(summary[f + 1]);
      EXPECT_EQ(row[1], "2");
      EXPECT_NEAR(std::stod(row[2]) / ((values[f][0] + values[f][1]) / 2), 1.0, 1e-15) << c.quantity << ": the mean";
      EXPECT_NE(values[f][0], values[f][1]) << c.quantity << ": two realisations alike";
      if (c.estimate > 0) {
        EXPECT_EQ(std::stod(row.back()), std::max(estimates[f][0], estimates[f][1])) << c.quantity << ": its largest estimate";
      }
    }
  }
  for (const std::string bad : {"qSV_thousand_over_Q@40", "qSV_thousand_over_Q", "Re_c99_Pa", "Re_c55_Pa@45",
                                "Re(c55)(Pa)"}) {
    ScratchDirectory dir;
    small_case(dir.path() / "case");
    write_file(dir.path() / "bad.txt", study_text(patchy_ice, 2, "quantity = " + bad + "\n"));
    const ProgramRun run = run_command(dir.path(), "bad.txt");
    EXPECT_EQ(run.exit_status, stop_input_error) << bad;
    EXPECT_NE(run.out.find("bad.txt, line 10, quantity: '" + bad + "'"), std::string::npos) << bad << "\n" << run.out;
    EXPECT_FALSE(fs::exists(dir.path() / "bad")) << "nothing written: " << bad;
  }
}

namespace {

// The processes whose parent is `parent`, with their names, from /proc.
std::vector<std::pair<pid_t, std::string>> children_of(pid_t parent) {
  std::vector<std::pair<pid_t, std::string>> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    char state = 0;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent) children.emplace_back(std::stoi(name), text.substr(open + 1, close - open - 1));
  }
  return children;
}

}  // namespace

TEST(Study, AKilledStudyLeavesNoneOfItsProgramsRunning) {
  // Two long sweeps (10000 frequencies each) under a study killed by
  // SIGKILL, which no handler can catch: the sweeps end with it.
  ScratchDirectory dir;
  small_case(dir.path() / "case");
  write_file(dir.path() / "long.txt", with(study_text(patchy_ice, 2), "nfreq = 3", "nfreq = 10000"));
  const pid_t study = fork();
  ASSERT_GE(study, 0);
  if (study == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(127);
    const int out = open("study.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(127);
    execl(UPSCALE_STUDY_BINARY, UPSCALE_STUDY_BINARY, "long.txt", "-j", "2", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::vector<std::pair<pid_t, std::string>> sweeps;
  for (int tries = 0; tries < 300 && sweeps.size() < 2; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sweeps.clear();
    for (const auto& child : children_of(study))
      if (child.second == "upscale_sweep") sweeps.push_back(child);
  }
  ASSERT_EQ(kill(study, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(study, &status, 0), study);
  EXPECT_EQ(sweeps.size(), 2u) << "the study did not start its two sweeps within 30 s:\n"
                               << read_file(dir.path() / "study.out");
  for (const auto& sweep : sweeps) {
    bool ended = false;
    for (int tries = 0; tries < 100 && !ended; ++tries) {
      // Gone, or a zombie left to whoever adopted it.
      std::ifstream stat("/proc/" + std::to_string(sweep.first) + "/stat");
      std::string text;
      std::getline(stat, text);
      ended = !stat || text.find(") Z ") != std::string::npos;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(ended) << "sweep " << sweep.first << " outlived its killed study by 5 s";
    if (!ended) kill(sweep.first, SIGKILL);  // leave nothing running
  }
}

TEST(Study, AFullDiskLeavesFailuresToldAsFailedAndNoTemporaryFile) {
  // OUTPUT on a file system of 120 kB: the first realisations fit, the
  // others meet a full disk.  --status tells them failed (not running),
  // and a merge that cannot write its summary leaves no temporary file.
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  ScratchDirectory dir;
  small_case(dir.path() / "case");
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  if (std::system(("mount -t tmpfs -o size=120k tmpfs '" + out.string() + "' 2> /dev/null").c_str()) != 0) {
    GTEST_SKIP() << "this machine lets no tmpfs be mounted";
  }
  struct Unmount {
    fs::path at;
    ~Unmount() { EXPECT_EQ(std::system(("umount '" + at.string() + "'").c_str()), 0); }
  } unmount{out};
  write_file(dir.path() / "full.txt", study_text(patchy_ice, 30, "output = out\n"));
  const ProgramRun study = run_command(dir.path(), "full.txt -j 2");
  EXPECT_NE(study.exit_status, 0) << study.out << study.err;
  EXPECT_EQ(study.err.find("terminate"), std::string::npos) << study.err;
  const ProgramRun status = run_command(dir.path(), "--status out");
  ASSERT_EQ(status.exit_status, 0) << status.out << status.err;
  EXPECT_NE(status.out.find("; running or interrupted: 0;"), std::string::npos) << status.out;
  EXPECT_EQ(status.out.find("; failed: 0"), std::string::npos) << "the disk never filled: " << status.out;
  // The disk filled to its last byte: the summary cannot be written.
  std::system(("cat /dev/zero > '" + (out / "filler").string() + "' 2> /dev/null").c_str());
  const ProgramRun merge = run_command(dir.path(), "--merge out --allow-missing");
  EXPECT_EQ(merge.exit_status, stop_input_error) << merge.out << merge.err;
  EXPECT_FALSE(fs::exists(out / (std::string(summary_name) + ".tmp"))) << "a failed merge left its temporary file";
  EXPECT_FALSE(fs::exists(out / summary_name));
}
