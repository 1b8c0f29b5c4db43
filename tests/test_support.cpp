#include "tests/test_support.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/input.hpp"
#include "common/units.hpp"
#include "driver/pass.hpp"
#include "driver/readata.hpp"

namespace fs = std::filesystem;

namespace {
fs::path unique_directory(const std::string& stem) {
  static std::atomic<int> counter{0};
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / (stem + std::to_string(getpid()) + "_" + std::to_string(counter++));
    if (fs::create_directory(candidate)) return candidate;
  }
}
}  // namespace

ScratchDirectory::ScratchDirectory() : path_(unique_directory("upscale_test_")), previous_(fs::current_path()) {
  fs::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
  close_all_units();
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> items;
  std::string item;
  while (in >> item) items.push_back(item);
  return items;
}

ProgramRun run_in(const fs::path& directory, const std::string& binary, const std::string& arguments) {
  const std::string command = "cd '" + directory.string() + "' && '" + binary + "' " + arguments +
                              " > stdout.txt 2> stderr.txt";
  const int status = std::system(command.c_str());
  ProgramRun run;
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = read_file(directory / "stdout.txt");
  run.err = read_file(directory / "stderr.txt");
  return run;
}

namespace {
ProgramRun run_binary_reading(const std::string& binary, const fs::path& directory, const fs::path& input,
                              const std::string& options = "") {
  return run_in(directory, binary, options + " < '" + input.string() + "'");
}

ProgramRun run_binary(const std::string& binary, const fs::path& directory, const std::string& deck,
                      const std::string& options = "") {
  write_file(directory / "deck.in", deck);
  return run_binary_reading(binary, directory, "deck.in", options);
}
}  // namespace

ProgramRun run_program_reading(const fs::path& directory, const fs::path& input) {
  return run_binary_reading(UPSCALE_BINARY, directory, input);
}

ProgramRun run_program(const fs::path& directory, const std::string& deck, const std::string& options) {
  return run_binary(UPSCALE_BINARY, directory, deck, options);
}

ProgramRun run_sweep(const fs::path& directory, const std::string& deck, const std::string& options) {
  return run_binary(UPSCALE_SWEEP_BINARY, directory, deck, options);
}

CapturedOutput::CapturedOutput() : file_(unique_directory("upscale_capture_") / "stdout.txt") {
  open_unit(stdout_unit, file_.string());
}

CapturedOutput::~CapturedOutput() {
  close_unit(stdout_unit);
  std::error_code ignored;
  fs::remove_all(file_.parent_path(), ignored);
}

std::string CapturedOutput::text() {
  flush_all_units();
  return read_file(file_);
}

std::string TestDeck::text() const {
  std::ostringstream out;
  out << fmin << "\n" << fmax << "\n" << nfreq << "\n" << domain_size << "\n" << nx << "\n" << ny << "\n"
      << key_model << "\n" << model << "\n" << nmat << "\n";
  const int layers = (nmat == "2") ? 2 : 1;
  for (int i = 0; i < layers; ++i) {
    const Layer& l = layer[i];
    for (const std::string* v : {&l.nl, &l.akf, &l.ro2, &l.eta, &l.ro1, &l.ro3, &l.phi_a, &l.phi_layer, &l.capa_1_0,
                                 &l.capa_3_0, &l.s3, &l.rs1, &l.rs3, &l.coef_b13, &l.ak_air, &l.xmu_air, &l.ak_s1,
                                 &l.xmu_s1, &l.ak_s3, &l.xmu_s3}) {
      out << *v << "\n";
    }
  }
  return out.str();
}

TestDeck TestDeck::shaley() {
  TestDeck deck;
  deck.key_model = "    1";
  for (Layer& l : deck.layer) {
    l.eta = "0.001";
    l.ro3 = "2550.0";
    l.phi_layer = "0.25";
    l.capa_1_0 = "1.0e-12";
    l.capa_3_0 = "1.0e-12";
    l.rs1 = "5.0e-5";
    l.ak_s3 = "2.1e10";
    l.xmu_s3 = "7.0e9";
  }
  return deck;
}

void write_uniform_map(const fs::path& file, int nx, int ny, double value) {
  std::ofstream out(file);
  out.precision(17);
  for (int k = 1; k <= ny; ++k) {
    for (int j = 1; j <= nx; ++j) out << j << " " << k << " " << value << "\n";
  }
}

fs::path source_path(const std::string& relative) { return fs::path(UPSCALE_SOURCE_DIR) / relative; }

TestDeck layered_column_deck(int ny, TestDeck deck) {
  deck.nx = std::string("1");
  deck.ny = std::to_string(ny);
  deck.nmat = std::string("2");
  deck.layer[0].nl = std::to_string(ny / 4);
  deck.layer[1].nl = std::to_string(ny / 4);
  deck.layer[1].phi_layer = "0.22";
  deck.layer[1].capa_1_0 = "1.0e-11";
  return deck;
}

std::vector<std::vector<double>> numeric_rows(const fs::path& file) {
  std::vector<std::vector<double>> rows;
  const std::vector<std::string> lines = split_lines(read_file(file));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    rows.emplace_back();
    for (const std::string& w : words(lines[i])) {
      if (std::isalpha(static_cast<unsigned char>(w[0])) == 0) rows.back().push_back(std::stod(w));
    }
  }
  return rows;
}

void read_example_sample(RunStorage& run, const std::string& example) {
  for (const auto& entry : fs::directory_iterator(source_path("examples") / example)) {
    fs::copy_file(entry.path(), fs::current_path() / entry.path().filename());
  }
  CapturedOutput quiet;
  std::istringstream text(read_file(fs::current_path() / "deck.in"));
  LineInput input(text, "deck.in");
  readata(input, run.deck);
  material_map_stage(run);
  read_binary_ice(run);
  read_patchy_map(run);
}

// A per-cell file of nx x ny records whose value depends on the cell, so
// that a refinement that spread a value over the wrong cells would show.
void write_patchy_map(const std::filesystem::path& file, int nx, int ny, int scale, double low, double high) {
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

std::map<std::string, std::string> result_files(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
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
    // A table's header line (work_modulus.dat) holds names, not values.
    if (!items.empty() && std::isalpha(static_cast<unsigned char>(items[0][0])) != 0) continue;
    const bool per_cell = items.size() == 3 && items[0].find_first_not_of("0123456789") == std::string::npos &&
                          items[1].find_first_not_of("0123456789") == std::string::npos;
    for (std::size_t i = per_cell ? 2 : 0; i < items.size(); ++i) values.push_back(std::stod(items[i]));
  }
  return values;
}

