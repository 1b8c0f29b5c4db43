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

#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/evaluation.hpp"
#include "driver/readata.hpp"
#include "driver/run.hpp"
#include "fem/global_numbering.hpp"
#include "fem/global_sist.hpp"
#include "medium/e_modulus.hpp"
#include "medium/makematnum.hpp"
#include "medium/mass_visco_coef.hpp"
#include "medium/porosity.hpp"
#include "planewave/veloc_aten.hpp"
#include "sparse/sparse.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path example = fs::path(UPSCALE_EXAMPLES) / "permafrost_layered";

std::string slurp(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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
  Deck deck;
  LayerReal size_layer;
  IntMap matnum;
  RealMap phiw, binary_ice;
  RealMap lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3, p11, p12, p13, p22, p23, p33, b11, b12, b22;
  NodeTable xnod;
  std::array<std::int32_t, max_unknowns + 1> ia;
  std::array<std::int32_t, max_entries> ja;
  std::array<dcomplex, max_entries> avec;
  std::array<dcomplex, max_unknowns> rhs_m, z;
  std::array<std::int32_t, max_unknowns> c, ic;
  sparse::WorkBlock work;
  ResultFields fields;
  double omega = 0, s1 = 0, s3 = 0, phi1 = 0, phi3 = 0, rob_med = 0;
  std::int32_t n = 0;
};

Stages& stages() {
  static Workspace workspace;
  static Stages s;
  return s;
}

void input_and_medium(Stages& s) {
  std::istringstream text(slurp("deck.in"));
  LineInput input(text, "standard input");
  readata(input, s.deck);
  Deck& d = s.deck;
  makematnum(d.nx, d.ny, d.nl, s.size_layer, d.h, s.matnum);
  std::ifstream ice("binary_ice_gnu.dat");
  LineInput ice_input(ice, "binary_ice_gnu.dat");
  for (int k = 1; k <= d.ny; ++k)
    for (int j = 1; j <= d.nx; ++j) s.binary_ice(j, k) = ice_input.cell_record_value("cell");
  porosity(d.nx, d.ny, d.phi_layer, d.model, s.phiw, s.matnum);
  s.omega = d.fmin * 6.283185307179586;
  const std::int32_t cycle = 1;
  e_modulus(d.nx, d.ny, s.matnum, d.phi_a, s.phiw, d.s3, d.akf, d.eta, s.omega, d.ak_air, d.xmu_air, d.ak_s3,
            d.xmu_s3, d.ak_s1, d.xmu_s1, d.key_model, s.lambda1, s.lambda3, s.mu1, s.mu3, s.mu13, s.b1, s.b2, s.m,
            s.d3, cycle, s.binary_ice);
  mass_visco_coef(d.nx, d.ny, s.matnum, d.phi_a, s.phiw, d.s3, d.eta, d.key_model, d.ro1, d.ro2, d.ro3, d.capa_1_0,
                  d.capa_3_0, d.rs1, d.rs3, d.coef_b13, s.p11, s.p12, s.p13, s.p22, s.p23, s.p33, s.b11, s.b12,
                  s.b22, s.s1, s.s3, s.phi1, s.phi3, s.binary_ice);
  global_numbering(d.nx, d.ny, s.xnod);
  s.rob_med = average_density(d, s.matnum, s.phiw, s.phi1, s.phi3);
  for (int unit : {86, 90, 91}) close_unit(unit);
}

double plane_waves(Stages& s) {
  double out[10];
  veloc_aten(s.deck.nx, s.deck.ny, s.omega, s.p11, s.p12, s.p13, s.p22, s.p23, s.p33, s.b11, s.b12, s.b22, s.lambda1,
             s.lambda3, s.mu1, s.mu3, s.mu13, s.b1, s.b2, s.m, s.d3, out[0], out[1], out[2], out[3], out[4], out[5],
             out[6], out[7], out[8], out[9]);
  return out[0];
}

void assembly(Stages& s) {
  const Deck& d = s.deck;
  global_sist(s.omega, d.nx, d.ny, d.h, s.xnod, s.lambda1, s.lambda3, s.mu1, s.mu3, s.mu13, s.b1, s.b2, s.m, s.d3,
              s.p11, s.p12, s.p13, s.p22, s.p23, s.p33, s.b11, s.b12, s.b22, s.avec.data(), s.ia.data(), s.ja.data(),
              s.rhs_m.data());
  s.n = (6 * d.nx + 5) * d.ny + 5 * d.nx + 4;
}

std::int32_t ordering(Stages& s) {
  std::int32_t flag = 0, path = 1;
  zodrv(s.n, s.ia.data(), s.ja.data(), s.avec.data(), s.c.data(), s.ic.data(), sparse::WorkBlock::nsp, s.work.isp(),
        path, flag);
  return flag;
}

std::int32_t factor(Stages& s, std::int32_t path) {
  std::int32_t flag = 0, esp = 0;
  zndrv(s.n, s.c.data(), s.c.data(), s.ic.data(), s.ia.data(), s.ja.data(), s.avec.data(), s.rhs_m.data(),
        s.z.data(), sparse::WorkBlock::nsp, s.work.isp(), s.work.rsp(), esp, path, flag);
  return flag;
}

void evaluation(Stages& s) {
  for (int unit : {75, 76, 77, 78, 98, 99, 30, 31, 32, 33, 34, 35}) open_unit(unit, "result_" + std::to_string(unit));
  const EvaluationInput in{s.matnum, s.lambda1, s.mu1, s.mu13, s.d3, s.b1, s.b2, s.m, s.xnod, s.z.data(),
                           s.rob_med, s.s1, s.s3, 4000.0, 0.001, s.deck.fmin};
  evaluate_results(s.deck, in, s.fields);
  for (int unit : {75, 76, 77, 78, 98, 99, 30, 31, 32, 33, 34, 35, 54, 18}) close_unit(unit);
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
