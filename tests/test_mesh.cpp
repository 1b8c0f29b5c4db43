// Meshes of any size: refinement, meshes past 60 x 60, the memory refusal
// and the discretisation-error estimate.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driver/pass_storage.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;

namespace {

// A per-cell file that is a named pipe: its first reader gets `first`,
// every later one `later`, as if the file were replaced after it was read
// once.  served() counts the readers.
class ReplacedFile {
 public:
  ReplacedFile(const fs::path& path, std::string first, std::string later)
      : path_(path), first_(std::move(first)), later_(std::move(later)) {
    EXPECT_EQ(mkfifo(path.c_str(), 0644), 0) << path;
    std::signal(SIGPIPE, SIG_IGN);  // a reader that stops early is no fault of the server
    server_ = std::thread([this] {
      for (;;) {
        const int fd = open(path_.c_str(), O_WRONLY);  // waits for a reader
        if (fd < 0 || stop_) {
          if (fd >= 0) close(fd);
          return;
        }
        const std::string& text = served_ == 0 ? first_ : later_;
        for (std::size_t done = 0; done < text.size();) {
          const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
          if (wrote <= 0) break;
          done += static_cast<std::size_t>(wrote);
        }
        close(fd);  // the reader's end of file
        ++served_;
        // One reader, one serving: wait until this reader has closed its
        // end too (a writer that does not wait for a reader is then refused).
        for (;;) {
          const int probe = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
          if (probe < 0) break;
          close(probe);
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
    });
  }
  ~ReplacedFile() {
    stop_ = true;
    const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);  // lets the waiting server go
    server_.join();
    if (fd >= 0) close(fd);
  }
  int served() const { return served_; }

 private:
  fs::path path_;
  std::string first_, later_;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread server_;
};

}  // namespace

TEST(Refinement, ACoarseDeckRefinedTwiceGivesTheFilesOfTheSameSampleWrittenOutFine) {
  // A two-layer patchy permafrost sample of 6 x 8 cells, refined by 2, and
  // the same sample written as a 12 x 16 deck with its maps spread out.
  for (const std::string load : {"split", "piston"}) {
    TestDeck coarse;
    coarse.nx = "6";
    coarse.ny = "8";
    coarse.model = "    1";
    coarse.nmat = "2";
    coarse.layer[0].nl = "2";
    coarse.layer[1].nl = "2";
    coarse.layer[1].phi_layer = "0.22";
    TestDeck fine = coarse;
    fine.nx = "12";
    fine.ny = "16";
    fine.layer[0].nl = fine.layer[1].nl = "4";
    ScratchDirectory a, b;
    write_patchy_map(a.path() / "binary_ice_gnu.dat", 6, 8, 1, 0.08, 0.22);
    write_patchy_map(a.path() / "phiw_binary_patchy.dat", 6, 8, 1, 0.12, 0.26);
    write_patchy_map(b.path() / "binary_ice_gnu.dat", 6, 8, 2, 0.08, 0.22);
    write_patchy_map(b.path() / "phiw_binary_patchy.dat", 6, 8, 2, 0.12, 0.26);
    write_file(a.path() / "deck.in", coarse.text());
    write_file(b.path() / "deck.in", fine.text());
    const ProgramRun refined = run_in(a.path(), UPSCALE_BINARY, "--refine 2 --load " + load + " < deck.in");
    const ProgramRun written = run_in(b.path(), UPSCALE_BINARY, "--load " + load + " < deck.in");
    ASSERT_EQ(refined.exit_status, 40) << refined.out << refined.err;
    ASSERT_EQ(written.exit_status, 40) << written.err;
    const auto files_a = result_files(a.path()), files_b = result_files(b.path());
    ASSERT_EQ(files_a.size(), files_b.size());
    for (const auto& [name, bytes] : files_b) {
      if (name == "stdout.txt" || name == "stderr.txt") continue;
      EXPECT_TRUE(files_a.at(name) == bytes) << load << ": " << name << " differs";
    }
  }
  ScratchDirectory dir;
  write_file(dir.path() / "deck.in", TestDeck().text());
  for (const char* bad : {"0", "-2", "x", "2.5"}) {
    const ProgramRun run = run_in(dir.path(), UPSCALE_BINARY, std::string("--refine ") + bad + " < deck.in");
    EXPECT_EQ(run.exit_status, 3) << bad;
    EXPECT_NE(run.out.find("--refine " + std::string(bad) + " is not admitted"), std::string::npos) << run.out;
  }
}

TEST(LargeMeshes, PastSixtyBySixtyRunToTheirEndOnBothSolversAndTooMuchMemoryIsRefusedFirst) {
  // 60 x 60 (the largest mesh of the fixed work block), 61 x 61 and 90 x 90 cells,
  // one layer type, on both solvers: every number of every result file
  // agrees to 1e-10.
  for (const int size : {60, 61, 90}) {
    TestDeck deck;
    deck.nx = deck.ny = deck.layer[0].nl = std::to_string(size);
    deck.fmin = "1.0";
    std::map<std::string, std::string> files[2];
    for (const int s : {0, 1}) {
      ScratchDirectory dir;
      write_patchy_map(dir.path() / "binary_ice_gnu.dat", size, size, 1, 0.08, 0.22);
      write_file(dir.path() / "deck.in", deck.text());
      const ProgramRun run =
          run_in(dir.path(), UPSCALE_BINARY, std::string("--solver ") + (s == 0 ? "builtin" : "mumps") + " < deck.in");
      ASSERT_EQ(run.exit_status, 40) << size << "\n" << run.err;
      EXPECT_NE(run.out.find("number of unknowns nodos =  " + std::to_string(6 * size * size + 10 * size + 4)),
                std::string::npos)
          << size;
      EXPECT_EQ(split_lines(read_file(dir.path() / "real_strain1_map")).size(),
                static_cast<std::size_t>(size * size));
      files[s] = result_files(dir.path());
    }
    for (const auto& [name, bytes] : files[0]) {
      if (name == "stdout.txt" || name == "stderr.txt") continue;
      const std::vector<double> a = result_values(bytes), b = result_values(files[1].at(name));
      ASSERT_EQ(a.size(), b.size()) << size << ": " << name;
      // Norm-wise: the largest difference against the largest value of the
      // file (a field's entries that nearly vanish carry the cancellation of
      // the whole field, not an error of their own).
      double largest = 0, worst_difference = 0;
      for (std::size_t i = 0; i < a.size(); ++i) {
        largest = std::max(largest, std::fabs(a[i]));
        worst_difference = std::max(worst_difference, std::fabs(a[i] - b[i]));
      }
      const double worst = largest > 0 ? worst_difference / largest : worst_difference;
      EXPECT_LE(worst, 1e-10) << size << " x " << size << ": " << name << " differs between the solvers";
    }
  }
  if (address_sanitized_build()) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
  // A 400 x 400 mesh under a 3 GB address limit: refused with both figures
  // before its storage is taken (the message comes in a few milliseconds,
  // and nothing past the deck's echo is written).
  TestDeck deck;
  deck.nx = deck.ny = deck.layer[0].nl = "400";
  ScratchDirectory dir;
  write_file(dir.path() / "deck.in", deck.text());
  const ProgramRun refused =
      run_in(dir.path(), "sh", std::string("-c 'ulimit -v 3000000; exec ") + UPSCALE_BINARY + " < deck.in'");
  EXPECT_EQ(refused.exit_status, 3) << refused.out << refused.err;
  EXPECT_NE(refused.out.find("lines 5-6: nx = 400, ny = 400: the mesh needs about "), std::string::npos)
      << refused.out;
  // What is offered is the limit (2929 MB) less what the process holds.
  const std::size_t offers = refused.out.find(" MB, and this machine offers ");
  ASSERT_NE(offers, std::string::npos) << refused.out;
  const long offered = std::stol(refused.out.substr(offers + 29));
  EXPECT_GT(offered, 2500) << refused.out;
  EXPECT_LT(offered, 2929) << "the address space the process holds is not counted\n" << refused.out;
  EXPECT_FALSE(fs::exists(dir.path() / "xmu1_gnu")) << "no stage ran";
}

TEST(ErrorEstimate, RichardsonFromHalfTheCellSideMatchesTheExactLayeredError) {
  // A layered permafrost column of 24 rows: where the mesh resolves the
  // diffusion length (up to 1 Hz here), the estimate is within a factor 2
  // of the true error against the exact one-dimensional solution.
  TestDeck deck;
  deck.nx = "1";
  deck.ny = "24";
  deck.nmat = "2";
  deck.layer[0].nl = deck.layer[1].nl = "6";
  deck.layer[1].phi_layer = "0.22";
  deck.layer[1].capa_1_0 = "1.0e-11";
  deck.fmin = "0.01";
  deck.fmax = "1.0";
  deck.nfreq = "5";
  for (const std::string load : {"split", "piston"}) {
    ScratchDirectory dir;
    write_patchy_map(dir.path() / "binary_ice_gnu.dat", 1, 24, 1, 0.08, 0.08);
    const ProgramRun run = run_sweep(dir.path(), deck.text(), "-j 2 --error-estimate --load " + load);
    ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
    const std::vector<std::string> lines = split_lines(read_file(dir.path() / "frequency_sweep.dat"));
    ASSERT_EQ(words(lines[0])[22], "error_estimate_w");
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::vector<std::string> row = words(lines[i]);
      const double exact = std::stod(row[19]), estimate = std::stod(row[22]);
      EXPECT_GT(estimate, exact / 2) << load << " at " << row[0] << " Hz";
      EXPECT_LT(estimate, exact * 2) << load << " at " << row[0] << " Hz";
    }
  }
}

TEST(PerCellFiles, EachIsReadOnceBeforeTheFirstFrequencyWhateverReplacesItLater) {
  // A patchy permafrost sample whose two per-cell files are replaced after
  // their first read: every row of a sweep (the workers', the h/2 pass's,
  // the limits') and every file of the program come from the first maps,
  // byte for byte what the same run gives on plain files.
  TestDeck deck;
  deck.nx = "6";
  deck.ny = "8";
  deck.model = "    1";
  deck.layer[0].nl = "8";
  deck.nfreq = "6";
  ScratchDirectory maps;
  write_patchy_map(maps.path() / "ice_first", 6, 8, 1, 0.08, 0.22);
  write_patchy_map(maps.path() / "water_first", 6, 8, 1, 0.12, 0.26);
  write_uniform_map(maps.path() / "ice_later", 6, 8, 0.2);
  write_uniform_map(maps.path() / "water_later", 6, 8, 0.05);
  struct Case {
    const char* program;
    std::string options;
    const char* compared;  // the file whose bytes must agree ("" : standard output)
  };
  const Case cases[] = {
      {"upscale_sweep", "-j 2", "frequency_sweep.dat"},
      {"upscale_sweep", "-j 2 --error-estimate", "frequency_sweep.dat"},
      {"upscale_sweep", "-j 1 --refine 2 --error-estimate --load piston", "frequency_sweep.dat"},
      {"upscale", "", "vp_eq.phiw"},
      {"upscale", "", ""},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.program) + " " + c.options;
    const bool sweep = std::string(c.program) == "upscale_sweep";
    ScratchDirectory plain, replaced;
    fs::copy_file(maps.path() / "ice_first", plain.path() / "binary_ice_gnu.dat");
    fs::copy_file(maps.path() / "water_first", plain.path() / "phiw_binary_patchy.dat");
    const ProgramRun expected = sweep ? run_sweep(plain.path(), deck.text(), c.options)
                                      : run_program(plain.path(), deck.text());
    ASSERT_EQ(expected.exit_status, sweep ? 0 : 40) << what << expected.out << expected.err;
    ProgramRun run;
    int ice_reads = 0, water_reads = 0;
    {
      ReplacedFile ice(replaced.path() / "binary_ice_gnu.dat", read_file(maps.path() / "ice_first"),
                       read_file(maps.path() / "ice_later"));
      ReplacedFile water(replaced.path() / "phiw_binary_patchy.dat", read_file(maps.path() / "water_first"),
                         read_file(maps.path() / "water_later"));
      run = sweep ? run_sweep(replaced.path(), deck.text(), c.options) : run_program(replaced.path(), deck.text());
      ice_reads = ice.served();
      water_reads = water.served();
    }
    ASSERT_EQ(run.exit_status, expected.exit_status) << what << run.out << run.err;
    EXPECT_EQ(ice_reads, 1) << what << ": the ice map was read more than once";
    EXPECT_EQ(water_reads, 1) << what << ": the water map was read more than once";
    if (std::string(c.compared).empty()) {
      const auto without_clock = [](const std::string& echo) { return echo.substr(0, echo.rfind(" running time=")); };
      EXPECT_EQ(without_clock(run.out), without_clock(expected.out)) << what << ": the echo differs";
    } else {
      EXPECT_EQ(read_file(replaced.path() / c.compared), read_file(plain.path() / c.compared))
          << what << ": some row comes from the replaced maps";
    }
  }
}

TEST(LargeMeshes, ControlGroupsAndSlurmBoundTheMemoryOffered) {
  // The control groups: a v2 group whose parent is the tighter bound, and
  // a v1 memory group (the other v1 controllers are not memory's).
  ScratchDirectory dir;
  const fs::path root = dir.path();
  auto group = [&](const std::string& where, const std::string& limit, const std::string& usage, bool v2) {
    fs::create_directories(root / where);
    write_file(root / where / (v2 ? "memory.max" : "memory.limit_in_bytes"), limit + "\n");
    write_file(root / where / (v2 ? "memory.current" : "memory.usage_in_bytes"), usage + "\n");
  };
  group("job", "5000", "4000", true);       // 1000 left, the parent of:
  group("job/step", "max", "3500", true);   // no limit of its own
  group("memory/task", "9000", "1500", false);  // 7500 left
  group("memory", "9223372036854771712", "100", false);
  const struct {
    std::string self;
    std::uint64_t left;
  } cases[] = {
      {"0::/job/step\n", 1000},
      {"4:memory:/task\n2:cpu:/other\n", 7500},
      {"4:cpuacct,memory:/task\n0::/job/step\n", 1000},
      {"3:cpu:/task\n", std::numeric_limits<std::uint64_t>::max()},
      {"0::/nowhere\n", std::numeric_limits<std::uint64_t>::max()},
  };
  for (const auto& c : cases) {
    write_file(root / "self", c.self);
    EXPECT_EQ(cgroup_memory_left(root.string(), (root / "self").string()), c.left) << c.self;
  }

  // Slurm's memory per task bounds a real run: a 400 x 400 mesh under
  // SLURM_MEM_PER_CPU = 1000 (MB) is refused, offered less than 1000 MB.
  TestDeck deck;
  deck.nx = deck.ny = deck.layer[0].nl = "400";
  write_file(dir.path() / "deck.in", deck.text());
  const ProgramRun refused = run_in(dir.path(), "env", std::string("SLURM_MEM_PER_CPU=1000 SLURM_CPUS_PER_TASK=1 ") +
                                                          UPSCALE_BINARY + " < deck.in");
  EXPECT_EQ(refused.exit_status, 3) << refused.out << refused.err;
  const std::size_t offers = refused.out.find(" MB, and this machine offers ");
  ASSERT_NE(offers, std::string::npos) << refused.out;
  EXPECT_LT(std::stol(refused.out.substr(offers + 29)), 1000) << refused.out;
}

TEST(LargeMeshes, TheBlasKernelsAreTheSameWhateverTheProcessorOffers) {
  // OpenBLAS would take the kernels the environment names (or the best the
  // processor runs); the programs run on one set whatever is asked.
  std::map<std::string, std::string> files[3];
  const char* asked[] = {"", "OPENBLAS_CORETYPE=Haswell ", "OPENBLAS_CORETYPE=SkylakeX "};
  for (int c = 0; c < 3; ++c) {
    TestDeck deck;
    deck.nx = deck.ny = deck.layer[0].nl = "64";
    ScratchDirectory dir;
    write_patchy_map(dir.path() / "binary_ice_gnu.dat", 64, 64, 1, 0.08, 0.22);
    write_file(dir.path() / "deck.in", deck.text());
    const ProgramRun run = run_in(dir.path(), "env", std::string(asked[c]) + UPSCALE_BINARY + " < deck.in");
    ASSERT_EQ(run.exit_status, 40) << run.err;
    files[c] = result_files(dir.path());
    files[c].erase("stdout.txt");  // its running time
    if (c > 0) {
      EXPECT_EQ(files[c], files[0]) << asked[c];
    }
  }
}
