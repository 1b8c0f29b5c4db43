// Helpers shared by the tests: temporary working directories, whole-program
// runs, and capture of what a routine writes to standard output.
#pragma once

#include <filesystem>
#include <ostream>
#include <map>
#include <string>
#include <vector>

#include "common/complex.hpp"

// A complex value in a failure message: its two parts as numbers that read
// back to the same doubles, not the raw bytes googletest prints otherwise.
template <class R>
void PrintTo(const Complex<R>& value, std::ostream* os) {
  const auto precision = os->precision(17);
  *os << "(" << value.re << ", " << value.im << ")";
  os->precision(precision);
}

// A fresh empty directory under the system's temporary directory; the
// current directory is switched into it for the lifetime of the object.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

std::string read_file(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& text);
std::vector<std::string> split_lines(const std::string& text);
// The blank-separated items of a line.
std::vector<std::string> words(const std::string& line);

// The 1-based columns of the sweep's table (sweep/sweep_table.hpp) that
// the tests read among numeric_rows' numbers, written out here as the
// format lays them out, so that a test never reads a bare position.  The
// exact columns are those of a layered sample; the estimates follow them
// with --error-estimate, and the diffusion length comes last (its place
// depends on what precedes it).
namespace sweep_column {
constexpr int frequency = 1, omega = 2, velocity_c33 = 3, thousand_over_q_c33 = 4;
constexpr int re_c33 = 5, im_c33 = 6, re_mstar = 7, im_mstar = 8, vp1 = 9, thousand_over_qp1 = 10;
constexpr int re_mw = 11, im_mw = 12, velocity_w = 13, thousand_over_q_w = 14;
constexpr int density = 17;
constexpr int re_mw_exact = 18, im_mw_exact = 19, error_w = 20, velocity_w_exact = 21, thousand_over_q_w_exact = 22;
constexpr int estimate_w = 23, estimate_velocity_w = 24, estimate_thousand_over_q_w = 25;
constexpr int diffusion_with_estimates = 26;
}  // namespace sweep_column

struct RunStorage;

// Reads a bundled example's deck and per-cell maps into `run`, in the
// current directory (a ScratchDirectory, where the material map files
// land), as the program reads them, its echo silenced.
void read_example_sample(RunStorage& run, const std::string& example);

// The rows of a table the programs write, after its header line, as
// numbers; a word that starts with a letter (the sweep's flags) is left
// out.
std::vector<std::vector<double>> numeric_rows(const std::filesystem::path& file);

// Runs the built program in `directory` with `deck` on standard input.
struct ProgramRun {
  int exit_status = -1;
  std::string out;  // standard output
  std::string err;  // error stream
};
ProgramRun run_program(const std::filesystem::path& directory, const std::string& deck,
                       const std::string& options = "");
// Runs `binary` with `arguments` (redirections of standard input included)
// in `directory`, its two output streams kept.
ProgramRun run_in(const std::filesystem::path& directory, const std::string& binary, const std::string& arguments);
// The same with standard input taken from `input` (a device, a directory).
ProgramRun run_program_reading(const std::filesystem::path& directory, const std::filesystem::path& input);
// The same for the frequency sweep, with its command-line options.
ProgramRun run_sweep(const std::filesystem::path& directory, const std::string& deck,
                     const std::string& options = "");

// Redirects standard output (unit 6) to a file while alive; text() returns
// what was written so far (after flushing).
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  std::string text();

 private:
  std::filesystem::path file_;
};

// A parameter deck for whole-program tests: a homogeneous permafrost
// sample by default, every value adjustable; text() gives the deck lines.
struct TestDeck {
  std::string fmin = "1.0", fmax = "1000.0", nfreq = "10", domain_size = "1.0";
  std::string nx = "3", ny = "4", key_model = "    0", model = "    0", nmat = "1";
  struct Layer {
    std::string nl = "4";
    std::string akf = "2.25e9", ro2 = "1000.0", eta = "0.00179", ro1 = "2650.0", ro3 = "920.0";
    std::string phi_a = "0.30", phi_layer = "0.10", capa_1_0 = "1.0e-13", capa_3_0 = "1.0e-13";
    std::string s3 = "0.20", rs1 = "1.0e-4", rs3 = "1.0e-6", coef_b13 = "0.0", ak_air = "1.5e5";
    std::string xmu_air = "0.0", ak_s1 = "3.8e10", xmu_s1 = "4.4e10", ak_s3 = "8.58e9", xmu_s3 = "3.32e9";
  };
  Layer layer[2];

  std::string text() const;
  // The same deck as the shaley-sand model.
  static TestDeck shaley();
};

// A layered sample of one column of ny cells: two layer types of different
// water proportion and permeability, ny/4 rows each, alternating (4
// layers over the height), on `deck`'s other values.
TestDeck layered_column_deck(int ny, TestDeck deck = TestDeck());

// Writes a per-cell file of nx*ny records "j k value", row by row from the
// bottom, every cell holding `value`.
void write_uniform_map(const std::filesystem::path& file, int nx, int ny, double value);

// Whether the programs are built under AddressSanitizer, whose shadow
// memory cannot be reserved under an address-space limit: the tests that
// run a program under `ulimit -v` are left out there.
constexpr bool address_sanitized_build() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

// A per-cell file of nx x ny records (each cell split into scale x scale)
// whose value, low or high, depends on the cell, so that a refinement that
// spread a value over the wrong cells would show.
void write_patchy_map(const std::filesystem::path& file, int nx, int ny, int scale, double low, double high);
// The files a run wrote in `dir` (all but its deck and per-cell input
// files), by name.
std::map<std::string, std::string> result_files(const std::filesystem::path& dir);
// The values of a result file: the last item of a per-cell record "j k
// value", every item of a table's record; header lines are left out.
std::vector<double> result_values(const std::string& bytes);

// Path of a file in the source tree (examples, expected outputs).
std::filesystem::path source_path(const std::string& relative);
