// Whole-program runs that once ended as a success while their results were
// wrong, mixed or missing: a solution or modulus that is not a number, a
// solution that lost its accuracy, two runs in one directory, a reader of
// standard output that went away, files lost on a full disk.  Each case is
// one run of `upscale` or `upscale_sweep` through the shell, with what its
// directory holds before, and states the exit status, the words of its
// messages and what its files must show afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// Holds an exclusive flock on a path, as another run of the program would.
class HeldLock {
 public:
  explicit HeldLock(const fs::path& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    EXPECT_GE(fd_, 0) << path;
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0) << path;
  }
  ~HeldLock() { close(fd_); }

 private:
  int fd_;
};

struct FailureCase {
  std::string name;
  std::string program;  // "upscale" or "upscale_sweep"
  std::string example;  // a bundled example copied into the directory, or "" for the small test deck
  std::function<void(TestDeck&)> edit_deck = nullptr;
  std::string shell_tail = {};  // how the run is connected; empty: deck in, both streams to files
  int status = 0;
  std::vector<std::string> out_words = {}, err_words = {};
  std::vector<std::string> absent_words = {};  // words that must not appear on either stream
  // Prepares the directory; may return an object that lives for the run.
  std::function<std::shared_ptr<void>(const fs::path&)> setup = nullptr;
  // Checks the directory after the run.
  std::function<void(const fs::path&)> check = nullptr;
  std::string shell_head = "";  // run before the program in its shell (a resource limit)
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

std::string binary(const std::string& program) { return program == "upscale" ? UPSCALE_BINARY : UPSCALE_SWEEP_BINARY; }

// The example's deck with its first three lines (fmin, fmax, nfreq) replaced.
void copy_example(const std::string& example, const fs::path& dir, const std::string& fmin, const std::string& fmax,
                  const std::string& nfreq) {
  for (const auto& entry : fs::directory_iterator(source_path("examples/" + example))) {
    fs::copy_file(entry.path(), dir / entry.path().filename());
  }
  std::vector<std::string> lines = split_lines(read_file(dir / "deck.in"));
  lines[0] = fmin;
  lines[1] = fmax;
  lines[2] = nfreq;
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  write_file(dir / "deck.in", text);
}

std::shared_ptr<void> hold(const fs::path& path) { return std::make_shared<HeldLock>(path); }

std::vector<FailureCase> cases() {
  std::vector<FailureCase> table;
  const auto height = [](std::string value) { return [value](TestDeck& d) { d.domain_size = value; }; };

  // --- Results that are not numbers stop with 5 before any table holds them
  table.push_back({"huge_sample_height_gives_no_solution", "upscale", "", height("1e150"), {}, 5,
                   {" non-finite solution z at unknown i = 1 of 111 value NaN NaN\n"}, {"STOP 5\n"}, {},
                   nullptr, [](const fs::path& dir) {
                     EXPECT_EQ(read_file(dir / "vp_eq.phiw"), "") << "no velocity may be written";
                   }});
  table.push_back({"tiny_sample_height_gives_no_modulus", "upscale", "", height("1e-160"), {}, 5,
                   {" non-finite modulus c33 value NaN NaN\n"}, {"STOP 5\n"}, {}, nullptr,
                   [](const fs::path& dir) { EXPECT_EQ(read_file(dir / "1000_over_q_eq.phiw"), ""); }});
  table.push_back({"sweep_stops_at_a_solution_that_is_not_a_number", "upscale_sweep", "", height("1e150"), {}, 5,
                   {" non-finite solution z at unknown i = 1", " stopped at frequency 1 of 10: f = 1 Hz"},
                   {"STOP 5\n"}});

  // --- The accuracy of the solution: a warning, results and status kept
  {
    FailureCase extreme{"extreme_low_frequency_warns_of_an_inaccurate_solution", "upscale", "permafrost_layered"};
    extreme.setup = [](const fs::path& dir) {
      copy_example("permafrost_layered", dir, "1e-20", "1000.0", "10");
      return nullptr;
    };
    extreme.status = 40;
    extreme.err_words = {"warning: the componentwise backward error of the solution is 5.7e-12 (above 1e-13)"};
    table.push_back(extreme);
    FailureCase sweep{"sweep_counts_its_inaccurate_rows_and_none_of_the_examples_range", "upscale_sweep",
                      "permafrost_layered"};
    sweep.setup = [](const fs::path& dir) {
      copy_example("permafrost_layered", dir, "1e-20", "1e4", "4");  // 1e-20, 1e-12, 1e-4, 1e4 Hz
      return nullptr;
    };
    sweep.shell_tail = " --load split < deck.in > stdout.txt 2> stderr.txt";
    sweep.status = 0;
    sweep.out_words = {" rows whose solution may be inaccurate (backward error above 1e-13): 1\n"};
    sweep.err_words = {" 1 of 4 rows done: 1e-20 Hz, backward error 5.7e-12 (inaccurate)",
                       " 3 of 4 rows done: 1e-04 Hz, backward error ", " 4 of 4 rows done: 10000 Hz"};
    sweep.check = [](const fs::path& dir) {
      const std::string err = read_file(dir / "stderr.txt");
      EXPECT_EQ(err.find("(inaccurate)", err.find(" 2 of 4 rows done")), std::string::npos)
          << "only the extreme frequency may warn:\n" << err;
      EXPECT_EQ(split_lines(read_file(dir / "frequency_sweep.dat")).size(), 5u) << "every row is written";
    };
    table.push_back(sweep);
  }

  // --- Memory the system refuses: a clean stop, never an abort
  for (const char* program : {"upscale", "upscale_sweep"}) {
    if (address_sanitized_build()) break;
    FailureCase limited{std::string(program) + "_under_a_250_MB_address_limit_stops_cleanly", program, "", nullptr, {},
                        2, {"cannot allocate the storage of a pass"}, {"STOP 2\n"}};
    limited.shell_head = "ulimit -v 250000; ";
    table.push_back(limited);
  }
  // The scalable solver in 300 MB of address space, where its BLAS once
  // retried a refused buffer for ever: the run ends, within the timeout.
  for (const char* program : {"upscale", "upscale_sweep"}) {
    if (address_sanitized_build()) break;
    const bool sweep = std::string(program) == "upscale_sweep";
    FailureCase capped{std::string(program) + "_on_mumps_under_a_300_MB_address_limit_ends", program, "", nullptr,
                       std::string(sweep ? " -j 2" : "") + " --solver mumps < deck.in > stdout.txt 2> stderr.txt",
                       sweep ? 0 : 40, {sweep ? " table \"frequency_sweep.dat\": 10 rows\n" : " running time="}, {}};
    capped.shell_head = "ulimit -v 300000; timeout 60 ";
    table.push_back(capped);
  }

  // --- Command lines and decks refused before anything runs, and what a
  //     run leaves beside its own files
  const auto no_result_file = [](const fs::path& dir) {
    EXPECT_FALSE(fs::exists(dir / "fort.18")) << "a refused run wrote its result files";
    EXPECT_FALSE(fs::exists(dir / "angle_sweep.dat")) << "a refused sweep wrote a table";
    EXPECT_FALSE(fs::exists(dir / "frequency_sweep.dat.partial")) << "a refused sweep left its table";
  };
  table.push_back({"angle_step_below_a_hundredth_of_a_degree_is_refused", "upscale_sweep", "", nullptr,
                   " --tensor --angle-step 1e-9 < deck.in > stdout.txt 2> stderr.txt", 3,
                   {"--angle-step 1e-9 is not admitted: the step of the angles is a number of degrees from 0.01 to 90"},
                   {"STOP 3\n"}, {}, nullptr, no_result_file});
  for (const char* unknown : {"--piston", "--refien 2", "--tensor", "-j 2"}) {
    const std::string first_word = std::string(unknown).substr(0, std::string(unknown).find(' '));
    table.push_back({"upscale_refuses_" + first_word.substr(first_word.find_first_not_of('-')), "upscale", "",
                     nullptr, std::string(" ") + unknown + " < deck.in > stdout.txt 2> stderr.txt", 3,
                     {"unknown argument \"" + first_word + "\"\nusage: upscale "}, {"STOP 3\n"}, {}, nullptr,
                     no_result_file});
  }
  table.push_back({"upscale_answers_help_anywhere_and_runs_nothing", "upscale", "", nullptr,
                   " --load piston --help < deck.in > stdout.txt 2> stderr.txt", 0, {"usage: upscale "}, {},
                   {"STOP"}, nullptr, no_result_file});
  table.push_back({"upscale_echoes_its_load_and_solver", "upscale", "", nullptr,
                   " --load piston --solver mumps < deck.in > stdout.txt 2> stderr.txt", 40,
                   {"\n load: piston, solver: mumps\n"}, {"STOP 40\n"}});
  // Past 2^31 matrix entries (3000 x 3000 stores 2.1e9) memory refuses; the
  // unknowns and the cells' numbers are counted in 32 bits, which about
  // 10 360 x 10 360 cells exceed.
  for (const char* program : {"upscale", "upscale_sweep"}) {
    table.push_back({std::string(program) + "_weighs_3000_squared_cells_against_the_memory", program, "",
                     [](TestDeck& d) { d.nx = d.ny = "3000"; }, {}, 3,
                     {"nx = 3000, ny = 3000: the mesh needs about "}, {"STOP 3\n"}, {"32-bit"}, nullptr,
                     no_result_file});
  }
  for (const char* cells : {"2147483647", "200000000", "400000000", "10400"}) {
    for (const char* program : {"upscale", "upscale_sweep"}) {
      table.push_back({std::string(program) + "_refuses_a_mesh_of_" + cells + "_squared_cells", program, "",
                       [cells](TestDeck& d) { d.nx = d.ny = cells; }, {}, 3,
                       {std::string("nx = ") + cells + ", ny = " + cells +
                        ": the mesh is too large for the solver's 32-bit indices"},
                       {"STOP 3\n"}, {}, nullptr, no_result_file});
    }
  }
  table.push_back({"plain_sweep_removes_an_earlier_tensor_sweeps_tables", "upscale_sweep", "", nullptr, {}, 0,
                   {" table \"frequency_sweep.dat\": 10 rows\n"}, {}, {},
                   [](const fs::path& dir) {
                     for (const char* name : {"effective_stiffness.dat", "angle_sweep.dat",
                                              "effective_stiffness.dat.partial", "angle_sweep.dat.partial"}) {
                       write_file(dir / name, "a table of an earlier sample\n");
                     }
                     return nullptr;
                   },
                   [](const fs::path& dir) {
                     for (const char* name : {"effective_stiffness.dat", "angle_sweep.dat",
                                              "effective_stiffness.dat.partial", "angle_sweep.dat.partial"}) {
                       EXPECT_FALSE(fs::exists(dir / name)) << name << " of an earlier sweep left beside the table";
                     }
                   }});

  // --- One run at a time in a directory
  table.push_back({"second_run_in_a_locked_directory_is_refused", "upscale", "", nullptr, {}, 2,
                   {" is in use by another upscale run"}, {"the working directory ", "STOP 2\n"}, {},
                   [](const fs::path& dir) { return hold(dir); },
                   [](const fs::path& dir) {
                     for (const auto& entry : fs::directory_iterator(dir)) {
                       const std::string name = entry.path().filename();
                       EXPECT_TRUE(name == "deck.in" || name == "binary_ice_gnu.dat" || name == "stdout.txt" ||
                                   name == "stderr.txt")
                           << "a refused run created " << name;
                     }
                   }});
  table.push_back({"second_sweep_on_a_locked_table_is_refused", "upscale_sweep", "", nullptr, {}, 2,
                   {"\"frequency_sweep.dat.partial\" in ", " is in use by another upscale_sweep run"}, {"STOP 2\n"}, {},
                   [](const fs::path& dir) {
                     write_file(dir / "frequency_sweep.dat.partial", "the other sweep's rows\n");
                     return hold(dir / "frequency_sweep.dat.partial");
                   },
                   [](const fs::path& dir) {
                     EXPECT_EQ(read_file(dir / "frequency_sweep.dat.partial"), "the other sweep's rows\n");
                   }});
  table.push_back({"sweep_runs_beside_a_run_of_the_program", "upscale_sweep", "", nullptr, {}, 0,
                   {" table \"frequency_sweep.dat\": 10 rows\n"}, {}, {}, [](const fs::path& dir) { return hold(dir); }});

  // --- A reader of standard output that goes away
  table.push_back({"closed_pipe_keeps_the_files_and_fails", "upscale", "", nullptr,
                   " < deck.in 2> stderr.txt | true; exit \\${PIPESTATUS[0]}", 2, {},
                   {"cannot write standard output (Broken pipe): output lost\n", "STOP 2\n"}, {}, nullptr,
                   [](const fs::path& dir) {
                     EXPECT_EQ(split_lines(read_file(dir / "real_strain1_map")).size(), 12u);
                     EXPECT_EQ(split_lines(read_file(dir / "vp_eq.phiw")).size(), 1u);
                   }});
  table.push_back({"closed_pipe_keeps_the_sweep_table_and_fails", "upscale_sweep", "", nullptr,
                   " < deck.in 2> stderr.txt | true; exit \\${PIPESTATUS[0]}", 2, {},
                   {"cannot write standard output (Broken pipe): output lost\n", "STOP 2\n"}, {}, nullptr,
                   [](const fs::path& dir) {
                     EXPECT_EQ(split_lines(read_file(dir / "frequency_sweep.dat")).size(), 11u);
                   }});

  // --- Output lost on a full disk
  if (fs::exists("/dev/full")) {
    table.push_back({"every_lost_file_is_named", "upscale", "", nullptr, {}, 2, {},
                     {"cannot write \"vp_eq.phiw\" (No space left on device): output lost\n",
                      "cannot write \"b11\" (No space left on device): output lost\n"},
                     {}, [](const fs::path& dir) {
                       fs::create_symlink("/dev/full", dir / "vp_eq.phiw");
                       fs::create_symlink("/dev/full", dir / "b11");
                       return nullptr;
                     }});
    table.push_back({"sweep_stops_at_its_first_lost_row", "upscale_sweep", "", nullptr, {}, 2,
                     {"cannot write \"frequency_sweep.dat.partial\" (No space left on device): the sweep stops",
                      " stopped at frequency 1 of 10: f = 1 Hz"},
                     {"STOP 2\n"}, {" rows\n", "2 of 10 rows done"}, [](const fs::path& dir) {
                       fs::create_symlink("/dev/full", dir / "frequency_sweep.dat.partial");
                       return nullptr;
                     }});
  }
  return table;
}

class FailureRun : public testing::TestWithParam<FailureCase> {};

TEST_P(FailureRun, EndsWithItsStatusMessagesAndFiles) {
  const FailureCase& c = GetParam();
  ScratchDirectory dir;
  std::shared_ptr<void> held;
  if (c.example.empty()) {
    TestDeck deck;
    if (c.edit_deck) c.edit_deck(deck);
    write_file(dir.path() / "deck.in", deck.text());
    write_uniform_map(dir.path() / "binary_ice_gnu.dat", 3, 4, 0.15);
  }
  if (c.setup) held = c.setup(dir.path());
  const std::string tail = c.shell_tail.empty() ? " < deck.in > stdout.txt 2> stderr.txt" : c.shell_tail;
  const std::string command = "cd '" + dir.path().string() + "' && " + c.shell_head + "'" + binary(c.program) + "'" + tail;
  const int status = std::system(("bash -c \"" + command + "\"").c_str());
  ASSERT_TRUE(WIFEXITED(status)) << "the run died of a signal";
  const std::string out = fs::exists(dir.path() / "stdout.txt") ? read_file(dir.path() / "stdout.txt") : "";
  const std::string err = read_file(dir.path() / "stderr.txt");
  EXPECT_EQ(WEXITSTATUS(status), c.status) << out << err;
  for (const std::string& words : c.out_words) EXPECT_NE(out.find(words), std::string::npos) << words << "\n" << out;
  for (const std::string& words : c.err_words) EXPECT_NE(err.find(words), std::string::npos) << words << "\n" << err;
  for (const std::string& words : c.absent_words) {
    EXPECT_EQ((out + err).find(words), std::string::npos) << "unexpected: " << words << "\n" << out << err;
  }
  held.reset();
  if (c.check) c.check(dir.path());
}

INSTANTIATE_TEST_SUITE_P(Failures, FailureRun, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
