// Meshes of any size: refinement, meshes past 60 x 60, the memory refusal
// and the discretisation-error estimate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace fs = std::filesystem;

namespace {

// A per-cell file of nx x ny records whose value depends on the cell, so
// that a refinement that spread a value over the wrong cells would show.
void write_patchy_map(const fs::path& file, int nx, int ny, int scale, double low, double high) {
  std::string text;
  for (int k = 1; k <= ny * scale; ++k) {
    for (int j = 1; j <= nx * scale; ++j) {
      const int cj = (j - 1) / scale + 1, ck = (k - 1) / scale + 1;
      const bool wet = (cj * 7 + ck * 3) % 5 < 2;
      text += std::to_string(j) + " " + std::to_string(k) + " " + (wet ? std::to_string(high) : std::to_string(low)) +
              "\n";
    }
  }
  write_file(file, text);
}

std::map<std::string, std::string> result_files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name == "deck.in" || name == "binary_ice_gnu.dat" || name == "phiw_binary_patchy.dat") continue;
    files[name] = read_file(entry.path());
  }
  return files;
}

// The values of a result file: the last item of a per-cell record "j k
// value", every item of a table's record.
std::vector<double> result_values(const std::string& bytes) {
  std::vector<double> values;
  for (const std::string& line : split_lines(bytes)) {
    const std::vector<std::string> items = words(line);
    const bool per_cell = items.size() == 3 && items[0].find_first_not_of("0123456789") == std::string::npos &&
                          items[1].find_first_not_of("0123456789") == std::string::npos;
    for (std::size_t i = per_cell ? 2 : 0; i < items.size(); ++i) values.push_back(std::stod(items[i]));
  }
  return values;
}

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
  // 60 x 60 (the specified solver's own size), 61 x 61 and 90 x 90 cells,
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
          run_in(dir.path(), UPSCALE_BINARY, std::string("--solver ") + (s == 0 ? "specified" : "mumps") + " < deck.in");
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
  EXPECT_NE(refused.out.find(" MB, and this machine offers 29"), std::string::npos) << refused.out;
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
    ASSERT_EQ(words(lines[0])[20], "error_estimate_w");
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::vector<std::string> row = words(lines[i]);
      const double exact = std::stod(row[18]), estimate = std::stod(row[19]);
      EXPECT_GT(estimate, exact / 2) << load << " at " << row[0] << " Hz";
      EXPECT_LT(estimate, exact * 2) << load << " at " << row[0] << " Hz";
    }
  }
}
