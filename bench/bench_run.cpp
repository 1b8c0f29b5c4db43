// The whole run of the 60 x 60 permafrost example, stage by stage, and as
// one piece.  Run from anywhere; result files go to a temporary directory
// and the echo to /dev/null.
//   cmake -S . -B build -DUPSCALE_BENCH=ON && cmake --build build --target bench_run
//   build/bench_run
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench/bench_support.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/evaluation.hpp"
#include "driver/pass.hpp"
#include "driver/result_units.hpp"
#include "driver/readata.hpp"
#include "driver/run.hpp"
#include "fem/global_numbering.hpp"
#include "medium/makematnum.hpp"
#include "sparse/sparse.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path example = fs::path(UPSCALE_EXAMPLES) / "permafrost_layered";

// A working directory with the example's files, the echo discarded.
struct Workspace {
  Workspace() {
    dir = fs::temp_directory_path() / "upscale_bench_run";
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(example)) {
      fs::copy_file(entry.path(), dir / entry.path().filename(), fs::copy_options::overwrite_existing);
    }
    fs::current_path(dir);
    open_unit(stdout_unit, "/dev/null");
  }
  fs::path dir;
};

struct Stages {
  RunStoragePtr storage = make_run_storage();
  RunStorage& run = *storage;
  PassScalars pass;
};

Stages& stages() {
  static Workspace workspace;
  static Stages s;
  return s;
}

void input_and_medium(Stages& s) {
  RunStorage& run = s.run;
  std::istringstream text(slurp("deck.in"));
  LineInput input(text, "standard input");
  readata(input, run.deck);
  const Deck& d = run.deck;
  makematnum(d.nx, d.ny, d.nl, run.size_layer, d.h, run.matnum);
  read_binary_ice(run);
  read_patchy_map(run);
  s.pass.omega = d.fmin * 6.283185307179586;
  medium_stage(run, s.pass);
  global_numbering(d.nx, d.ny, run.xnod);
  s.pass.rob_med = average_density(d, run.matnum, run.phiw);
  for (int unit : {86, 90, 91}) close_unit(unit);
}

double plane_waves(Stages& s) {
  plane_wave_stage(s.run, s.pass);
  return s.pass.vp1;
}

void assembly(Stages& s) { assembly_stage(s.run, s.pass); }

std::int32_t ordering(Stages& s) {
  RunStorage& run = s.run;
  std::int32_t flag = 0, path = 1;
  zodrv(s.pass.n, run.ia.data(), run.ja.data(), run.avec.data(), run.c.data(), run.ic.data(),
        run.work.nsp, run.work.isp(), path, flag);
  return flag;
}

// Path 5 is the symbolic phase alone, path 2 the numeric one with the
// solution: together they do what the run's path 1 does.
std::int32_t factor(Stages& s, std::int32_t path) {
  RunStorage& run = s.run;
  std::int32_t flag = 0, esp = 0;
  zndrv(s.pass.n, run.c.data(), run.c.data(), run.ic.data(), run.ia.data(), run.ja.data(), run.avec.data(),
        run.rhs_m.data(), run.z.data(), run.work.nsp, run.work.isp(), run.work.rsp(), esp, path, flag,
        run.work.scratch);
  return flag;
}

void evaluation(Stages& s) {
  RunStorage& run = s.run;
  for (const ResultFile& file : result_files) open_unit(file.unit, file.name);
  const EvaluationInput in{run.matnum, run.coef, run.xnod, run.z.data(), s.pass.rob_med, s.pass.s1_frac,
                           s.pass.s3_frac, 4000.0, 0.001, run.deck.fmin};
  evaluate_results(run.deck, in, run.fields);
  for (const ResultFile& file : result_files) close_unit(file.unit);
  close_unit(result_unit::q_mstar3);
  close_unit(result_unit::mstar3);
}

// Every stage up to `last` once, so that a stage's inputs exist.
void prepare(Stages& s, int last) {
  if (last > 0) input_and_medium(s);
  if (last > 1) plane_waves(s);
  if (last > 2) assembly(s);
  if (last > 3) ordering(s);
  if (last > 4) factor(s, 5);
  if (last > 5) factor(s, 2);
}

void BM_input_and_medium(benchmark::State& state) {
  Stages& s = stages();
  for (auto _ : state) input_and_medium(s);
}
BENCHMARK(BM_input_and_medium)->Unit(benchmark::kMillisecond);

void BM_plane_waves(benchmark::State& state) {
  Stages& s = stages();
  prepare(s, 1);
  for (auto _ : state) benchmark::DoNotOptimize(plane_waves(s));
}
BENCHMARK(BM_plane_waves)->Unit(benchmark::kMillisecond);

void BM_assembly(benchmark::State& state) {
  Stages& s = stages();
  prepare(s, 2);
  for (auto _ : state) assembly(s);
}
BENCHMARK(BM_assembly)->Unit(benchmark::kMillisecond);

void BM_ordering(benchmark::State& state) {
  Stages& s = stages();
  prepare(s, 3);
  for (auto _ : state) benchmark::DoNotOptimize(ordering(s));
}
BENCHMARK(BM_ordering)->Unit(benchmark::kMillisecond);

void BM_symbolic(benchmark::State& state) {
  Stages& s = stages();
  prepare(s, 4);
  for (auto _ : state) benchmark::DoNotOptimize(factor(s, 5));
}
BENCHMARK(BM_symbolic)->Unit(benchmark::kMillisecond);

void BM_numeric_and_solve(benchmark::State& state) {
  Stages& s = stages();
  prepare(s, 5);
  for (auto _ : state) benchmark::DoNotOptimize(factor(s, 2));
}
BENCHMARK(BM_numeric_and_solve)->Unit(benchmark::kMillisecond);

void BM_evaluation_and_writing(benchmark::State& state) {
  Stages& s = stages();
  prepare(s, 6);
  for (auto _ : state) evaluation(s);
}
BENCHMARK(BM_evaluation_and_writing)->Unit(benchmark::kMillisecond);

// The whole program's road, as the executable runs it (files, echo, clock).
void BM_whole_run(benchmark::State& state) {
  stages();
  for (auto _ : state) {
    std::ifstream deck("deck.in");
    try {
      upscale_run(deck);
    } catch (const StopRun& stop) {
      if (stop.code != 40) state.SkipWithError("the run did not end normally");
    }
    for (int unit = 0; unit < 100; ++unit) {
      if (unit != stdout_unit) close_unit(unit);
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_whole_run)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
