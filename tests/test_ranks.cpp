// One sample over MPI ranks (the build with -DUPSCALE_MPI=ON), against the
// sequential build's programs (UPSCALE_SEQUENTIAL_DIR): one rank gives the
// sequential bytes, two ranks the same numbers to rounding, in core and
// out of core; a rank short of memory stops every rank with one message.
// The ranks are started by the real mpirun.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/test_support.hpp"

namespace fs = std::filesystem;

namespace {

const std::string sequential_dir = UPSCALE_SEQUENTIAL_DIR;

// Runs `program` (with its arguments) as P ranks under mpirun, allowed to
// run as root (the containers of CI) and more ranks than cores.
ProgramRun mpirun(const fs::path& dir, int ranks, const std::string& program) {
  setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
  setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
  return run_in(dir, "mpirun", "--oversubscribe -np " + std::to_string(ranks) + " " + program);
}

// A case: a heterogeneous sample of nx x ny cells, three frequencies.
void write_case(const fs::path& dir, int nx, int ny) {
  TestDeck deck;
  deck.nx = std::to_string(nx);
  deck.ny = deck.layer[0].nl = std::to_string(ny);
  deck.fmin = "1.0";
  deck.fmax = "100.0";
  deck.nfreq = "3";
  write_file(dir / "deck.in", deck.text());
  write_patchy_map(dir / "binary_ice_gnu.dat", nx, ny, 1, 0.08, 0.22);
}

// Standard output without its timing lines, which differ run to run.
std::string without_timings(const std::string& out) {
  static const std::regex timing("[^\n]*(running time|CPU time)[^\n]*\n");
  return std::regex_replace(out, timing, "");
}

// The numbers of a line (a table's flags and header names left out).
std::vector<double> numbers(const std::string& line) {
  std::vector<double> found;
  for (const std::string& item : words(line))
    if (std::isdigit(static_cast<unsigned char>(item[0])) != 0 || item[0] == '-') found.push_back(std::stod(item));
  return found;
}

// The files a run wrote, without its two output streams.
std::map<std::string, std::string> written_files(const fs::path& dir) {
  std::map<std::string, std::string> files = result_files(dir);
  files.erase("stdout.txt");
  files.erase("stderr.txt");
  return files;
}

// The largest difference between two runs' numbers, file by file, against
// the largest value of its column (a table) or of its file (a per-cell map).
void expect_close(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b,
                  const std::string& what) {
  for (const auto& [name, bytes] : a) {
    ASSERT_TRUE(b.count(name)) << what << ": " << name << " missing";
    const std::vector<std::string> la = split_lines(bytes), lb = split_lines(b.at(name));
    ASSERT_EQ(la.size(), lb.size()) << what << ": " << name;
    std::map<std::size_t, double> largest, worst;
    for (std::size_t l = 0; l < la.size(); ++l) {
      const std::vector<double> va = numbers(la[l]), vb = numbers(lb[l]);
      ASSERT_EQ(va.size(), vb.size()) << what << ": " << name << " line " << l + 1;
      // A per-cell record "j k value": its values form one column.
      const bool map = va.size() == 3 && la[l].find('.') == la[l].rfind('.');
      for (std::size_t i = map ? 2 : 0; i < va.size(); ++i) {
        const std::size_t column = map ? 0 : i;
        largest[column] = std::max(largest[column], std::fabs(va[i]));
        worst[column] = std::max(worst[column], std::fabs(va[i] - vb[i]));
      }
    }
    for (const auto& [column, difference] : worst)
      EXPECT_LE(difference, 1e-10 * largest[column]) << what << ": " << name << ", column " << column + 1;
  }
}

// The backward errors of a sweep's progress lines.
std::vector<double> backward_errors(const std::string& err) {
  static const std::regex line("backward error ([0-9.e+-]+)");
  std::vector<double> found;
  for (auto it = std::sregex_iterator(err.begin(), err.end(), line); it != std::sregex_iterator(); ++it)
    found.push_back(std::stod((*it)[1]));
  return found;
}

TEST(Ranks, OneRankGivesTheSequentialBytesAndTwoRanksTheSameNumbersInCoreAndOutOfCore) {
  struct Case {
    int nx, ny;
    const char* load;
    bool out_of_core;
  };
  const Case cases[] = {{120, 120, "periodic", true}, {90, 61, "piston", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nx << " x " << c.ny << ", " << c.load);
    const std::string options = std::string(" -j 2 --load ") + c.load + " < deck.in";
    ScratchDirectory sequential, one, two, scratch;
    for (const fs::path& dir : {sequential.path(), one.path(), two.path()}) write_case(dir, c.nx, c.ny);

    const ProgramRun reference = run_in(sequential.path(), sequential_dir + "/upscale_sweep", options);
    ASSERT_EQ(reference.exit_status, 0) << reference.out << reference.err;
    const ProgramRun single = mpirun(one.path(), 1, UPSCALE_SWEEP_BINARY + options);
    ASSERT_EQ(single.exit_status, 0) << single.out << single.err;
    const auto expected = written_files(sequential.path());
    EXPECT_EQ(written_files(one.path()), expected) << "one rank changed a result file";
    EXPECT_EQ(without_timings(single.out), without_timings(reference.out));

    const std::string ooc = c.out_of_core ? " --out-of-core " + scratch.path().string() : "";
    const ProgramRun pair = mpirun(two.path(), 2, UPSCALE_SWEEP_BINARY + ooc + options);
    ASSERT_EQ(pair.exit_status, 0) << pair.out << pair.err;
    expect_close(expected, written_files(two.path()), "two ranks");
    const std::vector<double> errors = backward_errors(pair.err);
    EXPECT_EQ(errors.size(), 3u) << pair.err;
    for (double e : errors) EXPECT_LT(e, 1e-13) << pair.err;
    EXPECT_TRUE(fs::is_empty(scratch.path())) << "factor files left behind";
  }

  // The single-frequency program: one rank, the sequential bytes.
  ScratchDirectory sequential, one;
  for (const fs::path& dir : {sequential.path(), one.path()}) write_case(dir, 90, 61);
  const ProgramRun reference = run_in(sequential.path(), sequential_dir + "/upscale", "--load piston < deck.in");
  const ProgramRun single = mpirun(one.path(), 1, UPSCALE_BINARY + std::string(" --load piston < deck.in"));
  ASSERT_EQ(reference.exit_status, 40) << reference.err;
  // mpirun reports a rank's status of 40 (the normal end) as its own failure.
  EXPECT_NE(single.exit_status, 0);
  EXPECT_NE(single.err.find("STOP 40"), std::string::npos) << single.err;
  EXPECT_EQ(written_files(one.path()), written_files(sequential.path())) << "one rank changed a result file";
  EXPECT_EQ(without_timings(single.out), without_timings(reference.out));
}

TEST(Ranks, RefusalsStopEveryRankWithOneMessageAndOutOfCoreFactorsFitWhereInCoreOnesDoNot) {
  // The one-process build started as two ranks refuses on each.
  {
    ScratchDirectory dir;
    write_case(dir.path(), 8, 8);
    const ProgramRun run = mpirun(dir.path(), 2, sequential_dir + "/upscale < deck.in");
    EXPECT_NE(run.exit_status, 0);
    EXPECT_NE(run.out.find("started as 2 ranks (OMPI_COMM_WORLD_SIZE), but this build runs one process"),
              std::string::npos) << run.out;
    EXPECT_NE(run.err.find("STOP 3"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.path() / "fort.18")) << "a rank ran the program";
  }
  // Rank 1 told by Slurm's variable that it has 200 MB: less than its
  // share of the factors in core, more than out of core.
  ScratchDirectory dir, scratch;
  write_case(dir.path(), 120, 120);
  const std::string rank0 = UPSCALE_BINARY + std::string(" --solver mumps");
  for (const bool out_of_core : {false, true}) {
    const std::string ooc = out_of_core ? " --out-of-core " + scratch.path().string() : "";
    const ProgramRun run =
        mpirun(dir.path(), 1, rank0 + ooc + " : -np 1 -x SLURM_MEM_PER_CPU=200 " + rank0 + ooc + " < deck.in");
    if (out_of_core) {
      EXPECT_NE(run.err.find("STOP 40"), std::string::npos) << run.out << run.err;
      continue;
    }
    EXPECT_NE(run.exit_status, 0);
    const std::regex refusal("rank 1 of 2 needs about [0-9]+ MB, and is offered [0-9]+ MB");
    EXPECT_TRUE(std::regex_search(run.out, refusal)) << run.out;
    std::size_t stops = 0;
    for (std::size_t at = run.err.find("STOP 3"); at != std::string::npos; at = run.err.find("STOP 3", at + 1)) ++stops;
    EXPECT_EQ(stops, 1u) << run.err;
    EXPECT_NE(run.err.find("Exit code:    3"), std::string::npos) << "mpirun saw another status\n" << run.err;
  }
}

TEST(Ranks, AStudyOfTwoRanksARealisationGivesTheSummaryOfOneRank) {
  // Two realisations of a 64 x 64 case (past 60 x 60: MUMPS), three
  // frequencies, each sweep on one rank and on two (mpirun -np 2), the
  // second with its factors out of core.
  ScratchDirectory dir;
  std::string deck = read_file(source_path("examples/study_permafrost/case/deck.in"));
  for (const char* key : {"nx", "ny", "nl(1)"}) {
    const std::string line = std::string("30                  ") + key;
    deck.replace(deck.find(line), line.size(), std::string("64                  ") + key);
  }
  fs::create_directories(dir.path() / "case");
  write_file(dir.path() / "case" / "deck.in", deck);
  fs::create_directories(dir.path() / "scratch");
  std::map<std::string, std::string> summaries[2];
  for (const int ranks : {1, 2}) {
    const std::string name = "ranks" + std::to_string(ranks);
    write_file(dir.path() / (name + ".txt"),
               "case = case\nrealisations = 2\nseed = 5\nfmin = 1\nfmax = 100\nnfreq = 3\n"
               "maps = --kind binary --fraction 0.3 --values 0.08 0.2 --correlation 0.1 0.1 --file ice\n"
               "output = out_" + name + "\nranks = " + std::to_string(ranks) + "\n" +
               (ranks == 2 ? "out_of_core = " + (dir.path() / "scratch").string() + "\n" : std::string()));
    setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
    setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
    const ProgramRun run = run_in(dir.path(), UPSCALE_STUDY_BINARY, name + ".txt -j 1");
    ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
    summaries[ranks - 1]["study_summary.dat"] = read_file(dir.path() / ("out_" + name) / "study_summary.dat");
  }
  expect_close(summaries[0], summaries[1], "a study of two ranks a realisation");
  EXPECT_TRUE(fs::is_empty(dir.path() / "scratch")) << "factor files left behind";
}

}  // namespace
