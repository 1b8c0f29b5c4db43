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

ProgramRun run_program(const fs::path& directory, const std::string& deck) {
  return run_binary(UPSCALE_BINARY, directory, deck);
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
