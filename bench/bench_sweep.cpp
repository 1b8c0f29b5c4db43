// A 20-frequency sweep of the 60 x 60 permafrost example against 20
// separate runs of the program, one per frequency of the same grid, and
// against 20 numeric factorisations alone (the floor of the sweep).
//   cmake -S . -B build -DUPSCALE_BENCH=ON && cmake --build build --target bench_sweep upscale upscale_sweep
//   build/bench_sweep
// The executables run as child processes: their time is wall-clock time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/format.hpp"
#include "bench/bench_support.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/pass.hpp"
#include "driver/readata.hpp"
#include "sweep/sweep.hpp"
#include "fem/global_numbering.hpp"
#include "sparse/sparse.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int frequencies = 20;
const fs::path example = fs::path(UPSCALE_EXAMPLES) / "permafrost_layered";

// The example's deck with its first three lines (fmin, fmax, nfreq)
// replaced.
std::string deck_with_grid(const std::string& fmin, const std::string& fmax, int nfreq) {
  std::istringstream in(slurp(example / "deck.in"));
  std::string line, text = fmin + "\n" + fmax + "\n" + std::to_string(nfreq) + "\n";
  for (int skipped = 0; skipped < 3 && std::getline(in, line);) ++skipped;
  while (std::getline(in, line)) text += line + "\n";
  return text;
}

// A working directory with the example's files and the 20-point deck.
const fs::path& workspace() {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / "upscale_bench_sweep";
    fs::create_directories(d);
    for (const auto& entry : fs::directory_iterator(example)) {
      fs::copy_file(entry.path(), d / entry.path().filename(), fs::copy_options::overwrite_existing);
    }
    std::ofstream(d / "sweep.in") << deck_with_grid("1.0", "1000.0", frequencies);
    return d;
  }();
  return dir;
}

void run_command(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

// The sweep executable, once.
void BM_sweep_program(benchmark::State& state) {
  const fs::path& dir = workspace();
  const std::string command =
      "cd '" + dir.string() + "' && '" UPSCALE_SWEEP_BINARY "' < sweep.in > sweep.out 2> /dev/null";
  for (auto _ : state) run_command(state, command);
}
BENCHMARK(BM_sweep_program)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(2)->UseRealTime();

// The program itself, once per frequency of the same grid, each run with
// fmin set to that frequency (it ends with status 40).
void BM_program_once_per_frequency(benchmark::State& state) {
  const fs::path& dir = workspace();
  Deck grid;
  grid.fmin = 1.0;
  grid.fmax = 1000.0;
  grid.nfreq = frequencies;
  for (int i = 1; i <= frequencies; ++i) {
    std::ofstream(dir / ("single_" + std::to_string(i) + ".in"))
        << deck_with_grid(format_real(logarithmic_frequency(grid, i)), "1000.0", frequencies);
  }
  for (auto _ : state) {
    for (int i = 1; i <= frequencies; ++i) {
      const std::string command = "cd '" + dir.string() + "' && { '" UPSCALE_BINARY "' < single_" +
                                  std::to_string(i) + ".in > single.out 2> /dev/null; test $? -eq 40; }";
      run_command(state, command);
    }
  }
}
BENCHMARK(BM_program_once_per_frequency)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(2)->UseRealTime();

// The floor: 20 numeric factorisations with their solutions, on the
// ordering and structure of one symbolic factorisation, in this process.
void BM_numeric_factorisations_alone(benchmark::State& state) {
  static const RunStoragePtr storage = make_run_storage();
  RunStorage& run = *storage;
  fs::current_path(workspace());
  {
    OutputDiscarded quiet;
    std::istringstream text(slurp("deck.in"));
    LineInput input(text, "standard input");
    readata(input, run.deck);
    material_map_stage(run);
    read_binary_ice(run);
    read_patchy_map(run);
    PassScalars pass;
    pass.omega = angular_frequency(run.deck.fmin);
    medium_stage(run, pass);
    global_numbering(run.deck.nx, run.deck.ny, run.xnod);
    assembly_stage(run, pass);
    solve_stage(run, pass);
  }
  PassScalars pass;
  pass.n = unknown_count(run.deck.nx, run.deck.ny);
  for (auto _ : state) {
    for (int i = 1; i <= frequencies; ++i) solve_stage(run, pass, Factorisation::reuse_order_and_structure);
  }
}
BENCHMARK(BM_numeric_factorisations_alone)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(2);

}  // namespace

BENCHMARK_MAIN();
